#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refplayer {

enum FlvSoundFormat : uint8_t {
    FlvSoundPcmPlatform = 0, // uncompressed, byte order of the machine that wrote it (little-endian)
    FlvSoundAdpcm = 1,
    FlvSoundMp3 = 2,
    FlvSoundPcmLittleEndian = 3,
    FlvSoundMp3At8kHz = 14,
};

// The first byte of an audio tag.
struct FlvAudioFormat {
    uint8_t format = 0;
    int sampleRate = 0;   // 5512, 11025, 22050 or 44100 (8000 for format 14)
    int bitsPerSample = 0; // 8 or 16 (uncompressed formats)
    int channels = 0;

    static FlvAudioFormat FromByte(uint8_t byte);
};

// Uncompressed samples as signed 16-bit, interleaved; 8-bit samples are unsigned. A trailing
// part-sample is dropped.
std::vector<int16_t> DecodePcm(const uint8_t* data, size_t size, int bitsPerSample);

} // namespace refplayer
