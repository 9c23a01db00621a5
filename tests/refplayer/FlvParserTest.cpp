#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "refplayer/core/FlvParser.h"
#include "refplayer/core/FormatError.h"

using namespace refplayer;

namespace {

using Bytes = std::vector<uint8_t>;

// AMF0 encoders for building script tags.
struct Amf {
    static Bytes Number(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        Bytes out = {0};
        for (int i = 7; i >= 0; i--) out.push_back(uint8_t(bits >> (i * 8)));
        return out;
    }
    static Bytes Key(const std::string& text) {
        Bytes out = {uint8_t(text.size() >> 8), uint8_t(text.size())};
        out.insert(out.end(), text.begin(), text.end());
        return out;
    }
    static Bytes String(const std::string& text) { return Join({{2}, Key(text)}); }
    static Bytes Boolean(bool value) { return {1, uint8_t(value)}; }
    // Object (3) or ECMA array (8) of already encoded values.
    static Bytes Members(uint8_t type, const std::vector<std::pair<std::string, Bytes>>& members) {
        Bytes out = {type};
        if (type == 8) out.insert(out.end(), {0, 0, 0, uint8_t(members.size())});
        for (const auto& member : members) out = Join({out, Key(member.first), member.second});
        return Join({out, {0, 0, 9}});
    }
    static Bytes Join(std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
        return out;
    }
};

class FlvWriter {
public:
    explicit FlvWriter(uint8_t flags = 0x05) : file_{'F', 'L', 'V', 1, flags, 0, 0, 0, 9, 0, 0, 0, 0} {}
    FlvWriter& Tag(uint8_t type, uint32_t timestamp, const Bytes& data) {
        uint32_t size = uint32_t(data.size());
        file_.insert(file_.end(), {type, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size),
                                   uint8_t(timestamp >> 16), uint8_t(timestamp >> 8), uint8_t(timestamp),
                                   uint8_t(timestamp >> 24), 0, 0, 0});
        file_.insert(file_.end(), data.begin(), data.end());
        uint32_t previous = size + 11;
        file_.insert(file_.end(), {uint8_t(previous >> 24), uint8_t(previous >> 16), uint8_t(previous >> 8), uint8_t(previous)});
        return *this;
    }
    FlvWriter& Metadata(const Bytes& value) { return Tag(FlvTagScript, 0, Amf::Join({Amf::String("onMetaData"), value})); }
    const Bytes& File() const { return file_; }

private:
    Bytes file_;
};

// A metadata array whose numbers follow values of every other kind, so skipping must work.
Bytes RichMetadata() {
    Bytes nested = Amf::Members(3, {{"codec", Amf::String("h263")}, {"keyframes", Amf::Members(3, {{"n", Amf::Number(1)}})}});
    Bytes strictArray = Amf::Join({{10, 0, 0, 0, 2}, Amf::Number(0), Amf::Number(2.5)});
    Bytes date = Amf::Join({{11}, Bytes(8, 0), {0, 0}});
    Bytes longString = {12, 0, 0, 0, 3, 'a', 'b', 'c'};
    return Amf::Members(8, {{"creator", Amf::String("test")},
                            {"hasVideo", Amf::Boolean(true)},
                            {"info", nested},
                            {"times", strictArray},
                            {"created", date},
                            {"comment", longString},
                            {"nothing", {5}},
                            {"unset", {6}},
                            {"width", Amf::Number(320)},
                            {"height", Amf::Number(240)},
                            {"duration", Amf::Number(12.5)},
                            {"framerate", Amf::Number(25)}});
}

// A Sorenson H.263 key frame header: codec byte, start code, version, reference, size code.
Bytes H263Frame(unsigned sizeCode, unsigned width = 0, unsigned height = 0) {
    std::vector<bool> bits;
    auto put = [&](uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) bits.push_back((value >> i) & 1);
    };
    put(0x12, 8); // key frame, codec 2
    put(1, 17);
    put(0, 5);
    put(0, 8);
    put(sizeCode, 3);
    if (sizeCode <= 1) {
        put(width, sizeCode == 0 ? 8 : 16);
        put(height, sizeCode == 0 ? 8 : 16);
    }
    Bytes out(16);
    for (size_t i = 0; i < bits.size(); i++)
        if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
    return out;
}

FlvParser Parse(const Bytes& file) {
    FlvParser parser;
    parser.Append(file.data(), file.size());
    return parser;
}

std::string ParseError(const Bytes& file) {
    try {
        Parse(file);
    } catch (const FormatError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(FlvParser, ReadsHeaderTagsAndMetadata) {
    FlvWriter writer;
    writer.Metadata(RichMetadata())
        .Tag(FlvTagVideo, 0, H263Frame(2))
        .Tag(FlvTagAudio, 20, Bytes(30, 0))
        .Tag(FlvTagVideo, 0x01000040, Bytes(5, 0)); // extended timestamp byte
    FlvParser parser = Parse(writer.File());
    EXPECT_TRUE(parser.HeaderParsed());
    EXPECT_EQ(parser.Version(), 1);
    EXPECT_TRUE(parser.HasAudio());
    EXPECT_TRUE(parser.HasVideo());
    ASSERT_EQ(parser.Tags().size(), 4u);
    EXPECT_EQ(parser.Tags()[0].type, FlvTagScript);
    EXPECT_EQ(parser.Tags()[2].type, FlvTagAudio);
    EXPECT_EQ(parser.Tags()[2].dataSize, 30u);
    EXPECT_EQ(parser.Tags()[3].timestamp, 0x01000040u);
    EXPECT_EQ(parser.PendingBytes(), 0u);
    // Metadata wins over the first frame's size (352x288) and the last timestamp.
    EXPECT_EQ(parser.Width(), 320);
    EXPECT_EQ(parser.Height(), 240);
    EXPECT_DOUBLE_EQ(parser.DurationSeconds(), 12.5);
    EXPECT_EQ(parser.Metadata().frameRate, 25.0);
}

TEST(FlvParser, MetadataMayBeAnObject) {
    FlvWriter writer(0x01);
    writer.Metadata(Amf::Members(3, {{"width", Amf::Number(640)}, {"height", Amf::Number(360)}}));
    FlvParser parser = Parse(writer.File());
    EXPECT_FALSE(parser.HasAudio());
    EXPECT_EQ(parser.Width(), 640);
    EXPECT_EQ(parser.Height(), 360);
}

TEST(FlvParser, WithoutMetadataSizeAndDurationComeFromTheTags) {
    struct Case {
        Bytes frame;
        int width, height;
    } cases[] = {{H263Frame(0, 200, 100), 200, 100},
                 {H263Frame(1, 1000, 700), 1000, 700},
                 {H263Frame(5), 320, 240},
                 {Bytes(12, 0x14), 0, 0}}; // another codec: size unknown
    for (const Case& c : cases) {
        FlvWriter writer;
        writer.Tag(FlvTagVideo, 0, c.frame).Tag(FlvTagVideo, 3040, H263Frame(6));
        FlvParser parser = Parse(writer.File());
        EXPECT_EQ(parser.Width(), c.width);
        EXPECT_EQ(parser.Height(), c.height);
        EXPECT_DOUBLE_EQ(parser.DurationSeconds(), 3.04);
    }
}

TEST(FlvParser, UnreadableOrImplausibleMetadataIsIgnored) {
    FlvWriter writer;
    writer.Metadata(Amf::Members(8, {{"width", {0x42}}})) // unknown AMF type
        .Metadata(Amf::Members(8, {{"width", Amf::Number(1e300)}, {"height", Amf::Number(-5)}}))
        .Tag(FlvTagVideo, 1000, H263Frame(5));
    FlvParser parser = Parse(writer.File());
    EXPECT_EQ(parser.Tags().size(), 3u);
    EXPECT_EQ(parser.Width(), 320);
    EXPECT_EQ(parser.Height(), 240);
    EXPECT_DOUBLE_EQ(parser.DurationSeconds(), 1.0);

    // Nesting deep enough to exhaust the stack is refused, not followed.
    Bytes deep;
    for (int i = 0; i < 100000; i++) deep.insert(deep.end(), {10, 0, 0, 0, 1});
    FlvWriter deepWriter;
    deepWriter.Metadata(deep).Tag(FlvTagAudio, 7, {});
    EXPECT_EQ(Parse(deepWriter.File()).Tags().size(), 2u);
}

TEST(FlvParser, ChunkedInputGivesTheSameResult) {
    FlvWriter writer;
    writer.Metadata(RichMetadata()).Tag(FlvTagVideo, 0, H263Frame(2)).Tag(FlvTagAudio, 500, Bytes(40, 1));
    const Bytes& file = writer.File();
    for (size_t chunk : {size_t(1), size_t(5), size_t(64)}) {
        FlvParser parser;
        size_t tags = 0;
        for (size_t i = 0; i < file.size(); i += chunk) {
            parser.Append(file.data() + i, std::min(chunk, file.size() - i));
            EXPECT_GE(parser.Tags().size(), tags);
            tags = parser.Tags().size();
        }
        EXPECT_EQ(parser.Tags().size(), 3u);
        EXPECT_EQ(parser.Width(), 320);
        EXPECT_DOUBLE_EQ(parser.DurationSeconds(), 12.5);
        EXPECT_EQ(parser.PendingBytes(), 0u);
    }

    FlvParser partial;
    partial.Append(file.data(), file.size() - 3);
    EXPECT_EQ(partial.Tags().size(), 2u);
    EXPECT_GT(partial.PendingBytes(), 0u);
}

TEST(FlvParser, MalformedStreamsRaiseClearErrors) {
    EXPECT_EQ(ParseError({'F', 'W', 'S', 1, 5, 0, 0, 0, 9}), "data is not an FLV video");
    EXPECT_EQ(ParseError({'F', 'L', 'V', 1, 5, 0, 0, 0, 5}), "FLV header size is invalid");
    Bytes file = FlvWriter().Tag(7, 0, {1, 2}).File();
    EXPECT_EQ(ParseError(file), "FLV tag has unknown type 7");
    // A header longer than 9 bytes is skipped as a whole.
    Bytes padded = {'F', 'L', 'V', 1, 1, 0, 0, 0, 12, 0xEE, 0xEE, 0xEE, 0, 0, 0, 0};
    Bytes tags = FlvWriter().Tag(FlvTagVideo, 40, {0x12}).File();
    padded.insert(padded.end(), tags.begin() + 13, tags.end());
    EXPECT_EQ(Parse(padded).Tags().size(), 1u);
}

TEST(FlvParser, DamagedBytesGiveTagsOrAFormatError) {
    FlvWriter writer;
    writer.Metadata(RichMetadata()).Tag(FlvTagVideo, 0, H263Frame(0, 20, 10)).Tag(FlvTagAudio, 9, {1});
    const Bytes& good = writer.File();
    for (size_t i = 0; i < good.size(); i++) {
        for (uint8_t mask : {0x01, 0x80, 0xFF}) {
            Bytes bad = good;
            bad[i] ^= mask;
            // Anything but FormatError escaping (or a sanitizer report) is a fault.
            bool handled = false;
            try {
                Parse(bad);
                handled = true;
            } catch (const FormatError&) {
                handled = true;
            } catch (...) {
            }
            EXPECT_TRUE(handled) << "byte " << i << " mask " << int(mask);
        }
    }
}
