// A movie whose script plays a NetStream into its Video object, the video served by a library
// handler, played by the module mapped through the library: changing pictures inside the
// Video object's box, onStatus events in the script, sound on the wave device that the
// library's sound switch silences.

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
#include "tests/refplayer/WaveOutCounter.h"
#include "tests/refplayer/NetStreamMovie.h"

namespace {

using refplayer_test::Bytes;

class NetStreamModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
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

// The stage as drawn: 320 x 240, the video's box (160 x 120) at (80, 60).
struct TStageProbe {
    std::vector<COLORREF> video;  // a grid inside the video's box
    COLORREF outside = 0;
};

TStageProbe Probe(IViewObject* view) {
    TTestBitmap picture(320, 240, RGB(1, 2, 3));
    RECTL bounds = {0, 0, 320, 240};
    view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds, nullptr, nullptr, 0);
    TStageProbe probe;
    for (int y = 66; y < 180; y += 12)
        for (int x = 86; x < 240; x += 12) probe.video.push_back(picture.Pixel(x, y));
    probe.outside = picture.Pixel(20, 20);
    return probe;
}

std::wstring ScriptVariable(IUnknown* flash, const wchar_t* name) {
    std::wstring text = std::wstring(L"<invoke name=\"getVariable\" returntype=\"xml\"><arguments><string>") + name +
                        L"</string></arguments></invoke>";
    BSTR request = SysAllocString(text.c_str());
    BSTR response = nullptr;
    EXPECT_EQ(CallSlot(flash, SlotCallFunction, request, &response), S_OK);
    std::wstring value = response ? response : L"";
    SysFreeString(request);
    SysFreeString(response);
    return value;
}

}  // namespace

TEST_F(NetStreamModuleTest, ScriptedStreamShowsChangingPicturesInTheVideoObjectWithStatusAndSound) {
    Bytes clip = videotest::ReadData("clip-320x240-mp3.flv");
    ASSERT_FALSE(clip.empty());
    const COLORREF background = RGB(0x20, 0x40, 0xA0);
    std::map<std::wstring, Bytes> files = {
        {L"http://refplayer.test/player/FLVPlayer.swf", refplayer_test::NetStreamMovie(320, 240, 80, 60, 0x2040A0)},
        {L"http://refplayer.test/player/clip.flv", clip}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
    TWaveCount count;
    waveCount = &count;
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
        PutString(flash.Get(), SlotPutFlashVars, L"FLVPath=http://refplayer.test/player/clip.flv");
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/player/FLVPlayer.swf");
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        TComPtr<IViewObject> view = object.As<IViewObject>();

        // The picture fills the video's box; the stage around it keeps the movie's background.
        auto covered = [&](const TStageProbe& probe) {
            for (COLORREF colour : probe.video)
                if (colour == background || colour == RGB(1, 2, 3)) return false;
            return true;
        };
        TStageProbe first;
        ASSERT_TRUE(PumpUntil([&] { return covered(first = Probe(view.Get())); }, 3000));
        EXPECT_EQ(first.outside, background);
        std::wstring codes = ScriptVariable(flash.Get(), L"codes");
        EXPECT_NE(codes.find(L"NetStream.Play.Start,"), std::wstring::npos) << std::string(codes.begin(), codes.end());
        EXPECT_NE(codes.find(L"NetStream.Buffer.Full,"), std::wstring::npos) << std::string(codes.begin(), codes.end());

        // The stream's MP3 sound reaches the wave device decoded; the sound switch silences it.
        ASSERT_TRUE(PumpUntil([&] { return count.loudWrites >= 3; }, 3000));
        SetSoundsEnabled(false);
        int loudBefore = count.loudWrites;
        ASSERT_TRUE(PumpUntil([&] { return count.silentWrites >= 3; }, 3000));
        EXPECT_EQ(count.loudWrites, loudBefore);
        SetSoundsEnabled(true);

        // Later the picture has moved on.
        PumpUntil([] { return false; }, 500);
        TStageProbe second = Probe(view.Get());
        EXPECT_TRUE(covered(second));
        EXPECT_EQ(second.outside, background);
        size_t changed = 0;
        for (size_t i = 0; i < first.video.size(); i++) changed += first.video[i] != second.video[i];
        EXPECT_GT(changed, 0u);

        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    servedFiles = nullptr;
    waveCount = nullptr;
}

TEST_F(NetStreamModuleTest, MissingOrDamagedStreamIsNotFoundForTheScript) {
    std::map<std::wstring, Bytes> files = {
        {L"http://refplayer.test/player/FLVPlayer.swf", refplayer_test::NetStreamMovie(320, 240, 80, 60, 0x2040A0)},
        {L"http://refplayer.test/player/junk.flv", Bytes(5000, 0xA5)}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
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
        // A local file that is not there, then a served URL whose bytes are no video.
        for (const wchar_t* vars : {L"FLVPath=Z:\\no\\such\\folder\\missing.flv", L"FLVPath=junk.flv"}) {
            PutString(flash.Get(), SlotPutFlashVars, vars);
            PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/player/FLVPlayer.swf");
            ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
            std::wstring codes;
            EXPECT_TRUE(PumpUntil([&] {
                codes = ScriptVariable(flash.Get(), L"codes");
                return codes.find(L"NetStream.Play.StreamNotFound,") != std::wstring::npos;
            }, 3000)) << std::string(codes.begin(), codes.end());
        }
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    servedFiles = nullptr;
}

TEST_F(NetStreamModuleTest, ClipDemonstrationPlayerMovieShowsTheVideo) {
    Bytes movie = videotest::ReadData("../../../samples/clipdemo/res/FLVPlayer.swf");
    Bytes clip = videotest::ReadData("h263-motion.flv");
    ASSERT_FALSE(movie.empty());
    ASSERT_FALSE(clip.empty());
    std::map<std::wstring, Bytes> files = {{L"http://refplayer.test/demo/FLVPlayer.swf", movie},
                                           {L"http://refplayer.test/demo/motion.flv", clip}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
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
        PutString(flash.Get(), SlotPutFlashVars, L"FLVPath=motion.flv");
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/demo/FLVPlayer.swf");
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        TComPtr<IViewObject> view = object.As<IViewObject>();
        // The whole drawn stage, probed on a grid: the moving picture changes some of it.
        auto grid = [&] {
            TTestBitmap picture(320, 240, RGB(1, 2, 3));
            RECTL bounds = {0, 0, 320, 240};
            view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds, nullptr, nullptr, 0);
            std::vector<COLORREF> colours;
            for (int y = 4; y < 240; y += 8)
                for (int x = 4; x < 320; x += 8) colours.push_back(picture.Pixel(x, y));
            return colours;
        };
        // First the white stage gets a picture, then the picture moves on.
        std::vector<COLORREF> first, second;
        auto pictured = [](const std::vector<COLORREF>& colours) {
            size_t plain = 0;
            for (COLORREF colour : colours) plain += colour == RGB(255, 255, 255) || colour == RGB(1, 2, 3);
            return plain + 100 < colours.size();
        };
        ASSERT_TRUE(PumpUntil([&] { return pictured(first = grid()); }, 3000));
        ASSERT_TRUE(PumpUntil([&] { return (second = grid()) != first; }, 3000));
        EXPECT_TRUE(pictured(second));
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    servedFiles = nullptr;
}
