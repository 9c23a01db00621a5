#pragma once

#include <windows.h>
#include <mmsystem.h>

// The system functions that the library's replacements call on behalf of the player module.
// They are reached through this table so that tests can watch or stand in for them (there
// is no sound device under Wine, for one); in a program every entry is the system function.
struct TSystemCalls {
    // Process and memory.
    decltype(&::GetProcAddress) GetProcAddress;
    decltype(&::LoadLibraryA) LoadLibraryA;
    decltype(&::FreeLibrary) FreeLibrary;
    decltype(&::VirtualAlloc) VirtualAlloc;
    decltype(&::VirtualQuery) VirtualQuery;
    decltype(&::VirtualProtect) VirtualProtect;
    decltype(&::FlushInstructionCache) FlushInstructionCache;
    // Sound.
    decltype(&::waveOutOpen) waveOutOpen;
    decltype(&::waveOutWrite) waveOutWrite;
    decltype(&::waveOutClose) waveOutClose;
    // Window classes, windows, cursors and menus.
    decltype(&::RegisterClassExA) RegisterClassExA;
    decltype(&::RegisterClassA) RegisterClassA;
    decltype(&::UnregisterClassA) UnregisterClassA;
    decltype(&::CreateWindowExA) CreateWindowExA;
    decltype(&::LoadCursorA) LoadCursorA;
    decltype(&::LookupIconIdFromDirectory) LookupIconIdFromDirectory;
    decltype(&::CreateIconFromResource) CreateIconFromResource;
    decltype(&::LoadMenuIndirectA) LoadMenuIndirectA;
    decltype(&::GetMenuItemCount) GetMenuItemCount;
    decltype(&::RemoveMenu) RemoveMenu;
    // Files.
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::ReadFile) ReadFile;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::GetFileSizeEx) GetFileSizeEx;
    decltype(&::SetFilePointer) SetFilePointer;
    decltype(&::SetFilePointerEx) SetFilePointerEx;
};

// The table in use; made on first use, so it is ready before any static initialiser needs it.
TSystemCalls& SystemCalls();

// The table as the system provides it.
TSystemCalls RealSystemCalls();
