#!/usr/bin/env bash
# Builds the module-image fuzzer with clang's libFuzzer (ASan + UBSan) into build/fuzz and runs
# it for a bounded time, seeded with the loader's fixture DLLs (both architectures).
#   scripts/fuzz.sh [seconds]      default 60
# Prints "fuzz: N inputs in S seconds" and exits non-zero on any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
# clang and its fuzzer runtime come with the set-up.
bash "$root/scripts/setup.sh"
out="$root/build/fuzz"
mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"

sources=(
  tests/loader/ImageFuzzer.cpp
  FlashPlayerControl/loader/PEImage.cpp
  FlashPlayerControl/loader/ImageResources.cpp
  FlashPlayerControl/loader/LoaderPlatform.cpp
  FlashPlayerControl/loader/DLLLoader.cpp
  framework/Streams.cpp
  framework/Exceptions.cpp
)
binary="$out/image_fuzzer"
stale=0
for s in "${sources[@]}" FlashPlayerControl/loader/*.h tests/loader/FakeLoaderPlatform.h framework/*.h; do
  [ "$binary" -nt "$root/$s" ] || stale=1
done
if [ "$stale" = 1 ]; then
  # One process at a time builds it (ctest and a manual run may overlap).
  (
    flock 9
    (cd "$root" && clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined \
      -fno-sanitize-recover=all -I"$root" "${sources[@]}" -o "$binary.tmp")
    mv "$binary.tmp" "$binary"
  ) 9>"$out/build.lock"
fi

# Seeds: the fixture DLLs of the host build (built on demand when that build exists).
fixtures="$root/build/host/tests/loader"
if [ -f "$root/build/host/CMakeCache.txt" ] && ! ls "$fixtures"/fixtures-x64/fpcfixture.dll >/dev/null 2>&1; then
  cmake --build "$root/build/host" --target loader_fixtures >/dev/null
fi
for arch in x86 x64; do
  for dll in "$fixtures/fixtures-$arch"/*.dll; do
    [ -f "$dll" ] && cp "$dll" "$out/seeds/$arch-$(basename "$dll")"
  done
done

log="$out/last-run.log"
start=$(date +%s)
set +e
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=300000 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" "$out/seeds" >"$log" 2>&1
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
