#pragma once

// A read-only IStream over bytes that belong to someone else for the length of one call: a
// content provider hands each write to the player this way, so the bytes are not copied when
// the player reads them during its data notification, as it does. A player that keeps the
// stream beyond the call gets a copy of the bytes when the loan ends.

#include <windows.h>
#include <objidl.h>

#include <memory>

class TBorrowedMemoryStream final : public IStream {
public:
    TBorrowedMemoryStream(const void* data, ULONG size) : data_(static_cast<const char*>(data)), size_(size) {}

    // The lender takes its bytes back. If anyone else still holds the stream, the stream
    // copies the bytes first; without memory for that copy it reads as empty from then on and
    // the answer is false.
    bool EndLoan();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

private:
    ~TBorrowedMemoryStream() = default;

    LONG refs_ = 0;
    SRWLOCK lock_ = SRWLOCK_INIT;   // a reader that kept the stream may read while the loan ends
    const char* data_;
    ULONG size_;
    ULONG position_ = 0;
    std::unique_ptr<char[]> copy_;   // the bytes once the loan has ended
};
