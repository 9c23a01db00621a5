#!/usr/bin/env bash
# Sets up, builds all four configurations and runs every test: the host tests natively, the
# 32-bit Windows tests under the 32-bit wine, the 64-bit ones of both compilers (mingw GCC and
# clang) under wine64, each configuration in its own prefix; two runs go side by side. Ends with one line
# "N passed, N failed[, N skipped]" and exits non-zero on any failure or build error.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Set-up comes first: it installs the display server and Wine the rest of the run needs.
if [ -z "${FPC_TEST_INNER:-}" ]; then
  bash scripts/setup.sh || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }
  export FPC_TEST_INNER=1
  # One display for the whole Windows run.
  exec scripts/with-display.sh bash "$0" "$@"
fi

if ! bash scripts/build.sh host win-x86 win-x64 win-x64-clang; then
  echo "build failed"
  echo "0 passed, 1 failed"
  exit 1
fi

passed=0 failed=0 skipped=0

# count_results BUILD_DIR: adds the last ctest run's results to passed, failed and skipped.
source "$root/scripts/count-results.sh"

# run_config CONFIG: runs one configuration's tests, its output into build/CONFIG/test.log.
# Each Windows configuration gets an X display of its own: the program tests click and type
# through the X server and look at the screen, so two runs must not share one.
run_config() {
  local config=$1 dir="build/$1" arch
  rm -rf "$dir/test-results"/*.xml "$dir/Testing/Temporary/LastTestsFailed.log"
  {
    echo "test: $config"
    if [ "$config" = host ]; then
      ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 300
    else
      arch=--win64
      [ "$config" = win-x86 ] && arch=--win32
      # The Windows test programs of one configuration share one prefix and its registry
      # (several register the player class for their run), so they run one at a time.
      env -u DISPLAY scripts/with-display.sh bash -c '
        scripts/wine-run.sh "$0" "$1/wineprefix" --init || echo "test: $1: Wine prefix could not be made"
        ctest --test-dir "$1" --output-on-failure -j 1 --timeout 300' "$arch" "$dir"
    fi
  } >"$dir/test.log" 2>&1
}

# 32-bit programs need a kernel that executes 32-bit code; a machine without it skips them.
x86_skip=$(bash scripts/can-run-32bit.sh 2>&1) && x86_skip=

# Two lines of runs side by side: the host then the 64-bit tests, and the 32-bit then the
# clang build's tests.
{ run_config host; run_config win-x64; } &
first=$!
{ [ -z "$x86_skip" ] && run_config win-x86; run_config win-x64-clang; } &
second=$!
wait "$first" "$second"

for config in host win-x86 win-x64 win-x64-clang; do
  dir="build/$config"
  if [ "$config" = win-x86 ] && [ -n "$x86_skip" ]; then
    n=$(ctest --test-dir "$dir" -N | sed -n 's/^Total Tests: *//p')
    echo "test: win-x86 skipped ($n test programs): $x86_skip"
    skipped=$((skipped + ${n:-1}))
    continue
  fi
  cat "$dir/test.log"
  count_results "$dir"
done
for config in win-x86 win-x64 win-x64-clang; do
  WINEPREFIX="$root/build/$config/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
done

line="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && line="$line, $skipped skipped"
echo "$line"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
