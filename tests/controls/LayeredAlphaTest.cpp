// The layered mode's alpha pass: the worked values, the update area cut to the picture,
// pixels outside it untouched, bottom-up lines, and the fast line loop agreeing with the
// one-pixel rule on every width (vector bodies and their remainders).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "FlashPlayerControl/controls/LayeredAlpha.h"

namespace {

constexpr uint32_t Untouched = 0xDEADBEEF;

struct TPictures {
    int Width, Height;
    std::vector<uint32_t> White, Black, Result;
    TPictures(int width, int height, uint32_t white, uint32_t black)
        : Width(width), Height(height),
          White(static_cast<size_t>(width * height), white),
          Black(static_cast<size_t>(width * height), black),
          Result(static_cast<size_t>(width * height), Untouched) {}
    // Pixel (x, y) of the picture, y counted from the top; memory holds the bottom line first.
    size_t Index(int x, int y) const { return static_cast<size_t>((Height - 1 - y) * Width + x); }
    void Run(TLayeredRect area) {
        ComputeLayeredAlpha(White.data(), Black.data(), Result.data(), Width, Height, area);
    }
};

}  // namespace

TEST(LayeredAlpha, WorkedValues) {
    // Half covered grey: 0xC0 over white, 0x40 over black.
    EXPECT_EQ(LayeredPixel(0x00C0C0C0, 0x00404040), 0x7F404040u);
    // Opaque: the same over both, whatever the colour and the alpha byte the drawing left.
    EXPECT_EQ(LayeredPixel(0x00123456, 0x00123456), 0xFF123456u);
    EXPECT_EQ(LayeredPixel(0xAB123456, 0xCD123456), 0xFF123456u);
    // Nothing drawn: white over white, black over black.
    EXPECT_EQ(LayeredPixel(0x00FFFFFF, 0x00000000), 0x00000000u);

    TPictures pictures(3, 2, 0x00C0C0C0, 0x00404040);
    pictures.Run({0, 0, 3, 2});
    for (uint32_t pixel : pictures.Result) EXPECT_EQ(pixel, 0x7F404040u);
}

TEST(LayeredAlpha, OnlyTheBlueChannelMeasuresTheDifference) {
    // Green and red differ but blue does not: opaque, the over-black colour kept.
    EXPECT_EQ(LayeredPixel(0x00FFFF10, 0x00000010), 0xFF000010u);
    // A darker over-white blue than over-black wraps as the low 8 bits do.
    EXPECT_EQ(LayeredPixel(0x00000010, 0x00000011), 0x00000011u);
}

TEST(LayeredAlpha, AreaIsCutToThePictureAndNothingOutsideItChanges) {
    TPictures pictures(7, 5, 0x00FFFFFF, 0x00000000);
    pictures.Run({4, 3, 100, 100});  // reaches past the right and bottom edges
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            uint32_t expected = (x >= 4 && y >= 3) ? 0u : Untouched;
            EXPECT_EQ(pictures.Result[pictures.Index(x, y)], expected) << x << "," << y;
        }

    // Negative corners are cut as well; an empty or inverted area does nothing.
    TPictures corner(4, 4, 0x00808080, 0x00808080);
    corner.Run({-3, -2, 1, 1});
    EXPECT_EQ(corner.Result[corner.Index(0, 0)], 0xFF808080u);
    EXPECT_EQ(corner.Result[corner.Index(1, 0)], Untouched);
    EXPECT_EQ(corner.Result[corner.Index(0, 1)], Untouched);
    TPictures empty(4, 4, 0, 0);
    empty.Run({2, 2, 2, 4});
    empty.Run({3, 3, 1, 1});
    for (uint32_t pixel : empty.Result) EXPECT_EQ(pixel, Untouched);
}

TEST(LayeredAlpha, LinesAreStoredBottomUpOnANonSquarePicture) {
    // Line 0 (the top) is the last row in memory.
    TPictures pictures(5, 3, 0x00FFFFFF, 0x00000000);
    pictures.White[pictures.Index(1, 0)] = 0x00000000;   // an opaque black pixel at (1, 0)
    pictures.Black[pictures.Index(3, 2)] = 0x00000020;   // blue 0x20 over black, 0xFF over white
    pictures.Run({1, 0, 2, 1});                          // the top line's second pixel only
    EXPECT_EQ(pictures.Result[2 * 5 + 1], 0xFF000000u);
    EXPECT_EQ(pictures.Result[0 * 5 + 1], Untouched);
    pictures.Run({3, 2, 4, 3});                          // the bottom line's fourth pixel
    EXPECT_EQ(pictures.Result[0 * 5 + 3], 0x20000020u);
    int changed = 0;
    for (uint32_t pixel : pictures.Result) changed += pixel != Untouched;
    EXPECT_EQ(changed, 2);
}

TEST(LayeredAlpha, AgreesWithTheOnePixelRuleOnEveryWidthAndOffset) {
    std::mt19937 random(12);
    for (int width = 1; width <= 37; ++width) {
        const int height = 3;
        TPictures pictures(width, height, 0, 0);
        for (size_t i = 0; i < pictures.White.size(); ++i) {
            pictures.White[i] = random();
            pictures.Black[i] = random();
        }
        int left = width > 2 ? width / 3 : 0;
        pictures.Run({left, 1, width, height});
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                size_t i = pictures.Index(x, y);
                uint32_t expected = (y >= 1 && x >= left) ? LayeredPixel(pictures.White[i], pictures.Black[i]) : Untouched;
                ASSERT_EQ(pictures.Result[i], expected) << "width " << width << " at " << x << "," << y;
            }
    }
}
