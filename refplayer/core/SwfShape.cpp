#include "refplayer/core/SwfShape.h"

#include <map>

namespace refplayer {

SwfRect ReadRect(SwfBitReader& reader) {
    reader.Align();
    unsigned bits = reader.Unsigned(5);
    SwfRect rect;
    rect.xMin = reader.Signed(bits);
    rect.xMax = reader.Signed(bits);
    rect.yMin = reader.Signed(bits);
    rect.yMax = reader.Signed(bits);
    reader.Align();
    return rect;
}

SwfMatrix ReadMatrix(SwfBitReader& reader) {
    reader.Align();
    SwfMatrix m;
    if (reader.Flag()) {
        unsigned bits = reader.Unsigned(5);
        m.a = reader.Fixed(bits);
        m.d = reader.Fixed(bits);
    }
    if (reader.Flag()) {
        unsigned bits = reader.Unsigned(5);
        m.b = reader.Fixed(bits);
        m.c = reader.Fixed(bits);
    }
    unsigned bits = reader.Unsigned(5);
    m.tx = reader.Signed(bits);
    m.ty = reader.Signed(bits);
    reader.Align();
    return m;
}

SwfColorTransform ReadColorTransform(SwfBitReader& reader, bool withAlpha) {
    reader.Align();
    SwfColorTransform t;
    bool hasAdd = reader.Flag();
    bool hasMult = reader.Flag();
    unsigned bits = reader.Unsigned(4);
    int channels = withAlpha ? 4 : 3;
    if (hasMult)
        for (int i = 0; i < channels; i++) t.mult[i] = static_cast<int16_t>(reader.Signed(bits));
    if (hasAdd)
        for (int i = 0; i < channels; i++) t.add[i] = static_cast<int16_t>(reader.Signed(bits));
    reader.Align();
    return t;
}

SwfEdge ReadEdgeRecord(SwfBitReader& r, double x, double y) {
    const bool straight = r.Flag();
    const unsigned bits = r.Unsigned(4) + 2;
    SwfEdge e{};
    e.x0 = x;
    e.y0 = y;
    if (straight) {
        double dx = 0, dy = 0;
        if (r.Flag()) {
            dx = r.Signed(bits);
            dy = r.Signed(bits);
        } else if (r.Flag()) {
            dy = r.Signed(bits);
        } else {
            dx = r.Signed(bits);
        }
        e.x1 = x + dx;
        e.y1 = y + dy;
        e.cx = (e.x0 + e.x1) / 2;
        e.cy = (e.y0 + e.y1) / 2;
        e.curved = false;
    } else {
        e.cx = x + r.Signed(bits);
        e.cy = y + r.Signed(bits);
        e.x1 = e.cx + r.Signed(bits);
        e.y1 = e.cy + r.Signed(bits);
        e.curved = true;
    }
    return e;
}

namespace {

uint32_t ReadColor(SwfBitReader& reader, bool alpha) {
    const uint8_t* p = reader.Take(alpha ? 4 : 3);
    uint32_t a = alpha ? p[3] : 0xFF;
    return a << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}


class ShapeReader {
public:
    ShapeReader(SwfBitReader& reader, int version) : r_(reader), version_(version) {}

    SwfShape ReadWithStyles() {
        ReadStyles();
        ReadRecords();
        return Finish();
    }
    SwfShape ReadGlyph() {
        SwfFillStyle black;
        shape_.fills.push_back(black);
        fillBase_ = 0;
        lineBase_ = 0;
        r_.Align();
        fillBits_ = r_.Unsigned(4);
        lineBits_ = r_.Unsigned(4);
        ReadRecords();
        return Finish();
    }

    SwfShape& Shape() { return shape_; }

private:
    bool Alpha() const { return version_ >= 3; }

    SwfFillStyle ReadFill() {
        SwfFillStyle fill;
        uint8_t type = r_.U8();
        if (type == 0x00) {
            fill.argb = ReadColor(r_, Alpha());
        } else if (type == 0x10 || type == 0x12 || type == 0x13) {
            fill.kind = type == 0x10 ? SwfFillStyle::Kind::LinearGradient : SwfFillStyle::Kind::RadialGradient;
            fill.matrix = ReadMatrix(r_);
            // The reserved spread value pads, like the first one.
            fill.spread = static_cast<uint8_t>(r_.Unsigned(2));
            if (fill.spread > 2) fill.spread = 0;
            r_.Unsigned(2);  // interpolation mode: linear RGB is drawn as plain RGB
            unsigned count = r_.Unsigned(4);
            for (unsigned i = 0; i < count; i++) {
                SwfGradientStop stop;
                stop.ratio = r_.U8();
                stop.argb = ReadColor(r_, Alpha());
                fill.stops.push_back(stop);
            }
            if (type == 0x13) fill.focal = r_.S16() / 256.0;
            if (fill.stops.empty()) fill.stops.push_back(SwfGradientStop{0, 0});
        } else if (type >= 0x40 && type <= 0x43) {
            fill.kind = SwfFillStyle::Kind::Bitmap;
            fill.bitmapId = r_.U16();
            fill.matrix = ReadMatrix(r_);
            fill.repeat = type == 0x40 || type == 0x42;
            fill.smooth = type == 0x40 || type == 0x41;
        } else {
            throw FormatError("shape has an unknown fill style type " + std::to_string(type));
        }
        return fill;
    }

    void ReadStyles() {
        fillBase_ = shape_.fills.size();
        lineBase_ = shape_.lines.size();
        size_t fills = r_.U8();
        if (fills == 0xFF && version_ >= 2) fills = r_.U16();
        for (size_t i = 0; i < fills; i++) shape_.fills.push_back(ReadFill());
        size_t lines = r_.U8();
        if (lines == 0xFF) lines = r_.U16();
        for (size_t i = 0; i < lines; i++) {
            SwfLineStyle line;
            line.width = r_.U16();
            if (version_ >= 4) {
                r_.Unsigned(2);  // start cap
                unsigned join = r_.Unsigned(2);
                bool hasFill = r_.Flag();
                r_.Unsigned(3);  // no scale flags, pixel hinting
                r_.Unsigned(5);
                r_.Unsigned(1);  // no close
                r_.Unsigned(2);  // end cap
                if (join == 2) r_.U16();  // miter limit
                if (hasFill) {
                    SwfFillStyle fill = ReadFill();
                    // Lines filled with a gradient or bitmap are drawn in its first colour.
                    line.argb = fill.kind == SwfFillStyle::Kind::Solid ? fill.argb
                                : fill.stops.empty() ? 0xFF000000 : fill.stops.front().argb;
                } else {
                    line.argb = ReadColor(r_, true);
                }
            } else {
                line.argb = ReadColor(r_, Alpha());
            }
            shape_.lines.push_back(line);
        }
        r_.Align();
        fillBits_ = r_.Unsigned(4);
        lineBits_ = r_.Unsigned(4);
    }

    // A style index of a style-change record: 0 is none, others count from the current table.
    size_t FillIndex(uint32_t value) const {
        if (value == 0) return None;
        size_t index = fillBase_ + value - 1;
        if (index >= shape_.fills.size()) throw FormatError("shape refers to a fill style it does not define");
        return index;
    }
    size_t LineIndex(uint32_t value) const {
        if (value == 0) return None;
        size_t index = lineBase_ + value - 1;
        if (index >= shape_.lines.size()) throw FormatError("shape refers to a line style it does not define");
        return index;
    }

    void AddEdge(const SwfEdge& edge) {
        if (fill0_ != None) fills_[fill0_].push_back(Reversed(edge));
        if (fill1_ != None) fills_[fill1_].push_back(edge);
        if (line_ != None) {
            if (strokes_.empty() || strokes_.back().style != line_ || strokeBreak_) {
                strokes_.push_back(SwfStrokePath{line_, {}});
                strokeBreak_ = false;
            }
            strokes_.back().edges.push_back(edge);
        }
    }
    static SwfEdge Reversed(const SwfEdge& e) { return SwfEdge{e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curved}; }

    void ReadRecords() {
        // Bounded by the data: every record takes at least six bits.
        for (;;) {
            bool edge = r_.Flag();
            if (!edge) {
                unsigned flags = r_.Unsigned(5);
                if (flags == 0) break;
                if (flags & 0x01) {
                    unsigned bits = r_.Unsigned(5);
                    x_ = r_.Signed(bits);
                    y_ = r_.Signed(bits);
                    strokeBreak_ = true;
                }
                if (flags & 0x02) fill0_ = FillIndex(r_.Unsigned(fillBits_));
                if (flags & 0x04) fill1_ = FillIndex(r_.Unsigned(fillBits_));
                if (flags & 0x08) {
                    line_ = LineIndex(r_.Unsigned(lineBits_));
                    strokeBreak_ = true;
                }
                if (flags & 0x10) {
                    if (version_ < 2) throw FormatError("DefineShape has new styles, which it cannot have");
                    ReadStyles();
                    fill0_ = fill1_ = line_ = None;
                    strokeBreak_ = true;
                }
                continue;
            }
            SwfEdge e = ReadEdgeRecord(r_, x_, y_);
            x_ = e.x1;
            y_ = e.y1;
            AddEdge(e);
        }
    }

    SwfShape Finish() {
        for (auto& [style, edges] : fills_) shape_.fillPaths.push_back(SwfFillPath{style, std::move(edges)});
        shape_.strokePaths = std::move(strokes_);
        return std::move(shape_);
    }

    static constexpr size_t None = static_cast<size_t>(-1);
    SwfBitReader& r_;
    int version_;
    SwfShape shape_;
    size_t fillBase_ = 0, lineBase_ = 0;
    unsigned fillBits_ = 0, lineBits_ = 0;
    size_t fill0_ = None, fill1_ = None, line_ = None;
    double x_ = 0, y_ = 0;
    bool strokeBreak_ = true;
    std::map<size_t, std::vector<SwfEdge>> fills_;  // ordered: fills draw in style order
    std::vector<SwfStrokePath> strokes_;
};

} // namespace

SwfShape ParseDefineShape(uint16_t code, const uint8_t* body, size_t size, uint16_t* id) {
    int version = code == 2 ? 1 : code == 22 ? 2 : code == 32 ? 3 : 4;
    SwfBitReader reader(body, size, "DefineShape tag");
    uint16_t shapeId = reader.U16();
    SwfRect bounds = ReadRect(reader);
    if (version == 4) {
        ReadRect(reader);  // edge bounds
        reader.U8();       // flags
    }
    ShapeReader shapes(reader, version);
    SwfShape shape = shapes.ReadWithStyles();
    shape.bounds = bounds;
    if (id) *id = shapeId;
    return shape;
}

SwfShape ParseGlyph(SwfBitReader& reader) {
    ShapeReader shapes(reader, 1);
    return shapes.ReadGlyph();
}

} // namespace refplayer
