#pragma once
// The reference player module for the control tests: registered as the installed player for
// a test's run, and a count of the windows a control and its player object leave behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FlashPlayerControl/loader/Library.h"
#include "framework/Forms.h"

inline std::wstring ModulePath() {
    std::string path = std::string("Z:") + REFPLAYER_MODULE_DIR + "/refplayer.dll";
    for (char& c : path)
        if (c == '/') c = '\\';
    return std::wstring(path.begin(), path.end());
}

// DllRegisterServer or DllUnregisterServer of the module.
inline HRESULT CallModuleEntry(const char* name) {
    HMODULE module = LoadLibraryW(ModulePath().c_str());
    if (!module) return E_FAIL;
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT result = entry ? entry() : E_FAIL;
    FreeLibrary(module);
    return result;
}

// Windows of this thread, message-only ones included: the control's, the player object's own
// (stage, clock), the framework's. A control or player object that is not released leaves
// its windows behind.
inline int ThreadWindowCount() {
    struct TCounter {
        static BOOL CALLBACK Child(HWND, LPARAM count) {
            ++*reinterpret_cast<int*>(count);
            return TRUE;
        }
        static BOOL CALLBACK TopLevel(HWND window, LPARAM count) {
            ++*reinterpret_cast<int*>(count);
            EnumChildWindows(window, &Child, count);
            return TRUE;
        }
    };
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &TCounter::TopLevel, reinterpret_cast<LPARAM>(&count));
    for (HWND window = nullptr; (window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr));)
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) ++count;
    return count;
}

// A test with the reference module registered as the installed player, the library started
// with it, and a shown form to put controls on.
class PlayerModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_EQ(CallModuleEntry("DllRegisterServer"), S_OK);
        StartFlashPlayerLibrary();
        form_ = std::make_unique<TForm>(nullptr);
        form_->SetBounds(10, 10, 500, 400);
        form_->Show();
    }
    void TearDown() override {
        form_.reset();
        StopFlashPlayerLibrary();
        EXPECT_EQ(CallModuleEntry("DllUnregisterServer"), S_OK);
        CoUninitialize();
    }

    std::unique_ptr<TForm> form_;
};
