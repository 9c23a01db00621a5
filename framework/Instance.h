#pragma once

#include <windows.h>

// The module whose window classes the framework registers: the program, or the DLL the
// framework is built into.
HINSTANCE FrameworkInstance();
