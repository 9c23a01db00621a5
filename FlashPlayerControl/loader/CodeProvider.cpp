#include "FlashPlayerControl/loader/CodeProvider.h"

#include <vector>

#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/ComPtr.h"

const CLSID CLSID_FlashPlayer = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const char* const FlashPlayerRegistryKey =
    "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

TFlashOCXCodeProviderBasedOnStream::TFlashOCXCodeProviderBasedOnStream(TStream* stream) {
    if (stream) LoadFrom(*stream);
}

TFlashOCXCodeProviderBasedOnStream::~TFlashOCXCodeProviderBasedOnStream() = default;

void TFlashOCXCodeProviderBasedOnStream::LoadFrom(TStream& stream) {
    try {
        Loader = std::make_unique<TFlashOCXLoader>();
        Loader->LoadModule(stream);
        GetClassObjectEntry = reinterpret_cast<TGetClassObject>(Loader->FindExport("DllGetClassObject"));
        CodeVersion = ReadImageVersion(Loader->ImageBase());
    } catch (...) {
        // A module that cannot be mapped leaves a provider that cannot create objects.
    }
}

HRESULT TFlashOCXCodeProviderBasedOnStream::CreateFlashInstance(REFIID iid, void** instance) {
    if (!GetClassObjectEntry) return E_FAIL;
    TComPtr<IClassFactory> factory;
    if (GetClassObjectEntry(CLSID_FlashPlayer, IID_IClassFactory,
                            factory.PutVoid()) != S_OK)
        return E_FAIL;
    if (!factory) return E_FAIL;
    // Whether an object was made shows in *instance; the factory's own result is not passed on.
    factory->CreateInstance(nullptr, iid, instance);
    return S_OK;
}

TFlashOCXCodeProviderBasedOnSystemInstalledOCX::TFlashOCXCodeProviderBasedOnSystemInstalledOCX() {
    FlashCodeProvider = this;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, FlashPlayerRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    // 260 characters and a terminator at most; one byte more keeps an over-long value
    // terminated, and such a value names no file that can be opened.
    std::vector<char> path(MAX_PATH + 2, '\0');
    DWORD size = MAX_PATH + 1;
    LONG read = RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(path.data()), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || path[MAX_PATH] != '\0') return;
    HANDLE file = CreateFileA(path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    {
        THandleStream stream(file);
        LoadFrom(stream);
    }
    CloseHandle(file);
}
