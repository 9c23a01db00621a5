// The loader core on hand-built PE32 and PE32+ images through the recording fake platform:
// layout, relocation, import binding, the entry point and TLS, exports, resources, and
// malformed images that must raise without touching memory outside the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "FlashPlayerControl/loader/DLLLoader.h"
#include "tests/loader/FakeLoaderPlatform.h"
#include "tests/loader/PeBuilder.h"

namespace {

const char* Ordinal(uintptr_t value) { return reinterpret_cast<const char*>(value); }

// Builds the image for the block the fake will hand out next, so it needs no relocation.
// PE32 bases are 32 bits; the loader's delta wraps at 32 bits for them.
void PlaceAtPreferredBase(TPeBuilder& b, TFakeLoaderPlatform& platform) {
    b.ImageBase = reinterpret_cast<uintptr_t>(platform.PrepareBlock(b.SizeOfImage));
    if (!b.Plus()) b.ImageBase = uint32_t(b.ImageBase);
}

std::string LowerCaseCopy(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

uint64_t ReadPointer(const void* at, bool plus) {
    uint64_t value = 0;
    std::memcpy(&value, at, plus ? 8 : 4);
    return value;
}

// A loader whose resolver serves one chosen function and records every question.
class TRecordingLoader : public TDLLLoader {
public:
    using TDLLLoader::TDLLLoader;
    std::vector<std::string> Questions;
    std::string Served;
    void* Replacement = reinterpret_cast<void*>(uintptr_t(0x12345670));

protected:
    void* ResolveImport(const char* libraryName, const char* procName) override {
        const std::string proc = TFakeLoaderPlatform::ProcText(procName);
        Questions.push_back(std::string(libraryName) + "!" + proc);
        return proc == Served ? Replacement : nullptr;
    }
};

class HandBuiltImage : public ::testing::TestWithParam<TImageFormat> {
protected:
    bool Plus() const { return GetParam() == ifPe32Plus; }

    void Load(TDLLLoader& loader, TPeBuilder& b) {
        FillStream(stream_, b.Build());
        loader.LoadModule(stream_);
    }

    uint8_t* Block(TDLLLoader& loader) { return static_cast<uint8_t*>(loader.ImageBase()); }

    TFakeLoaderPlatform platform_;
    TMemoryStream stream_;
};

INSTANTIATE_TEST_SUITE_P(Formats, HandBuiltImage, ::testing::Values(ifPe32, ifPe32Plus),
                         [](const auto& info) { return info.param == ifPe32Plus ? "Pe32Plus" : "Pe32"; });

// --- Layout ---------------------------------------------------------------------------------

TEST_P(HandBuiltImage, LaysOutSectionsInOneBlockWithZeroTailsAndEmptySections) {
    TPeBuilder b(GetParam());
    b.SizeOfImage = 0x5000;
    b.Sections = {{".short", 0x800, 0x1000, 0x200, 0x1000},    // raw data shorter than memory
                  {".empty", 0, 0x2000, 0x200, 0x1400},        // VirtualSize 0: occupies nothing
                  {".full", 0x100, 0x3000, 0x200, 0x1800}};    // raw data longer: cut at 0x100
    b.File.assign(0x2000, 0xEE);
    for (uint32_t i = 0; i < 0x200; ++i) b.File[0x1000 + i] = 0xAB, b.File[0x1400 + i] = 0xCD;
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);

    uint8_t* image = Block(loader);
    EXPECT_EQ(platform_.Log.front(), "allocate 20480");   // exactly one block of SizeOfImage
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[b.NtOffset], 'P');
    EXPECT_EQ(image[0x1000], 0xAB);
    EXPECT_EQ(image[0x11FF], 0xAB);
    EXPECT_EQ(image[0x1200], 0x00) << "tail past the raw data is zero";
    EXPECT_EQ(image[0x17FF], 0x00);
    EXPECT_EQ(image[0x2000], 0x00) << "a section of VirtualSize 0 gets no data";
    EXPECT_EQ(image[0x30FF], 0xEE);
    EXPECT_EQ(image[0x3100], 0x00) << "copy stops at VirtualSize";
}

// --- Relocation -----------------------------------------------------------------------------

TEST_P(HandBuiltImage, AppliesEachRelocationTypeWithTheBlockDelta) {
    TPeBuilder b(GetParam());
    const uint32_t wide = 0x1100, high = 0x1110, low = 0x1114, absolute = 0x1118, highLow = 0x1120;
    b.PutPointer(wide, b.ImageBase + 0x1234);
    b.Put32(highLow, uint32_t(b.ImageBase) + 0x40);
    b.Put16(high, 0x1000);
    b.Put16(low, 0x0010);
    b.Put32(absolute, 0xCAFEBABE);
    const uint16_t wideType = Plus() ? PE::RelocationDir64 : PE::RelocationHighLow;
    const uint32_t relocs = 0x2000;
    b.Put32(relocs, 0x1000);
    b.Put32(relocs + 4, 8 + 2 * 6);
    b.Put16(relocs + 8, uint16_t(wideType << 12 | 0x100));
    b.Put16(relocs + 10, uint16_t(PE::RelocationHigh << 12 | 0x110));
    b.Put16(relocs + 12, uint16_t(PE::RelocationLow << 12 | 0x114));
    b.Put16(relocs + 14, uint16_t(PE::RelocationAbsolute << 12 | 0x118));
    b.Put16(relocs + 16, uint16_t(PE::RelocationHighLow << 12 | 0x120));
    b.Put16(relocs + 18, 0);   // padding entry
    b.SetDirectory(PE::BaseRelocationDirectory, relocs, 20);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);

    uint8_t* image = Block(loader);
    const uint64_t base = reinterpret_cast<uintptr_t>(image);
    const uint64_t delta = Plus() ? base - b.ImageBase : uint32_t(base - b.ImageBase);
    ASSERT_NE(delta, 0u);
    EXPECT_EQ(ReadPointer(image + wide, Plus()), Plus() ? base + 0x1234 : uint32_t(base + 0x1234));
    uint16_t h, l;
    uint32_t a, hl;
    std::memcpy(&h, image + high, 2);
    std::memcpy(&l, image + low, 2);
    std::memcpy(&a, image + absolute, 4);
    std::memcpy(&hl, image + highLow, 4);
    EXPECT_EQ(h, uint16_t(0x1000 + (delta >> 16)));
    EXPECT_EQ(l, uint16_t(0x0010 + delta));
    EXPECT_EQ(a, 0xCAFEBABEu);
    EXPECT_EQ(hl, uint32_t(b.ImageBase + 0x40 + delta));
}

TEST_P(HandBuiltImage, AtThePreferredBaseRelocationChangesNothing) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    b.PutPointer(0x1100, 0x11223344);
    b.Put32(0x2000, 0x1000);
    b.Put32(0x2004, 10);
    b.Put16(0x2008, uint16_t((Plus() ? PE::RelocationDir64 : PE::RelocationHighLow) << 12 | 0x100));
    b.SetDirectory(PE::BaseRelocationDirectory, 0x2000, 10);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    EXPECT_EQ(ReadPointer(Block(loader) + 0x1100, Plus()), 0x11223344u);
}

TEST_P(HandBuiltImage, RefusesBadRelocationsAndReleasesTheBlock) {
    struct TCase {
        const char* what;
        uint16_t entry;
        uint32_t blockSize, directorySize;
        const char* message;
    } cases[] = {
        {"unknown type", uint16_t(5 << 12 | 0x10), 10, 10, "Unsupported relocation type 5"},
        {"SizeOfBlock below 8", 0, 4, 10, "invalid SizeOfBlock"},
        {"SizeOfBlock past the directory", 0, 64, 10, "invalid SizeOfBlock"},
        {"header cut by the directory", 0, 10, 14, "runs past the relocation directory"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        b.Put32(0x2000, 0x1000);
        b.Put32(0x2004, c.blockSize);
        b.Put16(0x2008, c.entry);
        b.SetDirectory(PE::BaseRelocationDirectory, 0x2000, c.directorySize);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(platform.LiveBlocks(), 0u);
        EXPECT_EQ(loader.ImageBase(), nullptr);
    }
}

TEST_P(HandBuiltImage, RelocationsAndImportSlotsInTheHeadersAreRefused) {
    const uint16_t wideType = Plus() ? PE::RelocationDir64 : PE::RelocationHighLow;
    {
        // A fix-up aimed at SizeOfImage in the optional header would widen the image.
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        b.Put32(0x2000, 0);
        b.Put32(0x2004, 10);
        b.Put16(0x2008, uint16_t(wideType << 12 | (b.OptionalHeader() + 56)));
        b.SetDirectory(PE::BaseRelocationDirectory, 0x2000, 10);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find("lands in the image headers"), std::string::npos) << e.what();
        }
        EXPECT_EQ(platform.LiveBlocks(), 0u);
    }
    {
        // Names from OriginalFirstThunk, addresses written at FirstThunk inside the headers.
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        PlaceAtPreferredBase(b, platform);
        uint32_t strings = 0x3000;
        WriteImport(b, 0x2000, "LIB.dll", {"Func"}, 0x2100, 0x2200, strings, 1);
        b.Put32(0x2000 + 0x10, 0x200);
        b.SetDirectory(PE::ImportDirectory, 0x2000, 40);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find("lies in the image headers"), std::string::npos) << e.what();
        }
        EXPECT_EQ(platform.LiveBlocks(), 0u);
        EXPECT_EQ(platform.OpenLibraries(), 0u);
    }
}

TEST_P(HandBuiltImage, LookupsInAMappedImageKeepToTheBlockWhateverItsHeadersSayLater) {
    TPeBuilder b(GetParam());
    WriteResources(b, 0x2000, {{10, "#1", 0, "kept"}});
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    uint8_t* image = Block(loader);
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(FindImageResource(platform_, image, 10, Ordinal(1), 0, data, size));

    // The module's code rewrites its headers: a far larger image, the resource directory moved.
    const uint32_t opt = b.OptionalHeader();
    const uint32_t hugeSize = 0x01000000;
    std::memcpy(image + opt + 56, &hugeSize, 4);
    const uint32_t movedRoot = 0x3000;
    std::memcpy(image + opt + (Plus() ? 112 : 96) + 2 * 8, &movedRoot, 4);
    EXPECT_TRUE(FindImageResource(platform_, image, 10, Ordinal(1), 0, data, size));
    EXPECT_EQ(std::string(static_cast<const char*>(data), size), "kept");

    // A data entry now pointing past the block is a malformed image, not a read outside it.
    const uint32_t dataEntry = 0x2000 + 16 + 8 + 16 + 8 + 16 + 8;
    const uint32_t outside = 0x8000;
    std::memcpy(image + dataEntry, &outside, 4);
    EXPECT_THROW(FindImageResource(platform_, image, 10, Ordinal(1), 0, data, size), EImageFormatError);
}

TEST_P(HandBuiltImage, AbsurdSizeOfImageIsRefusedBeforeAnythingIsCommitted) {
    struct TCase {
        const char* what;
        uint32_t sizeOfImage, sectionSize;
        const char* message;
    } cases[] = {
        {"over 1 GiB", 0x7FFFF000, 0x3000, "exceeds the 1 GiB"},
        {"over 1 GiB, all of it a section", 0x50000000, 0x4FFFF000, "exceeds the 1 GiB"},
        {"far beyond the sections", 0x04000000, 0x3000, "far larger than"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        b.SizeOfImage = c.sizeOfImage;
        b.Sections[0].VirtualSize = c.sectionSize;
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_TRUE(platform.Log.empty()) << "nothing allocated, nothing loaded";
    }
    // A bss tail beyond the raw data is ordinary and still loads.
    TPeBuilder b(GetParam());
    b.SizeOfImage = 0x00400000;
    b.Sections[0].VirtualSize = 0x003FF000;
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    EXPECT_NE(loader.ImageBase(), nullptr);
}

TEST_P(HandBuiltImage, ModuleWithoutRelocationsLoadsOnlyAtItsPreferredBase) {
    {
        TPeBuilder b(GetParam());   // no relocation directory
        TRecordingLoader loader(platform_, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EModuleLoadError& e) {
            EXPECT_NE(std::string(e.what()).find("no relocation information"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("0x10000000"), std::string::npos);
        }
        EXPECT_EQ(platform_.PreferredAddresses.at(0), reinterpret_cast<void*>(uintptr_t(0x10000000)));
        EXPECT_EQ(platform_.LiveBlocks(), 0u);
    }
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    EXPECT_NE(loader.ImageBase(), nullptr);
}

// --- Imports --------------------------------------------------------------------------------

class HandBuiltImports : public HandBuiltImage {
protected:
    // LIBA.dll: by name, by ordinal, a missing function; LIBB.dll (missing) by name;
    // LIBC.dll with a time stamp, names from OriginalFirstThunk.
    TPeBuilder Build() {
        TPeBuilder b(GetParam());
        PlaceAtPreferredBase(b, platform_);
        uint32_t strings = 0x3000;
        WriteImport(b, 0x1000, "C:\\dlls\\LIBA.dll", {"Alpha", "#42", "Gone"}, 0x1100, 0x1200, strings);
        WriteImport(b, 0x1014, "LIBB.dll", {"Beta"}, 0x1300, 0x1400, strings);
        WriteImport(b, 0x1028, "LIBC.dll", {"Gamma"}, 0x1500, 0x1600, strings, 0xFFFFFFFF);
        b.SetDirectory(PE::ImportDirectory, 0x1000, 0x50);
        return b;
    }
    uint64_t Slot(TDLLLoader& loader, uint32_t rva) { return ReadPointer(Block(loader) + rva, Plus()); }
    uint64_t Fake(const std::string& key) {
        return reinterpret_cast<uintptr_t>(platform_.ProcedureAddress(key));
    }
};

INSTANTIATE_TEST_SUITE_P(Formats, HandBuiltImports, ::testing::Values(ifPe32, ifPe32Plus),
                         [](const auto& info) { return info.param == ifPe32Plus ? "Pe32Plus" : "Pe32"; });

TEST_P(HandBuiltImports, BindsByNameAndOrdinalAskingTheResolverFirst) {
    platform_.MissingLibraries = {"LIBB.dll"};
    platform_.MissingProcedures = {"C:\\dlls\\LIBA.dll!Gone"};
    TPeBuilder b = Build();
    TRecordingLoader loader(platform_, AnyImageFormat);
    loader.Served = "Gamma";
    Load(loader, b);

    EXPECT_EQ(loader.Questions, (std::vector<std::string>{"C:\\dlls\\LIBA.dll!Alpha", "C:\\dlls\\LIBA.dll!#42",
                                                          "C:\\dlls\\LIBA.dll!Gone", "LIBB.dll!Beta",
                                                          "LIBC.dll!Gamma"}));
    EXPECT_EQ(Slot(loader, 0x1200), Fake("C:\\dlls\\LIBA.dll!Alpha"));
    EXPECT_EQ(Slot(loader, 0x1200 + b.PointerSize()), Fake("C:\\dlls\\LIBA.dll!#42"));
    EXPECT_EQ(Slot(loader, 0x1200 + 2 * b.PointerSize()), 0u) << "missing function binds to null";
    EXPECT_EQ(Slot(loader, 0x1400), 0u) << "missing library binds to null";
    EXPECT_EQ(Slot(loader, 0x1600), 0x12345670u) << "the resolver's answer wins";
    EXPECT_FALSE(platform_.Logged("lookup LIBC.dll!Gamma"));

    // Ordinal imports are not recorded; name imports are, even when the resolver served them.
    const TImportedFunctions& imports = loader.Imports();
    ASSERT_EQ(imports.Count(), 4u);
    EXPECT_EQ(imports[0].LibraryName, "LIBA.dll");
    EXPECT_EQ(imports[0].FunctionName, "Alpha");
    EXPECT_EQ(imports[0].Slot, Block(loader) + 0x1200);
    EXPECT_EQ(imports[1].FunctionName, "Gone");
    EXPECT_EQ(imports[2].FunctionName, "Beta");
    EXPECT_EQ(imports[3].FunctionName, "Gamma");
    EXPECT_EQ(imports[3].Slot, Block(loader) + 0x1600);
    EXPECT_EQ(loader.LoadedLibraries().size(), 2u) << "the missing library is not recorded";
}

TEST_P(HandBuiltImports, UnloadFreesLibrariesInLoadOrderThenTheBlock) {
    TPeBuilder b = Build();
    {
        TRecordingLoader loader(platform_, AnyImageFormat);
        Load(loader, b);
        platform_.Log.clear();
    }
    EXPECT_EQ(platform_.Log, (std::vector<std::string>{"free C:\\dlls\\LIBA.dll", "free LIBB.dll",
                                                       "free LIBC.dll", "release block"}));
    EXPECT_EQ(platform_.OpenLibraries(), 0u);
    EXPECT_EQ(platform_.LiveBlocks(), 0u);
}

TEST_P(HandBuiltImports, FailureAfterBindingReleasesLibrariesAndBlock) {
    TPeBuilder b = Build();
    // A TLS directory whose callback table lies outside the image: found after binding.
    b.PutPointer(0x2000 + 3 * b.PointerSize(), b.ImageBase + 0x900000);
    b.SetDirectory(PE::TlsDirectory, 0x2000, Plus() ? 40 : 24);
    b.EntryPoint = 0x1800;
    TRecordingLoader loader(platform_, AnyImageFormat);
    FillStream(stream_, b.Build());
    EXPECT_THROW(loader.LoadModule(stream_), EImageFormatError);
    EXPECT_TRUE(platform_.Logged("load LIBC.dll"));
    EXPECT_EQ(platform_.OpenLibraries(), 0u);
    EXPECT_EQ(platform_.LiveBlocks(), 0u);
    EXPECT_TRUE(platform_.ModuleCalls.empty()) << "no entry point after a failed load";
    EXPECT_EQ(loader.Imports().Count(), 0u) << "no records pointing into a released block";
}

TEST_P(HandBuiltImports, FailedAllocationRaisesWithNothingLoaded) {
    platform_.AllocationsBeforeFailure = 0;
    TPeBuilder b = Build();
    b.Put32(0x2000, 0x1000);
    b.Put32(0x2004, 8);
    b.SetDirectory(PE::BaseRelocationDirectory, 0x2000, 8);
    TRecordingLoader loader(platform_, AnyImageFormat);
    FillStream(stream_, b.Build());
    EXPECT_THROW(loader.LoadModule(stream_), EModuleLoadError);
    EXPECT_FALSE(platform_.Logged("load LIBC.dll"));
    EXPECT_EQ(platform_.LiveBlocks(), 0u);
}

// --- Entry point and TLS --------------------------------------------------------------------

TEST_P(HandBuiltImage, TlsCallbacksThenEntryPointAtAttachAndDetach) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    const uint32_t w = b.PointerSize();
    b.PutPointer(0x2000 + 3 * w, b.ImageBase + 0x2100);   // AddressOfCallBacks
    b.PutPointer(0x2100, b.ImageBase + 0x1500);
    b.PutPointer(0x2100 + w, b.ImageBase + 0x1600);
    b.SetDirectory(PE::TlsDirectory, 0x2000, Plus() ? 40 : 24);
    b.EntryPoint = 0x1700;
    TRecordingLoader* loader = new TRecordingLoader(platform_, AnyImageFormat);
    void* baseDuringAttach = reinterpret_cast<void*>(1);
    void* exportDuringAttach = reinterpret_cast<void*>(1);
    platform_.OnModuleCall = [&](const TFakeLoaderPlatform::TModuleCall& call) {
        if (call.Kind == "entry" && call.Reason == PE::DllProcessAttach) {
            baseDuringAttach = loader->ImageBase();
            exportDuringAttach = loader->FindExport("Anything");
        }
    };
    Load(*loader, b);
    uint8_t* image = Block(*loader);
    delete loader;

    ASSERT_EQ(platform_.ModuleCalls.size(), 6u);
    const std::pair<const char*, uint32_t> expected[] = {{"tls", 0x1500}, {"tls", 0x1600}, {"entry", 0x1700},
                                                         {"tls", 0x1500}, {"tls", 0x1600}, {"entry", 0x1700}};
    for (size_t i = 0; i < 6; ++i) {
        const auto& call = platform_.ModuleCalls[i];
        EXPECT_EQ(call.Kind, expected[i].first) << i;
        EXPECT_EQ(call.Address, image + expected[i].second) << i;
        EXPECT_EQ(call.Instance, image) << i;
        EXPECT_EQ(call.Reason, i < 3 ? PE::DllProcessAttach : PE::DllProcessDetach) << i;
    }
    EXPECT_EQ(baseDuringAttach, nullptr) << "ImageBase is set only after the attach call";
    EXPECT_EQ(exportDuringAttach, nullptr);
}

TEST_P(HandBuiltImage, ThreadDataTemplatesAreRefusedUnlessOnlyTheRuntimesMarkers) {
    const uint32_t w = Plus() ? 8 : 4;
    struct TCase {
        uint32_t rawSize, zeroFill;
        uint8_t firstByte;
        bool loads;
    };
    // One pointer of zeros is what the runtime's start and end markers leave behind.
    const TCase cases[] = {{w, 0, 0, true}, {w, 0, 7, false}, {2 * w, 0, 0, false},
                           {0, 4, 0, false}, {0, 0, 0, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.rawSize) + "/" + std::to_string(c.zeroFill));
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        PlaceAtPreferredBase(b, platform);
        b.EntryPoint = 0x1700;
        b.PutPointer(0x2000, b.ImageBase + 0x2200);               // StartAddressOfRawData
        b.PutPointer(0x2000 + w, b.ImageBase + 0x2200 + c.rawSize);   // EndAddressOfRawData
        b.Put32(0x2000 + 4 * w, c.zeroFill);
        b.PutPointer(0x2000 + 3 * w, b.ImageBase + 0x2100);       // AddressOfCallBacks
        b.PutPointer(0x2100, b.ImageBase + 0x1500);
        b.File[0x2200] = c.firstByte;
        b.SetDirectory(PE::TlsDirectory, 0x2000, Plus() ? 40 : 24);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        if (c.loads) {
            EXPECT_NO_THROW(loader.LoadModule(stream_));
            EXPECT_EQ(platform.ModuleCalls.size(), 2u) << "the callback, then the entry point";
        } else {
            EXPECT_THROW(loader.LoadModule(stream_), EImageFormatError);
            EXPECT_TRUE(platform.ModuleCalls.empty());
            EXPECT_EQ(platform.LiveBlocks(), 0u);
        }
    }
}

TEST_P(HandBuiltImage, NoEntryPointMeansNoCalls) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    { TRecordingLoader loader(platform_, AnyImageFormat); Load(loader, b); }
    EXPECT_TRUE(platform_.ModuleCalls.empty());
}

TEST_P(HandBuiltImage, RegistersTheFunctionTableOfPe32PlusOnlyAndRemovesItAtUnload) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    for (uint32_t i = 0; i < 3; ++i) {   // three functions sharing one unwind record
        b.Put32(0x2000 + 12 * i, 0x1000 + 0x40 * i);
        b.Put32(0x2000 + 12 * i + 4, 0x1040 + 0x40 * i);
        b.Put32(0x2000 + 12 * i + 8, 0x2100);
    }
    b.SetDirectory(PE::ExceptionDirectory, 0x2000, 3 * PE::RuntimeFunctionSize);
    b.EntryPoint = 0x1000;
    {
        TRecordingLoader loader(platform_, AnyImageFormat);
        Load(loader, b);
        EXPECT_EQ(platform_.FunctionTablesRegistered, Plus() ? 1 : 0);
        if (Plus()) {
            // Registered before the entry point runs.
            EXPECT_EQ(platform_.Log[1], "add function table 3");
            EXPECT_EQ(platform_.Log[2], "entry 1");
        }
    }
    EXPECT_EQ(platform_.FunctionTablesRegistered, 0);
    if (!Plus()) return;
    TFakeLoaderPlatform refusing;
    refusing.AcceptFunctionTable = false;
    TRecordingLoader loader(refusing, AnyImageFormat);
    FillStream(stream_, b.Build());
    EXPECT_THROW(loader.LoadModule(stream_), EModuleLoadError);
    EXPECT_EQ(refusing.LiveBlocks(), 0u);
}

TEST_P(HandBuiltImage, ExceptionDirectoryEntriesOutsideTheImageAreRefused) {
    if (!Plus()) GTEST_SKIP() << "PE32 images have no exception directory to register";
    struct TCase {
        const char* what;
        uint32_t begin, end, unwind;
        uint8_t unwindCodes;
    } cases[] = {
        {"begin after end", 0x1100, 0x1000, 0x2100, 0},
        {"empty range", 0x1000, 0x1000, 0x2100, 0},
        {"end past the image", 0x1000, 0x5000, 0x2100, 0},
        {"unwind data past the image", 0x1000, 0x1040, 0x3FFE, 0},
        {"unwind codes past the image", 0x1000, 0x1040, 0x3FF8, 8},
        {"chained entry past the image", 0x1000, 0x1040, 0x3FF9, 0},
        {"unwind address far outside", 0x1000, 0x1040, 0x7FFFFFF0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        PlaceAtPreferredBase(b, platform);
        b.Put32(0x2000, 0x1000);   // a good first entry
        b.Put32(0x2004, 0x1010);
        b.Put32(0x2008, 0x2100);
        b.Put32(0x200C, c.begin);
        b.Put32(0x2010, c.end);
        b.Put32(0x2014, c.unwind);
        if ((c.unwind & ~1u) + 3 < 0x4000) b.File[(c.unwind & ~1u) + 2] = c.unwindCodes;
        b.SetDirectory(PE::ExceptionDirectory, 0x2000, 2 * PE::RuntimeFunctionSize);
        b.EntryPoint = 0x1000;
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find("Exception directory entry 1"), std::string::npos) << e.what();
        }
        EXPECT_EQ(platform.FunctionTablesRegistered, 0);
        EXPECT_TRUE(platform.ModuleCalls.empty());
        EXPECT_EQ(platform.LiveBlocks(), 0u);
    }
}

// --- Exports --------------------------------------------------------------------------------

TEST_P(HandBuiltImage, FindsExportsExactlyAndResolvesForwarders) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    // Forwarder texts live inside the export directory's range.
    const uint32_t dir = 0x2000;
    b.PutString(0x2F00, "OTHER.Target");
    b.PutString(0x2F20, "OTHER.#12");
    b.PutString(0x2F40, "MISSING.Thing");
    b.PutString(0x2F60, "NODOT");
    WriteExports(b, dir, {{"Code", 0x1234}, {"FwdName", 0x2F00}, {"FwdOrdinal", 0x2F20},
                          {"FwdMissing", 0x2F40}, {"FwdBroken", 0x2F60}, {"Zero", 0}});
    b.SetDirectory(PE::ExportDirectory, dir, 0x1000);
    platform_.MissingLibraries = {"MISSING.dll"};
    auto owner = std::make_unique<TRecordingLoader>(platform_, AnyImageFormat);
    TRecordingLoader& loader = *owner;
    EXPECT_EQ(loader.FindExport("Code"), nullptr) << "before a load";
    Load(loader, b);

    EXPECT_EQ(loader.FindExport("Code"), Block(loader) + 0x1234);
    EXPECT_EQ(loader.FindExport("code"), nullptr);
    EXPECT_EQ(loader.FindExport("Cod"), nullptr);
    EXPECT_EQ(loader.FindExport("Zero"), nullptr);
    EXPECT_EQ(loader.FindExport("FwdName"), platform_.ProcedureAddress("OTHER.dll!Target"));
    EXPECT_EQ(loader.FindExport("FwdOrdinal"), platform_.ProcedureAddress("OTHER.dll!#12"));
    EXPECT_EQ(loader.FindExport("FwdMissing"), nullptr);
    EXPECT_EQ(loader.FindExport("FwdBroken"), nullptr);
    EXPECT_EQ(platform_.OpenLibraries(), 1u);
    owner.reset();
    EXPECT_EQ(platform_.OpenLibraries(), 0u) << "forwarder libraries are freed at unload";
}

TEST_P(HandBuiltImage, ForwardersHoldOneReferencePerLibraryAndResolveSelfReferencesInside) {
    TPeBuilder b(GetParam());
    PlaceAtPreferredBase(b, platform_);
    const uint32_t dir = 0x2000;
    b.PutString(0x2F00, "OTHER.Target");
    b.PutString(0x2F20, "other.Second");
    b.PutString(0x2F40, "SELF.Code");
    b.PutString(0x2F60, "self.#1");
    b.PutString(0x2F80, "SELF.Missing");
    b.PutString(0x2FA0, "SELF.Loop");
    b.PutString(0x2FC0, "Self.dll");
    WriteExports(b, dir, {{"Code", 0x1234}, {"FwdOther", 0x2F00}, {"FwdOtherAgain", 0x2F20},
                          {"FwdSelf", 0x2F40}, {"FwdSelfOrdinal", 0x2F60},
                          {"FwdSelfMissing", 0x2F80}, {"Loop", 0x2FA0}});
    b.SetDirectory(PE::ExportDirectory, dir, 0x1000);
    b.Put32(dir + 0x0C, 0x2FC0);   // the module's own name
    b.Put32(dir + 0x10, 1);        // ordinal base: "Code" is ordinal 1
    auto owner = std::make_unique<TRecordingLoader>(platform_, AnyImageFormat);
    Load(*owner, b);

    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(owner->FindExport("FwdOther"), platform_.ProcedureAddress("OTHER.dll!Target"));
        EXPECT_EQ(owner->FindExport("FwdOtherAgain"), platform_.ProcedureAddress("OTHER.dll!Second"));
    }
    const auto loads = std::count_if(platform_.Log.begin(), platform_.Log.end(), [](const std::string& line) {
        return line.rfind("load ", 0) == 0;
    });
    EXPECT_EQ(loads, 1) << "one reference for OTHER, however it is spelt and however often asked";

    EXPECT_EQ(owner->FindExport("FwdSelf"), Block(*owner) + 0x1234);
    EXPECT_EQ(owner->FindExport("FwdSelfOrdinal"), Block(*owner) + 0x1234);
    EXPECT_EQ(owner->FindExport("FwdSelfMissing"), nullptr);
    EXPECT_EQ(owner->FindExport("Loop"), nullptr);
    for (const std::string& line : platform_.Log)
        EXPECT_EQ(LowerCaseCopy(line).find("load self"), std::string::npos) << "never a file of its own name";
    owner.reset();
    EXPECT_EQ(platform_.OpenLibraries(), 0u);
}

// --- Resources and version ------------------------------------------------------------------

TEST_P(HandBuiltImage, FindsResourcesByIdAndExactNameWithTheLanguageFallBack) {
    TPeBuilder b(GetParam());
    std::string version(38, '\0');
    const uint32_t fixed[] = {0xFEEF04BD, 0x10000, 0x50006, 0x70008, 0x10002, 0x012C0004};
    version.append(reinterpret_cast<const char*>(fixed), sizeof fixed);
    version.append(0x34 - sizeof fixed, '\0');
    WriteResources(b, 0x2000, {{10, "MOVIE", 0x0409, "us-only"},
                               {10, "#7", 0, "neutral"},
                               {10, "#7", 0x0409, "english"},
                               {10, "#8", 0x0407, "german"},
                               {16, "#1", 0x0409, version}});
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    const void* image = loader.ImageBase();
    const void* data = nullptr;
    uint32_t size = 0;
    auto text = [&] { return std::string(static_cast<const char*>(data), size); };

    EXPECT_TRUE(FindImageResource(platform_, image, 10, "MOVIE", 0x0409, data, size));
    EXPECT_EQ(text(), "us-only");
    EXPECT_FALSE(FindImageResource(platform_, image, 10, "movie", 0x0409, data, size));
    EXPECT_FALSE(FindImageResource(platform_, image, 10, "MOVIE", 0, data, size));
    EXPECT_FALSE(FindImageResource(platform_, image, 11, Ordinal(7), 0, data, size));

    // Thread, system and user locales (German, French, Italian) all miss; neutral comes first.
    platform_.Log.clear();
    EXPECT_TRUE(FindImageResourceAnyLanguage(platform_, image, 10, "MOVIE", data, size));
    EXPECT_EQ(text(), "us-only");
    EXPECT_EQ(platform_.Log, (std::vector<std::string>{"thread locale", "system locale", "user locale"}));
    EXPECT_TRUE(FindImageResourceAnyLanguage(platform_, image, 10, Ordinal(7), data, size));
    EXPECT_EQ(text(), "neutral");
    EXPECT_TRUE(FindImageResourceAnyLanguage(platform_, image, 10, Ordinal(8), data, size));
    EXPECT_EQ(text(), "german") << "the thread locale is tried first";
    platform_.ThreadLocaleId = 0x10409;   // compared through its low 16 bits
    EXPECT_TRUE(FindImageResourceAnyLanguage(platform_, image, 10, Ordinal(7), data, size));
    EXPECT_EQ(text(), "english");

    EXPECT_EQ(ReadImageVersion(platform_, image), 0x01032C04u) << "product 1.2.300.4, not file 5.6.7.8";
}

TEST(ImageVersion, PacksEachPartAtItsBytePositionWithCarry) {
    EXPECT_EQ(PackProductVersion(0x00010002, 0x012C0004), 0x01032C04u);   // 1.2.300.4
    EXPECT_EQ(PackProductVersion(0x000A0000, 0x002D0002), 0x0A002D02u);   // 10.0.45.2
    EXPECT_EQ(PackProductVersion(0x00090000, 0x001C0000), 0x09001C00u);   // 9.0.28.0
}

TEST_P(HandBuiltImage, ImageWithoutVersionResourceHasVersionZero) {
    TPeBuilder b(GetParam());
    WriteResources(b, 0x2000, {{10, "#1", 0, "x"}});
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    EXPECT_EQ(ReadImageVersion(platform_, loader.ImageBase()), 0u);
}

TEST_P(HandBuiltImage, MalformedResourceTreesRaiseInsteadOfReadingAstray) {
    struct TCase {
        const char* what;
        std::function<void(TPeBuilder&)> corrupt;
    } cases[] = {
        {"type entry points back at the root",
         [](TPeBuilder& b) { b.Put32(0x2000 + 16 + 4, 0x80000000u); }},
        {"huge entry count", [](TPeBuilder& b) { b.Put16(0x2000 + 0x0E, 0xFFFF); }},
        {"subdirectory outside the image", [](TPeBuilder& b) { b.Put32(0x2000 + 16 + 4, 0x80FFFFF0u); }},
        {"type entry leads to data", [](TPeBuilder& b) { b.Put32(0x2000 + 16 + 4, 0x10); }},
        {"data outside the image", [](TPeBuilder& b) { b.Put32(0x2000 + 0x48 + 4, 0x7FFFFFFF); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        WriteResources(b, 0x2000, {{16, "#1", 0, "abc"}});
        c.corrupt(b);
        PlaceAtPreferredBase(b, platform);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        loader.LoadModule(stream_);
        const void* data;
        uint32_t size;
        try {
            const bool found = FindImageResource(platform, loader.ImageBase(), 16, Ordinal(1), 0, data, size);
            EXPECT_FALSE(found);
        } catch (const EImageFormatError&) {
        }
    }
}

// --- Malformed headers ----------------------------------------------------------------------

TEST_P(HandBuiltImage, MalformedImagesRaiseNamingTheFault) {
    struct TCase {
        const char* what;
        std::function<void(TPeBuilder&, std::vector<uint8_t>&)> corrupt;
        const char* message;
    } cases[] = {
        {"empty file", [](TPeBuilder&, std::vector<uint8_t>& f) { f.clear(); }, "DOS header"},
        {"truncated DOS header", [](TPeBuilder&, std::vector<uint8_t>& f) { f.resize(0x20); }, "DOS header"},
        {"no MZ", [](TPeBuilder&, std::vector<uint8_t>& f) { f[0] = 'X'; }, "DOS signature"},
        {"e_lfanew past the end", [](TPeBuilder&, std::vector<uint8_t>& f) { f[0x3F] = 0x7F; }, "NT headers"},
        {"no PE signature", [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.NtOffset] = 'X'; }, "NT signature"},
        {"truncated NT headers", [](TPeBuilder& b, std::vector<uint8_t>& f) { f.resize(b.NtOffset + 0x30); },
         "optional header"},
        {"foreign machine", [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.NtOffset + 4] = 0xC4; f[b.NtOffset + 5] = 0x01; },
         "Unsupported machine type 0x1C4"},
        {"magic of the other format",
         [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.OptionalHeader() + 1] = b.Plus() ? 0x01 : 0x02; },
         "magic"},
        {"optional header too small", [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.NtOffset + 0x14] = 0x40; },
         "optional header is too small"},
        {"section table past the headers",
         [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.NtOffset + 6] = 0xFF; f[b.NtOffset + 7] = 0xFF; }, "section table"},
        {"section beyond SizeOfImage",
         [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.SectionTable() + 0x0B] = 0x10; }, "outside SizeOfImage"},
        {"raw data past the file", [](TPeBuilder&, std::vector<uint8_t>& f) { f.resize(0x2000); }, "runs past the end of the file"},
        {"SizeOfHeaders above SizeOfImage",
         [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.OptionalHeader() + 62] = 0x10; }, "SizeOfHeaders"},
        {"entry point outside", [](TPeBuilder& b, std::vector<uint8_t>& f) { f[b.OptionalHeader() + 18] = 0x10; }, "entry point"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        std::vector<uint8_t> file = b.Build();
        c.corrupt(b, file);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, file);
        try {
            loader.LoadModule(stream_);
            ADD_FAILURE() << "no exception";
        } catch (const EImageFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(platform.LiveBlocks(), 0u);
    }
}

TEST_P(HandBuiltImage, MalformedTablesRaiseDuringTheLoad) {
    struct TCase {
        const char* what;
        std::function<void(TPeBuilder&)> build;
    } cases[] = {
        {"import directory outside the image",
         [](TPeBuilder& b) { b.SetDirectory(PE::ImportDirectory, 0x3FF0, 0x14); }},
        {"library name unterminated at the image end",
         [](TPeBuilder& b) {
             b.Put32(0x1000 + 0x0C, 0x3FFC);
             std::memset(&b.File[0x3FFC], 'A', 4);
             b.SetDirectory(PE::ImportDirectory, 0x1000, 0x28);
         }},
        {"import name RVA outside", [](TPeBuilder& b) {
             uint32_t strings = 0x3000;
             WriteImport(b, 0x1000, "L.dll", {"F"}, 0x1100, 0x1200, strings);
             b.PutPointer(0x1200, 0x7FFFFFF0);
             b.SetDirectory(PE::ImportDirectory, 0x1000, 0x28);
         }},
        {"name table without terminator", [](TPeBuilder& b) {
             uint32_t strings = 0x3000;
             WriteImport(b, 0x1000, "L.dll", {"F"}, 0x1100, 0x3FF8, strings);
             b.File.resize(0x4000);   // the IAT's terminator would lie past the image
             for (uint32_t at = 0x3FF8; at < 0x4000; at += b.PointerSize()) b.PutPointer(at, 0x3000);
             b.SetDirectory(PE::ImportDirectory, 0x1000, 0x28);
         }},
        {"huge shared thunk tables", [](TPeBuilder& b) {
             uint32_t strings = 0x3000;
             WriteImport(b, 0x1000, "L.dll", {"F"}, 0x1100, 0x1200, strings);
             for (uint32_t at = 0x1200; at < 0x2F00; at += b.PointerSize()) b.PutPointer(at, 0x3000);
             for (uint32_t d = 1; d < 100; ++d) {
                 b.Put32(0x1000 + 20 * d + 0x0C, 0x3000);
                 b.Put32(0x1000 + 20 * d + 0x10, 0x1200);
             }
             b.SetDirectory(PE::ImportDirectory, 0x1000, 20 * 101);
         }},
        {"TLS directory outside", [](TPeBuilder& b) { b.SetDirectory(PE::TlsDirectory, 0x3FF8, 0x28); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeLoaderPlatform platform;
        TPeBuilder b(GetParam());
        c.build(b);
        PlaceAtPreferredBase(b, platform);
        TRecordingLoader loader(platform, AnyImageFormat);
        FillStream(stream_, b.Build());
        EXPECT_THROW(loader.LoadModule(stream_), EImageFormatError);
        EXPECT_EQ(platform.LiveBlocks(), 0u);
        EXPECT_EQ(platform.OpenLibraries(), 0u);
    }
}

TEST_P(HandBuiltImage, ExportTablesWithHugeCountsRaiseOnLookup) {
    TPeBuilder b(GetParam());
    WriteExports(b, 0x2000, {{"One", 0x1000}});
    b.Put32(0x2000 + 0x18, 0x40000000);   // NumberOfNames far beyond the image
    PlaceAtPreferredBase(b, platform_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    Load(loader, b);
    EXPECT_THROW(loader.FindExport("One"), EImageFormatError);
}

TEST_P(HandBuiltImage, LoaderRefusesTheFormatItDoesNotMap) {
    TPeBuilder b(GetParam());
    const TImageFormats other = Plus() ? ifPe32 : ifPe32Plus;
    TRecordingLoader loader(platform_, other);
    FillStream(stream_, b.Build());
    try {
        loader.LoadModule(stream_);
        ADD_FAILURE() << "no exception";
    } catch (const EImageFormatError& e) {
        EXPECT_NE(std::string(e.what()).find(Plus() ? "PE32+" : "PE32 "), std::string::npos) << e.what();
    }
    EXPECT_TRUE(platform_.Log.empty()) << "refused before any allocation";
}

}  // namespace

// --- Reading the file from its stream -------------------------------------------------------

namespace {

// A file image as a stream that writes down every read (offset and length); it may refuse to
// seek, as a stream over a pipe does.
class TRecordingFileStream : public TStream {
public:
    explicit TRecordingFileStream(std::vector<uint8_t> bytes, bool seekable = true)
        : bytes_(std::move(bytes)), seekable_(seekable) {}
    std::vector<std::pair<int32_t, int32_t>> Reads;
    uint64_t BytesRead = 0;

    int32_t Read(void* buffer, int32_t count) override {
        const int32_t n = std::max(0, std::min(count, int32_t(bytes_.size()) - position_));
        std::memcpy(buffer, bytes_.data() + position_, size_t(n));
        Reads.emplace_back(position_, n);
        BytesRead += uint64_t(n);
        position_ += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        if (!seekable_) return -1;
        position_ = ResolveSeek(position_, int32_t(bytes_.size()), offset, origin);
        return position_;
    }

private:
    std::vector<uint8_t> bytes_;
    bool seekable_;
    int32_t position_ = 0;
};

// A file whose three sections carry distinct bytes, laid out out of order in the file.
TPeBuilder ThreeSectionImage(TImageFormat format) {
    TPeBuilder b(format);
    b.SizeOfImage = 0x6000;
    b.Sections = {{".a", 0x1000, 0x1000, 0x800, 0x2000},
                  {".b", 0x1800, 0x2000, 0x1800, 0x3000},
                  {".c", 0x200, 0x4000, 0x400, 0x1000}};
    b.File.assign(0x5000, 0);
    for (uint32_t i = 0; i < 0x2000; ++i) b.File[0x1000 + i] = uint8_t(i * 13 + 1), b.File[0x3000 + i % 0x1800] = uint8_t(i * 7 + 3);
    return b;
}

// The image as the byte-buffer core lays the whole file out.
std::vector<uint8_t> LaidOut(const std::vector<uint8_t>& file) {
    const TImageBytes bytes(file.data(), file.size());
    const TImageHeaders headers = ReadFileHeaders(bytes, AnyImageFormat);
    std::vector<uint8_t> image(headers.SizeOfImage, 0);
    CopyHeadersAndSections(bytes, headers, TImageBytes(image.data(), image.size()));
    return image;
}

std::vector<uint8_t> MappedImage(TDLLLoader& loader, uint32_t size) {
    const auto* block = static_cast<const uint8_t*>(loader.ImageBase());
    return std::vector<uint8_t>(block, block + size);
}

}  // namespace

TEST_P(HandBuiltImage, ReadsTheHeadersAndThenEachSectionOnceStraightIntoItsPlace) {
    TPeBuilder b = ThreeSectionImage(GetParam());
    PlaceAtPreferredBase(b, platform_);
    const std::vector<uint8_t> file = b.Build();
    TRecordingFileStream stream(file);
    TRecordingLoader loader(platform_, AnyImageFormat);
    loader.LoadModule(stream);
    // Nothing to relocate or bind: the mapped image is the laid-out file byte for byte.
    EXPECT_EQ(MappedImage(loader, b.SizeOfImage), LaidOut(file));
    const std::vector<std::pair<int32_t, int32_t>> reads = {
        {0, 0x1000},        // the first page holds the headers
        {0x2000, 0x800},    // .a: min(VirtualSize, SizeOfRawData)
        {0x3000, 0x1800},   // .b
        {0x1000, 0x200}};   // .c: cut at its VirtualSize
    EXPECT_EQ(stream.Reads, reads);
    EXPECT_LT(stream.BytesRead, file.size()) << "no whole-file copy";
}

TEST_P(HandBuiltImage, StreamThatCannotSeekIsReadOnceInOrderAndMapsTheSameImage) {
    TPeBuilder b = ThreeSectionImage(GetParam());
    PlaceAtPreferredBase(b, platform_);
    const std::vector<uint8_t> file = b.Build();
    TRecordingFileStream stream(file, false);
    TRecordingLoader loader(platform_, AnyImageFormat);
    loader.LoadModule(stream);
    EXPECT_EQ(MappedImage(loader, b.SizeOfImage), LaidOut(file));
    EXPECT_EQ(stream.BytesRead, file.size());
    for (size_t i = 1; i < stream.Reads.size(); ++i)
        EXPECT_EQ(stream.Reads[i].first, stream.Reads[i - 1].first + stream.Reads[i - 1].second) << "in order";
}

TEST_P(HandBuiltImage, HeadersBeyondTheFirstPageAreReadInFull) {
    TPeBuilder b = ThreeSectionImage(GetParam());
    b.NtOffset = 0x1000;         // the headers, SizeOfHeaders among them, lie past the first page
    b.SizeOfHeaders = 0x1400;
    // Sections and raw data keep clear of the larger headers.
    b.SizeOfImage = 0x7000;
    for (auto& section : b.Sections) section.VirtualAddress += 0x1000;
    b.Sections[2].PointerToRawData = 0x4800;
    PlaceAtPreferredBase(b, platform_);
    TRecordingFileStream stream(b.Build());
    TRecordingLoader loader(platform_, AnyImageFormat);
    loader.LoadModule(stream);
    EXPECT_EQ(Block(loader)[b.NtOffset], 'P');
    EXPECT_EQ(Block(loader)[0x2000], uint8_t(1));
    EXPECT_EQ(Block(loader)[0x3000], uint8_t(3));

    // Raw data that the stream does not hold is still refused by the checks of the headers.
    TPeBuilder cut = ThreeSectionImage(GetParam());
    std::vector<uint8_t> file = cut.Build();
    file.resize(0x3800);
    TRecordingFileStream truncated(file);
    TFakeLoaderPlatform platform;
    TRecordingLoader refused(platform, AnyImageFormat);
    try {
        refused.LoadModule(truncated);
        ADD_FAILURE() << "no exception";
    } catch (const EImageFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("runs past the end of the file"), std::string::npos) << e.what();
    }
    EXPECT_EQ(platform.LiveBlocks(), 0u);
}
