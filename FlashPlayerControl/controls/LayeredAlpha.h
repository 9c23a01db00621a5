#pragma once

// The alpha pass of the layered mode: a frame drawn once over white and once over black
// gives each pixel's opacity (white minus black in the blue channel, subtracted from 255)
// and, from the rendering over black, its colour already premultiplied by that opacity.
// Platform-free, so the pass is tested natively.

#include <cstdint>

// An update area in pixel columns and lines, upper bounds exclusive, lines counted from the
// top of the picture.
struct TLayeredRect {
    int Left, Top, Right, Bottom;
};

// Writes result over `area` (cut to the picture) from the over-white and over-black pixels.
// All three pictures are width x height 32-bit pixels (blue in the low byte) stored
// bottom-up: the first line in memory is the bottom line. Pixels outside `area` are left as
// they are.
void ComputeLayeredAlpha(const uint32_t* white, const uint32_t* black, uint32_t* result, int width, int height,
                         TLayeredRect area);

// One pixel of the pass: alpha := the low 8 bits of 255 - (white blue - black blue), colour
// := the over-black colour.
constexpr uint32_t LayeredPixel(uint32_t white, uint32_t black) {
    uint32_t alpha = (255u - ((white & 0xFFu) - (black & 0xFFu))) & 0xFFu;
    return (alpha << 24) | (black & 0x00FFFFFFu);
}
