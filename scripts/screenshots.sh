#!/usr/bin/env bash
# Makes the README's pictures of the demonstration programs (docs/screenshots/*.png): builds
# the 64-bit configuration, registers the stand-in player in the private prefix and runs
# each program under a private display.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ -z "${FPC_SCREENSHOTS_INNER:-}" ]; then
  bash scripts/build.sh win-x64
  export FPC_SCREENSHOTS_INNER=1
  unset DISPLAY
  exec scripts/with-display.sh bash "$0"
fi
prefix=build/win-x64/wineprefix
module='Z:'"$root"/build/win-x64/refplayer/refplayer.dll
scripts/wine-run.sh "$prefix" --init
scripts/wine-run.sh "$prefix" regsvr32 /s "$module"
trap 'scripts/wine-run.sh "$prefix" regsvr32 /u /s "$module"' EXIT
out=docs/screenshots
for demo in clipdemo assetdemo; do
  python3 tests/demos/demo_driver.py showcase "$demo" --build build/win-x64 --source . --out "$out"
done
# The README shows the programs as they start and the video; the picture after the first
# image button is left to scripts/run.sh --demo assetdemo.
rm -f "$out/assetdemo-image1.png"
# Small files: the pictures have few colours.
for png in "$out"/*.png; do convert "$png" -colors 64 -strip "$png"; done
