// Library start-up and shut-down, the code providers and the library-wide queries.
#include "RedirectionTestSupport.h"

#include <objbase.h>

#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "framework/ComPtr.h"
#include "framework/Timer.h"

namespace {

const char* missingLibrary;
const char* missingProc;

HMODULE WINAPI LoadLibraryUnless(LPCSTR name) {
    return lstrcmpiA(name, missingLibrary) == 0 ? nullptr : LoadLibraryA(name);
}
FARPROC WINAPI GetProcAddressUnless(HMODULE module, LPCSTR name) {
    if (reinterpret_cast<uintptr_t>(name) >= 0x10000 && lstrcmpA(name, missingProc) == 0) return nullptr;
    return GetProcAddress(module, name);
}

std::string StartupError(const char* library, const char* proc) {
    TSystemCallsScope scope;
    missingLibrary = library;
    missingProc = proc;
    SystemCalls().LoadLibraryA = LoadLibraryUnless;
    SystemCalls().GetProcAddress = GetProcAddressUnless;
    std::string message;
    try {
        StartFlashPlayerLibrary();
    } catch (const Exception& error) {
        message = error.Message;
    }
    StopFlashPlayerLibrary();
    return message;
}

// Registers a module file as the player class's in-process server for the test's duration,
// where HKEY_CLASSES_ROOT reads it.
class TPlayerRegistration {
public:
    explicit TPlayerRegistration(const std::string& path) {
        HKEY key = nullptr;
        created_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyName().c_str(), 0, nullptr, 0, KEY_WRITE,
                                   nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (!created_) return;
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
        RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Apartment"), 10);
        RegCloseKey(key);
    }
    ~TPlayerRegistration() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, KeyName().c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
    }
    bool Created() const { return created_; }

private:
    static std::string KeyName() { return std::string("Software\\Classes\\") + FlashPlayerRegistryKey; }
    bool created_ = false;
};

class ComScope {
public:
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

}  // namespace

TEST(LibraryStartup, MissingSystemPiecesStopStartupWithTheirMessage) {
    EXPECT_EQ(StartupError("urlmon.dll", ""), "LoadLibrary(urlmon.dll) failed");
    EXPECT_EQ(StartupError("", "CreateURLMoniker"), "GetProcAddress(CreateURLMoniker) failed");
    EXPECT_EQ(StartupError("", "RegisterBindStatusCallback"), "GetProcAddress(RegisterBindStatusCallback) failed");
    EXPECT_EQ(StartupError("user32.dll", ""), "LoadLibrary(user32.dll) failed");
    // Without UpdateLayeredWindow the library starts, only without transparency.
    EXPECT_EQ(StartupError("", "UpdateLayeredWindow"), "");
    EXPECT_FALSE(FlashPlayerLibraryStarted());
}

TEST(LibraryStartup, StartsWithoutAnInstalledPlayerAndStopsCleanly) {
    ComScope com;
    StartFlashPlayerLibrary();
    ASSERT_NE(FlashCodeProvider, nullptr);
    EXPECT_EQ(QueryFlashCodeVersion(), 0u);
    EXPECT_FALSE(TransparencyAvailable());
    EXPECT_FALSE(FlashObjectAvailable());
    TComPtr<IUnknown> object;
    EXPECT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IUnknown, object.PutVoid()), E_FAIL);
    EXPECT_FALSE(object);
    EXPECT_TRUE(GetSoundsEnabled());
    EXPECT_EQ(GetSoundVolume(), 100);
    ASSERT_NE(WorkingSetTimer, nullptr);
    EXPECT_EQ(WorkingSetTimer->Interval(), 10000u);
    EXPECT_TRUE(WorkingSetTimer->Enabled());
    EXPECT_NE(CreateURLMonikerProc, nullptr);
    EXPECT_NE(RegisterBindStatusCallbackProc, nullptr);
    StopFlashPlayerLibrary();
    EXPECT_EQ(FlashCodeProvider, nullptr);
    EXPECT_EQ(SoundLock, nullptr);
    EXPECT_EQ(QueryFlashCodeVersion(), 0u);
}

TEST(LibraryStartup, MapsTheRegisteredPlayerModuleAndCreatesObjectsFromIt) {
    ComScope com;
    TPlayerRegistration registration(BesideTestProgram("redirectfixture.dll"));
    ASSERT_TRUE(registration.Created());
    StartFlashPlayerLibrary();
    EXPECT_EQ(QueryFlashCodeVersion(), 0x0A002D02u);
    EXPECT_GE(QueryFlashCodeVersion(), FullScreenMinimumVersion());
    ASSERT_NE(FlashCodeProvider->GetLoader(), nullptr);
    EXPECT_NE(FlashCodeProvider->GetLoader()->ImageBase(), nullptr);
    // The module is mapped by the library, never by the system.
    EXPECT_EQ(GetModuleHandleA("redirectfixture.dll"), nullptr);

    TComPtr<IUnknown> object;
    EXPECT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IUnknown, object.PutVoid()), S_OK);
    EXPECT_TRUE(object);
    // A refused interface is still S_OK; only the empty result tells.
    TComPtr<IUnknown> refused;
    EXPECT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IOleObject, refused.PutVoid()), S_OK);
    EXPECT_FALSE(refused);
    object = nullptr;
    StopFlashPlayerLibrary();
}

TEST(LibraryStartup, RegisteredPathIsUsedUnexpanded) {
    SetEnvironmentVariableA("FPC_FIXTURE", BesideTestProgram("redirectfixture.dll").c_str());
    TPlayerRegistration registration("%FPC_FIXTURE%");
    ASSERT_TRUE(registration.Created());
    StartFlashPlayerLibrary();
    EXPECT_EQ(QueryFlashCodeVersion(), 0u);
    StopFlashPlayerLibrary();
}

TEST(CodeProvider, StreamProviderMapsAModuleAndAnEmptyOrBrokenStreamGivesAnEmptyOne) {
    TFileStream file(BesideTestProgram("redirectfixture.dll"), fmOpenRead | fmShareDenyWrite);
    TFlashOCXCodeProviderBasedOnStream provider(&file);
    EXPECT_EQ(provider.GetCodeVersion(), 0x0A002D02u);

    TFlashOCXCodeProviderBasedOnStream none(nullptr);
    EXPECT_EQ(none.GetCodeVersion(), 0u);
    IUnknown* object = nullptr;
    EXPECT_EQ(none.CreateFlashInstance(IID_IUnknown, reinterpret_cast<void**>(&object)), E_FAIL);
    EXPECT_EQ(object, nullptr);

    TMemoryStream garbage;
    garbage.WriteBuffer("MZ not a module", 15);
    TFlashOCXCodeProviderBasedOnStream broken(&garbage);
    EXPECT_EQ(broken.GetCodeVersion(), 0u);
    EXPECT_NE(broken.GetLoader(), nullptr);
    EXPECT_EQ(broken.CreateFlashInstance(IID_IUnknown, reinterpret_cast<void**>(&object)), E_FAIL);
}

TEST(LibraryHandlers, ResourceHandlerSettersStoreAndClear) {
    int target = 0;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(
        [](void* t, const std::wstring&, TStream*) { ++*static_cast<int*>(t); }, &target));
    ASSERT_TRUE(GlobalLoadExternalResourceHandler);
    GlobalLoadExternalResourceHandler(L"x", nullptr);
    EXPECT_EQ(target, 1);
    RegisterLibraryResourceHandler({});
    EXPECT_FALSE(GlobalLoadExternalResourceHandler);
}
