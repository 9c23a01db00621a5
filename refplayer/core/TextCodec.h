#pragma once

#include <string>

namespace refplayer {

// Text crosses into the COM layer as UTF-16 (BSTR), so the player keeps its strings as
// std::wstring: UTF-16 where wchar_t has 16 bits (Windows), UTF-32 where it has 32 (host).

// Appends one Unicode code point, as a surrogate pair where wchar_t has 16 bits.
void AppendCodePoint(std::wstring& out, char32_t c);

std::string ToUtf8(const std::wstring& text);
// Bytes that are not valid UTF-8 are taken as Latin-1, one character each, so that
// percent-encoded legacy text still reads sensibly.
std::wstring FromUtf8(const std::string& bytes);

// URL decoding as for form data: "+" is a space, "%XX" a byte, the bytes UTF-8. A "%" not
// followed by two hex digits stays as it is.
std::wstring UrlDecode(const std::wstring& text);

} // namespace refplayer
