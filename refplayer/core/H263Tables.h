#pragma once

#include "refplayer/core/VlcTable.h"

namespace refplayer {

// The variable-length codes of H.263 as Sorenson's variant uses them.
//
// Macroblock type and chroma pattern of an intra picture: symbol bits 0-1 chroma coded block
// pattern, bit 2 quantiser change; kStuffing is padding.
// Of a predicted picture: bits 0-1 chroma pattern, bit 2 intra, bit 3 quantiser change,
// bit 4 four motion vectors; kStuffing is padding.
struct H263Tables {
    static constexpr int kIntraStuffing = 8;
    static constexpr int kInterStuffing = 20;
    static constexpr int kEscape = -1;

    // Transform coefficients: symbol = last << 12 | run << 6 | level, or kEscape.
    static int CoefficientLast(int symbol) { return symbol >> 12; }
    static int CoefficientRun(int symbol) { return (symbol >> 6) & 63; }
    static int CoefficientLevel(int symbol) { return symbol & 63; }

    const VlcTable intraMcbpc;
    const VlcTable interMcbpc;
    const VlcTable cbpy;           // symbol: the pattern of an intra macroblock's luma blocks
    const VlcTable motionVector;   // symbol: the magnitude 0..32; a sign bit follows non-zero
    const VlcTable coefficient;
    uint8_t zigzag[64];            // coded order -> raster position in the 8x8 block

    static const H263Tables& Get();

private:
    H263Tables();
};

} // namespace refplayer
