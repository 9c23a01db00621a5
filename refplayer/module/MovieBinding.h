#pragma once

// One download: the URL is bound to storage through a URL moniker, and this object is the
// bind-status callback that receives the data. Notifications may come on any thread; what
// they bring is kept under a lock, and the receiver hears of it on its own thread (at once
// when the notification is already there, otherwise through a message to its window).

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "framework/CriticalSection.h"

class TMovieBinding;

class TBindingReceiver {
public:
    virtual void BindingChanged(TMovieBinding* binding) = 0;

protected:
    ~TBindingReceiver() = default;
};

// What arrived since the receiver last looked.
struct TBindingNews {
    std::vector<uint8_t> data;
    bool started = false;
    long long contentLength = -1;  // from the response header, -1 when not given
    bool finished = false;
    HRESULT result = S_OK;
};

class TMovieBinding final : public IBindStatusCallback, public IHttpNegotiate {
public:
    TMovieBinding(TBindingReceiver* receiver, HWND notifyWindow);

    // Starts the download; data may arrive before this returns. A failure to start is
    // returned and also reported as a finished binding with that result.
    HRESULT Bind(const std::wstring& url);
    // The receiver stops listening; later notifications are dropped.
    void Detach();
    TBindingNews TakeNews();
    const std::wstring& Url() const { return url_; }
    long long ReceivedBytes() const { return received_; }

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

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                   LPWSTR* additionalHeaders) override;
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                                         LPWSTR* additionalHeaders) override;

private:
    ~TMovieBinding() = default;

    void ReadStream(IStream* stream);
    void Finish(HRESULT result);
    void Notify();

    LONG refs_ = 0;
    TCriticalSection lock_;
    TBindingReceiver* receiver_;
    HWND notifyWindow_;
    DWORD receiverThread_;
    std::wstring url_;
    TBindingNews news_;
    long long received_ = 0;
    bool finished_ = false;
    TComPtr<IBinding> binding_;
};

// The Content-Length of an HTTP-style response header, -1 when it has none.
long long ContentLengthOf(const wchar_t* headers);
