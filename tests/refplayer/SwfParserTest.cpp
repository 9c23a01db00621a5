#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/SwfParser.h"

using namespace refplayer;

namespace {

using Bytes = std::vector<uint8_t>;

// Builds small movies: tags appended in order, then the header in front.
class SwfWriter {
public:
    SwfWriter& Tag(uint16_t code, const Bytes& body, bool longHeader = false) {
        if (body.size() < 0x3F && !longHeader) {
            Short(uint16_t(code << 6 | body.size()));
        } else {
            Short(uint16_t(code << 6 | 0x3F));
            Short(uint16_t(body.size()));
            Short(uint16_t(body.size() >> 16));
        }
        tags_.insert(tags_.end(), body.begin(), body.end());
        return *this;
    }
    SwfWriter& ShowFrame() { return Tag(SwfTagShowFrame, {}); }
    SwfWriter& End() { return Tag(SwfTagEnd, {}); }

    Bytes Build(bool compressed, SwfRect rect = {0, 11000, 0, 8000}, uint16_t rate = 24 << 8,
                uint16_t frameCount = 1) const {
        Bytes body = Rect(rect);
        body.insert(body.end(), {uint8_t(rate), uint8_t(rate >> 8), uint8_t(frameCount), uint8_t(frameCount >> 8)});
        body.insert(body.end(), tags_.begin(), tags_.end());
        uint32_t length = uint32_t(8 + body.size());
        Bytes file = {uint8_t(compressed ? 'C' : 'F'), 'W', 'S', 10,
                      uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
        if (compressed) {
            uLongf size = compressBound(uLong(body.size()));
            Bytes packed(size);
            EXPECT_EQ(compress2(packed.data(), &size, body.data(), uLong(body.size()), 9), Z_OK);
            packed.resize(size);
            body = packed;
        }
        file.insert(file.end(), body.begin(), body.end());
        return file;
    }

private:
    void Short(uint16_t value) { tags_.insert(tags_.end(), {uint8_t(value), uint8_t(value >> 8)}); }

    static Bytes Rect(const SwfRect& rect) {
        unsigned bits = 1;
        for (int32_t value : {rect.xMin, rect.xMax, rect.yMin, rect.yMax})
            while (value >= (1 << (bits - 1)) || value < -(1 << (bits - 1))) bits++;
        std::vector<bool> stream;
        auto put = [&](uint32_t value, unsigned count) {
            for (unsigned i = count; i-- > 0;) stream.push_back((value >> i) & 1);
        };
        put(bits, 5);
        for (int32_t value : {rect.xMin, rect.xMax, rect.yMin, rect.yMax}) put(uint32_t(value), bits);
        Bytes out((stream.size() + 7) / 8);
        for (size_t i = 0; i < stream.size(); i++)
            if (stream[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    }

    Bytes tags_;
};

Bytes GetUrlAction(const std::string& url, const std::string& target) {
    Bytes data(url.begin(), url.end());
    data.push_back(0);
    data.insert(data.end(), target.begin(), target.end());
    data.push_back(0);
    Bytes action = {SwfActionGetUrl, uint8_t(data.size()), uint8_t(data.size() >> 8)};
    action.insert(action.end(), data.begin(), data.end());
    return action;
}

Bytes DoAction(std::initializer_list<Bytes> actions) {
    Bytes body;
    for (const Bytes& action : actions) body.insert(body.end(), action.begin(), action.end());
    body.push_back(SwfActionEnd);
    return body;
}

// Three frames: background and a script in the first, a large tag in the second.
SwfWriter ThreeFrameMovie() {
    SwfWriter writer;
    writer.Tag(SwfTagSetBackgroundColor, {0x12, 0x34, 0x56})
        .Tag(SwfTagDoAction, DoAction({GetUrlAction("FSCommand:quit", ""), {0x06} /* play */,
                                       GetUrlAction("http://example.com/", "_blank")}))
        .ShowFrame()
        .Tag(2, Bytes(300, 0xAB)) // long header
        .Tag(26, {1, 2, 3}, true) // short body written with a long header
        .ShowFrame()
        .ShowFrame()
        .End();
    return writer;
}

std::string ParseError(const Bytes& file) {
    try {
        ParseSwf(file.data(), file.size());
    } catch (const FormatError& error) {
        return error.what();
    }
    return "no error";
}

void ExpectThreeFrameMovie(const SwfMovie& movie) {
    ASSERT_EQ(movie.frames.size(), 3u);
    EXPECT_EQ(movie.backgroundColor, 0x123456u);
    const SwfFrame& first = movie.frames[0];
    ASSERT_EQ(first.tags.size(), 2u);
    EXPECT_EQ(first.tags[0].code, SwfTagSetBackgroundColor);
    ASSERT_EQ(first.actions.size(), 3u);
    ASSERT_TRUE(first.actions[0].getUrl);
    EXPECT_EQ(first.actions[0].getUrl->url, "FSCommand:quit");
    EXPECT_EQ(first.actions[1].code, 0x06);
    EXPECT_FALSE(first.actions[1].getUrl);
    ASSERT_TRUE(first.actions[2].getUrl);
    EXPECT_EQ(first.actions[2].getUrl->target, "_blank");
    const SwfFrame& second = movie.frames[1];
    ASSERT_EQ(second.tags.size(), 2u);
    EXPECT_EQ(second.tags[0].code, 2);
    EXPECT_EQ(second.tags[0].body, Bytes(300, 0xAB));
    EXPECT_EQ(second.tags[1].code, 26);
    EXPECT_EQ(second.tags[1].body, Bytes({1, 2, 3}));
    EXPECT_TRUE(movie.frames[2].tags.empty());
    EXPECT_TRUE(movie.openFrame.tags.empty());
}

} // namespace

TEST(SwfHeader, UncompressedAndCompressedGiveTheSameHeader) {
    SwfWriter writer;
    writer.ShowFrame().End();
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "CWS" : "FWS");
        Bytes file = writer.Build(compressed, {0, 11000, 0, 8000}, 0x1880 /* 24.5 */, 7);
        bool complete = false;
        SwfMovie movie = ParseSwf(file.data(), file.size(), &complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(movie.header.compressed, compressed);
        EXPECT_EQ(movie.header.version, 10);
        EXPECT_EQ(movie.header.Width(), 550);
        EXPECT_EQ(movie.header.Height(), 400);
        EXPECT_DOUBLE_EQ(movie.header.frameRate, 24.5);
        EXPECT_EQ(movie.header.frameCount, 7);
        EXPECT_EQ(movie.frames.size(), 1u);
    }
}

TEST(SwfHeader, StageRectIsSignedAndBitPacked) {
    SwfWriter writer;
    writer.End();
    Bytes file = writer.Build(false, {-400, 6000, 20, 2020});
    SwfMovie movie = ParseSwf(file.data(), file.size());
    EXPECT_EQ(movie.header.frameSize.xMin, -400);
    EXPECT_EQ(movie.header.frameSize.yMin, 20);
    EXPECT_EQ(movie.header.Width(), 320);
    EXPECT_EQ(movie.header.Height(), 100);
}

TEST(SwfTags, FramesCollectTheirTagsAndActions) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "CWS" : "FWS");
        Bytes file = ThreeFrameMovie().Build(compressed);
        bool complete = false;
        ExpectThreeFrameMovie(ParseSwf(file.data(), file.size(), &complete));
        EXPECT_TRUE(complete);
    }
}

TEST(SwfTags, FsCommandComesFromGetUrlWithThePrefix) {
    auto fs = ToFsCommand({"FSCommand:quit", ""});
    ASSERT_TRUE(fs);
    EXPECT_EQ(fs->command, "quit");
    EXPECT_EQ(fs->args, "");
    fs = ToFsCommand({"fscommand:fullscreen", "true"});
    ASSERT_TRUE(fs);
    EXPECT_EQ(fs->command, "fullscreen");
    EXPECT_EQ(fs->args, "true");
    EXPECT_FALSE(ToFsCommand({"http://example.com/", "_blank"}));
    EXPECT_FALSE(ToFsCommand({"FSComman", ""}));
}

TEST(SwfTags, MovieWithoutEndTagIsCompleteAtItsDeclaredLength) {
    SwfWriter writer;
    writer.ShowFrame().Tag(2, {9, 9});
    Bytes file = writer.Build(false);
    bool complete = false;
    SwfMovie movie = ParseSwf(file.data(), file.size(), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(movie.frames.size(), 1u);
    ASSERT_EQ(movie.openFrame.tags.size(), 1u); // tags after the last ShowFrame stay open
}

TEST(SwfLoading, ChunkedDataParsesAsFarAsItGoes) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "CWS" : "FWS");
        Bytes file = ThreeFrameMovie().Build(compressed);
        SwfParser parser;
        size_t frames = 0;
        int percent = 0;
        for (size_t i = 0; i < file.size(); i++) {
            EXPECT_FALSE(parser.Complete()) << "complete after " << i << " bytes";
            parser.Append(&file[i], 1);
            EXPECT_EQ(parser.HeaderParsed(), parser.Movie().header.frameCount == 1);
            EXPECT_GE(parser.Movie().frames.size(), frames);
            EXPECT_GE(parser.PercentLoaded(), percent);
            frames = parser.Movie().frames.size();
            percent = parser.PercentLoaded();
        }
        EXPECT_TRUE(parser.Complete());
        EXPECT_EQ(parser.PercentLoaded(), 100);
        ExpectThreeFrameMovie(parser.Movie());
    }
}

TEST(SwfLoading, TruncatedMovieIsIncompleteNotAnError) {
    Bytes file = ThreeFrameMovie().Build(false);
    // Cut inside the 300-byte tag of the second frame.
    size_t cut = 100;
    bool complete = true;
    SwfMovie movie = ParseSwf(file.data(), cut, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(movie.frames.size(), 1u);
    EXPECT_EQ(movie.backgroundColor, 0x123456u);

    SwfParser parser;
    parser.Append(file.data(), 5);
    EXPECT_FALSE(parser.HeaderParsed());
    EXPECT_EQ(parser.PercentLoaded(), 0);
}

TEST(SwfErrors, MalformedMoviesRaiseClearErrors) {
    EXPECT_EQ(ParseError({'Z', 'W', 'S', 13, 100, 0, 0, 0}), "LZMA-compressed SWF movies (ZWS) are unsupported");
    EXPECT_EQ(ParseError({'G', 'I', 'F', '8', '9', 'a', 0, 0}), "data is not a SWF movie");
    EXPECT_EQ(ParseError({'F', 'W', 'S', 10, 4, 0, 0, 0}), "SWF file length is smaller than its header");
    EXPECT_EQ(ParseError({'F', 'W', 'S', 10, 0, 0, 0, 0x40}), "SWF movie is larger than the player accepts");

    // Declared length ends inside the movie header.
    EXPECT_EQ(ParseError({'F', 'W', 'S', 10, 10, 0, 0, 0, 0x78, 0}), "SWF movie header is truncated");

    // A tag longer than what is left of the declared file.
    Bytes file = SwfWriter().Tag(2, Bytes(10, 0)).Build(false);
    file[4] -= 3;
    EXPECT_EQ(ParseError(file), "SWF tag 2 extends beyond the end of the movie");

    // A tag header cut by the declared end.
    file = SwfWriter().Tag(2, {}).Build(false);
    file[4] -= 1;
    EXPECT_EQ(ParseError(file), "SWF tag is truncated at the end of the movie");

    // An action record longer than its DoAction tag.
    EXPECT_EQ(ParseError(SwfWriter().Tag(SwfTagDoAction, {0x83, 20, 0, 'a', 0}).Build(false)),
              "DoAction tag is truncated");
    // A getURL whose target has no terminator.
    EXPECT_EQ(ParseError(SwfWriter().Tag(SwfTagDoAction, {0x83, 3, 0, 'a', 0, 'b'}).Build(false)),
              "ActionGetURL record is truncated");
    EXPECT_EQ(ParseError(SwfWriter().Tag(SwfTagSetBackgroundColor, {1, 2}).Build(false)),
              "SetBackgroundColor tag is truncated");

    // A compressed body with a broken checksum.
    file = ThreeFrameMovie().Build(true);
    file.back() ^= 0xFF;
    EXPECT_EQ(ParseError(file), "zlib adler32 checksum mismatch");
}

TEST(SwfErrors, CompressedBodyShorterThanDeclaredEndsTheMovie) {
    Bytes file = ThreeFrameMovie().Build(true);
    file[4] += 10; // claims 10 more bytes than the stream holds: the movie ends at the End tag anyway
    bool complete = false;
    ExpectThreeFrameMovie(ParseSwf(file.data(), file.size(), &complete));
    EXPECT_TRUE(complete);

    // A stream that ends inside a tag: that data will never come.
    Bytes plain = SwfWriter().ShowFrame().Tag(2, Bytes(20, 1)).Build(false);
    Bytes body(plain.begin() + 8, plain.end() - 5);
    uLongf size = compressBound(uLong(body.size()));
    Bytes packed(size);
    ASSERT_EQ(compress2(packed.data(), &size, body.data(), uLong(body.size()), 9), Z_OK);
    file.assign(plain.begin(), plain.begin() + 8);
    file[0] = 'C';
    file.insert(file.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(ParseError(file), "SWF tag 2 extends beyond the end of the movie");
}

TEST(SwfErrors, DamagedBytesGiveAMovieOrAFormatError) {
    // Every byte of a movie altered in turn: the parser either copes or raises FormatError;
    // the sanitizers watch that no read leaves the data.
    for (bool compressed : {false, true}) {
        Bytes good = ThreeFrameMovie().Build(compressed);
        for (size_t i = 0; i < good.size(); i++) {
            for (uint8_t mask : {0x01, 0x80, 0xFF}) {
                Bytes bad = good;
                bad[i] ^= mask;
                bool handled = false;
                try {
                    ParseSwf(bad.data(), bad.size());
                    handled = true;
                } catch (const FormatError&) {
                    handled = true;
                } catch (...) {
                }
                EXPECT_TRUE(handled) << "byte " << i << " mask " << int(mask);
            }
        }
    }
}

TEST(SwfParserActions, GetUrlWithoutDataIsAFormatErrorNotARead) {
    // A 28-byte movie whose only action is a GetURL record with no data at all.
    SwfWriter writer;
    writer.Tag(SwfTagDoAction, {SwfActionGetUrl, 0, 0, SwfActionEnd}).ShowFrame().End();
    EXPECT_NE(ParseError(writer.Build(false)), "no error");
    // A URL without its terminator is refused the same way.
    SwfWriter unterminated;
    unterminated.Tag(SwfTagDoAction, {SwfActionGetUrl, 2, 0, 'a', 'b', SwfActionEnd}).ShowFrame().End();
    EXPECT_NE(ParseError(unterminated.Build(false)), "no error");
}
