#include "FlashPlayerControl/loader/ProcessHooks.h"

#include <type_traits>

#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "FlashPlayerControl/loader/SystemCalls.h"

static_assert(std::is_same_v<decltype(&MyGetProcAddress), decltype(&::GetProcAddress)>);
static_assert(std::is_same_v<decltype(&MyVirtualAlloc), decltype(&::VirtualAlloc)>);
static_assert(std::is_same_v<decltype(&MyFlushInstructionCache), decltype(&::FlushInstructionCache)>);

FARPROC WINAPI MyGetProcAddress(HMODULE module, LPCSTR procName) {
    // The same table as the import binding, so a late lookup of a redirected name (even of
    // "GetProcAddress" itself) lands in the library's replacement, whatever module is named.
    if (void* replacement = TFlashOCXLoader::Redirection(procName))
        return reinterpret_cast<FARPROC>(replacement);
    return SystemCalls().GetProcAddress(module, procName);
}

LPVOID WINAPI MyVirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address && (protect & PAGE_GUARD)) {
        // No guard pages on memory the module names by address: the request covers the whole
        // region from that address that shares its attributes.
        protect &= ~static_cast<DWORD>(PAGE_GUARD);
        MEMORY_BASIC_INFORMATION info = {};
        if (SystemCalls().VirtualQuery(address, &info, sizeof(info)) == sizeof(info))
            size = info.RegionSize;
    }
    return SystemCalls().VirtualAlloc(address, size, allocationType, protect);
}

BOOL WINAPI MyFlushInstructionCache(HANDLE process, LPCVOID baseAddress, SIZE_T size) {
    // Code the module writes at run time is always executable once flushed.
    DWORD previous = 0;
    SystemCalls().VirtualProtect(const_cast<LPVOID>(baseAddress), size, PAGE_EXECUTE_READWRITE,
                                 &previous);
    return SystemCalls().FlushInstructionCache(process, baseAddress, size);
}
