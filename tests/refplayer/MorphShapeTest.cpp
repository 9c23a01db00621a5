// Morph shapes: edges, fills and lines between the start and end shapes by the placement's
// ratio, drawn through the shape pipeline; malformed morph definitions are format errors.

#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/core/SwfMorphShape.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

class Quiet : public PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L""; }
};

bool Near(uint32_t argb, uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        int a = int((argb >> shift) & 0xFF), b = int((expected >> shift) & 0xFF);
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

TEST(MorphShape, PlacementRatioDrawsTheShapeBetweenStartAndEnd) {
    // Frames: ratio 0, then half way, then the end shape.
    Bytes movie = TestSwf()
                      .Tag(SwfTagDefineMorphShape, MorphBody(1, MorphSquare()))
                      .Tag(SwfTagPlaceObject2, PlaceWithRatio(1, 0)).ShowFrame()
                      .Tag(SwfTagPlaceObject2, PlaceWithRatio(-1, 32768)).ShowFrame()
                      .Tag(SwfTagPlaceObject2, PlaceWithRatio(-1, 65535)).ShowFrame()
                      .End().Build(3, 24, 400, 400);
    Quiet host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    playback.SetLoop(false);
    auto draw = [&] {
        ViewOptions view;
        view.width = view.height = 20;
        view.opaque = false;
        RasterSurface surface;
        StageRenderer().Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
        return surface;
    };
    RasterSurface start = draw();
    EXPECT_EQ(start.At(2, 2), 0xFFFF0000u);
    EXPECT_EQ(start.At(15, 15), 0u);
    // Half way: the square spans 100..250 twips (5..12.5 px), coloured half red, half blue.
    playback.Advance();
    RasterSurface half = draw();
    EXPECT_TRUE(Near(half.At(8, 8), 0xFF800080, 2)) << std::hex << half.At(8, 8);
    EXPECT_EQ(half.At(3, 3), 0u);
    EXPECT_EQ(half.At(14, 14), 0u);
    playback.Advance();
    RasterSurface end = draw();
    EXPECT_EQ(end.At(15, 15), 0xFF0000FFu);
    EXPECT_EQ(end.At(2, 2), 0u);
}

TEST(MorphShape, LinesAndGradientsAreInterpolatedToo) {
    MorphSquare lined;
    lined.line = true;
    Bytes body = MorphBody(3, lined);
    uint16_t id = 0;
    SwfMorphShape morph = ParseMorphShape(SwfTagDefineMorphShape, body.data(), body.size(), &id);
    EXPECT_EQ(id, 3);
    const SwfShape& quarter = morph.At(16384);
    ASSERT_EQ(quarter.lines.size(), 1u);
    EXPECT_EQ(quarter.lines[0].width, 30);  // 20 + (60 - 20) / 4
    EXPECT_TRUE(Near(quarter.lines[0].argb, 0xFF40FF40, 1)) << std::hex << quarter.lines[0].argb;
    ASSERT_EQ(quarter.strokePaths.size(), 1u);
    EXPECT_EQ(quarter.strokePaths[0].edges.size(), 4u);
    EXPECT_NEAR(quarter.strokePaths[0].edges[0].x0, 50, 0.01);  // 0 + (200 - 0) / 4

    MorphSquare shaded;
    shaded.gradient = true;
    body = MorphBody(4, shaded);
    SwfMorphShape gradient = ParseMorphShape(SwfTagDefineMorphShape, body.data(), body.size(), nullptr);
    const SwfShape& mid = gradient.At(32768);
    ASSERT_EQ(mid.fills.size(), 1u);
    EXPECT_EQ(mid.fills[0].kind, SwfFillStyle::Kind::LinearGradient);
    ASSERT_EQ(mid.fills[0].stops.size(), 2u);
    EXPECT_TRUE(Near(mid.fills[0].stops[0].argb, 0xFF808080, 1));
    EXPECT_NEAR(mid.fills[0].matrix.a, 0.15, 0.001);
    EXPECT_NEAR(mid.fills[0].matrix.tx, 250, 0.01);
    // The start and end of a ratio are exactly the defined shapes.
    EXPECT_EQ(gradient.At(0).fills[0].stops[1].argb, 0xFFFFFFFFu);
    EXPECT_EQ(gradient.At(65535).fills[0].stops[1].argb, 0xFF000000u);
}

TEST(MorphShape, MalformedDefinitionsAreFormatErrors) {
    auto parse = [](const MorphSquare& m) {
        Bytes body = MorphBody(1, m);
        return ParseMorphShape(SwfTagDefineMorphShape, body.data(), body.size(), nullptr);
    };
    EXPECT_NO_THROW(parse(MorphSquare()));
    MorphSquare bad;
    bad.offsetShift = 1000;  // end edges beyond the tag
    EXPECT_THROW(parse(bad), FormatError);
    bad = MorphSquare();
    bad.offsetShift = -3;  // end edges inside the start edges
    EXPECT_THROW(parse(bad), FormatError);
    bad = MorphSquare();
    bad.endEdgeLimit = 8;  // end records cut short
    EXPECT_THROW(parse(bad), FormatError);
    bad = MorphSquare();
    bad.fillType = 0x77;
    EXPECT_THROW(parse(bad), FormatError);
    for (size_t cut = 0; cut < MorphBody(1, MorphSquare()).size(); cut += 3) {
        Bytes body = MorphBody(1, MorphSquare());
        body.resize(cut);
        EXPECT_THROW(ParseMorphShape(SwfTagDefineMorphShape, body.data(), body.size(), nullptr), FormatError) << cut;
    }
}

} // namespace
