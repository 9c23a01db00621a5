// The movie parser fed whole and in pieces must agree: the same error or the same tags, and
// playback of whatever parsed must step, jump, answer calls, take the bytes as a movie loaded
// into a level and draw it all without faulting.
#include <string>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/core/SwfParser.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace refplayer;

namespace {

struct TOutcome {
    bool failed = false;
    bool complete = false;
    std::vector<std::vector<std::pair<uint16_t, std::vector<uint8_t>>>> frames;
};

TOutcome Parse(const uint8_t* data, size_t size, const std::vector<size_t>* pieces) {
    TOutcome outcome;
    SwfParser parser;
    try {
        AppendInPieces(parser, data, size, pieces);
    } catch (const FormatError&) {
        outcome.failed = true;
        return outcome;
    }
    outcome.complete = parser.Complete();
    for (const SwfFrame& frame : parser.Movie().frames) {
        outcome.frames.emplace_back();
        for (const SwfTag& tag : frame.tags) outcome.frames.back().emplace_back(tag.code, tag.body);
    }
    return outcome;
}

class TQuietHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L"<string>x</string>"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<size_t> pieces = PieceLengths(data, size);
    TOutcome whole = Parse(data, size, nullptr);
    TOutcome piecewise = Parse(data, size, &pieces);
    FUZZ_CHECK(whole.failed == piecewise.failed);
    if (!whole.failed) {
        FUZZ_CHECK(whole.complete == piecewise.complete);
        FUZZ_CHECK(whole.frames == piecewise.frames);
    }

    TQuietHost host;
    Playback playback(host);
    try {
        playback.Reset(L"a=1&b=%41");
        playback.Append(data, size);
        playback.StartIfReady();
        for (int i = 0; i < 8; ++i) playback.Advance();
        playback.GotoFrame(size % 7);
        playback.CallFunction(L"<invoke name=\"getTotalFrames\" returntype=\"xml\"><arguments/></invoke>");
    } catch (const FormatError&) {
    }
    // The same bytes as a movie a script loads into a level, its buttons shown over, drawn.
    try {
        playback.ShowMovieInLevel(1, data, size);
    } catch (const FormatError&) {
    }
    try {
        for (const MovieClip* level : playback.Levels())
            for (const auto& [depth, object] : level->Objects())
                if (object->character && object->character->button)
                    playback.SetButtonState(*object, ButtonOver);
        for (int i = 0; i < 3; ++i) playback.Advance();
        ViewOptions view;
        view.width = view.height = 24;
        RasterSurface surface;
        StageRenderer renderer;
        if (playback.HeaderParsed()) {
            renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
            for (const MovieClip* level : playback.Levels()) renderer.RenderOver(*level, playback.Header(), view, surface);
        }
    } catch (const FormatError&) {
    }
    return 0;
}
