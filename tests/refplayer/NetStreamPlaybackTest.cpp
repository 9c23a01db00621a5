// A movie's NetStream played through Playback: the script drives the stream, the host feeds
// its bytes, and the Video object on the stage shows the stream's pictures.

#include <gtest/gtest.h>

#include "NetStreamMovie.h"
#include "VideoTestSupport.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"

namespace {

using namespace refplayer;

class StreamHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L""; }
    bool OpenStream(uint64_t transfer, const std::wstring& url) override {
        opened.emplace_back(transfer, url);
        // A local file is read whole before play() returns.
        if (playback && !immediate.empty() && playback->StreamData(transfer, immediate.data(), immediate.size()))
            playback->StreamEnd(transfer, false);
        return found;
    }
    bool found = true;
    Playback* playback = nullptr;
    videotest::Bytes immediate;
    std::vector<std::pair<uint64_t, std::wstring>> opened;
};

// The stage: 200 x 160 pixels; my_video (160 x 120) at (20, 10).
refplayer_test::Bytes VideoMovie() { return refplayer_test::NetStreamMovie(200, 160, 20, 10, 0x000000); }

struct VideoStage {
    StreamHost host;
    Playback playback{host};
    StageRenderer renderer;
    RasterSurface surface;

    explicit VideoStage(const std::wstring& flashVars = L"FLVPath=h263-motion.flv") {
        playback.Reset(flashVars);
        refplayer_test::Bytes movie = VideoMovie();
        playback.Append(movie.data(), movie.size());
        playback.StartIfReady();
        renderer.SetVideoSource(&playback);
    }
    void Draw() {
        ViewOptions view;
        view.width = 200;
        view.height = 160;
        view.background = 0x000000;
        renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    }
    std::string Codes() { return playback.GetVariable("codes").value_or("?"); }
    // Pixels of the video's box, a few apart.
    std::vector<uint32_t> VideoArea() {
        Draw();
        std::vector<uint32_t> pixels;
        for (int y = 12; y < 128; y += 4)
            for (int x = 22; x < 178; x += 4) pixels.push_back(surface.At(x, y));
        return pixels;
    }
};

TEST(NetStreamPlayback, ScriptedStreamShowsChangingPicturesInTheVideoObject) {
    VideoStage stage;
    ASSERT_EQ(stage.host.opened.size(), 1u);
    EXPECT_EQ(stage.host.opened[0].second, L"h263-motion.flv");
    EXPECT_EQ(stage.Codes(), "NetStream.Play.Start,");
    const uint64_t transfer = stage.host.opened[0].first;

    videotest::Bytes flv = videotest::ReadData("h263-motion.flv");
    // The bytes come in pieces, as a download brings them.
    for (size_t at = 0; at < flv.size(); at += 4000)
        ASSERT_TRUE(stage.playback.StreamData(transfer, flv.data() + at, std::min<size_t>(4000, flv.size() - at)));
    stage.playback.StreamEnd(transfer, false);
    EXPECT_NE(stage.Codes().find("NetStream.Buffer.Full,"), std::string::npos) << stage.Codes();

    stage.playback.AdvanceStreams(1);
    std::vector<uint32_t> first = stage.VideoArea();
    // Outside the video's box the stage stays black; inside, the picture is not.
    stage.Draw();
    EXPECT_EQ(stage.surface.At(5, 5) & 0xFFFFFF, 0u);
    EXPECT_EQ(stage.surface.At(190, 150) & 0xFFFFFF, 0u);
    size_t lit = 0;
    for (uint32_t p : first) lit += (p & 0xFFFFFF) != 0;
    EXPECT_GT(lit, first.size() / 2);

    bool changed = false;
    for (int tick = 0; tick < 10 && !changed; tick++) changed = stage.playback.AdvanceStreams(100);
    ASSERT_TRUE(changed);
    EXPECT_NE(stage.VideoArea(), first);

    for (int tick = 0; tick < 200 && stage.Codes().find("Play.Stop") == std::string::npos; tick++)
        stage.playback.AdvanceStreams(100);
    EXPECT_NE(stage.Codes().find("NetStream.Play.Stop,"), std::string::npos) << stage.Codes();
}

TEST(NetStreamPlayback, UnopenedOrFailedStreamsAreNotFoundAndStaleTransfersAreRefused) {
    {
        StreamHost host;
        host.found = false;
        Playback playback(host);
        playback.Reset(L"FLVPath=missing.flv");
        refplayer_test::Bytes movie = VideoMovie();
        playback.Append(movie.data(), movie.size());
        playback.StartIfReady();
        EXPECT_EQ(playback.GetVariable("codes").value_or("?"),
                  "NetStream.Play.Start,NetStream.Play.StreamNotFound,");
        VideoFrame frame;
        EXPECT_FALSE(playback.Root()->ObjectNamed("my_video") &&
                     playback.VideoPicture(*playback.Root()->ObjectNamed("my_video"), frame));
    }
    {
        VideoStage stage;
        const uint64_t transfer = stage.host.opened.at(0).first;
        stage.playback.StreamEnd(transfer, true);
        EXPECT_EQ(stage.Codes(), "NetStream.Play.Start,NetStream.Play.StreamNotFound,");
        // The transfer is over: more bytes under it are not wanted, nor are unknown ones.
        const uint8_t bytes[4] = {'F', 'L', 'V', 1};
        EXPECT_FALSE(stage.playback.StreamData(transfer, bytes, sizeof bytes));
        EXPECT_FALSE(stage.playback.StreamData(transfer + 1000, bytes, sizeof bytes));
    }
    {
        // Garbage instead of a video: the stream is not found, nothing is drawn, nothing breaks.
        VideoStage stage;
        const uint64_t transfer = stage.host.opened.at(0).first;
        std::vector<uint8_t> junk(3000, 0xA5);
        stage.playback.StreamData(transfer, junk.data(), junk.size());
        stage.playback.StreamEnd(transfer, false);
        stage.playback.AdvanceStreams(100);
        EXPECT_NE(stage.Codes().find("NetStream.Play.StreamNotFound,"), std::string::npos) << stage.Codes();
        for (uint32_t p : stage.VideoArea()) ASSERT_EQ(p & 0xFFFFFF, 0u);
    }
}

TEST(NetStreamPlayback, ResetForgetsStreamsAndTheirTransfers) {
    VideoStage stage;
    const uint64_t transfer = stage.host.opened.at(0).first;
    videotest::Bytes flv = videotest::ReadData("h263-motion.flv");
    ASSERT_TRUE(stage.playback.StreamData(transfer, flv.data(), flv.size() / 2));
    EXPECT_TRUE(stage.playback.HasStreams());
    stage.playback.Reset(L"");
    EXPECT_FALSE(stage.playback.HasStreams());
    EXPECT_FALSE(stage.playback.StreamData(transfer, flv.data() + flv.size() / 2, flv.size() - flv.size() / 2));
    EXPECT_FALSE(stage.playback.AdvanceStreams(100));
}

TEST(NetStreamPlayback, AMovieGetsABoundedNumberOfStreamsAndTheRestAreInert) {
    using refplayer_test::Asm;
    using refplayer_test::Int;
    using refplayer_test::Str;
    VideoStage stage(L"");  // FLVPath unset: the movie's own stream plays "undefined"
    stage.host.opened.clear();
    Asm script;
    const int count = int(Playback::kMaxNetStreams) + 6;
    for (int i = 0; i < count; i++)
        script.push({Str("s" + std::to_string(i)), Int(0), Str("NetStream")}).op(Asm::NewObject).op(Asm::SetVariable);
    for (int i : {count - 1, 1})
        script.push({Str("v" + std::to_string(i) + ".flv"), Int(1)}).get("s" + std::to_string(i)).push("play")
            .op(Asm::CallMethod).op(Asm::Pop);
    stage.playback.RunActions(*stage.playback.Root()->Owner(), script.Build());
    ASSERT_EQ(stage.host.opened.size(), 1u);
    EXPECT_EQ(stage.host.opened[0].second, L"v1.flv");
}

TEST(NetStreamPlayback, StreamReadWholeInsidePlayFromAnEventHandlerReportsAndShows) {
    using refplayer_test::Asm;
    using refplayer_test::Int;
    VideoStage stage;
    stage.host.playback = &stage.playback;
    stage.host.immediate = videotest::ReadData("h263-motion.flv");
    // _root.onEnterFrame = function() { ns.play(FLVPath); }: play from an event handler,
    // the stream read whole before play() returns.
    Asm replay;
    replay.get("FLVPath").push({Int(1)}).get("ns").push("play").op(Asm::CallMethod).op(Asm::Pop);
    Asm script;
    script.get("_root").push("onEnterFrame").defineFunction("", {}, replay).op(Asm::SetMember);
    stage.playback.RunActions(*stage.playback.Root()->Owner(), script.Build());
    stage.playback.EnterFrameEvents();
    ASSERT_EQ(stage.host.opened.size(), 2u);
    EXPECT_EQ(stage.Codes(), "NetStream.Play.Start,NetStream.Play.Start,NetStream.Buffer.Full,");
    stage.playback.AdvanceStreams(1);
    std::vector<uint32_t> area = stage.VideoArea();
    EXPECT_NE(area, std::vector<uint32_t>(area.size(), stage.surface.At(0, 0)));
}

} // namespace
