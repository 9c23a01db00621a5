#include "refplayer/core/Idct.h"

#include <cmath>

namespace refplayer {

namespace {

struct CosineTable {
    float c[8][8]; // c[u][x] = C(u)/2 * cos((2x+1) u pi / 16)
    CosineTable() {
        const double pi = 3.14159265358979323846;
        for (int u = 0; u < 8; u++)
            for (int x = 0; x < 8; x++)
                c[u][x] = float((u == 0 ? std::sqrt(0.5) : 1.0) / 2 * std::cos((2 * x + 1) * u * pi / 16));
    }
};

const CosineTable kCosines;

inline uint8_t Clamp(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

// Spatial values of the block, rounded.
void Transform(const int32_t* in, int out[64]) {
    float rows[8][8];
    for (int v = 0; v < 8; v++) {
        const int32_t* row = in + v * 8;
        bool zero = true;
        for (int u = 1; u < 8; u++) zero = zero && row[u] == 0;
        if (zero) {
            float dc = row[0] * kCosines.c[0][0];
            for (int x = 0; x < 8; x++) rows[v][x] = dc;
            continue;
        }
        for (int x = 0; x < 8; x++) {
            float sum = 0;
            for (int u = 0; u < 8; u++) sum += kCosines.c[u][x] * float(row[u]);
            rows[v][x] = sum;
        }
    }
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 8; x++) {
            float sum = 0;
            for (int v = 0; v < 8; v++) sum += kCosines.c[v][y] * rows[v][x];
            out[y * 8 + x] = static_cast<int>(std::floor(sum + 0.5f));
        }
    }
}

} // namespace

void InverseDctPut(const int32_t* coefficients, uint8_t* dest, int stride) {
    int values[64];
    Transform(coefficients, values);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) dest[y * stride + x] = Clamp(values[y * 8 + x]);
}

void InverseDctAdd(const int32_t* coefficients, uint8_t* dest, int stride) {
    int values[64];
    Transform(coefficients, values);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) dest[y * stride + x] = Clamp(dest[y * stride + x] + values[y * 8 + x]);
}

} // namespace refplayer
