// Proves that the Windows test run really executes Windows code, with a display: each case
// fails under a harness that does not run the program as a Windows process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(WineHarness, RunsAsWindowsProcessWithItsOwnModule) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    std::string name(path);
    EXPECT_NE(name.find(".exe"), std::string::npos) << name;
    // The executable's own image starts with the DOS signature.
    auto image = reinterpret_cast<const char*>(GetModuleHandleA(nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[1], 'Z');
}

TEST(WineHarness, FilesRoundTripThroughTheSystem) {
    char dir[MAX_PATH] = {}, file[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "fpc", 0, file), 0u);
    HANDLE h = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "harness", 7, &done, nullptr));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    char back[8] = {};
    ASSERT_TRUE(ReadFile(h, back, 7, &done, nullptr));
    EXPECT_EQ(done, 7u);
    EXPECT_STREQ(back, "harness");
    CloseHandle(h);
}

namespace {
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) return static_cast<LRESULT>(wp * 2);
    return DefWindowProcA(wnd, msg, wp, lp);
}
}  // namespace

TEST(WineHarness, WindowsAreCreatedOnARealDisplay) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FpcHarnessWindow";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "harness", WS_OVERLAPPEDWINDOW, 10, 10,
                               200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    EXPECT_EQ(SendMessageA(wnd, WM_APP, 21, 0), 42);
    // A device context for the screen exists only with a working display driver.
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_GT(GetDeviceCaps(screen, LOGPIXELSX), 0);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DestroyWindow(wnd));
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}
