#!/usr/bin/env bash
# Sourced by scripts/test.sh and scripts/test-clang.sh: the one way the project counts a
# ctest run's results into the shell variables passed, failed and skipped.

# count_results BUILD_DIR [CTEST_REGEX]: adds the results of the last ctest run in BUILD_DIR
# (of the tests matching CTEST_REGEX). A test that wrote GoogleTest XML counts its cases. A GoogleTest program that wrote none (it crashed, was
# killed by the time-out, or never started) counts as one failed case whatever its exit code;
# any other test counts as one case with the outcome CTest saw.
count_results() {
  local dir=$1 chosen=${2:-.} name xml counts p f s gtests
  local failed_log="$dir/Testing/Temporary/LastTestsFailed.log"
  gtests=$(ctest --test-dir "$dir" -N -L '^gtest$' -R "$chosen" | sed -n 's/^ *Test *#[0-9]*: *//p')
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
      # A program that crashed after its last case can leave a complete XML and a failure.
      if [ -f "$failed_log" ] && grep -q ":$name\$" "$failed_log" && [ "$f" -eq 0 ]; then
        f=1
        echo "test: $name wrote its results but then failed (crash at exit?)"
      fi
    elif grep -qxF "$name" <<<"$gtests"; then
      p=0 f=1 s=0
      echo "test: $name wrote no results (crashed or timed out): counted as failed"
    elif [ -f "$failed_log" ] && grep -q ":$name\$" "$failed_log"; then
      p=0 f=1 s=0
    else
      p=1 f=0 s=0
    fi
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  done < <(ctest --test-dir "$dir" -N -R "$chosen" | sed -n 's/^ *Test *#[0-9]*: *//p')
}
