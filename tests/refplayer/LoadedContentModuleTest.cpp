// Content a movie's script loads, played by the module mapped through the library with the
// movie and everything it asks for served by a library handler: a movie loaded into a clip
// and one loaded into a level, both drawn.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/ComPtr.h"
#include "framework/Streams.h"
#include "tests/content/ContentTestSupport.h"
#include "tests/refplayer/ModuleTestSupport.h"
#include "tests/refplayer/ServedFiles.h"
#include "tests/refplayer/ScriptTestSupport.h"
#include "tests/refplayer/SwfWriter.h"
#include "tests/refplayer/TestMovies.h"

namespace {

using namespace refplayer_test;

constexpr int SlotLoadMovie = 58;


// A movie of 200 x 200 px: a square of `size` twips at (x, y) twips in the colour given.
Bytes SquareMovie(uint32_t argb, int32_t x, int32_t y, int32_t size) {
    ShapeWriter shape;
    shape.Solid(argb).Rectangle(x, y, x + size, y + size);
    return TestSwf()
        .Tag(shape.Code(), shape.Body(1))
        .Tag(refplayer::SwfTagPlaceObject2, Place(1, 1))
        .ShowFrame()
        .End()
        .Build(1, 20, 4000, 4000);
}

class LoadedContentModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
        servedFiles = &files_;
        RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
    }
    void TearDown() override {
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        object_ = nullptr;
        flash_ = nullptr;
        site_.reset();
        RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
        servedFiles = nullptr;
        StopFlashPlayerLibrary();
        EXPECT_EQ(UnregisterPlayerModule(), S_OK);
        CoUninitialize();
    }

    // Plays the served movie at url in a 200 x 200 player, windowed or windowless.
    void Start(const std::wstring& url, bool windowless = false) {
        position_ = {0, 0, 200, 200};
        ASSERT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IOleObject, object_.PutVoid()), S_OK);
        ASSERT_EQ(object_->QueryInterface(PlayerScriptingIid, flash_.PutVoid()), S_OK);
        if (windowless) PutString(flash_.Get(), SlotPutWMode, L"Transparent");
        site_ = std::make_unique<TTestSite>(host_.Handle(), position_, windowless);
        object_->SetClientSite(site_.get());
        ShowWindow(host_.Handle(), SW_SHOWNA);
        ASSERT_EQ(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, host_.Handle(), &position_), S_OK);
        PutString(flash_.Get(), SlotPutMovie, url.c_str());
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash_.Get(), SlotReadyState) == 4; }));
    }

    COLORREF DrawnPixel(int x, int y) {
        TTestBitmap picture(200, 200, RGB(1, 2, 3));
        RECTL bounds = {0, 0, 200, 200};
        object_.As<IViewObject>()->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds,
                                        nullptr, nullptr, 0);
        return picture.Pixel(x, y);
    }

    std::map<std::wstring, Bytes> files_;
    TTestWindow host_;
    std::unique_ptr<TTestSite> site_;
    RECT position_ = {};
    TComPtr<IOleObject> object_;
    TComPtr<IUnknown> flash_;
};

TEST_F(LoadedContentModuleTest, RelativeMoviesLoadedIntoAClipAndALevelAreDrawn) {
    // The parent: an empty sprite "holder" at (100, 20) px; its first frame loads child.swf
    // into the holder and over.swf into level 1, both by relative path.
    SpriteWriter empty;
    empty.ShowFrame();
    Placement holder;
    holder.id = 5;
    holder.depth = 1;
    holder.hasMatrix = true;
    holder.tx = 2000;
    holder.ty = 400;
    holder.name = "holder";
    Bytes parent = TestSwf()
                       .Background(0xFFFFFF)
                       .Tag(refplayer::SwfTagDefineSprite, empty.Body(5))
                       .Tag(refplayer::SwfTagPlaceObject2, PlaceObject2(holder))
                       .Tag(refplayer::SwfTagDoAction, Asm().push({Str("movies/child.swf"), Str("holder")})
                                                           .getUrl2(0x02).getUrl("over.swf", "_level1").Build())
                       .ShowFrame()
                       .ShowFrame()
                       .End()
                       .Build(2, 20, 4000, 4000);
    files_ = {{L"http://refplayer.test/app/parent.swf", parent},
              // Red 20 x 20 px at the clip's origin: (100, 20) on the stage.
              {L"http://refplayer.test/app/movies/child.swf", SquareMovie(0xFFFF0000, 0, 0, 400)},
              // Blue 20 x 20 px at (20, 20) on the stage, over level 0.
              {L"http://refplayer.test/app/over.swf", SquareMovie(0xFF0000FF, 400, 400, 400)}};
    Start(L"http://refplayer.test/app/parent.swf");
    EXPECT_TRUE(PumpUntil([&] { return DrawnPixel(110, 30) == RGB(255, 0, 0); }, 3000))
        << std::hex << DrawnPixel(110, 30);
    EXPECT_TRUE(PumpUntil([&] { return DrawnPixel(30, 30) == RGB(0, 0, 255); }, 3000)) << std::hex << DrawnPixel(30, 30);
    EXPECT_EQ(DrawnPixel(125, 30), RGB(255, 255, 255));
    EXPECT_EQ(DrawnPixel(60, 60), RGB(255, 255, 255));

    // The container's LoadMovie into layer 2 adds a green square over both; an empty URL
    // takes it away again.
    files_[L"http://refplayer.test/app/layer.swf"] = SquareMovie(0xFF00FF00, 1000, 1000, 400);
    BSTR layer = SysAllocString(L"layer.swf");
    EXPECT_EQ(CallSlot(flash_.Get(), SlotLoadMovie, 2, layer), S_OK);
    SysFreeString(layer);
    EXPECT_TRUE(PumpUntil([&] { return DrawnPixel(60, 60) == RGB(0, 255, 0); }, 3000)) << std::hex << DrawnPixel(60, 60);
    EXPECT_EQ(DrawnPixel(30, 30), RGB(0, 0, 255));
    BSTR none = SysAllocString(L"");
    EXPECT_EQ(CallSlot(flash_.Get(), SlotLoadMovie, 2, none), S_OK);
    SysFreeString(none);
    EXPECT_EQ(DrawnPixel(60, 60), RGB(255, 255, 255));
    EXPECT_EQ(ReadLong(flash_.Get(), SlotReadyState), 4);
}

TEST_F(LoadedContentModuleTest, MalformedLoadedMovieLeavesTheParentPlaying) {
    Bytes broken = SquareMovie(0xFFFF0000, 0, 0, 400);
    broken.resize(broken.size() - 8);
    ShapeWriter green;
    green.Solid(0xFF00FF00).Rectangle(0, 0, 4000, 4000);
    Bytes parent = TestSwf()
                       .Tag(green.Code(), green.Body(1))
                       .Tag(refplayer::SwfTagPlaceObject2, Place(1, 1))
                       .Tag(refplayer::SwfTagDoAction, Asm().getUrl("broken.swf", "_level3").Build())
                       .ShowFrame()
                       .End()
                       .Build(1, 20, 4000, 4000);
    files_ = {{L"http://refplayer.test/app/parent.swf", parent}, {L"http://refplayer.test/app/broken.swf", broken}};
    Start(L"http://refplayer.test/app/parent.swf");
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(DrawnPixel(10, 10), RGB(0, 255, 0));
    EXPECT_EQ(ReadLong(flash_.Get(), SlotReadyState), 4);
}

}  // namespace
