/* A small player-like module for the redirection tests: it imports every name the library
   redirects, by name, and exports thin wrappers that call them, so a test can tell whether a
   call made from inside the mapped module reaches the library's replacement. It also serves
   one COM class through DllGetClassObject and carries a cursor, a menu and a version. */
#define COBJMACROS
#include <windows.h>
#include <mmsystem.h>
#include <urlmon.h>

static HINSTANCE fixtureInstance;
static LONG liveObjects;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) fixtureInstance = instance;
    return TRUE;
}

HINSTANCE FixtureInstance(void) { return fixtureInstance; }
LONG FixtureLiveObjects(void) { return liveObjects; }

HRESULT FixtureCreateURLMoniker(IMoniker* c, LPCWSTR u, IMoniker** m) { return CreateURLMoniker(c, u, m); }
ATOM FixtureRegisterClassExA(const WNDCLASSEXA* c) { return RegisterClassExA(c); }
ATOM FixtureRegisterClassA(const WNDCLASSA* c) { return RegisterClassA(c); }
HWND FixtureCreateWindowExA(LPCSTR className, HWND parent, HINSTANCE instance) {
    return CreateWindowExA(0, className, "fixture", WS_CHILD, 0, 0, 10, 10, parent, NULL, instance, NULL);
}
HCURSOR FixtureLoadCursorA(HINSTANCE i, LPCSTR n) { return LoadCursorA(i, n); }
HMENU FixtureLoadMenuA(HINSTANCE i, LPCSTR n) { return LoadMenuA(i, n); }
MMRESULT FixtureWaveOutOpen(LPHWAVEOUT h, UINT d, LPCWAVEFORMATEX f, DWORD_PTR c, DWORD_PTR i, DWORD fl) {
    return waveOutOpen(h, d, f, c, i, fl);
}
MMRESULT FixtureWaveOutWrite(HWAVEOUT h, LPWAVEHDR w, UINT s) { return waveOutWrite(h, w, s); }
MMRESULT FixtureWaveOutClose(HWAVEOUT h) { return waveOutClose(h); }
BOOL FixtureFlushInstructionCache(HANDLE p, LPCVOID a, SIZE_T s) { return FlushInstructionCache(p, a, s); }
LPVOID FixtureVirtualAlloc(LPVOID a, SIZE_T s, DWORD t, DWORD p) { return VirtualAlloc(a, s, t, p); }
HANDLE FixtureCreateFileA(LPCSTR n) { return CreateFileA(n, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL); }
HANDLE FixtureCreateFileW(LPCWSTR n) { return CreateFileW(n, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL); }
BOOL FixtureReadFile(HANDLE h, LPVOID b, DWORD c, LPDWORD r) { return ReadFile(h, b, c, r, NULL); }
BOOL FixtureCloseHandle(HANDLE h) { return CloseHandle(h); }
DWORD FixtureGetFileSize(HANDLE h, LPDWORD high) { return GetFileSize(h, high); }
BOOL FixtureGetFileSizeEx(HANDLE h, PLARGE_INTEGER s) { return GetFileSizeEx(h, s); }
DWORD FixtureSetFilePointer(HANDLE h, LONG d, PLONG high, DWORD m) { return SetFilePointer(h, d, high, m); }
BOOL FixtureSetFilePointerEx(HANDLE h, LARGE_INTEGER d, PLARGE_INTEGER p, DWORD m) { return SetFilePointerEx(h, d, p, m); }
/* A late lookup by name or ordinal, as a module does for functions it binds at run time. */
FARPROC FixtureLateLookup(LPCSTR name) { return GetProcAddress(GetModuleHandleA("kernel32.dll"), name); }

/* One COM class: objects that offer IUnknown only. */
typedef struct { IUnknownVtbl* lpVtbl; LONG refs; } FixtureObject;

static HRESULT STDMETHODCALLTYPE ObjectQueryInterface(IUnknown* self, REFIID iid, void** out) {
    if (!IsEqualIID(iid, &IID_IUnknown)) { *out = NULL; return E_NOINTERFACE; }
    *out = self;
    IUnknown_AddRef(self);
    return S_OK;
}
static ULONG STDMETHODCALLTYPE ObjectAddRef(IUnknown* self) { return InterlockedIncrement(&((FixtureObject*)self)->refs); }
static ULONG STDMETHODCALLTYPE ObjectRelease(IUnknown* self) {
    FixtureObject* object = (FixtureObject*)self;
    LONG refs = InterlockedDecrement(&object->refs);
    if (refs == 0) { HeapFree(GetProcessHeap(), 0, object); InterlockedDecrement(&liveObjects); }
    return refs;
}
static IUnknownVtbl objectVtbl = {ObjectQueryInterface, ObjectAddRef, ObjectRelease};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** out) {
    if (!IsEqualIID(iid, &IID_IUnknown) && !IsEqualIID(iid, &IID_IClassFactory)) { *out = NULL; return E_NOINTERFACE; }
    *out = self;
    return S_OK;
}
static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory* self) { (void)self; return 2; }
static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory* self) { (void)self; return 1; }
static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory* self, IUnknown* outer, REFIID iid, void** out) {
    (void)self;
    *out = NULL;
    if (outer) return CLASS_E_NOAGGREGATION;
    FixtureObject* object = HeapAlloc(GetProcessHeap(), 0, sizeof(FixtureObject));
    if (!object) return E_OUTOFMEMORY;
    object->lpVtbl = &objectVtbl;
    object->refs = 1;
    InterlockedIncrement(&liveObjects);
    HRESULT result = ObjectQueryInterface((IUnknown*)object, iid, out);
    ObjectRelease((IUnknown*)object);
    return result;
}
static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory* self, BOOL lock) { (void)self; (void)lock; return S_OK; }
static IClassFactoryVtbl factoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance, FactoryLockServer};
static IClassFactory factory = {&factoryVtbl};

static const CLSID playerClass = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = NULL;
    if (!IsEqualCLSID(clsid, &playerClass)) return CLASS_E_CLASSNOTAVAILABLE;
    return FactoryQueryInterface(&factory, iid, out);
}
