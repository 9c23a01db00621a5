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
#include "tests/refplayer/TestMovies.h"

namespace {

using refplayer_test::Bytes;
using refplayer_test::TestSwf;

Bytes ReadClip(const char* name) {
    std::string path = std::string(REFPLAYER_TEST_DATA) + "/" + name;
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return bytes;
}

// What reached the wave device (there is none here: the test plays it).
struct TWaveLog {
    int opens = 0;
    int sampleRate = 0;
    int loudWrites = 0;
    int silentWrites = 0;
};
TWaveLog* waveLog = nullptr;

MMRESULT WINAPI FakeOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR, DWORD) {
    waveLog->opens++;
    waveLog->sampleRate = static_cast<int>(format->nSamplesPerSec);
    *device = reinterpret_cast<HWAVEOUT>(static_cast<ULONG_PTR>(0x5150));
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    bool loud = false;
    const int16_t* samples = reinterpret_cast<const int16_t*>(header->lpData);
    for (DWORD i = 0; i < header->dwBufferLength / 2; i++) loud = loud || samples[i] != 0;
    (loud ? waveLog->loudWrites : waveLog->silentWrites)++;
    header->dwFlags |= WHDR_DONE;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeClose(HWAVEOUT) { return MMSYSERR_NOERROR; }

std::map<std::wstring, Bytes>* servedFiles = nullptr;
void ServeURL(void*, const std::wstring& url, TStream* stream) {
    auto file = servedFiles->find(url);
    if (file != servedFiles->end()) stream->WriteBuffer(file->second.data(), static_cast<int32_t>(file->second.size()));
}

std::string SettingsPath() {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\refplayer.cfg";
}

class VideoRouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
        // No start click: only the video writes sound.
        FILE* settings = std::fopen(SettingsPath().c_str(), "wb");
        ASSERT_TRUE(settings);
        std::fputs("SilentClick=1\r\n", settings);
        std::fclose(settings);
    }
    void TearDown() override {
        DeleteFileA(SettingsPath().c_str());
        SetSoundsEnabled(true);
        StopFlashPlayerLibrary();
        HMODULE module = LoadLibraryW(ModulePath("refplayer.dll").c_str());
        auto unreg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
        EXPECT_EQ(unreg(), S_OK);
        FreeLibrary(module);
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
    Bytes clip = ReadClip("clip-320x240-mp3.flv");
    ASSERT_FALSE(clip.empty());
    std::map<std::wstring, Bytes> files = {
        {L"http://refplayer.test/movies/main.swf", TestSwf().Background(0x2040A0).ShowFrame().ShowFrame().End().Build(2, 12)},
        {L"http://refplayer.test/movies/clip.flv", clip}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
    TWaveLog log;
    waveLog = &log;
    TSystemCallsScope restore;
    SystemCalls().waveOutOpen = FakeOpen;
    SystemCalls().waveOutWrite = FakeWrite;
    SystemCalls().waveOutClose = FakeClose;

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
    waveLog = nullptr;
}
