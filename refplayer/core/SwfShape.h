#pragma once

// Shapes as drawable paths: the edge records of DefineShape 1-4 (and of font glyphs) turned
// into one set of directed edges per fill style and one run of edges per line style.

#include <cstdint>
#include <vector>

#include "refplayer/core/SwfGeometry.h"
#include "refplayer/core/SwfMovie.h"

namespace refplayer {

struct SwfGradientStop {
    uint8_t ratio = 0;
    uint32_t argb = 0;
};

struct SwfFillStyle {
    enum class Kind { Solid, LinearGradient, RadialGradient, Bitmap };
    Kind kind = Kind::Solid;
    uint32_t argb = 0xFF000000;  // not premultiplied
    SwfMatrix matrix;            // gradient square or bitmap pixels to shape twips
    std::vector<SwfGradientStop> stops;
    double focal = 0;            // focal point of a radial gradient, -1..1
    uint8_t spread = 0;          // past the last stop: 0 pad, 1 reflect, 2 repeat
    uint16_t bitmapId = 0;
    bool repeat = false;         // bitmap fill repeats rather than clamps
    bool smooth = false;
};

struct SwfLineStyle {
    uint16_t width = 0;  // twips
    uint32_t argb = 0xFF000000;
};

// One edge in shape twips; a straight edge has its control point halfway.
struct SwfEdge {
    double x0, y0, cx, cy, x1, y1;
    bool curved;
};

// Everything filled with one style: edges oriented so that the filled side lies on one side
// of every edge, which a non-zero winding rule fills.
struct SwfFillPath {
    size_t style = 0;  // index into SwfShape::fills
    std::vector<SwfEdge> edges;
};

struct SwfStrokePath {
    size_t style = 0;  // index into SwfShape::lines
    std::vector<SwfEdge> edges;
};

struct SwfShape {
    SwfRect bounds;
    std::vector<SwfFillStyle> fills;
    std::vector<SwfLineStyle> lines;
    std::vector<SwfFillPath> fillPaths;
    std::vector<SwfStrokePath> strokePaths;
};

// A DefineShape tag body (code 2, 22, 32 or 83); the shape's character id goes to *id.
SwfShape ParseDefineShape(uint16_t code, const uint8_t* body, size_t size, uint16_t* id);
// A glyph (SHAPE record without styles): filled with style 0 of one black fill.
SwfShape ParseGlyph(SwfBitReader& reader);

SwfRect ReadRect(SwfBitReader& reader);
// One edge record (after its type bit said "edge") starting at (x, y), in twips.
SwfEdge ReadEdgeRecord(SwfBitReader& reader, double x, double y);

} // namespace refplayer
