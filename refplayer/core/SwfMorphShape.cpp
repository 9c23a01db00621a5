#include "refplayer/core/SwfMorphShape.h"

#include <algorithm>
#include <string>

namespace refplayer {

namespace {

// Morph shapes differ from one another in few ratios; a placement tween uses one per frame.
constexpr size_t MaxCachedRatios = 64;

uint32_t ReadRgba(SwfBitReader& reader) {
    const uint8_t* p = reader.Take(4);
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void ReadMorphFill(SwfBitReader& r, SwfFillStyle& start, SwfFillStyle& end) {
    uint8_t type = r.U8();
    if (type == 0x00) {
        start.argb = ReadRgba(r);
        end.argb = ReadRgba(r);
    } else if (type == 0x10 || type == 0x12 || type == 0x13) {
        start.kind = end.kind =
            type == 0x10 ? SwfFillStyle::Kind::LinearGradient : SwfFillStyle::Kind::RadialGradient;
        start.matrix = ReadMatrix(r);
        end.matrix = ReadMatrix(r);
        unsigned count = r.U8() & 0x0F;  // the upper bits are spread and interpolation modes
        for (unsigned i = 0; i < count; i++) {
            SwfGradientStop a, b;
            a.ratio = r.U8();
            a.argb = ReadRgba(r);
            b.ratio = r.U8();
            b.argb = ReadRgba(r);
            start.stops.push_back(a);
            end.stops.push_back(b);
        }
        if (type == 0x13) {
            start.focal = r.S16() / 256.0;
            end.focal = r.S16() / 256.0;
        }
        if (start.stops.empty()) {
            start.stops.push_back(SwfGradientStop{0, 0});
            end.stops.push_back(SwfGradientStop{0, 0});
        }
    } else if (type >= 0x40 && type <= 0x43) {
        start.kind = end.kind = SwfFillStyle::Kind::Bitmap;
        start.bitmapId = end.bitmapId = r.U16();
        start.matrix = ReadMatrix(r);
        end.matrix = ReadMatrix(r);
        start.repeat = end.repeat = type == 0x40 || type == 0x42;
        start.smooth = end.smooth = type == 0x40 || type == 0x41;
    } else {
        throw FormatError("morph shape has an unknown fill style type " + std::to_string(type));
    }
}

void ReadMorphLine(SwfBitReader& r, bool second, SwfLineStyle& start, SwfLineStyle& end) {
    start.width = r.U16();
    end.width = r.U16();
    if (!second) {
        start.argb = ReadRgba(r);
        end.argb = ReadRgba(r);
        return;
    }
    r.Unsigned(2);  // start cap
    unsigned join = r.Unsigned(2);
    bool hasFill = r.Flag();
    r.Unsigned(3);  // no scale flags, pixel hinting
    r.Unsigned(5);
    r.Unsigned(1);  // no close
    r.Unsigned(2);  // end cap
    if (join == 2) r.U16();  // miter limit
    if (!hasFill) {
        start.argb = ReadRgba(r);
        end.argb = ReadRgba(r);
        return;
    }
    // Lines filled with a gradient or bitmap are drawn in its first colour.
    SwfFillStyle a, b;
    ReadMorphFill(r, a, b);
    auto colour = [](const SwfFillStyle& fill) {
        return fill.kind == SwfFillStyle::Kind::Solid ? fill.argb : fill.stops.empty() ? 0xFF000000 : fill.stops[0].argb;
    };
    start.argb = colour(a);
    end.argb = colour(b);
}

// The edge records of one shape: moves and edges in absolute twips (the end shape's style
// changes carry no styles, only moves).
struct Record {
    bool edge = false;
    SwfEdge shape{};
    bool move = false;
    double x = 0, y = 0;
    bool setFill0 = false, setFill1 = false, setLine = false;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
};

std::vector<Record> ReadRecords(SwfBitReader& r, size_t fills, size_t lines) {
    std::vector<Record> records;
    r.Align();
    unsigned fillBits = r.Unsigned(4), lineBits = r.Unsigned(4);
    double x = 0, y = 0;
    // Bounded by the data: every record takes at least six bits.
    for (;;) {
        Record record;
        if (!r.Flag()) {
            unsigned flags = r.Unsigned(5);
            if (flags == 0) break;
            if (flags & 0x10) throw FormatError("morph shape records cannot bring new styles");
            if (flags & 0x01) {
                unsigned bits = r.Unsigned(5);
                x = r.Signed(bits);
                y = r.Signed(bits);
                record.move = true;
                record.x = x;
                record.y = y;
            }
            auto style = [&](uint32_t value, size_t count) {
                if (value > count) throw FormatError("morph shape refers to a style it does not define");
                return value;
            };
            if (flags & 0x02) record.setFill0 = true, record.fill0 = style(r.Unsigned(fillBits), fills);
            if (flags & 0x04) record.setFill1 = true, record.fill1 = style(r.Unsigned(fillBits), fills);
            if (flags & 0x08) record.setLine = true, record.line = style(r.Unsigned(lineBits), lines);
            records.push_back(record);
            continue;
        }
        record.shape = ReadEdgeRecord(r, x, y);
        x = record.shape.x1;
        y = record.shape.y1;
        record.edge = true;
        records.push_back(record);
    }
    return records;
}

double Mix(double a, double b, double t) { return a + (b - a) * t; }

uint32_t MixColour(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        double channel = Mix(double((a >> shift) & 0xFF), double((b >> shift) & 0xFF), t);
        out |= uint32_t(std::clamp(channel + 0.5, 0.0, 255.0)) << shift;
    }
    return out;
}

SwfMatrix MixMatrix(const SwfMatrix& a, const SwfMatrix& b, double t) {
    SwfMatrix m;
    m.a = Mix(a.a, b.a, t);
    m.b = Mix(a.b, b.b, t);
    m.c = Mix(a.c, b.c, t);
    m.d = Mix(a.d, b.d, t);
    m.tx = Mix(a.tx, b.tx, t);
    m.ty = Mix(a.ty, b.ty, t);
    return m;
}

SwfEdge MixEdge(const SwfEdge& a, const SwfEdge& b, double t) {
    return SwfEdge{Mix(a.x0, b.x0, t), Mix(a.y0, b.y0, t), Mix(a.cx, b.cx, t), Mix(a.cy, b.cy, t),
                   Mix(a.x1, b.x1, t), Mix(a.y1, b.y1, t), a.curved || b.curved};
}

SwfShape MakeShape(const SwfMorphShape& morph, double t) {
    SwfShape shape;
    shape.bounds.xMin = int32_t(Mix(morph.startBounds.xMin, morph.endBounds.xMin, t));
    shape.bounds.xMax = int32_t(Mix(morph.startBounds.xMax, morph.endBounds.xMax, t));
    shape.bounds.yMin = int32_t(Mix(morph.startBounds.yMin, morph.endBounds.yMin, t));
    shape.bounds.yMax = int32_t(Mix(morph.startBounds.yMax, morph.endBounds.yMax, t));
    for (size_t i = 0; i < morph.startFills.size(); i++) {
        const SwfFillStyle& a = morph.startFills[i];
        const SwfFillStyle& b = morph.endFills[i];
        SwfFillStyle fill = a;
        fill.argb = MixColour(a.argb, b.argb, t);
        fill.matrix = MixMatrix(a.matrix, b.matrix, t);
        fill.focal = Mix(a.focal, b.focal, t);
        for (size_t s = 0; s < fill.stops.size() && s < b.stops.size(); s++) {
            fill.stops[s].ratio = uint8_t(std::clamp(Mix(a.stops[s].ratio, b.stops[s].ratio, t) + 0.5, 0.0, 255.0));
            fill.stops[s].argb = MixColour(a.stops[s].argb, b.stops[s].argb, t);
        }
        shape.fills.push_back(fill);
    }
    for (size_t i = 0; i < morph.startLines.size(); i++) {
        SwfLineStyle line;
        line.width = uint16_t(std::clamp(Mix(morph.startLines[i].width, morph.endLines[i].width, t) + 0.5, 0.0, 65535.0));
        line.argb = MixColour(morph.startLines[i].argb, morph.endLines[i].argb, t);
        shape.lines.push_back(line);
    }
    // The same assignment of edges to fill and line paths as a plain shape's.
    constexpr size_t None = static_cast<size_t>(-1);
    size_t fill0 = None, fill1 = None, line = None;
    bool strokeBreak = true;
    std::map<size_t, std::vector<SwfEdge>> fills;
    for (const SwfMorphShape::Step& step : morph.steps) {
        if (!step.edge) {
            if (step.move) strokeBreak = true;
            if (step.setFill0) fill0 = step.fill0 ? step.fill0 - 1 : None;
            if (step.setFill1) fill1 = step.fill1 ? step.fill1 - 1 : None;
            if (step.setLine) {
                line = step.line ? step.line - 1 : None;
                strokeBreak = true;
            }
            continue;
        }
        SwfEdge e = MixEdge(step.from, step.to, t);
        if (fill0 != None) fills[fill0].push_back(SwfEdge{e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curved});
        if (fill1 != None) fills[fill1].push_back(e);
        if (line != None) {
            if (shape.strokePaths.empty() || shape.strokePaths.back().style != line || strokeBreak) {
                shape.strokePaths.push_back(SwfStrokePath{line, {}});
                strokeBreak = false;
            }
            shape.strokePaths.back().edges.push_back(e);
        }
    }
    for (auto& [style, edges] : fills) shape.fillPaths.push_back(SwfFillPath{style, std::move(edges)});
    return shape;
}

} // namespace

const SwfShape& SwfMorphShape::At(uint16_t ratio) const {
    auto it = made_.find(ratio);
    if (it != made_.end()) return *it->second;
    if (made_.size() >= MaxCachedRatios) made_.clear();
    auto shape = std::make_shared<SwfShape>(MakeShape(*this, ratio / 65535.0));
    return *(made_[ratio] = std::move(shape));
}

SwfMorphShape ParseMorphShape(uint16_t code, const uint8_t* body, size_t size, uint16_t* id) {
    bool second = code == 84;
    SwfBitReader r(body, size, "DefineMorphShape tag");
    SwfMorphShape morph;
    uint16_t shapeId = r.U16();
    morph.startBounds = ReadRect(r);
    morph.endBounds = ReadRect(r);
    if (second) {
        ReadRect(r);  // edge bounds
        ReadRect(r);
        r.U8();       // stroke flags
    }
    uint32_t offset = r.U32();
    size_t endEdges = r.BytePosition() + offset;
    if (offset == 0 || endEdges > size) throw FormatError("DefineMorphShape has its end edges outside the tag");
    size_t fills = r.U8();
    if (fills == 0xFF) fills = r.U16();
    morph.startFills.resize(fills);
    morph.endFills.resize(fills);
    for (size_t i = 0; i < fills; i++) ReadMorphFill(r, morph.startFills[i], morph.endFills[i]);
    size_t lines = r.U8();
    if (lines == 0xFF) lines = r.U16();
    morph.startLines.resize(lines);
    morph.endLines.resize(lines);
    for (size_t i = 0; i < lines; i++) ReadMorphLine(r, second, morph.startLines[i], morph.endLines[i]);
    std::vector<Record> start = ReadRecords(r, fills, lines);
    if (r.BytePosition() > endEdges) throw FormatError("DefineMorphShape's start edges run into its end edges");
    SwfBitReader endReader(body + endEdges, size - endEdges, "DefineMorphShape tag");
    std::vector<Record> end = ReadRecords(endReader, fills, lines);

    // Each start edge pairs with the next end edge; the end shape's moves place its pen.
    size_t next = 0;
    for (const Record& record : start) {
        SwfMorphShape::Step step;
        if (!record.edge) {
            step.move = record.move;
            step.setFill0 = record.setFill0;
            step.setFill1 = record.setFill1;
            step.setLine = record.setLine;
            step.fill0 = record.fill0;
            step.fill1 = record.fill1;
            step.line = record.line;
            morph.steps.push_back(step);
            continue;
        }
        while (next < end.size() && !end[next].edge) next++;
        if (next >= end.size()) throw FormatError("DefineMorphShape has fewer end edges than start edges");
        step.edge = true;
        step.from = record.shape;
        step.to = end[next++].shape;
        morph.steps.push_back(step);
    }
    if (id) *id = shapeId;
    return morph;
}

} // namespace refplayer
