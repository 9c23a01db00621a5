#!/usr/bin/env bash
# Uses layereddemo as a person does, on an X display: the form shows only the movie (the
# movie's opaque panel is on screen, the desktop shows around it and takes the clicks
# there), and a click on the movie followed by Escape closes the program with exit code 0.
#   check_by_hand.sh RUNNER... PROGRAM     (RUNNER: how to start a Windows program, e.g. wine-run.sh PREFIX)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ -z "${DISPLAY:-}" ]; then exec "$here/../../scripts/with-display.sh" "$0" "$@"; fi
for tool in xdotool import convert display; do
  command -v $tool >/dev/null || { echo "check_by_hand.sh: $tool not found (run scripts/setup.sh)"; exit 2; }
done
work=$(mktemp -d)
# A coloured desktop beneath the form, so that what shows through can be told apart.
display -geometry +0+0 -size 1280x1024 xc:'#30a050' &
backdrop=$!
sleep 1
"$@" >"$work/out.txt" 2>&1 &
program=$!
cleanup() {
  kill "$backdrop" 2>/dev/null
  rm -rf "$work"
}
fail() {
  echo "layereddemo by hand: $1"
  kill "$program" 2>/dev/null
  cleanup
  exit 1
}

window=""
for _ in $(seq 1 150); do
  window=$(xdotool search --onlyvisible --name '^layereddemo$' 2>/dev/null | head -1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window"
sleep 3  # a few frames
eval "$(xdotool getwindowgeometry --shell "$window")"

# The colour of a screen pixel as rrggbb.
pixel() { convert "$work/screen.png" -format "%[hex:u.p{$1,$2}]" info: | tail -c 6 | tr A-F a-f; }
import -window root "$work/screen.png" || fail "no screenshot"
panel=$(pixel $((X + 20)) $((Y + 20)))
around=$(pixel $((X + 300)) $((Y + 220)))
desktop=$(pixel 2 2)
[ "$desktop" = "30a050" ] || fail "no coloured desktop beneath the form"
echo "layereddemo by hand: panel $panel, stage $around, desktop $desktop"
[ "$panel" = "202838" ] || fail "the movie's panel is not on screen"
[ "$around" = "$desktop" ] || fail "the transparent stage does not show the desktop"

# The transparent stage lets the pointer through to what lies beneath; the movie does not.
xdotool mousemove $((X + 300)) $((Y + 220)); sleep 0.3
beneath=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
xdotool mousemove $((X + 20)) $((Y + 20)); sleep 0.3
over=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
[ "$over" = "$window" ] || fail "the movie's panel does not belong to the form"
[ "$beneath" != "$window" ] || fail "the transparent stage takes the pointer"

# A click on the movie gives it the keys; Escape closes the form.
xdotool click 1; sleep 0.5
xdotool key Escape
for _ in $(seq 1 100); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program" 2>/dev/null && fail "Escape did not close the program"
wait "$program"; rc=$?
[ $rc -eq 0 ] || fail "exit code $rc"
echo "layereddemo by hand: closed with Escape"
cleanup
