#include "refplayer/core/TextCodec.h"

#include <cstdint>

namespace refplayer {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

void AppendCodePoint(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out += wchar_t(0xD800 + (c >> 10));
        out += wchar_t(0xDC00 + (c & 0x3FF));
    } else {
        out += wchar_t(c);
    }
}

namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The length of a valid UTF-8 sequence at bytes[i], storing its code point; 0 if invalid.
size_t DecodeUtf8(const std::string& bytes, size_t i, char32_t& c) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    unsigned char lead = byte(i);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() - i < length) return 0;
    for (size_t k = 1; k < length; k++) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = c << 6 | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) return 0;
    return length;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

} // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (IsSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement; // an unpaired surrogate has no UTF-8 form
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring FromUtf8(const std::string& bytes) {
    std::wstring out;
    for (size_t i = 0; i < bytes.size();) {
        char32_t c;
        size_t length = DecodeUtf8(bytes, i, c);
        if (length == 0) {
            c = static_cast<unsigned char>(bytes[i]);
            length = 1;
        }
        AppendCodePoint(out, c);
        i += length;
    }
    return out;
}

std::wstring UrlDecode(const std::wstring& text) {
    // Decode to UTF-8 bytes first so that escaped multi-byte sequences join up; plain runs
    // convert as a whole to keep surrogate pairs together.
    std::string bytes;
    std::wstring plain;
    auto escaped = [&](char byte) {
        bytes += ToUtf8(plain);
        plain.clear();
        bytes += byte;
    };
    for (size_t i = 0; i < text.size(); i++) {
        wchar_t c = text[i];
        int high, low;
        if (c == L'+') {
            escaped(' ');
        } else if (c == L'%' && i + 2 < text.size() && (high = HexValue(text[i + 1])) >= 0 &&
                   (low = HexValue(text[i + 2])) >= 0) {
            escaped(char(high << 4 | low));
            i += 2;
        } else {
            plain += c;
        }
    }
    bytes += ToUtf8(plain);
    return FromUtf8(bytes);
}

} // namespace refplayer
