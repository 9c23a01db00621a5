#!/usr/bin/env bash
# Makes the video and sound reference data of the player's decoder tests once, at development
# time, from synthetic sources: short FLV clips from a well-known encoder and that project's
# own decoded pictures and samples. The tests read only the files written here.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$root/tests/refplayer/data"
mkdir -p "$out"
ff=(ffmpeg -hide_banner -loglevel error -y -bitexact)

# H.263 with motion: a window panning over the test pattern, 10 frames, key frames at 0 and 5,
# custom 8-bit size (64x48).
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -frames:v 10 \
  -vf "crop=64:48:x='20+n*3':y='10+n*2'" -c:v flv -g 5 -q:v 4 -an "$out/h263-motion.flv"
"${ff[@]}" -i "$out/h263-motion.flv" -f rawvideo -pix_fmt yuv420p "$out/h263-motion.yuv"

# Four vectors per macroblock and quantiser changes from adaptive quantisation, 6 frames.
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -frames:v 6 \
  -vf "crop=64:48:x='40+n*5':y='30+n*3'" -c:v flv -g 6 -b:v 200k -flags +mv4 \
  -lumi_mask 0.3 -scplx_mask 0.5 -p_mask 0.3 -an "$out/h263-mv4-dquant.flv"
"${ff[@]}" -i "$out/h263-mv4-dquant.flv" -f rawvideo -pix_fmt yuv420p "$out/h263-mv4-dquant.yuv"

# Picture sizes: a listed size (128x96), a custom 16-bit size (272x16) and a custom size that
# is no multiple of 16 (50x38), two frames each so the second is predicted.
"${ff[@]}" -f lavfi -i "testsrc=size=128x96:rate=12" -frames:v 2 -c:v flv -q:v 3 -an "$out/h263-128x96.flv"
"${ff[@]}" -i "$out/h263-128x96.flv" -f rawvideo -pix_fmt yuv420p "$out/h263-128x96.yuv"
"${ff[@]}" -f lavfi -i "testsrc=size=272x16:rate=12" -frames:v 2 -c:v flv -q:v 3 -an "$out/h263-272x16.flv"
"${ff[@]}" -i "$out/h263-272x16.flv" -f rawvideo -pix_fmt yuv420p "$out/h263-272x16.yuv"
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -frames:v 4 \
  -vf "crop=50:38:x='30+n*5':y='20+n'" -c:v flv -q:v 2 -an "$out/h263-50x38.flv"
"${ff[@]}" -i "$out/h263-50x38.flv" -f rawvideo -pix_fmt yuv420p "$out/h263-50x38.yuv"

# Screen Video: 80x72 in 32x32 blocks (partial blocks at the right and top), 3 frames.
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -frames:v 3 \
  -vf "crop=80:72:x='n*4':y='0'" -c:v flashsv -g 3 -an "$out/screen.flv"
"${ff[@]}" -i "$out/screen.flv" -f rawvideo -pix_fmt bgr24 "$out/screen.bgr"

# ADPCM: mono at 22050 Hz and stereo at 11025 Hz, half a second each.
"${ff[@]}" -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=0.5" -c:a adpcm_swf -vn "$out/adpcm-mono.flv"
"${ff[@]}" -i "$out/adpcm-mono.flv" -f s16le "$out/adpcm-mono.s16"
"${ff[@]}" -f lavfi -i "sine=frequency=300:sample_rate=11025:duration=0.5" \
  -f lavfi -i "sine=frequency=700:sample_rate=11025:duration=0.5" \
  -filter_complex "[0][1]amerge=inputs=2" -c:a adpcm_swf -vn "$out/adpcm-stereo.flv"
"${ff[@]}" -i "$out/adpcm-stereo.flv" -f s16le "$out/adpcm-stereo.s16"

# MP3: one second mono at 22050 Hz, and its samples as the reference decoder gives them.
"${ff[@]}" -f lavfi -i "sine=frequency=500:sample_rate=22050:duration=1" -c:a libmp3lame -b:a 64k -vn "$out/mp3-mono.flv"
"${ff[@]}" -i "$out/mp3-mono.flv" -f s16le "$out/mp3-mono.s16"

# The clip of the benchmark and the module tests: 320x240, two seconds at 12 frames per
# second, with MP3 and with ADPCM sound.
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -f lavfi -i "sine=frequency=440:sample_rate=22050" \
  -t 2 -c:v flv -g 12 -q:v 8 -c:a libmp3lame -b:a 32k -ar 22050 -ac 1 "$out/clip-320x240-mp3.flv"
"${ff[@]}" -f lavfi -i "testsrc=size=320x240:rate=12" -f lavfi -i "sine=frequency=440:sample_rate=22050" \
  -t 2 -c:v flv -g 12 -q:v 8 -c:a adpcm_swf -ar 22050 -ac 1 "$out/clip-320x240-adpcm.flv"
ls -l "$out"
