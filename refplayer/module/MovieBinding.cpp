#include "refplayer/module/MovieBinding.h"

#include <cwchar>

#include "refplayer/module/PlayerWindows.h"

long long ContentLengthOf(const wchar_t* headers) {
    if (!headers) return -1;
    const wchar_t* name = L"content-length:";
    size_t nameLength = wcslen(name);
    for (const wchar_t* line = headers; *line;) {
        if (_wcsnicmp(line, name, nameLength) == 0) {
            const wchar_t* value = line + nameLength;
            while (*value == L' ' || *value == L'\t') value++;
            if (*value < L'0' || *value > L'9') return -1;
            long long length = 0;
            for (; *value >= L'0' && *value <= L'9'; value++) {
                length = length * 10 + (*value - L'0');
                if (length > (1LL << 40)) return -1;
            }
            return length;
        }
        const wchar_t* end = wcschr(line, L'\n');
        if (!end) break;
        line = end + 1;
    }
    return -1;
}

TMovieBinding::TMovieBinding(TBindingReceiver* receiver, HWND notifyWindow)
    : receiver_(receiver), notifyWindow_(notifyWindow), receiverThread_(GetCurrentThreadId()) {}

HRESULT TMovieBinding::Bind(const std::wstring& url) {
    url_ = url;
    TComPtr<IMoniker> moniker;
    HRESULT result = CreateURLMoniker(nullptr, url.c_str(), moniker.Put());
    TComPtr<IBindCtx> context;
    if (SUCCEEDED(result)) result = CreateBindCtx(0, context.Put());
    if (SUCCEEDED(result)) result = RegisterBindStatusCallback(context.Get(), this, nullptr, 0);
    TComPtr<IStream> stream;
    if (SUCCEEDED(result)) {
        // Keeps this callback alive through a bind that finishes inside the call.
        TComPtr<IBindStatusCallback> self(this);
        result = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, stream.PutVoid());
        if (result == S_OK && stream) {
            // A synchronous answer: the whole resource is in the stream.
            ReadStream(stream.Get());
            Finish(S_OK);
        }
        RevokeBindStatusCallback(context.Get(), this);
    }
    if (FAILED(result)) Finish(result);
    return result;
}

void TMovieBinding::Detach() {
    TComPtr<IBinding> binding;
    {
        TCriticalSectionGuard guard(lock_);
        receiver_ = nullptr;
        notifyWindow_ = nullptr;
        binding = std::move(binding_);
    }
    // Outside the lock: aborting may call back into this object.
    if (binding) binding->Abort();
}

TBindingNews TMovieBinding::TakeNews() {
    TCriticalSectionGuard guard(lock_);
    TBindingNews news = std::move(news_);
    news_ = TBindingNews();
    news_.contentLength = news.contentLength;
    return news;
}

void TMovieBinding::Notify() {
    TBindingReceiver* receiver = nullptr;
    HWND window = nullptr;
    {
        TCriticalSectionGuard guard(lock_);
        receiver = receiver_;
        window = notifyWindow_;
    }
    if (!receiver) return;
    if (GetCurrentThreadId() == receiverThread_) {
        TComPtr<IBindStatusCallback> self(this);
        receiver->BindingChanged(this);
    } else if (window) {
        PostMessageA(window, WM_REFPLAYER_BINDING, 0, 0);
    }
}

void TMovieBinding::ReadStream(IStream* stream) {
    uint8_t buffer[16384];
    for (;;) {
        ULONG read = 0;
        HRESULT result = stream->Read(buffer, sizeof buffer, &read);
        if (read > 0) {
            TCriticalSectionGuard guard(lock_);
            news_.data.insert(news_.data.end(), buffer, buffer + read);
            received_ += read;
        }
        if (result != S_OK || read == 0) break;
    }
}

void TMovieBinding::Finish(HRESULT result) {
    {
        TCriticalSectionGuard guard(lock_);
        if (finished_) return;
        finished_ = true;
        news_.finished = true;
        news_.result = result;
        binding_ = nullptr;
    }
    Notify();
}

HRESULT TMovieBinding::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
        *object = static_cast<IBindStatusCallback*>(this);
    } else if (iid == IID_IHttpNegotiate) {
        *object = static_cast<IHttpNegotiate*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TMovieBinding::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TMovieBinding::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT TMovieBinding::OnStartBinding(DWORD, IBinding* binding) {
    {
        TCriticalSectionGuard guard(lock_);
        binding_ = TComPtr<IBinding>(binding);
        news_.started = true;
    }
    Notify();
    return S_OK;
}

HRESULT TMovieBinding::GetPriority(LONG* priority) {
    if (!priority) return E_POINTER;
    *priority = THREAD_PRIORITY_NORMAL;
    return S_OK;
}

HRESULT TMovieBinding::OnLowResource(DWORD) { return S_OK; }

HRESULT TMovieBinding::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) { return S_OK; }

HRESULT TMovieBinding::OnStopBinding(HRESULT result, LPCWSTR) {
    Finish(result);
    return S_OK;
}

HRESULT TMovieBinding::GetBindInfo(DWORD* flags, BINDINFO* info) {
    if (!flags) return E_POINTER;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION;
    if (info) {
        DWORD size = info->cbSize;
        ZeroMemory(info, size);
        info->cbSize = size;
        info->dwBindVerb = BINDVERB_GET;
    }
    return S_OK;
}

HRESULT TMovieBinding::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
    if (medium && medium->tymed == TYMED_ISTREAM && medium->pstm) ReadStream(medium->pstm);
    {
        TCriticalSectionGuard guard(lock_);
        news_.started = true;
    }
    Notify();
    return S_OK;
}

HRESULT TMovieBinding::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

HRESULT TMovieBinding::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
}

HRESULT TMovieBinding::OnResponse(DWORD, LPCWSTR responseHeaders, LPCWSTR, LPWSTR* additionalHeaders) {
    if (additionalHeaders) *additionalHeaders = nullptr;
    long long length = ContentLengthOf(responseHeaders);
    {
        TCriticalSectionGuard guard(lock_);
        if (length >= 0) news_.contentLength = length;
    }
    return S_OK;
}
