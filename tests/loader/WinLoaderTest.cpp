// The loader with the real system seam: maps the fixture DLL of this build's architecture,
// runs its code, and unloads it. Runs under Wine for x64.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "FlashPlayerControl/loader/DLLLoader.h"

namespace {

const std::string NativeDir = FPC_FIXTURES_NATIVE;
const std::string ForeignDir = FPC_FIXTURES_FOREIGN;

void FillFromFile(TMemoryStream& stream, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    stream.WriteBuffer(bytes.data(), int32_t(bytes.size()));
    stream.Seek(0, soFromBeginning);
}

int WINAPI ReplacementLength(LPCSTR) { return 4242; }

// Sends the module's lstrlenA to ReplacementLength, as the import redirection will do.
class TRedirectingLoader : public TDLLLoader {
public:
    std::vector<std::string> Questions;

protected:
    void* ResolveImport(const char* libraryName, const char* procName) override {
        if (reinterpret_cast<uintptr_t>(procName) < 0x10000) return nullptr;
        Questions.push_back(std::string(libraryName) + "!" + procName);
        if (std::string(procName) == "lstrlenA")
            return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(&ReplacementLength));
        return nullptr;
    }
};

template <typename Function>
Function Export(TDLLLoader& loader, const char* name) {
    void* address = loader.FindExport(name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<Function>(reinterpret_cast<uintptr_t>(address));
}

class SystemMappedFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FillFromFile(stream_, NativeDir + "/fpcfixture.dll");
        loader_ = std::make_unique<TRedirectingLoader>();
        loader_->LoadModule(stream_);
        ASSERT_NE(loader_->ImageBase(), nullptr);
    }

    TMemoryStream stream_;
    std::unique_ptr<TRedirectingLoader> loader_;
};

TEST_F(SystemMappedFixture, RunsExportsAndCountsAttachAndDetach) {
    EXPECT_EQ(Export<int (*)(int, int)>(*loader_, "FixtureAdd")(2, 3), 5);
    EXPECT_EQ(Export<int (*)()>(*loader_, "FixtureAttachCount")(), 1);
    EXPECT_GE(Export<int (*)()>(*loader_, "FixtureTlsAttachCount")(), 1) << "TLS callback ran";
    int detaches = 0;
    Export<void (*)(int*)>(*loader_, "FixtureSetDetachCounter")(&detaches);
    loader_.reset();
    EXPECT_EQ(detaches, 1);
}

TEST_F(SystemMappedFixture, AppliesRelocationForTheBlockAddress) {
    auto* image = static_cast<uint8_t*>(loader_->ImageBase());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    EXPECT_NE(reinterpret_cast<uintptr_t>(image), uintptr_t(nt->OptionalHeader.ImageBase))
        << "the block is not at the preferred base, so the delta is non-zero";
    int* target = Export<int* (*)()>(*loader_, "FixtureTargetAddress")();
    int** pointer = static_cast<int**>(loader_->FindExport("FixtureTargetPointer"));
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(*pointer, target);
    EXPECT_EQ(**pointer, 7);
}

TEST_F(SystemMappedFixture, ModuleCallsTheResolversReplacementAndOrdinalImports) {
    EXPECT_EQ(Export<int (*)(const char*)>(*loader_, "FixtureMeasure")("abc"), 4242);
    const TImportedFunction* length = loader_->Imports().Find("lstrlenA");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(*static_cast<void**>(length->Slot), reinterpret_cast<void*>(&ReplacementLength));
    // DepValue comes from fpcdep.dll by ordinal 7, through the system.
    EXPECT_EQ(Export<int (*)()>(*loader_, "FixtureDepValue")(), 77);
}

TEST_F(SystemMappedFixture, CppExceptionIsThrownAndCaughtInsideTheMappedModule) {
    EXPECT_EQ(Export<int (*)(int)>(*loader_, "FixtureThrowAndCatch")(21), 42);
    EXPECT_EQ(Export<int (*)(int)>(*loader_, "FixtureThrowAndCatch")(0), -1);
}

TEST_F(SystemMappedFixture, ForwardedExportResolvesThroughTheSystem) {
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(loader_->FindExport("FixtureForwardedTick"),
              reinterpret_cast<void*>(GetProcAddress(kernel32, "GetTickCount")));
    EXPECT_EQ(loader_->FindExport("fixtureadd"), nullptr);
}

TEST_F(SystemMappedFixture, ResourcesAndVersionOfTheMappedImage) {
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(FindImageResourceAnyLanguage(loader_->ImageBase(), 10, "FIXTUREDATA", data, size));
    EXPECT_STREQ(static_cast<const char*>(data), "fixture-data");
    EXPECT_EQ(ReadImageVersion(loader_->ImageBase()), 0x01032C04u);
}

TEST(SystemLoaderImages, VersionAndResourcesOfModulesMappedByTheSystem) {
    HMODULE dep = LoadLibraryA((NativeDir + "/fpcdep.dll").c_str());
    ASSERT_NE(dep, nullptr);
    EXPECT_EQ(ReadImageVersion(dep), 0x0A002D02u);
    FreeLibrary(dep);
    // kernel32 carries a version resource; the lookup stays inside its SizeOfImage.
    EXPECT_NE(ReadImageVersion(GetModuleHandleA("kernel32.dll")), 0u);
    const void* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(FindImageResource(GetModuleHandleA("kernel32.dll"), 10, "NO-SUCH-RESOURCE", 0, data, size));
}

TEST(ThreadLocalData, TheSystemRunsTheFixtureAndTheLoaderRefusesIt) {
    // The fixture really reads its thread data through the TLS index.
    HMODULE system = LoadLibraryA((NativeDir + "/fpctlsfixture.dll").c_str());
    ASSERT_NE(system, nullptr);
    auto value = reinterpret_cast<int (*)()>(
        reinterpret_cast<uintptr_t>(GetProcAddress(system, "FixtureThreadValue")));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value(), 42);
    FreeLibrary(system);

    TMemoryStream stream;
    FillFromFile(stream, NativeDir + "/fpctlsfixture.dll");
    TDLLLoader loader;
    EXPECT_THROW(loader.LoadModule(stream), EImageFormatError);
    EXPECT_EQ(loader.ImageBase(), nullptr);
    EXPECT_EQ(loader.FindExport("FixtureThreadValue"), nullptr);
}

TEST(SystemLoaderFormats, RefusesTheOtherArchitecturesDll) {
    TMemoryStream stream;
    FillFromFile(stream, ForeignDir + "/fpcfixture.dll");
    TDLLLoader loader;
    try {
        loader.LoadModule(stream);
        ADD_FAILURE() << "no exception";
    } catch (const EImageFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("a format this build does not map"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(loader.ImageBase(), nullptr);
}

}  // namespace
