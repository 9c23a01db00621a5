// The windowed control hosting the reference player module, mapped by the library: movies
// from streams play, the movie's requests reach the control's events and the library-wide
// handlers, and making and freeing controls leaves nothing behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "../content/ContentTestSupport.h"
#include "../refplayer/TestMovies.h"
#include "PlayerModuleSupport.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/Forms.h"

using refplayer_test::Bytes;
using refplayer_test::TestFlv;
using refplayer_test::TestSwf;

namespace {

void Write(TStream* stream, const Bytes& bytes) {
    stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

TMemoryStream* StreamOf(const Bytes& bytes) {
    auto* stream = new TMemoryStream;
    Write(stream, bytes);  // left at its end: the loaders read from the start
    return stream;
}

struct TEventLog {
    std::vector<int> ReadyStates;
    int Progress = -1;
    std::vector<std::string> Resources;
    static void Ready(void* self, TObject*, int state) { static_cast<TEventLog*>(self)->ReadyStates.push_back(state); }
    static void Percent(void* self, TObject*, int percent) { static_cast<TEventLog*>(self)->Progress = percent; }
};

class ControlWithPlayerModule : public PlayerModuleTest {
protected:
    void SetUp() override {
        PlayerModuleTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(QueryFlashCodeVersion(), 0x0A002D02u);
    }

    TFlashPlayerControl* NewPlayer() {
        auto* player = new TFlashPlayerControl(form_.get());
        player->SetParent(form_.get());
        player->SetBounds(0, 0, 320, 240);
        player->HandleNeeded();
        return player;
    }
};

}  // namespace

TEST_F(ControlWithPlayerModule, MovieFromAStreamPlaysAndRaisesTheControlsEvents) {
    TFlashPlayerControl* player = NewPlayer();
    ASSERT_NE(player->OleObject(), nullptr);
    EXPECT_EQ(player->PlayerVersionClass(), 8);
    TEventLog log;
    player->OnReadyStateChange = TFlashPlayerControlOnReadyStateChange(&TEventLog::Ready, &log);
    player->OnProgress = TFlashPlayerControlOnProgress(&TEventLog::Percent, &log);

    std::unique_ptr<TMemoryStream> movie(StreamOf(TestSwf().Background(0x336699).ShowFrame().ShowFrame()
                                                      .ShowFrame().ShowFrame().End().Build(4, 30)));
    player->AssignLayerStream(0, *movie);
    movie.reset();  // the caller may free its stream at once
    player->Play();
    ASSERT_TRUE(PumpUntil([&] { return player->ReadyState() == 4; }));
    EXPECT_EQ(player->TotalFrames(), 4);
    EXPECT_EQ(player->PercentLoaded(), 100);
    ASSERT_FALSE(log.ReadyStates.empty());
    EXPECT_EQ(log.ReadyStates.back(), 4);
    EXPECT_EQ(log.Progress, 100);
    EXPECT_TRUE(PumpUntil([&] { return player->CurrentFrame() > 0; }, 3000));
}

TEST_F(ControlWithPlayerModule, MoviesRequestsReachTheControlsEventsAndTheLibraryHandler) {
    TFlashPlayerControl* player = NewPlayer();
    std::vector<std::string> asked;
    struct TContext {
        std::vector<std::string>* Asked;
        Bytes Video = TestFlv().Frames({0, 40, 80}).File();
        bool VideoFreed = false;
    } context{&asked};
    player->OnLoadExternalResourceEx = TFlashPlayerControlOnLoadExternalResourceEx(
        [](void* c, TObject*, const std::wstring& url, TStream*, bool& handled) {
            static_cast<TContext*>(c)->Asked->push_back("ex " + Narrow(url));
            handled = false;  // declined: the plain event is asked next
        }, &context);
    player->OnLoadExternalResource = TFlashPlayerControlOnLoadExternalResource(
        [](void* c, TObject*, const std::wstring& url, TStream* stream) {
            static_cast<TContext*>(c)->Asked->push_back("plain " + Narrow(url));
            if (url == L"sub/second.swf") Write(stream, TestSwf().ShowFrame().ShowFrame().ShowFrame().ShowFrame()
                                                            .ShowFrame().ShowFrame().ShowFrame().End().Build(7));
        }, &context);
    player->OnLoadExternalResourceAsync = TFlashPlayerControlOnLoadExternalResourceAsync(
        [](void* c, TObject*, const std::wstring& path, TStream*& stream) {
            auto* self = static_cast<TContext*>(c);
            self->Asked->push_back("async " + Narrow(path));
            class TWatched : public TMemoryStream {
            public:
                explicit TWatched(bool* freed) : freed_(freed) {}
                ~TWatched() override { *freed_ = true; }
                bool* freed_;
            };
            stream = new TWatched(&self->VideoFreed);
            Write(stream, self->Video);
        }, &context);

    // The video named by a relative path is opened as a file beside the movie.
    player->SetFlashVars(L"FLVPath=clip.flv");
    std::unique_ptr<TMemoryStream> movie(StreamOf(TestSwf().ShowFrame().End().Build(1)));
    player->AssignMovieStream(*movie);
    ASSERT_TRUE(PumpUntil([&] { return player->ReadyState() == 4; }));
    EXPECT_TRUE(PumpUntil([&] { return context.VideoFreed; }, 3000));  // read and closed by the player
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), "async clip.flv");

    // A movie named relative to the first reaches the URL events, Ex first, with its bytes.
    asked.clear();
    player->LoadMovie(0, L"sub/second.swf");
    ASSERT_TRUE(PumpUntil([&] { return player->ReadyState() == 4 && player->TotalFrames() == 7; }))
        << "asked: " << (asked.empty() ? std::string("nothing") : asked.front()) << ", ready state "
        << player->ReadyState() << ", frames " << player->TotalFrames() << ", movie " << Narrow(player->Movie());
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(asked.begin(), asked.begin() + 2),
              (std::vector<std::string>{"ex sub/second.swf", "plain sub/second.swf"}));

    // An absolute URL goes to the library-wide handler.
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler([](void*, const std::wstring& url, TStream* stream) {
        if (url == L"http://movies.test/third.swf") Write(stream, TestSwf().ShowFrame().ShowFrame().End().Build(2));
    }, nullptr));
    player->LoadMovie(0, L"http://movies.test/third.swf");
    EXPECT_TRUE(PumpUntil([&] { return player->ReadyState() == 4 && player->TotalFrames() == 2; }));
    RegisterLibraryResourceHandler({});
}

TEST_F(ControlWithPlayerModule, MakingAndFreeingControlsWithMoviesLeavesNothingBehind) {
    auto cycle = [&] {
        TFlashPlayerControl* player = NewPlayer();
        std::unique_ptr<TMemoryStream> movie(StreamOf(TestSwf().ShowFrame().ShowFrame().End().Build(2)));
        player->AssignMovieStream(*movie);
        PumpUntil([&] { return player->ReadyState() == 4; }, 3000);
        delete player;
        PumpUntil([] { return false; }, 20);
    };
    cycle();  // first use allocates what lives for the process (classes, cursors, caches)
    cycle();
    int windows = ThreadWindowCount();
    ASSERT_GT(windows, 0);
    // The system's own counters, where it keeps them (Wine answers 0 for these).
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);

    for (int i = 0; i < 15; ++i) cycle();

    EXPECT_EQ(ThreadWindowCount(), windows);
    if (gdi) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi + 2);
    }
    if (user) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user + 2);
    }
    DWORD handlesAfter = 0;
    if (handles && GetProcessHandleCount(GetCurrentProcess(), &handlesAfter)) {
        EXPECT_LE(handlesAfter, handles + 2);
    }
    // Every control forgot its movies' ids when it was freed.
    for (int32_t id = 1; id < ContentManager->MovieCounter(); ++id) EXPECT_FALSE(ContentManager->FindControlById(id));
}
