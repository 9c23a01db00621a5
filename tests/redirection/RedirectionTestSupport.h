#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/Streams.h"

// Restores the system-call table when the scope ends, so a test can stand in for entries.
class TSystemCallsScope {
public:
    TSystemCallsScope() : saved_(SystemCalls()) {}
    ~TSystemCallsScope() { SystemCalls() = saved_; }

private:
    TSystemCalls saved_;
};

// Every test starts with a freshly started library and stops it afterwards.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { StartFlashPlayerLibrary(); }
    void TearDown() override { StopFlashPlayerLibrary(); }
};

// The path of a file next to the test program.
inline std::string BesideTestProgram(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}

// The fixture module mapped by the library's own redirecting loader.
class TMappedFixture {
public:
    TMappedFixture() {
        TFileStream file(BesideTestProgram("redirectfixture.dll"), fmOpenRead | fmShareDenyWrite);
        loader_.LoadModule(file);
    }

    template <typename Function>
    Function Export(const char* name) {
        void* address = loader_.FindExport(name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Function>(address);
    }

    HINSTANCE Instance() { return static_cast<HINSTANCE>(loader_.ImageBase()); }
    TFlashOCXLoader& Loader() { return loader_; }

private:
    TFlashOCXLoader loader_;
};
