#pragma once

// The fake paths under which movies handed over as streams are given to the player module:
// "Z:\FromMemory\<marker>\<id>\<file name>". Only the marker and the id carry meaning: a
// relative reference inside such a movie resolves to a path that keeps them and ends in the
// relative path, in whatever form the player writes it.

#include <cstddef>
#include <cstdint>
#include <string>

extern const wchar_t* const MemoryPathMarker;     // 32 characters
extern const wchar_t* const MemoryMovieFileName;
extern const wchar_t* const MemoryPathFormat;     // marker, id, file name
extern const wchar_t* const ResetMovieURL;        // the marker without its last character

// Recognises a fake path anywhere in the text (slashes or backslashes, any prefix): the id
// segment after the marker must be a plain decimal 32-bit number followed by a slash. The
// relative path is what follows that slash, slashes normalised to "/".
bool ParseMemoryPath(const std::wstring& path, int32_t& id, std::wstring& relativePath);

// Two fake paths are the same resource when id and relative path are equal (case-sensitive);
// a fake and a plain path never are; two plain paths are compared as text.
bool SameResourcePath(const std::wstring& a, const std::wstring& b);

// The fake path of movie id.
std::wstring FormatMoviePath(int32_t id);

// The longest URL and file path the library hands to the system: the system's URL parsing is
// not safe with URLs of thousands of characters, so a longer one is refused before it gets
// there and the request counts as not served. (The URL limit is the system's own documented
// maximum URL length; the path limit is the longest path its wide file functions accept.)
constexpr size_t MaxSystemURLLength = 2083;
constexpr size_t MaxSystemPathLength = 32767;
inline bool AcceptableSystemURL(const std::wstring& url) { return url.size() <= MaxSystemURLLength; }
inline bool AcceptableSystemPath(const std::wstring& path) { return path.size() <= MaxSystemPathLength; }
