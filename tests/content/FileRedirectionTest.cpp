// The file route: fake handles over application streams, and the fall-backs to real files.
#include "ContentTestSupport.h"

#include <atomic>
#include <memory>
#include <thread>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/FileHooks.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/loader/LibraryState.h"

namespace {

std::wstring ResourcePath(int32_t id, const std::wstring& relative) {
    return std::wstring(L"Z:\\FromMemory\\") + MemoryPathMarker + L"\\" + std::to_wstring(id) + L"\\" + relative;
}

HANDLE Open(const std::wstring& path) {
    return MyCreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A memory stream that tells when it is freed.
class TWatchedStream : public TMemoryStream {
public:
    explicit TWatchedStream(bool* freed) : freed_(freed) {}
    ~TWatchedStream() override { *freed_ = true; }

private:
    bool* freed_;
};

class FileRedirection : public ContentTest {
protected:
    void SetUp() override {
        ContentTest::SetUp();
        movie_.reset(ContentManager->RegisterMovieStream(&control_, false, -1));
    }
    void TearDown() override {
        movie_.reset();
        ContentTest::TearDown();
    }

    TTestControl control_;
    std::unique_ptr<TStream> movie_;
};

}  // namespace

TEST_F(FileRedirection, FiveByteStreamReadsSeeksAndSizesLikeAFile) {
    bool freed = false;
    std::wstring asked;
    control_.OnResourceAsync = [&](const std::wstring& path, TStream*& stream) {
        asked = path;
        stream = new TWatchedStream(&freed);
        stream->WriteBuffer("abcde", 5);  // left at its end: the library rewinds it
    };
    HANDLE file = Open(ResourcePath(1, L"/clip.flv"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(asked, L"/clip.flv");  // the file route keeps the leading slash
    DWORD high = 7;
    EXPECT_EQ(MyGetFileSize(file, &high), 5u);
    EXPECT_EQ(high, 0u);
    LARGE_INTEGER size = {};
    EXPECT_TRUE(MyGetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 5);

    char buffer[10] = {};
    DWORD read = 0;
    EXPECT_TRUE(MyReadFile(file, buffer, 2, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "ab");
    EXPECT_EQ(MySetFilePointer(file, 0, nullptr, FILE_END), 5u);
    EXPECT_EQ(MySetFilePointer(file, 3, nullptr, FILE_BEGIN), 3u);
    EXPECT_TRUE(MyReadFile(file, buffer, 10, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "de");
    EXPECT_TRUE(MyReadFile(file, buffer, 10, &read, nullptr));
    EXPECT_EQ(read, 0u);
    LARGE_INTEGER distance;
    distance.QuadPart = 1;
    LARGE_INTEGER position = {};
    EXPECT_TRUE(MySetFilePointerEx(file, distance, &position, FILE_BEGIN));
    EXPECT_EQ(position.QuadPart, 1);

    EXPECT_FALSE(freed);
    EXPECT_TRUE(MyCloseHandle(file));
    EXPECT_TRUE(freed);
    // The value is no fake handle any more: the system answers.
    EXPECT_EQ(ContentManager->FindFakeHandle(file), nullptr);
    EXPECT_FALSE(MyCloseHandle(file));
}

TEST_F(FileRedirection, UnservedFakePathOpensTheFileUnderTheControlsBase) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"fpc-files-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    std::wstring real = folder + L"\\sub\\real.bin";
    HANDLE h = CreateFileW(real.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, "disk", 4, &written, nullptr);
    CloseHandle(h);

    control_.Base = folder;
    HANDLE file = Open(ResourcePath(1, L"sub/real.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ContentManager->FindFakeHandle(file), nullptr);  // a real file
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(MyReadFile(file, buffer, 8, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "disk");
    EXPECT_TRUE(MyCloseHandle(file));
    EXPECT_EQ(Open(ResourcePath(1, L"sub/missing.bin")), INVALID_HANDLE_VALUE);

    DeleteFileW(real.c_str());
    RemoveDirectoryW((folder + L"\\sub").c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(FileRedirection, LibraryHandlerServesPathsNoControlServed) {
    std::wstring asked;
    RegisterLibraryResourceAsyncHandler(TLoadExternalResourceAsyncHandler(
        [](void* a, const std::wstring& path, TStream*& stream) {
            *static_cast<std::wstring*>(a) = path;
            if (path == L"C:\\not\\fake.txt") {
                stream = new TMemoryStream;
                stream->WriteBuffer("lib", 3);
            }
        }, &asked));
    HANDLE file = Open(L"C:\\not\\fake.txt");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4] = {};
    DWORD read = 0;
    EXPECT_TRUE(MyReadFile(file, buffer, 4, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "lib");
    EXPECT_TRUE(MyCloseHandle(file));

    // For a fake path the handler gets the full path.
    Open(ResourcePath(1, L"x.txt"));
    EXPECT_EQ(asked, ResourcePath(1, L"x.txt"));
}

TEST_F(FileRedirection, AnsiOpensAndEventErrorsFailTheOpen) {
    control_.OnResourceAsync = [](const std::wstring& path, TStream*& stream) {
        if (path == L"boom") throw Exception("event failed");
        stream = new TMemoryStream;
        stream->WriteBuffer("ansi", 4);
    };
    std::string path = Narrow(ResourcePath(1, L"a.txt"));
    HANDLE file = MyCreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(MyGetFileSize(file, nullptr), 4u);
    MyCloseHandle(file);
    EXPECT_EQ(Open(ResourcePath(1, L"boom")), INVALID_HANDLE_VALUE);
}

namespace {

// A stream whose reads take a moment and which notices being freed while one is under way.
class TSlowProbeStream : public TMemoryStream {
public:
    static std::atomic<int> ReadsInProgress;
    static std::atomic<int> FreedDuringUse;
    static std::atomic<int> Freed;

    int32_t Read(void* buffer, int32_t count) override {
        ++ReadsInProgress;
        Sleep(1);
        const int32_t read = TMemoryStream::Read(buffer, count);
        --ReadsInProgress;
        return read;
    }
    ~TSlowProbeStream() override {
        if (ReadsInProgress != 0) ++FreedDuringUse;
        ++Freed;
    }
};
std::atomic<int> TSlowProbeStream::ReadsInProgress{0};
std::atomic<int> TSlowProbeStream::FreedDuringUse{0};
std::atomic<int> TSlowProbeStream::Freed{0};

}  // namespace

TEST_F(FileRedirection, CloseOnOneThreadWaitsForCallsInProgressOnAnother) {
    control_.OnResourceAsync = [](const std::wstring&, TStream*& stream) {
        stream = new TSlowProbeStream;
        stream->WriteBuffer("0123456789", 10);
    };
    constexpr int Rounds = 40;
    for (int round = 0; round < Rounds; ++round) {
        HANDLE file = Open(ResourcePath(1, L"race.bin"));
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::atomic<bool> started{false};
        std::atomic<int> fakeAnswers{0};
        std::thread hammer([&] {
            // Until the close lands, every call is answered from the stream; afterwards the
            // value is the system's (a closed event handle) and the calls fail there.
            for (int i = 0; i < 200; ++i) {
                char buffer[4];
                DWORD read = 0;
                if (MyReadFile(file, buffer, 4, &read, nullptr) == -1) ++fakeAnswers;
                started = true;
                MySetFilePointer(file, 0, nullptr, FILE_BEGIN);
                MyGetFileSize(file, nullptr);
            }
        });
        while (!started) Sleep(0);
        EXPECT_TRUE(MyCloseHandle(file));
        hammer.join();
        EXPECT_GT(fakeAnswers.load(), 0);
    }
    EXPECT_EQ(TSlowProbeStream::Freed.load(), Rounds);
    EXPECT_EQ(TSlowProbeStream::FreedDuringUse.load(), 0) << "a stream was freed while being read";
}

TEST_F(FileRedirection, StreamsHandedOverByRaisingHandlersAreFreed) {
    bool freedByEvent = false, freedByLibraryHandler = false;
    control_.OnResourceAsync = [&](const std::wstring& path, TStream*& stream) {
        if (path != L"event.bin") return;
        stream = new TWatchedStream(&freedByEvent);
        throw Exception("event failed after assigning");
    };
    RegisterLibraryResourceAsyncHandler(TLoadExternalResourceAsyncHandler(
        [](void* freed, const std::wstring&, TStream*& stream) {
            stream = new TWatchedStream(static_cast<bool*>(freed));
            throw Exception("library handler failed after assigning");
        }, &freedByLibraryHandler));
    EXPECT_EQ(Open(ResourcePath(1, L"event.bin")), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(freedByEvent);
    EXPECT_EQ(Open(L"C:\\not\\there.bin"), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(freedByLibraryHandler);
    RegisterLibraryResourceAsyncHandler(TLoadExternalResourceAsyncHandler());
}
