#include "FlashPlayerControl/loader/SystemCalls.h"

TSystemCalls RealSystemCalls() {
    TSystemCalls calls;
    calls.GetProcAddress = ::GetProcAddress;
    calls.LoadLibraryA = ::LoadLibraryA;
    calls.FreeLibrary = ::FreeLibrary;
    calls.VirtualAlloc = ::VirtualAlloc;
    calls.VirtualQuery = ::VirtualQuery;
    calls.VirtualProtect = ::VirtualProtect;
    calls.FlushInstructionCache = ::FlushInstructionCache;
    calls.waveOutOpen = ::waveOutOpen;
    calls.waveOutWrite = ::waveOutWrite;
    calls.waveOutClose = ::waveOutClose;
    calls.RegisterClassExA = ::RegisterClassExA;
    calls.RegisterClassA = ::RegisterClassA;
    calls.UnregisterClassA = ::UnregisterClassA;
    calls.CreateWindowExA = ::CreateWindowExA;
    calls.LoadCursorA = ::LoadCursorA;
    calls.LookupIconIdFromDirectory = ::LookupIconIdFromDirectory;
    calls.CreateIconFromResource = ::CreateIconFromResource;
    calls.LoadMenuIndirectA = ::LoadMenuIndirectA;
    calls.GetMenuItemCount = ::GetMenuItemCount;
    calls.RemoveMenu = ::RemoveMenu;
    calls.CreateFileA = ::CreateFileA;
    calls.CreateFileW = ::CreateFileW;
    calls.ReadFile = ::ReadFile;
    calls.CloseHandle = ::CloseHandle;
    calls.GetFileSize = ::GetFileSize;
    calls.GetFileSizeEx = ::GetFileSizeEx;
    calls.SetFilePointer = ::SetFilePointer;
    calls.SetFilePointerEx = ::SetFilePointerEx;
    return calls;
}

TSystemCalls& SystemCalls() {
    static TSystemCalls calls = RealSystemCalls();
    return calls;
}
