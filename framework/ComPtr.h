#pragma once

#ifdef _WIN32
#include <unknwn.h>

#include <cstddef>
#include <utility>

// A counted reference to a COM interface: it holds one reference of its own and releases it
// when it is destroyed, reset or assigned over.
template <typename T>
class TComPtr {
public:
    TComPtr() noexcept = default;
    TComPtr(std::nullptr_t) noexcept {}
    // addRef false adopts a reference the caller already owns (a fresh object, an out
    // parameter filled elsewhere); true takes a reference of its own.
    explicit TComPtr(T* pointer, bool addRef = true) noexcept : pointer_(pointer) {
        if (pointer_ && addRef) pointer_->AddRef();
    }
    TComPtr(const TComPtr& other) noexcept : TComPtr(other.pointer_, true) {}
    TComPtr(TComPtr&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ~TComPtr() { Reset(); }

    TComPtr& operator=(const TComPtr& other) noexcept {
        // AddRef before Release: assigning a pointer to itself must not free the object.
        TComPtr(other).Swap(*this);
        return *this;
    }
    TComPtr& operator=(TComPtr&& other) noexcept {
        TComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    TComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    void Reset() noexcept {
        if (T* old = std::exchange(pointer_, nullptr)) old->Release();
    }
    // Takes over a reference the caller owns, releasing the one held before.
    void Attach(T* pointer) noexcept {
        Reset();
        pointer_ = pointer;
    }
    // Hands the held reference to the caller, who must release it.
    T* Detach() noexcept { return std::exchange(pointer_, nullptr); }

    // For out parameters (T**): releases what is held first, so nothing leaks when the call
    // fills the slot.
    T** Put() noexcept {
        Reset();
        return &pointer_;
    }
    // The same for void** out parameters (QueryInterface, CoCreateInstance).
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    // QueryInterface for U; empty when the object does not offer it.
    template <typename U>
    TComPtr<U> As() const noexcept {
        return As<U>(__uuidof(U));
    }
    template <typename U>
    TComPtr<U> As(REFIID iid) const noexcept {
        TComPtr<U> result;
        if (pointer_) pointer_->QueryInterface(iid, result.PutVoid());
        return result;
    }

    void Swap(TComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

    friend bool operator==(const TComPtr& a, const TComPtr& b) { return a.pointer_ == b.pointer_; }
    friend bool operator!=(const TComPtr& a, const TComPtr& b) { return a.pointer_ != b.pointer_; }

private:
    T* pointer_ = nullptr;
};
#endif
