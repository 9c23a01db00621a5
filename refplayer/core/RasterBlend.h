#pragma once

// Source-over compositing of runs of premultiplied 0xAARRGGBB pixels, four at a time where
// SSE2 is available (always on x64). Every routine gives exactly what BlendCoverage gives
// pixel by pixel for well-formed premultiplied colours.

#include <cstddef>
#include <cstdint>

namespace refplayer {

// Premultiplied ARGB from 0xAARRGGBB.
uint32_t Premultiply(uint32_t argb);
// A premultiplied colour at coverage 0..255 over a premultiplied pixel.
uint32_t BlendCoverage(uint32_t colour, uint32_t coverage, uint32_t destination);
// Every channel of a premultiplied colour times coverage/255.
uint32_t ScaleColour(uint32_t colour, uint32_t coverage);

// count pixels set to one colour.
void FillRun(uint32_t* dst, size_t count, uint32_t colour);
// One colour (already scaled by its coverage) over count pixels.
void BlendSolidRun(uint32_t* dst, int count, uint32_t colour);
// One colour at per-pixel coverage over count pixels.
void BlendSolidCoverage(uint32_t* dst, int count, uint32_t colour, const uint8_t* coverage);
// Per-pixel colours at one coverage over count pixels.
void BlendColoursRun(uint32_t* dst, int count, const uint32_t* colours, uint32_t coverage);
// Per-pixel colours at per-pixel coverage over count pixels.
void BlendColoursCoverage(uint32_t* dst, int count, const uint32_t* colours, const uint8_t* coverage);

} // namespace refplayer
