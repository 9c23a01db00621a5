// The module mapped by the library's own loader, as the controls will use it: created
// through the code provider, given movies through the library's moniker, activated
// windowed and windowless in a minimal container, every redirected import reached.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ComPtr.h"
#include "framework/MainThread.h"
#include "framework/Streams.h"
#include "tests/content/ContentTestSupport.h"
#include "tests/redirection/RedirectionTestSupport.h"
#include "tests/refplayer/ModuleTestSupport.h"
#include "tests/refplayer/ServedFiles.h"
#include "tests/refplayer/SwfWriter.h"
#include "tests/refplayer/TestMovies.h"

namespace {

using refplayer_test::Bytes;
using refplayer_test::TestFlv;
using refplayer_test::TestSwf;

// What the module asked of the system through the library's replacements.
struct TObservedCalls {
    TSystemCalls real;
    std::map<std::string, int> counts;
    std::vector<std::wstring> openedPaths;   // CreateFileW as the content manager passes it on
    std::vector<std::string> lateLookups;    // names given to GetProcAddress
    std::vector<std::wstring> monikerURLs;   // every URL moniker the module asked for
    std::vector<DWORD> waveBytes;            // the buffers written to wave devices
};
TObservedCalls* observed = nullptr;

void Count(const char* name) { observed->counts[name]++; }

ATOM WINAPI CountRegisterClassExA(const WNDCLASSEXA* c) { Count("RegisterClassExA"); return observed->real.RegisterClassExA(c); }
ATOM WINAPI CountRegisterClassA(const WNDCLASSA* c) { Count("RegisterClassA"); return observed->real.RegisterClassA(c); }
HWND WINAPI CountCreateWindowExA(DWORD ex, LPCSTR cls, LPCSTR name, DWORD style, int x, int y, int w, int h,
                                 HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    Count("CreateWindowExA");
    return observed->real.CreateWindowExA(ex, cls, name, style, x, y, w, h, parent, menu, instance, param);
}
int WINAPI CountLookupIconId(PBYTE dir, BOOL icon) { Count("LoadCursorA"); return observed->real.LookupIconIdFromDirectory(dir, icon); }
HMENU WINAPI CountLoadMenuIndirectA(const MENUTEMPLATEA* t) { Count("LoadMenuA"); return observed->real.LoadMenuIndirectA(t); }
BOOL WINAPI CountFlush(HANDLE process, LPCVOID base, SIZE_T size) {
    Count("FlushInstructionCache");
    return observed->real.FlushInstructionCache(process, base, size);
}
LPVOID WINAPI CountVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    Count("VirtualAlloc");
    return observed->real.VirtualAlloc(address, size, type, protect);
}
HANDLE WINAPI CountCreateFileW(LPCWSTR name, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t) {
    observed->openedPaths.push_back(name ? name : L"");
    return observed->real.CreateFileW(name, a, s, sa, d, f, t);
}
BOOL WINAPI CountReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o) { Count("ReadFile"); return observed->real.ReadFile(h, b, n, r, o); }
BOOL WINAPI CountCloseHandle(HANDLE h) { Count("CloseHandle"); return observed->real.CloseHandle(h); }
DWORD WINAPI CountGetFileSize(HANDLE h, LPDWORD high) { Count("GetFileSize"); return observed->real.GetFileSize(h, high); }
BOOL WINAPI CountGetFileSizeEx(HANDLE h, PLARGE_INTEGER s) { Count("GetFileSizeEx"); return observed->real.GetFileSizeEx(h, s); }
DWORD WINAPI CountSetFilePointer(HANDLE h, LONG d, PLONG high, DWORD m) { Count("SetFilePointer"); return observed->real.SetFilePointer(h, d, high, m); }
BOOL WINAPI CountSetFilePointerEx(HANDLE h, LARGE_INTEGER d, PLARGE_INTEGER p, DWORD m) {
    Count("SetFilePointerEx");
    return observed->real.SetFilePointerEx(h, d, p, m);
}
FARPROC WINAPI CountGetProcAddress(HMODULE module, LPCSTR name) {
    if (reinterpret_cast<ULONG_PTR>(name) >= 0x10000) observed->lateLookups.push_back(name);
    return observed->real.GetProcAddress(module, name);
}
// There is no sound device here: the wave device is played by the test.
MMRESULT WINAPI FakeWaveOutOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR, DWORD) {
    Count("waveOutOpen");
    EXPECT_EQ(format->wBitsPerSample, 16);
    *device = reinterpret_cast<HWAVEOUT>(static_cast<ULONG_PTR>(0x5150));
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    Count("waveOutWrite");
    EXPECT_GT(header->dwBufferLength, 0u);
    observed->waveBytes.push_back(header->dwBufferLength);
    header->dwFlags |= WHDR_DONE;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutClose(HWAVEOUT) {
    Count("waveOutClose");
    return MMSYSERR_NOERROR;
}

void RecordMonikerURL(void*, std::wstring& url, bool& continueLoading) {
    observed->monikerURLs.push_back(url);
    continueLoading = true;
}

// Library-wide handler: serves the test's web of files by URL.

// Counts the property changes the object reports.
class TPropertyChanges final : public IPropertyNotifySink {
public:
    std::vector<DISPID> Changed;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink) {
            *object = static_cast<IPropertyNotifySink*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override {
        Changed.push_back(id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }
};

// Frame 1 calls the host and brings the video along through FlashVars; three frames at 50 fps.
// A button that stops the movie is the drawn content, at stage pixels (20, 20)-(260, 80).
// Frame 1 starts a sound of 1000 16-bit mono samples.
Bytes TestMovie() {
    TestSwf movie;
    movie.Background(0x2040A0);
    AddStopButton(movie, 0x203848);
    movie.Tag(refplayer::SwfTagDefineSound, refplayer_test::PcmSound(7, 1000)).Tag(refplayer::SwfTagStartSound, {7, 0, 0});
    return movie
        .GetUrl("FSCommand:started", "now")
        .ShowFrame()
        .ShowFrame()
        .ShowFrame()
        .End()
        .Build(3, 50);
}

Bytes TestVideo() { return TestFlv().Frames({0, 40, 80, 120}).File(); }

std::wstring WritableTempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring WideSettingsPath() {
    std::string path = PlayerSettingsPath();
    return std::wstring(path.begin(), path.end());
}

class MappedModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
    }
    void TearDown() override {
        StopFlashPlayerLibrary();
        EXPECT_EQ(UnregisterPlayerModule(), S_OK);
        CoUninitialize();
    }

    TComPtr<IOleObject> CreatePlayer() {
        TComPtr<IOleObject> object;
        EXPECT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IOleObject, object.PutVoid()), S_OK);
        return object;
    }
};

// A container of the content manager's: loading a stream makes it set the player's Movie.
class TMovieControl {
public:
    explicit TMovieControl(IUnknown* flash) {
        control.OnMovie = [flash](const std::wstring& url) {
            BSTR value = SysAllocString(url.c_str());
            CallSlot(flash, SlotPutMovie, value);
            SysFreeString(value);
        };
    }
    ~TMovieControl() { ContentManager->UnregisterControl(&control); }
    void Load(const Bytes& movie) {
        TMemoryStream stream;
        stream.WriteBuffer(movie.data(), static_cast<int32_t>(movie.size()));
        stream.SetPosition(0);
        ContentManager->LoadMovieFromStream(&control, false, stream, 0);
    }
    TTestControl control;
};

TEST_F(MappedModuleTest, TheLibraryMapsTheRegisteredModuleAndItImportsEveryRedirectedName) {
    EXPECT_EQ(QueryFlashCodeVersion(), 0x0A002D02u);
    ASSERT_NE(FlashCodeProvider->GetLoader(), nullptr);
    const TImportedFunctions& imports = FlashCodeProvider->GetLoader()->Imports();
    for (int i = 0; i < TFlashOCXLoader::RedirectionCount(); i++) {
        const char* name = TFlashOCXLoader::RedirectedName(i);
        const TImportedFunction* import = imports.Find(name);
        ASSERT_NE(import, nullptr) << name << " is not imported by name";
        // The slot holds the library's replacement, not the system function.
        EXPECT_EQ(*static_cast<void**>(import->Slot), TFlashOCXLoader::Redirection(name)) << name;
    }
    TComPtr<IOleObject> object = CreatePlayer();
    ASSERT_TRUE(object);
    TComPtr<IUnknown> flash;
    ASSERT_EQ(object->QueryInterface(PlayerScriptingIid, flash.PutVoid()), S_OK);
    EXPECT_EQ((ReadLong(flash.Get(), SlotFlashVersion) >> 16) & 0xFF, 10);
}

TEST_F(MappedModuleTest, WindowedPlaybackReachesEveryRedirectedImport) {
    TObservedCalls calls;
    calls.real = SystemCalls();
    observed = &calls;
    TSystemCallsScope restore;
    TSystemCalls& hooks = SystemCalls();
    hooks.RegisterClassExA = CountRegisterClassExA;
    hooks.RegisterClassA = CountRegisterClassA;
    hooks.CreateWindowExA = CountCreateWindowExA;
    hooks.LookupIconIdFromDirectory = CountLookupIconId;
    hooks.LoadMenuIndirectA = CountLoadMenuIndirectA;
    hooks.FlushInstructionCache = CountFlush;
    hooks.VirtualAlloc = CountVirtualAlloc;
    hooks.CreateFileW = CountCreateFileW;
    hooks.ReadFile = CountReadFile;
    hooks.CloseHandle = CountCloseHandle;
    hooks.GetFileSize = CountGetFileSize;
    hooks.GetFileSizeEx = CountGetFileSizeEx;
    hooks.SetFilePointer = CountSetFilePointer;
    hooks.SetFilePointerEx = CountSetFilePointerEx;
    hooks.GetProcAddress = CountGetProcAddress;
    hooks.waveOutOpen = FakeWaveOutOpen;
    hooks.waveOutWrite = FakeWaveOutWrite;
    hooks.waveOutClose = FakeWaveOutClose;
    RegisterLibraryURLFilterHandler(TURLFilterHandler(&RecordMonikerURL, nullptr));

    // The machine's player settings (read with the ANSI file functions) and a video on disk.
    WriteFileBytes(WideSettingsPath(), "ClickLevel=40\r\n");
    Bytes video = TestVideo();
    std::wstring videoPath = WritableTempPath(L"refplayer-test.flv");
    WriteFileBytes(videoPath, std::string(video.begin(), video.end()));

    TTestWindow host;
    RECT position = {10, 20, 410, 320};
    TTestSite site(host.Handle(), position, false);
    TEventRecorder events;
    {
        TComPtr<IOleObject> object = CreatePlayer();
        ASSERT_TRUE(object);
        TComPtr<IUnknown> flash;
        ASSERT_EQ(object->QueryInterface(PlayerScriptingIid, flash.PutVoid()), S_OK);
        DWORD cookie = ConnectEvents(object.Get(), events);
        ASSERT_EQ(object->SetClientSite(&site), S_OK);
        PutString(flash.Get(), SlotPutFlashVars, (L"FLVPath=" + videoPath).c_str());

        // Windowed activation: the object's own window, in the site's window, at the position.
        ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
        EXPECT_TRUE(site.Activated);
        EXPECT_EQ(site.ShowObjectCalls, 1);
        TComPtr<IOleInPlaceObject> inPlace = object.As<IOleInPlaceObject>();
        HWND stage = nullptr;
        ASSERT_EQ(inPlace->GetWindow(&stage), S_OK);
        EXPECT_EQ(GetParent(stage), host.Handle());
        char className[128] = {};
        GetClassNameA(stage, className, sizeof className);
        EXPECT_EQ(std::string(className).rfind("FlashPlayerControl_RefPlayerStage_", 0), 0u) << className;
        RECT placed;
        GetWindowRect(stage, &placed);
        MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.left, 10);
        EXPECT_EQ(placed.right - placed.left, 400);

        TMovieControl movie(flash.Get());
        movie.Load(TestMovie());
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        EXPECT_EQ(ReadLong(flash.Get(), SlotTotalFrames), 3);
        // The content manager has the reset URL loaded first; the movie then goes all the way.
        std::wstring states = events.ReadyStates();
        ASSERT_GE(states.size(), 9u);
        EXPECT_EQ(states.substr(states.size() - 9), L"0 1 2 3 4");
        EXPECT_TRUE(events.Has(L"progress 100"));
        EXPECT_TRUE(events.Has(L"fscommand started|now"));
        // Frames advance at the movie's rate, the click plays out and the video runs.
        ASSERT_TRUE(PumpUntil([&] {
            return ReadLong(flash.Get(), SlotCurrentFrame) == 2 && calls.counts["waveOutClose"] > 0;
        }));
        // The movie's sound went out through the same wave functions as the click.
        EXPECT_NE(std::find(calls.waveBytes.begin(), calls.waveBytes.end(), 2000u), calls.waveBytes.end());
        PumpUntil([] { return false; }, 200);

        // UI activation and the accelerator the object takes: Enter stops and starts.
        ASSERT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
        EXPECT_EQ(site.UIActivations, 1);
        TComPtr<IOleInPlaceActiveObject> active = object.As<IOleInPlaceActiveObject>();
        MSG enter = {stage, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
        EXPECT_EQ(active->TranslateAccelerator(&enter), S_OK);
        VARIANT_BOOL playing = 7;
        CallSlot(flash.Get(), SlotIsPlaying, &playing);
        EXPECT_EQ(playing, VARIANT_FALSE);
        MSG other = {stage, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
        EXPECT_EQ(active->TranslateAccelerator(&other), S_FALSE);

        // New rectangles move the window.
        RECT moved = {30, 40, 230, 190};
        EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
        GetWindowRect(stage, &placed);
        EXPECT_EQ(placed.right - placed.left, 200);

        // Drawn opaque: the movie's background around the panel.
        TTestBitmap picture(200, 150, RGB(1, 2, 3));
        TComPtr<IViewObject> view = object.As<IViewObject>();
        RECTL bounds = {0, 0, 200, 150};
        ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds, nullptr, nullptr, 0),
                  S_OK);
        EXPECT_EQ(picture.Pixel(199, 149), RGB(0x20, 0x40, 0xA0));

        TComPtr<IConnectionPoint> point;
        object.As<IConnectionPointContainer>()->FindConnectionPoint(PlayerEventsIid, point.Put());
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_FALSE(IsWindow(stage));
        EXPECT_EQ(site.Deactivations, 1);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryURLFilterHandler(TURLFilterHandler());
    DeleteFileA(PlayerSettingsPath().c_str());
    DeleteFileW(videoPath.c_str());

    // Redirected imports that reach a system function through the seam, by what reached it.
    for (const char* name : {"RegisterClassExA", "RegisterClassA", "CreateWindowExA", "LoadCursorA", "LoadMenuA",
                             "waveOutOpen", "waveOutWrite", "waveOutClose", "FlushInstructionCache", "VirtualAlloc",
                             "ReadFile", "CloseHandle", "GetFileSize", "GetFileSizeEx", "SetFilePointer",
                             "SetFilePointerEx"})
        EXPECT_GT(calls.counts[name], 0) << name;
    // CreateURLMoniker: the library's moniker was asked for the movie's fake path.
    bool movieBound = false;
    for (const std::wstring& url : calls.monikerURLs)
        if (url.find(L"FromMemory") != std::wstring::npos) movieBound = true;
    EXPECT_TRUE(movieBound);
    // CreateFileA (settings) and CreateFileW (video) both end in the content manager's wide open.
    std::wstring settings = WideSettingsPath();
    bool settingsOpened = false, videoOpened = false;
    for (const std::wstring& path : calls.openedPaths) {
        settingsOpened |= _wcsicmp(path.c_str(), settings.c_str()) == 0;
        videoOpened |= _wcsicmp(path.c_str(), videoPath.c_str()) == 0;
    }
    EXPECT_TRUE(settingsOpened);
    EXPECT_TRUE(videoOpened);
    // GetProcAddress: a late lookup by name passed through the library's replacement.
    bool lateLookup = false;
    for (const std::string& name : calls.lateLookups) lateLookup |= name == "GetTickCount64";
    EXPECT_TRUE(lateLookup);
    observed = nullptr;
}

TEST_F(MappedModuleTest, MovieByURLFromALibraryHandlerWithItsVideoAndExternalCalls) {
    std::map<std::wstring, Bytes> files = {{L"http://refplayer.test/movies/main.swf", TestMovie()},
                                           {L"http://refplayer.test/movies/clip.flv", TestVideo()}};
    servedFiles = &files;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(&ServeURL, nullptr));
    TObservedCalls calls;
    observed = &calls;
    RegisterLibraryURLFilterHandler(TURLFilterHandler(&RecordMonikerURL, nullptr));
    TTestWindow host;
    RECT position = {0, 0, 300, 200};
    TTestSite site(host.Handle(), position, false);
    TEventRecorder events;
    {
        TComPtr<IOleObject> object = CreatePlayer();
        ASSERT_TRUE(object);
        TComPtr<IUnknown> flash;
        object->QueryInterface(PlayerScriptingIid, flash.PutVoid());
        DWORD cookie = ConnectEvents(object.Get(), events);
        TPropertyChanges changes;
        TComPtr<IConnectionPoint> notify;
        object.As<IConnectionPointContainer>()->FindConnectionPoint(IID_IPropertyNotifySink, notify.Put());
        DWORD notifyCookie = 0;
        ASSERT_EQ(notify->Advise(&changes, &notifyCookie), S_OK);
        object->SetClientSite(&site);
        ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
        // A relative video path resolves against the movie's URL and is fetched as a URL.
        PutString(flash.Get(), SlotPutFlashVars, L"FLVPath=clip.flv&who=host");
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/movies/main.swf");
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        EXPECT_EQ(ReadLong(flash.Get(), SlotTotalFrames), 3);
        // Each ready-state change is also a change of the ReadyState property (-525).
        EXPECT_EQ(changes.Changed, std::vector<DISPID>(5, -525));
        EXPECT_EQ(notify->Unadvise(notifyCookie), S_OK);
        ASSERT_TRUE(PumpUntil([&] {
            return std::find(calls.monikerURLs.begin(), calls.monikerURLs.end(),
                             L"http://refplayer.test/movies/clip.flv") != calls.monikerURLs.end();
        }));

        // A second load replaces the first.
        files[L"http://refplayer.test/movies/second.swf"] = TestSwf().ShowFrame().ShowFrame().End().Build(2);
        events.Events.clear();
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/movies/second.swf");
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
        EXPECT_EQ(ReadLong(flash.Get(), SlotTotalFrames), 2);
        EXPECT_EQ(events.ReadyStates(), L"0 1 2 3 4");

        // CallFunction: echo, and a call out through FlashCall answered with SetReturnValue.
        events.OnFlashCall = [&](const std::wstring& request) {
            EXPECT_NE(request.find(L"name=\"hostSum\""), std::wstring::npos);
            BSTR answer = SysAllocString(L"<number>5</number>");
            EXPECT_EQ(CallSlot(flash.Get(), SlotSetReturnValue, answer), S_OK);
            SysFreeString(answer);
        };
        BSTR request = SysAllocString(L"<invoke name=\"callHost\" returntype=\"xml\"><arguments>"
                                      L"<string>hostSum</string><number>2</number><number>3</number>"
                                      L"</arguments></invoke>");
        BSTR response = nullptr;
        ASSERT_EQ(CallSlot(flash.Get(), SlotCallFunction, request, &response), S_OK);
        EXPECT_EQ(std::wstring(response ? response : L""), L"<number>5</number>");
        SysFreeString(request);
        SysFreeString(response);
        BSTR variable = SysAllocString(L"<invoke name=\"getVariable\" returntype=\"xml\"><arguments>"
                                       L"<string>who</string></arguments></invoke>");
        ASSERT_EQ(CallSlot(flash.Get(), SlotCallFunction, variable, &response), S_OK);
        EXPECT_EQ(std::wstring(response ? response : L""), L"<string>host</string>");
        SysFreeString(variable);
        SysFreeString(response);

        // A URL nobody serves: loading starts and gets no further than the bind.
        events.Events.clear();
        PutString(flash.Get(), SlotPutMovie, L"http://refplayer.test/missing.swf");
        PumpUntil([] { return false; }, 300);
        EXPECT_EQ(events.ReadyStates().substr(0, 1), L"0");
        EXPECT_FALSE(events.Has(L"ready 2"));
        EXPECT_EQ(ReadLong(flash.Get(), SlotTotalFrames), 0);

        TComPtr<IConnectionPoint> point;
        object.As<IConnectionPointContainer>()->FindConnectionPoint(PlayerEventsIid, point.Put());
        point->Unadvise(cookie);
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    RegisterLibraryURLFilterHandler(TURLFilterHandler());
    servedFiles = nullptr;
    observed = nullptr;
}

TEST_F(MappedModuleTest, WindowlessWhenTransparentAndTheSiteAllowsIt) {
    TTestWindow host;
    RECT position = {50, 60, 350, 260};
    TTestSite site(host.Handle(), position, true);
    TComPtr<IOleObject> object = CreatePlayer();
    ASSERT_TRUE(object);
    TComPtr<IUnknown> flash;
    object->QueryInterface(PlayerScriptingIid, flash.PutVoid());
    PutString(flash.Get(), SlotPutWMode, L"Transparent");
    object->SetClientSite(&site);
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
    EXPECT_EQ(site.ActivateFlags, static_cast<DWORD>(ACTIVATE_WINDOWLESS));
    TComPtr<IOleInPlaceObjectWindowless> windowless = object.As<IOleInPlaceObjectWindowless>();
    ASSERT_TRUE(windowless);
    HWND window = nullptr;
    EXPECT_NE(windowless->GetWindow(&window), S_OK);
    EXPECT_EQ(window, nullptr);

    TMovieControl movie(flash.Get());
    movie.Load(TestMovie());
    ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotReadyState) == 4; }));
    int invalidations = site.Invalidations;
    ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash.Get(), SlotCurrentFrame) == 2; }));
    // Frames reach the host as invalidations through the site, never through a DC of its own.
    EXPECT_GT(site.Invalidations, invalidations);
    EXPECT_EQ(site.DeviceContextRequests, 0);

    // The stage is transparent: only the button is drawn, and only the button is hit. The
    // 550 x 400 stage is shown at half size, centred: the button covers (22.5, 10)-(142.5, 40).
    TTestBitmap picture(300, 200, RGB(9, 9, 9));
    TComPtr<IViewObjectEx> view = object.As<IViewObjectEx>();
    RECTL bounds = {0, 0, 300, 200};
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds, nullptr, nullptr, 0),
              S_OK);
    EXPECT_EQ(picture.Pixel(290, 190), RGB(9, 9, 9));
    EXPECT_EQ(picture.Pixel(30, 20), RGB(0x20, 0x38, 0x48));
    RECT area = {0, 0, 300, 200};
    DWORD hit = 0;
    ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, POINT{30, 20}, 0, &hit), S_OK);
    EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
    ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, POINT{290, 190}, 0, &hit), S_OK);
    EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));

    // Mouse input in container coordinates: a click on the button stops the movie; one beside it
    // is not the object's.
    LRESULT result = 0;
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50 + 30, 60 + 20), &result), S_OK);
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(50 + 30, 60 + 20), &result), S_OK);
    VARIANT_BOOL playing = 7;
    CallSlot(flash.Get(), SlotIsPlaying, &playing);
    EXPECT_EQ(playing, VARIANT_FALSE);
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(50 + 290, 60 + 190), &result), S_FALSE);
    // Menu off: a right click is not the object's either.
    VARIANT_BOOL menuOff = VARIANT_FALSE;
    CallSlot(flash.Get(), SlotPutMenu, menuOff);
    EXPECT_EQ(windowless->OnWindowMessage(WM_RBUTTONUP, 0, MAKELPARAM(50 + 30, 60 + 20), &result), S_FALSE);

    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(site.Deactivations, 1);
    object->SetClientSite(nullptr);
}

TEST_F(MappedModuleTest, TransparentModeInASiteWithoutWindowlessSupportGetsAWindow) {
    TTestWindow host;
    RECT position = {0, 0, 200, 100};
    TTestSite site(host.Handle(), position, false);
    TComPtr<IOleObject> object = CreatePlayer();
    TComPtr<IUnknown> flash;
    object->QueryInterface(PlayerScriptingIid, flash.PutVoid());
    PutString(flash.Get(), SlotPutWMode, L"Transparent");
    object->SetClientSite(&site);
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host.Handle(), &position), S_OK);
    EXPECT_EQ(site.ActivateFlags, 0u);
    HWND window = nullptr;
    EXPECT_EQ(object.As<IOleInPlaceObject>()->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsWindow(window));
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
}

}  // namespace
