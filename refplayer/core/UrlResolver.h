#pragma once

#include <string>

namespace refplayer {

// True for "scheme:..." (http:, file:, FSCommand:, ...). A single letter before the colon is
// a drive ("C:\dir"), not a scheme.
bool HasUrlScheme(const std::wstring& url);

// True for a local path that does not depend on a base: "C:\...", "C:/...", "\\server\...".
bool IsAbsoluteLocalPath(const std::wstring& path);

// Resolves `reference` against the URL or local path of the movie that asks for it.
// Scheme URLs follow the usual rules for relative URLs (RFC 3986); local paths keep the
// separator style of the base, and ".." never climbs above the drive.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& reference);

// Whether a movie may have the system open this URL in a window: web pages and mail only
// (http:, https:, mailto:), never programs, local files or other handlers, and no longer
// than MaxOpenableUrl characters or with control characters.
bool IsOpenableUrl(const std::wstring& url);
constexpr size_t MaxOpenableUrl = 2048;

} // namespace refplayer
