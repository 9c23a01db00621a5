#include "refplayer/core/Inflater.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "refplayer/core/FormatError.h"

namespace refplayer {

namespace {

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                    33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Builds a canonical code from code lengths. Returns 0 for a complete code, a positive
// number for an incomplete one and a negative number for an over-subscribed one.
int BuildHuffman(ZlibInflater::Huffman& code, const uint8_t* lengths, unsigned n) {
    std::memset(code.count, 0, sizeof code.count);
    for (unsigned i = 0; i < n; i++) code.count[lengths[i]]++;
    if (code.count[0] == n) return 0; // no codes: only an error if a symbol is ever decoded
    int left = 1;
    for (unsigned len = 1; len < 16; len++) {
        left = left * 2 - code.count[len];
        if (left < 0) return left;
    }
    uint16_t offsets[16];
    offsets[1] = 0;
    for (unsigned len = 1; len < 15; len++) offsets[len + 1] = uint16_t(offsets[len] + code.count[len]);
    for (unsigned i = 0; i < n; i++)
        if (lengths[i] != 0) code.symbol[offsets[lengths[i]]++] = uint16_t(i);
    return left;
}

uint32_t Adler32(const std::vector<uint8_t>& data) {
    uint32_t a = 1, b = 0;
    size_t i = 0;
    while (i < data.size()) {
        // 5552 bytes is the longest run before b can exceed 32 bits.
        size_t end = std::min(data.size(), i + 5552);
        for (; i < end; i++) {
            a += data[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return b << 16 | a;
}

} // namespace

ZlibInflater::ZlibInflater(size_t maxOutput) : maxOutput_(maxOutput) {
    uint8_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    BuildHuffman(fixedLengths_, lengths, 288);
    std::fill(lengths, lengths + 30, 5);
    BuildHuffman(fixedDistances_, lengths, 30);
}

std::vector<uint8_t> ZlibInflater::InflateAll(const uint8_t* data, size_t size, size_t maxOutput) {
    ZlibInflater inflater(maxOutput);
    inflater.Append(data, size);
    if (!inflater.Finished()) throw FormatError("zlib stream is truncated");
    return std::move(inflater.output_);
}

void ZlibInflater::Append(const uint8_t* data, size_t size) {
    if (stage_ == Stage::Done) return;
    // Drop what earlier calls consumed; only the unread tail is kept.
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(bytePos_));
    bytePos_ = 0;
    input_.insert(input_.end(), data, data + size);
    Run();
}

void ZlibInflater::Run() {
    while (stage_ != Stage::Done) {
        // The rollback point: a step that runs out of input is retried from here.
        const size_t savedPos = bytePos_, savedOutput = output_.size();
        const uint32_t savedBits = bitBuffer_;
        const unsigned savedCount = bitCount_;
        try {
            switch (stage_) {
            case Stage::Header: ReadHeader(); break;
            case Stage::BlockStart: BeginBlock(); break;
            case Stage::Stored: CopyStored(); break;
            case Stage::Checksum: ReadChecksum(); break;
            case Stage::Done: break;
            }
        } catch (const NeedInput&) {
            if (stage_ == Stage::Stored) return; // CopyStored keeps its own progress
            bytePos_ = savedPos;
            bitBuffer_ = savedBits;
            bitCount_ = savedCount;
            output_.resize(savedOutput);
            return;
        }
    }
}

unsigned ZlibInflater::Bits(unsigned count) {
    while (bitCount_ < count) {
        if (bytePos_ == input_.size()) throw NeedInput{};
        bitBuffer_ |= uint32_t(input_[bytePos_++]) << bitCount_;
        bitCount_ += 8;
    }
    unsigned value = bitBuffer_ & ((1u << count) - 1);
    bitBuffer_ >>= count;
    bitCount_ -= count;
    return value;
}

unsigned ZlibInflater::Decode(const Huffman& code) {
    int value = 0, first = 0, index = 0;
    for (unsigned len = 1; len < 16; len++) {
        value |= static_cast<int>(Bits(1));
        int count = code.count[len];
        if (value - count < first) return code.symbol[index + (value - first)];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    throw FormatError("deflate stream has an invalid Huffman code");
}

void ZlibInflater::ReserveOutput(size_t count) {
    if (count > maxOutput_ - output_.size())
        throw FormatError("inflated data exceeds the limit of " + std::to_string(maxOutput_) + " bytes");
}

void ZlibInflater::Emit(uint8_t byte) {
    ReserveOutput(1);
    output_.push_back(byte);
}

void ZlibInflater::ReadHeader() {
    unsigned cmf = Bits(8), flags = Bits(8);
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7) throw FormatError("zlib stream does not use deflate");
    if ((cmf * 256 + flags) % 31 != 0) throw FormatError("zlib header check failed");
    if (flags & 0x20) throw FormatError("zlib preset dictionaries are not supported");
    stage_ = Stage::BlockStart;
}

void ZlibInflater::BeginBlock() {
    bool last = Bits(1) != 0;
    switch (Bits(2)) {
    case 0: {
        bitBuffer_ = 0; // stored blocks start at a byte boundary
        bitCount_ = 0;
        unsigned length = Bits(16), complement = Bits(16);
        if (length != (~complement & 0xFFFF)) throw FormatError("deflate stored block length check failed");
        storedLeft_ = length;
        lastBlock_ = last;
        stage_ = Stage::Stored;
        CopyStored();
        return;
    }
    case 1: DecodeHuffmanBlock(fixedLengths_, fixedDistances_); break;
    case 2: {
        Huffman lengths, distances;
        ReadDynamicTables(lengths, distances);
        DecodeHuffmanBlock(lengths, distances);
        break;
    }
    default: throw FormatError("deflate stream has an invalid block type");
    }
    lastBlock_ = last;
    stage_ = last ? Stage::Checksum : Stage::BlockStart;
}

void ZlibInflater::CopyStored() {
    size_t available = std::min(storedLeft_, input_.size() - bytePos_);
    ReserveOutput(available);
    output_.insert(output_.end(), input_.begin() + static_cast<std::ptrdiff_t>(bytePos_),
                   input_.begin() + static_cast<std::ptrdiff_t>(bytePos_ + available));
    bytePos_ += available;
    storedLeft_ -= available;
    if (storedLeft_ != 0) throw NeedInput{};
    stage_ = lastBlock_ ? Stage::Checksum : Stage::BlockStart;
}

void ZlibInflater::ReadDynamicTables(Huffman& lengthCode, Huffman& distanceCode) {
    unsigned literalCount = Bits(5) + 257, distanceCount = Bits(5) + 1, codeLengthCount = Bits(4) + 4;
    if (literalCount > 286 || distanceCount > 30) throw FormatError("deflate block has too many codes");

    uint8_t lengths[320] = {};
    for (unsigned i = 0; i < codeLengthCount; i++) lengths[kCodeLengthOrder[i]] = uint8_t(Bits(3));
    Huffman codeLengthCode;
    if (BuildHuffman(codeLengthCode, lengths, 19) != 0) throw FormatError("deflate code length code is invalid");

    unsigned index = 0;
    while (index < literalCount + distanceCount) {
        unsigned symbol = Decode(codeLengthCode);
        if (symbol < 16) {
            lengths[index++] = uint8_t(symbol);
            continue;
        }
        uint8_t repeated = 0;
        unsigned times;
        if (symbol == 16) {
            if (index == 0) throw FormatError("deflate length repeat has no previous length");
            repeated = lengths[index - 1];
            times = 3 + Bits(2);
        } else if (symbol == 17) {
            times = 3 + Bits(3);
        } else {
            times = 11 + Bits(7);
        }
        if (index + times > literalCount + distanceCount) throw FormatError("deflate code lengths overflow");
        while (times--) lengths[index++] = repeated;
    }
    if (lengths[256] == 0) throw FormatError("deflate block has no end-of-block code");

    // An incomplete code is only allowed when it holds a single one-bit code.
    int left = BuildHuffman(lengthCode, lengths, literalCount);
    if (left < 0 || (left > 0 && literalCount - lengthCode.count[0] != 1))
        throw FormatError("deflate literal/length code is invalid");
    left = BuildHuffman(distanceCode, lengths + literalCount, distanceCount);
    if (left < 0 || (left > 0 && distanceCount - distanceCode.count[0] != 1))
        throw FormatError("deflate distance code is invalid");
}

void ZlibInflater::DecodeHuffmanBlock(const Huffman& lengthCode, const Huffman& distanceCode) {
    for (;;) {
        unsigned symbol = Decode(lengthCode);
        if (symbol < 256) {
            Emit(uint8_t(symbol));
            continue;
        }
        if (symbol == 256) return;
        symbol -= 257;
        if (symbol >= 29) throw FormatError("deflate stream has an invalid length code");
        size_t length = kLengthBase[symbol] + Bits(kLengthExtra[symbol]);
        unsigned distanceSymbol = Decode(distanceCode);
        if (distanceSymbol >= 30) throw FormatError("deflate stream has an invalid distance code");
        size_t distance = kDistanceBase[distanceSymbol] + Bits(kDistanceExtra[distanceSymbol]);
        if (distance > output_.size()) throw FormatError("deflate distance reaches before the start of the data");
        ReserveOutput(length);
        // Byte by byte: source and destination may overlap.
        size_t from = output_.size() - distance;
        for (size_t i = 0; i < length; i++) output_.push_back(output_[from + i]);
    }
}

void ZlibInflater::ReadChecksum() {
    bitBuffer_ = 0; // the trailer starts at a byte boundary
    bitCount_ = 0;
    uint32_t expected = 0;
    for (int i = 0; i < 4; i++) expected = expected << 8 | Bits(8);
    if (expected != Adler32(output_)) throw FormatError("zlib adler32 checksum mismatch");
    stage_ = Stage::Done;
}

} // namespace refplayer
