// Guard pages and run-time code: what the memory replacements ask of the system.
#include "RedirectionTestSupport.h"

#include "FlashPlayerControl/loader/ProcessHooks.h"

namespace {

struct TAllocCall {
    LPVOID Address;
    SIZE_T Size;
    DWORD Type;
    DWORD Protect;
};
TAllocCall lastAlloc;
SIZE_T queriedRegionSize;
std::vector<std::string> memoryCalls;

LPVOID WINAPI FakeVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    lastAlloc = {address, size, type, protect};
    return reinterpret_cast<LPVOID>(uintptr_t{0x123000});
}
SIZE_T WINAPI FakeVirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T) {
    *info = {};
    info->BaseAddress = const_cast<LPVOID>(address);
    info->RegionSize = queriedRegionSize;
    return sizeof(*info);
}
BOOL WINAPI FakeVirtualProtect(LPVOID, SIZE_T, DWORD protect, PDWORD) {
    memoryCalls.push_back("protect " + std::to_string(protect));
    return FALSE;  // not examined
}
BOOL WINAPI FakeFlush(HANDLE, LPCVOID, SIZE_T size) {
    memoryCalls.push_back("flush " + std::to_string(size));
    return 7;
}

}  // namespace

TEST(VirtualAllocReplacement, KeepsGuardPagesOnlyForRequestsWithoutAnAddress) {
    TSystemCallsScope scope;
    SystemCalls().VirtualAlloc = FakeVirtualAlloc;
    SystemCalls().VirtualQuery = FakeVirtualQuery;
    queriedRegionSize = 0x5000;

    EXPECT_EQ(MyVirtualAlloc(nullptr, 0x1000, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD),
              reinterpret_cast<LPVOID>(uintptr_t{0x123000}));
    EXPECT_EQ(lastAlloc.Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD));
    EXPECT_EQ(lastAlloc.Size, 0x1000u);

    LPVOID address = reinterpret_cast<LPVOID>(uintptr_t{0x400000});
    MyVirtualAlloc(address, 0x1000, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
    EXPECT_EQ(lastAlloc.Address, address);
    EXPECT_EQ(lastAlloc.Protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_EQ(lastAlloc.Size, 0x5000u);
    EXPECT_EQ(lastAlloc.Type, static_cast<DWORD>(MEM_COMMIT));

    // Without the guard flag nothing changes, address or not.
    MyVirtualAlloc(address, 0x2000, MEM_COMMIT, PAGE_READONLY);
    EXPECT_EQ(lastAlloc.Size, 0x2000u);
    EXPECT_EQ(lastAlloc.Protect, static_cast<DWORD>(PAGE_READONLY));
}

TEST(VirtualAllocReplacement, RealGuardRequestOnCommittedMemoryGivesAccessibleMemory) {
    // On the real system: reserve, then commit with a guard flag by address; the memory must
    // be usable without a guard-page fault.
    void* reserved = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(reserved, nullptr);
    void* committed = MyVirtualAlloc(reserved, 0x1000, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
    ASSERT_EQ(committed, reserved);
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_EQ(VirtualQuery(committed, &info, sizeof(info)), sizeof(info));
    EXPECT_EQ(info.Protect & PAGE_GUARD, 0u);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    static_cast<volatile char*>(committed)[10] = 1;
    VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(FlushInstructionCacheReplacement, MakesTheRangeExecutableThenFlushes) {
    TSystemCallsScope scope;
    SystemCalls().VirtualProtect = FakeVirtualProtect;
    SystemCalls().FlushInstructionCache = FakeFlush;
    memoryCalls.clear();
    char code[16] = {};
    EXPECT_EQ(MyFlushInstructionCache(GetCurrentProcess(), code, sizeof(code)), 7);
    EXPECT_EQ(memoryCalls, (std::vector<std::string>{"protect 64", "flush 16"}));
}
