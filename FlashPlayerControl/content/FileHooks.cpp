#include "FlashPlayerControl/content/FileHooks.h"

#include <type_traits>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/SystemCalls.h"

static_assert(std::is_same_v<decltype(&MyCreateFileA), decltype(&::CreateFileA)>);
static_assert(std::is_same_v<decltype(&MyCreateFileW), decltype(&::CreateFileW)>);
static_assert(std::is_same_v<decltype(&MyReadFile), decltype(&::ReadFile)>);
static_assert(std::is_same_v<decltype(&MyCloseHandle), decltype(&::CloseHandle)>);
static_assert(std::is_same_v<decltype(&MyGetFileSize), decltype(&::GetFileSize)>);
static_assert(std::is_same_v<decltype(&MyGetFileSizeEx), decltype(&::GetFileSizeEx)>);
static_assert(std::is_same_v<decltype(&MySetFilePointer), decltype(&::SetFilePointer)>);
static_assert(std::is_same_v<decltype(&MySetFilePointerEx), decltype(&::SetFilePointerEx)>);

namespace {

// The stream behind a fake handle for the duration of one file call: the entry stays alive
// and the stream is this call's alone until the use ends, even if another thread closes the
// handle meanwhile. Empty for any other handle.
class TFakeStreamUse {
public:
    explicit TFakeStreamUse(HANDLE handle)
        : entry_(ContentManager ? ContentManager->FindFakeHandle(handle) : nullptr) {
        if (entry_) entry_->Lock.Enter();
    }
    ~TFakeStreamUse() {
        if (entry_) entry_->Lock.Leave();
    }
    TFakeStreamUse(const TFakeStreamUse&) = delete;
    TFakeStreamUse& operator=(const TFakeStreamUse&) = delete;

    explicit operator bool() const { return entry_ != nullptr; }
    TStream* operator->() const { return entry_->Stream; }

private:
    std::shared_ptr<TFakeHandleStreamPair> entry_;
};

// Fake handles answer success with all bits set, as the library always has.
constexpr BOOL FakeTrue = -1;

}  // namespace

HANDLE WINAPI MyCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile) {
    if (!ContentManager)
        return SystemCalls().CreateFileA(fileName, access, shareMode, security, disposition, flags, templateFile);
    return ContentManager->CreateFileAnsi(fileName, access, shareMode, security, disposition, flags, templateFile);
}

HANDLE WINAPI MyCreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile) {
    if (!ContentManager)
        return SystemCalls().CreateFileW(fileName, access, shareMode, security, disposition, flags, templateFile);
    return ContentManager->CreateFile(fileName, access, shareMode, security, disposition, flags, templateFile);
}

BOOL WINAPI MyReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD bytesRead,
                       LPOVERLAPPED overlapped) {
    TFakeStreamUse stream(file);
    if (!stream) return SystemCalls().ReadFile(file, buffer, count, bytesRead, overlapped);
    try {
        int32_t read = stream->Read(buffer, count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(count));
        if (bytesRead) *bytesRead = static_cast<DWORD>(read);
        return FakeTrue;
    } catch (...) {
        return FALSE;
    }
}

BOOL WINAPI MyCloseHandle(HANDLE handle) {
    if (ContentManager && ContentManager->CloseFakeHandle(handle)) return FakeTrue;
    return SystemCalls().CloseHandle(handle);
}

DWORD WINAPI MyGetFileSize(HANDLE file, LPDWORD sizeHigh) {
    TFakeStreamUse stream(file);
    if (!stream) return SystemCalls().GetFileSize(file, sizeHigh);
    try {
        int32_t size = stream->Size();
        if (sizeHigh) *sizeHigh = 0;
        return static_cast<DWORD>(size);
    } catch (...) {
        return 0;
    }
}

BOOL WINAPI MyGetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    TFakeStreamUse stream(file);
    if (!stream) return SystemCalls().GetFileSizeEx(file, size);
    try {
        int32_t streamSize = stream->Size();
        if (size) size->QuadPart = streamSize;
        return FakeTrue;
    } catch (...) {
        return FALSE;
    }
}

DWORD WINAPI MySetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    TFakeStreamUse stream(file);
    if (!stream) return SystemCalls().SetFilePointer(file, distance, distanceHigh, method);
    try {
        // FILE_BEGIN, FILE_CURRENT and FILE_END are the stream's origins by number.
        stream->Seek(distance, static_cast<uint16_t>(method));
        int32_t position = stream->Position();
        if (distanceHigh) *distanceHigh = 0;
        return static_cast<DWORD>(position);
    } catch (...) {
        return INVALID_SET_FILE_POINTER;
    }
}

BOOL WINAPI MySetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                               DWORD method) {
    TFakeStreamUse stream(file);
    if (!stream) return SystemCalls().SetFilePointerEx(file, distance, newPosition, method);
    try {
        stream->Seek(static_cast<int32_t>(distance.LowPart), static_cast<uint16_t>(method));
        int32_t position = stream->Position();
        if (newPosition) {
            newPosition->HighPart = 0;
            newPosition->LowPart = static_cast<DWORD>(position);
        }
        return FakeTrue;
    } catch (...) {
        return FALSE;
    }
}
