// The content the demonstration programs embed matches its descriptions: read from the
// committed files with small parsers of the three formats, independent of the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& relative) {
    std::ifstream in(std::string(DEMO_CONTENT_DIR) + "/" + relative, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
    return v;
}

uint32_t Be(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b.at(at + i);
    return v;
}

struct TSwfTag {
    int code;
    Bytes body;
};

struct TSwf {
    std::string signature;
    int version = 0;
    uint32_t declaredLength = 0;
    int widthTwips = 0, heightTwips = 0;
    double frameRate = 0;
    int frameCount = 0;
    std::vector<TSwfTag> tags;

    int Count(int code) const {
        int n = 0;
        for (const TSwfTag& t : tags) n += t.code == code;
        return n;
    }
    const TSwfTag* First(int code) const {
        for (const TSwfTag& t : tags)
            if (t.code == code) return &t;
        return nullptr;
    }
};

int SignedBits(const Bytes& b, size_t& bit, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = v << 1 | ((b.at(bit / 8) >> (7 - bit % 8)) & 1);
    if (n && (v >> (n - 1))) v |= ~0u << n;
    return static_cast<int>(v);
}

TSwf ParseSwf(const Bytes& data) {
    TSwf swf;
    swf.signature.assign(data.begin(), data.begin() + 3);
    swf.version = data.at(3);
    swf.declaredLength = Le(data, 4, 4);
    size_t bit = 8 * 8;
    int n = 0;
    for (int i = 0; i < 5; ++i, ++bit) n = n << 1 | ((data.at(bit / 8) >> (7 - bit % 8)) & 1);
    int xmin = SignedBits(data, bit, n), xmax = SignedBits(data, bit, n);
    int ymin = SignedBits(data, bit, n), ymax = SignedBits(data, bit, n);
    swf.widthTwips = xmax - xmin;
    swf.heightTwips = ymax - ymin;
    size_t at = (bit + 7) / 8;
    swf.frameRate = data.at(at + 1) + data.at(at) / 256.0;
    swf.frameCount = static_cast<int>(Le(data, at + 2, 2));
    at += 4;
    while (at < data.size()) {
        uint32_t header = Le(data, at, 2);
        at += 2;
        uint32_t length = header & 0x3F;
        if (length == 0x3F) {
            length = Le(data, at, 4);
            at += 4;
        }
        if (at + length > data.size()) throw std::runtime_error("tag runs past the end");
        swf.tags.push_back({static_cast<int>(header >> 6), Bytes(data.begin() + at, data.begin() + at + length)});
        at += length;
        if (swf.tags.back().code == 0) break;
    }
    return swf;
}

bool Contains(const Bytes& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

enum { End = 0, ShowFrame = 1, SetBackgroundColor = 9, DefineText = 11, DoAction = 12, DefineSound = 14,
       StartSound = 15, PlaceObject2 = 26, DefineShape3 = 32, DefineButton2 = 34, DefineSprite = 39,
       DefineFont2 = 48, DefineVideoStream = 60 };

// Fill styles of a DefineShape3: their types and the alpha of the solid ones.
void FillStyles(const TSwfTag& shape, std::vector<int>& types, std::vector<int>& alphas) {
    size_t bit = 2 * 8;
    int n = 0;
    for (int i = 0; i < 5; ++i, ++bit) n = n << 1 | ((shape.body.at(bit / 8) >> (7 - bit % 8)) & 1);
    size_t at = (bit + 4 * n + 7) / 8;
    int count = shape.body.at(at++);
    for (int i = 0; i < count; ++i) {
        int type = shape.body.at(at++);
        types.push_back(type);
        if (type != 0) return;  // only solid fills are walked past; a gradient ends the walk
        alphas.push_back(shape.body.at(at + 3));
        at += 4;
    }
}

TEST(ClipdemoMovie, HeaderStageRateAndFrames) {
    Bytes data = ReadFile("clipdemo/res/Movie.swf");
    TSwf swf = ParseSwf(data);
    EXPECT_EQ("FWS", swf.signature);   // uncompressed
    EXPECT_EQ(6, swf.version);
    EXPECT_EQ(data.size(), swf.declaredLength);
    EXPECT_EQ(400 * 20, swf.widthTwips);
    EXPECT_EQ(400 * 20, swf.heightTwips);
    EXPECT_EQ(12.0, swf.frameRate);
    EXPECT_EQ(54, swf.frameCount);
    EXPECT_EQ(54, swf.Count(ShowFrame));
    EXPECT_EQ(End, swf.tags.back().code);
}

TEST(ClipdemoMovie, ShapesGradientAlphaTextSoundAndMotion) {
    TSwf swf = ParseSwf(ReadFile("clipdemo/res/Movie.swf"));
    std::vector<int> types, alphas;
    for (const TSwfTag& t : swf.tags)
        if (t.code == DefineShape3) FillStyles(t, types, alphas);
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), 0x10)) << "a linear gradient";
    EXPECT_NE(alphas.end(), std::find_if(alphas.begin(), alphas.end(), [](int a) { return a > 0 && a < 255; }))
        << "a partly transparent fill";
    EXPECT_EQ(1, swf.Count(DefineFont2));
    EXPECT_EQ(1, swf.Count(DefineText));
    ASSERT_EQ(1, swf.Count(DefineSound));
    EXPECT_GE(swf.Count(StartSound), 1);
    const TSwfTag* sound = swf.First(DefineSound);
    EXPECT_EQ(3, sound->body.at(2) >> 4) << "uncompressed little-endian samples";
    EXPECT_EQ(Le(sound->body, 3, 4), sound->body.size() - 7) << "8-bit mono: one byte per sample";
    // Every frame after the first moves the objects: motion, not a still picture.
    EXPECT_GE(swf.Count(PlaceObject2), 54 * 4);
}

TEST(ClipdemoPlayerMovie, StageVideoObjectAndScript) {
    Bytes data = ReadFile("clipdemo/res/FLVPlayer.swf");
    TSwf swf = ParseSwf(data);
    EXPECT_EQ("FWS", swf.signature);
    EXPECT_EQ(7, swf.version);
    EXPECT_EQ(data.size(), swf.declaredLength);
    EXPECT_EQ(800 * 20, swf.widthTwips);
    EXPECT_EQ(600 * 20, swf.heightTwips);
    EXPECT_EQ(25.0, swf.frameRate);
    EXPECT_EQ(1, swf.frameCount);
    ASSERT_TRUE(swf.First(SetBackgroundColor));
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF}), swf.First(SetBackgroundColor)->body);
    const TSwfTag* video = swf.First(DefineVideoStream);
    ASSERT_TRUE(video);
    EXPECT_EQ(160u, Le(video->body, 4, 2));
    EXPECT_EQ(120u, Le(video->body, 6, 2));
    const TSwfTag* place = swf.First(PlaceObject2);
    ASSERT_TRUE(place);
    EXPECT_TRUE(place->body.at(0) & 0x20) << "placed with a name";
    EXPECT_EQ(Le(video->body, 0, 2), Le(place->body, 3, 2));
    EXPECT_TRUE(Contains(place->body, std::string("my_video") + '\0'));
    const TSwfTag* script = swf.First(DoAction);
    ASSERT_TRUE(script);
    for (const char* name : {"NetConnection", "connect", "NetStream", "attachVideo", "setBufferTime", "play", "FLVPath"})
        EXPECT_TRUE(Contains(script->body, std::string(name) + '\0')) << name;
    EXPECT_EQ(0x88, script->body.at(0)) << "the script starts with its constant pool";
    EXPECT_EQ(0, script->body.back()) << "the script ends";
}

TEST(ClipdemoVideo, HeaderStreamsCodecsDurationAndSize) {
    Bytes data = ReadFile("clipdemo/res/FlashVideo.flv");
    ASSERT_GT(data.size(), 13u);
    EXPECT_EQ('F', data[0]);
    EXPECT_EQ('L', data[1]);
    EXPECT_EQ('V', data[2]);
    EXPECT_EQ(1, data[3]);
    EXPECT_EQ(0x05, data[4]) << "audio and video";
    EXPECT_NEAR(140390.0, static_cast<double>(data.size()), 10000.0);
    std::map<int, int> videoCodecs, audioFormats;
    uint32_t lastVideoTime = 0;
    int videoFrames = 0, width = 0, height = 0;
    size_t at = Be(data, 5, 4) + 4;
    while (at + 11 <= data.size()) {
        int type = data[at] & 0x1F;
        uint32_t size = Be(data, at + 1, 3);
        uint32_t time = Be(data, at + 4, 3) | static_cast<uint32_t>(data[at + 7]) << 24;
        ASSERT_LE(at + 11 + size + 4, data.size());
        const uint8_t* body = &data[at + 11];
        if (type == 9 && size > 0) {
            ++videoCodecs[body[0] & 0x0F];
            ++videoFrames;
            lastVideoTime = time;
            if ((body[0] & 0x0F) == 2 && size > 8 && width == 0) {
                // The Sorenson picture header: start code, version, temporal reference, size code.
                size_t bit = 8 + 17 + 5 + 8;
                int format = 0;
                for (int i = 0; i < 3; ++i, ++bit) format = format << 1 | ((body[bit / 8] >> (7 - bit % 8)) & 1);
                if (format == 5) { width = 320; height = 240; }  // the code of 320 x 240
            }
        } else if (type == 8 && size > 0) {
            ++audioFormats[body[0] >> 4];
        }
        at += 11 + size + 4;
    }
    EXPECT_EQ(data.size(), at) << "tags end exactly at the end of the file";
    EXPECT_EQ(1u, videoCodecs.size());
    EXPECT_EQ(videoFrames, videoCodecs[2]) << "Sorenson H.263";
    EXPECT_EQ(1u, audioFormats.size());
    EXPECT_GT(audioFormats[2], 0) << "MP3";
    EXPECT_EQ(320, width);
    EXPECT_EQ(240, height);
    // 12 frames a second for about 6.3 seconds.
    EXPECT_NEAR(76, videoFrames, 2);
    EXPECT_NEAR(6300.0, lastVideoTime + 1000.0 / 12, 150.0);
}

TEST(AssetdemoMovie, StageButtonsAndTheirPaths) {
    Bytes data = ReadFile("assetdemo/res/Movie.swf");
    TSwf swf = ParseSwf(data);
    EXPECT_EQ("FWS", swf.signature);
    EXPECT_EQ(6, swf.version);
    EXPECT_EQ(data.size(), swf.declaredLength);
    EXPECT_EQ(465 * 20, swf.widthTwips);
    EXPECT_EQ(232 * 20, swf.heightTwips);
    EXPECT_EQ(30.0, swf.frameRate);
    EXPECT_EQ(1, swf.frameCount);
    ASSERT_EQ(6, swf.Count(DefineButton2));
    std::vector<std::string> paths;
    for (const TSwfTag& t : swf.tags) {
        if (t.code != DefineButton2) continue;
        for (int n = 1; n <= 5; ++n)
            if (Contains(t.body, "images/embedded_image" + std::to_string(n) + ".jpg" + '\0'))
                paths.push_back("images/embedded_image" + std::to_string(n) + ".jpg");
        if (Contains(t.body, std::string("images/external_image.jpg") + '\0')) paths.push_back("images/external_image.jpg");
        EXPECT_TRUE(Contains(t.body, std::string("picture") + '\0')) << "each button loads into the picture clip";
        EXPECT_EQ(0x9A, t.body.at(t.body.size() - 5)) << "a load into a target";
        EXPECT_EQ(0x02, t.body.at(t.body.size() - 2)) << "the target flag of the load";
    }
    EXPECT_EQ((std::vector<std::string>{"images/embedded_image1.jpg", "images/embedded_image2.jpg",
                                        "images/embedded_image3.jpg", "images/embedded_image4.jpg",
                                        "images/embedded_image5.jpg", "images/external_image.jpg"}),
              paths);
    bool pictureClip = false;
    for (const TSwfTag& t : swf.tags)
        pictureClip |= t.code == PlaceObject2 && Contains(t.body, std::string("picture") + '\0');
    EXPECT_TRUE(pictureClip);
    EXPECT_EQ(1, swf.Count(DefineSprite));
}

TEST(AssetdemoImages, BaselineJpegsOfTheSameSizeEachDifferent) {
    std::vector<Bytes> images;
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE("image" + std::to_string(n));
        Bytes data = ReadFile("assetdemo/res/image" + std::to_string(n) + ".jpg");
        ASSERT_GT(data.size(), 4u);
        EXPECT_EQ(0xFFD8u, Be(data, 0, 2));
        EXPECT_GE(data.size(), 3000u);
        EXPECT_LE(data.size(), 6000u);
        bool baseline = false, progressive = false;
        size_t at = 2;
        while (at + 4 <= data.size() && data[at] == 0xFF) {
            int marker = data[at + 1];
            uint32_t length = Be(data, at + 2, 2);
            if (marker == 0xC0) {
                baseline = true;
                EXPECT_EQ(209u, Be(data, at + 5, 2));
                EXPECT_EQ(288u, Be(data, at + 7, 2));
                EXPECT_EQ(3, data[at + 9]);
            }
            progressive |= marker == 0xC2;
            if (marker == 0xDA) break;
            at += 2 + length;
        }
        EXPECT_TRUE(baseline);
        EXPECT_FALSE(progressive);
        for (const Bytes& other : images) EXPECT_NE(other, data);
        images.push_back(data);
    }
}

}  // namespace
