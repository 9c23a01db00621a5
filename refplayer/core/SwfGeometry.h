#pragma once

// Geometry and colour records shared by shapes, the display list and the rasteriser:
// affine matrices (twips), colour transforms, and a bounds-checked bit reader for the
// bit-packed records of the format.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "refplayer/core/FormatError.h"

namespace refplayer {

struct SwfMatrix {
    double a = 1, b = 0, c = 0, d = 1; // x' = a*x + c*y + tx, y' = b*x + d*y + ty
    double tx = 0, ty = 0;

    double MapX(double x, double y) const { return a * x + c * y + tx; }
    double MapY(double x, double y) const { return b * x + d * y + ty; }
    // this after inner: maps through inner first.
    SwfMatrix operator*(const SwfMatrix& inner) const {
        SwfMatrix m;
        m.a = a * inner.a + c * inner.b;
        m.b = b * inner.a + d * inner.b;
        m.c = a * inner.c + c * inner.d;
        m.d = b * inner.c + d * inner.d;
        m.tx = a * inner.tx + c * inner.ty + tx;
        m.ty = b * inner.tx + d * inner.ty + ty;
        return m;
    }
    // A singular matrix inverts to one that maps everything to the origin.
    SwfMatrix Inverse() const {
        double det = a * d - b * c;
        SwfMatrix m;
        if (std::fabs(det) < 1e-12) {
            m.a = m.d = 0;
            return m;
        }
        m.a = d / det;
        m.b = -b / det;
        m.c = -c / det;
        m.d = a / det;
        m.tx = -(m.a * tx + m.c * ty);
        m.ty = -(m.b * tx + m.d * ty);
        return m;
    }
    // How much lengths grow on average (for line widths).
    double Scale() const { return std::sqrt(std::fabs(a * d - b * c)); }
};

// Colour transform: channel' = channel * mult / 256 + add, clamped to 0..255.
struct SwfColorTransform {
    int16_t mult[4] = {256, 256, 256, 256}; // r, g, b, a
    int16_t add[4] = {0, 0, 0, 0};

    bool IsIdentity() const {
        for (int i = 0; i < 4; i++)
            if (mult[i] != 256 || add[i] != 0) return false;
        return true;
    }
    // this after inner.
    SwfColorTransform operator*(const SwfColorTransform& inner) const {
        SwfColorTransform t;
        for (int i = 0; i < 4; i++) {
            int m = mult[i] * inner.mult[i] / 256;
            int a = inner.add[i] * mult[i] / 256 + add[i];
            t.mult[i] = static_cast<int16_t>(m < -32768 ? -32768 : m > 32767 ? 32767 : m);
            t.add[i] = static_cast<int16_t>(a < -32768 ? -32768 : a > 32767 ? 32767 : a);
        }
        return t;
    }
    // rgba as 0xAARRGGBB, not premultiplied.
    uint32_t Apply(uint32_t argb) const {
        int channel[4] = {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF), int(argb >> 24)};
        uint32_t out[4];
        for (int i = 0; i < 4; i++) {
            int v = channel[i] * mult[i] / 256 + add[i];
            out[i] = static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        return out[3] << 24 | out[0] << 16 | out[1] << 8 | out[2];
    }
};

// Bit-packed fields read most significant bit first; reading past the end raises FormatError.
class SwfBitReader {
public:
    SwfBitReader(const uint8_t* data, size_t size, const char* what) : data_(data), size_(size), what_(what) {}

    uint32_t Unsigned(unsigned count) {
        if (count > 32) Fail();
        if (count > size_ * 8 - bit_) Fail();
        uint32_t value = 0;
        for (unsigned i = 0; i < count; i++, bit_++)
            value = value << 1 | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
        return value;
    }
    int32_t Signed(unsigned count) {
        int64_t value = Unsigned(count);
        if (count > 0 && (value >> (count - 1)) & 1) value -= int64_t(1) << count;
        return static_cast<int32_t>(value);
    }
    bool Flag() { return Unsigned(1) != 0; }
    // 16.16 fixed point of `count` bits.
    double Fixed(unsigned count) { return Signed(count) / 65536.0; }
    void Align() { bit_ = (bit_ + 7) / 8 * 8; }
    size_t BytePosition() const { return (bit_ + 7) / 8; }
    size_t Remaining() const { return size_ - BytePosition(); }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

    // Whole bytes (after aligning).
    uint8_t U8() { Align(); return static_cast<uint8_t>(Unsigned(8)); }
    uint16_t U16() { Align(); uint32_t lo = Unsigned(8); return static_cast<uint16_t>(lo | Unsigned(8) << 8); }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() { uint32_t lo = U16(); return lo | uint32_t(U16()) << 16; }
    const uint8_t* Take(size_t count) {
        Align();
        if (count > Remaining()) Fail();
        const uint8_t* p = data_ + bit_ / 8;
        bit_ += count * 8;
        return p;
    }
    std::string CString() {
        Align();
        size_t start = bit_ / 8;
        size_t end = start;
        while (end < size_ && data_[end] != 0) end++;
        if (end == size_) Fail();
        bit_ = (end + 1) * 8;
        return std::string(reinterpret_cast<const char*>(data_ + start), end - start);
    }
    bool AtEnd() const { return BytePosition() >= size_; }

    [[noreturn]] void Fail() const { throw FormatError(std::string(what_) + " is truncated"); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t bit_ = 0;
    const char* what_;
};

SwfMatrix ReadMatrix(SwfBitReader& reader);
// withAlpha: the CXFORMWITHALPHA of PlaceObject2 and buttons.
SwfColorTransform ReadColorTransform(SwfBitReader& reader, bool withAlpha);

} // namespace refplayer
