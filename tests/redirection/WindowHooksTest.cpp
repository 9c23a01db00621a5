// Window classes, windows, cursors and menus of a mapped module.
#include "RedirectionTestSupport.h"

#include "FlashPlayerControl/loader/KeyedMaps.h"
#include "FlashPlayerControl/loader/SavedCursors.h"
#include "FlashPlayerControl/loader/WindowHooks.h"

namespace {

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HINSTANCE recordedInstance;
LPCSTR recordedClass;
HWND WINAPI RecordingCreateWindow(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int,
                                  HWND, HMENU, HINSTANCE instance, LPVOID) {
    recordedInstance = instance;
    recordedClass = className;
    return nullptr;
}

int iconsCreated;
HICON WINAPI CountingCreateIcon(PBYTE data, DWORD size, BOOL icon, DWORD version) {
    ++iconsCreated;
    return CreateIconFromResource(data, size, icon, version);
}

HICON WINAPI FailingCreateIcon(PBYTE, DWORD, BOOL, DWORD) {
    ++iconsCreated;
    return nullptr;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

class WindowHooks : public LibraryTest {
protected:
    ATOM RegisterPlayerClass(const char* name) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlayerWindowProc;
        wc.hInstance = fixture_.Instance();  // the module names its own (unknown) instance
        wc.lpszClassName = name;
        return MyRegisterClassA(&wc);
    }

    TMappedFixture fixture_;
};

}  // namespace

TEST_F(WindowHooks, ClassIsRegisteredUnderTheLibrarysNameAndHostInstance) {
    EXPECT_EQ(RegisteredClassName("PlayerWnd"),
              "FlashPlayerControl_PlayerWnd_" + std::to_string(LibraryInstanceNumber()));
    ASSERT_NE(RegisterPlayerClass("PlayerWnd"), 0);
    WNDCLASSA info;
    EXPECT_TRUE(GetClassInfoA(HostInstance(), RegisteredClassName("PlayerWnd").c_str(), &info));
    EXPECT_FALSE(GetClassInfoA(HostInstance(), "PlayerWnd", &info));

    // A second registration of the same name succeeds and keeps one map entry.
    EXPECT_NE(RegisterPlayerClass("PlayerWnd"), 0);
    EXPECT_EQ(ClassNameMap->Count(), 1u);

    WNDCLASSEXA extended = {};
    extended.cbSize = sizeof(extended);
    extended.lpfnWndProc = PlayerWindowProc;
    extended.hInstance = fixture_.Instance();
    extended.lpszClassName = "PlayerStage";
    EXPECT_NE(MyRegisterClassExA(&extended), 0);
    EXPECT_TRUE(GetClassInfoA(HostInstance(), RegisteredClassName("PlayerStage").c_str(), &info));
}

TEST_F(WindowHooks, WindowsOfTheModulesClassesAreCreatedUnderTheRegisteredName) {
    ASSERT_NE(RegisterPlayerClass("PlayerWnd"), 0);
    HWND window = MyCreateWindowExA(0, "playerwnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    fixture_.Instance(), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ClassOf(window), RegisteredClassName("PlayerWnd"));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)), HostInstance());
    DestroyWindow(window);

    // A system class keeps its own name.
    HWND button = MyCreateWindowExA(0, "BUTTON", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    fixture_.Instance(), nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_STREQ(ClassOf(button).c_str(), "Button");
    DestroyWindow(button);
}

TEST_F(WindowHooks, AtomsAndNullInstancesPassUnchanged) {
    TSystemCallsScope scope;
    SystemCalls().CreateWindowExA = RecordingCreateWindow;
    ATOM atom = RegisterPlayerClass("PlayerWnd");
    ASSERT_NE(atom, 0);
    MyCreateWindowExA(0, MAKEINTATOM(atom), "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(recordedClass, MAKEINTATOM(atom));
    EXPECT_EQ(recordedInstance, nullptr);
    MyCreateWindowExA(0, "Unknown", "", 0, 0, 0, 1, 1, nullptr, nullptr, fixture_.Instance(), nullptr);
    EXPECT_STREQ(recordedClass, "Unknown");
    EXPECT_EQ(recordedInstance, HostInstance());
}

TEST_F(WindowHooks, CursorsAreBuiltFromTheImageOnceAndNamesMatchExactly) {
    TSystemCallsScope scope;
    SystemCalls().CreateIconFromResource = CountingCreateIcon;
    iconsCreated = 0;
    HCURSOR first = MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(5));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(5)), first);
    EXPECT_EQ(iconsCreated, 1);

    HCURSOR named = MyLoadCursorA(fixture_.Instance(), "HAND");
    EXPECT_NE(named, nullptr);
    EXPECT_NE(named, first);
    EXPECT_EQ(MyLoadCursorA(fixture_.Instance(), "hand"), nullptr);  // stored as HAND
    EXPECT_EQ(MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(6)), nullptr);
    EXPECT_EQ(iconsCreated, 2);

    // No instance: the system's own cursors.
    EXPECT_EQ(MyLoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(WindowHooks, FailedCursorCreationsAreNotRecorded) {
    TSystemCallsScope scope;
    const size_t before = SavedCursors->Count();
    SystemCalls().CreateIconFromResource = FailingCreateIcon;
    iconsCreated = 0;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_EQ(iconsCreated, 5) << "each failed load tries again";
    EXPECT_EQ(SavedCursors->Count(), before) << "the cache does not grow with failures";

    SystemCalls().CreateIconFromResource = CountingCreateIcon;
    HCURSOR cursor = MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(5));
    EXPECT_NE(cursor, nullptr);
    EXPECT_EQ(MyLoadCursorA(fixture_.Instance(), MAKEINTRESOURCEA(5)), cursor);
    EXPECT_EQ(SavedCursors->Count(), before + 1);
}

TEST_F(WindowHooks, MenusAreBuiltFromTheImageAtEveryCall) {
    HMENU first = MyLoadMenuA(fixture_.Instance(), MAKEINTRESOURCEA(7));
    HMENU second = MyLoadMenuA(fixture_.Instance(), MAKEINTRESOURCEA(7));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    HMENU popup = GetSubMenu(first, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup), 2);
    EXPECT_EQ(GetMenuItemID(popup, 1), 101u);
    DestroyMenu(first);
    DestroyMenu(second);
    EXPECT_EQ(MyLoadMenuA(fixture_.Instance(), MAKEINTRESOURCEA(8)), nullptr);
    EXPECT_EQ(MyLoadMenuA(nullptr, MAKEINTRESOURCEA(7)), nullptr);
}
