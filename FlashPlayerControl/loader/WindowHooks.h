#pragma once

// Replacements through which the player module registers its window classes, creates its
// windows and loads its cursors and menus. The module's instance is a memory block the
// system knows nothing of: classes are registered under the instance of the module that
// holds the library and under names of the library's own; cursors and menus are built from
// the resources of the mapped image.

#include <windows.h>

#include <cstdint>
#include <string>

ATOM WINAPI MyRegisterClassExA(const WNDCLASSEXA* windowClass);
ATOM WINAPI MyRegisterClassA(const WNDCLASSA* windowClass);
HWND WINAPI MyCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                              int x, int y, int width, int height, HWND parent, HMENU menu,
                              HINSTANCE instance, LPVOID parameter);
HCURSOR WINAPI MyLoadCursorA(HINSTANCE instance, LPCSTR cursorName);
HMENU WINAPI MyLoadMenuA(HINSTANCE instance, LPCSTR menuName);

// The module that contains the library (the program, or a DLL the library is built into).
HINSTANCE HostInstance();
// A number unique to this copy of the library in the process, constant for the run.
int32_t LibraryInstanceNumber();
// The name under which a class the module asks for is registered:
// "FlashPlayerControl_<class>_<LibraryInstanceNumber>".
std::string RegisteredClassName(const char* className);
