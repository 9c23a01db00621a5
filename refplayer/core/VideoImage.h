#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refplayer {

// A picture as the player shows it: 32-bit pixels, bytes blue, green, red, alpha (255),
// top row first, rows packed (width * 4 bytes).
struct BgraImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    void Resize(int newWidth, int newHeight) {
        width = newWidth;
        height = newHeight;
        pixels.assign(size_t(newWidth) * size_t(newHeight) * 4, 0);
    }
};

// A decoder's YUV 4:2:0 picture (studio range): chroma planes have half the width and half
// the height, rounded up. The planes belong to the decoder.
struct YuvPlanes {
    int width = 0;
    int height = 0;
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr; // Cb
    const uint8_t* v = nullptr; // Cr
    int yStride = 0;
    int chromaStride = 0;
};

// BT.601 studio-range conversion into image (resized to the planes' size).
void ConvertYuvToBgra(const YuvPlanes& planes, BgraImage& image);

} // namespace refplayer
