#pragma once

// A library-wide resource handler for module tests: it answers each URL found in servedFiles
// with that file's bytes and leaves every other request alone.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/Streams.h"

inline std::map<std::wstring, std::vector<uint8_t>>* servedFiles = nullptr;

inline void ServeURL(void*, const std::wstring& url, TStream* stream) {
    auto file = servedFiles->find(url);
    if (file != servedFiles->end()) stream->WriteBuffer(file->second.data(), static_cast<int32_t>(file->second.size()));
}
