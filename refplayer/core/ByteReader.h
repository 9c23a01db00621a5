#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "refplayer/core/FormatError.h"

namespace refplayer {

// Bounds-checked reads from a byte range. `what` names the structure being read so that a
// short read says where the data ended ("DoAction tag is truncated").
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size, const char* what)
        : data_(data), size_(size), what_(what) {}

    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ == size_; }

    const uint8_t* Take(size_t count) {
        Need(count);
        const uint8_t* p = data_ + pos_;
        pos_ += count;
        return p;
    }
    void Skip(size_t count) { Take(count); }

    uint8_t U8() { return *Take(1); }
    uint8_t PeekU8() { Need(1); return data_[pos_]; }
    uint16_t U16LE() { const uint8_t* p = Take(2); return uint16_t(p[0] | p[1] << 8); }
    uint32_t U32LE() {
        const uint8_t* p = Take(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    uint16_t U16BE() { const uint8_t* p = Take(2); return uint16_t(p[0] << 8 | p[1]); }
    uint32_t U24BE() { const uint8_t* p = Take(3); return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
    uint32_t U32BE() { return U16BE() * 0x10000u + U16BE(); }
    double DoubleBE() {
        uint64_t bits = uint64_t(U32BE()) << 32;
        bits |= U32BE();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string Bytes(size_t count) { const uint8_t* p = Take(count); return std::string(p, p + count); }
    // A NUL-terminated string; the terminator is consumed, not returned.
    std::string CString() {
        // An empty remainder (possibly of an empty buffer with no data pointer) has no terminator.
        if (Remaining() == 0) Fail();
        const void* nul = std::memchr(data_ + pos_, 0, Remaining());
        if (!nul) Fail();
        size_t length = static_cast<const uint8_t*>(nul) - (data_ + pos_);
        std::string text = Bytes(length);
        pos_++;
        return text;
    }

private:
    void Need(size_t count) { if (count > Remaining()) Fail(); }
    [[noreturn]] void Fail() const { throw FormatError(std::string(what_) + " is truncated"); }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    const char* what_;
};

} // namespace refplayer
