#!/usr/bin/env bash
# Builds and runs the benchmarks (64-bit Windows build, under Wine). Each line compares a
# library path with a baseline measured in the same run. An argument runs only the lines whose
# name contains it (scripts/bench.sh module).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh win-x64
exec scripts/wine-run.sh build/win-x64/wineprefix build/win-x64/bench/fpc_bench.exe "$@"
