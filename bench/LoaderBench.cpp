// Mapping a module with the library's loader against the system loading the same file: a
// small module and one the size of a real player module, each read from a file stream (as
// the code provider does) and from a memory stream.
#include <windows.h>

#include <cstring>

#include "Bench.h"
#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "framework/Streams.h"

namespace {

volatile uint8_t touchedSum;

// Reads one byte of every page of the module, as running code and reading its data does; a
// system that maps the file lazily pays for its pages here.
void TouchPages(HMODULE module) {
    const auto* base = reinterpret_cast<const volatile uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const uint8_t*>(module) + dos->e_lfanew);
    uint8_t sum = 0;
    for (DWORD at = 0; at < nt->OptionalHeader.SizeOfImage; at += 4096) sum += base[at];
    touchedSum = sum;
}

TMeasurement MapAgainstSystem(const char* fileName, bool fromMemory) {
    TMemoryStream memory;   // read once: the bytes are already in memory
    if (fromMemory) memory.LoadFromFile(fileName);
    const double library = BestMilliseconds([&] {
        TFlashOCXLoader loader;
        if (fromMemory) {
            loader.LoadModule(memory);
        } else {
            TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
            loader.LoadModule(file);
        }
    });
    const double system = BestMilliseconds([&] {
        HMODULE module = LoadLibraryA(fileName);
        FreeLibrary(module);
    });
    return {library, system};
}

// The system's load when the module is then used: every page read once.
TMeasurement TouchedAgainstSystem(const char* fileName) {
    const double library = BestMilliseconds([&] {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        TFlashOCXLoader loader;
        loader.LoadModule(file);
        TouchPages(static_cast<HMODULE>(loader.ImageBase()));
    });
    const double system = BestMilliseconds([&] {
        HMODULE module = LoadLibraryA(fileName);
        TouchPages(module);
        FreeLibrary(module);
    });
    return {library, system};
}

// The floor of any loader that copies the module into a block of its own: the bytes of the
// file copied once from memory into a new block.
TMeasurement CopyAgainstSystem(const char* fileName) {
    TMemoryStream memory;
    memory.LoadFromFile(fileName);
    const double copy = BestMilliseconds([&] {
        void* block = VirtualAlloc(nullptr, size_t(memory.Size()), MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        std::memcpy(block, memory.Memory(), size_t(memory.Size()));
        VirtualFree(block, 0, MEM_RELEASE);
    });
    const double system = BestMilliseconds([&] {
        HMODULE module = LoadLibraryA(fileName);
        FreeLibrary(module);
    });
    return {copy, system};
}

bool Exists(const char* fileName) { return GetFileAttributesA(fileName) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void AddLoaderBenchmarks() {
    if (!Exists(FPC_BENCH_BIG_MODULE) || !Exists(FPC_BENCH_MODULE)) {
        std::printf("loader benchmarks skipped: the bench modules are not built\n");
        return;
    }
    AddBenchmark("map 7.4 MiB module from a file stream", "LoadLibrary + FreeLibrary",
                 [] { return MapAgainstSystem(FPC_BENCH_BIG_MODULE, false); });
    AddBenchmark("map 7.4 MiB module from a memory stream", "LoadLibrary + FreeLibrary",
                 [] { return MapAgainstSystem(FPC_BENCH_BIG_MODULE, true); });
    AddBenchmark("map 7.4 MiB module, file stream, pages read", "LoadLibrary, pages read, FreeLibrary",
                 [] { return TouchedAgainstSystem(FPC_BENCH_BIG_MODULE); });
    AddBenchmark("copy 7.4 MiB into a new block (no module)", "LoadLibrary + FreeLibrary",
                 [] { return CopyAgainstSystem(FPC_BENCH_BIG_MODULE); });
    AddBenchmark("map small module from a file stream", "LoadLibrary + FreeLibrary",
                 [] { return MapAgainstSystem(FPC_BENCH_MODULE, false); });
}
