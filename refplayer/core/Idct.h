#pragma once

#include <cstdint>

namespace refplayer {

// Inverse 8x8 DCT in floating point (separable, rows then columns), rounded to the nearest
// integer: close to the exact transform, so pictures predicted from pictures do not drift
// away from other accurate decoders. `coefficients` are in raster order.
void InverseDctPut(const int32_t* coefficients, uint8_t* dest, int stride);  // dest = clamp(idct)
void InverseDctAdd(const int32_t* coefficients, uint8_t* dest, int stride);  // dest = clamp(dest + idct)

} // namespace refplayer
