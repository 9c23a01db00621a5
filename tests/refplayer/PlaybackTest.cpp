#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "refplayer/core/InvokeXml.h"
#include "refplayer/core/Playback.h"
#include "tests/refplayer/TestMovies.h"

using namespace refplayer;
using refplayer_test::Bytes;
using refplayer_test::TestFlv;
using refplayer_test::TestSwf;

namespace {

class RecordingHost : public PlaybackHost {
public:
    std::vector<std::wstring> commands;  // "command|args"
    std::vector<std::wstring> calls;
    std::wstring answer;

    void FsCommand(const std::wstring& command, const std::wstring& args) override {
        commands.push_back(command + L"|" + args);
    }
    std::wstring FlashCall(const std::wstring& request) override {
        calls.push_back(request);
        return answer;
    }
};

// Frame 1 says "started", frame 3 says "last"; the second frame is empty.
Bytes ThreeFrames() {
    return TestSwf()
        .Background(0x102030)
        .GetUrl("FSCommand:started", "now")
        .ShowFrame()
        .ShowFrame()
        .GetUrl("FSCommand:last", "")
        .GetUrl("http://example.com/", "_blank")
        .ShowFrame()
        .End()
        .Build(3, 12);
}

class PlaybackTest : public ::testing::Test {
protected:
    RecordingHost host;
    Playback playback{host};
};

TEST_F(PlaybackTest, EntersFramesOnlyOnceTheirDataIsComplete) {
    Bytes movie = ThreeFrames();
    playback.Reset(L"");
    // The first ShowFrame tag (code 1, no body) closes the first frame.
    const uint8_t showFrame[] = {0x40, 0x00};
    size_t showFrameAt = size_t(std::search(movie.begin() + 21, movie.end(), showFrame, showFrame + 2) - movie.begin());
    ASSERT_LT(showFrameAt, movie.size());
    playback.Append(movie.data(), 30);
    EXPECT_TRUE(playback.HeaderParsed());
    EXPECT_EQ(playback.TotalFrames(), 3);
    EXPECT_EQ(playback.LoadedFrames(), 0);
    playback.Append(movie.data() + 30, showFrameAt - 30);
    EXPECT_FALSE(playback.StartIfReady());
    EXPECT_EQ(playback.CurrentFrame(), -1);
    EXPECT_TRUE(host.commands.empty());

    size_t firstFrameEnd = showFrameAt + 2;
    playback.Append(movie.data() + showFrameAt, 2);
    EXPECT_TRUE(playback.StartIfReady());
    EXPECT_EQ(playback.CurrentFrame(), 0);
    EXPECT_EQ(host.commands, std::vector<std::wstring>{L"started|now"});
    // The next frame has not arrived: the clock waits.
    EXPECT_FALSE(playback.Advance());
    playback.Append(movie.data() + firstFrameEnd, movie.size() - firstFrameEnd);
    EXPECT_TRUE(playback.Complete());
    EXPECT_EQ(playback.BackgroundColor(), 0x102030u);
    EXPECT_TRUE(playback.Advance());
    EXPECT_TRUE(playback.Advance());
    EXPECT_EQ(playback.CurrentFrame(), 2);
    // Only the FSCommand reaches the host; the plain getURL does not.
    EXPECT_EQ(host.commands, (std::vector<std::wstring>{L"started|now", L"last|"}));
}

TEST_F(PlaybackTest, LoopsOrStopsAtTheLastFrame) {
    Bytes movie = ThreeFrames();
    playback.Reset(L"");
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    playback.GotoFrame(2);
    EXPECT_TRUE(playback.Advance());
    EXPECT_EQ(playback.CurrentFrame(), 0);

    playback.SetLoop(false);
    playback.GotoFrame(7);  // clamped to the last frame
    EXPECT_EQ(playback.CurrentFrame(), 2);
    EXPECT_FALSE(playback.Advance());
    EXPECT_FALSE(playback.Playing());
    EXPECT_EQ(playback.CurrentFrame(), 2);
}

TEST_F(PlaybackTest, ResetForgetsTheMovieAndLoadsFlashVars) {
    Bytes movie = ThreeFrames();
    playback.Reset(L"");
    playback.Append(movie.data(), movie.size());
    playback.Variables().Set(L"old", L"1");
    playback.SetPlaying(false);
    playback.Reset(L"FLVPath=clip.flv&name=a%20b");
    EXPECT_FALSE(playback.HeaderParsed());
    EXPECT_EQ(playback.TotalFrames(), 0);
    EXPECT_EQ(playback.CurrentFrame(), -1);
    EXPECT_TRUE(playback.Playing());
    EXPECT_FALSE(playback.Variables().Get(L"old"));
    EXPECT_EQ(playback.Variables().Get(L"FLVPath"), L"clip.flv");
    EXPECT_EQ(playback.Variables().Get(L"name"), L"a b");
}

TEST_F(PlaybackTest, CallFunctionBuiltIns) {
    EXPECT_EQ(playback.CallFunction(
                  L"<invoke name=\"echo\" returntype=\"xml\"><arguments><string>hi &amp; bye</string>"
                  L"<number>2</number></arguments></invoke>"),
              L"<string>hi &amp; bye</string>");
    EXPECT_EQ(playback.CallFunction(L"<invoke name=\"echo\" returntype=\"xml\"><arguments></arguments></invoke>"),
              L"<undefined/>");

    host.answer = L"<number>42</number>";
    EXPECT_EQ(playback.CallFunction(L"<invoke name=\"callHost\" returntype=\"xml\"><arguments>"
                                    L"<string>hostAdd</string><number>40</number><number>2</number>"
                                    L"</arguments></invoke>"),
              L"<number>42</number>");
    ASSERT_EQ(host.calls.size(), 1u);
    InvokeRequest sent = ParseInvoke(host.calls[0]);
    EXPECT_EQ(sent.name, L"hostAdd");
    EXPECT_EQ(sent.returnType, L"xml");
    ASSERT_EQ(sent.arguments.size(), 2u);
    EXPECT_EQ(sent.arguments[0], InvokeValue::Number(40));
    // A host that gives nothing back answers undefined.
    host.answer.clear();
    EXPECT_EQ(playback.CallFunction(L"<invoke name=\"callHost\" returntype=\"xml\"><arguments>"
                                    L"<string>f</string></arguments></invoke>"),
              L"<undefined/>");

    playback.CallFunction(L"<invoke name=\"setVariable\" returntype=\"xml\"><arguments><string>v</string>"
                          L"<number>7</number></arguments></invoke>");
    EXPECT_EQ(playback.Variables().Get(L"v"), L"7");
    EXPECT_EQ(playback.CallFunction(L"<invoke name=\"getVariable\" returntype=\"xml\"><arguments>"
                                    L"<string>v</string></arguments></invoke>"),
              L"<string>7</string>");
    EXPECT_EQ(playback.CallFunction(L"<invoke name=\"getVariable\" returntype=\"xml\"><arguments>"
                                    L"<string>none</string></arguments></invoke>"),
              L"<null/>");
}

TEST_F(PlaybackTest, SetVariableTakesNumbersOfAnySizeAsText) {
    // Far outside every integer type: converted as a double, never through an integer cast.
    auto set = [&](const wchar_t* number) {
        playback.CallFunction(std::wstring(L"<invoke name=\"setVariable\" returntype=\"xml\"><arguments>"
                                           L"<string>v</string><number>") + number + L"</number></arguments></invoke>");
        return playback.Variables().Get(L"v").value_or(L"<unset>");
    };
    EXPECT_EQ(set(L"1e300"), L"1e+300");
    EXPECT_EQ(set(L"-1e300"), L"-1e+300");
    EXPECT_EQ(set(L"9223372036854775808"), L"9223372036854775808");
    EXPECT_EQ(set(L"42"), L"42");
    EXPECT_EQ(set(L"-0.5"), L"-0.5");
}

TEST_F(PlaybackTest, CallFunctionRejectsUnknownNamesAndBadRequests) {
    EXPECT_THROW(playback.CallFunction(L"<invoke name=\"nothing\" returntype=\"xml\"><arguments/></invoke>"),
                 UnknownFunctionError);
    EXPECT_THROW(playback.CallFunction(L"<invoke name=\"echo\""), FormatError);
    EXPECT_THROW(playback.CallFunction(L"<invoke name=\"callHost\" returntype=\"xml\"><arguments>"
                                       L"<number>1</number></arguments></invoke>"),
                 FormatError);
}

TEST(VideoPlaybackTest, ShowsTagsAsTheClockPassesTheirTimestamps) {
    VideoPlayback video;
    Bytes file = TestFlv().Frames({0, 40, 80, 400}).File();
    video.Parser().Append(file.data(), file.size());
    EXPECT_TRUE(video.Advance(0));
    EXPECT_EQ(video.TagsShown(), 1u);
    EXPECT_FALSE(video.Advance(39));
    EXPECT_TRUE(video.Advance(41));
    EXPECT_EQ(video.TagsShown(), 3u);
    EXPECT_TRUE(video.Advance(1000));
    EXPECT_EQ(video.TagsShown(), 4u);
    video.Reset();
    EXPECT_EQ(video.TagsShown(), 0u);
    EXPECT_EQ(video.Clock(), 0u);
}

} // namespace
