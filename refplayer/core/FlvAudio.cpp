#include "refplayer/core/FlvAudio.h"

namespace refplayer {

FlvAudioFormat FlvAudioFormat::FromByte(uint8_t byte) {
    static const int kRates[4] = {5512, 11025, 22050, 44100};
    FlvAudioFormat format;
    format.format = byte >> 4;
    format.sampleRate = format.format == FlvSoundMp3At8kHz ? 8000 : kRates[(byte >> 2) & 3];
    format.bitsPerSample = (byte & 2) ? 16 : 8;
    format.channels = (byte & 1) ? 2 : 1;
    return format;
}

std::vector<int16_t> DecodePcm(const uint8_t* data, size_t size, int bitsPerSample) {
    std::vector<int16_t> out;
    if (bitsPerSample == 8) {
        out.reserve(size);
        for (size_t i = 0; i < size; i++) out.push_back(static_cast<int16_t>((data[i] - 128) * 256));
    } else {
        out.reserve(size / 2);
        for (size_t i = 0; i + 1 < size; i += 2) out.push_back(static_cast<int16_t>(data[i] | data[i + 1] << 8));
    }
    return out;
}

} // namespace refplayer
