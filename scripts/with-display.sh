#!/usr/bin/env bash
# Runs a command with an X display: the one already set, or an Xvfb of our own on a free
# display number, stopped when the command ends (only the server started here).
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
command -v Xvfb >/dev/null || { echo "with-display.sh: Xvfb not found (run scripts/setup.sh)" >&2; exit 2; }

for n in $(seq 90 189); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$xvfb" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    set +e
    "$@"
    rc=$?
    set -e
    exit $rc
  fi
  wait "$xvfb" 2>/dev/null || true
done
echo "with-display.sh: could not start Xvfb" >&2
exit 2
