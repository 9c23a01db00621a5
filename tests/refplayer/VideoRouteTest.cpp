// The video a movie names in FLVPath, served by a library handler, played by the module
// mapped through the library: its pictures drawn over the stage and its sound written to the
// wave device through the library's replacements, which the sound switch silences.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ComPtr.h"
#include "framework/Streams.h"
#include "tests/content/ContentTestSupport.h"
#include "tests/redirection/RedirectionTestSupport.h"
#include "tests/refplayer/ModuleTestSupport.h"
#include "tests/refplayer/ServedFiles.h"
#include "tests/refplayer/VideoTestSupport.h"
#include "tests/refplayer/TestMovies.h"
#include "tests/refplayer/WaveOutCounter.h"

namespace {

using refplayer_test::Bytes;
using refplayer_test::TestSwf;

class VideoRouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
        // No start click: only the video writes sound.
        ASSERT_NO_FATAL_FAILURE(SilenceStartClick());
    }
    void TearDown() override {
        DeleteFileA(PlayerSettingsPath().c_str());
        SetSoundsEnabled(true);
        StopFlashPlayerLibrary();
        EXPECT_EQ(UnregisterPlayerModule(), S_OK);
        CoUninitialize();
    }
};

// Colours at a grid of points of the drawn object.
std::vector<COLORREF> Probe(IViewObject* view, int width, int height) {
    TTestBitmap picture(width, height, RGB(1, 2, 3));
    RECTL bounds = {0, 0, width, height};
    view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds, nullptr, nullptr, 0);
    std::vector<COLORREF> colours;
    for (int y = 10; y < height; y += 40)
        for (int x = 10; x < width; x += 40) colours.push_back(picture.Pixel(x, y));
    return colours;
}

}  // namespace

TEST_F(VideoRouteTest, FlvPathVideoShowsChangingPicturesAndItsSoundFollowsTheSoundSwitch) {
    Bytes clip = videotest::ReadData("clip-320x240-mp3.flv");
    ASSERT_FALSE(clip.empty());
    std::map<std::wstring, Bytes> files = {
        {L"http://refplayer.test/movies/main.swf", TestSwf().Background(0x2040A0).ShowFrame().ShowFrame().End().Build(2, 12)},
        {L"http://refplayer.test/movies/clip.flv", clip}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
    TWaveCount log;
    waveCount = &log;
    TSystemCallsScope restore;
    SystemCalls().waveOutOpen = CountingWaveOpen;
    SystemCalls().waveOutWrite = CountingWaveWrite;
    SystemCalls().waveOutClose = CountingWaveClose;

    TTestWindow host;
    RECT position = {0, 0, 320, 240};
    TTestSite site(host.Handle(), position, false);
    {
        TComPtr<IOleObject> object;
        ASSERT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IOleObject, object.PutVoid()), S_OK);
        TComPtr<IUnknown> flash;
        object->QueryInterface(PlayerScriptingIid, flash.PutVoid());
        object->SetClientSite(&site);
        ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
        PutString(flash.Get(), SlotPutFlashVars, L"FLVPath=clip.flv");
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/movies/main.swf");
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        TComPtr<IViewObject> view = object.As<IViewObject>();

        // The first picture covers the stage: no probe sees the movie's background, the
        // panel or the fill.
        auto covered = [](const std::vector<COLORREF>& colours) {
            for (COLORREF colour : colours)
                if (colour == RGB(0x20, 0x40, 0xA0) || colour == RGB(32, 40, 56) || colour == RGB(1, 2, 3)) return false;
            return true;
        };
        std::vector<COLORREF> first;
        ASSERT_TRUE(PumpUntil([&] { return covered(first = Probe(view.Get(), 320, 240)); }, 3000));

        // The sound arrives decoded at the clip's rate, audible; the library's sound switch
        // silences what follows.
        ASSERT_TRUE(PumpUntil([&] { return log.loudWrites >= 3; }, 3000));
        EXPECT_EQ(log.sampleRate, 22050);
        SetSoundsEnabled(false);
        int loudBefore = log.loudWrites;
        ASSERT_TRUE(PumpUntil([&] { return log.silentWrites >= 3; }, 3000));
        EXPECT_EQ(log.loudWrites, loudBefore);
        SetSoundsEnabled(true);

        // Half a second later the picture has moved on.
        PumpUntil([] { return false; }, 500);
        std::vector<COLORREF> second = Probe(view.Get(), 320, 240);
        EXPECT_TRUE(covered(second));
        size_t changed = 0;
        for (size_t i = 0; i < first.size(); i++) changed += first[i] != second[i];
        EXPECT_GT(changed, 0u);

        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    servedFiles = nullptr;
    waveCount = nullptr;
}
