#pragma once

// Resource lookup and the packed product version over a mapped image's bytes (platform-free).

#include <cstdint>
#include <functional>
#include <string>

#include "FlashPlayerControl/loader/PEImage.h"

// Converts a stored UTF-16 resource name to the ANSI code page for comparison.
using TResourceNameConverter = std::function<std::string(const std::u16string&)>;

// True when a resource name argument is a 16-bit identifier rather than a string pointer.
inline bool IsResourceId(const char* name) {
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

struct TResourceData {
    const void* Data = nullptr;
    uint32_t Size = 0;
};

// Looks up type / name / language in the three-level resource tree. The first entry whose
// name matches is final: a missing language there is a miss, later names are not tried.
// Returns false when absent; raises EImageFormatError when the tree is malformed.
bool FindResourceEntry(const TImageBytes& image, const TImageHeaders& headers, uint16_t type,
                       const char* name, uint16_t language,
                       const TResourceNameConverter& toAnsi, TResourceData& result);

// Each part added at its byte position in 32-bit arithmetic: a part above 255 carries.
uint32_t PackProductVersion(uint32_t productVersionMS, uint32_t productVersionLS);

// The packed product version from a VS_VERSIONINFO block, 0 when it has no fixed part.
uint32_t ReadPackedProductVersion(const void* data, uint32_t size);
