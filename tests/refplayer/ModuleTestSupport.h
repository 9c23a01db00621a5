#pragma once

// What the tests of the player module share: where the module variants are, calls straight
// into the scripting interface's function table, a minimal container site (windowed, or
// windowless when allowed) and an event sink.

#include <windows.h>
#include <ocidl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framework/ComPtr.h"

// {D27CDB6E-AE6D-11CF-96B8-444553540000}, {D27CDB6C-...}, {D27CDB6D-...}
inline const CLSID PlayerClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const IID PlayerScriptingIid = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const IID PlayerEventsIid = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The module variant's file (REFPLAYER_MODULE_DIR is the build's folder for them, a path of
// the Linux side, which Wine shows as drive Z:).
inline std::wstring ModulePath(const char* fileName) {
    std::string path = std::string("Z:") + REFPLAYER_MODULE_DIR + "/" + fileName;
    for (char& c : path)
        if (c == '/') c = '\\';
    return std::wstring(path.begin(), path.end());
}

// Registers the stand-in player module as the installed player of this test's prefix.
inline void RegisterPlayerModule() {
    HMODULE module = LoadLibraryW(ModulePath("refplayer.dll").c_str());
    ASSERT_TRUE(module);
    auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(module);
}

inline HRESULT UnregisterPlayerModule() {
    HMODULE module = LoadLibraryW(ModulePath("refplayer.dll").c_str());
    auto unreg = module ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                              reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")))
                        : nullptr;
    const HRESULT result = unreg ? unreg() : E_FAIL;
    if (module) FreeLibrary(module);
    return result;
}

// The stand-in player's settings file (in the system folder of the prefix).
inline std::string PlayerSettingsPath() {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\refplayer.cfg";
}

// Switches off the click the player makes when a movie starts, so a wave device hears the
// movie alone. Tests remove the file again when they end.
inline void SilenceStartClick() {
    FILE* settings = std::fopen(PlayerSettingsPath().c_str(), "wb");
    ASSERT_TRUE(settings);
    std::fputs("SilentClick=1\r\n", settings);
    std::fclose(settings);
}

// Writes a movie into a new temporary file (path receives its name) for a player to load.
inline void WriteTemporaryMovie(const std::vector<uint8_t>& movie, std::wstring& path) {
    wchar_t folder[MAX_PATH] = {}, file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"swf", 0, file);
    path = file;
    FILE* out = _wfopen(file, L"wb");
    ASSERT_TRUE(out);
    std::fwrite(movie.data(), 1, movie.size(), out);
    std::fclose(out);
}

// Calls slot `slot` of the interface's function table with the interface and the arguments.
// Arguments are deduced by value: a slot taking a reference (REFIID) needs its argument types
// spelt out, or a 32-bit build pushes the whole structure where the callee reads a pointer.
template <typename Result = HRESULT, typename... Args>
Result CallSlot(IUnknown* object, int slot, Args... args) {
    typedef Result(STDMETHODCALLTYPE * Function)(IUnknown*, Args...);
    void** table = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Function>(table[slot])(object, args...);
}

// The few slots the tests use by name.
enum ScriptingSlot {
    SlotReadyState = 7,
    SlotTotalFrames = 8,
    SlotPutMovie = 22,
    SlotCurrentFrame = 35,
    SlotIsPlaying = 36,
    SlotFlashVersion = 39,
    SlotPutWMode = 41,
    SlotPutMenu = 45,
    SlotPutFlashVars = 77,
    SlotCallFunction = 93,
    SlotSetReturnValue = 94,
};

inline long ReadLong(IUnknown* flash, int slot) {
    long value = -1;
    EXPECT_EQ(CallSlot(flash, slot, &value), S_OK) << "slot " << slot;
    return value;
}

inline void PutString(IUnknown* flash, int slot, const wchar_t* text) {
    BSTR value = SysAllocString(text);
    EXPECT_EQ(CallSlot(flash, slot, value), S_OK) << "slot " << slot;
    SysFreeString(value);
}

// Dispatches the player's events into a list: "ready <n>", "progress <n>",
// "fscommand <command>|<args>", "flashcall <request>".
class TEventRecorder final : public IDispatch {
public:
    std::vector<std::wstring> Events;
    std::function<void(const std::wstring& request)> OnFlashCall;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == PlayerEventsIid) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        auto text = [&](UINT index) {
            const VARIANT& v = params->rgvarg[index];
            return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal) : std::wstring(L"?");
        };
        auto number = [&](UINT index) {
            const VARIANT& v = params->rgvarg[index];
            return v.vt == VT_I4 ? std::to_wstring(v.lVal) : std::wstring(L"?");
        };
        if (id == -609 && params->cArgs == 1) {
            Events.push_back(L"ready " + number(0));
        } else if (id == 1958 && params->cArgs == 1) {
            Events.push_back(L"progress " + number(0));
        } else if (id == 150 && params->cArgs == 2) {
            Events.push_back(L"fscommand " + text(1) + L"|" + text(0));
        } else if (id == 197 && params->cArgs == 1) {
            Events.push_back(L"flashcall " + text(0));
            if (OnFlashCall) OnFlashCall(text(0));
        } else {
            Events.push_back(L"unexpected " + std::to_wstring(id));
        }
        return S_OK;
    }

    bool Has(const std::wstring& event) const {
        for (const std::wstring& e : Events)
            if (e == event) return true;
        return false;
    }
    // The ready-state changes in order, as "0 1 2 3 4".
    std::wstring ReadyStates() const {
        std::wstring states;
        for (const std::wstring& e : Events)
            if (e.rfind(L"ready ", 0) == 0) states += (states.empty() ? L"" : L" ") + e.substr(6);
        return states;
    }

private:
    LONG refs_ = 1;  // lives on the test's stack
};

// The container side of one embedded player: client site and in-place site; windowless
// in-place site too when allowWindowless is set. Records what the object asked of it.
class TTestSite final : public IOleClientSite, public IOleInPlaceSiteWindowless {
public:
    TTestSite(HWND window, RECT position, bool allowWindowless)
        : window_(window), position_(position), allowWindowless_(allowWindowless) {}

    int ShowObjectCalls = 0;
    int UIActivations = 0;
    int Deactivations = 0;
    DWORD ActivateFlags = 0xFFFFFFFF;  // of OnInPlaceActivateEx; 0xFFFFFFFF when not called
    bool Activated = false;
    int Invalidations = 0;
    int DeviceContextRequests = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx ||
                   (iid == IID_IOleInPlaceSiteWindowless && allowWindowless_)) {
            *object = static_cast<IOleInPlaceSiteWindowless*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override {
        ShowObjectCalls++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
        Activated = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override {
        UIActivations++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *document = nullptr;
        *position = position_;
        *clip = position_;
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        Deactivations++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }

    // IOleInPlaceSiteEx
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL*, DWORD flags) override {
        Activated = true;
        ActivateFlags = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
        Deactivations++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RequestUIActivate() override { return S_OK; }

    // IOleInPlaceSiteWindowless
    HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC*) override {
        DeviceContextRequests++;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override {
        Invalidations++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override {
        Invalidations++;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }

    LONG References() const { return refs_; }

private:
    LONG refs_ = 1;  // lives on the test's stack
    HWND window_;
    RECT position_;
    bool allowWindowless_;
};

// Advises the recorder to the object's event connection point; returns the cookie.
inline DWORD ConnectEvents(IUnknown* object, TEventRecorder& recorder) {
    TComPtr<IConnectionPointContainer> container;
    object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    EXPECT_TRUE(container);
    TComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(PlayerEventsIid, point.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&recorder), &cookie), S_OK);
    return cookie;
}

// A top-level window to host the player, destroyed with the scope.
class TTestWindow {
public:
    TTestWindow() {
        window_ = CreateWindowExA(0, "STATIC", "player host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~TTestWindow() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_;
};

// A 32-bit DIB filled with one colour, to draw the object into.
class TTestBitmap {
public:
    TTestBitmap(int width, int height, COLORREF fill) : width_(width) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~TTestBitmap() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    // As COLORREF (0x00BBGGRR).
    COLORREF Pixel(int x, int y) const {
        GdiFlush();
        uint32_t value = bits_[y * width_ + x];
        return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    }

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};
