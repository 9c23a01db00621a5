#pragma once

#include <string>

#include "refplayer/core/TextCodec.h"

namespace refplayer {

// Script strings are UTF-8; character positions (length, charAt, substr) count the
// characters of the player's wide text, so they agree with what the COM layer hands out.
inline size_t TextLength(const std::string& text) { return FromUtf8(text).size(); }

inline std::string TextToLower(const std::string& text) {
    std::wstring wide = FromUtf8(text);
    for (wchar_t& c : wide) if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return ToUtf8(wide);
}

inline std::string TextToUpper(const std::string& text) {
    std::wstring wide = FromUtf8(text);
    for (wchar_t& c : wide) if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    return ToUtf8(wide);
}

} // namespace refplayer
