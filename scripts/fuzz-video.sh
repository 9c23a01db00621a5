#!/usr/bin/env bash
# Builds the video fuzzer (H.263, Screen Video, ADPCM, the FLV stream player) with clang's
# libFuzzer (ASan + UBSan) into build/fuzz-video and runs it for a bounded time, seeded with
# the reference clips and their H.263 pictures.
#   scripts/fuzz-video.sh [seconds]      default 60
# Prints "fuzz: N inputs in S seconds" and exits non-zero on any finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
out="$root/build/fuzz-video"
mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"

sources=(tests/refplayer/VideoFuzzer.cpp refplayer/core/AdpcmDecoder.cpp refplayer/core/Amf0.cpp
  refplayer/core/FlvAudio.cpp refplayer/core/FlvParser.cpp refplayer/core/FlvStreamPlayer.cpp
  refplayer/core/H263Decoder.cpp refplayer/core/H263Tables.cpp refplayer/core/Idct.cpp
  refplayer/core/Inflater.cpp refplayer/core/ScreenVideoDecoder.cpp refplayer/core/VideoImage.cpp)
binary="$out/video_fuzzer"
stale=0
for s in "${sources[@]}" refplayer/core/*.h; do
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

# Seeds: the clips, and each clip's first two H.263 pictures joined (the second half of an
# input is decoded after the first).
cp "$root"/tests/refplayer/data/*.flv "$out/seeds/"
python3 - "$root/tests/refplayer/data" "$out/seeds" <<'PY'
import os, sys
src, dst = sys.argv[1], sys.argv[2]
for name in os.listdir(src):
    if not name.startswith("h263") or not name.endswith(".flv"):
        continue
    data = open(os.path.join(src, name), "rb").read()
    pos, pictures = 13, []
    while pos + 11 <= len(data):
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        if data[pos] == 9:
            pictures.append(data[pos + 12:pos + 11 + size])
        pos += 15 + size
    if len(pictures) >= 2:
        a, b = pictures[0], pictures[1]
        pad = b"\0" * max(0, len(b) - len(a))
        open(os.path.join(dst, name + ".pictures"), "wb").write(a + pad + b)
PY

log="$out/last-run.log"
start=$(date +%s)
set +e
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=200000 \
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
