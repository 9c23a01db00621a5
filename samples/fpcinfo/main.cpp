// Reports what the player library can tell about this machine.
#include <windows.h>

#include <cstdio>

int main() {
    std::printf("FlashPlayerControl information\n");
    std::printf("  architecture: %s\n", sizeof(void*) == 8 ? "x64 (PE32+)" : "x86 (PE32)");
    return 0;
}
