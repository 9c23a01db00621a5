#include "FlashPlayerControl/content/BlockCopy.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

// Below this a thread costs more than it saves.
constexpr size_t SplitFrom = size_t(8) << 20;

bool SecondProcessor() {
    static const bool available = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwNumberOfProcessors > 1;
    }();
    return available;
}

}  // namespace

void CopyIntoNewMemory(void* to, const void* from, size_t count) {
    if (count < SplitFrom || !SecondProcessor()) {
        std::memcpy(to, from, count);
        return;
    }
    char* target = static_cast<char*>(to);
    // The halves meet on a page boundary of the target, so no page is faulted in by both.
    const uintptr_t middle = (reinterpret_cast<uintptr_t>(target) + count / 2) & ~uintptr_t(0xFFF);
    const size_t half = size_t(middle - reinterpret_cast<uintptr_t>(target));
    const char* source = static_cast<const char*>(from);
    std::thread helper;
    try {
        helper = std::thread([=] { std::memcpy(target + half, source + half, count - half); });
    } catch (const std::system_error&) {
        std::memcpy(target, source, count);
        return;
    }
    std::memcpy(target, source, half);
    helper.join();
}
