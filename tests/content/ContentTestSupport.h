#pragma once

#include <windows.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/ComPtr.h"
#include "framework/ErrorHandling.h"
#include "framework/Exceptions.h"
#include "framework/MainThread.h"

// Processes the main thread's messages (and so its queued calls) until done() holds or the
// time runs out; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        RunPendingMainThreadCalls();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// A player-side bind-status callback that writes down every notification it gets, in order:
// "response <header>", "start", "data <size> <bytes>", "stop <hresult>".
class TRecordingCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit TRecordingCallback(bool negotiates = true) : negotiates_(negotiates) {}

    std::vector<std::string> Events;
    std::string Data;                 // every byte delivered, in order
    HRESULT DataAnswer = S_OK;        // what OnDataAvailable answers
    bool Stopped = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
            *object = static_cast<IBindStatusCallback*>(this);
        } else if (iid == IID_IHttpNegotiate && negotiates_) {
            *object = static_cast<IHttpNegotiate*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    LONG References() const { return refs_; }

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return Record("start"); }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR) override {
        Stopped = true;
        return Record("stop " + std::to_string(result));
    }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
        *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
        if (info) {
            DWORD size = info->cbSize;
            ZeroMemory(info, size);
            info->cbSize = size;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override {
        std::string bytes;
        if (medium && medium->tymed == TYMED_ISTREAM && medium->pstm) {
            char buffer[4096];
            ULONG read = 0;
            while (medium->pstm->Read(buffer, sizeof(buffer), &read) == S_OK && read > 0) bytes.append(buffer, read);
        }
        Data += bytes;
        std::string event = "data " + std::to_string(size) + " " + bytes;
        if (flags != 5) event += " flags " + std::to_string(flags);
        if (format && (format->tymed != TYMED_ISTREAM || format->lindex != -1 || format->dwAspect != DVASPECT_CONTENT))
            event += " bad format";
        Record(event);
        return DataAnswer;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR headers, LPCWSTR, LPWSTR*) override {
        return Record("response " + std::to_string(code) + " " + Narrow(headers ? headers : L""));
    }

private:
    HRESULT Record(const std::string& event) {
        Events.push_back(event);
        return S_OK;
    }

    LONG refs_ = 1;  // lives on the test's stack
    bool negotiates_;
};

// A control as the content manager sees it; the test decides what each slot does. Like the
// real controls it leaves the content manager's registry when it goes, so the manager never
// releases a control that no longer exists.
class TTestControl final : public IFlashPlayerControlBase {
public:
    TTestControl() = default;
    TTestControl(const TTestControl&) = delete;
    TTestControl& operator=(const TTestControl&) = delete;
    ~TTestControl() {
        if (ContentManager) ContentManager->UnregisterControl(this);
    }

    std::vector<std::string> Calls;  // "movie <url>", "load <layer> <url>"
    std::wstring Base;
    std::function<void(const std::wstring&, TStream*, bool&)> OnResourceEx;
    std::function<void(const std::wstring&, TStream*)> OnResource;
    std::function<void(const std::wstring&, TStream*&)> OnResourceAsync;
    std::function<void(const std::wstring&)> OnMovie;  // runs inside SetMovieURL/LoadMovieURL

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == __uuidof(IFlashPlayerControlBase)) {
            *object = static_cast<IFlashPlayerControlBase*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    LONG References() const { return refs_; }

    HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) override {
        Calls.push_back("movie " + Narrow(url));
        if (OnMovie) OnMovie(url);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t layer, const std::wstring& url) override {
        Calls.push_back("load " + std::to_string(layer) + " " + Narrow(url));
        if (OnMovie) OnMovie(url);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) override {
        base = Base;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring& url, TStream* stream) override {
        if (!OnResource) return S_FALSE;
        OnResource(url, stream);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring& url, TStream* stream, bool& handled) override {
        if (!OnResourceEx) return S_FALSE;
        OnResourceEx(url, stream, handled);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring& path, TStream*& stream) override {
        if (!OnResourceAsync) return S_FALSE;
        OnResourceAsync(path, stream);
        return S_OK;
    }

private:
    LONG refs_ = 1;
};

// Every test of the content subsystem runs with the library started.
class ContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        StartFlashPlayerLibrary();
    }
    void TearDown() override {
        StopFlashPlayerLibrary();
        CoUninitialize();
    }
};
