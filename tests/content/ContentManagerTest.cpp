// The content manager's URL route: registered movies, the requesting control's events, the
// library-wide handlers and the system, each asked in turn.
#include "ContentTestSupport.h"

#include <atomic>
#include <memory>
#include <thread>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/LibraryState.h"

namespace {

// What the player does to fetch a URL: register its callback in a bind context, make a
// moniker through the redirected CreateURLMoniker and bind it to storage.
HRESULT PlayerBind(const std::wstring& url, TRecordingCallback& player) {
    TComPtr<IBindCtx> bc;
    CreateBindCtx(0, bc.Put());
    TComPtr<IBindStatusCallback> previous;
    RegisterBindStatusCallback(bc.Get(), &player, previous.Put(), 0);
    TComPtr<IMoniker> moniker;
    HRESULT created = MyCreateURLMoniker(nullptr, url.c_str(), moniker.Put());
    if (created != S_OK) return created;
    TComPtr<IStream> storage;
    HRESULT bound = moniker->BindToStorage(bc.Get(), nullptr, IID_IStream, storage.PutVoid());
    if (storage) {
        // A synchronous system bind hands the data over as the result.
        char buffer[4096];
        ULONG read = 0;
        while (storage->Read(buffer, sizeof(buffer), &read) == S_OK && read > 0) player.Data.append(buffer, read);
    }
    RevokeBindStatusCallback(bc.Get(), &player);
    return bound;
}

std::wstring ResourcePath(int32_t id, const std::wstring& relative) {
    return std::wstring(L"Z:\\FromMemory\\") + MemoryPathMarker + L"\\" + std::to_wstring(id) + L"\\" + relative;
}

// A temporary folder with one file, for the system fall-backs.
class TTempFolder {
public:
    TTempFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Path = std::wstring(temp) + L"fpc-content-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(Path.c_str(), nullptr);
    }
    ~TTempFolder() {
        for (const auto& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(Path.c_str());
    }
    void Add(const std::wstring& name, const std::string& content) {
        std::wstring file = Path + L"\\" + name;
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(file);
    }
    std::wstring URL() const {
        std::wstring url = L"file:///" + Path;
        for (auto& c : url) if (c == L'\\') c = L'/';
        return url;
    }
    std::wstring Path;

private:
    std::vector<std::wstring> files_;
};

void WriteText(TStream* stream, const std::string& text) { stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size())); }

class ContentManagerRoutes : public ContentTest {};

}  // namespace

TEST_F(ContentManagerRoutes, MoviesGetRisingIdsAndThePlayerIsGivenTheResetURLFirst) {
    TTestControl a, b;
    std::unique_ptr<TStream> first(ContentManager->RegisterMovieStream(&a, false, -1));
    std::unique_ptr<TStream> second(ContentManager->RegisterMovieStream(&b, true, 3));
    EXPECT_EQ(a.Calls, (std::vector<std::string>{"movie " + Narrow(ResetMovieURL), "movie " + Narrow(FormatMoviePath(1))}));
    EXPECT_EQ(b.Calls, (std::vector<std::string>{"load 3 " + Narrow(ResetMovieURL), "load 3 " + Narrow(FormatMoviePath(2))}));
    EXPECT_EQ(ContentManager->FindControlById(1).Get(), &a);
    EXPECT_EQ(ContentManager->FindControlById(2).Get(), &b);
    ContentManager->UnregisterControl(&a);
    EXPECT_FALSE(ContentManager->FindControlById(1));
    EXPECT_EQ(a.References(), 1);
    EXPECT_EQ(ContentManager->MovieCounter(), 3);
}

TEST_F(ContentManagerRoutes, MovieBoundInsideTheLoadCallGetsItsDataWhenWrittenAndIsServedOnce) {
    TTestControl control;
    TRecordingCallback player;
    HRESULT bound = S_FALSE;
    control.OnMovie = [&](const std::wstring& url) {
        if (url != ResetMovieURL) bound = PlayerBind(url, player);
    };
    TMemoryStream movie;
    WriteText(&movie, "FWS-movie");
    ContentManager->LoadMovieFromStream(&control, false, movie, -1);
    EXPECT_EQ(bound, MK_S_ASYNCHRONOUS);
    EXPECT_EQ(player.Events, (std::vector<std::string>{
        "response 200 HTTP/1.1 200 OK\r\nContent-Length: -1\r\n", "start", "data 9 FWS-movie", "stop 0"}));

    // A second request for the same path is a resource request to the control.
    std::wstring asked;
    control.OnResource = [&](const std::wstring& url, TStream* stream) { asked = url; WriteText(stream, "again"); };
    TRecordingCallback second;
    EXPECT_EQ(PlayerBind(FormatMoviePath(1), second), MK_S_ASYNCHRONOUS);
    EXPECT_EQ(asked, MemoryMovieFileName);
    EXPECT_EQ(second.Data, "again");
}

TEST_F(ContentManagerRoutes, ExEventThenPlainEventWithTheLeadingSlashRemoved) {
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    std::vector<std::string> order;
    control.OnResourceEx = [&](const std::wstring& url, TStream* stream, bool& handled) {
        order.push_back("ex " + Narrow(url));
        WriteText(stream, "12");  // writes, but leaves handled false
        handled = false;
    };
    control.OnResource = [&](const std::wstring& url, TStream*) { order.push_back("plain " + Narrow(url)); };
    TRecordingCallback player;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"/img/a.jpg"), player), MK_S_ASYNCHRONOUS);
    EXPECT_EQ(order, (std::vector<std::string>{"ex img/a.jpg", "plain img/a.jpg"}));
    EXPECT_EQ(player.Data, "12");  // served by what the Ex handler wrote
    EXPECT_TRUE(player.Stopped);
}

TEST_F(ContentManagerRoutes, HandledExStreamMayBeFilledLaterFromAnotherThread) {
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    TStream* kept = nullptr;
    control.OnResourceEx = [&](const std::wstring&, TStream* stream, bool& handled) {
        kept = stream;
        handled = true;
    };
    TRecordingCallback player;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"late.xml"), player), MK_S_ASYNCHRONOUS);
    EXPECT_TRUE(player.Events.empty());
    std::atomic<bool> done{false};
    std::thread worker([&] {
        WriteText(kept, "<a/>");
        delete kept;
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(player.Data, "<a/>");
    EXPECT_TRUE(player.Stopped);
}

TEST_F(ContentManagerRoutes, NothingWrittenFallsBackToTheSystemMonikerUnderTheControlsBase) {
    TTempFolder folder;
    folder.Add(L"pic.txt", "from disk");
    TTestControl control;
    control.Base = folder.URL();
    control.OnResource = [](const std::wstring&, TStream*) {};  // writes nothing: not served
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    TRecordingCallback player;
    HRESULT result = PlayerBind(ResourcePath(1, L"pic.txt"), player);
    EXPECT_TRUE(result == MK_S_ASYNCHRONOUS) << std::hex << result;
    PumpUntil([&] { return player.Data == "from disk"; }, 3000);
    EXPECT_EQ(player.Data, "from disk");

    TRecordingCallback missing;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"absent.txt"), missing), MK_E_NOSTORAGE);
}

TEST_F(ContentManagerRoutes, FakePathOfAControlThatIsGoneFails) {
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    ContentManager->UnregisterControl(&control);
    TRecordingCallback player;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"a.png"), player), E_FAIL);
}

TEST_F(ContentManagerRoutes, TwoControlsSeeOnlyTheirOwnRequests) {
    TTestControl a, b;
    std::unique_ptr<TStream> movieA(ContentManager->RegisterMovieStream(&a, false, -1));
    std::unique_ptr<TStream> movieB(ContentManager->RegisterMovieStream(&b, false, -1));
    std::vector<std::string> seenA, seenB;
    a.OnResource = [&](const std::wstring& url, TStream* s) { seenA.push_back(Narrow(url)); WriteText(s, "A"); };
    b.OnResource = [&](const std::wstring& url, TStream* s) { seenB.push_back(Narrow(url)); WriteText(s, "B"); };
    TRecordingCallback p1, p2;
    PlayerBind(ResourcePath(2, L"x.png"), p1);
    PlayerBind(ResourcePath(1, L"y.png"), p2);
    EXPECT_EQ(seenA, std::vector<std::string>{"y.png"});
    EXPECT_EQ(seenB, std::vector<std::string>{"x.png"});
    EXPECT_EQ(p1.Data, "B");
    EXPECT_EQ(p2.Data, "A");
}

TEST_F(ContentManagerRoutes, OtherURLsGoToTheLibraryHandlersThenTheSystem) {
    std::vector<std::string> order;
    struct Log { std::vector<std::string>* Order; } log{&order};
    RegisterLibraryResourceExHandler(TLoadExternalResourceExHandler(
        [](void* l, const std::wstring& url, TStream*, bool& handled) {
            static_cast<Log*>(l)->Order->push_back("ex " + Narrow(url));
            handled = false;
        }, &log));
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler([](void* l, const std::wstring& url, TStream* s) {
        static_cast<Log*>(l)->Order->push_back("plain " + Narrow(url));
        if (url == L"http://served.invalid/a.xml") WriteText(s, "<served/>");
    }, &log));

    TRecordingCallback served;
    EXPECT_EQ(PlayerBind(L"http://served.invalid/a.xml", served), MK_S_ASYNCHRONOUS);
    EXPECT_EQ(order, (std::vector<std::string>{"ex http://served.invalid/a.xml", "plain http://served.invalid/a.xml"}));
    EXPECT_EQ(served.Data, "<served/>");

    // Neither handler serves it: the system moniker for the URL itself.
    TTempFolder folder;
    folder.Add(L"sys.txt", "system data");
    TRecordingCallback system;
    HRESULT result = PlayerBind(folder.URL() + L"/sys.txt", system);
    PumpUntil([&] { return system.Data == "system data"; }, 3000);
    EXPECT_EQ(system.Data, "system data") << std::hex << result;
}

TEST_F(ContentManagerRoutes, HandlerThatRaisesCountsAsNotServingAndIsReported) {
    static int reported = 0;
    reported = 0;
    SetApplicationErrorHandler([](std::exception_ptr) { ++reported; });
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    control.OnResourceEx = [](const std::wstring&, TStream*, bool&) { throw Exception("ex failed"); };
    control.OnResource = [](const std::wstring&, TStream* s) { WriteText(s, "next step"); };
    TRecordingCallback player;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"a.png"), player), MK_S_ASYNCHRONOUS);
    EXPECT_EQ(player.Data, "next step");
    EXPECT_EQ(reported, 1);
    SetApplicationErrorHandler(nullptr);
}

TEST_F(ContentManagerRoutes, WorkersFillingManyResourcesAtOnceDeliverEveryByteInOrder) {
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    std::vector<TStream*> streams;
    control.OnResourceEx = [&](const std::wstring&, TStream* stream, bool& handled) {
        streams.push_back(stream);
        handled = true;
    };
    const int Resources = 6;
    std::vector<std::unique_ptr<TRecordingCallback>> players;
    for (int i = 0; i < Resources; ++i) {
        players.push_back(std::make_unique<TRecordingCallback>());
        ASSERT_EQ(PlayerBind(ResourcePath(1, L"r" + std::to_wstring(i)), *players.back()), MK_S_ASYNCHRONOUS);
    }
    ASSERT_EQ(streams.size(), static_cast<size_t>(Resources));
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < Resources; ++i) {
        workers.emplace_back([&, i] {
            for (int chunk = 0; chunk < 50; ++chunk) WriteText(streams[i], std::to_string(i) + ":" + std::to_string(chunk) + ";");
            delete streams[i];
            ++finished;
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return finished.load() == Resources; }, 20000));
    for (auto& worker : workers) worker.join();
    for (int i = 0; i < Resources; ++i) {
        std::string expected;
        for (int chunk = 0; chunk < 50; ++chunk) expected += std::to_string(i) + ":" + std::to_string(chunk) + ";";
        EXPECT_EQ(players[i]->Data, expected);
        EXPECT_TRUE(players[i]->Stopped);
    }
}

namespace {

// Which thread each application hook ran on.
struct TThreadLog {
    std::atomic<DWORD> Event{0}, Library{0}, Filter{0};
};

}  // namespace

TEST_F(ContentManagerRoutes, EventsLibraryHandlersAndTheFilterRunOnThePlayersThread) {
    TTestControl control;
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));
    TThreadLog log;
    control.OnResource = [&](const std::wstring&, TStream* s) {
        log.Event = GetCurrentThreadId();
        WriteText(s, "event");
    };
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler([](void* l, const std::wstring&, TStream* s) {
        static_cast<TThreadLog*>(l)->Library = GetCurrentThreadId();
        WriteText(s, "library");
    }, &log));
    RegisterLibraryURLFilterHandler(TURLFilterHandler([](void* l, std::wstring&, bool& go) {
        static_cast<TThreadLog*>(l)->Filter = GetCurrentThreadId();
        go = true;
    }, &log));

    // A player asking from a thread of its own; the main thread keeps handling messages.
    std::atomic<bool> done{false};
    std::atomic<DWORD> playerThread{0};
    TRecordingCallback fromMovie, fromURL;
    std::thread player([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        playerThread = GetCurrentThreadId();
        PlayerBind(ResourcePath(1, L"a.png"), fromMovie);
        PlayerBind(L"http://served.invalid/b.xml", fromURL);
        CoUninitialize();
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    player.join();
    EXPECT_NE(playerThread.load(), GetCurrentThreadId());
    EXPECT_EQ(log.Event.load(), playerThread.load());
    EXPECT_EQ(log.Library.load(), playerThread.load());
    EXPECT_EQ(log.Filter.load(), playerThread.load());
    EXPECT_EQ(fromMovie.Data, "event");
    EXPECT_EQ(fromURL.Data, "library");
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler());
    RegisterLibraryURLFilterHandler(TURLFilterHandler());
}

TEST_F(ContentManagerRoutes, AFilterThatRefusesKeepsUnservedRequestsFromBaseAndTheSystem) {
    TTempFolder folder;
    folder.Add(L"pic.txt", "from disk");
    TTestControl control;
    control.Base = folder.URL();
    control.OnResource = [](const std::wstring& url, TStream* s) {
        if (url == L"served.txt") WriteText(s, "served");
    };
    std::unique_ptr<TStream> movie(ContentManager->RegisterMovieStream(&control, false, -1));

    // Without a filter an unserved relative request reads the file under Base.
    TRecordingCallback open;
    ASSERT_EQ(PlayerBind(ResourcePath(1, L"pic.txt"), open), MK_S_ASYNCHRONOUS);
    PumpUntil([&] { return open.Data == "from disk"; }, 3000);
    ASSERT_EQ(open.Data, "from disk");

    // Locked down: only what the program serves from memory gets through.
    RegisterLibraryURLFilterHandler(TURLFilterHandler([](void*, std::wstring& url, bool& go) {
        int32_t id = 0;
        std::wstring relative;
        go = ParseMemoryPath(url, id, relative) && relative == L"served.txt";
    }, nullptr));
    TRecordingCallback fromBase, fromSystem, served;
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"pic.txt"), fromBase), E_FAIL);
    EXPECT_EQ(PlayerBind(folder.URL() + L"/pic.txt", fromSystem), E_FAIL);
    EXPECT_EQ(PlayerBind(ResourcePath(1, L"served.txt"), served), MK_S_ASYNCHRONOUS);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(fromBase.Data, "");
    EXPECT_EQ(fromSystem.Data, "");
    EXPECT_EQ(served.Data, "served");
    RegisterLibraryURLFilterHandler(TURLFilterHandler());
}
