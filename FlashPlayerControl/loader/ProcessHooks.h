#pragma once

// Replacements of the process and memory functions the player module calls: late lookups
// land in the same replacements as bound imports; guard pages and run-time code are made
// safe for a module that lives in one read-write-execute block.

#include <windows.h>

FARPROC WINAPI MyGetProcAddress(HMODULE module, LPCSTR procName);
LPVOID WINAPI MyVirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL WINAPI MyFlushInstructionCache(HANDLE process, LPCVOID baseAddress, SIZE_T size);
