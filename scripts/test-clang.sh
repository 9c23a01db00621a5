#!/usr/bin/env bash
# Builds the clang configuration (win-x64-clang) and runs all of its tests under wine64 (the
# same sources as win-x64, built by the second compiler; about three minutes of tests). Ends
# with one line "N passed, N failed[, N skipped]", counted as scripts/test.sh counts
# (GoogleTest cases from each program's XML, one case for any other test), and exits
# non-zero on any failure or build error.
#   scripts/test-clang.sh [CTEST_REGEX]    only the tests whose names match
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

chosen=${1:-.}

if [ -z "${FPC_TEST_CLANG_INNER:-}" ]; then
  # Set-up first: the display below needs what it installs (a no-op when all is there).
  bash scripts/setup.sh || { echo "0 passed, 1 failed"; exit 1; }
  export FPC_TEST_CLANG_INNER=1
  exec scripts/with-display.sh bash "$0" "$@"
fi

if ! bash scripts/build.sh win-x64-clang; then
  echo "build failed"
  echo "0 passed, 1 failed"
  exit 1
fi

dir=build/win-x64-clang
passed=0 failed=0 skipped=0
rm -rf "$dir/test-results"/*.xml "$dir/Testing/Temporary/LastTestsFailed.log"
echo "test: win-x64-clang"
if ! scripts/wine-run.sh "$dir/wineprefix" --init; then
  echo "0 passed, 1 failed"
  exit 1
fi
# One prefix and its registry for all of them: one test at a time.
ctest --test-dir "$dir" --output-on-failure -j 1 --timeout 300 -R "$chosen"

source "$root/scripts/count-results.sh"
count_results "$dir" "$chosen"
WINEPREFIX="$root/$dir/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true

line="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && line="$line, $skipped skipped"
echo "$line"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
