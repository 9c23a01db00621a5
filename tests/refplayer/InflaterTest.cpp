#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/Inflater.h"

using refplayer::FormatError;
using refplayer::ZlibInflater;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compress(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Text-like data: repeated words, so that matches and dynamic codes pay off.
Bytes SampleText(size_t size) {
    static const char* words[] = {"frame ", "movie ", "stage ", "tag ", "shape ", "sprite\n", "action "};
    Bytes out;
    uint32_t seed = 12345;
    while (out.size() < size) {
        seed = seed * 1103515245 + 12345;
        std::string word = words[(seed >> 16) % 7];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(size);
    return out;
}

Bytes NoiseBytes(size_t size) {
    Bytes out(size);
    uint32_t seed = 99;
    for (auto& byte : out) {
        seed = seed * 1664525 + 1013904223;
        byte = uint8_t(seed >> 24);
    }
    return out;
}

int FirstBlockType(const Bytes& stream) { return (stream[2] >> 1) & 3; }

Bytes InflateInChunks(const Bytes& stream, size_t chunk, size_t maxOutput = 1 << 24) {
    ZlibInflater inflater(maxOutput);
    for (size_t i = 0; i < stream.size(); i += chunk) {
        EXPECT_FALSE(inflater.Finished()) << "finished before its last byte, chunk " << chunk;
        inflater.Append(stream.data() + i, std::min(chunk, stream.size() - i));
    }
    EXPECT_TRUE(inflater.Finished());
    return inflater.Output();
}

std::string InflateError(const Bytes& stream, size_t maxOutput = 1 << 20) {
    try {
        ZlibInflater::InflateAll(stream.data(), stream.size(), maxOutput);
    } catch (const FormatError& error) {
        return error.what();
    }
    return "no error";
}

struct Encoding {
    const char* name;
    int level, strategy, blockType;
    Bytes data;
};

std::vector<Encoding> Encodings() {
    return {
        {"stored", 0, Z_DEFAULT_STRATEGY, 0, SampleText(150000)}, // more than one 64K stored block
        {"fixed", 6, Z_FIXED, 1, SampleText(20000)},
        {"dynamic", 9, Z_DEFAULT_STRATEGY, 2, SampleText(100000)},
        {"fast", 1, Z_DEFAULT_STRATEGY, 2, SampleText(30000)},
        {"noise", 9, Z_DEFAULT_STRATEGY, 0, NoiseBytes(5000)}, // deflate falls back to stored
        {"runs", 9, Z_RLE, 2, Bytes(70000, 'x')},              // distance-1 overlapping copies
    };
}

} // namespace

TEST(ZlibInflater, InflatesWhatZlibCompressedWithEveryBlockType) {
    for (const Encoding& encoding : Encodings()) {
        SCOPED_TRACE(encoding.name);
        Bytes stream = Compress(encoding.data, encoding.level, encoding.strategy);
        ASSERT_EQ(FirstBlockType(stream), encoding.blockType);
        EXPECT_EQ(ZlibInflater::InflateAll(stream.data(), stream.size(), encoding.data.size()), encoding.data);
    }
}

TEST(ZlibInflater, EmptyDataRoundTrips) {
    Bytes stream = Compress({}, 9);
    EXPECT_TRUE(ZlibInflater::InflateAll(stream.data(), stream.size(), 0).empty());
}

TEST(ZlibInflater, ChunkedInputGivesTheSameOutput) {
    for (int level : {0, 9}) {
        Bytes data = SampleText(6000);
        Bytes stream = Compress(data, level);
        for (size_t chunk : {size_t(1), size_t(13), size_t(1000)}) {
            SCOPED_TRACE("level " + std::to_string(level) + " chunk " + std::to_string(chunk));
            EXPECT_EQ(InflateInChunks(stream, chunk), data);
        }
    }
}

TEST(ZlibInflater, PartialInputIsNotAnErrorButNotFinished) {
    Bytes data = SampleText(5000);
    Bytes stream = Compress(data, 9);
    ZlibInflater inflater(data.size());
    inflater.Append(stream.data(), stream.size() - 3); // adler32 incomplete
    EXPECT_FALSE(inflater.Finished());
    EXPECT_EQ(inflater.Output(), data);
    EXPECT_EQ(InflateError(Bytes(stream.begin(), stream.end() - 3)), "zlib stream is truncated");
}

TEST(ZlibInflater, BytesAfterTheStreamAreLeftUnused) {
    Bytes stream = Compress(SampleText(100), 6);
    stream.insert(stream.end(), {1, 2, 3});
    ZlibInflater inflater(1000);
    inflater.Append(stream.data(), stream.size());
    EXPECT_TRUE(inflater.Finished());
    EXPECT_EQ(inflater.UnusedInput(), 3u);
}

TEST(ZlibInflater, OutputBeyondTheLimitIsAnError) {
    for (int level : {0, 9}) {
        Bytes stream = Compress(SampleText(5000), level);
        EXPECT_EQ(InflateError(stream, 4999), "inflated data exceeds the limit of 4999 bytes");
        EXPECT_EQ(InflateError(stream, 5000), "no error");
    }
}

TEST(ZlibInflater, CorruptStreamsAreRejected) {
    Bytes good = Compress(SampleText(3000), 9);

    Bytes badAdler = good;
    badAdler.back() ^= 1;
    EXPECT_EQ(InflateError(badAdler), "zlib adler32 checksum mismatch");

    Bytes badData = Compress(SampleText(3000), 0);
    badData[100] ^= 0x20; // stored payload: decodes, but the checksum no longer matches
    EXPECT_EQ(InflateError(badData), "zlib adler32 checksum mismatch");

    EXPECT_EQ(InflateError({0x79, 0x9C, 0x03, 0x00}), "zlib stream does not use deflate");
    EXPECT_EQ(InflateError({0x78, 0x9D, 0x03, 0x00}), "zlib header check failed");
    EXPECT_EQ(InflateError({0x78, 0xBB, 0, 0, 0, 1}), "zlib preset dictionaries are not supported");
    // Final block of type 3.
    EXPECT_EQ(InflateError({0x78, 0x01, 0x07}), "deflate stream has an invalid block type");
    // Stored block whose length complement does not match.
    EXPECT_EQ(InflateError({0x78, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00}), "deflate stored block length check failed");
    // Fixed block starting with a match (length 3, distance 1): nothing to copy from yet.
    // Bits: final 1, type 01, code 0000001, distance 00000, end 0000000.
    EXPECT_EQ(InflateError({0x78, 0x01, 0x03, 0x02, 0x00, 0x00}),
              "deflate distance reaches before the start of the data");
}

TEST(ZlibInflater, GarbageNeverReadsOutOfBounds) {
    // Flipped bits anywhere in a dynamic stream: either an error or a checksum mismatch,
    // never a crash (the sanitizers watch the reads).
    Bytes good = Compress(SampleText(2000), 9);
    for (size_t i = 2; i < good.size(); i += 7) {
        Bytes bad = good;
        bad[i] ^= 0x5A;
        EXPECT_NE(InflateError(bad), "no error") << "byte " << i;
    }
}
