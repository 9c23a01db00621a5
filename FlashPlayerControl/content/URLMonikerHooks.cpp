#include "FlashPlayerControl/content/URLMonikerHooks.h"

#include "FlashPlayerControl/content/MemoryPaths.h"

#include <type_traits>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/ErrorHandling.h"

static_assert(std::is_same_v<decltype(&MyCreateURLMoniker), decltype(&::CreateURLMoniker)>);

namespace {

template <typename Out>
void Clear(Out** out) {
    if (out) *out = nullptr;
}

}  // namespace

HRESULT CreateSystemURLMoniker(IMoniker* context, const std::wstring& url, IMoniker** moniker) {
    *moniker = nullptr;
    if (!CreateURLMonikerProc || !AcceptableSystemURL(url)) return E_FAIL;
    return CreateURLMonikerProc(context, url.c_str(), moniker);
}

HRESULT WINAPI MyCreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    std::wstring target = url ? url : L"";
    if (GlobalURLFilterHandler) {
        bool continueLoading = false;
        try {
            GlobalURLFilterHandler(target, continueLoading);
        } catch (...) {
            // A filter that fails refuses the URL rather than unwinding into the player.
            HandleApplicationException();
            return E_FAIL;
        }
        if (!continueLoading) return E_FAIL;
    }
    if (!moniker) return E_POINTER;
    if (!ContentManager) return CreateSystemURLMoniker(context, target, moniker);
    return ContentManager->CreateMoniker(context, target.c_str(), moniker);
}

TMyMoniker::TMyMoniker(IMoniker* context, std::wstring url) : url_(std::move(url)), context_(context) {
    CreateSystemURLMoniker(context, url_, inner_.Put());
}

HRESULT TMyMoniker::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMoniker) {
        *object = static_cast<IMoniker*>(this);
    } else if (iid == IID_IBinding) {
        *object = static_cast<IBinding*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TMyMoniker::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TMyMoniker::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs <= 0) delete this;
    return static_cast<ULONG>(refs < 0 ? 0 : refs);
}

#define FORWARD(call) return inner_ ? inner_->call : E_FAIL

HRESULT TMyMoniker::GetClassID(CLSID* classId) { FORWARD(GetClassID(classId)); }
HRESULT TMyMoniker::IsDirty() { FORWARD(IsDirty()); }
HRESULT TMyMoniker::Load(IStream* stream) { FORWARD(Load(stream)); }
HRESULT TMyMoniker::Save(IStream* stream, BOOL clearDirty) { FORWARD(Save(stream, clearDirty)); }
HRESULT TMyMoniker::GetSizeMax(ULARGE_INTEGER* size) { FORWARD(GetSizeMax(size)); }
HRESULT TMyMoniker::BindToObject(IBindCtx* bc, IMoniker* left, REFIID iid, void** object) {
    FORWARD(BindToObject(bc, left, iid, object));
}
HRESULT TMyMoniker::Reduce(IBindCtx* bc, DWORD howFar, IMoniker** left, IMoniker** reduced) {
    Clear(reduced);
    FORWARD(Reduce(bc, howFar, left, reduced));
}
HRESULT TMyMoniker::ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) {
    Clear(composite);
    FORWARD(ComposeWith(right, onlyIfNotGeneric, composite));
}
HRESULT TMyMoniker::Enum(BOOL forward, IEnumMoniker** enumerator) {
    Clear(enumerator);
    FORWARD(Enum(forward, enumerator));
}
HRESULT TMyMoniker::IsEqual(IMoniker* other) { FORWARD(IsEqual(other)); }
HRESULT TMyMoniker::Hash(DWORD* hash) { FORWARD(Hash(hash)); }
HRESULT TMyMoniker::IsRunning(IBindCtx* bc, IMoniker* left, IMoniker* newlyRunning) {
    FORWARD(IsRunning(bc, left, newlyRunning));
}
HRESULT TMyMoniker::GetTimeOfLastChange(IBindCtx* bc, IMoniker* left, FILETIME* time) {
    FORWARD(GetTimeOfLastChange(bc, left, time));
}
HRESULT TMyMoniker::Inverse(IMoniker** inverse) {
    Clear(inverse);
    FORWARD(Inverse(inverse));
}
HRESULT TMyMoniker::CommonPrefixWith(IMoniker* other, IMoniker** prefix) {
    Clear(prefix);
    FORWARD(CommonPrefixWith(other, prefix));
}
HRESULT TMyMoniker::RelativePathTo(IMoniker* other, IMoniker** relative) {
    Clear(relative);
    FORWARD(RelativePathTo(other, relative));
}
HRESULT TMyMoniker::GetDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR* name) {
    FORWARD(GetDisplayName(bc, left, name));
}
HRESULT TMyMoniker::ParseDisplayName(IBindCtx* bc, IMoniker* left, LPOLESTR name, ULONG* eaten, IMoniker** out) {
    Clear(out);
    FORWARD(ParseDisplayName(bc, left, name, eaten, out));
}
HRESULT TMyMoniker::IsSystemMoniker(DWORD* kind) { FORWARD(IsSystemMoniker(kind)); }

#undef FORWARD

HRESULT TMyMoniker::BindToStorage(IBindCtx* bc, IMoniker* left, REFIID iid, void** object) {
    TComPtr<TMyBindStatusCallback> wrapper(new TMyBindStatusCallback);
    TComPtr<IBindStatusCallback> previous;
    if (RegisterBindStatusCallbackProc && bc)
        RegisterBindStatusCallbackProc(bc, wrapper.Get(), previous.Put(), 0);
    wrapper->SetInner(previous.Get());
    if (!ContentManager) return MK_E_NOSTORAGE;
    return ContentManager->HandleBindToStorage(bc, left, iid, context_.Get(), wrapper.Get(), url_, object);
}

HRESULT TMyBindStatusCallback::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
        *object = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    // The player callback's other interfaces (IHttpNegotiate among them) stay reachable.
    return inner_ ? inner_->QueryInterface(iid, object) : E_NOINTERFACE;
}

ULONG TMyBindStatusCallback::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TMyBindStatusCallback::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs <= 0) delete this;
    return static_cast<ULONG>(refs < 0 ? 0 : refs);
}

#define FORWARD(call) return inner_ ? inner_->call : E_NOTIMPL

HRESULT TMyBindStatusCallback::OnStartBinding(DWORD reserved, IBinding* binding) {
    FORWARD(OnStartBinding(reserved, binding));
}
HRESULT TMyBindStatusCallback::GetPriority(LONG* priority) { FORWARD(GetPriority(priority)); }
HRESULT TMyBindStatusCallback::OnLowResource(DWORD reserved) { FORWARD(OnLowResource(reserved)); }
HRESULT TMyBindStatusCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR text) {
    FORWARD(OnProgress(progress, progressMax, statusCode, text));
}
HRESULT TMyBindStatusCallback::OnStopBinding(HRESULT result, LPCWSTR error) { FORWARD(OnStopBinding(result, error)); }
HRESULT TMyBindStatusCallback::GetBindInfo(DWORD* flags, BINDINFO* info) { FORWARD(GetBindInfo(flags, info)); }
HRESULT TMyBindStatusCallback::OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) {
    FORWARD(OnDataAvailable(flags, size, format, medium));
}
HRESULT TMyBindStatusCallback::OnObjectAvailable(REFIID iid, IUnknown* object) {
    FORWARD(OnObjectAvailable(iid, object));
}

#undef FORWARD
