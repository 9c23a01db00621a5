#pragma once

// Replacements of the kernel32 file functions the player module imports. An open that the
// content manager answers with an application stream gets a fake handle (an unnamed event)
// that the other replacements serve from the stream; every other path and handle passes
// straight to the system.

#include <windows.h>

HANDLE WINAPI MyCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile);
HANDLE WINAPI MyCreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile);
BOOL WINAPI MyReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD bytesRead,
                       LPOVERLAPPED overlapped);
BOOL WINAPI MyCloseHandle(HANDLE handle);
DWORD WINAPI MyGetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL WINAPI MyGetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
DWORD WINAPI MySetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
BOOL WINAPI MySetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                               DWORD method);
