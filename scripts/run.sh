#!/usr/bin/env bash
# Sets up, builds the 64-bit Windows configuration and runs a demonstration program under
# Wine: fpcinfo first reports what the library finds, then clipdemo plays its embedded movie
# and video. This machine has no Flash Player, so the stand-in player module (refplayer) is
# registered in the private Wine prefix as the installed player for the run.
#   scripts/run.sh                     with a display: clipdemo in its own window until closed;
#                                      without one: under a private Xvfb, it plays the movie
#                                      and then the video, saves a screenshot of each (the
#                                      PNG paths are printed) and ends
#   scripts/run.sh --show              keep the window open even without a display of one's own
#   scripts/run.sh --demo assetdemo    the other program
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

demo=clipdemo show=0
while [ $# -gt 0 ]; do
  case "$1" in
    --show) show=1 ;;
    --demo) shift; demo=${1:-} ;;
    --demo=*) demo=${1#--demo=} ;;
    *) echo "usage: scripts/run.sh [--show] [--demo clipdemo|assetdemo]" >&2; exit 2 ;;
  esac
  shift
done
case "$demo" in clipdemo|assetdemo) ;; *) echo "run.sh: unknown demo '$demo'" >&2; exit 2 ;; esac

if [ -z "${FPC_RUN_INNER:-}" ]; then
  bash scripts/setup.sh
  bash scripts/build.sh win-x64
  export FPC_RUN_INNER=1
  # Without a display of one's own the run is unattended, unless --show asks otherwise.
  [ -n "${DISPLAY:-}" ] || [ "$show" = 1 ] || export FPC_RUN_HEADLESS=1
  args=(--demo "$demo")
  [ "$show" = 1 ] && args+=(--show)
  exec scripts/with-display.sh bash "$0" "${args[@]}"
fi

prefix=build/win-x64/wineprefix
module='Z:'"$root"/build/win-x64/refplayer/refplayer.dll
wine() { scripts/wine-run.sh "$prefix" "$@"; }
wine --init
wine regsvr32 /s "$module"
trap 'wine regsvr32 /u /s "$module"; WINEPREFIX="$root/$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

wine build/win-x64/samples/fpcinfo/fpcinfo.exe
if [ -n "${FPC_RUN_HEADLESS:-}" ]; then
  out=build/screenshots
  echo "run: $demo under a private display; screenshots:"
  python3 tests/demos/demo_driver.py showcase "$demo" --build build/win-x64 --source . --out "$out"
else
  wine "build/win-x64/samples/$demo/$demo.exe"
fi
