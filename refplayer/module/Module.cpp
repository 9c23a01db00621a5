// Entry points of the module: attach and detach, the class object, and the registration of
// the player class.

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>

#include "framework/ComPtr.h"
#include "refplayer/module/FlashInterfaces.h"
#include "refplayer/module/ModuleState.h"
#include "refplayer/module/PlayerObject.h"
#include "refplayer/module/PlayerWindows.h"

namespace {

HINSTANCE moduleInstance = nullptr;
volatile LONG liveObjects = 0;
volatile LONG serverLocks = 0;

// HKEY_CLASSES_ROOT reads the machine's classes from here (and Wine merges nothing else in).
const wchar_t* const ClassKey = L"Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

class TClassFactory final : public IClassFactory {
public:
    TClassFactory() { ObjectCreated(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            TComPtr<IOleObject> player(TPlayerObject::Create(), false);
            return player->QueryInterface(iid, object);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        ServerLocked(lock != FALSE);
        return S_OK;
    }

private:
    ~TClassFactory() { ObjectDestroyed(); }

    LONG refs_ = 0;
};

std::wstring ModulePath() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(moduleInstance, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

LONG SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HINSTANCE ModuleInstance() { return moduleInstance; }
void ObjectCreated() { InterlockedIncrement(&liveObjects); }
void ObjectDestroyed() { InterlockedDecrement(&liveObjects); }
void ServerLocked(bool lock) {
    if (lock)
        InterlockedIncrement(&serverLocks);
    else
        InterlockedDecrement(&serverLocks);
}
bool ModuleInUse() { return liveObjects != 0 || serverLocks != 0; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
    } else if (reason == DLL_PROCESS_DETACH) {
        UnregisterPlayerWindowClasses();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (classId != CLSID_RefPlayer) return CLASS_E_CLASSNOTAVAILABLE;
    // A new factory at every call.
    TComPtr<IClassFactory> factory(new TClassFactory);
    return factory->QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() {
    std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    HKEY classKey = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr) !=
        ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    LONG written = SetStringValue(classKey, nullptr, L"Reference player");
    HKEY serverKey = nullptr;
    if (written == ERROR_SUCCESS)
        written = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey,
                                  nullptr);
    if (written == ERROR_SUCCESS) {
        written = SetStringValue(serverKey, nullptr, path);
        if (written == ERROR_SUCCESS) written = SetStringValue(serverKey, L"ThreadingModel", L"Apartment");
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return written == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    // Only a registration that names this module is removed; another player's stays.
    std::wstring serverKeyName = std::wstring(ClassKey) + L"\\InprocServer32";
    wchar_t registered[MAX_PATH + 1] = {};
    DWORD size = sizeof(registered) - sizeof(wchar_t);
    LONG read = RegGetValueW(HKEY_LOCAL_MACHINE, serverKeyName.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                             registered, &size);
    if (read == ERROR_FILE_NOT_FOUND) return S_OK;
    if (read != ERROR_SUCCESS || lstrcmpiW(registered, ModulePath().c_str()) != 0) return SELFREG_E_CLASS;
    LONG deleted = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
