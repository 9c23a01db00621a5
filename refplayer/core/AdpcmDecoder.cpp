#include "refplayer/core/AdpcmDecoder.h"

#include <algorithm>

#include "refplayer/core/BitReader.h"

namespace refplayer {

namespace {

const int16_t kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767,
};

// Step index change per code magnitude, by code size.
const int8_t kIndexChanges[4][16] = {
    {-1, 2},
    {-1, -1, 2, 4},
    {-1, -1, -1, -1, 2, 4, 6, 8},
    {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16},
};

struct ChannelState {
    int sample = 0;
    int index = 0;
};

} // namespace

std::vector<int16_t> DecodeAdpcm(const uint8_t* data, size_t size, int channels) {
    std::vector<int16_t> out;
    if (size == 0 || channels < 1 || channels > 2) return out;
    BitReader bits(data, size, "ADPCM sound");
    const unsigned codeBits = bits.Read(2) + 2;
    const int8_t* indexChanges = kIndexChanges[codeBits - 2];
    const uint32_t signBit = 1u << (codeBits - 1);
    const size_t channelCount = size_t(channels);
    ChannelState state[2];
    out.reserve(size * 8 / codeBits);
    while (bits.BitsLeft() >= 22 * channelCount) {
        for (size_t c = 0; c < channelCount; c++) {
            state[c].sample = bits.ReadSigned(16);
            state[c].index = static_cast<int>(bits.Read(6));
            out.push_back(static_cast<int16_t>(state[c].sample));
        }
        for (int count = 0; count < 4095 && bits.BitsLeft() >= codeBits * channelCount; count++) {
            for (size_t c = 0; c < channelCount; c++) {
                uint32_t code = bits.Read(codeBits);
                int step = kStepSizes[std::min(state[c].index, 88)];
                // difference = (magnitude + 1/2) * step / 2^(codeBits-2), summed bit by bit
                int difference = 0;
                for (uint32_t bit = signBit >> 1; bit; bit >>= 1, step >>= 1)
                    if (code & bit) difference += step;
                difference += step;
                state[c].sample += (code & signBit) ? -difference : difference;
                state[c].sample = std::clamp(state[c].sample, -32768, 32767);
                state[c].index = std::clamp(state[c].index + indexChanges[code & (signBit - 1)], 0, 88);
                out.push_back(static_cast<int16_t>(state[c].sample));
            }
        }
    }
    return out;
}

} // namespace refplayer
