// Shapes, display list and rasteriser of the stand-in player, with movies from the test writer.

#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/core/SwfCharacters.h"
#include "refplayer/core/SwfShape.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

class NoHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring& command, const std::wstring& args) override {
        commands.push_back(command + L"|" + args);
    }
    std::wstring FlashCall(const std::wstring&) override { return L""; }
    std::vector<std::wstring> commands;
};

// A 20x20 pixel stage (400 twips), drawn 1:1 unless the view says otherwise.
struct Rendered {
    RasterSurface surface;
    uint32_t At(int x, int y) const { return surface.At(x, y); }
};

Rendered Render(const Bytes& movie, int frames, int width = 20, int height = 20, int advance = 0,
                StageScaleMode mode = StageScaleMode::ShowAll, bool opaque = false) {
    NoHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    for (int i = 0; i < advance; i++) playback.Advance();
    (void)frames;
    ViewOptions view;
    view.width = width;
    view.height = height;
    view.scaleMode = mode;
    view.opaque = opaque;
    view.background = playback.BackgroundColor().value_or(0xFFFFFF);
    Rendered out;
    StageRenderer renderer;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, out.surface);
    return out;
}

Bytes SquareMovie(uint32_t argb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    ShapeWriter shape;
    shape.Solid(argb).Rectangle(x0, y0, x1, y1);
    return TestSwf().Tag(shape.Code(), shape.Body(1)).Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame().End().Build(1, 24, 400, 400);
}

TEST(ShapeParsing, EdgesBecomeOneOrientedPathPerFillAndRunsPerLine) {
    ShapeWriter shape;
    shape.Solid(0xFFFF0000).Solid(0xFF0000FF).Line(40, 0xFF00FF00);
    // Two squares sharing the edge x=100: left one fill 1, right one fill 2, the shared edge
    // has the left square on one side and the right on the other.
    shape.Move(0, 0, 0, 1, 1).To(100, 0).To(100, 100).To(0, 100).To(0, 0);
    shape.Move(100, 0, 0, 2, 0).To(200, 0).To(200, 100).Curve(150, 150, 100, 100).To(100, 0);
    Bytes body = shape.Body(7, 0, 0, 200, 150);
    uint16_t id = 0;
    SwfShape parsed = ParseDefineShape(32, body.data(), body.size(), &id);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(parsed.bounds.xMax, 200);
    ASSERT_EQ(parsed.fills.size(), 2u);
    EXPECT_EQ(parsed.fills[1].argb, 0xFF0000FFu);
    ASSERT_EQ(parsed.fillPaths.size(), 2u);
    EXPECT_EQ(parsed.fillPaths[0].edges.size(), 4u);
    ASSERT_EQ(parsed.fillPaths[1].edges.size(), 4u);
    EXPECT_TRUE(parsed.fillPaths[1].edges[2].curved);
    EXPECT_DOUBLE_EQ(parsed.fillPaths[1].edges[2].cx, 150);
    EXPECT_DOUBLE_EQ(parsed.fillPaths[1].edges[2].y1, 100);
    // The line style was only on for the first square.
    ASSERT_EQ(parsed.strokePaths.size(), 1u);
    EXPECT_EQ(parsed.strokePaths[0].edges.size(), 4u);
    EXPECT_EQ(parsed.lines[0].width, 40);
}

TEST(ShapeParsing, MalformedShapesRaiseFormatErrors) {
    ShapeWriter shape;
    shape.Solid(0xFFFF0000).Rectangle(0, 0, 100, 100);
    Bytes body = shape.Body(1);
    // Every truncation is an error, never a read beyond the data.
    for (size_t length = 0; length + 1 < body.size(); length++) {
        Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_THROW(ParseDefineShape(32, cut.data(), cut.size(), nullptr), FormatError) << length;
    }
    // A fill index beyond the table.
    ShapeWriter bad;
    bad.Solid(0xFFFF0000).Rectangle(0, 0, 100, 100, 3);
    Bytes badBody = bad.Body(1);
    EXPECT_THROW(ParseDefineShape(32, badBody.data(), badBody.size(), nullptr), FormatError);
    // An unknown fill type.
    Bytes unknown = {1, 0, 0, 1, 0x77};
    EXPECT_THROW(ParseDefineShape(32, unknown.data(), unknown.size(), nullptr), FormatError);
}

TEST(Rasterizer, SolidSquareCoversItsPixelsExactlyWithHalfCoveredEdges) {
    // 2..10 px by 4..8 px, the right edge at 10.5 px.
    Rendered r = Render(SquareMovie(0xFFFF0000, 40, 80, 210, 160), 1);
    EXPECT_EQ(r.At(2, 4), 0xFFFF0000u);
    EXPECT_EQ(r.At(9, 7), 0xFFFF0000u);
    EXPECT_EQ(r.At(1, 5), 0u);
    EXPECT_EQ(r.At(5, 8), 0u);
    EXPECT_EQ(r.At(5, 3), 0u);
    uint32_t edge = r.At(10, 5);
    EXPECT_NEAR(int(edge >> 24), 128, 2);
    EXPECT_NEAR(int(edge >> 16 & 0xFF), 128, 2);  // premultiplied
    EXPECT_EQ(edge & 0xFFFF, 0u);
}

TEST(Rasterizer, LowQualityHasNoPartialCoverage) {
    NoHost host;
    Playback playback(host);
    Bytes movie = SquareMovie(0xFFFF0000, 40, 80, 214, 160);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    ViewOptions view;
    view.width = view.height = 20;
    view.opaque = false;
    view.antiAlias = false;
    RasterSurface surface;
    StageRenderer().Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    for (uint32_t pixel : surface.pixels) EXPECT_TRUE(pixel == 0 || pixel == 0xFFFF0000u);
    EXPECT_EQ(surface.At(10, 5), 0xFFFF0000u);  // 70% covered: in
}

TEST(Rasterizer, HalfTransparentFillBlendsPremultiplied) {
    Rendered r = Render(SquareMovie(0x80FFFFFF, 0, 0, 400, 400), 1, 20, 20, 0, StageScaleMode::ShowAll, true);
    // 50% white over the default white background is white; over black (from the colour) it is grey.
    EXPECT_EQ(r.At(5, 5), 0xFFFFFFFFu);
    ShapeWriter shape;
    shape.Solid(0x80FFFFFF).Rectangle(0, 0, 400, 400);
    Bytes movie = TestSwf().Background(0x000000).Tag(shape.Code(), shape.Body(1)).Tag(SwfTagPlaceObject2, Place(1, 1))
                      .ShowFrame().End().Build(1, 24, 400, 400);
    Rendered grey = Render(movie, 1, 20, 20, 0, StageScaleMode::ShowAll, true);
    EXPECT_NEAR(int(grey.At(5, 5) & 0xFF), 128, 1);
    EXPECT_EQ(grey.At(5, 5) >> 24, 0xFFu);
    // Without the background the pixel stays premultiplied 50%.
    Rendered clear = Render(movie, 1);
    EXPECT_EQ(clear.At(5, 5), 0x80808080u);
}

TEST(Rasterizer, LinearAndRadialGradientsReachTheirEndColours) {
    ShapeWriter shape;
    // Gradient square scaled to 400 twips (32768 * s = 400) centred on the stage.
    shape.Gradient(false, 400.0 / 32768, 200, 200, {{0, 0xFFFF0000}, {255, 0xFF0000FF}}).Rectangle(0, 0, 400, 400);
    Bytes movie = TestSwf().Tag(shape.Code(), shape.Body(1)).Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame().End().Build(1, 24, 400, 400);
    Rendered r = Render(movie, 1);
    uint32_t left = r.At(0, 10), right = r.At(19, 10), middle = r.At(10, 10);
    EXPECT_GT(int(left >> 16 & 0xFF), 240);
    EXPECT_LT(int(left & 0xFF), 16);
    EXPECT_GT(int(right & 0xFF), 240);
    EXPECT_LT(int(right >> 16 & 0xFF), 16);
    EXPECT_NEAR(int(middle >> 16 & 0xFF), 128, 12);

    ShapeWriter radial;
    radial.Gradient(true, 400.0 / 32768, 200, 200, {{0, 0xFFFFFFFF}, {255, 0xFF000000}}).Rectangle(0, 0, 400, 400);
    Bytes radialMovie = TestSwf().Tag(radial.Code(), radial.Body(1)).Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame().End().Build(1, 24, 400, 400);
    Rendered rr = Render(radialMovie, 1);
    EXPECT_GT(int(rr.At(10, 10) & 0xFF), 220);  // centre white
    EXPECT_LT(int(rr.At(0, 0) & 0xFF), 10);     // corner beyond the radius black
}

TEST(Rasterizer, ScaleModesPlaceTheStage) {
    // The square fills the left half of a 20x20 stage; the view is 40x20.
    Bytes movie = SquareMovie(0xFFFF0000, 0, 0, 200, 400);
    Rendered all = Render(movie, 1, 40, 20, 0, StageScaleMode::ShowAll);
    EXPECT_EQ(all.At(9, 10), 0u);            // letterbox left of the centred stage
    EXPECT_EQ(all.At(12, 10), 0xFFFF0000u);
    EXPECT_EQ(all.At(22, 10), 0u);
    Rendered fit = Render(movie, 1, 40, 20, 0, StageScaleMode::ExactFit);
    EXPECT_EQ(fit.At(1, 10), 0xFFFF0000u);
    EXPECT_EQ(fit.At(19, 10), 0xFFFF0000u);
    EXPECT_EQ(fit.At(21, 10), 0u);
    Rendered none = Render(movie, 1, 40, 20, 0, StageScaleMode::NoScale);
    EXPECT_EQ(none.At(11, 10), 0xFFFF0000u);  // 1:1 centred: 10..20 covered
    EXPECT_EQ(none.At(21, 10), 0u);
    Rendered border = Render(movie, 1, 40, 20, 0, StageScaleMode::NoBorder);
    EXPECT_EQ(border.At(19, 1), 0xFFFF0000u);  // scaled 2x: 0..20 covered, top cut off
    EXPECT_EQ(border.At(21, 1), 0u);
}

TEST(DisplayList, DepthsOrderMovesAndRemovals) {
    ShapeWriter red, blue;
    red.Solid(0xFFFF0000).Rectangle(0, 0, 200, 200);
    blue.Solid(0xFF0000FF).Rectangle(0, 0, 200, 200);
    Placement moveBlue;
    moveBlue.depth = 2;
    moveBlue.move = true;
    moveBlue.hasMatrix = true;
    moveBlue.tx = 200;
    Bytes movie = TestSwf()
                      .Tag(red.Code(), red.Body(1)).Tag(blue.Code(), blue.Body(2))
                      .Tag(SwfTagPlaceObject2, Place(2, 2, 100, 0)).Tag(SwfTagPlaceObject2, Place(1, 1))
                      .ShowFrame()
                      .Tag(SwfTagPlaceObject2, PlaceObject2(moveBlue))
                      .ShowFrame()
                      .Tag(SwfTagRemoveObject2, RemoveObject2(1))
                      .ShowFrame().End().Build(3, 24, 400, 400);
    Rendered first = Render(movie, 3);
    EXPECT_EQ(first.At(2, 2), 0xFFFF0000u);
    EXPECT_EQ(first.At(7, 2), 0xFF0000FFu);  // blue above red where they overlap
    EXPECT_EQ(first.At(12, 2), 0xFF0000FFu);
    Rendered second = Render(movie, 3, 20, 20, 1);
    EXPECT_EQ(second.At(7, 2), 0xFFFF0000u);  // blue moved to 10..20
    EXPECT_EQ(second.At(15, 2), 0xFF0000FFu);
    Rendered third = Render(movie, 3, 20, 20, 2);
    EXPECT_EQ(third.At(2, 2), 0u);
    EXPECT_EQ(third.At(15, 2), 0xFF0000FFu);

    // Going back replays the timeline: the first frame's picture again.
    NoHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.GotoFrame(2);
    EXPECT_EQ(playback.Root()->ObjectAt(1), nullptr);
    playback.GotoFrame(0);
    ASSERT_NE(playback.Root()->ObjectAt(1), nullptr);
    EXPECT_DOUBLE_EQ(playback.Root()->ObjectAt(2)->matrix.tx, 100);
}

TEST(DisplayList, SpritesKeepTheirOwnTimelineAndNestTransforms) {
    ShapeWriter red;
    red.Solid(0xFFFF0000).Rectangle(0, 0, 100, 100);
    // A sprite of two frames: the square at 0, then at 200 twips; placed at (40, 40) twips.
    SpriteWriter sprite;
    sprite.Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame();
    Placement moved;
    moved.depth = 1;
    moved.move = true;
    moved.hasMatrix = true;
    moved.tx = 200;
    sprite.Tag(SwfTagPlaceObject2, PlaceObject2(moved)).ShowFrame();
    Placement placed;
    placed.id = 2;
    placed.depth = 1;
    placed.hasMatrix = true;
    placed.tx = 40;
    placed.ty = 40;
    placed.name = "walker";
    Bytes movie = TestSwf()
                      .Tag(red.Code(), red.Body(1)).Tag(SwfTagDefineSprite, sprite.Body(2))
                      .Tag(SwfTagPlaceObject2, PlaceObject2(placed)).Tag(SwfActionStop == 7 ? SwfTagDoAction : 0, {SwfActionStop, 0})
                      .ShowFrame().End().Build(1, 24, 400, 400);
    NoHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    EXPECT_FALSE(playback.Playing());  // the root stopped by its own action
    DisplayObject* walker = playback.Root()->ObjectNamed("WALKER");
    ASSERT_NE(walker, nullptr);
    ASSERT_TRUE(walker->clip);
    EXPECT_EQ(walker->clip->CurrentFrame(), 0);
    Rendered first = Render(movie, 1);
    EXPECT_EQ(first.At(3, 3), 0xFFFF0000u);   // 2..7 px
    EXPECT_EQ(first.At(13, 3), 0u);
    // The sprite moves on although the root is stopped, and loops.
    EXPECT_TRUE(playback.Advance());
    EXPECT_EQ(walker->clip->CurrentFrame(), 1);
    Rendered second = Render(movie, 1, 20, 20, 1);
    EXPECT_EQ(second.At(3, 3), 0u);
    EXPECT_EQ(second.At(13, 3), 0xFFFF0000u);  // 12..17 px
    playback.Advance();
    EXPECT_EQ(walker->clip->CurrentFrame(), 0);
}

TEST(DisplayList, ClipLayerMasksTheDepthsUpToItsClipDepth) {
    ShapeWriter mask, red, blue;
    mask.Solid(0xFF000000).Rectangle(0, 0, 200, 400);  // left half
    red.Solid(0xFFFF0000).Rectangle(0, 0, 400, 200);    // top half, clipped
    blue.Solid(0xFF0000FF).Rectangle(0, 200, 400, 400); // bottom half, above the clip's range
    Placement clip;
    clip.id = 1;
    clip.depth = 1;
    clip.clipDepth = 2;
    Bytes movie = TestSwf()
                      .Tag(mask.Code(), mask.Body(1)).Tag(red.Code(), red.Body(2)).Tag(blue.Code(), blue.Body(3))
                      .Tag(SwfTagPlaceObject2, PlaceObject2(clip)).Tag(SwfTagPlaceObject2, Place(2, 2))
                      .Tag(SwfTagPlaceObject2, Place(3, 3))
                      .ShowFrame().End().Build(1, 24, 400, 400);
    Rendered r = Render(movie, 1);
    EXPECT_EQ(r.At(5, 5), 0xFFFF0000u);   // inside the mask
    EXPECT_EQ(r.At(15, 5), 0u);           // masked away; the mask itself is not drawn
    EXPECT_EQ(r.At(15, 15), 0xFF0000FFu); // depth 3 is not clipped
}

TEST(DisplayList, ColourTransformAlphaAndMalformedPlacement) {
    ShapeWriter white;
    white.Solid(0xFFFFFFFF).Rectangle(0, 0, 400, 400);
    Placement half;
    half.id = 1;
    half.depth = 1;
    half.alphaMult = 128;
    Bytes movie = TestSwf().Tag(white.Code(), white.Body(1)).Tag(SwfTagPlaceObject2, PlaceObject2(half))
                      .ShowFrame().End().Build(1, 24, 400, 400);
    EXPECT_EQ(Render(movie, 1).At(10, 10), 0x7F7F7F7Fu);  // 255 * 128 / 256

    Bytes truncated = TestSwf().Tag(white.Code(), white.Body(1)).Tag(SwfTagPlaceObject2, {0x06, 1})
                          .ShowFrame().End().Build(1, 24, 400, 400);
    NoHost host;
    Playback playback(host);
    playback.Append(truncated.data(), truncated.size());
    EXPECT_THROW(playback.StartIfReady(), FormatError);
}

TEST(Bitmaps, LosslessBitmapFillDrawsItsPixels) {
    // 2x2 ARGB: red, green / blue, half-transparent white (premultiplied).
    Bytes pixels = {255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 128, 128, 128};
    BitWriter bitmap;
    bitmap.U16(5).U8(5).U16(2).U16(2).Raw(StoredZlib(pixels));
    uint16_t id = 0;
    SwfBitmap decoded = DecodeLosslessBitmap(bitmap.Data().data(), bitmap.Data().size(), true, &id);
    EXPECT_EQ(id, 5);
    ASSERT_EQ(decoded.pixels.size(), 4u);
    EXPECT_EQ(decoded.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(decoded.pixels[3], 0x80808080u);

    // Drawn 10x scaled (a bitmap pixel is 20 twips: 200 twips per pixel = 10 view pixels).
    ShapeWriter shape;
    shape.Bitmap(5, 200, 0, 0, 0x43).Rectangle(0, 0, 400, 400);
    Bytes movie = TestSwf().Tag(SwfTagDefineBitsLossless2, bitmap.Data()).Tag(shape.Code(), shape.Body(1))
                      .Tag(SwfTagPlaceObject2, Place(1, 1)).ShowFrame().End().Build(1, 24, 400, 400);
    Rendered r = Render(movie, 1);
    EXPECT_EQ(r.At(5, 5), 0xFFFF0000u);
    EXPECT_EQ(r.At(15, 5), 0xFF00FF00u);
    EXPECT_EQ(r.At(5, 15), 0xFF0000FFu);
    EXPECT_EQ(r.At(15, 15), 0x80808080u);

    // A bitmap whose data is shorter than its size says.
    BitWriter small;
    small.U16(6).U8(5).U16(4).U16(4).Raw(StoredZlib(pixels));
    EXPECT_THROW(DecodeLosslessBitmap(small.Data().data(), small.Data().size(), true, nullptr), FormatError);
}

TEST(Buttons, HitAreaStatesAndReleaseActions) {
    ShapeWriter up, over, hit;
    up.Solid(0xFFFF0000).Rectangle(0, 0, 200, 200);
    over.Solid(0xFF00FF00).Rectangle(0, 0, 200, 200);
    hit.Solid(0xFF000000).Rectangle(0, 0, 200, 200);
    Bytes stop = {SwfActionStop};
    Bytes fs = {SwfActionGetUrl, 0, 0};
    std::string url = "FSCommand:pressed";
    Bytes getUrl(url.begin(), url.end());
    getUrl.push_back(0);
    getUrl.push_back(0);
    fs[1] = uint8_t(getUrl.size());
    fs.insert(fs.end(), getUrl.begin(), getUrl.end());
    Bytes button = DefineButton2(4, {{ButtonUp, 1, 1}, {ButtonOver | ButtonDown, 2, 1}, {ButtonHit, 3, 2}},
                                 {{ButtonPress, fs}, {ButtonRelease, stop}});
    Bytes movie = TestSwf()
                      .Tag(up.Code(), up.Body(1)).Tag(over.Code(), over.Body(2)).Tag(hit.Code(), hit.Body(3))
                      .Tag(SwfTagDefineButton2, button).Tag(SwfTagPlaceObject2, Place(4, 1, 100, 100))
                      .ShowFrame().ShowFrame().End().Build(2, 24, 400, 400);
    NoHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    ViewOptions view;
    view.width = view.height = 20;
    StageRenderer renderer;
    EXPECT_EQ(renderer.ButtonAt(playback.Root(), playback.Dictionary(), playback.Header(), view, 2, 2), nullptr);
    DisplayObject* button1 = renderer.ButtonAt(playback.Root(), playback.Dictionary(), playback.Header(), view, 8, 8);
    ASSERT_NE(button1, nullptr);
    view.opaque = false;
    RasterSurface surface;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    EXPECT_EQ(surface.At(8, 8), 0xFFFF0000u);
    button1->buttonState = ButtonOver;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    EXPECT_EQ(surface.At(8, 8), 0xFF00FF00u);
    EXPECT_TRUE(playback.Playing());
    playback.ButtonEvent(*button1, ButtonPress);
    EXPECT_EQ(host.commands, std::vector<std::wstring>{L"pressed|"});
    EXPECT_TRUE(playback.Playing());
    playback.ButtonEvent(*button1, ButtonRelease);
    EXPECT_FALSE(playback.Playing());
}

} // namespace

namespace {

TEST(Text, StaticTextDrawsItsGlyphOutlinesInTheRunColour) {
    // Two 10-pixel squares from (2, 5): the first at 2..12, the second 15 pixels on at 17..27.
    Bytes movie = TestSwf()
                      .Tag(SwfTagDefineFont2, SquareFont(1))
                      .Tag(SwfTagDefineText2, StaticText(2, 1, 0xFF0000FF, 200, 40, 300, 2, 300))
                      .Tag(SwfTagPlaceObject2, Place(2, 1))
                      .ShowFrame().End().Build(1, 24, 800, 800);
    Rendered r = Render(movie, 1, 40, 40);
    EXPECT_EQ(r.At(3, 6), 0xFF0000FFu);
    EXPECT_EQ(r.At(11, 14), 0xFF0000FFu);
    EXPECT_EQ(r.At(14, 10), 0u);  // between the glyphs
    EXPECT_EQ(r.At(20, 10), 0xFF0000FFu);
    EXPECT_EQ(r.At(20, 16), 0u);  // below the baseline

    // A glyph table that points outside the tag is a format error.
    Bytes font = SquareFont(1);
    font[10] = 0xF0;
    Bytes bad = TestSwf().Tag(SwfTagDefineFont2, font).Tag(SwfTagPlaceObject2, Place(2, 1))
                    .ShowFrame().End().Build(1, 24, 800, 800);
    NoHost host;
    Playback playback(host);
    playback.Append(bad.data(), bad.size());
    EXPECT_THROW(playback.StartIfReady(), FormatError);
}

} // namespace

namespace {

TEST(Sound, DefineSoundDecodesPcmAndStartSoundIsQueuedWithItsLoops) {
    Bytes movie = TestSwf()
                      .Tag(SwfTagDefineSound, PcmSound(7, 100))
                      .Tag(SwfTagStartSound, {7, 0, 0x04, 3, 0})  // three loops
                      .ShowFrame()
                      .Tag(SwfTagStartSound, {7, 0, 0x20})        // stop
                      .ShowFrame().End().Build(2, 24, 400, 400);
    NoHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    std::vector<Playback::SoundStart> starts = playback.TakeSoundStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].loops, 3);
    EXPECT_FALSE(starts[0].stop);
    EXPECT_EQ(starts[0].sound->rate, 22050);
    std::vector<int16_t> samples;
    ASSERT_TRUE(SoundToPcm16(*starts[0].sound, samples));
    ASSERT_EQ(samples.size(), 100u);
    EXPECT_EQ(samples[10], 160);
    EXPECT_TRUE(playback.TakeSoundStarts().empty());
    playback.Advance();
    starts = playback.TakeSoundStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(starts[0].stop);
    // Compressed formats are not decoded here.
    SwfSound mp3 = *starts[0].sound;
    mp3.format = 2;
    EXPECT_FALSE(SoundToPcm16(mp3, samples));
}

} // namespace
