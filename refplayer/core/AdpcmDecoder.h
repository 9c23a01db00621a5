#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refplayer {

// The ADPCM of FLV audio (sound format 1): a 2-bit code size (2 to 5 bits per sample), then
// packets of up to 4096 samples per channel, each starting with a channel's 16-bit sample and
// 6-bit step index and going on with codes that step from one sample to the next. Samples
// come out interleaved by channel. Bits left over at the end that make no whole sample are
// ignored, so every input decodes without error.
std::vector<int16_t> DecodeAdpcm(const uint8_t* data, size_t size, int channels);

} // namespace refplayer
