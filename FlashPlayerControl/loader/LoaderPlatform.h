#pragma once

// Every system operation the module image loader needs, behind one interface: the real
// system on Windows, a recording fake in the host tests.

#include <cstddef>
#include <cstdint>
#include <string>

class TLoaderPlatform {
public:
    virtual ~TLoaderPlatform() = default;

    // One read-write-execute block for the whole image; preferredAddress null means anywhere.
    // Returns null when the block cannot be had (at that address).
    virtual void* AllocateImageBlock(size_t size, void* preferredAddress) = 0;
    virtual void ReleaseImageBlock(void* block) = 0;

    // LoadLibraryA / GetProcAddress / FreeLibrary. procName is a name pointer or, below
    // 0x10000, an ordinal.
    virtual void* LoadDependency(const char* libraryName) = 0;
    virtual void* FindProcedure(void* library, const char* procName) = 0;
    virtual void ReleaseDependency(void* library) = 0;

    // GetThreadLocale / GetSystemDefaultLCID / GetUserDefaultLCID.
    virtual uint32_t ThreadLocale() = 0;
    virtual uint32_t SystemDefaultLocale() = 0;
    virtual uint32_t UserDefaultLocale() = 0;

    // Calls a DllMain-shaped function of the module (entry point or TLS callback) as
    // fn(instance, reason, null) with the system's calling convention.
    virtual void CallEntryPoint(void* entryPoint, void* instance, uint32_t reason) = 0;
    virtual void CallTlsCallback(void* callback, void* instance, uint32_t reason) = 0;

    // RtlAddFunctionTable / RtlDeleteFunctionTable for PE32+ images.
    virtual bool AddFunctionTable(void* table, uint32_t count, void* imageBase) = 0;
    virtual void DeleteFunctionTable(void* table) = 0;

    // A stored UTF-16 resource name in the ANSI code page. This default maps ASCII only
    // (anything else becomes '?'); the system implementation uses the real code page.
    virtual std::string ResourceNameToAnsi(const std::u16string& name);
};

#ifdef _WIN32
// The real system; one instance for the process.
TLoaderPlatform& SystemLoaderPlatform();
#endif
