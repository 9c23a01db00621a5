#!/usr/bin/env bash
# Builds the script-engine fuzzer with clang's libFuzzer (ASan + UBSan) into build/fuzz-scripts
# and runs it for a bounded time, seeded with the action lists in tests/refplayer/script-seeds.
#   scripts/fuzz-scripts.sh [seconds]      default 60
# Prints "fuzz: N inputs in S seconds" and exits non-zero on any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
out="$root/build/fuzz-scripts"
mkdir -p "$out/corpus" "$out/artifacts"

sources=(
  tests/refplayer/ScriptFuzzer.cpp
  refplayer/core/ScriptActions.cpp
  refplayer/core/ScriptBuiltins.cpp
  refplayer/core/ScriptEngine.cpp
  refplayer/core/ScriptInterpreter.cpp
  refplayer/core/ScriptValue.cpp
  refplayer/core/InvokeXml.cpp
  refplayer/core/TextCodec.cpp
)
binary="$out/script_fuzzer"
stale=0
for s in "${sources[@]}" refplayer/core/*.h tests/refplayer/ScriptTestSupport.h; do
  [ "$binary" -nt "$root/$s" ] || stale=1
done
if [ "$stale" = 1 ]; then
  (
    flock 9
    (cd "$root" && clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined \
      -fno-sanitize-recover=all -I"$root" "${sources[@]}" -o "$binary.tmp")
    mv "$binary.tmp" "$binary"
  ) 9>"$out/build.lock"
fi

log="$out/last-run.log"
start=$(date +%s)
set +e
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" "$root/tests/refplayer/script-seeds" >"$log" 2>&1
rc=$?
set -e
elapsed=$(( $(date +%s) - start ))
runs=$(sed -n 's/^Done \([0-9]*\) runs in.*/\1/p' "$log" | tail -1)
if [ "$rc" -ne 0 ]; then
  tail -40 "$log"
  echo "fuzz: finding after ${elapsed} seconds (see $out/artifacts)"
  exit 1
fi
echo "fuzz: ${runs:-?} inputs in ${elapsed} seconds"
