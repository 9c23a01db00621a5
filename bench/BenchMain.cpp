#include <windows.h>

#include "Bench.h"
#include "FlashPlayerControl/loader/Library.h"

int main() {
    CoInitialize(nullptr);
    StartFlashPlayerLibrary();
    std::printf("benchmark                           library                       baseline\n");
    RunContentBenchmarks();
    RunLoaderBenchmarks();
    RunRenderBenchmarks();
    StopFlashPlayerLibrary();
    CoUninitialize();
    return 0;
}
