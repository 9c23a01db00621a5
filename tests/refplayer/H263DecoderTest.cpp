#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "VideoTestSupport.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/H263Decoder.h"
#include "refplayer/core/H263Tables.h"

using namespace refplayer;
using namespace videotest;

namespace {

// The decoder's planes packed as a YUV 4:2:0 file stores them.
Bytes PackPlanes(const YuvPlanes& p) {
    Bytes out;
    for (int y = 0; y < p.height; y++) out.insert(out.end(), p.y + y * p.yStride, p.y + y * p.yStride + p.width);
    int cw = (p.width + 1) / 2, ch = (p.height + 1) / 2;
    for (const uint8_t* plane : {p.u, p.v})
        for (int y = 0; y < ch; y++) out.insert(out.end(), plane + y * p.chromaStride, plane + y * p.chromaStride + cw);
    return out;
}

// Every frame of the clip against the reference decoder's pictures.
void ExpectClipMatches(const std::string& name, double minimumPsnr) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData(name + ".flv")), 9);
    Bytes reference = ReadData(name + ".yuv");
    ASSERT_FALSE(video.empty());
    size_t frameSize = reference.size() / video.size();
    H263Decoder decoder;
    double lowest = INFINITY;
    for (size_t i = 0; i < video.size(); i++) {
        ASSERT_EQ(video[i].data[0] & 0x0F, 2);
        decoder.Decode(video[i].data.data() + 1, video[i].data.size() - 1);
        Bytes picture = PackPlanes(decoder.Picture());
        ASSERT_EQ(picture.size(), frameSize) << name << " frame " << i;
        Bytes expected(reference.begin() + long(i * frameSize), reference.begin() + long((i + 1) * frameSize));
        double psnr = Psnr(picture, expected);
        EXPECT_GE(psnr, minimumPsnr) << name << " frame " << i;
        lowest = std::min(lowest, psnr);
    }
    ::testing::Test::RecordProperty(name + "-lowest-psnr", std::to_string(lowest));
}

// Writes fields most significant bit first, for pictures made by hand.
class BitWriter {
public:
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; i--) bits_.push_back((value >> i) & 1);
    }
    Bytes Finish() const {
        Bytes out((bits_.size() + 7) / 8, 0);
        for (size_t i = 0; i < bits_.size(); i++)
            if (bits_[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    }

private:
    std::vector<int> bits_;
};

// A 16x16 intra picture of one macroblock: every block has DC level 128 (value 1024, grey
// 128) and block 0 one escaped coefficient (last, run 0 after DC, level) when escapeLevel != 0.
// version 0 escapes carry 8 bits; version 1 a width flag and 7 or 11 bits.
Bytes OneMacroblockPicture(int version, int escapeLevel, bool wide) {
    BitWriter w;
    w.Put(1, 17);
    w.Put(uint32_t(version), 5);
    w.Put(0, 8);       // temporal reference
    w.Put(0, 3);       // custom 8-bit size
    w.Put(16, 8);
    w.Put(16, 8);
    w.Put(0, 2);       // intra
    w.Put(1, 1);       // deblocking hint
    w.Put(4, 5);       // quantiser
    w.Put(0, 1);       // no extra information
    // Intra MCBPC without chroma coefficients: "1". CBPY 1000 (block 0 coded): "00010";
    // CBPY 0000 (nothing beyond DC): "0011".
    w.Put(1, 1);
    if (escapeLevel) w.Put(2, 5);
    else w.Put(3, 4);
    for (int block = 0; block < 6; block++) {
        w.Put(255, 8); // DC 255 stands for level 128
        if (block == 0 && escapeLevel) {
            w.Put(0x3, 7); // escape
            if (version == 1) {
                w.Put(wide ? 1 : 0, 1);
                w.Put(1, 1);
                w.Put(0, 6);
                w.Put(uint32_t(escapeLevel) & ((1u << (wide ? 11 : 7)) - 1), wide ? 11 : 7);
            } else {
                w.Put(1, 1);
                w.Put(0, 6);
                w.Put(uint32_t(escapeLevel) & 0xFF, 8);
            }
        }
    }
    return w.Finish();
}

} // namespace

TEST(H263Tables, CodesArePrefixFreeAndFillTheirSpace) {
    // The codes leave unused only the patterns H.263 leaves unassigned: 2 of the luma
    // pattern's 64 six-bit patterns, 7 of the intra type's 512 nine-bit patterns.
    const H263Tables& t = H263Tables::Get();
    EXPECT_EQ(t.cbpy.CoveredEntries(), (size_t(1) << t.cbpy.MaxBits()) - 2);
    EXPECT_EQ(t.intraMcbpc.CoveredEntries(), (size_t(1) << t.intraMcbpc.MaxBits()) - 7);
    EXPECT_GT(t.coefficient.CoveredEntries(), (size_t(1) << t.coefficient.MaxBits()) * 99 / 100);
    EXPECT_EQ(t.zigzag[0], 0);
    EXPECT_EQ(t.zigzag[2], 8);
    EXPECT_EQ(t.zigzag[63], 63);
    bool seen[64] = {};
    for (uint8_t position : t.zigzag) seen[position] = true;
    EXPECT_EQ(std::count(seen, seen + 64, true), 64);
}

TEST(H263Decoder, PicturesWithMotionMatchTheReferenceDecoder) {
    ExpectClipMatches("h263-motion", 40.0);
}

TEST(H263Decoder, FourVectorMacroblocksAndQuantiserChangesMatchTheReferenceDecoder) {
    ExpectClipMatches("h263-mv4-dquant", 40.0);
}

TEST(H263Decoder, ListedAndCustomSizesMatchTheReferenceDecoder) {
    ExpectClipMatches("h263-128x96", 40.0);
    ExpectClipMatches("h263-272x16", 40.0);
    ExpectClipMatches("h263-50x38", 40.0);
}

TEST(H263Decoder, HeadersGiveSizeTypeAndVersion) {
    struct Case {
        const char* file;
        int width, height;
    } cases[] = {{"h263-128x96.flv", 128, 96}, {"h263-272x16.flv", 272, 16}, {"h263-50x38.flv", 50, 38}};
    for (const Case& c : cases) {
        std::vector<Tag> video = TagsOfType(ReadTags(ReadData(c.file)), 9);
        H263PictureHeader first = H263Decoder::ReadHeader(video[0].data.data() + 1, video[0].data.size() - 1);
        H263PictureHeader second = H263Decoder::ReadHeader(video[1].data.data() + 1, video[1].data.size() - 1);
        EXPECT_EQ(first.width, c.width) << c.file;
        EXPECT_EQ(first.height, c.height) << c.file;
        EXPECT_EQ(first.type, H263PictureType::Intra);
        EXPECT_EQ(second.type, H263PictureType::Predicted);
        EXPECT_EQ(first.version, 1);
        EXPECT_GT(second.temporalReference, first.temporalReference);
    }
    Bytes v0 = OneMacroblockPicture(0, 0, false);
    H263PictureHeader header = H263Decoder::ReadHeader(v0.data(), v0.size());
    EXPECT_EQ(header.version, 0);
    EXPECT_EQ(header.width, 16);
    EXPECT_TRUE(header.deblocking);
    EXPECT_EQ(header.quantiser, 4);
}

TEST(H263Decoder, EscapedLevelsOfBothVersionsDecodeAlike) {
    // Level 5 escaped in each of the three forms gives the same picture, which differs from
    // a picture without the coefficient; a wide 11-bit level reaches beyond 8 bits.
    auto decode = [](const Bytes& picture) {
        H263Decoder decoder;
        decoder.Decode(picture.data(), picture.size());
        YuvPlanes p = decoder.Picture();
        Bytes luma;
        for (int y = 0; y < 16; y++) luma.insert(luma.end(), p.y + y * p.yStride, p.y + y * p.yStride + 16);
        return luma;
    };
    Bytes flat = decode(OneMacroblockPicture(1, 0, false));
    EXPECT_TRUE(std::all_of(flat.begin(), flat.end(), [](uint8_t v) { return v == 128; }));
    Bytes v0 = decode(OneMacroblockPicture(0, 5, false));
    Bytes v1 = decode(OneMacroblockPicture(1, 5, false));
    Bytes v1Wide = decode(OneMacroblockPicture(1, 5, true));
    EXPECT_EQ(v0, v1);
    EXPECT_EQ(v1, v1Wide);
    EXPECT_NE(v0, flat);
    // Coefficient 1 (horizontal frequency): left half brighter than the right for level > 0.
    EXPECT_GT(v0[0], v0[7]);
    Bytes negative = decode(OneMacroblockPicture(1, -5, false));
    EXPECT_LT(negative[0], negative[7]);
    Bytes large = decode(OneMacroblockPicture(1, 300, true));
    EXPECT_GT(int(large[0]) - int(large[7]), int(v1[0]) - int(v1[7]));
    // A version 0 level of 0 is forbidden.
    Bytes zero = OneMacroblockPicture(0, 256, false); // 256 & 0xFF == 0
    H263Decoder decoder;
    EXPECT_THROW(decoder.Decode(zero.data(), zero.size()), FormatError);
}

TEST(H263Decoder, DisposablePicturesAreNotReferredTo) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData("h263-motion.flv")), 9);
    Bytes reference = ReadData("h263-motion.yuv");
    size_t frameSize = reference.size() / video.size();
    H263Decoder decoder;
    for (size_t i = 0; i < 3; i++) decoder.Decode(video[i].data.data() + 1, video[i].data.size() - 1);
    // Frame 3 marked disposable (type bits 2) decodes against frame 2 even when decoded twice.
    Bytes frame3(video[3].data.begin() + 1, video[3].data.end());
    H263PictureHeader header = H263Decoder::ReadHeader(frame3.data(), frame3.size());
    ASSERT_EQ(header.type, H263PictureType::Predicted);
    size_t typeBit = 17 + 5 + 8 + 3 + 16; // custom 8-bit size: two 8-bit fields
    auto setBit = [&](size_t bit, bool on) {
        if (on) frame3[bit / 8] |= uint8_t(0x80 >> (bit % 8));
        else frame3[bit / 8] &= uint8_t(~(0x80 >> (bit % 8)));
    };
    setBit(typeBit, true);
    setBit(typeBit + 1, false);
    ASSERT_EQ(H263Decoder::ReadHeader(frame3.data(), frame3.size()).type, H263PictureType::DisposablePredicted);
    Bytes expected(reference.begin() + long(3 * frameSize), reference.begin() + long(4 * frameSize));
    for (int pass = 0; pass < 2; pass++) {
        decoder.Decode(frame3.data(), frame3.size());
        EXPECT_GE(Psnr(PackPlanes(decoder.Picture()), expected), 40.0) << "pass " << pass;
    }
    // The normal frame 3 still decodes against frame 2 afterwards.
    decoder.Decode(video[3].data.data() + 1, video[3].data.size() - 1);
    EXPECT_GE(Psnr(PackPlanes(decoder.Picture()), expected), 40.0);
}

TEST(H263Decoder, PredictedPictureWithoutKeyPictureFails) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData("h263-motion.flv")), 9);
    H263Decoder decoder;
    EXPECT_THROW(decoder.Decode(video[1].data.data() + 1, video[1].data.size() - 1), FormatError);
    EXPECT_FALSE(decoder.HasPicture());
}

TEST(H263Decoder, DamagedPicturesDecodeOrFailCleanly) {
    // Every truncation and every flipped byte of an intra and a predicted picture: the decoder
    // either decodes or raises FormatError, and then still decodes the intact pictures.
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData("h263-motion.flv")), 9);
    Bytes reference = ReadData("h263-motion.yuv");
    size_t frameSize = reference.size() / video.size();
    for (size_t frame : {size_t(0), size_t(2)}) {
        Bytes intact(video[frame].data.begin() + 1, video[frame].data.end());
        size_t failures = 0;
        for (size_t at = 0; at < intact.size(); at++) {
            for (int damage = 0; damage < 3; damage++) {
                Bytes damaged = intact;
                if (damage == 0) damaged.resize(at);
                else damaged[at] ^= damage == 1 ? 0xFF : 0x10;
                H263Decoder decoder;
                for (size_t i = 0; i < frame; i++) decoder.Decode(video[i].data.data() + 1, video[i].data.size() - 1);
                try {
                    decoder.Decode(damaged.data(), damaged.size());
                } catch (const FormatError&) {
                    failures++;
                }
                // The reference picture survives a failed picture: the next ones still decode.
                decoder.Decode(video[0].data.data() + 1, video[0].data.size() - 1);
                Bytes expected(reference.begin(), reference.begin() + long(frameSize));
                ASSERT_GE(Psnr(PackPlanes(decoder.Picture()), expected), 40.0);
            }
        }
        EXPECT_GT(failures, intact.size() / 2) << "frame " << frame;
    }
}

TEST(H263Decoder, OversizedAndInvalidHeadersAreRefused) {
    BitWriter w;
    w.Put(1, 17);
    w.Put(0, 5);
    w.Put(0, 8);
    w.Put(1, 3); // custom 16-bit size
    w.Put(60000, 16);
    w.Put(60000, 16);
    w.Put(0, 2);
    w.Put(0, 1);
    w.Put(4, 5);
    w.Put(0, 1);
    Bytes big = w.Finish();
    EXPECT_THROW(H263Decoder::ReadHeader(big.data(), big.size()), FormatError);
    Bytes noStart = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_THROW(H263Decoder::ReadHeader(noStart.data(), noStart.size()), FormatError);
    Bytes version2 = OneMacroblockPicture(2, 0, false);
    EXPECT_THROW(H263Decoder::ReadHeader(version2.data(), version2.size()), FormatError);
}

TEST(H263Decoder, AFailedPictureOfANewSizeKeepsTheLastPicture) {
    std::vector<Tag> small = TagsOfType(ReadTags(ReadData("h263-128x96.flv")), 9);
    std::vector<Tag> wide = TagsOfType(ReadTags(ReadData("h263-272x16.flv")), 9);
    H263Decoder decoder;
    decoder.Decode(small[0].data.data() + 1, small[0].data.size() - 1);
    Bytes before = PackPlanes(decoder.Picture());
    EXPECT_THROW(decoder.Decode(wide[0].data.data() + 1, wide[0].data.size() / 2), FormatError);
    EXPECT_EQ(decoder.Picture().width, 128);
    EXPECT_TRUE(PackPlanes(decoder.Picture()) == before);
    // The old reference still serves its predicted picture.
    decoder.Decode(small[1].data.data() + 1, small[1].data.size() - 1);
    Bytes reference = ReadData("h263-128x96.yuv");
    Bytes expected(reference.begin() + long(reference.size() / 2), reference.end());
    EXPECT_GE(Psnr(PackPlanes(decoder.Picture()), expected), 40.0);
}

TEST(VideoImage, StudioRangeYuvBecomesFullRangeBgra) {
    // Black, white, and the studio-range primaries of BT.601 (R, G, B at 75% amplitude
    // give 191 on the channel and 0 elsewhere, within rounding).
    struct Case {
        uint8_t y, u, v;
        int b, g, r;
    } cases[] = {{16, 128, 128, 0, 0, 0},   {235, 128, 128, 255, 255, 255}, {65, 100, 212, 0, 0, 191},
                 {112, 72, 58, 0, 191, 0}, {35, 212, 114, 191, 0, 0}};
    for (const Case& c : cases) {
        uint8_t y[4] = {c.y, c.y, c.y, c.y}, u = c.u, v = c.v;
        YuvPlanes planes;
        planes.width = 2;
        planes.height = 2;
        planes.y = y;
        planes.u = &u;
        planes.v = &v;
        planes.yStride = 2;
        planes.chromaStride = 1;
        BgraImage image;
        ConvertYuvToBgra(planes, image);
        ASSERT_EQ(image.pixels.size(), 16u);
        EXPECT_NEAR(image.pixels[12], c.b, 3) << int(c.y);
        EXPECT_NEAR(image.pixels[13], c.g, 3) << int(c.y);
        EXPECT_NEAR(image.pixels[14], c.r, 3) << int(c.y);
        EXPECT_EQ(image.pixels[15], 255);
    }
}
