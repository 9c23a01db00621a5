#include <gtest/gtest.h>

#include "VideoTestSupport.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/ScreenVideoDecoder.h"

using namespace refplayer;
using namespace videotest;

namespace {

Bytes AsBgr(const BgraImage& image) {
    Bytes out;
    for (size_t i = 0; i < image.pixels.size(); i += 4) out.insert(out.end(), &image.pixels[i], &image.pixels[i] + 3);
    return out;
}

} // namespace

TEST(ScreenVideoDecoder, FramesEqualTheReferenceDecoder) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData("screen.flv")), 9);
    Bytes reference = ReadData("screen.bgr");
    ASSERT_EQ(video.size(), 3u);
    size_t frameSize = reference.size() / video.size();
    ScreenVideoDecoder decoder;
    for (size_t i = 0; i < video.size(); i++) {
        ASSERT_EQ(video[i].data[0] & 0x0F, 3);
        decoder.Decode(video[i].data.data() + 1, video[i].data.size() - 1);
        EXPECT_EQ(decoder.Picture().width, 80);
        EXPECT_EQ(decoder.Picture().height, 72);
        EXPECT_EQ(decoder.Picture().pixels[3], 255);
        Bytes expected(reference.begin() + long(i * frameSize), reference.begin() + long((i + 1) * frameSize));
        EXPECT_TRUE(AsBgr(decoder.Picture()) == expected) << "frame " << i;
    }
}

TEST(ScreenVideoDecoder, DamagedFramesFailCleanlyAndKeepTheLastPicture) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData("screen.flv")), 9);
    ScreenVideoDecoder good;
    good.Decode(video[0].data.data() + 1, video[0].data.size() - 1);
    Bytes intact(video[1].data.begin() + 1, video[1].data.end());
    size_t failures = 0;
    for (size_t at = 0; at < intact.size(); at++) {
        for (int damage = 0; damage < 2; damage++) {
            Bytes damaged = intact;
            if (damage == 0) damaged.resize(at);
            else damaged[at] ^= 0x5A;
            ScreenVideoDecoder decoder = good;
            try {
                decoder.Decode(damaged.data(), damaged.size());
            } catch (const FormatError&) {
                failures++;
                EXPECT_TRUE(decoder.Picture().pixels == good.Picture().pixels);
            }
        }
    }
    EXPECT_GT(failures, intact.size());
}
