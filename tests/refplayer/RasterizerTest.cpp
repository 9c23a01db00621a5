// The rasteriser's fast paths (block-skipping coverage, four-pixel compositing, stepped paints,
// two-thread drawing) against straightforward per-pixel references, and hostile geometry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "SwfWriter.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/Rasterizer.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/core/SwfShape.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

struct Segment {
    double x0, y0, x1, y1;
};
using Polygon = std::vector<Segment>;

// The exact integral over y in [ya, yb] of clamp(c - x(y), 0, 1), x linear from xa to xb.
double RightOfLine(double ya, double yb, double xa, double xb, double c) {
    auto xAt = [&](double y) { return yb == ya ? xa : xa + (xb - xa) * (y - ya) / (yb - ya); };
    auto g = [&](double y) { return std::clamp(c - xAt(y), 0.0, 1.0); };
    std::vector<double> ys = {ya, yb};
    for (double edge : {c - 1, c})
        if ((xa - edge) * (xb - edge) < 0) ys.push_back(ya + (yb - ya) * (edge - xa) / (xb - xa));
    std::sort(ys.begin(), ys.end());
    double sum = 0;
    for (size_t i = 0; i + 1 < ys.size(); i++) sum += (g(ys[i]) + g(ys[i + 1])) / 2 * (ys[i + 1] - ys[i]);
    return sum;
}

// Coverage 0..1 of pixel (px, py): the signed area right of every edge within the pixel's row,
// clamped, which is the non-zero rule for shapes that do not overlap themselves.
double ReferenceCoverage(const Polygon& polygon, int px, int py) {
    double sum = 0;
    for (const Segment& s : polygon) {
        if (s.y0 == s.y1) continue;
        double dir = s.y1 > s.y0 ? 1 : -1;
        double lo = std::min(s.y0, s.y1), hi = std::max(s.y0, s.y1);
        double ya = std::max(lo, double(py)), yb = std::min(hi, double(py + 1));
        if (ya >= yb) continue;
        auto xAt = [&](double y) { return s.x0 + (s.x1 - s.x0) * (y - s.y0) / (s.y1 - s.y0); };
        sum += dir * RightOfLine(ya, yb, xAt(ya), xAt(yb), px + 1);
    }
    return std::min(1.0, std::fabs(sum));
}

// A random closed polygon, vertices on a 1/64 grid (exact in single precision), reaching past
// every side of a width x height surface now and then.
Polygon RandomPolygon(std::mt19937& random, int width, int height) {
    std::uniform_int_distribution<int> count(3, 9);
    std::uniform_real_distribution<double> x(-30, width + 30), y(-30, height + 30);
    std::vector<std::pair<double, double>> points(static_cast<size_t>(count(random)));
    for (auto& [px, py] : points) {
        px = std::round(x(random) * 64) / 64;
        py = std::round(y(random) * 64) / 64;
    }
    Polygon polygon;
    for (size_t i = 0; i < points.size(); i++) {
        auto [x0, y0] = points[i];
        auto [x1, y1] = points[(i + 1) % points.size()];
        polygon.push_back(Segment{x0, y0, x1, y1});
    }
    return polygon;
}

void AddPolygon(Rasterizer& rasterizer, const Polygon& polygon) {
    rasterizer.Reset();
    for (const Segment& s : polygon) rasterizer.Line(s.x0, s.y0, s.x1, s.y1);
}

uint32_t RandomPremultiplied(std::mt19937& random) {
    uint32_t a = random() % 256;
    if (random() % 4 == 0) a = 255;
    if (random() % 8 == 0) a = 0;
    uint32_t c = a << 24;
    for (int shift = 0; shift < 24; shift += 8) c |= (a ? random() % (a + 1) : 0) << shift;
    return c;
}

int ChannelDifference(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8)
        most = std::max(most, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
    return most;
}

TEST(RasterBlend, FourPixelRoutinesGiveWhatBlendCoverageGivesPixelByPixel) {
    std::mt19937 random(7);
    for (int round = 0; round < 400; round++) {
        const int count = int(random() % 42);
        std::vector<uint32_t> dst(static_cast<size_t>(count)), colours(static_cast<size_t>(count));
        std::vector<uint8_t> coverage(static_cast<size_t>(count));
        for (int i = 0; i < count; i++) {
            dst[size_t(i)] = RandomPremultiplied(random);
            colours[size_t(i)] = RandomPremultiplied(random);
            // Runs of none and of full coverage as well as partial.
            uint32_t kind = (uint32_t(i) / 4 + uint32_t(round)) % 3;
            coverage[size_t(i)] = uint8_t(kind == 0 ? 0 : kind == 1 ? 255 : random() % 256);
        }
        const uint32_t colour = RandomPremultiplied(random);
        const uint32_t constant = random() % 256;

        std::vector<uint32_t> out = dst;
        BlendSolidRun(out.data(), count, ScaleColour(colour, constant));
        for (int i = 0; i < count; i++) ASSERT_EQ(out[size_t(i)], BlendCoverage(colour, constant, dst[size_t(i)]));

        out = dst;
        BlendSolidCoverage(out.data(), count, colour, coverage.data());
        for (int i = 0; i < count; i++)
            ASSERT_EQ(out[size_t(i)], BlendCoverage(colour, coverage[size_t(i)], dst[size_t(i)]));

        out = dst;
        BlendColoursRun(out.data(), count, colours.data(), constant);
        for (int i = 0; i < count; i++)
            ASSERT_EQ(out[size_t(i)], BlendCoverage(colours[size_t(i)], constant, dst[size_t(i)]));

        out = dst;
        BlendColoursCoverage(out.data(), count, colours.data(), coverage.data());
        for (int i = 0; i < count; i++)
            ASSERT_EQ(out[size_t(i)], BlendCoverage(colours[size_t(i)], coverage[size_t(i)], dst[size_t(i)]));
    }
}

TEST(Rasterizer, CoverageOfRandomPolygonsMatchesTheExactAreaReference) {
    std::mt19937 random(11);
    const int width = 71, height = 53;
    Rasterizer rasterizer;
    for (int round = 0; round < 60; round++) {
        Polygon polygon = RandomPolygon(random, width, height);
        for (bool antiAlias : {true, false}) {
            RasterSurface surface;
            surface.Resize(width, height);
            rasterizer.SetAntiAlias(antiAlias);
            AddPolygon(rasterizer, polygon);
            rasterizer.Fill(surface, SolidPaint(0xFFFFFFFF), nullptr);
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) {
                    const double expected = ReferenceCoverage(polygon, x, y);
                    const int alpha = int(surface.At(x, y) >> 24);
                    if (antiAlias) {
                        ASSERT_NEAR(alpha, expected * 255, 1.0) << "round " << round << " at " << x << "," << y;
                    } else if (std::fabs(expected - 0.5) > 0.01) {
                        ASSERT_EQ(alpha, expected >= 0.5 ? 255 : 0) << "round " << round << " at " << x << "," << y;
                    }
                }
        }
    }
}

// A 16 x 16 bitmap of varied opaque and translucent premultiplied texels.
std::vector<uint32_t> TestBitmap() {
    std::vector<uint32_t> pixels(256);
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t a = i % 3 == 0 ? 255 : 64 + i % 191;
        pixels[i] = a << 24 | (i * 7 % (a + 1)) << 16 | (i * 13 % (a + 1)) << 8 | (i * 29 % (a + 1));
    }
    return pixels;
}

TEST(Rasterizer, PaintsOverRandomPolygonsMatchTheirColoursPixelByPixel) {
    std::mt19937 random(23);
    const int width = 67, height = 45;
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; i++) lut[i] = Premultiply((0xC0u + i / 4) << 24 | i << 16 | (255 - i) << 8 | 0x40);
    const std::vector<uint32_t> bitmap = TestBitmap();
    Rasterizer rasterizer;
    for (int round = 0; round < 40; round++) {
        Polygon polygon = RandomPolygon(random, width, height);
        SwfMatrix m;
        m.a = (random() % 2 ? 1 : -1) * (0.002 + (random() % 100) / 20000.0);
        m.b = (random() % 100) / 40000.0;
        m.c = -(random() % 100) / 40000.0;
        m.d = 0.002 + (random() % 100) / 20000.0;
        m.tx = random() % width;
        m.ty = random() % height;
        // Odd scales and offsets, so that no pixel centre falls exactly on a texel edge.
        SwfMatrix toBitmap;
        toBitmap.a = 1.3719 + (random() % 100) / 51.3;
        toBitmap.d = 1.1377 + (random() % 100) / 49.7;
        toBitmap.b = (random() % 100) / 301.3;
        toBitmap.tx = double(random() % 40) - 20.3141;
        toBitmap.ty = double(random() % 30) - 10.7183;
        const GradientPaint linear(lut, m, false);
        const GradientPaint radial(lut, m, true);
        const GradientPaint focal(lut, m, true, 0.6, GradientSpread::Reflect);
        const BitmapPaint smooth(bitmap.data(), 16, 16, toBitmap, random() % 2 == 0, true, SwfColorTransform());
        const BitmapPaint nearest(bitmap.data(), 16, 16, toBitmap, true, false, SwfColorTransform());
        const RasterPaint* paints[] = {&linear, &radial, &focal, &smooth, &nearest};
        // Gradients may land one lookup entry apart, bitmaps a 256th of a texel apart.
        const int tolerance[] = {2, 2, 2, 3, 0};
        for (size_t p = 0; p < 5; p++) {
            RasterSurface coverage, background, surface;
            coverage.Resize(width, height);
            AddPolygon(rasterizer, polygon);
            rasterizer.Fill(coverage, SolidPaint(0xFFFFFFFF), nullptr);
            background.Resize(width, height);
            for (uint32_t& pixel : background.pixels) pixel = RandomPremultiplied(random);
            surface = background;
            rasterizer.Fill(surface, *paints[p], nullptr);
            int mismatches = 0;
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) {
                    uint32_t colour;
                    paints[p]->Span(x, y, 1, &colour);
                    uint32_t expected = BlendCoverage(colour, coverage.At(x, y) >> 24, background.At(x, y));
                    if (ChannelDifference(surface.At(x, y), expected) > tolerance[p]) mismatches++;
                }
            EXPECT_EQ(mismatches, 0) << "round " << round << " paint " << p;
        }
    }
}

TEST(Rasterizer, TwoThreadDrawingGivesTheSamePixelsAsOnePass) {
    std::mt19937 random(31);
    const int width = 173, height = 149;
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; i++) lut[i] = Premultiply(0xFF000000 | i << 16 | (255 - i));
    const std::vector<uint32_t> bitmap = TestBitmap();
    struct Item {
        Polygon polygon;
        int paint;
        bool mask;
    };
    std::vector<Item> items;
    for (int i = 0; i < 120; i++) items.push_back(Item{RandomPolygon(random, width, height), int(random() % 4), i == 40});
    SwfMatrix m;
    m.a = m.d = 0.004;
    m.b = 0.001;
    m.tx = 80;
    m.ty = 60;
    SwfMatrix toBitmap;
    toBitmap.a = toBitmap.d = 3.3;
    const SolidPaint solid(0x80402010);
    const GradientPaint radial(lut, m, true);
    const GradientPaint linear(lut, m, false, 0, GradientSpread::Repeat);
    const BitmapPaint picture(bitmap.data(), 16, 16, toBitmap, true, true, SwfColorTransform());
    const RasterPaint* paints[] = {&solid, &radial, &linear, &picture};

    auto draw = [&](bool deferred) {
        Rasterizer rasterizer;
        RasterSurface surface;
        surface.Resize(width, height);
        CoverageMask mask;
        mask.Resize(width, height);
        rasterizer.SetDeferred(deferred);
        rasterizer.Clear(surface, 0xFF336699);
        bool masked = false;
        for (const Item& item : items) {
            AddPolygon(rasterizer, item.polygon);
            if (item.mask) {
                rasterizer.FillMask(mask);
                rasterizer.Flush();
                masked = true;
                continue;
            }
            rasterizer.Fill(surface, *paints[item.paint], masked ? &mask : nullptr);
        }
        rasterizer.SetDeferred(false);
        return surface.pixels;
    };
    const std::vector<uint32_t> onePass = draw(false);
    EXPECT_EQ(draw(true), onePass);
    EXPECT_EQ(draw(true), onePass);  // the worker, once started, draws the same again
}

TEST(Rasterizer, HostileGeometryAndMatricesStayInsideTheSurface) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const int width = 40, height = 30;
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; i++) lut[i] = 0xFF000000 | i;
    const std::vector<uint32_t> bitmap = TestBitmap();
    SwfMatrix singular;
    singular.a = singular.b = singular.c = singular.d = 0;
    SwfMatrix notANumber;
    notANumber.a = nan;
    notANumber.tx = inf;
    SwfMatrix enormous;
    enormous.a = enormous.d = 1e-300;
    const GradientPaint gradients[] = {GradientPaint(lut, singular, true), GradientPaint(lut, notANumber, false),
                                       GradientPaint(lut, enormous, true, nan, GradientSpread::Reflect),
                                       GradientPaint(lut, notANumber, true, 0.5, GradientSpread::Repeat)};
    const BitmapPaint bitmaps[] = {
        BitmapPaint(bitmap.data(), 16, 16, singular, true, true, SwfColorTransform()),
        BitmapPaint(bitmap.data(), 16, 16, notANumber, false, true, SwfColorTransform()),
        BitmapPaint(bitmap.data(), 16, 16, enormous, true, false, SwfColorTransform()),
        BitmapPaint(nullptr, 0, 0, enormous, true, false, SwfColorTransform())};

    Rasterizer rasterizer;
    RasterSurface surface;
    surface.Resize(width, height);
    auto fillAll = [&] {
        for (const GradientPaint& paint : gradients) rasterizer.Fill(surface, paint, nullptr);
        for (const BitmapPaint& paint : bitmaps) rasterizer.Fill(surface, paint, nullptr);
    };

    // Non-finite points are dropped, a zero-area shape draws nothing.
    rasterizer.Reset();
    rasterizer.Line(nan, 1, 5, 5);
    rasterizer.Line(1, inf, 5, 5);
    rasterizer.Quad(0, 0, nan, inf, 10, 10);
    rasterizer.Stroke(std::vector<RasterPoint>{{1, 1}, {20, 20}}.data(), 2, false, inf);
    rasterizer.Stroke(std::vector<RasterPoint>{{1, 1}, {20, 20}}.data(), 2, false, nan);
    rasterizer.Stroke(std::vector<RasterPoint>{{nan, 1}, {1, inf}}.data(), 2, false, 2);
    rasterizer.Line(3, 3, 30, 3);
    rasterizer.Line(30, 3, 3, 3);
    rasterizer.Fill(surface, SolidPaint(0xFFFFFFFF), nullptr);
    fillAll();
    for (uint32_t pixel : surface.pixels) ASSERT_EQ(pixel >> 24, 0u);
    // A curve through a point far away still draws (what lies on the surface of it).
    rasterizer.Reset();
    rasterizer.Quad(0, 0, 1e300, -1e300, 10, 10);
    rasterizer.Line(10, 10, 0, 0);
    rasterizer.Fill(surface, SolidPaint(0xFFFFFFFF), nullptr);
    fillAll();

    // Coordinates far outside are kept at a distance, so a huge square still covers everything.
    rasterizer.Reset();
    const double far = 1e12;
    rasterizer.Line(-far, -far, far, -far);
    rasterizer.Line(far, -far, far, far);
    rasterizer.Line(far, far, -far, far);
    rasterizer.Line(-far, far, -far, -far);
    rasterizer.Fill(surface, SolidPaint(0xFF00FF00), nullptr);
    for (uint32_t pixel : surface.pixels) ASSERT_EQ(pixel, 0xFF00FF00u);
    fillAll();
    for (uint32_t pixel : surface.pixels) {
        // Whatever the paints made of it, the pixels stay premultiplied.
        uint32_t a = pixel >> 24;
        EXPECT_LE(pixel >> 16 & 0xFF, a);
        EXPECT_LE(pixel & 0xFF, a);
    }

    // An empty surface and a shape partly off every side.
    RasterSurface empty;
    empty.Resize(0, 0);
    rasterizer.Fill(empty, SolidPaint(0xFFFFFFFF), nullptr);
    CoverageMask mask;
    mask.Resize(width, height);
    rasterizer.Reset();
    rasterizer.Line(-5, -5, 50, 10);
    rasterizer.Line(50, 10, 20, 45);
    rasterizer.Line(20, 45, -5, -5);
    rasterizer.FillMask(mask);
    EXPECT_EQ(mask.values[size_t(10) * width + 20], 255);
    EXPECT_EQ(mask.values[size_t(29) * width + 39], 0);
}

TEST(Gradients, SpreadModesContinuePastTheLastStop) {
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; i++) lut[i] = 0xFF000000 | i;  // the blue channel is the entry
    // The gradient square across device x 0..20.
    SwfMatrix m;
    m.a = m.d = 20.0 / 32768;
    m.tx = 10;
    auto entryAt = [&](GradientSpread spread, int x) {
        uint32_t colour;
        GradientPaint(lut, m, false, 0, spread).Span(x, 0, 1, &colour);
        return int(colour & 0xFF);
    };
    EXPECT_EQ(entryAt(GradientSpread::Pad, 25), 255);
    EXPECT_EQ(entryAt(GradientSpread::Pad, -7), 0);
    EXPECT_NEAR(entryAt(GradientSpread::Repeat, 25), 70, 1);   // 1.275 of the way: 0.275
    EXPECT_NEAR(entryAt(GradientSpread::Reflect, 25), 185, 1);  // mirrored: 0.725
    EXPECT_NEAR(entryAt(GradientSpread::Reflect, 45), 70, 1);   // 2.275: forwards again
    EXPECT_NEAR(entryAt(GradientSpread::Repeat, -7), 172, 1);  // -0.325 repeats as 0.675
    EXPECT_NEAR(entryAt(GradientSpread::Pad, 10), 134, 1);
}

TEST(Gradients, FocalPointTakesTheFirstStopAndTheRimTheLast) {
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; i++) lut[i] = 0xFF000000 | i;
    // A radius of 100 device pixels around the origin; the focus half way to the right rim.
    SwfMatrix m;
    m.a = m.d = 100.0 / 16384;
    auto entryAt = [&](double focal, double x, double y) {
        uint32_t colour;
        GradientPaint(lut, m, true, focal).Span(int(std::floor(x)), int(std::floor(y)), 1, &colour);
        return int(colour & 0xFF);
    };
    EXPECT_LE(entryAt(0.5, 49, -1), 2);
    EXPECT_NEAR(entryAt(0.5, 99, 0), 250, 5);     // the right rim, 49 pixels from the focus
    EXPECT_NEAR(entryAt(0.5, -99, 0), 253, 3);    // the left rim, 149 pixels away
    EXPECT_NEAR(entryAt(0.5, -25, 0), 128, 2);    // half way from the focus to the left rim
    EXPECT_EQ(entryAt(0.5, 0, 120), 255);         // outside the circle
    EXPECT_NEAR(entryAt(0.0, 50, 0), 128, 2);     // without a focus the middle of the radius
    EXPECT_NEAR(entryAt(-0.5, -50, 0), 1, 2);     // a focus to the left
}

// A 200 x 200 pixel stage with a radial gradient of radius 90 pixels around its centre whose
// focus lies half way to the right rim; red up to entry 16, blue from entry 240.
Bytes FocalMovie(double focal) {
    ShapeWriter shape(4);
    shape.FocalGradient(1800.0 / 16384, 2000, 2000, {{0, 0xFFFF0000}, {16, 0xFFFF0000}, {240, 0xFF0000FF}, {255, 0xFF0000FF}},
                        focal)
        .Rectangle(0, 0, 4000, 4000);
    return TestSwf().Tag(shape.Code(), shape.Body(1, 0, 0, 4000, 4000)).Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame().End().Build(1, 24, 4000, 4000);
}

class QuietHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L""; }
};

RasterSurface RenderMovie(const Bytes& movie, int width, int height) {
    QuietHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    ViewOptions view;
    view.width = width;
    view.height = height;
    RasterSurface surface;
    StageRenderer renderer;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    return surface;
}

TEST(Gradients, FocalGradientOfADefineShape4IsDrawnAroundItsFocus) {
    Bytes movie = FocalMovie(0.5);
    // The shape parser keeps the focus (signed 8.8 after the stops).
    {
        ShapeWriter shape(4);
        shape.FocalGradient(0.1, 0, 0, {{0, 0xFF000000}, {255, 0xFFFFFFFF}}, -0.75).Rectangle(0, 0, 100, 100);
        Bytes body = shape.Body(9);
        uint16_t id = 0;
        SwfShape parsed = ParseDefineShape(83, body.data(), body.size(), &id);
        ASSERT_EQ(parsed.fills.size(), 1u);
        EXPECT_EQ(parsed.fills[0].kind, SwfFillStyle::Kind::RadialGradient);
        EXPECT_DOUBLE_EQ(parsed.fills[0].focal, -0.75);
    }
    RasterSurface surface = RenderMovie(movie, 200, 200);
    EXPECT_EQ(surface.At(145, 99), 0xFFFF0000u);   // the focus: the first stop
    EXPECT_EQ(surface.At(188, 100), 0xFF0000FFu);  // next to the right rim: the last stop
    EXPECT_EQ(surface.At(12, 100), 0xFF0000FFu);   // next to the left rim
    EXPECT_EQ(surface.At(5, 5), 0xFF0000FFu);      // outside the circle, padded
    // Without the focus the same point is half way along the radius.
    RasterSurface centred = RenderMovie(FocalMovie(0), 200, 200);
    EXPECT_NE(centred.At(145, 99), 0xFFFF0000u);
    EXPECT_EQ(centred.At(100, 100), 0xFFFF0000u);
}

TEST(Gradients, SpreadModeBitsAreReadAndTheReservedValuePads) {
    for (auto [bits, expected] : {std::pair<uint8_t, uint8_t>{0, 0}, {1, 1}, {2, 2}, {3, 0}}) {
        ShapeWriter shape;
        shape.Gradient(false, 0.1, 0, 0, {{0, 0xFF000000}, {255, 0xFFFFFFFF}}, bits).Rectangle(0, 0, 100, 100);
        Bytes body = shape.Body(9);
        uint16_t id = 0;
        SwfShape parsed = ParseDefineShape(32, body.data(), body.size(), &id);
        ASSERT_EQ(parsed.fills.size(), 1u);
        EXPECT_EQ(parsed.fills[0].spread, expected) << int(bits);
    }
}

} // namespace
