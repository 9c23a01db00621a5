// Buttons whose states show sprites (animating while the state shows) and play sounds on
// state changes; timelines that would nest without end stop at a bound.

#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

class CommandHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring& command, const std::wstring&) override { commands.push_back(command); }
    std::wstring FlashCall(const std::wstring&) override { return L""; }
    std::vector<std::wstring> commands;
};

constexpr uint32_t Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF;

Bytes Square(uint16_t id, uint32_t argb) {
    ShapeWriter shape;
    shape.Solid(argb).Rectangle(0, 0, 200, 200);
    return shape.Body(id);
}

Bytes FsCommandAction(const std::string& command) {
    std::string url = "FSCommand:" + command;
    Bytes data(url.begin(), url.end());
    data.insert(data.end(), {0, 0});
    Bytes action = {SwfActionGetUrl, uint8_t(data.size()), 0};
    action.insert(action.end(), data.begin(), data.end());
    action.push_back(0);
    return action;
}

uint32_t DrawnAt(Playback& playback, int x, int y) {
    ViewOptions view;
    view.width = view.height = 20;
    view.opaque = false;
    RasterSurface surface;
    StageRenderer().Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    return surface.At(x, y);
}

// Button 4 at (100, 100) twips: up shows blue square 1; over and down show sprite 5, which
// shows red square 2 then green square 3 and says "spin" in its second frame; hit is square 1.
TestSwf ButtonMovie() {
    SpriteWriter spinner;
    spinner.Tag(SwfTagPlaceObject2, Place(2, 1)).ShowFrame();
    spinner.Tag(SwfTagRemoveObject2, RemoveObject2(1)).Tag(SwfTagPlaceObject2, Place(3, 1))
        .Tag(SwfTagDoAction, FsCommandAction("spin")).ShowFrame();
    Bytes button = DefineButton2(4, {{ButtonUp | ButtonHit, 1, 1}, {ButtonOver | ButtonDown, 5, 2}}, {});
    TestSwf movie;
    movie.Tag(SwfTagDefineShape3, Square(1, Blue)).Tag(SwfTagDefineShape3, Square(2, Red))
        .Tag(SwfTagDefineShape3, Square(3, Green)).Tag(SwfTagDefineSprite, spinner.Body(5))
        .Tag(SwfTagDefineButton2, button);
    return movie;
}

TEST(ButtonParts, SpriteOfTheShownStateAnimatesAndStopsWhenTheStateChanges) {
    TestSwf movie = ButtonMovie();
    // One frame: the root stays while the button's sprite moves on.
    Bytes file = movie.Tag(SwfTagPlaceObject2, Place(4, 1, 100, 100)).ShowFrame().End().Build(1, 24, 400, 400);
    CommandHost host;
    Playback playback(host);
    playback.Append(file.data(), file.size());
    playback.StartIfReady();
    DisplayObject* button = playback.Root()->ObjectAt(1);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(DrawnAt(playback, 8, 8), Blue);
    EXPECT_TRUE(button->stateParts.empty());

    playback.SetButtonState(*button, ButtonOver);
    ASSERT_EQ(button->stateParts.size(), 1u);
    EXPECT_EQ(DrawnAt(playback, 8, 8), Red);
    playback.Advance();
    EXPECT_EQ(DrawnAt(playback, 8, 8), Green);
    EXPECT_EQ(host.commands, std::vector<std::wstring>({L"spin"}));
    playback.Advance();
    EXPECT_EQ(DrawnAt(playback, 8, 8), Red);

    // Over to down keeps showing the sprite, restarted from its first frame.
    playback.Advance();
    playback.SetButtonState(*button, ButtonDown);
    EXPECT_EQ(DrawnAt(playback, 8, 8), Red);
    playback.SetButtonState(*button, ButtonUp);
    EXPECT_TRUE(button->stateParts.empty());
    EXPECT_EQ(DrawnAt(playback, 8, 8), Blue);
    size_t said = host.commands.size();
    playback.Advance();
    playback.Advance();
    EXPECT_EQ(host.commands.size(), said);  // the sprite no longer runs
}

// DefineButtonSound: the sound and its SOUNDINFO flags (and loop count) for each transition.
Bytes ButtonSounds(uint16_t button, const std::vector<std::pair<uint16_t, std::pair<uint8_t, uint16_t>>>& sounds) {
    BitWriter out;
    out.U16(button);
    for (const auto& [id, info] : sounds) {
        out.U16(id);
        if (!id) continue;
        out.U8(info.first);
        if (info.first & 0x04) out.U16(info.second);
    }
    return out.Data();
}

TEST(ButtonParts, StateChangesStartTheButtonsSounds) {
    TestSwf movie = ButtonMovie();
    // Roll over: sound 7 three times; press: stop sound 7; roll out and release: none.
    Bytes file = movie.Tag(SwfTagDefineSound, PcmSound(7, 64))
                     .Tag(SwfTagDefineButtonSound, ButtonSounds(4, {{0, {0, 0}}, {7, {0x04, 3}}, {7, {0x20, 0}}, {0, {0, 0}}}))
                     .Tag(SwfTagPlaceObject2, Place(4, 1, 100, 100)).ShowFrame().End().Build(1, 24, 400, 400);
    CommandHost host;
    Playback playback(host);
    playback.Append(file.data(), file.size());
    playback.StartIfReady();
    playback.TakeSoundStarts();
    DisplayObject* button = playback.Root()->ObjectAt(1);
    ASSERT_NE(button, nullptr);

    playback.ButtonEvent(*button, ButtonRollOver);
    std::vector<Playback::SoundStart> starts = playback.TakeSoundStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_FALSE(starts[0].stop);
    EXPECT_EQ(starts[0].loops, 3);
    ASSERT_TRUE(starts[0].sound);
    EXPECT_EQ(starts[0].sound->sampleCount, 64u);
    playback.ButtonEvent(*button, ButtonPress);
    starts = playback.TakeSoundStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(starts[0].stop);
    playback.ButtonEvent(*button, ButtonRelease);
    playback.ButtonEvent(*button, ButtonRollOut);
    EXPECT_TRUE(playback.TakeSoundStarts().empty());

    // Truncated records are a format error; sounds of an unknown button change nothing.
    CharacterDictionary dictionary;
    Bytes truncated = ButtonSounds(4, {{0, {0, 0}}, {7, {0x04, 3}}});
    truncated.pop_back();
    EXPECT_THROW(dictionary.Define(SwfTag{SwfTagDefineButtonSound, truncated}), FormatError);
    EXPECT_NO_THROW(dictionary.Define(
        SwfTag{SwfTagDefineButtonSound, ButtonSounds(9, {{7, {0, 0}}, {0, {0, 0}}, {0, {0, 0}}, {0, {0, 0}}})}));
}

int Nesting(const MovieClip* clip) {
    int depth = 0;
    for (; clip; depth++) {
        const MovieClip* inner = nullptr;
        for (const auto& [d, object] : clip->Objects()) {
            if (object->clip) inner = object->clip.get();
            for (const auto& part : object->stateParts)
                if (part->clip) inner = part->clip.get();
        }
        clip = inner;
    }
    return depth;
}

TEST(ButtonParts, TimelinesThatHoldThemselvesStopAtTheNestingBound) {
    // Sprite 5 places sprite 5; and button 4's up state shows sprite 6, which places button 4.
    SpriteWriter self;
    self.Tag(SwfTagPlaceObject2, Place(5, 1)).ShowFrame();
    SpriteWriter holder;
    holder.Tag(SwfTagPlaceObject2, Place(4, 1)).ShowFrame();
    for (bool viaButton : {false, true}) {
        TestSwf movie;
        movie.Tag(SwfTagDefineSprite, self.Body(5)).Tag(SwfTagDefineSprite, holder.Body(6))
            .Tag(SwfTagDefineButton2, DefineButton2(4, {{ButtonUp, 6, 1}}, {}))
            .Tag(SwfTagPlaceObject2, Place(viaButton ? 4 : 5, 1));
        Bytes file = movie.ShowFrame().ShowFrame().End().Build(2, 24, 400, 400);
        CommandHost host;
        Playback playback(host);
        playback.Append(file.data(), file.size());
        ASSERT_TRUE(playback.StartIfReady());
        int nesting = Nesting(playback.Root());
        EXPECT_GT(nesting, 10);
        EXPECT_LE(nesting, MovieClip::kMaxNesting + 2);
        playback.Advance();
        EXPECT_EQ(DrawnAt(playback, 5, 5), 0u);
    }
}

} // namespace
