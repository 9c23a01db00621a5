#!/usr/bin/env bash
# Sets up, builds all three configurations and runs every test: the host tests natively,
# the 64-bit Windows tests under wine64. Ends with one line "N passed, N failed[, N skipped]"
# and exits non-zero on any failure or build error.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# One display and one wine server for the whole Windows run; set-up first, since the
# display server is one of the things it installs.
if [ -z "${FPC_TEST_INNER:-}" ]; then
  bash scripts/setup.sh || { echo "0 passed, 1 failed"; exit 1; }
  export FPC_TEST_INNER=1
  exec scripts/with-display.sh bash "$0" "$@"
fi

if ! bash scripts/build.sh host win-x86 win-x64; then
  echo "build failed"
  echo "0 passed, 1 failed"
  exit 1
fi

passed=0 failed=0 skipped=0

# count_results BUILD_DIR: adds the results of the last ctest run in BUILD_DIR. A test that
# wrote GoogleTest XML counts its cases; one that did not (crashed, or is no GoogleTest
# program) counts as one case with the outcome CTest saw.
count_results() {
  local dir=$1 name xml counts p f s
  local failed_log="$dir/Testing/Temporary/LastTestsFailed.log"
  while read -r name; do
    xml="$dir/test-results/$name.xml"
    if [ -f "$xml" ]; then
      counts=$(awk '
        /<testcase / { n++; cur_skip = ($0 ~ /result="skipped"/); cur_fail = 0; open = ($0 !~ /\/>[ \t]*$/);
                       if (!open) { if (cur_skip) s++ } ; next }
        /<failure/   { if (!cur_fail) { f++; cur_fail = 1 } ; next }
        /<\/testcase>/ { if (cur_skip && !cur_fail) s++; open = 0 }
        END { printf "%d %d %d\n", n - f - s, f, s }' "$xml")
      read -r p f s <<<"$counts"
    elif [ -f "$failed_log" ] && grep -q ":$name\$" "$failed_log"; then
      p=0 f=1 s=0
    else
      p=1 f=0 s=0
    fi
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  done < <(ctest --test-dir "$dir" -N | sed -n 's/^ *Test *#[0-9]*: *//p')
}

for config in host win-x64; do
  dir="build/$config"
  rm -rf "$dir/test-results"/*.xml "$dir/Testing/Temporary/LastTestsFailed.log"
  echo "test: $config"
  if [ "$config" = win-x64 ]; then
    scripts/wine-run.sh "$dir/wineprefix" --init || { failed=$((failed + 1)); continue; }
  fi
  # Windows test programs share one prefix and its registry (several register the player
  # class for their run), so they run one at a time.
  jobs=2
  [ "$config" = win-x64 ] && jobs=1
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
  count_results "$dir"
done
WINEPREFIX="$root/build/win-x64/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true

line="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && line="$line, $skipped skipped"
echo "$line"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
