#!/usr/bin/env bash
# Sets up, builds the 64-bit Windows configuration and runs the main demonstration under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh win-x64
exec scripts/wine-run.sh build/win-x64/wineprefix build/win-x64/samples/fpcinfo/fpcinfo.exe "$@"
