#pragma once

// A content provider carries the data of one movie or resource from the application to the
// player. The application writes into the provider's stream; the player's bind-status
// callback receives the data as a download: a response header, a start, one data
// notification per write, a stop when the writing end is released. Data written before the
// callback is attached is buffered and replayed to it in one notification.
//
// Copies: a write to an attached receiver is lent to it as it is (the receiver reads it during
// its notification); a write before the bind is copied once into the buffer, except a block
// handed over whole, which becomes the buffer itself.

#include <windows.h>
#include <urlmon.h>

#include <cstdint>

#include "framework/ComPtr.h"
#include "framework/CriticalSection.h"

struct IContentProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetBindStatusCallback(IBindStatusCallback* receiver) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasData() = 0;
    virtual HRESULT STDMETHODCALLTYPE Finish() = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetContentLength(LONGLONG length) = 0;
    // Like Write, for count bytes held in a movable memory block that the provider takes
    // over (it frees the block in every case): the bytes reach the receiver without another
    // copy.
    virtual HRESULT STDMETHODCALLTYPE WriteBlock(HGLOBAL block, ULONG count, ULONG* written) = 0;
};

// {58245B0F-C1F8-4D38-B411-F4EBE2A76590}
__CRT_UUID_DECL(IContentProvider, 0x58245B0F, 0xC1F8, 0x4D38, 0xB4, 0x11, 0xF4, 0xEB, 0xE2, 0xA7, 0x65, 0x90)

class TContentProvider final : public IContentProvider {
public:
    // A new provider and, through stream, the IStream of its writing end (which holds the
    // provider until it is released).
    static TComPtr<IContentProvider> Create(TComPtr<IStream>& stream);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE SetBindStatusCallback(IBindStatusCallback* receiver) override;
    HRESULT STDMETHODCALLTYPE HasData() override;
    HRESULT STDMETHODCALLTYPE Finish() override;
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE SetContentLength(LONGLONG length) override;
    HRESULT STDMETHODCALLTYPE WriteBlock(HGLOBAL block, ULONG count, ULONG* written) override;

private:
    TContentProvider() = default;
    ~TContentProvider();

    void SendResponseHeaders();
    void StartBinding();
    HRESULT NotifyData(IStream* data, ULONG size);
    bool BufferWrite(const void* data, ULONG count);

    LONG refs_ = 0;
    TCriticalSection lock_;
    // Data written before a receiver is attached: a movable memory block that becomes the
    // replay stream.
    HGLOBAL bufferBlock_ = nullptr;
    ULONG bufferedSize_ = 0;
    SIZE_T bufferCapacity_ = 0;
    bool replayed_ = false;
    bool started_ = false;
    TComPtr<IBindStatusCallback> receiver_;
    bool dataWritten_ = false;
    bool finished_ = false;
    LONGLONG contentLength_ = -1;
};

// The writing end of a provider: IStream Write and SetSize reach the provider; releasing the
// last reference tells the provider that the data is complete.
class TContentProviderStream final : public IStream {
public:
    explicit TContentProviderStream(IContentProvider* provider) : provider_(provider) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

private:
    ~TContentProviderStream();

    LONG refs_ = 0;
    TComPtr<IContentProvider> provider_;
};
