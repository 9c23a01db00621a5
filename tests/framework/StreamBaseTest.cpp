// The operations TStream builds on its four virtual ones, through a stream over a string
// that can be told to transfer less than asked and that counts its calls.
#include "framework/Streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

class TStringStream : public TStream {
public:
    explicit TStringStream(std::string data = std::string()) : data(std::move(data)) {}

    int32_t Read(void* buffer, int32_t count) override {
        ++reads;
        const auto left = static_cast<int32_t>(data.size()) - position;
        const int32_t n = std::max(0, std::min({count, left, readLimit}));
        std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
        position += n;
        return n;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        ++writes;
        const int32_t n = std::max(0, std::min(count, writeLimit));
        data.replace(static_cast<size_t>(position), static_cast<size_t>(n),
                     static_cast<const char*>(buffer), static_cast<size_t>(n));
        position += n;
        return n;
    }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        ++seeks;
        const int32_t base = origin == soFromBeginning ? 0
                           : origin == soFromCurrent   ? position
                                                       : static_cast<int32_t>(data.size());
        position = base + offset;
        return position;
    }

    std::string data;
    int32_t position = 0;
    int32_t readLimit = 1 << 30;
    int32_t writeLimit = 1 << 30;
    int reads = 0;
    int writes = 0;
    int seeks = 0;
};

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 + i / 251);
    return text;
}

}  // namespace

TEST(StreamBase, PositionAndSizeGoThroughSeekAndSizeKeepsThePosition) {
    TStringStream stream("0123456789");
    stream.SetPosition(4);
    EXPECT_EQ(stream.position, 4);
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.position, 4);
}

TEST(StreamBase, DefaultSetSizeLeavesTheStreamAlone) {
    TStringStream stream("abc");
    stream.SetSize(1);
    stream.SetSize(10);
    EXPECT_EQ(stream.data, "abc");
    EXPECT_EQ(stream.position, 0);
}

TEST(StreamBase, ReadBufferNeedsEveryByte) {
    TStringStream stream("abcdef");
    char back[8] = {};
    stream.ReadBuffer(back, 4);
    EXPECT_STREQ(back, "abcd");
    try {
        stream.ReadBuffer(back, 3);
        FAIL() << "a short read must raise";
    } catch (const EReadError& error) {
        EXPECT_STREQ(error.what(), "Stream read error");
    }
    EXPECT_THROW(stream.ReadBuffer(back, -1), EReadError);
}

TEST(StreamBase, ZeroCountBuffersDoNotTouchTheStream) {
    TStringStream stream;
    stream.ReadBuffer(nullptr, 0);
    stream.WriteBuffer(nullptr, 0);
    EXPECT_EQ(stream.reads, 0);
    EXPECT_EQ(stream.writes, 0);
}

TEST(StreamBase, WriteBufferNeedsEveryByte) {
    TStringStream stream;
    stream.WriteBuffer("abc", 3);
    EXPECT_EQ(stream.data, "abc");
    stream.writeLimit = 2;
    try {
        stream.WriteBuffer("defg", 4);
        FAIL() << "a short write must raise";
    } catch (const EWriteError& error) {
        EXPECT_STREQ(error.what(), "Stream write error");
    }
}

TEST(StreamBase, CopyFromWithCountZeroCopiesTheWholeSourceFromItsBeginning) {
    TStringStream source("whole source");
    source.SetPosition(6);
    TStringStream target(">");
    target.SetPosition(1);
    EXPECT_EQ(target.CopyFrom(source, 0), 12);
    EXPECT_EQ(target.data, ">whole source");
    EXPECT_EQ(source.position, 12);
}

TEST(StreamBase, CopyFromWithCountCopiesFromTheSourcePosition) {
    TStringStream source("0123456789");
    source.SetPosition(3);
    TStringStream target;
    EXPECT_EQ(target.CopyFrom(source, 4), 4);
    EXPECT_EQ(target.data, "3456");
    EXPECT_EQ(source.position, 7);
}

TEST(StreamBase, CopyFromLargeSourceArrivesIntactAcrossChunks) {
    const std::string data = Pattern(200000);
    TStringStream source(data);
    TStringStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 200000);
    EXPECT_EQ(target.data, data);
    EXPECT_GT(source.reads, 1) << "copied through a bounded buffer";
}

TEST(StreamBase, CopyFromFailsOnShortSourceShortTargetAndNegativeCount) {
    TStringStream shortSource("abc");
    TStringStream target;
    EXPECT_THROW(target.CopyFrom(shortSource, 4), EReadError);

    TStringStream source("abc");
    TStringStream refusing;
    refusing.writeLimit = 1;
    EXPECT_THROW(refusing.CopyFrom(source, 0), EWriteError);

    EXPECT_THROW(target.CopyFrom(source, -1), EReadError);
}
