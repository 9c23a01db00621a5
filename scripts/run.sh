#!/usr/bin/env bash
# Sets up, builds the 64-bit Windows configuration and runs the main demonstration under
# Wine: fpcinfo reports what the library finds, then playerdemo plays a movie from its own
# resources in a TFlashPlayerControl. This machine has no Flash Player, so the stand-in
# player module (refplayer) is registered in the private Wine prefix for the run.
#   scripts/run.sh            playerdemo reports its result and closes by itself
#   scripts/run.sh --show     playerdemo stays open until its window is closed
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ -z "${FPC_RUN_INNER:-}" ]; then
  bash scripts/setup.sh
  bash scripts/build.sh win-x64
  export FPC_RUN_INNER=1
  exec scripts/with-display.sh bash "$0" "$@"
fi

prefix=build/win-x64/wineprefix
module='Z:'"$root"/build/win-x64/refplayer/refplayer.dll
wine() { scripts/wine-run.sh "$prefix" "$@"; }
wine --init
wine regsvr32 /s "$module"
trap 'wine regsvr32 /u /s "$module"; WINEPREFIX="$root/$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

wine build/win-x64/samples/fpcinfo/fpcinfo.exe
if [ "${1:-}" = "--show" ]; then
  wine build/win-x64/samples/playerdemo/playerdemo.exe
else
  wine build/win-x64/samples/playerdemo/playerdemo.exe /autoclose
fi
