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


// Walks action records to the end action, which must be the last byte: records of code
// 0x80 and above carry a length; pushes hold known value types and pool indexes in range.
std::string CheckActions(const Bytes& body, size_t at) {
    size_t pool = 0;
    while (at < body.size()) {
        uint8_t code = body[at++];
        if (code == 0) return at == body.size() ? std::string() : "bytes after the end action";
        if (code < 0x80) continue;
        if (at + 2 > body.size()) return "record header past the end";
        size_t length = body[at] | body[at + 1] << 8, p = at + 2;
        at += 2 + length;
        if (at > body.size()) return "record past the end";
        if (code == 0x88) {
            pool = body[p] | body[p + 1] << 8;
            size_t strings = 0;
            for (size_t q = p + 2; q < at; ++q) strings += body[q] == 0;
            if (strings != pool) return "constant pool count";
        } else if (code == 0x96) {
            while (p < at) {
                uint8_t type = body[p++];
                if (type == 0) { while (body.at(p) != 0) ++p; ++p; }
                else if (type == 2 || type == 3) {}
                else if (type == 5 || type == 4) p += 1;
                else if (type == 7) p += 4;
                else if (type == 8) { if (body[p++] >= pool) return "pool index out of range"; }
                else return "push type " + std::to_string(type);
            }
            if (p != at) return "push values past the record";
        }
    }
    return "no end action";
}

// Reads the format's bit fields, most significant bit first, and its byte-aligned fields.
class TBitReader {
public:
    TBitReader(const Bytes& data, size_t at = 0) : data_(data), bit_(at * 8) {}
    uint32_t U(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++bit_) {
            if (bit_ / 8 >= data_.size()) throw std::runtime_error("bit field runs past the end");
            v = v << 1 | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
        }
        return v;
    }
    int S(int n) {
        uint32_t v = U(n);
        if (n && (v >> (n - 1))) v |= ~0u << n;
        return static_cast<int>(v);
    }
    void Align() { bit_ = (bit_ + 7) / 8 * 8; }
    uint32_t Byte() { Align(); return U(8); }
    uint32_t Le16() { uint32_t lo = Byte(); return lo | Byte() << 8; }
    void Skip(size_t bytes) { Align(); bit_ += bytes * 8; }
    size_t Offset() const { return (bit_ + 7) / 8; }
    bool AtEnd() const { return Offset() == data_.size(); }
    void Rect() { Align(); int n = static_cast<int>(U(5)); U(4 * n); Align(); }
    void Matrix() {
        Align();
        if (U(1)) { int n = static_cast<int>(U(5)); U(2 * n); }
        if (U(1)) { int n = static_cast<int>(U(5)); U(2 * n); }
        int n = static_cast<int>(U(5));
        U(2 * n);
        Align();
    }
    void CxformWithAlpha() {
        Align();
        bool add = U(1), mult = U(1);
        int n = static_cast<int>(U(4));
        U(n * 4 * (add + mult));
        Align();
    }

private:
    const Bytes& data_;
    size_t bit_;
};

// Walks shape records to their end: every outline closes where it started and every style
// index names a style that exists. Returns the number of outlines.
int WalkShapeRecords(TBitReader& r, int fillStyles, int lineStyles) {
    int fillBits = static_cast<int>(r.U(4)), lineBits = static_cast<int>(r.U(4));
    int x = 0, y = 0, startX = 0, startY = 0, outlines = 0;
    auto closeOutline = [&] {
        if (outlines > 0 && (x != startX || y != startY))
            throw std::runtime_error("an outline does not close");
    };
    for (;;) {
        if (r.U(1) == 0) {
            uint32_t flags = r.U(5);
            if (flags == 0) break;
            if (flags & 0x10) throw std::runtime_error("new styles inside a shape");
            if (flags & 0x01) {
                closeOutline();
                int n = static_cast<int>(r.U(5));
                x = startX = r.S(n);
                y = startY = r.S(n);
                ++outlines;
            }
            if ((flags & 0x02) && static_cast<int>(r.U(fillBits)) > fillStyles) throw std::runtime_error("fill style 0");
            if ((flags & 0x04) && static_cast<int>(r.U(fillBits)) > fillStyles) throw std::runtime_error("fill style 1");
            if ((flags & 0x08) && static_cast<int>(r.U(lineBits)) > lineStyles) throw std::runtime_error("line style");
        } else if (r.U(1) == 1) {
            int n = static_cast<int>(r.U(4)) + 2;
            if (r.U(1)) {
                x += r.S(n);
                y += r.S(n);
            } else if (r.U(1)) {
                y += r.S(n);
            } else {
                x += r.S(n);
            }
        } else {
            int n = static_cast<int>(r.U(4)) + 2;
            x += r.S(n);
            y += r.S(n);
            x += r.S(n);
            y += r.S(n);
        }
    }
    closeOutline();
    r.Align();
    return outlines;
}

// Checks a tag's structure field by field to its last byte; returns what a reader would
// complain about, or an empty text.
std::string CheckTagStructure(const TSwfTag& tag, std::map<int, int>& fontGlyphs) {
    try {
        TBitReader r(tag.body);
        switch (tag.code) {
            case 32: {  // DefineShape3
                r.Le16();
                r.Rect();
                int fills = static_cast<int>(r.Byte());
                for (int i = 0; i < fills; ++i) {
                    uint32_t type = r.Byte();
                    if (type == 0x00) {
                        r.Skip(4);
                    } else if (type == 0x10 || type == 0x12) {
                        r.Matrix();
                        int stops = static_cast<int>(r.Byte() & 0x0F);
                        if (stops < 2) return "a gradient needs two stops";
                        r.Skip(5 * static_cast<size_t>(stops));
                    } else {
                        return "fill type " + std::to_string(type);
                    }
                }
                int lines = static_cast<int>(r.Byte());
                r.Skip(6 * static_cast<size_t>(lines));
                if (WalkShapeRecords(r, fills, lines) == 0) return "a shape without outlines";
                break;
            }
            case 48: {  // DefineFont2
                int id = static_cast<int>(r.Le16());
                uint32_t flags = r.Byte();
                if (!(flags & 0x04)) return "version 6 fonts use wide codes";
                if (flags & 0x88) return "layout or wide offsets not expected";
                r.Byte();
                r.Skip(r.Byte());
                int glyphs = static_cast<int>(r.Le16());
                size_t tableStart = r.Offset();
                std::vector<uint32_t> offsets;
                for (int i = 0; i <= glyphs; ++i) offsets.push_back(r.Le16());
                for (int i = 0; i < glyphs; ++i) {
                    TBitReader g(tag.body, tableStart + offsets[i]);
                    WalkShapeRecords(g, 1, 0);
                    if (g.Offset() != tableStart + offsets[i + 1]) return "glyph " + std::to_string(i) + " length";
                }
                TBitReader codes(tag.body, tableStart + offsets[glyphs]);
                uint32_t last = 0;
                for (int i = 0; i < glyphs; ++i) {
                    uint32_t code = codes.Le16();
                    if (i && code <= last) return "character codes not ascending";
                    last = code;
                }
                if (!codes.AtEnd()) return "bytes after the code table";
                fontGlyphs[id] = glyphs;
                return std::string();
            }
            case 11: {  // DefineText
                r.Le16();
                r.Rect();
                r.Matrix();
                int glyphBits = static_cast<int>(r.Byte()), advanceBits = static_cast<int>(r.Byte());
                int font = -1;
                for (;;) {
                    uint32_t flags = r.Byte();
                    if (flags == 0) break;
                    if (!(flags & 0x80)) return "not a text record";
                    if (flags & 0x08) font = static_cast<int>(r.Le16());
                    if (flags & 0x04) r.Skip(3);
                    if (flags & 0x01) r.Le16();
                    if (flags & 0x02) r.Le16();
                    if (flags & 0x08) r.Le16();
                    int count = static_cast<int>(r.Byte());
                    if (!fontGlyphs.count(font)) return "text before its font";
                    for (int i = 0; i < count; ++i) {
                        if (static_cast<int>(r.U(glyphBits)) >= fontGlyphs[font]) return "glyph index past the font";
                        r.S(advanceBits);
                    }
                }
                break;
            }
            case 26: {  // PlaceObject2
                uint32_t flags = r.Byte();
                r.Le16();
                if (flags & 0x02) r.Le16();
                if (flags & 0x04) r.Matrix();
                if (flags & 0x08) r.CxformWithAlpha();
                if (flags & 0x10) r.Le16();
                if (flags & 0x20) while (r.Byte() != 0) {}
                if (flags & 0xC0) return "clip depth or clip actions not expected";
                break;
            }
            case 34: {  // DefineButton2
                r.Le16();
                r.Byte();
                size_t offsetField = r.Offset();
                uint32_t actionOffset = r.Le16();
                for (;;) {
                    uint32_t flags = r.Byte();
                    if (flags == 0) break;
                    if (!(flags & 0x0F)) return "a button record in no state";
                    r.Le16();
                    r.Le16();
                    r.Matrix();
                    r.CxformWithAlpha();
                }
                if (r.Offset() != offsetField + actionOffset) return "the action offset misses the conditions";
                if (r.Le16() != 0) return "one condition expected";
                r.Le16();
                return CheckActions(tag.body, r.Offset());
            }
            case 12:  // DoAction
                return CheckActions(tag.body, 0);
            default:
                return std::string();
        }
        if (!r.AtEnd()) return "bytes after the tag's fields";
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::string();
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

// Every tag of the three movies holds together field by field, as a player reads it.
TEST(DemoMovies, EveryTagReadsToItsEnd) {
    for (const char* file : {"clipdemo/res/Movie.swf", "clipdemo/res/FLVPlayer.swf", "assetdemo/res/Movie.swf"}) {
        TSwf swf = ParseSwf(ReadFile(file));
        std::map<int, int> fontGlyphs;
        for (size_t i = 0; i < swf.tags.size(); ++i)
            EXPECT_EQ("", CheckTagStructure(swf.tags[i], fontGlyphs)) << file << ", tag " << i << " (code " << swf.tags[i].code << ")";
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
