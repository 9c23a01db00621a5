#include "FlashPlayerControl/loader/FlashOCXLoader.h"

#include <cstdint>
#include <cstring>

#include "FlashPlayerControl/content/FileHooks.h"
#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/ProcessHooks.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/loader/WindowHooks.h"

namespace {

struct TRedirection {
    const char* Name;
    void* Replacement;
};

template <typename Function>
void* Address(Function* function) { return reinterpret_cast<void*>(function); }

// Searched in this order; names compare exactly.
const TRedirection RedirectionTable[] = {
    {"CreateURLMoniker", Address(&MyCreateURLMoniker)},
    {"RegisterClassExA", Address(&MyRegisterClassExA)},
    {"RegisterClassA", Address(&MyRegisterClassA)},
    {"CreateWindowExA", Address(&MyCreateWindowExA)},
    {"LoadCursorA", Address(&MyLoadCursorA)},
    {"LoadMenuA", Address(&MyLoadMenuA)},
    {"waveOutWrite", Address(&MyWaveOutWrite)},
    {"waveOutOpen", Address(&MyWaveOutOpen)},
    {"waveOutClose", Address(&MyWaveOutClose)},
    {"FlushInstructionCache", Address(&MyFlushInstructionCache)},
    {"CreateFileA", Address(&MyCreateFileA)},
    {"VirtualAlloc", Address(&MyVirtualAlloc)},
    {"ReadFile", Address(&MyReadFile)},
    {"CloseHandle", Address(&MyCloseHandle)},
    {"GetFileSize", Address(&MyGetFileSize)},
    {"GetFileSizeEx", Address(&MyGetFileSizeEx)},
    {"SetFilePointer", Address(&MySetFilePointer)},
    {"SetFilePointerEx", Address(&MySetFilePointerEx)},
    {"CreateFileW", Address(&MyCreateFileW)},
    {"GetProcAddress", Address(&MyGetProcAddress)},
};

}  // namespace

void* TFlashOCXLoader::Redirection(const char* procName) {
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) return nullptr;
    for (const TRedirection& entry : RedirectionTable)
        if (std::strcmp(entry.Name, procName) == 0) return entry.Replacement;
    return nullptr;
}

int TFlashOCXLoader::RedirectionCount() {
    return static_cast<int>(sizeof(RedirectionTable) / sizeof(RedirectionTable[0]));
}

const char* TFlashOCXLoader::RedirectedName(int index) {
    return index >= 0 && index < RedirectionCount() ? RedirectionTable[index].Name : nullptr;
}

void* TFlashOCXLoader::ResolveImport(const char*, const char* procName) {
    // The library an import names does not matter: the same name is redirected from any.
    return Redirection(procName);
}
