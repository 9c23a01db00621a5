// A module mapped by the redirecting loader: its imports of the twenty names are bound to the
// library's replacements, and its calls and late lookups really reach them.
#include "RedirectionTestSupport.h"

#include <urlmon.h>

#include "FlashPlayerControl/loader/ProcessHooks.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/loader/WindowHooks.h"

namespace {

std::vector<char> deviceSaw;
MMRESULT WINAPI FakeOpen(LPHWAVEOUT handle, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
    *handle = reinterpret_cast<HWAVEOUT>(uintptr_t{0x42});
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    deviceSaw.assign(header->lpData, header->lpData + header->dwBufferLength);
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeClose(HWAVEOUT) { return MMSYSERR_NOERROR; }

int filesOpened;
// Real files are opened by their wide name, whatever form the module asked with.
HANDLE WINAPI CountingCreateFileW(LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t) {
    ++filesOpened;
    return CreateFileW(n, a, s, sa, d, f, t);
}

class FixtureModule : public LibraryTest {
protected:
    TMappedFixture fixture_;
};

}  // namespace

TEST_F(FixtureModule, EveryRedirectedImportIsBoundToItsReplacement) {
    const TImportedFunctions& imports = fixture_.Loader().Imports();
    for (int i = 0; i < TFlashOCXLoader::RedirectionCount(); ++i) {
        const char* name = TFlashOCXLoader::RedirectedName(i);
        const TImportedFunction* import = imports.Find(name);
        ASSERT_NE(import, nullptr) << name << " is not imported by the fixture";
        EXPECT_EQ(*static_cast<void**>(import->Slot), TFlashOCXLoader::Redirection(name)) << name;
    }
    // Names outside the table are bound to the system's functions.
    const TImportedFunction* other = imports.Find("GetModuleHandleA");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(*static_cast<void**>(other->Slot),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetModuleHandleA")));
}

TEST_F(FixtureModule, LateLookupsLandInTheReplacementsButOrdinalsAndOtherSpellingsDoNot) {
    auto lookup = fixture_.Export<FARPROC (*)(LPCSTR)>("FixtureLateLookup");
    EXPECT_EQ(reinterpret_cast<void*>(lookup("GetProcAddress")), reinterpret_cast<void*>(&MyGetProcAddress));
    EXPECT_EQ(reinterpret_cast<void*>(lookup("waveOutWrite")), reinterpret_cast<void*>(&MyWaveOutWrite));
    EXPECT_EQ(lookup("getprocaddress"), nullptr);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(lookup(MAKEINTRESOURCEA(2)), GetProcAddress(kernel, MAKEINTRESOURCEA(2)));
    EXPECT_EQ(lookup("Sleep"), GetProcAddress(kernel, "Sleep"));
}

TEST_F(FixtureModule, SoundWrittenByTheModuleIsSilencedByTheSwitch) {
    TSystemCallsScope scope;
    SystemCalls().waveOutOpen = FakeOpen;
    SystemCalls().waveOutWrite = FakeWrite;
    SystemCalls().waveOutClose = FakeClose;
    auto open = fixture_.Export<MMRESULT (*)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD)>("FixtureWaveOutOpen");
    auto write = fixture_.Export<MMRESULT (*)(HWAVEOUT, LPWAVEHDR, UINT)>("FixtureWaveOutWrite");
    auto close = fixture_.Export<MMRESULT (*)(HWAVEOUT)>("FixtureWaveOutClose");

    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HWAVEOUT device = nullptr;
    ASSERT_EQ(open(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    char buffer[4] = {1, 2, 3, 4};
    WAVEHDR header = {};
    header.lpData = buffer;
    header.dwBufferLength = sizeof(buffer);
    ASSERT_EQ(write(device, &header, sizeof(header)), MMSYSERR_NOERROR);
    EXPECT_EQ(deviceSaw, (std::vector<char>{1, 2, 3, 4}));
    SetSoundsEnabled(false);
    ASSERT_EQ(write(device, &header, sizeof(header)), MMSYSERR_NOERROR);
    EXPECT_EQ(deviceSaw, (std::vector<char>(4, 0)));
    EXPECT_EQ(close(device), MMSYSERR_NOERROR);
}

TEST_F(FixtureModule, WindowsCursorsMenusAndFilesGoThroughTheReplacements) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = fixture_.Instance();
    wc.lpszClassName = "FixtureStage";
    auto registerClass = fixture_.Export<ATOM (*)(const WNDCLASSA*)>("FixtureRegisterClassA");
    ASSERT_NE(registerClass(&wc), 0);
    auto createWindow = fixture_.Export<HWND (*)(LPCSTR, HWND, HINSTANCE)>("FixtureCreateWindowExA");
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND window = createWindow("FixtureStage", parent, fixture_.Instance());
    ASSERT_NE(window, nullptr);
    char name[128] = {};
    GetClassNameA(window, name, sizeof(name));
    EXPECT_EQ(std::string(name), RegisteredClassName("FixtureStage"));
    DestroyWindow(parent);

    auto loadCursor = fixture_.Export<HCURSOR (*)(HINSTANCE, LPCSTR)>("FixtureLoadCursorA");
    EXPECT_NE(loadCursor(fixture_.Instance(), MAKEINTRESOURCEA(5)), nullptr);
    auto loadMenu = fixture_.Export<HMENU (*)(HINSTANCE, LPCSTR)>("FixtureLoadMenuA");
    HMENU menu = loadMenu(fixture_.Instance(), MAKEINTRESOURCEA(7));
    EXPECT_NE(menu, nullptr);
    DestroyMenu(menu);

    TSystemCallsScope scope;
    SystemCalls().CreateFileW = CountingCreateFileW;
    filesOpened = 0;
    auto openFile = fixture_.Export<HANDLE (*)(LPCSTR)>("FixtureCreateFileA");
    auto readFile = fixture_.Export<BOOL (*)(HANDLE, LPVOID, DWORD, LPDWORD)>("FixtureReadFile");
    auto fileSize = fixture_.Export<DWORD (*)(HANDLE, LPDWORD)>("FixtureGetFileSize");
    auto closeFile = fixture_.Export<BOOL (*)(HANDLE)>("FixtureCloseHandle");
    HANDLE file = openFile(BesideTestProgram("redirectfixture.dll").c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(filesOpened, 1);
    char magic[2] = {};
    DWORD read = 0;
    EXPECT_TRUE(readFile(file, magic, 2, &read));
    EXPECT_EQ(std::string(magic, 2), "MZ");
    EXPECT_GT(fileSize(file, nullptr), 1000u);
    EXPECT_TRUE(closeFile(file));
}

TEST_F(FixtureModule, UrlMonikersOfTheModuleComeFromUrlmon) {
    CoInitialize(nullptr);
    auto createMoniker = fixture_.Export<HRESULT (*)(IMoniker*, LPCWSTR, IMoniker**)>("FixtureCreateURLMoniker");
    IMoniker* moniker = nullptr;
    EXPECT_EQ(createMoniker(nullptr, L"http://example.invalid/movie.swf", &moniker), S_OK);
    ASSERT_NE(moniker, nullptr);
    moniker->Release();
    CoUninitialize();
}
