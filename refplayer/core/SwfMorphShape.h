#pragma once

// Morph shapes (DefineMorphShape, DefineMorphShape2): a start and an end shape with the same
// edges and styles, drawn at any point between them by the ratio of their placement.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "refplayer/core/SwfShape.h"

namespace refplayer {

struct SwfMorphShape {
    // One step of the start shape's records with the matching edge of the end shape: an edge,
    // or a change of styles (1-based, 0 none) and where a new stroke begins.
    struct Step {
        bool edge = false;
        SwfEdge from{}, to{};
        bool move = false;
        bool setFill0 = false, setFill1 = false, setLine = false;
        uint32_t fill0 = 0, fill1 = 0, line = 0;
    };
    SwfRect startBounds, endBounds;
    std::vector<SwfFillStyle> startFills, endFills;
    std::vector<SwfLineStyle> startLines, endLines;
    std::vector<Step> steps;

    // The shape at ratio 0..65535 (0: the start shape), made once for each ratio in use.
    const SwfShape& At(uint16_t ratio) const;

private:
    mutable std::map<uint16_t, std::shared_ptr<SwfShape>> made_;
};

// A DefineMorphShape (46) or DefineMorphShape2 (84) body; the character id goes to *id.
SwfMorphShape ParseMorphShape(uint16_t code, const uint8_t* body, size_t size, uint16_t* id);

} // namespace refplayer
