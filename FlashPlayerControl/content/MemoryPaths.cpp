#include "FlashPlayerControl/content/MemoryPaths.h"

#include <algorithm>

const wchar_t* const MemoryPathMarker = L"46A10F369771449587DE913EFC0A258C";
const wchar_t* const MemoryMovieFileName = L"E4ED7C01D28A43418DBF2CB92CC35E56.swf";
const wchar_t* const MemoryPathFormat = L"Z:\\FromMemory\\%s\\%d\\%s";
const wchar_t* const ResetMovieURL = L"file://46A10F369771449587DE913EFC0A258";

namespace {

// Reads a plain decimal number (an optional minus, then digits) that fits in 32 bits.
bool ParseId(const std::wstring& text, int32_t& id) {
    size_t start = !text.empty() && text[0] == L'-' ? 1 : 0;
    if (text.size() == start || text.size() - start > 10) return false;
    int64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = value * 10 + (text[i] - L'0');
    }
    if (start) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    id = static_cast<int32_t>(value);
    return true;
}

// The text up to its first NUL, as the system's string functions see it.
std::wstring UpToNul(const std::wstring& text) { return text.substr(0, text.find(L'\0')); }

}  // namespace

bool ParseMemoryPath(const std::wstring& path, int32_t& id, std::wstring& relativePath) {
    std::wstring copy = UpToNul(path);
    std::replace(copy.begin(), copy.end(), L'\\', L'/');
    size_t marker = copy.find(MemoryPathMarker);
    if (marker == std::wstring::npos) return false;
    // Skip the marker and the one separator that follows it, whatever it is.
    size_t rest = marker + 32 + 1;
    if (rest >= copy.size()) return false;
    size_t slash = copy.find(L'/', rest);
    if (slash == std::wstring::npos) return false;
    int32_t parsedId = 0;
    if (!ParseId(copy.substr(rest, slash - rest), parsedId)) return false;
    id = parsedId;
    relativePath = copy.substr(slash + 1);
    return true;
}

bool SameResourcePath(const std::wstring& a, const std::wstring& b) {
    int32_t idA = 0, idB = 0;
    std::wstring relA, relB;
    bool fakeA = ParseMemoryPath(a, idA, relA);
    bool fakeB = ParseMemoryPath(b, idB, relB);
    if (fakeA && fakeB) return idA == idB && relA == relB;
    if (fakeA != fakeB) return false;
    return UpToNul(a) == UpToNul(b);
}

std::wstring FormatMoviePath(int32_t id) {
    return std::wstring(L"Z:\\FromMemory\\") + MemoryPathMarker + L"\\" + std::to_wstring(id) +
           L"\\" + MemoryMovieFileName;
}
