#include "FlashPlayerControl/loader/WindowHooks.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "FlashPlayerControl/loader/DLLLoader.h"
#include "FlashPlayerControl/loader/KeyedMaps.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "FlashPlayerControl/loader/SavedCursors.h"
#include "FlashPlayerControl/loader/SystemCalls.h"

static_assert(std::is_same_v<decltype(&MyRegisterClassExA), decltype(&::RegisterClassExA)>);
static_assert(std::is_same_v<decltype(&MyRegisterClassA), decltype(&::RegisterClassA)>);
static_assert(std::is_same_v<decltype(&MyCreateWindowExA), decltype(&::CreateWindowExA)>);
static_assert(std::is_same_v<decltype(&MyLoadCursorA), decltype(&::LoadCursorA)>);
static_assert(std::is_same_v<decltype(&MyLoadMenuA), decltype(&::LoadMenuA)>);

namespace {

constexpr WORD ResourceTypeCursor = 1;
constexpr WORD ResourceTypeMenu = 4;
constexpr WORD ResourceTypeCursorGroup = 12;

bool IsName(LPCSTR value) { return reinterpret_cast<uintptr_t>(value) >= 0x10000; }

// Records the class name and returns the name to register it under.
std::string MapClassName(LPCSTR className) {
    std::string registered = RegisteredClassName(className);
    if (ClassNameMap) ClassNameMap->Add(className, registered);
    // A class of that name left from an earlier registration would make this one fail.
    SystemCalls().UnregisterClassA(registered.c_str(), HostInstance());
    return registered;
}

}  // namespace

HINSTANCE HostInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&HostInstance), &module);
    return module ? module : GetModuleHandleA(nullptr);
}

int32_t LibraryInstanceNumber() {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(&FlashCodeProvider));
}

std::string RegisteredClassName(const char* className) {
    std::string name = "FlashPlayerControl_";
    name += className;
    name += '_';
    name += std::to_string(LibraryInstanceNumber());
    return name;
}

ATOM WINAPI MyRegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (!windowClass || !IsName(windowClass->lpszClassName))
        return SystemCalls().RegisterClassExA(windowClass);
    WNDCLASSEXA copy = *windowClass;
    copy.hInstance = HostInstance();
    std::string registered = MapClassName(windowClass->lpszClassName);
    copy.lpszClassName = registered.c_str();
    return SystemCalls().RegisterClassExA(&copy);
}

ATOM WINAPI MyRegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !IsName(windowClass->lpszClassName))
        return SystemCalls().RegisterClassA(windowClass);
    WNDCLASSA copy = *windowClass;
    copy.hInstance = HostInstance();
    std::string registered = MapClassName(windowClass->lpszClassName);
    copy.lpszClassName = registered.c_str();
    return SystemCalls().RegisterClassA(&copy);
}

HWND WINAPI MyCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                              int x, int y, int width, int height, HWND parent, HMENU menu,
                              HINSTANCE instance, LPVOID parameter) {
    if (instance) instance = HostInstance();
    std::string registered;
    if (IsName(className) && ClassNameMap && ClassNameMap->Find(className, registered))
        className = registered.c_str();
    return SystemCalls().CreateWindowExA(exStyle, className, windowName, style, x, y, width,
                                         height, parent, menu, instance, parameter);
}

HCURSOR WINAPI MyLoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
    if (!instance) return SystemCalls().LoadCursorA(instance, cursorName);
    if (SavedCursors) {
        if (HCURSOR saved = SavedCursors->FindCursor(instance, cursorName)) return saved;
    }
    try {
        const void* group = nullptr;
        uint32_t groupSize = 0;
        if (!FindImageResourceAnyLanguage(instance, ResourceTypeCursorGroup, cursorName, group, groupSize))
            return nullptr;
        int id = SystemCalls().LookupIconIdFromDirectory(static_cast<PBYTE>(const_cast<void*>(group)), FALSE);
        if (id == 0) return nullptr;
        const void* image = nullptr;
        uint32_t imageSize = 0;
        if (!FindImageResourceAnyLanguage(instance, ResourceTypeCursor, MAKEINTRESOURCEA(id), image, imageSize))
            return nullptr;
        HCURSOR cursor = SystemCalls().CreateIconFromResource(
            static_cast<PBYTE>(const_cast<void*>(image)), imageSize, FALSE, 0x00030000);
        // Only a cursor that exists is worth finding again; a failed creation is retried.
        if (cursor && SavedCursors) SavedCursors->AddCursor(cursor, instance, cursorName);
        return cursor;
    } catch (...) {
        // A malformed resource tree: the module sees the answer for a missing cursor.
        return nullptr;
    }
}

HMENU WINAPI MyLoadMenuA(HINSTANCE instance, LPCSTR menuName) {
    if (!instance) return nullptr;
    try {
        const void* data = nullptr;
        uint32_t size = 0;
        if (!FindImageResourceAnyLanguage(instance, ResourceTypeMenu, menuName, data, size))
            return nullptr;
        return SystemCalls().LoadMenuIndirectA(data);
    } catch (...) {
        return nullptr;
    }
}
