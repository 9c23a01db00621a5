#include <gtest/gtest.h>

#include <cmath>

#include "VideoTestSupport.h"
#include "refplayer/module/Mp3AcmDecoder.h"

using namespace videotest;

namespace {

// Signal-to-noise ratio of `decoded` against `reference` in dB, at the lag (within
// +-maxLag samples) where they agree best: decoders differ in the delay they leave at the start.
double AlignedSnr(const std::vector<int16_t>& decoded, const std::vector<int16_t>& reference, int maxLag, int* bestLag) {
    double best = -1000;
    for (int lag = -maxLag; lag <= maxLag; lag++) {
        double signal = 0, noise = 0;
        for (size_t i = 2000; i + 2000 < reference.size(); i++) {
            long j = long(i) + lag;
            if (j < 0 || size_t(j) >= decoded.size()) continue;
            double r = reference[i], d = decoded[size_t(j)];
            signal += r * r;
            noise += (r - d) * (r - d);
        }
        if (signal == 0) continue;
        double snr = noise == 0 ? 200 : 10 * std::log10(signal / noise);
        if (snr > best) {
            best = snr;
            *bestLag = lag;
        }
    }
    return best;
}

}  // namespace

TEST(Mp3AcmDecoder, DecodesThroughTheSystemCodecLikeTheReferenceDecoder) {
    std::vector<Tag> audio = TagsOfType(ReadTags(ReadData("mp3-mono.flv")), 8);
    ASSERT_FALSE(audio.empty());
    TMp3AcmDecoder decoder;
    std::vector<int16_t> samples;
    for (const Tag& tag : audio) {
        ASSERT_EQ(tag.data[0] >> 4, 2);
        // Split each tag in two, anywhere: frames must survive being cut.
        size_t half = (tag.data.size() - 1) / 3;
        ASSERT_TRUE(decoder.Decode(tag.data.data() + 1, half, samples));
        ASSERT_TRUE(decoder.Decode(tag.data.data() + 1 + half, tag.data.size() - 1 - half, samples));
    }
    EXPECT_EQ(decoder.SampleRate(), 22050);
    EXPECT_EQ(decoder.Channels(), 1);
    std::vector<int16_t> reference = ReadSamples("mp3-mono.s16");
    EXPECT_GT(samples.size(), reference.size() * 8 / 10);
    int lag = 0;
    double snr = AlignedSnr(samples, reference, 2400, &lag);
    RecordProperty("snr-db", std::to_string(snr));
    RecordProperty("lag-samples", std::to_string(lag));
    EXPECT_GE(snr, 30.0) << "lag " << lag;
}

TEST(Mp3AcmDecoder, DataWithoutFramesGivesNothingAndOtherLayersAreRefused) {
    TMp3AcmDecoder decoder;
    std::vector<int16_t> samples;
    const uint8_t noise[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(decoder.Decode(noise, sizeof noise, samples));
    EXPECT_TRUE(samples.empty());
    int rate = 0, channels = 0, bytes = 0;
    const uint8_t layer3[] = {0xFF, 0xFB, 0x90, 0xC4}; // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, mono
    EXPECT_TRUE(ReadMp3FrameHeader(layer3, rate, channels, bytes));
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(bytes, 417);
    const uint8_t layer2[] = {0xFF, 0xFD, 0x90, 0xC4};
    EXPECT_FALSE(ReadMp3FrameHeader(layer2, rate, channels, bytes));
}
