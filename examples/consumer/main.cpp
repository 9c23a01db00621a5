// Plays a movie handed over from memory in a TFlashPlayerControl on a form, with the player
// locked down by a URL filter, and reports the outcome in its exit code:
//   0  the movie arrived complete (ready state 4) and a URL from outside was refused
//   1  the movie did not arrive complete within the time allowed
//   2  the URL filter let a URL from outside through
//   3  the library raised an error
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "FlashPlayerControl/Version.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "framework/Application.h"
#include "framework/Forms.h"
#include "framework/Streams.h"

// The package carries these to its users; this program sets none of them itself.
static_assert(__cplusplus >= 201703L, "C++17 comes with the package");
#if !defined(NOMINMAX) || !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0601
#error "the system definitions come with the package"
#endif

namespace {

// A movie of a 320 x 240 stage with a background colour and `frames` empty frames.
std::vector<uint8_t> MakeMovie(uint16_t frames) {
    std::vector<uint8_t> body = {
        0x80, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x96, 0x00,  // stage 0..6400 x 0..4800 twips
        0x00, 12,                                              // 12 frames per second
        static_cast<uint8_t>(frames), static_cast<uint8_t>(frames >> 8),
        0x43, 0x02, 0x20, 0x60, 0xA0,                          // background colour
    };
    for (uint16_t i = 0; i < frames; ++i) body.insert(body.end(), {0x40, 0x00});  // show frame
    body.insert(body.end(), {0x00, 0x00});                                       // end
    uint32_t length = static_cast<uint32_t>(8 + body.size());
    std::vector<uint8_t> movie = {'F', 'W', 'S', 8, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                  static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
    movie.insert(movie.end(), body.begin(), body.end());
    return movie;
}

// The URL filter runs on the player's thread; the main thread reads what it refused.
std::mutex RefusedLock;
std::vector<std::wstring> Refused;

// What this program serves itself, relative to its movie (by its resource handlers).
const std::set<std::wstring> ServedResources = {L"images/logo.jpg"};

// Locks the player down: only movies handed over from memory and the resources this program
// serves get through. Everything else -- files under Base, file:, http: and the rest -- is
// refused before any handler, the files under Base or the system's URL handling see it.
void LockDown(void*, std::wstring& url, bool& continueLoading) {
    int32_t id = 0;
    std::wstring relative;
    continueLoading = ParseMemoryPath(url, id, relative) &&
                      (relative == MemoryMovieFileName || ServedResources.count(relative) != 0);
    if (!continueLoading) {
        std::lock_guard<std::mutex> guard(RefusedLock);
        Refused.push_back(url);
    }
}

bool WasRefused(const std::wstring& url) {
    std::lock_guard<std::mutex> guard(RefusedLock);
    for (const std::wstring& refused : Refused)
        if (refused == url) return true;
    return false;
}

// Handles messages until `done` holds or `milliseconds` have passed.
template <typename Condition>
bool PumpUntil(Condition done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= milliseconds) return false;
        Application()->ProcessMessages();
        Sleep(10);
    }
    return true;
}

int Run() {
    RegisterLibraryURLFilterHandler(TURLFilterHandler(&LockDown, nullptr));

    TForm form(nullptr);
    form.SetBounds(40, 40, 360, 300);
    form.SetCaption("consumer");
    form.Show();
    auto* player = new TFlashPlayerControl(&form);  // owned and freed by the form
    player->SetParent(&form);
    player->SetBounds(0, 0, 320, 240);

    const uint16_t frames = 5;
    std::vector<uint8_t> bytes = MakeMovie(frames);
    TMemoryStream movie;
    movie.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    player->AssignMovieStream(movie);
    player->Play();

    bool complete = PumpUntil([&] { return player->ReadyState() == 4 && player->TotalFrames() == frames; }, 20000);
    std::printf("consumer: FlashPlayerControl %s, player code version %08X, ready state %d, %d frames\n",
                FLASHPLAYERCONTROL_VERSION, static_cast<unsigned>(QueryFlashCodeVersion()),
                static_cast<int>(player->ReadyState()), static_cast<int>(player->TotalFrames()));
    if (!complete) return 1;

    // A movie from outside: the filter refuses it before anything is fetched.
    const std::wstring outside = L"http://example.invalid/outside.swf";
    try {
        player->LoadMovie(0, outside);
    } catch (const EOleError&) {
        // A player may report the refused load as its own failure; the filter's record decides.
    }
    PumpUntil([&] { return WasRefused(outside); }, 5000);
    bool refused = WasRefused(outside);
    std::printf("consumer: %s refused by the URL filter: %s\n", "http://example.invalid/outside.swf",
                refused ? "yes" : "no");
    RegisterLibraryURLFilterHandler(TURLFilterHandler());
    return refused ? 0 : 2;
}

}  // namespace

int main() {
    Application()->Initialize();
    try {
        return Run();
    } catch (const std::exception& error) {
        std::printf("consumer: error: %s\n", error.what());
        return 3;
    }
}
