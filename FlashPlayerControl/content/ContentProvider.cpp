#include "FlashPlayerControl/content/ContentProvider.h"

#include "FlashPlayerControl/content/BlockCopy.h"
#include "FlashPlayerControl/content/BorrowedMemoryStream.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr DWORD DataFlags = BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION;

// A memory stream over a block it takes over, positioned at 0 and exactly size bytes long;
// empty when the block cannot be used (the block is freed then).
TComPtr<IStream> StreamOnBlock(HGLOBAL block, ULONG size) {
    TComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.Put()))) {
        GlobalFree(block);
        return stream;
    }
    ULARGE_INTEGER length;
    length.QuadPart = size;
    stream->SetSize(length);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}

}  // namespace

TComPtr<IContentProvider> TContentProvider::Create(TComPtr<IStream>& stream) {
    TComPtr<IContentProvider> provider(new TContentProvider);
    stream = TComPtr<IStream>(new TContentProviderStream(provider.Get()));
    return provider;
}

HRESULT TContentProvider::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == __uuidof(IContentProvider) || iid == IID_IUnknown) {
        *object = static_cast<IContentProvider*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The player may release its references on another thread than the one that made them.
ULONG TContentProvider::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TContentProvider::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

void TContentProvider::SendResponseHeaders() {
    auto negotiate = receiver_.As<IHttpNegotiate>();
    if (!negotiate) return;
    std::wstring header = L"HTTP/1.1 200 OK\r\nContent-Length: " +
                          std::to_wstring(static_cast<int32_t>(contentLength_ & 0xFFFFFFFF)) + L"\r\n";
    LPWSTR additional = nullptr;
    negotiate->OnResponse(200, header.c_str(), nullptr, &additional);
    if (additional) CoTaskMemFree(additional);
}

void TContentProvider::StartBinding() {
    if (started_) return;
    SendResponseHeaders();
    receiver_->OnStartBinding(0, nullptr);
    started_ = true;
}

bool TContentProvider::BufferWrite(const void* data, ULONG count) {
    // Grown geometrically ahead of the writes, so many small writes before the bind cost time
    // linear in the movie's size; the block becomes the replay stream as it is.
    // The first write gets a block of its own size: a movie copied in one write is not
    // rounded up.
    SIZE_T needed = static_cast<SIZE_T>(bufferedSize_) + count;
    if (needed > bufferCapacity_ || !bufferBlock_) {
        SIZE_T capacity = bufferCapacity_ ? bufferCapacity_ * 2 : std::max<SIZE_T>(needed, 1);
        if (capacity < needed) capacity = needed;
        HGLOBAL grown = bufferBlock_ ? GlobalReAlloc(bufferBlock_, capacity, GMEM_MOVEABLE)
                                     : GlobalAlloc(GMEM_MOVEABLE, capacity);
        if (!grown) return false;
        bufferBlock_ = grown;
        bufferCapacity_ = capacity;
    }
    if (count == 0) return true;
    void* block = GlobalLock(bufferBlock_);
    if (!block) return false;
    CopyIntoNewMemory(static_cast<char*>(block) + bufferedSize_, data, count);
    GlobalUnlock(bufferBlock_);
    bufferedSize_ += count;
    return true;
}

TContentProvider::~TContentProvider() {
    if (bufferBlock_) GlobalFree(bufferBlock_);
}

HRESULT TContentProvider::NotifyData(IStream* data, ULONG size) {
    FORMATETC format = {0, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = data;
    medium.pUnkForRelease = nullptr;
    return receiver_->OnDataAvailable(DataFlags, size, &format, &medium);
}

HRESULT TContentProvider::SetBindStatusCallback(IBindStatusCallback* receiver) {
    TCriticalSectionGuard guard(lock_);
    receiver_ = TComPtr<IBindStatusCallback>(receiver);
    if (dataWritten_ && receiver_) {
        StartBinding();
        if (!replayed_) {
            // Everything written so far, as one block handed over to the receiver.
            HGLOBAL block = bufferBlock_;
            bufferBlock_ = nullptr;  // the replay stream owns it now
            bufferCapacity_ = 0;
            if (block) {
                TComPtr<IStream> buffered = StreamOnBlock(block, bufferedSize_);
                if (buffered) NotifyData(buffered.Get(), bufferedSize_);
            }
            replayed_ = true;  // later writes go straight to the receiver
        }
        if (finished_) receiver_->OnStopBinding(S_OK, nullptr);
    }
    return S_OK;
}

HRESULT TContentProvider::HasData() {
    TCriticalSectionGuard guard(lock_);
    return dataWritten_ ? S_OK : S_FALSE;
}

HRESULT TContentProvider::Finish() {
    TCriticalSectionGuard guard(lock_);
    finished_ = true;
    if (dataWritten_ && receiver_) {
        StartBinding();
        receiver_->OnStopBinding(S_OK, nullptr);
    }
    return S_OK;
}

HRESULT TContentProvider::Write(const void* data, ULONG count, ULONG* written) {
    TCriticalSectionGuard guard(lock_);
    dataWritten_ = true;
    if (receiver_) {
        StartBinding();
        // Each write after attachment is one notification carrying exactly its bytes, lent
        // for the notification and copied only if the receiver keeps them.
        TComPtr<TBorrowedMemoryStream> chunk(new TBorrowedMemoryStream(data, count));
        const HRESULT answer = NotifyData(chunk.Get(), count);
        const bool kept = chunk->EndLoan();
        if (written) *written = answer == S_OK && kept ? count : 0;
    } else {
        bool stored = BufferWrite(data, count);
        if (written) *written = stored ? count : 0;
    }
    return S_OK;
}

HRESULT TContentProvider::WriteBlock(HGLOBAL block, ULONG count, ULONG* written) {
    if (written) *written = 0;
    if (!block || GlobalSize(block) < count) {
        if (block) GlobalFree(block);
        return E_INVALIDARG;
    }
    TCriticalSectionGuard guard(lock_);
    dataWritten_ = true;
    ULONG done = 0;
    if (receiver_) {
        StartBinding();
        TComPtr<IStream> chunk = StreamOnBlock(block, count);
        if (chunk && NotifyData(chunk.Get(), count) == S_OK) done = count;
    } else if (!bufferBlock_ && !replayed_) {
        // The first data before the bind: the block becomes the buffer as it is.
        bufferBlock_ = block;
        bufferCapacity_ = GlobalSize(block);
        bufferedSize_ = count;
        done = count;
    } else {
        void* bytes = GlobalLock(block);
        if (bytes) {
            if (BufferWrite(bytes, count)) done = count;
            GlobalUnlock(block);
        }
        GlobalFree(block);
    }
    if (written) *written = done;
    return S_OK;
}

HRESULT TContentProvider::SetContentLength(LONGLONG length) {
    TCriticalSectionGuard guard(lock_);
    contentLength_ = length;
    if (receiver_) SendResponseHeaders();
    return S_OK;
}

HRESULT TContentProviderStream::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IStream || iid == IID_IUnknown) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TContentProviderStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TContentProviderStream::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

TContentProviderStream::~TContentProviderStream() { provider_->Finish(); }

HRESULT TContentProviderStream::Write(const void* data, ULONG count, ULONG* written) {
    return provider_->Write(data, count, written);
}

HRESULT TContentProviderStream::SetSize(ULARGE_INTEGER size) {
    return provider_->SetContentLength(static_cast<LONGLONG>(size.QuadPart));
}

HRESULT TContentProviderStream::Clone(IStream** clone) {
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
}
