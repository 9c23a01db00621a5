#include "refplayer/core/VideoImage.h"

namespace refplayer {

namespace {

// Fixed point with 16 fraction bits: 1.164 (Y - 16), 1.596 Cr, 0.813 Cr, 0.391 Cb, 2.018 Cb.
constexpr int kY = 76309, kRv = 104597, kGv = 53279, kGu = 25675, kBu = 132201;

struct ChromaTables {
    int rv[256], gv[256], gu[256], bu[256], y[256];
    ChromaTables() {
        for (int i = 0; i < 256; i++) {
            rv[i] = kRv * (i - 128);
            gv[i] = kGv * (i - 128);
            gu[i] = kGu * (i - 128);
            bu[i] = kBu * (i - 128);
            y[i] = kY * (i - 16) + (1 << 15);
        }
    }
};

const ChromaTables kTables;

inline uint8_t Clamp(int value) {
    value >>= 16;
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

} // namespace

void ConvertYuvToBgra(const YuvPlanes& planes, BgraImage& image) {
    if (image.width != planes.width || image.height != planes.height) image.Resize(planes.width, planes.height);
    for (int row = 0; row < planes.height; row++) {
        const uint8_t* y = planes.y + row * planes.yStride;
        const uint8_t* u = planes.u + (row >> 1) * planes.chromaStride;
        const uint8_t* v = planes.v + (row >> 1) * planes.chromaStride;
        uint8_t* out = image.pixels.data() + size_t(row) * size_t(planes.width) * 4;
        for (int col = 0; col < planes.width; col++) {
            int cb = u[col >> 1], cr = v[col >> 1];
            int luma = kTables.y[y[col]];
            out[0] = Clamp(luma + kTables.bu[cb]);
            out[1] = Clamp(luma - kTables.gu[cb] - kTables.gv[cr]);
            out[2] = Clamp(luma + kTables.rv[cr]);
            out[3] = 255;
            out += 4;
        }
    }
}

} // namespace refplayer
