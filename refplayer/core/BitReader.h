#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "refplayer/core/FormatError.h"

namespace refplayer {

// Bounds-checked reads of a bit stream, most significant bit first. Peeking past the end
// sees zero bits, so a table lookup near the end stays in bounds; consuming past the end
// raises FormatError naming `what`.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size, const char* what)
        : data_(data), size_(size), bits_(size * 8), what_(what) {}

    size_t Position() const { return pos_; }
    size_t BitsLeft() const { return bits_ - pos_; }

    // Up to 32 bits without consuming them.
    uint32_t Peek(unsigned count) const {
        if (count == 0) return 0;
        size_t byte = pos_ >> 3;
        uint64_t word = 0;
        if (byte + 8 <= size_) {
            for (int i = 0; i < 8; i++) word = word << 8 | data_[byte + i];
        } else {
            for (size_t i = 0; i < 8; i++) word = word << 8 | (byte + i < size_ ? data_[byte + i] : 0);
        }
        return static_cast<uint32_t>((word << (pos_ & 7)) >> (64 - count));
    }
    void Skip(size_t count) {
        if (count > BitsLeft()) Fail();
        pos_ += count;
    }
    uint32_t Read(unsigned count) {
        uint32_t value = Peek(count);
        Skip(count);
        return value;
    }
    // Two's complement field of `count` bits.
    int32_t ReadSigned(unsigned count) {
        uint32_t value = Read(count);
        uint32_t sign = 1u << (count - 1);
        return static_cast<int32_t>(value ^ sign) - static_cast<int32_t>(sign);
    }
    bool Bit() { return Read(1) != 0; }

    [[noreturn]] void Fail() const { throw FormatError(std::string(what_) + " is truncated"); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t bits_;
    size_t pos_ = 0;
    const char* what_;
};

} // namespace refplayer
