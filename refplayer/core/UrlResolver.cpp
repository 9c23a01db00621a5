#include "refplayer/core/UrlResolver.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace refplayer {

namespace {

bool IsAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

size_t SchemeLength(const std::wstring& url) {
    if (url.empty() || !IsAlpha(url[0])) return 0;
    for (size_t i = 1; i < url.size(); i++) {
        wchar_t c = url[i];
        if (c == L':') return i >= 2 ? i : 0;
        if (!IsAlpha(c) && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'.') return 0;
    }
    return 0;
}

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool HasDrive(const std::wstring& path) {
    return path.size() >= 3 && IsAlpha(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

// Removes "." and ".." segments from a path of `separator`-joined segments that starts at
// its root; ".." at the root stays at the root.
std::wstring RemoveDotSegments(const std::wstring& path, wchar_t separator) {
    std::vector<std::wstring> segments;
    bool leading = !path.empty() && IsSeparator(path[0]);
    size_t start = leading ? 1 : 0;
    bool trailingDirectory = false;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) end++;
        std::wstring segment = path.substr(start, end - start);
        trailingDirectory = segment == L"." || segment == L"..";
        if (segment == L"..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != L".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::wstring out = leading ? std::wstring(1, separator) : std::wstring();
    for (size_t i = 0; i < segments.size(); i++) {
        if (i > 0) out += separator;
        out += segments[i];
    }
    if (trailingDirectory && !segments.empty()) out += separator;
    return out;
}

// Splits "scheme://authority/path?query#fragment" around its path.
struct UrlParts {
    std::wstring prefix; // scheme and authority
    std::wstring path;
    std::wstring rest;   // query and fragment
};

UrlParts SplitUrl(const std::wstring& url) {
    UrlParts parts;
    size_t pathStart = SchemeLength(url) + 1;
    if (url.compare(pathStart, 2, L"//") == 0) pathStart = std::min(url.find_first_of(L"/?#", pathStart + 2), url.size());
    size_t restStart = std::min(url.find_first_of(L"?#", pathStart), url.size());
    parts.prefix = url.substr(0, pathStart);
    parts.path = url.substr(pathStart, restStart - pathStart);
    parts.rest = url.substr(restStart);
    return parts;
}

std::wstring ResolveSchemeUrl(const std::wstring& base, const std::wstring& reference) {
    UrlParts parts = SplitUrl(base);
    if (reference.compare(0, 2, L"//") == 0) return base.substr(0, SchemeLength(base) + 1) + reference;
    if (reference.empty()) return parts.prefix + parts.path + parts.rest.substr(0, parts.rest.find(L'#'));
    if (reference[0] == L'#') return parts.prefix + parts.path + parts.rest.substr(0, parts.rest.find(L'#')) + reference;
    if (reference[0] == L'?') return parts.prefix + parts.path + reference;

    size_t referenceRest = std::min(reference.find_first_of(L"?#"), reference.size());
    std::wstring path = reference.substr(0, referenceRest);
    if (path[0] != L'/') {
        // Merge: the base's directory, then the reference.
        size_t slash = parts.path.rfind(L'/');
        path = (slash == std::wstring::npos ? std::wstring(L"/") : parts.path.substr(0, slash + 1)) + path;
    }
    return parts.prefix + RemoveDotSegments(path, L'/') + reference.substr(referenceRest);
}

std::wstring ResolveLocalPath(const std::wstring& base, const std::wstring& reference) {
    wchar_t separator = base.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
    // The root that ".." cannot leave: "C:", "\\server\share" or nothing.
    size_t rootLength = 0;
    if (base.size() >= 2 && IsAlpha(base[0]) && base[1] == L':') {
        rootLength = 2;
    } else if (base.size() >= 2 && IsSeparator(base[0]) && IsSeparator(base[1])) {
        size_t server = base.find_first_of(L"/\\", 2);
        size_t share = server == std::wstring::npos ? server : base.find_first_of(L"/\\", server + 1);
        rootLength = share == std::wstring::npos ? base.size() : share;
    }
    std::wstring root = base.substr(0, rootLength);
    std::wstring directory; // the base's folder after its root, with its closing separator
    size_t slash = base.find_last_of(L"/\\");
    if (slash != std::wstring::npos && slash >= rootLength) directory = base.substr(rootLength, slash + 1 - rootLength);
    std::wstring path = IsSeparator(reference[0]) ? reference : directory + reference;
    if (!root.empty() && !IsSeparator(path[0])) path = separator + path;
    return root + RemoveDotSegments(path, separator);
}

} // namespace

bool HasUrlScheme(const std::wstring& url) { return SchemeLength(url) != 0; }

bool IsAbsoluteLocalPath(const std::wstring& path) {
    return HasDrive(path) || (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& reference) {
    if (HasUrlScheme(reference) || base.empty()) return reference;
    // Under a URL, "//host/x" is a reference to another host, not a UNC path.
    if (HasUrlScheme(base)) return HasDrive(reference) ? reference : ResolveSchemeUrl(base, reference);
    if (IsAbsoluteLocalPath(reference)) return reference;
    if (reference.empty()) return base;
    return ResolveLocalPath(base, reference);
}

bool IsOpenableUrl(const std::wstring& url) {
    if (url.empty() || url.size() > MaxOpenableUrl) return false;
    for (wchar_t c : url)
        if (c < 0x20 || c == 0x7F) return false;
    auto startsWith = [&](const wchar_t* prefix) {
        size_t length = std::char_traits<wchar_t>::length(prefix);
        if (url.size() < length) return false;
        for (size_t i = 0; i < length; i++)
            if (static_cast<wchar_t>(std::towlower(url[i])) != prefix[i]) return false;
        return true;
    };
    // A web address needs a host after the slashes.
    if (startsWith(L"http://")) return url.size() > 7 && url[7] != L'/';
    if (startsWith(L"https://")) return url.size() > 8 && url[8] != L'/';
    return startsWith(L"mailto:") && url.size() > 7;
}

} // namespace refplayer
