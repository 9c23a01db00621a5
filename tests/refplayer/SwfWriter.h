#pragma once

// Builds the bodies of drawing tags for test movies: shapes, placements, sprites, buttons and
// bitmaps, bit-packed as the player reads them.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TestMovies.h"
#include "refplayer/core/SwfCharacters.h"

namespace refplayer_test {

// A zlib stream of stored blocks (no compression): the data of a lossless bitmap.
inline Bytes StoredZlib(const Bytes& data) {
    Bytes out = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    size_t pos = 0;
    do {
        size_t size = std::min<size_t>(65535, data.size() - pos);
        bool last = pos + size == data.size();
        out.insert(out.end(), {uint8_t(last ? 1 : 0), uint8_t(size), uint8_t(size >> 8), uint8_t(~size),
                               uint8_t(~size >> 8)});
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                   data.begin() + static_cast<std::ptrdiff_t>(pos + size));
        pos += size;
    } while (pos < data.size());
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = b << 16 | a;
    out.insert(out.end(), {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)});
    return out;
}

class BitWriter {
public:
    BitWriter& UB(uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) Bit((value >> i) & 1);
        return *this;
    }
    BitWriter& SB(int32_t value, unsigned count) { return UB(uint32_t(value), count); }
    BitWriter& Align() {
        bit_ = 0;
        return *this;
    }
    BitWriter& U8(uint8_t v) { Align(); bytes_.push_back(v); return *this; }
    BitWriter& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    BitWriter& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    BitWriter& Raw(const Bytes& data) {
        Align();
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    BitWriter& String(const std::string& text) {
        Raw(Bytes(text.begin(), text.end()));
        return U8(0);
    }
    BitWriter& Rgba(uint32_t argb, bool alpha) {
        U8(uint8_t(argb >> 16)).U8(uint8_t(argb >> 8)).U8(uint8_t(argb));
        if (alpha) U8(uint8_t(argb >> 24));
        return *this;
    }
    BitWriter& Rect(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
        Align();
        UB(20, 5).SB(x0, 20).SB(x1, 20).SB(y0, 20).SB(y1, 20);
        return Align();
    }
    // scale and rotate-skew as 16.16, translation in twips.
    BitWriter& Matrix(double a = 1, double d = 1, int32_t tx = 0, int32_t ty = 0, double b = 0, double c = 0) {
        Align();
        bool scale = a != 1 || d != 1;
        UB(scale, 1);
        if (scale) UB(31, 5).SB(int32_t(a * 65536), 31).SB(int32_t(d * 65536), 31);
        bool rotate = b != 0 || c != 0;
        UB(rotate, 1);
        if (rotate) UB(31, 5).SB(int32_t(b * 65536), 31).SB(int32_t(c * 65536), 31);
        UB(20, 5).SB(tx, 20).SB(ty, 20);
        return Align();
    }
    // Multiplier (256 = 1) and addition per channel r, g, b, a.
    BitWriter& ColorTransform(const int (&mult)[4], const int (&add)[4]) {
        Align();
        UB(1, 1).UB(1, 1).UB(10, 4);
        for (int v : mult) SB(v, 10);
        for (int v : add) SB(v, 10);
        return Align();
    }
    const Bytes& Data() const { return bytes_; }

private:
    void Bit(unsigned value) {
        if (bit_ == 0) bytes_.push_back(0);
        if (value) bytes_.back() |= uint8_t(0x80 >> bit_);
        bit_ = (bit_ + 1) % 8;
    }
    Bytes bytes_;
    unsigned bit_ = 0;
};

// A shape's styles and edges; coordinates in twips.
class ShapeWriter {
public:
    explicit ShapeWriter(int version = 3) : version_(version) {}
    ShapeWriter& Solid(uint32_t argb) {
        styles_.U8(0x00).Rgba(argb, version_ >= 3);
        fills_++;
        return *this;
    }
    // A gradient over the square -16384..16384 mapped by the matrix (scale, translation).
    // spread: 0 pad, 1 reflect, 2 repeat.
    ShapeWriter& Gradient(bool radial, double scale, int32_t tx, int32_t ty,
                          const std::vector<std::pair<uint8_t, uint32_t>>& stops, uint8_t spread = 0) {
        styles_.U8(radial ? 0x12 : 0x10).Matrix(scale, scale, tx, ty);
        styles_.UB(spread, 2).UB(0, 2).UB(uint32_t(stops.size()), 4);
        for (auto& [ratio, argb] : stops) styles_.U8(ratio).Rgba(argb, version_ >= 3);
        fills_++;
        return *this;
    }
    // A radial gradient whose focus sits at focal (-1..1) along its x axis (DefineShape4).
    ShapeWriter& FocalGradient(double scale, int32_t tx, int32_t ty,
                               const std::vector<std::pair<uint8_t, uint32_t>>& stops, double focal) {
        styles_.U8(0x13).Matrix(scale, scale, tx, ty);
        styles_.UB(0, 2).UB(0, 2).UB(uint32_t(stops.size()), 4);
        for (auto& [ratio, argb] : stops) styles_.U8(ratio).Rgba(argb, true);
        styles_.U16(uint16_t(int16_t(focal * 256)));
        fills_++;
        return *this;
    }
    ShapeWriter& Bitmap(uint16_t id, double scale, int32_t tx, int32_t ty, uint8_t type = 0x41) {
        styles_.U8(type).U16(id).Matrix(scale, scale, tx, ty);
        fills_++;
        return *this;
    }
    ShapeWriter& Line(uint16_t width, uint32_t argb) {
        lines_.U16(width);
        if (version_ >= 4) lines_.U16(0);  // round caps and joins, no fill, no flags
        lines_.Rgba(argb, version_ >= 3);
        lineCount_++;
        return *this;
    }
    // Moves the pen and picks styles (1-based; 0 none, -1 unchanged).
    ShapeWriter& Move(int32_t x, int32_t y, int fill0 = -1, int fill1 = -1, int line = -1) {
        records_.UB(0, 1).UB(0, 1).UB(line >= 0, 1).UB(fill1 >= 0, 1).UB(fill0 >= 0, 1).UB(1, 1);
        records_.UB(20, 5).SB(x, 20).SB(y, 20);
        if (fill0 >= 0) records_.UB(uint32_t(fill0), 4);
        if (fill1 >= 0) records_.UB(uint32_t(fill1), 4);
        if (line >= 0) records_.UB(uint32_t(line), 4);
        x_ = x;
        y_ = y;
        return *this;
    }
    ShapeWriter& To(int32_t x, int32_t y) {
        records_.UB(1, 1).UB(1, 1).UB(14, 4).UB(1, 1).SB(x - x_, 16).SB(y - y_, 16);
        x_ = x;
        y_ = y;
        return *this;
    }
    ShapeWriter& Curve(int32_t cx, int32_t cy, int32_t x, int32_t y) {
        records_.UB(1, 1).UB(0, 1).UB(14, 4).SB(cx - x_, 16).SB(cy - y_, 16).SB(x - cx, 16).SB(y - cy, 16);
        x_ = x;
        y_ = y;
        return *this;
    }
    ShapeWriter& Rectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int fill1 = 1) {
        return Move(x0, y0, 0, fill1, 0).To(x1, y0).To(x1, y1).To(x0, y1).To(x0, y0);
    }
    // The DefineShape body (the tag code goes with the version: 2, 22, 32, 83).
    Bytes Body(uint16_t id, int32_t x0 = 0, int32_t y0 = 0, int32_t x1 = 20000, int32_t y1 = 20000) const {
        BitWriter out;
        out.U16(id).Rect(x0, x1, y0, y1);
        if (version_ >= 4) out.Rect(x0, x1, y0, y1).U8(0);  // edge bounds, flags
        out.U8(uint8_t(fills_)).Raw(styles_.Data());
        out.U8(uint8_t(lineCount_)).Raw(lines_.Data());
        out.UB(4, 4).UB(4, 4);
        Bytes body = out.Data();
        BitWriter records = records_;
        records.UB(0, 6).Align();
        body.insert(body.end(), records.Data().begin(), records.Data().end());
        return body;
    }
    uint16_t Code() const { return version_ == 1 ? 2 : version_ == 2 ? 22 : version_ == 3 ? 32 : 83; }

private:
    int version_;
    BitWriter styles_, lines_, records_;
    int fills_ = 0, lineCount_ = 0;
    int32_t x_ = 0, y_ = 0;
};

struct Placement {
    int depth = 1;
    int id = -1;          // -1: no character (a move)
    bool move = false;
    bool hasMatrix = false;
    double scale = 1;
    int32_t tx = 0, ty = 0;
    std::string name;
    int clipDepth = 0;
    int alphaMult = -1;   // -1: no colour transform
};

inline Bytes PlaceObject2(const Placement& p) {
    BitWriter out;
    uint8_t flags = uint8_t((p.move ? 1 : 0) | (p.id >= 0 ? 2 : 0) | (p.hasMatrix ? 4 : 0) |
                            (p.alphaMult >= 0 ? 8 : 0) | (!p.name.empty() ? 0x20 : 0) | (p.clipDepth ? 0x40 : 0));
    out.U8(flags).U16(uint16_t(p.depth));
    if (p.id >= 0) out.U16(uint16_t(p.id));
    if (p.hasMatrix) out.Matrix(p.scale, p.scale, p.tx, p.ty);
    if (p.alphaMult >= 0) out.ColorTransform({256, 256, 256, p.alphaMult}, {0, 0, 0, 0});
    if (!p.name.empty()) out.String(p.name);
    if (p.clipDepth) out.U16(uint16_t(p.clipDepth));
    return out.Data();
}

inline Bytes Place(int id, int depth, int32_t tx = 0, int32_t ty = 0) {
    Placement p;
    p.id = id;
    p.depth = depth;
    p.hasMatrix = true;
    p.tx = tx;
    p.ty = ty;
    return PlaceObject2(p);
}

inline Bytes RemoveObject2(int depth) { return {uint8_t(depth), uint8_t(depth >> 8)}; }

// A DefineSprite body from its own tag list (built with TestSwf's Tag/ShowFrame, header dropped).
class SpriteWriter {
public:
    SpriteWriter& Tag(uint16_t code, const Bytes& body) {
        tags_.Tag(code, body);
        return *this;
    }
    SpriteWriter& ShowFrame() {
        tags_.ShowFrame();
        frames_++;
        return *this;
    }
    Bytes Body(uint16_t id) const {
        TestSwf copy = tags_;
        copy.End();
        const Bytes& tags = copy.Tags();
        Bytes body = {uint8_t(id), uint8_t(id >> 8), uint8_t(frames_), uint8_t(frames_ >> 8)};
        body.insert(body.end(), tags.begin(), tags.end());
        return body;
    }

private:
    TestSwf tags_;
    int frames_ = 0;
};

// A DefineButton2 body: records (states bits, character, depth, translation) and condition actions.
struct ButtonPart {
    uint8_t states;
    uint16_t id;
    uint16_t depth;
};
inline Bytes DefineButton2(uint16_t id, const std::vector<ButtonPart>& parts,
                           const std::vector<std::pair<uint8_t, Bytes>>& actions) {
    BitWriter records;
    for (const ButtonPart& part : parts) {
        records.U8(part.states).U16(part.id).U16(part.depth).Matrix();
        records.Align().UB(0, 1).UB(0, 1).UB(1, 4).Align();  // an empty colour transform
    }
    records.U8(0);
    BitWriter out;
    out.U16(id).U8(0);
    uint16_t offset = actions.empty() ? 0 : uint16_t(2 + records.Data().size());
    out.U16(offset).Raw(records.Data());
    for (size_t i = 0; i < actions.size(); i++) {
        const Bytes& list = actions[i].second;
        uint16_t size = i + 1 == actions.size() ? 0 : uint16_t(4 + list.size() + 1);
        out.U16(size).U8(actions[i].first).U8(0).Raw(list).U8(0);
    }
    return out.Data();
}

} // namespace refplayer_test

namespace refplayer_test {

// A button drawn as a solid rectangle at stage pixels (20, 20)-(260, 80) whose release
// action stops the movie: the drawn, clickable content of the module tests' movies.
inline TestSwf& AddStopButton(TestSwf& movie, uint32_t rgb) {
    ShapeWriter shape;
    shape.Solid(0xFF000000 | rgb).Rectangle(400, 400, 5200, 1600);
    Bytes button = DefineButton2(101, {{refplayer::ButtonUp | refplayer::ButtonOver | refplayer::ButtonDown | refplayer::ButtonHit, 100, 1}},
                                 {{refplayer::ButtonRelease, {refplayer::SwfActionStop}}});
    return movie.Tag(shape.Code(), shape.Body(100, 400, 400, 5200, 1600))
        .Tag(refplayer::SwfTagDefineButton2, button)
        .Tag(refplayer::SwfTagPlaceObject2, Place(101, 1));
}

} // namespace refplayer_test

namespace refplayer_test {

// DefineFont2 of one glyph, a full EM square (0, -1024)-(1024, 0) for the character 'A'.
inline Bytes SquareFont(uint16_t id) {
    BitWriter glyph;
    glyph.UB(1, 4).UB(0, 4);
    glyph.UB(0, 1).UB(0, 1).UB(0, 1).UB(1, 1).UB(0, 1).UB(1, 1).UB(20, 5).SB(0, 20).SB(-1024, 20).UB(1, 1);
    auto line = [&](int dx, int dy) { glyph.UB(1, 1).UB(1, 1).UB(14, 4).UB(1, 1).SB(dx, 16).SB(dy, 16); };
    line(1024, 0);
    line(0, 1024);
    line(-1024, 0);
    line(0, -1024);
    glyph.UB(0, 6).Align();
    BitWriter out;
    out.U16(id).U8(0).U8(0).U8(4).Raw({'T', 'e', 's', 't'}).U16(1);
    out.U16(4).U16(uint16_t(4 + glyph.Data().size())).Raw(glyph.Data()).U8('A');
    return out.Data();
}

// DefineText2: `count` glyphs 0 of a font, in one run starting at (x, y) twips, `advance` apart.
inline Bytes StaticText(uint16_t id, uint16_t fontId, uint32_t argb, uint16_t height, int16_t x, int16_t y, int count,
                        int16_t advance) {
    BitWriter out;
    out.U16(id).Rect(0, 20000, 0, 20000).Matrix().U8(8).U8(16);
    out.U8(0x8F).U16(fontId).Rgba(argb, true).U16(uint16_t(x)).U16(uint16_t(y)).U16(height).U8(uint8_t(count));
    for (int i = 0; i < count; i++) out.UB(0, 8).SB(advance, 16);
    out.Align().U8(0);
    return out.Data();
}

} // namespace refplayer_test

namespace refplayer_test {

// DefineEditText: a box (twips) with a font height (twips), colour, bound variable and text.
inline Bytes EditText(uint16_t id, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t fontId, uint16_t height,
                      uint32_t argb, const std::string& variable, const std::string& text) {
    BitWriter out;
    out.U16(id).Rect(x0, x1, y0, y1);
    out.U8(uint8_t((text.empty() ? 0 : 0x80) | 0x04 | 0x01)).U8(0);
    out.U16(fontId).U16(height).Rgba(argb, true).String(variable);
    if (!text.empty()) out.String(text);
    return out.Data();
}

} // namespace refplayer_test

namespace refplayer_test {

// DefineSound of uncompressed little-endian 16-bit mono samples at 22 kHz (a ramp).
inline Bytes PcmSound(uint16_t id, int samples) {
    BitWriter out;
    out.U16(id).U8(0x3A).U32(uint32_t(samples));  // format 3, 22 kHz, 16-bit, mono
    for (int i = 0; i < samples; i++) out.U16(uint16_t(int16_t(i * 16)));
    return out.Data();
}

} // namespace refplayer_test

namespace refplayer_test {

// Edge records of a rectangle (x0, y0)-(x1, y1), selecting fill 1 and line `line` when
// `styles`; the end shape's records carry the move only.
inline void MorphRectangle(BitWriter& out, int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool styles, int line = 0) {
    out.Align().UB(4, 4).UB(4, 4);
    out.UB(0, 1).UB(0, 1).UB(styles ? 1 : 0, 1).UB(styles ? 1 : 0, 1).UB(styles ? 1 : 0, 1).UB(1, 1);
    out.UB(20, 5).SB(x0, 20).SB(y0, 20);
    if (styles) out.UB(0, 4).UB(1, 4).UB(uint32_t(line), 4);
    int32_t x = x0, y = y0;
    auto to = [&](int32_t nx, int32_t ny) {
        out.UB(1, 1).UB(1, 1).UB(14, 4).UB(1, 1).SB(nx - x, 16).SB(ny - y, 16);
        x = nx;
        y = ny;
    };
    to(x1, y0);
    to(x1, y1);
    to(x0, y1);
    to(x0, y0);
    out.UB(0, 6).Align();
}

struct MorphSquare {
    uint32_t startArgb = 0xFFFF0000, endArgb = 0xFF0000FF;
    int32_t start[4] = {0, 0, 100, 100};
    int32_t end[4] = {200, 200, 400, 400};
    bool line = false;       // a line of width 20 to 60, green to white
    bool gradient = false;   // a linear gradient black-white to white-black instead of a solid
    int endEdgeLimit = -1;   // cut the end shape's record bytes to this many (-1: all)
    int offsetShift = 0;     // added to the end edges' offset
    uint8_t fillType = 0x00;
};

inline Bytes MorphBody(uint16_t id, const MorphSquare& m) {
    BitWriter styles;
    styles.U8(1);
    if (m.gradient) {
        styles.U8(0x10).Matrix(0.1, 0.1, 200, 200).Matrix(0.2, 0.2, 300, 300).U8(2);
        styles.U8(0).Rgba(0xFF000000, true).U8(0).Rgba(0xFFFFFFFF, true);
        styles.U8(255).Rgba(0xFFFFFFFF, true).U8(255).Rgba(0xFF000000, true);
    } else {
        styles.U8(m.fillType).Rgba(m.startArgb, true).Rgba(m.endArgb, true);
    }
    if (m.line)
        styles.U8(1).U16(20).U16(60).Rgba(0xFF00FF00, true).Rgba(0xFFFFFFFF, true);
    else
        styles.U8(0);
    BitWriter startEdges, endEdges;
    MorphRectangle(startEdges, m.start[0], m.start[1], m.start[2], m.start[3], true, m.line ? 1 : 0);
    MorphRectangle(endEdges, m.end[0], m.end[1], m.end[2], m.end[3], false);
    Bytes endBytes = endEdges.Data();
    if (m.endEdgeLimit >= 0) endBytes.resize(size_t(m.endEdgeLimit));
    BitWriter out;
    out.U16(id).Rect(0, 400, 0, 400).Rect(0, 400, 0, 400);
    uint32_t offset = uint32_t(styles.Data().size() + startEdges.Data().size()) + uint32_t(m.offsetShift);
    out.U32(offset).Raw(styles.Data()).Raw(startEdges.Data()).Raw(endBytes);
    return out.Data();
}

// PlaceObject2 of character `id` (or a move when id < 0) at depth 1 with a ratio.
inline Bytes PlaceWithRatio(int id, uint16_t ratio) {
    BitWriter out;
    out.U8(uint8_t(id >= 0 ? 0x12 : 0x11)).U16(1);
    if (id >= 0) out.U16(uint16_t(id));
    return out.U16(ratio).Data();
}

} // namespace refplayer_test
