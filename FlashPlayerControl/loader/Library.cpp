#include "FlashPlayerControl/loader/Library.h"

#include <windows.h>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/KeyedMaps.h"
#include "FlashPlayerControl/loader/SavedCursors.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ComPtr.h"
#include "framework/Exceptions.h"
#include "framework/MainThread.h"
#include "framework/Timer.h"

TFlashOCXCodeProviderBasedOnSystemInstalledOCX* FlashCodeProvider = nullptr;
TMapString2String* ClassNameMap = nullptr;

bool SoundsEnabled = true;
TCriticalSection* SoundLock = nullptr;
int SoundVolume = 100;
TMapCardinal2Cardinal* WaveFormats = nullptr;
TWaveOpenHandler WaveOpenHandler;
TWaveWriteHandler WaveWriteHandler;
TWaveCloseHandler WaveCloseHandler;

TLoadExternalResourceHandler GlobalLoadExternalResourceHandler;
TLoadExternalResourceExHandler GlobalLoadExternalResourceExHandler;
TLoadExternalResourceAsyncHandler GlobalLoadExternalResourceAsyncHandler;
TURLFilterHandler GlobalURLFilterHandler;

HMODULE UrlmonLibrary = nullptr;
HMODULE User32Library = nullptr;
TCreateURLMonikerProc CreateURLMonikerProc = nullptr;
TRegisterBindStatusCallbackProc RegisterBindStatusCallbackProc = nullptr;
TUpdateLayeredWindowProc UpdateLayeredWindowProc = nullptr;

TSavedCursors* SavedCursors = nullptr;
TTimer* WorkingSetTimer = nullptr;

namespace {

bool libraryStarted = false;
int libraryUsers = 0;

template <typename Proc>
Proc BindProc(HMODULE library, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(SystemCalls().GetProcAddress(library, name)));
}

// Each tick asks the system to take as many pages as it can out of the working set.
void TrimWorkingSet(void*, TObject*) {
    using TSetProcessWorkingSetSize = BOOL(WINAPI*)(HANDLE, SIZE_T, SIZE_T);
    auto trim = BindProc<TSetProcessWorkingSetSize>(GetModuleHandleA("kernel32.dll"),
                                                    "SetProcessWorkingSetSize");
    if (trim) trim(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

}  // namespace

void StartFlashPlayerLibrary() {
    if (libraryStarted) return;
    libraryStarted = true;

    // Everything the replacements use exists before the player module is mapped, since the
    // module may reach them from its attach call.
    InitializeMainThread();
    ClassNameMap = new TMapString2String;
    ContentManager = new TContentManager;
    SoundsEnabled = true;
    SoundLock = new TCriticalSection;
    SoundVolume = 100;
    WaveFormats = new TMapCardinal2Cardinal;
    SavedCursors = new TSavedCursors;
    WaveOpenHandler = {};
    WaveWriteHandler = {};
    WaveCloseHandler = {};
    GlobalLoadExternalResourceHandler = {};
    GlobalLoadExternalResourceExHandler = {};
    GlobalLoadExternalResourceAsyncHandler = {};
    GlobalURLFilterHandler = {};

    UrlmonLibrary = SystemCalls().LoadLibraryA("urlmon.dll");
    if (!UrlmonLibrary) throw Exception("LoadLibrary(urlmon.dll) failed");
    CreateURLMonikerProc = BindProc<TCreateURLMonikerProc>(UrlmonLibrary, "CreateURLMoniker");
    if (!CreateURLMonikerProc) throw Exception("GetProcAddress(CreateURLMoniker) failed");
    RegisterBindStatusCallbackProc =
        BindProc<TRegisterBindStatusCallbackProc>(UrlmonLibrary, "RegisterBindStatusCallback");
    if (!RegisterBindStatusCallbackProc)
        throw Exception("GetProcAddress(RegisterBindStatusCallback) failed");
    User32Library = SystemCalls().LoadLibraryA("user32.dll");
    if (!User32Library) throw Exception("LoadLibrary(user32.dll) failed");
    // Without it the library runs, only without transparency.
    UpdateLayeredWindowProc = BindProc<TUpdateLayeredWindowProc>(User32Library, "UpdateLayeredWindow");

    new TFlashOCXCodeProviderBasedOnSystemInstalledOCX;  // stores itself in FlashCodeProvider

    WorkingSetTimer = new TTimer;
    WorkingSetTimer->SetInterval(10000);
    WorkingSetTimer->SetOnTimer(TTimer::TNotifyEvent(&TrimWorkingSet, FlashCodeProvider));
    WorkingSetTimer->SetEnabled(true);
}

void StopFlashPlayerLibrary() {
    if (!libraryStarted) return;
    libraryStarted = false;

    try {
        delete FlashCodeProvider;  // the module's detach call, its libraries, its image
    } catch (...) {
    }
    FlashCodeProvider = nullptr;
    delete ClassNameMap;
    ClassNameMap = nullptr;
    delete ContentManager;
    ContentManager = nullptr;
    delete SoundLock;
    SoundLock = nullptr;
    if (UrlmonLibrary) SystemCalls().FreeLibrary(UrlmonLibrary);
    if (User32Library) SystemCalls().FreeLibrary(User32Library);
    UrlmonLibrary = User32Library = nullptr;
    CreateURLMonikerProc = nullptr;
    RegisterBindStatusCallbackProc = nullptr;
    UpdateLayeredWindowProc = nullptr;
    delete WaveFormats;
    WaveFormats = nullptr;
    delete SavedCursors;
    SavedCursors = nullptr;
    delete WorkingSetTimer;
    WorkingSetTimer = nullptr;
}

bool FlashPlayerLibraryStarted() { return libraryStarted; }

TFlashPlayerLibraryUser::TFlashPlayerLibraryUser() {
    if (libraryUsers++ != 0) return;
    try {
        StartFlashPlayerLibrary();
    } catch (const std::exception& error) {
        // The program cannot start without the library; say why and end it.
        FatalAppExitA(0, error.what());
    }
}

TFlashPlayerLibraryUser::~TFlashPlayerLibraryUser() {
    if (--libraryUsers == 0) StopFlashPlayerLibrary();
}

uint32_t QueryFlashCodeVersion() {
    return FlashCodeProvider ? FlashCodeProvider->GetCodeVersion() : 0;
}

uint32_t FullScreenMinimumVersion() { return 0x09001C00; }

bool FlashObjectAvailable() {
    TComPtr<IUnknown> object;
    CoCreateInstance(CLSID_FlashPlayer, nullptr,
                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                     IID_IUnknown, object.PutVoid());
    return static_cast<bool>(object);
}

bool TransparencyAvailable() {
    if ((QueryFlashCodeVersion() >> 24) < 3) return false;
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    int bitsPerPixel = display ? GetDeviceCaps(display, BITSPIXEL) : 0;
    if (display) DeleteDC(display);
    return bitsPerPixel >= 16 && UpdateLayeredWindowProc != nullptr;
}

void RegisterLibraryResourceHandler(const TLoadExternalResourceHandler& handler) {
    GlobalLoadExternalResourceHandler = handler;
}

void RegisterLibraryResourceExHandler(const TLoadExternalResourceExHandler& handler) {
    GlobalLoadExternalResourceExHandler = handler;
}

void RegisterLibraryResourceAsyncHandler(const TLoadExternalResourceAsyncHandler& handler) {
    GlobalLoadExternalResourceAsyncHandler = handler;
}

void RegisterLibraryURLFilterHandler(const TURLFilterHandler& handler) {
    GlobalURLFilterHandler = handler;
}
