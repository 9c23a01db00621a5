#!/usr/bin/env bash
# Builds the project's fuzz targets with clang's libFuzzer (ASan + UBSan) into build/fuzz and
# runs them for a bounded time each: first every committed regression input of a target
# (tests/fuzz/regressions/<target>), then fuzzing from its committed seed corpus
# (tests/fuzz/corpus/<target>, and the loader's fixture DLLs for the image target) with its
# dictionary where it has one (tests/fuzz/<target>.dict).
#   scripts/fuzz.sh [--keep] [--build-only] [seconds] [target...]
#       seconds   per target, default 60
#       target    image swf script flv video inflate invokexml paths memstream formfile (default: all)
#       --keep    merge the new inputs found into the committed seed corpus
# Prints "fuzz <target>: N inputs in S seconds" per target and exits non-zero on any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# clang and its fuzzer runtime come with the set-up.
bash "$root/scripts/setup.sh"

keep=0 build_only=0 seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1; shift ;;
    --build-only) build_only=1; shift ;;
    [0-9]*) seconds=$1; shift ;;
    *) break ;;
  esac
done
all_targets=(image swf script flv video inflate invokexml paths memstream formfile)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

out="$root/build/fuzz"
mkdir -p "$out/obj" "$out/artifacts"

refplayer_core=(refplayer/core/*.cpp)
sources_of() {
  case "$1" in
    image) echo tests/loader/ImageFuzzer.cpp FlashPlayerControl/loader/PEImage.cpp \
             FlashPlayerControl/loader/ImageResources.cpp FlashPlayerControl/loader/LoaderPlatform.cpp \
             FlashPlayerControl/loader/DLLLoader.cpp framework/Streams.cpp framework/Exceptions.cpp ;;
    swf) echo tests/fuzz/SwfFuzzer.cpp "${refplayer_core[@]}" ;;
    script) echo tests/refplayer/ScriptFuzzer.cpp "${refplayer_core[@]}" ;;
    flv) echo tests/fuzz/FlvFuzzer.cpp "${refplayer_core[@]}" ;;
    video) echo tests/refplayer/VideoFuzzer.cpp "${refplayer_core[@]}" ;;
    inflate) echo tests/fuzz/InflaterFuzzer.cpp "${refplayer_core[@]}" ;;
    invokexml) echo tests/fuzz/InvokeXmlFuzzer.cpp "${refplayer_core[@]}" ;;
    paths) echo tests/fuzz/PathsFuzzer.cpp FlashPlayerControl/content/MemoryPaths.cpp "${refplayer_core[@]}" ;;
    memstream) echo tests/fuzz/MemoryStreamFuzzer.cpp framework/Streams.cpp framework/Exceptions.cpp ;;
    formfile) echo tests/fuzz/FormFileFuzzer.cpp framework/FormFileParser.cpp framework/Exceptions.cpp ;;
    *) echo "fuzz.sh: unknown target '$1'" >&2; return 1 ;;
  esac
}
libs_of() { [ "$1" = inflate ] && echo -lz || true; }

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found (run scripts/setup.sh)" >&2; exit 2; }
cxx=(clang++)
command -v ccache >/dev/null && cxx=(ccache clang++)
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -I"$root")

# Every source is compiled into build/fuzz/obj each time (the compiler cache answers the
# unchanged ones at once; it also sees header changes a timestamp check would miss); one
# process at a time builds, since ctest and a manual run may overlap.
build() {
  local all=() s t
  for t in "${targets[@]}"; do
    for s in $(sources_of "$t"); do all+=("$s"); done
  done
  printf '%s\n' "${all[@]}" | sort -u | xargs -P "$(nproc)" -I{} sh -c \
    'obj="$0/obj/$(echo "$1" | tr / _).o"; '"${cxx[*]} ${flags[*]}"' -c "$1" -o "$obj"' "$out" {}
  for t in "${targets[@]}"; do
    local objs=()
    for s in $(sources_of "$t"); do objs+=("$out/obj/$(echo "$s" | tr / _).o"); done
    clang++ -fsanitize=fuzzer,address,undefined "${objs[@]}" $(libs_of "$t") -o "$out/$t.tmp"
    mv "$out/$t.tmp" "$out/${t}_fuzzer"
  done
}
(
  flock 9
  build
) 9>"$out/build.lock"
[ "$build_only" = 1 ] && exit 0

# Seeds of the image target: the loader's fixture DLLs of the host build (built on demand).
seed_images() {
  local fixtures="$root/build/host/tests/loader" arch dll
  mkdir -p "$out/seeds-image"
  if [ -f "$root/build/host/CMakeCache.txt" ] && ! ls "$fixtures"/fixtures-x64/fpcfixture.dll >/dev/null 2>&1; then
    cmake --build "$root/build/host" --target loader_fixtures >/dev/null
  fi
  for arch in x86 x64; do
    for dll in "$fixtures/fixtures-$arch"/*.dll; do
      [ -f "$dll" ] && cp "$dll" "$out/seeds-image/$arch-$(basename "$dll")"
    done
  done
  return 0
}

status=0
for t in "${targets[@]}"; do
  binary="$out/${t}_fuzzer"
  log="$out/$t.log"
  corpus="$out/corpus/$t"
  mkdir -p "$corpus" "$out/artifacts/$t"
  seeds=()
  [ -d "tests/fuzz/corpus/$t" ] && seeds+=("tests/fuzz/corpus/$t")
  if [ "$t" = image ]; then seed_images; seeds+=("$out/seeds-image"); fi
  options=(-timeout=10 -rss_limit_mb=2048 -max_len=300000 -artifact_prefix="$out/artifacts/$t/")
  [ -f "tests/fuzz/$t.dict" ] && options+=(-dict="tests/fuzz/$t.dict")

  regressions=()
  [ -d "tests/fuzz/regressions/$t" ] && mapfile -t regressions < <(find "tests/fuzz/regressions/$t" -type f | sort)
  if [ ${#regressions[@]} -gt 0 ] && ! "$binary" "${options[@]}" "${regressions[@]}" >"$log" 2>&1; then
    tail -30 "$log"
    echo "fuzz $t: a regression input fails again"
    status=1
    continue
  fi

  start=$(date +%s)
  set +e
  "$binary" "${options[@]}" -max_total_time="$seconds" "$corpus" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  elapsed=$(( $(date +%s) - start ))
  runs=$(sed -n 's/^Done \([0-9]*\) runs in.*/\1/p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ "$rc" -ne 0 ]; then
    tail -40 "$log"
    echo "fuzz $t: finding after ${elapsed} seconds (see $out/artifacts/$t)"
    status=1
    continue
  fi
  echo "fuzz $t: ${runs:-?} inputs in ${elapsed} seconds, coverage ${coverage:-?} edges, ${#regressions[@]} regression inputs"
  if [ "$keep" = 1 ] && [ -d "tests/fuzz/corpus/$t" ]; then
    "$binary" -merge=1 "${options[@]}" "tests/fuzz/corpus/$t" "$corpus" >>"$log" 2>&1 || true
  fi
done
exit $status
