#include "FlashPlayerControl/content/BorrowedMemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

class TExclusive {
public:
    explicit TExclusive(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~TExclusive() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

}  // namespace

bool TBorrowedMemoryStream::EndLoan() {
    TExclusive guard(lock_);
    if (copy_ || data_ == nullptr) return true;
    bool kept = true;
    if (refs_ > 1 && size_ > 0) {
        copy_.reset(new (std::nothrow) char[size_]);
        if (copy_) {
            std::memcpy(copy_.get(), data_, size_);
        } else {
            size_ = 0;
            kept = false;
        }
    }
    data_ = copy_.get();
    return kept;
}

HRESULT TBorrowedMemoryStream::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TBorrowedMemoryStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TBorrowedMemoryStream::Release() {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT TBorrowedMemoryStream::Read(void* buffer, ULONG count, ULONG* read) {
    TExclusive guard(lock_);
    const ULONG n = position_ < size_ ? std::min(count, size_ - position_) : 0;
    if (n) {
        if (!buffer) return STG_E_INVALIDPOINTER;
        std::memcpy(buffer, data_ + position_, n);
    }
    position_ += n;
    if (read) *read = n;
    // Like the system's memory streams: a short read is no failure, the count tells.
    return S_OK;
}

HRESULT TBorrowedMemoryStream::Write(const void*, ULONG, ULONG* written) {
    if (written) *written = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT TBorrowedMemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    TExclusive guard(lock_);
    LONGLONG base = 0;
    switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = position_; break;
        case STREAM_SEEK_END: base = size_; break;
        default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0 || target > LONGLONG(0xFFFFFFFF)) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<ULONG>(target);
    if (position) position->QuadPart = position_;
    return S_OK;
}

HRESULT TBorrowedMemoryStream::Stat(STATSTG* stat, DWORD) {
    if (!stat) return STG_E_INVALIDPOINTER;
    TExclusive guard(lock_);
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = size_;
    stat->grfMode = STGM_READ;
    return S_OK;
}

HRESULT TBorrowedMemoryStream::Clone(IStream** clone) {
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
}
