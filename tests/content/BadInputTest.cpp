// Careless and hostile input to the content route: counts below zero on the streams handed
// to application code, and URLs and paths too long for the system, which must be refused
// before they reach it (the request then goes unserved; nothing crashes).
#include "ContentTestSupport.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/FileHooks.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/content/SynchronizedStreams.h"
#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "FlashPlayerControl/loader/SystemCalls.h"

namespace {

std::wstring ResourcePath(int32_t id, const std::wstring& relative) {
    return std::wstring(L"Z:\\FromMemory\\") + MemoryPathMarker + L"\\" + std::to_wstring(id) + L"\\" + relative;
}

// Records the URLs that reach the system's CreateURLMoniker (and fails them).
std::vector<size_t> SystemURLLengths;
HRESULT WINAPI RecordingCreateURLMoniker(IMoniker*, LPCWSTR url, IMoniker** moniker) {
    SystemURLLengths.push_back(url ? wcslen(url) : 0);
    *moniker = nullptr;
    return E_FAIL;
}

std::vector<size_t> SystemPathLengths;
HANDLE WINAPI RecordingCreateFileW(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SystemPathLengths.push_back(name ? wcslen(name) : 0);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

class BadInput : public ContentTest {
protected:
    void SetUp() override {
        ContentTest::SetUp();
        savedMoniker_ = CreateURLMonikerProc;
        savedCreateFile_ = SystemCalls().CreateFileW;
        SystemURLLengths.clear();
        SystemPathLengths.clear();
    }
    void TearDown() override {
        CreateURLMonikerProc = savedMoniker_;
        SystemCalls().CreateFileW = savedCreateFile_;
        ContentTest::TearDown();
    }

    HRESULT Bind(const std::wstring& url) {
        TRecordingCallback player;
        TComPtr<IBindCtx> bc;
        CreateBindCtx(0, bc.Put());
        TComPtr<IBindStatusCallback> previous;
        RegisterBindStatusCallback(bc.Get(), &player, previous.Put(), 0);
        TComPtr<IMoniker> moniker;
        HRESULT created = MyCreateURLMoniker(nullptr, url.c_str(), moniker.Put());
        if (created != S_OK) return created;
        TComPtr<IStream> storage;
        return moniker->BindToStorage(bc.Get(), nullptr, IID_IStream, storage.PutVoid());
    }

    TCreateURLMonikerProc savedMoniker_ = nullptr;
    decltype(&::CreateFileW) savedCreateFile_ = nullptr;
};

TEST_F(BadInput, NegativeCountsOnACOMBackedStreamTransferNothing) {
    TComPtr<IStream> memory;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, memory.Put()), S_OK);
    TStreamBasedOnIStream stream(memory.Get());
    stream.WriteBuffer("abc", 3);
    char buffer[4] = {};
    EXPECT_EQ(stream.Write(buffer, -1), 0);
    EXPECT_EQ(stream.Write(buffer, INT32_MIN), 0);
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(buffer, -1), 0);
    EXPECT_THROW(stream.ReadBuffer(buffer, -5), EReadError);
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
    EXPECT_EQ(stream.Size(), 3);
    stream.SetPosition(0);
    stream.ReadBuffer(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST_F(BadInput, NegativeCountsOnTheSynchronisedStreamTransferNothing) {
    TComPtr<IStream> memory;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, memory.Put()), S_OK);
    std::unique_ptr<TStream> stream(NewSynchronizedStream(memory.Get()));
    char buffer[4] = {'x', 'y', 'z', 0};
    int32_t written = -2, read = -2;
    std::thread worker([&] {
        written = stream->Write(buffer, -1);
        read = stream->Read(buffer, -1);
    });
    EXPECT_TRUE(PumpUntil([&] { return written != -2 && read != -2; }));
    worker.join();
    EXPECT_EQ(written, 0);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(stream->Size(), 0);
}

TEST_F(BadInput, OverLongRelativeURLIsOfferedToTheControlButNeverToTheSystem) {
    CreateURLMonikerProc = RecordingCreateURLMoniker;
    TTestControl control;
    control.Base = L"http://base.invalid";
    std::wstring asked;
    control.OnResource = [&](const std::wstring& url, TStream*) { asked = url; };  // serves nothing
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));

    std::wstring longPath(6000, L'a');
    EXPECT_EQ(Bind(ResourcePath(1, longPath + L".png")), MK_E_NOSTORAGE);
    EXPECT_EQ(asked, longPath + L".png");
    for (size_t length : SystemURLLengths) EXPECT_LE(length, MaxSystemURLLength);

    // A short one still goes on to the system under the control's base.
    SystemURLLengths.clear();
    Bind(ResourcePath(1, L"short.png"));
    EXPECT_NE(std::find(SystemURLLengths.begin(), SystemURLLengths.end(), wcslen(L"http://base.invalid/short.png")),
              SystemURLLengths.end());
}

TEST_F(BadInput, OverLongAbsoluteURLGoesToTheHandlersButNotTheSystem) {
    CreateURLMonikerProc = RecordingCreateURLMoniker;
    std::wstring url = L"http://host.invalid/" + std::wstring(MaxSystemURLLength, L'b');
    size_t seen = 0;
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler(
        [](void* s, const std::wstring& u, TStream*) { *static_cast<size_t*>(s) = u.size(); }, &seen));
    EXPECT_EQ(Bind(url), MK_E_NOSTORAGE);
    EXPECT_EQ(seen, url.size());
    EXPECT_TRUE(SystemURLLengths.empty());

    // The longest URL the system is given still reaches it.
    std::wstring longest = L"http://host.invalid/" + std::wstring(MaxSystemURLLength - 20, L'c');
    Bind(longest);
    EXPECT_NE(std::find(SystemURLLengths.begin(), SystemURLLengths.end(), MaxSystemURLLength), SystemURLLengths.end());
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
}

TEST_F(BadInput, OverLongFilePathsAreRefusedBeforeTheSystem) {
    SystemCalls().CreateFileW = RecordingCreateFileW;
    TTestControl control;
    control.Base = L"C:\\" + std::wstring(200, L'b');
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));

    // The fake path itself is short enough, but the real one under the long Base is not.
    std::wstring relative(MaxSystemPathLength - 100, L'd');
    SetLastError(0);
    HANDLE file = MyCreateFileW(ResourcePath(1, relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
    for (size_t length : SystemPathLengths) EXPECT_LE(length, MaxSystemPathLength);

    std::wstring huge(MaxSystemPathLength + 1, L'e');
    SystemPathLengths.clear();
    EXPECT_EQ(MyCreateFileW(huge.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SystemPathLengths.empty());
}

}  // namespace
