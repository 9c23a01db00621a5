// Mapping a module with the library's loader against the system loading the same file.
#include <windows.h>

#include "Bench.h"
#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "framework/Streams.h"

void RunLoaderBenchmarks() {
    TMemoryStream file;
    try {
        file.LoadFromFile(FPC_BENCH_MODULE);
    } catch (const Exception& error) {
        std::printf("loader benchmark skipped: %s\n", error.Message.c_str());
        return;
    }
    double mapped = BestMilliseconds([&] {
        TFlashOCXLoader loader;
        loader.LoadModule(file);
    });
    double system = BestMilliseconds([&] {
        HMODULE module = LoadLibraryA(FPC_BENCH_MODULE);
        FreeLibrary(module);
    });
    Report("map, bind, attach, detach a module", mapped, "LoadLibrary + FreeLibrary", system);
}
