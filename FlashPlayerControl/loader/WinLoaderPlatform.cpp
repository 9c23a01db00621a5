#include <windows.h>

#include "FlashPlayerControl/loader/LoaderPlatform.h"

namespace {

using TModuleCallback = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

template <typename Function>
Function AsFunction(void* address) {
    return reinterpret_cast<Function>(reinterpret_cast<uintptr_t>(address));
}

class TSystemLoaderPlatform final : public TLoaderPlatform {
public:
    void* AllocateImageBlock(size_t size, void* preferredAddress) override {
        return VirtualAlloc(preferredAddress, size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    }
    void ReleaseImageBlock(void* block) override { VirtualFree(block, 0, MEM_RELEASE); }

    void* LoadDependency(const char* libraryName) override {
        return reinterpret_cast<void*>(LoadLibraryA(libraryName));
    }
    void* FindProcedure(void* library, const char* procName) override {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), procName));
    }
    void ReleaseDependency(void* library) override { FreeLibrary(static_cast<HMODULE>(library)); }

    uint32_t ThreadLocale() override { return GetThreadLocale(); }
    uint32_t SystemDefaultLocale() override { return GetSystemDefaultLCID(); }
    uint32_t UserDefaultLocale() override { return GetUserDefaultLCID(); }

    void CallEntryPoint(void* entryPoint, void* instance, uint32_t reason) override {
        AsFunction<TModuleCallback>(entryPoint)(static_cast<HINSTANCE>(instance), reason, nullptr);
    }
    void CallTlsCallback(void* callback, void* instance, uint32_t reason) override {
        AsFunction<PIMAGE_TLS_CALLBACK>(callback)(instance, reason, nullptr);
    }

    bool AddFunctionTable(void* table, uint32_t count, void* imageBase) override {
#ifdef _WIN64
        return RtlAddFunctionTable(static_cast<PRUNTIME_FUNCTION>(table), count,
                                   reinterpret_cast<DWORD64>(imageBase)) != FALSE;
#else
        (void)table, (void)count, (void)imageBase;
        return false;   // x86 images carry no function table
#endif
    }
    void DeleteFunctionTable(void* table) override {
#ifdef _WIN64
        RtlDeleteFunctionTable(static_cast<PRUNTIME_FUNCTION>(table));
#else
        (void)table;
#endif
    }

    std::string ResourceNameToAnsi(const std::u16string& name) override {
        if (name.empty()) return std::string();
        const auto* wide = reinterpret_cast<const wchar_t*>(name.data());
        const int length = static_cast<int>(name.size());
        const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        std::string text(bytes > 0 ? bytes : 0, '\0');
        if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, &text[0], bytes, nullptr, nullptr);
        return text;
    }
};

}  // namespace

TLoaderPlatform& SystemLoaderPlatform() {
    static TSystemLoaderPlatform platform;
    return platform;
}
