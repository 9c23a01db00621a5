#pragma once

// URL monikers handed to the player module in place of the system's: they behave as the
// system URL moniker does, except that BindToStorage goes to the content manager. The
// player's bind-status callback is wrapped, in the bind context, so that whatever serves
// the request (a content provider or a system moniker) talks to the player through it.

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "framework/ComPtr.h"

// Replaces urlmon's CreateURLMoniker for the player module: the URL filter is asked first,
// then a TMyMoniker is made for the (possibly rewritten) URL.
HRESULT WINAPI MyCreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker);

// The system's URL moniker for a URL, through urlmon's bound entry point; an over-long URL
// (or no bound entry point) gives null and E_FAIL without reaching the system.
HRESULT CreateSystemURLMoniker(IMoniker* context, const std::wstring& url, IMoniker** moniker);

class TMyMoniker final : public IMoniker, public IBinding {
public:
    TMyMoniker(IMoniker* context, std::wstring url);

    const std::wstring& URL() const { return url_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IBinding: never used as a binding object; every operation fails.
    HRESULT STDMETHODCALLTYPE Abort() override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE Suspend() override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetPriority(LONG) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_FAIL; }

    // IPersist, IPersistStream, IMoniker: forwarded to the system moniker for the same URL.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* bc, IMoniker* left, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bc, IMoniker* left, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* bc, DWORD howFar, IMoniker** left, IMoniker** reduced) override;
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) override;
    HRESULT STDMETHODCALLTYPE Enum(BOOL forward, IEnumMoniker** enumerator) override;
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override;
    HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override;
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* bc, IMoniker* left, IMoniker* newlyRunning) override;
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* bc, IMoniker* left, FILETIME* time) override;
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse) override;
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* other, IMoniker** prefix) override;
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* other, IMoniker** relative) override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR* name) override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR name, ULONG* eaten,
                                               IMoniker** out) override;
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override;

private:
    ~TMyMoniker() = default;

    LONG refs_ = 0;
    std::wstring url_;
    TComPtr<IMoniker> context_;
    TComPtr<IMoniker> inner_;
};

// Stands in the bind context for the callback registered there before, and passes every
// notification and every interface query it does not answer itself on to it.
class TMyBindStatusCallback final : public IBindStatusCallback {
public:
    TMyBindStatusCallback() = default;

    void SetInner(IBindStatusCallback* inner) { inner_ = TComPtr<IBindStatusCallback>(inner); }
    IBindStatusCallback* Inner() const { return inner_.Get(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

private:
    ~TMyBindStatusCallback() = default;

    LONG refs_ = 0;
    TComPtr<IBindStatusCallback> inner_;
};
