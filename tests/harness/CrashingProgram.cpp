// Ends in an unhandled access violation after printing one line. The harness must report a
// run of it as failed: Wine sometimes leaves a crashed program's exit code at 0.
#include <cstdio>

int main() {
    std::puts("crashing now");
    std::fflush(stdout);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
