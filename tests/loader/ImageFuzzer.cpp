// libFuzzer target for the image parser: every input is loaded through the recording fake
// platform and, when it maps, searched for exports, resources and its version. Any input may
// raise an Exception; none may crash or touch memory outside its buffers.
#include <cstddef>
#include <cstdint>

#include "FlashPlayerControl/loader/DLLLoader.h"
#include "tests/loader/FakeLoaderPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    TFakeLoaderPlatform platform;
    platform.MaxBlockSize = 64 << 20;   // keeps hostile SizeOfImage values cheap
    TMemoryStream stream;
    if (size != 0) stream.WriteBuffer(data, int32_t(size));
    try {
        TDLLLoader loader(platform, AnyImageFormat);
        loader.LoadModule(stream);
        loader.FindExport("FixtureAdd");
        loader.FindExport("DllGetClassObject");
        const void* found = nullptr;
        uint32_t length = 0;
        FindImageResource(platform, loader.ImageBase(), 10, "FIXTUREDATA", 0x0409, found, length);
        FindImageResourceAnyLanguage(platform, loader.ImageBase(), 1, reinterpret_cast<const char*>(1),
                                     found, length);
        ReadImageVersion(platform, loader.ImageBase());
    } catch (const Exception&) {
    }
    return 0;
}
