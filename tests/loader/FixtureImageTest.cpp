// The loader core on real DLLs built by the project's mingw compilers for x86 (PE32) and
// x64 (PE32+), mapped through the recording fake: nothing of them runs here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "FlashPlayerControl/loader/DLLLoader.h"
#include "tests/loader/FakeLoaderPlatform.h"
#include "tests/loader/PeBuilder.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TRecordingLoader : public TDLLLoader {
public:
    using TDLLLoader::TDLLLoader;
    std::vector<std::string> Questions;
    void* Replacement = reinterpret_cast<void*>(uintptr_t(0x0BADC0DE));

protected:
    void* ResolveImport(const char* libraryName, const char* procName) override {
        const std::string proc = TFakeLoaderPlatform::ProcText(procName);
        Questions.push_back(std::string(libraryName) + "!" + proc);
        return proc == "lstrlenA" ? Replacement : nullptr;
    }
};

class FixtureImage : public ::testing::TestWithParam<const char*> {
protected:
    bool Plus() const { return std::string(GetParam()) == "x64"; }
    std::string Dir() const { return Plus() ? FPC_FIXTURES_X64 : FPC_FIXTURES_X86; }

    std::unique_ptr<TRecordingLoader> Load(TFakeLoaderPlatform& platform, const std::string& name) {
        file_ = ReadFile(Dir() + "/" + name);
        FillStream(stream_, file_);
        auto loader = std::make_unique<TRecordingLoader>(platform, AnyImageFormat);
        loader->LoadModule(stream_);
        return loader;
    }
    uint64_t Pointer(const void* at) const {
        uint64_t value = 0;
        std::memcpy(&value, at, Plus() ? 8 : 4);
        return value;
    }

    TFakeLoaderPlatform platform_;
    TMemoryStream stream_;
    std::vector<uint8_t> file_;
};

INSTANTIATE_TEST_SUITE_P(Architectures, FixtureImage, ::testing::Values("x86", "x64"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(FixtureImage, LayoutMatchesTheSectionTable) {
    auto loader = Load(platform_, "fpcfixture.dll");
    const TImageHeaders headers = ReadFileHeaders(TImageBytes(file_.data(), file_.size()), AnyImageFormat);
    EXPECT_EQ(headers.Format, Plus() ? ifPe32Plus : ifPe32);
    const auto* image = static_cast<const uint8_t*>(loader->ImageBase());
    bool sawZeroTail = false;
    for (const TSectionHeader& s : headers.Sections) {
        SCOPED_TRACE(s.Name);
        const uint32_t copied = std::min(s.VirtualSize, s.SizeOfRawData);
        // Relocation and binding change code and data; these two hold neither.
        if (s.Name == ".edata" || s.Name == ".rsrc") {
            EXPECT_EQ(std::memcmp(image + s.VirtualAddress, &file_[s.PointerToRawData], copied), 0);
        }
        for (uint32_t i = copied; i < s.VirtualSize; ++i) ASSERT_EQ(image[s.VirtualAddress + i], 0) << i;
        sawZeroTail |= copied < s.VirtualSize;
    }
    EXPECT_TRUE(sawZeroTail) << "the fixture has a section (.bss) with less raw data than memory";
}

TEST_P(FixtureImage, RelocationFollowsTheBlock) {
    TFakeLoaderPlatform second;
    auto first = Load(platform_, "fpcfixture.dll");
    auto other = Load(second, "fpcfixture.dll");
    auto targetOf = [&](TDLLLoader& loader) {
        const auto base = reinterpret_cast<uintptr_t>(loader.ImageBase());
        const uint64_t value = Pointer(loader.FindExport("FixtureTargetPointer"));
        return Plus() ? value - base : uint32_t(value - base);
    };
    const uint64_t rva = targetOf(*first);
    EXPECT_EQ(rva, targetOf(*other));
    const TImageHeaders headers = ReadFileHeaders(TImageBytes(file_.data(), file_.size()), AnyImageFormat);
    EXPECT_LT(rva, headers.SizeOfImage);
    EXPECT_EQ(Pointer(static_cast<uint8_t*>(first->ImageBase()) + rva), 7u) << "points at 'target'";
}

TEST_P(FixtureImage, BindsImportsThroughTheResolverAndByOrdinal) {
    auto loader = Load(platform_, "fpcfixture.dll");
    const TImportedFunction* length = loader->Imports().Find("lstrlenA");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->LibraryName, "KERNEL32.dll");
    EXPECT_EQ(Pointer(length->Slot), 0x0BADC0DEu);
    // Imports the resolver leaves alone go to the system lookup of their library.
    const TImportedFunction* sleep = loader->Imports().Find("Sleep");
    ASSERT_NE(sleep, nullptr);
    EXPECT_EQ(Pointer(sleep->Slot),
              reinterpret_cast<uintptr_t>(platform_.ProcedureAddress("KERNEL32.dll!Sleep")));
    // fpcdep.dll exports DepValue by ordinal 7 only.
    EXPECT_NE(std::find(loader->Questions.begin(), loader->Questions.end(), "fpcdep.dll!#7"),
              loader->Questions.end());
    for (size_t i = 0; i < loader->Imports().Count(); ++i)
        EXPECT_NE(loader->Imports()[i].LibraryName, "fpcdep.dll") << "ordinal imports are not recorded";
}

TEST_P(FixtureImage, RunsTlsCallbacksBeforeTheEntryPointAndDetachesAtUnload) {
    void* base;
    {
        auto loader = Load(platform_, "fpcfixture.dll");
        const TImageHeaders headers =
            ReadFileHeaders(TImageBytes(file_.data(), file_.size()), AnyImageFormat);
        base = loader->ImageBase();
        ASSERT_GE(platform_.ModuleCalls.size(), 2u);
        EXPECT_EQ(platform_.ModuleCalls.back().Kind, "entry");
        EXPECT_EQ(platform_.ModuleCalls.back().Address,
                  static_cast<uint8_t*>(base) + headers.AddressOfEntryPoint);
        EXPECT_EQ(platform_.ModuleCalls.front().Kind, "tls");
        EXPECT_EQ(platform_.FunctionTablesRegistered, Plus() ? 1 : 0);
    }
    size_t entries = 0;
    for (const auto& call : platform_.ModuleCalls)
        if (call.Kind == "entry") {
            ++entries;
            EXPECT_EQ(call.Instance, base);
        }
    EXPECT_EQ(entries, 2u);
    EXPECT_EQ(platform_.ModuleCalls.back().Reason, PE::DllProcessDetach);
    EXPECT_EQ(platform_.FunctionTablesRegistered, 0);
    EXPECT_EQ(platform_.LiveBlocks(), 0u);
    EXPECT_EQ(platform_.OpenLibraries(), 0u);
}

TEST_P(FixtureImage, StaticThreadDataIsRefusedBeforeAnyOfTheModuleRuns) {
    file_ = ReadFile(Dir() + "/fpctlsfixture.dll");
    FillStream(stream_, file_);
    TRecordingLoader loader(platform_, AnyImageFormat);
    try {
        loader.LoadModule(stream_);
        ADD_FAILURE() << "a module with thread-local data was mapped";
    } catch (const EImageFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("static thread-local data"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(platform_.ModuleCalls.empty()) << "neither TLS callbacks nor the entry point ran";
    EXPECT_EQ(loader.ImageBase(), nullptr);
    EXPECT_EQ(platform_.LiveBlocks(), 0u);
    EXPECT_EQ(platform_.OpenLibraries(), 0u);
}

TEST_P(FixtureImage, FindsExportsAndResolvesTheForwarder) {
    auto loader = Load(platform_, "fpcfixture.dll");
    auto* image = static_cast<uint8_t*>(loader->ImageBase());
    void* add = loader->FindExport("FixtureAdd");
    EXPECT_GT(static_cast<uint8_t*>(add), image);
    EXPECT_EQ(loader->FindExport("fixtureadd"), nullptr);
    EXPECT_EQ(loader->FindExport("FixtureForwardedTick"),
              platform_.ProcedureAddress("KERNEL32.dll!GetTickCount"));
}

TEST_P(FixtureImage, ResourcesInOneLanguageUnderStringNamesAndTheVersion) {
    auto loader = Load(platform_, "fpcfixture.dll");
    const void* image = loader->ImageBase();
    const void* data = nullptr;
    uint32_t size = 0;
    // The resource compiler stores names in upper case; the match is exact.
    ASSERT_TRUE(FindImageResource(platform_, image, 10, "FIXTUREDATA", 0x0409, data, size));
    EXPECT_STREQ(static_cast<const char*>(data), "fixture-data");
    EXPECT_FALSE(FindImageResource(platform_, image, 10, "FixtureData", 0x0409, data, size));
    EXPECT_FALSE(FindImageResource(platform_, image, 10, "FIXTUREDATA", 0, data, size));
    EXPECT_TRUE(FindImageResourceAnyLanguage(platform_, image, 10, "FIXTUREDATA", data, size));
    EXPECT_EQ(ReadImageVersion(platform_, image), 0x01032C04u);   // 1.2.300.4

    TFakeLoaderPlatform depPlatform;
    auto dep = Load(depPlatform, "fpcdep.dll");
    EXPECT_EQ(ReadImageVersion(depPlatform, dep->ImageBase()), 0x0A002D02u);   // 10.0.45.2
}

}  // namespace
