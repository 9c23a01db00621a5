// Movies loaded by scripts into clips and levels: their own characters and timeline, drawn in
// the clip's transform or over level 0, and bounded against movies that load themselves.

#include <gtest/gtest.h>

#include "ScriptTestSupport.h"
#include "SwfWriter.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

class LoadingHost : public PlaybackHost {
public:
    struct ClipRequest {
        DisplayObject* clip;
        std::wstring url;
    };
    std::vector<ClipRequest> clipLoads;
    std::vector<std::pair<int, std::wstring>> levelLoads;
    std::vector<std::wstring> commands;
    std::vector<std::pair<std::wstring, std::wstring>> opened;  // url, window

    void OpenUrl(const std::wstring& url, const std::wstring& window) override { opened.emplace_back(url, window); }
    void FsCommand(const std::wstring& command, const std::wstring&) override { commands.push_back(command); }
    std::wstring FlashCall(const std::wstring&) override { return L""; }
    void LoadClip(DisplayObject* clip, const std::wstring& url) override { clipLoads.push_back({clip, url}); }
    void LoadLevel(int level, const std::wstring& url) override { levelLoads.emplace_back(level, url); }
};

constexpr uint32_t Blue = 0xFF0000FF, Green = 0xFF00FF00;

Bytes Square(uint16_t id, uint32_t argb, int32_t size) {
    ShapeWriter shape;
    shape.Solid(argb).Rectangle(0, 0, size, size);
    return shape.Body(id);
}

Bytes DoAction(const Asm& code) { return code.Build(); }

// A child movie: character 1 is a green square of 100 twips at depth 1; frame 1 reports
// "child1" and runs `extra`, frame 2 reports "child2".
Bytes ChildMovie(const Asm& extra = Asm()) {
    Asm first;
    first.getUrl("FSCommand:child1", "");
    Bytes code = first.Code();
    Bytes more = extra.Code();
    code.insert(code.end(), more.begin(), more.end());
    code.push_back(0);
    return TestSwf()
        .Tag(SwfTagDefineShape3, Square(1, Green, 100))
        .Tag(SwfTagPlaceObject2, Place(1, 1))
        .Tag(SwfTagDoAction, code)
        .ShowFrame()
        .GetUrl("FSCommand:child2", "")
        .ShowFrame()
        .End()
        .Build(2, 12, 400, 400);
}

// The parent: its own character 1 (a blue square of 100 twips) at depth 2, and an empty
// sprite "holder" at depth 1 placed at (200, 200) twips, scaled 2, whose frame 1 loads
// child.swf into the holder.
Bytes ParentMovie(const Asm& frameActions) {
    SpriteWriter empty;
    empty.ShowFrame();
    Placement holder;
    holder.id = 10;
    holder.depth = 1;
    holder.hasMatrix = true;
    holder.scale = 2;
    holder.tx = holder.ty = 200;
    holder.name = "holder";
    return TestSwf()
        .Tag(SwfTagDefineShape3, Square(1, Blue, 100))
        .Tag(SwfTagDefineSprite, empty.Body(10))
        .Tag(SwfTagPlaceObject2, PlaceObject2(holder))
        .Tag(SwfTagPlaceObject2, Place(1, 2))
        .Tag(SwfTagDoAction, DoAction(frameActions))
        .ShowFrame()
        .ShowFrame()
        .End()
        .Build(2, 12, 400, 400);
}

RasterSurface Draw(Playback& playback) {
    ViewOptions view;
    view.width = view.height = 20;
    view.opaque = false;
    RasterSurface surface;
    StageRenderer renderer;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    for (const MovieClip* level : playback.Levels()) renderer.RenderOver(*level, playback.Header(), view, surface);
    return surface;
}

class LoadedMovieTest : public ::testing::Test {
protected:
    void Start(const Bytes& movie) {
        playback.Append(movie.data(), movie.size());
        ASSERT_TRUE(playback.StartIfReady());
    }
    LoadingHost host;
    Playback playback{host};
};

TEST_F(LoadedMovieTest, MovieLoadedIntoAClipDrawsItsOwnCharactersInTheClipTransformAndPlays) {
    Asm load;
    load.push({Str("child.swf"), Str("holder")}).getUrl2(0x02);
    Start(ParentMovie(load));
    ASSERT_EQ(host.clipLoads.size(), 1u);
    EXPECT_EQ(host.clipLoads[0].url, L"child.swf");
    DisplayObject* holder = host.clipLoads[0].clip;
    ASSERT_EQ(holder, playback.Root()->ObjectNamed("holder"));

    Bytes child = ChildMovie();
    playback.ShowMovieInClip(*holder, child.data(), child.size());
    EXPECT_EQ(host.commands, std::vector<std::wstring>({L"child1"}));
    RasterSurface surface = Draw(playback);
    // The parent's character 1 is blue at (0, 0); the child's own character 1 is green in the
    // holder's transform: (10, 10) and twice its size, to (20, 20).
    EXPECT_EQ(surface.At(2, 2), Blue);
    EXPECT_EQ(surface.At(11, 11), Green);
    EXPECT_EQ(surface.At(18, 18), Green);
    EXPECT_EQ(surface.At(7, 7), 0u);
    // The child plays at the parent's frame rate: its second frame comes with the next tick.
    playback.Advance();
    EXPECT_EQ(host.commands, std::vector<std::wstring>({L"child1", L"child2"}));
    EXPECT_EQ(holder->clip->FrameCount(), 2);

    // unloadMovie empties the clip, the parent's content stays.
    playback.RunActions(*holder, Asm().push({Str("")}).push({Str("")}).op(Asm::StackSwap).getUrl2(0x02).Build());
    surface = Draw(playback);
    EXPECT_EQ(surface.At(11, 11), 0u);
    EXPECT_EQ(surface.At(2, 2), Blue);
}

TEST_F(LoadedMovieTest, MovieLoadedIntoALevelDrawsOverLevelZeroAndAnswersToItsName) {
    Asm load;
    load.getUrl("over.swf", "_level1");
    Start(ParentMovie(load));
    ASSERT_EQ(host.levelLoads.size(), 1u);
    EXPECT_EQ(host.levelLoads[0], std::make_pair(1, std::wstring(L"over.swf")));

    // Level 1 shows a green square over level 0's blue one.
    Bytes child = TestSwf()
                      .Tag(SwfTagDefineShape3, Square(1, Green, 60))
                      .Tag(SwfTagPlaceObject2, Place(1, 1))
                      .GetUrl("FSCommand:over", "")
                      .ShowFrame()
                      .ShowFrame()
                      .End()
                      .Build(2, 12, 400, 400);
    playback.ShowMovieInLevel(1, child.data(), child.size());
    EXPECT_EQ(host.commands, std::vector<std::wstring>({L"over"}));
    ASSERT_EQ(playback.Levels().size(), 1u);
    RasterSurface surface = Draw(playback);
    EXPECT_EQ(surface.At(1, 1), Green);
    EXPECT_EQ(surface.At(4, 4), Blue);

    // Level 0's script reaches _level1 by name: stop it and read its frame.
    playback.RunActions(*playback.Root()->Owner(),
                        Asm().setTarget("_level1").op(Asm::Stop).setTarget("")
                             .push({Str("_level1"), Int(4)}).op(Asm::GetProperty)
                             .push({Str("frame")}).op(Asm::StackSwap).op(Asm::SetVariable).Build());
    EXPECT_EQ(playback.GetVariable("frame"), std::optional<std::string>("1"));
    playback.Advance();
    EXPECT_EQ(playback.Levels()[0]->CurrentFrame(), 0);
    EXPECT_FALSE(playback.Levels()[0]->Playing());

    // unloadMovieNum(1): gone from the drawing and from scripts.
    playback.RunActions(*playback.Root()->Owner(), Asm().getUrl("", "_level1").Build());
    EXPECT_TRUE(playback.Levels().empty());
    EXPECT_EQ(Draw(playback).At(1, 1), Blue);
    playback.RunActions(*playback.Root()->Owner(),
                        Asm().push({Str("gone")}).push({Str("_level1")}).op(Asm::GetVariable)
                             .op(Asm::TypeOf).op(Asm::SetVariable).Build());
    EXPECT_EQ(playback.GetVariable("gone"), std::optional<std::string>("undefined"));
    playback.Advance();  // the unloaded level is freed outside scripts
}

TEST_F(LoadedMovieTest, PictureLoadedIntoALevelShowsAtTheStageOriginOverLevelZero) {
    Asm load;
    load.getUrl("picture.jpg", "_level2");
    Start(ParentMovie(load));
    ASSERT_EQ(host.levelLoads.size(), 1u);
    SwfBitmap picture;
    picture.width = picture.height = 3;
    picture.pixels.assign(9, Green);
    playback.ShowBitmapInLevel(2, picture);
    ASSERT_EQ(playback.Levels().size(), 1u);
    RasterSurface surface = Draw(playback);
    EXPECT_EQ(surface.At(1, 1), Green);
    EXPECT_EQ(surface.At(4, 4), Blue);  // level 0 beside the picture
    playback.Advance();
    EXPECT_EQ(Draw(playback).At(2, 2), Green);
    playback.RunActions(*playback.Root()->Owner(), Asm().getUrl("", "_level2").Build());
    EXPECT_EQ(Draw(playback).At(1, 1), Blue);
}

TEST_F(LoadedMovieTest, LevelThatUnloadsItselfFromItsOwnScriptGoesSafely) {
    Asm load;
    load.getUrl("self.swf", "_level4");
    Start(ParentMovie(load));
    // Frame 2 of the level unloads it, then keeps running actions that touch its clip.
    Bytes level = TestSwf()
                      .Tag(SwfTagDefineShape3, Square(1, Green, 60))
                      .Tag(SwfTagPlaceObject2, Place(1, 1))
                      .ShowFrame()
                      .Tag(SwfTagDoAction, Asm().getUrl("", "_level4").push({Str("_x"), Int(5)}).op(Asm::SetVariable)
                                               .op(Asm::Stop).getUrl("FSCommand:after", "").Build())
                      .ShowFrame()
                      .End()
                      .Build(2, 12, 400, 400);
    playback.ShowMovieInLevel(4, level.data(), level.size());
    ASSERT_EQ(playback.Levels().size(), 1u);
    playback.Advance();
    EXPECT_TRUE(playback.Levels().empty());
    EXPECT_EQ(Draw(playback).At(1, 1), Blue);
    playback.Advance();
    playback.Advance();
    EXPECT_EQ(playback.CurrentFrame(), 1);
}

TEST_F(LoadedMovieTest, MalformedOrTruncatedChildIsAFormatErrorOfThatLoadOnly) {
    Asm load;
    load.push({Str("child.swf"), Str("holder")}).getUrl2(0x02);
    Start(ParentMovie(load));
    ASSERT_EQ(host.clipLoads.size(), 1u);
    DisplayObject* holder = host.clipLoads[0].clip;
    Bytes child = ChildMovie();
    playback.ShowMovieInClip(*holder, child.data(), child.size());

    Bytes truncated(child.begin(), child.end() - 6);
    EXPECT_THROW(playback.ShowMovieInClip(*holder, truncated.data(), truncated.size()), FormatError);
    Bytes notMovie = {'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_THROW(playback.ShowMovieInClip(*holder, notMovie.data(), notMovie.size()), FormatError);
    Bytes badTag = TestSwf().Tag(SwfTagPlaceObject2, {0x06, 1}).ShowFrame().End().Build(1, 12, 400, 400);
    EXPECT_THROW(playback.ShowMovieInLevel(2, truncated.data(), truncated.size()), FormatError);
    EXPECT_TRUE(playback.Levels().empty());
    // A malformed placement fails the load before anything is shown; the parent plays on.
    EXPECT_THROW(playback.ShowMovieInClip(*holder, badTag.data(), badTag.size()), FormatError);
    EXPECT_TRUE(playback.Holds(holder));
    EXPECT_EQ(Draw(playback).At(11, 11), Green);  // the earlier child is still there
    playback.Advance();
    EXPECT_EQ(playback.CurrentFrame(), 1);
    EXPECT_EQ(Draw(playback).At(2, 2), Blue);
}

TEST_F(LoadedMovieTest, MovieThatLoadsItselfIntoItsOwnClipStopsAtTheNestingBound) {
    // The child places an empty sprite "inner" and loads itself into it.
    SpriteWriter empty;
    empty.ShowFrame();
    Placement inner;
    inner.id = 10;
    inner.depth = 2;
    inner.name = "inner";
    Bytes self = TestSwf()
                     .Tag(SwfTagDefineSprite, empty.Body(10))
                     .Tag(SwfTagPlaceObject2, PlaceObject2(inner))
                     .Tag(SwfTagDoAction, Asm().push({Str("self.swf"), Str("inner")}).getUrl2(0x02).Build())
                     .ShowFrame()
                     .End()
                     .Build(1, 12, 400, 400);
    Asm load;
    load.push({Str("self.swf"), Str("holder")}).getUrl2(0x02);
    Start(ParentMovie(load));
    int shown = 0, refused = 0;
    for (size_t i = 0; i < host.clipLoads.size() && i < 100; i++) {
        try {
            playback.ShowMovieInClip(*host.clipLoads[i].clip, self.data(), self.size());
            shown++;
        } catch (const FormatError&) {
            refused++;
        }
    }
    // The innermost copy is not even asked for.
    EXPECT_EQ(shown, Playback::kMaxLoadNesting);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(host.clipLoads.size(), size_t(Playback::kMaxLoadNesting));

    // Loading itself into the same clip over and over ends at the request bound.
    LoadingHost again;
    Playback replaying(again);
    Bytes parent = ParentMovie(load);
    replaying.Append(parent.data(), parent.size());
    replaying.StartIfReady();
    Bytes reload = TestSwf()
                       .Tag(SwfTagDoAction, Asm().push({Str("self.swf"), Str("")}).getUrl2(0x02).Build())
                       .ShowFrame()
                       .End()
                       .Build(1, 12, 400, 400);
    size_t handled = 0;
    for (; handled < again.clipLoads.size() && handled < 2000; handled++)
        replaying.ShowMovieInClip(*again.clipLoads[handled].clip, reload.data(), reload.size());
    EXPECT_EQ(handled, size_t(Playback::kMaxLoadRequests));
}

TEST_F(LoadedMovieTest, LevelsAreBoundedInNumberAndRange) {
    Asm load;
    for (int level = 1; level <= 20; level++) load.getUrl("l.swf", "_level" + std::to_string(level));
    load.getUrl("l.swf", "_level99999");
    Start(ParentMovie(load));
    EXPECT_EQ(host.levelLoads.size(), 20u);  // the one beyond the highest level is not asked for
    Bytes child = ChildMovie();
    for (const auto& [level, url] : host.levelLoads) {
        if (playback.Levels().size() < Playback::kMaxLevels)
            playback.ShowMovieInLevel(level, child.data(), child.size());
        else
            EXPECT_THROW(playback.ShowMovieInLevel(level, child.data(), child.size()), FormatError);
    }
    EXPECT_EQ(playback.Levels().size(), Playback::kMaxLevels);
    // A full set of levels asks for no new one, but an occupied level may be replaced.
    host.levelLoads.clear();
    playback.RunActions(*playback.Root()->Owner(), Asm().getUrl("l.swf", "_level18").getUrl("l.swf", "_level3").Build());
    ASSERT_EQ(host.levelLoads.size(), 1u);
    EXPECT_EQ(host.levelLoads[0].first, 3);
    playback.Reset(L"");
    EXPECT_TRUE(playback.Levels().empty());
}

TEST_F(LoadedMovieTest, GetUrlToAWindowGoesToTheHostWithItsTarget) {
    Asm actions;
    actions.getUrl("http://example.com/a", "_blank")                           // GetURL
        .push({Str("page.html"), Str("_self")}).getUrl2(0x01 << 6)            // GetURL2, GET
        .push({Str("mailto:x@example.com"), Str("help")}).getUrl2(0x02 << 6)  // POST to a named window
        .getUrl("FSCommand:quit", "now")                                      // not a window
        .getUrl("child.swf", "_level2")                                       // a level, not a window
        .push({Str("other.html"), Int(1), Str("_root")}).op(Asm::GetVariable)  // _root.getURL("other.html")
        .push({Str("getURL")}).op(Asm::CallMethod).op(Asm::Pop);
    Start(ParentMovie(actions));
    using Opened = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(host.opened, (std::vector<Opened>{{L"http://example.com/a", L"_blank"},
                                                {L"page.html", L"_self"},
                                                {L"mailto:x@example.com", L"help"},
                                                {L"other.html", L""}}));
    EXPECT_EQ(host.commands, std::vector<std::wstring>({L"quit"}));
    ASSERT_EQ(host.levelLoads.size(), 1u);
    EXPECT_EQ(host.levelLoads[0].first, 2);
}

} // namespace
