#include "framework/Streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Content(const TMemoryStream& stream, int32_t size) {
    return std::string(static_cast<const char*>(stream.Memory()), static_cast<size_t>(size));
}

}  // namespace

TEST(MemoryStream, WriteThenReadBackFromTheBeginning) {
    TMemoryStream stream;
    EXPECT_EQ(stream.Write("hello", 5), 5);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(stream.Size(), 5);
    stream.SetPosition(0);
    char back[8] = {};
    EXPECT_EQ(stream.Read(back, sizeof back), 5);
    EXPECT_STREQ(back, "hello");
    EXPECT_EQ(stream.Read(back, 1), 0) << "nothing left at the end";
}

TEST(MemoryStream, OverwriteInTheMiddleKeepsTheSize) {
    TMemoryStream stream;
    stream.WriteBuffer("abcdef", 6);
    stream.Seek(2, soFromBeginning);
    stream.WriteBuffer("XY", 2);
    EXPECT_EQ(stream.Size(), 6);
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_EQ(Content(stream, 6), "abXYef");
}

TEST(MemoryStream, SeekOriginsAndTheNewPosition) {
    TMemoryStream stream;
    stream.WriteBuffer("0123456789", 10);
    EXPECT_EQ(stream.Seek(3, soFromBeginning), 3);
    EXPECT_EQ(stream.Seek(2, soFromCurrent), 5);
    EXPECT_EQ(stream.Seek(-1, soFromCurrent), 4);
    EXPECT_EQ(stream.Seek(-4, soFromEnd), 6);
    EXPECT_EQ(stream.Seek(0, soFromEnd), 10);
}

TEST(MemoryStream, SeekBeforeTheBeginningRaisesAndKeepsThePosition) {
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    stream.SetPosition(1);
    EXPECT_THROW(stream.Seek(-2, soFromCurrent), EStreamError);
    EXPECT_THROW(stream.Seek(-4, soFromEnd), EStreamError);
    EXPECT_THROW(stream.Seek(-1, soFromBeginning), EStreamError);
    EXPECT_EQ(stream.Position(), 1);
}

TEST(MemoryStream, SeekPastTheLargestPositionOrWithUnknownOriginRaises) {
    TMemoryStream stream;
    stream.SetPosition(0x7FFFFFFF);
    EXPECT_THROW(stream.Seek(1, soFromCurrent), EStreamError);
    EXPECT_THROW(stream.Seek(0, 3), EStreamError);
    EXPECT_EQ(stream.Position(), 0x7FFFFFFF);
}

TEST(MemoryStream, WritePastTheEndFillsTheGapWithZeros) {
    TMemoryStream stream;
    stream.WriteBuffer("ab", 2);
    EXPECT_EQ(stream.Seek(6, soFromBeginning), 6);
    EXPECT_EQ(stream.Size(), 2) << "seeking alone does not grow the stream";
    char back[1];
    EXPECT_EQ(stream.Read(back, 1), 0);
    stream.WriteBuffer("z", 1);
    EXPECT_EQ(stream.Size(), 7);
    EXPECT_EQ(Content(stream, 7), std::string("ab\0\0\0\0z", 7));
}

TEST(MemoryStream, GapAfterShrinkingIsZeroedNotStale) {
    TMemoryStream stream;
    stream.WriteBuffer("abcdef", 6);
    stream.SetSize(1);
    stream.SetPosition(4);
    stream.WriteBuffer("!", 1);
    EXPECT_EQ(Content(stream, 5), std::string("a\0\0\0!", 5));
}

TEST(MemoryStream, SetSizeGrowsWithZerosAndClampsThePosition) {
    TMemoryStream stream;
    stream.WriteBuffer("abcd", 4);
    stream.SetSize(8);
    EXPECT_EQ(stream.Size(), 8);
    EXPECT_EQ(stream.Position(), 4) << "growing keeps the position";
    EXPECT_EQ(Content(stream, 8), std::string("abcd\0\0\0\0", 8));
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 2) << "a position past the new end moves to the end";
    EXPECT_EQ(Content(stream, 2), "ab");
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
    EXPECT_EQ(stream.Size(), 2);
}

TEST(MemoryStream, ManySmallWritesGrowTheBlockGeometrically) {
    TMemoryStream stream;
    int reallocations = 0;
    int32_t capacity = stream.Capacity();
    for (int i = 0; i < 100000; ++i) {
        const char byte = static_cast<char>(i);
        stream.WriteBuffer(&byte, 1);
        if (stream.Capacity() != capacity) {
            ++reallocations;
            capacity = stream.Capacity();
        }
    }
    EXPECT_EQ(stream.Size(), 100000);
    EXPECT_GE(stream.Capacity(), 100000);
    EXPECT_LE(reallocations, 20);
    const auto* bytes = static_cast<const unsigned char*>(stream.Memory());
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[99999], static_cast<unsigned char>(99999 & 0xFF));
}

TEST(MemoryStream, NonPositiveCountsTransferNothing) {
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    stream.SetPosition(0);
    char back[4] = {};
    EXPECT_EQ(stream.Read(back, 0), 0);
    EXPECT_EQ(stream.Read(back, -5), 0);
    EXPECT_EQ(stream.Write("x", -1), 0);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Size(), 3);
}

TEST(MemoryStream, ClearFreesTheBlock) {
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Memory(), nullptr);
    stream.WriteBuffer("d", 1);
    EXPECT_EQ(Content(stream, 1), "d");
}

TEST(MemoryStream, LoadFromStreamTakesTheWholeSourceAndRewinds) {
    TMemoryStream source;
    source.WriteBuffer("payload", 7);  // source position at its end
    TMemoryStream target;
    target.WriteBuffer("old content that is longer", 26);
    target.LoadFromStream(source);
    EXPECT_EQ(target.Size(), 7);
    EXPECT_EQ(target.Position(), 0);
    EXPECT_EQ(Content(target, 7), "payload");
    target.LoadFromStream(target);
    EXPECT_EQ(Content(target, 7), "payload") << "loading from itself keeps the content";
}

TEST(MemoryStream, SaveToStreamWritesTheWholeContentAtTheTargetsPosition) {
    TMemoryStream source;
    source.WriteBuffer("xyz", 3);
    source.SetPosition(2);
    TMemoryStream target;
    target.WriteBuffer(">", 1);
    source.SaveToStream(target);
    EXPECT_EQ(target.Size(), 4);
    EXPECT_EQ(Content(target, 4), ">xyz");
    EXPECT_EQ(source.Position(), 2) << "saving does not move the source";
}
