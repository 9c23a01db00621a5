// Reports what the player library finds on this machine: the player module it mapped, and
// whether the controls can play with transparency.
#include <windows.h>

#include <cstdio>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "FlashPlayerControl/loader/CodeProvider.h"

int main() {
    OleInitialize(nullptr);
    uint32_t version = QueryFlashCodeVersion();
    std::printf("FlashPlayerControl information\n");
    std::printf("  library version:        %s\n", FLASHPLAYERCONTROL_VERSION);
    std::printf("  architecture:           %s\n", sizeof(void*) == 8 ? "x64 (PE32+)" : "x86 (PE32)");
    if (version == 0) {
        std::printf("  player module:          none found (no registered player class)\n");
    } else {
        std::printf("  player module:          version %u.%u.%u.%u, mapped by the library at %p\n",
                    version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF,
                    FlashCodeProvider && FlashCodeProvider->GetLoader() ? FlashCodeProvider->GetLoader()->ImageBase()
                                                                         : nullptr);
    }
    std::printf("  full-screen permission: %s\n", version >= FullScreenMinimumVersion() ? "passed on" : "withheld");
    std::printf("  system object creation: %s\n", FlashObjectAvailable() ? "available" : "not available");
    std::printf("  transparency:           %s\n", TransparencyAvailable() ? "available" : "not available");
    std::printf("  sounds:                 %s\n", GetSoundsEnabled() ? "enabled" : "disabled");
    OleUninitialize();
    return 0;
}
