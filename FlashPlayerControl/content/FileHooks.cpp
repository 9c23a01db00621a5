#include "FlashPlayerControl/content/FileHooks.h"

#include <type_traits>

#include "FlashPlayerControl/loader/SystemCalls.h"

static_assert(std::is_same_v<decltype(&MyCreateFileA), decltype(&::CreateFileA)>);
static_assert(std::is_same_v<decltype(&MyCreateFileW), decltype(&::CreateFileW)>);
static_assert(std::is_same_v<decltype(&MyReadFile), decltype(&::ReadFile)>);
static_assert(std::is_same_v<decltype(&MyCloseHandle), decltype(&::CloseHandle)>);
static_assert(std::is_same_v<decltype(&MyGetFileSize), decltype(&::GetFileSize)>);
static_assert(std::is_same_v<decltype(&MyGetFileSizeEx), decltype(&::GetFileSizeEx)>);
static_assert(std::is_same_v<decltype(&MySetFilePointer), decltype(&::SetFilePointer)>);
static_assert(std::is_same_v<decltype(&MySetFilePointerEx), decltype(&::SetFilePointerEx)>);

// Until the content manager serves fake paths, every file call is the system's.

HANDLE WINAPI MyCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile) {
    return SystemCalls().CreateFileA(fileName, access, shareMode, security, disposition, flags,
                                     templateFile);
}

HANDLE WINAPI MyCreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile) {
    return SystemCalls().CreateFileW(fileName, access, shareMode, security, disposition, flags,
                                     templateFile);
}

BOOL WINAPI MyReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD bytesRead,
                       LPOVERLAPPED overlapped) {
    return SystemCalls().ReadFile(file, buffer, count, bytesRead, overlapped);
}

BOOL WINAPI MyCloseHandle(HANDLE handle) { return SystemCalls().CloseHandle(handle); }

DWORD WINAPI MyGetFileSize(HANDLE file, LPDWORD sizeHigh) {
    return SystemCalls().GetFileSize(file, sizeHigh);
}

BOOL WINAPI MyGetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    return SystemCalls().GetFileSizeEx(file, size);
}

DWORD WINAPI MySetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    return SystemCalls().SetFilePointer(file, distance, distanceHigh, method);
}

BOOL WINAPI MySetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                               DWORD method) {
    return SystemCalls().SetFilePointerEx(file, distance, newPosition, method);
}
