// The redirection table: which names the loader hands the library's replacements.
#include "RedirectionTestSupport.h"

#include "FlashPlayerControl/content/FileHooks.h"
#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/ProcessHooks.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/loader/WindowHooks.h"

namespace {

struct Expected {
    const char* Name;
    void* Replacement;
};

template <typename F>
void* Address(F* f) { return reinterpret_cast<void*>(f); }

const Expected Table[] = {
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

TEST(RedirectionTable, HasTwentyEntriesInOrderEachWithItsReplacement) {
    ASSERT_EQ(TFlashOCXLoader::RedirectionCount(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_STREQ(TFlashOCXLoader::RedirectedName(i), Table[i].Name);
        EXPECT_EQ(TFlashOCXLoader::Redirection(Table[i].Name), Table[i].Replacement) << Table[i].Name;
    }
}

TEST(RedirectionTable, OtherSpellingsOrdinalsAndUnknownNamesAreNotRedirected) {
    EXPECT_EQ(TFlashOCXLoader::Redirection("getprocaddress"), nullptr);
    EXPECT_EQ(TFlashOCXLoader::Redirection("CreateFileA "), nullptr);
    EXPECT_EQ(TFlashOCXLoader::Redirection("Sleep"), nullptr);
    EXPECT_EQ(TFlashOCXLoader::Redirection(reinterpret_cast<const char*>(uintptr_t{1})), nullptr);
    EXPECT_EQ(TFlashOCXLoader::Redirection(reinterpret_cast<const char*>(uintptr_t{0xFFFF})), nullptr);
}

TEST(GetProcAddressReplacement, RedirectsTableNamesFromAnyModuleAndPassesTheRestToTheSystem) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    HMODULE user = GetModuleHandleA("user32.dll");
    EXPECT_EQ(reinterpret_cast<void*>(MyGetProcAddress(kernel, "GetProcAddress")), Address(&MyGetProcAddress));
    EXPECT_EQ(reinterpret_cast<void*>(MyGetProcAddress(user, "VirtualAlloc")), Address(&MyVirtualAlloc));
    EXPECT_EQ(MyGetProcAddress(kernel, "Sleep"), GetProcAddress(kernel, "Sleep"));
    EXPECT_EQ(MyGetProcAddress(kernel, "getprocaddress"), nullptr);
    // Lookups by ordinal always reach the system.
    LPCSTR ordinal = MAKEINTRESOURCEA(1);
    EXPECT_EQ(MyGetProcAddress(kernel, ordinal), GetProcAddress(kernel, ordinal));
}
