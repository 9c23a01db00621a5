#pragma once

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <string>
#include <utility>

#include "framework/Exceptions.h"

// Owns one BSTR and frees it with SysFreeString. A null BSTR is the empty string, as COM
// treats it. Allocation failure raises EOleError (E_OUTOFMEMORY).
class TBStr {
public:
    TBStr() noexcept = default;
    // A null pointer gives the null BSTR.
    explicit TBStr(const wchar_t* text) : value_(text ? Allocate(text, wcslen(text)) : nullptr) {}
    explicit TBStr(const std::wstring& text) : value_(Allocate(text.data(), text.size())) {}
    // From ANSI text (the system code page).
    explicit TBStr(const std::string& text) : TBStr(Widen(text)) {}
    TBStr(const TBStr&) = delete;
    TBStr& operator=(const TBStr&) = delete;
    TBStr(TBStr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    TBStr& operator=(TBStr&& other) noexcept {
        if (this != &other) Attach(std::exchange(other.value_, nullptr));
        return *this;
    }
    ~TBStr() { SysFreeString(value_); }

    BSTR Get() const noexcept { return value_; }
    UINT Length() const noexcept { return SysStringLen(value_); }

    // Takes over a BSTR the caller owns, freeing the one held before.
    void Attach(BSTR value) noexcept {
        SysFreeString(value_);
        value_ = value;
    }
    // Hands the BSTR to the caller, who must free it (an [out] BSTR result, say).
    BSTR Detach() noexcept { return std::exchange(value_, nullptr); }
    // For BSTR* out parameters: frees what is held first, so nothing leaks.
    BSTR* Put() noexcept {
        Attach(nullptr);
        return &value_;
    }

    std::wstring ToWString() const { return std::wstring(value_ ? value_ : L"", Length()); }
    // To ANSI text in the system code page; characters it lacks become its default character.
    std::string ToString() const {
        const int length = static_cast<int>(Length());
        if (length == 0) return std::string();
        const int size = WideCharToMultiByte(CP_ACP, 0, value_, length, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, value_, length, &text[0], size, nullptr, nullptr);
        return text;
    }

private:
    static BSTR Allocate(const wchar_t* text, size_t length) {
        // Text with a NUL inside keeps its full length: SysAllocStringLen does not stop there.
        BSTR value = SysAllocStringLen(text, static_cast<UINT>(length));
        if (!value) OleCheck(E_OUTOFMEMORY);
        return value;
    }
    static std::wstring Widen(const std::string& text) {
        if (text.empty()) return std::wstring();
        const int length = static_cast<int>(text.size());
        const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
        std::wstring wide(static_cast<size_t>(size), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], size);
        return wide;
    }

    BSTR value_ = nullptr;
};
#endif
