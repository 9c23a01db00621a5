#include <gtest/gtest.h>

#include "VideoTestSupport.h"
#include "refplayer/core/AdpcmDecoder.h"
#include "refplayer/core/FlvAudio.h"

using namespace refplayer;
using namespace videotest;

namespace {

std::vector<int16_t> DecodeClip(const std::string& name, FlvAudioFormat* format) {
    std::vector<int16_t> samples;
    for (const Tag& tag : TagsOfType(ReadTags(ReadData(name)), 8)) {
        *format = FlvAudioFormat::FromByte(tag.data[0]);
        std::vector<int16_t> part = DecodeAdpcm(tag.data.data() + 1, tag.data.size() - 1, format->channels);
        samples.insert(samples.end(), part.begin(), part.end());
    }
    return samples;
}

} // namespace

TEST(AdpcmDecoder, MonoAndStereoEqualTheReferenceDecoderSampleForSample) {
    FlvAudioFormat format;
    std::vector<int16_t> mono = DecodeClip("adpcm-mono.flv", &format);
    EXPECT_EQ(format.format, FlvSoundAdpcm);
    EXPECT_EQ(format.sampleRate, 22050);
    EXPECT_EQ(format.channels, 1);
    EXPECT_TRUE(mono == ReadSamples("adpcm-mono.s16")) << mono.size() << " samples";
    std::vector<int16_t> stereo = DecodeClip("adpcm-stereo.flv", &format);
    EXPECT_EQ(format.sampleRate, 11025);
    EXPECT_EQ(format.channels, 2);
    EXPECT_TRUE(stereo == ReadSamples("adpcm-stereo.s16")) << stereo.size() << " samples";
}

TEST(AdpcmDecoder, AnyInputDecodesWithoutReadingPastIt) {
    std::vector<Tag> audio = TagsOfType(ReadTags(ReadData("adpcm-stereo.flv")), 8);
    Bytes tag(audio[0].data.begin() + 1, audio[0].data.end());
    for (size_t size = 0; size < tag.size(); size += 7) {
        std::vector<int16_t> samples = DecodeAdpcm(tag.data(), size, 2);
        EXPECT_EQ(samples.size() % 2, 0u);
        EXPECT_LE(samples.size(), size * 8 / 2 + 2);
    }
    EXPECT_TRUE(DecodeAdpcm(tag.data(), tag.size(), 3).empty());
}

TEST(FlvAudio, FormatByteAndUncompressedSamples) {
    FlvAudioFormat format = FlvAudioFormat::FromByte(0x3F); // PCM LE, 44 kHz, 16-bit, stereo
    EXPECT_EQ(format.format, FlvSoundPcmLittleEndian);
    EXPECT_EQ(format.sampleRate, 44100);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.channels, 2);
    format = FlvAudioFormat::FromByte(0x22); // MP3, 5.5 kHz, mono
    EXPECT_EQ(format.format, FlvSoundMp3);
    EXPECT_EQ(format.sampleRate, 5512);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(FlvAudioFormat::FromByte(0xE0).sampleRate, 8000);

    const uint8_t wide[] = {0x34, 0x12, 0x00, 0x80, 0xFF};
    EXPECT_EQ(DecodePcm(wide, sizeof wide, 16), (std::vector<int16_t>{0x1234, -32768}));
    const uint8_t narrow[] = {0x00, 0x80, 0xFF};
    EXPECT_EQ(DecodePcm(narrow, sizeof narrow, 8), (std::vector<int16_t>{-32768, 0, 127 * 256}));
}
