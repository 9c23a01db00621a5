#include <cmath>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VideoTestSupport.h"
#include "refplayer/core/FlvStreamPlayer.h"
#include "refplayer/core/H263Decoder.h"

using namespace refplayer;
using namespace videotest;

namespace {

// Records what reaches the sound output; its position is set by the test.
class RecordingSink : public AudioSink {
public:
    void PlaySamples(const int16_t* samples, size_t frames, int sampleRate, int channels) override {
        this->samples.insert(this->samples.end(), samples, samples + frames * size_t(channels));
        rate = sampleRate;
    }
    bool PlayMp3(const uint8_t*, size_t size, int, int) override {
        mp3Bytes += size;
        return acceptMp3;
    }
    int64_t PlayedMilliseconds() override { return played; }
    void SetPaused(bool value) override { paused = value; }
    void Flush() override { flushes++; }

    std::vector<int16_t> samples;
    int rate = 0;
    size_t mp3Bytes = 0;
    bool acceptMp3 = true;
    int64_t played = -1;
    bool paused = false;
    int flushes = 0;
};

struct Events {
    std::vector<std::string> codes;
    std::vector<std::string> levels;
    void Attach(FlvStreamPlayer& player) {
        player.SetStatusCallback([this](const std::string& code, const std::string& level) {
            codes.push_back(code);
            levels.push_back(level);
        });
    }
    bool Has(const std::string& code) const { return std::find(codes.begin(), codes.end(), code) != codes.end(); }
};

// The picture the decoder gives for the H.263 frames [0, count) of a clip, as BGRA.
BgraImage ExpectedPicture(const std::string& file, size_t count) {
    std::vector<Tag> video = TagsOfType(ReadTags(ReadData(file)), 9);
    H263Decoder decoder;
    for (size_t i = 0; i < count; i++) decoder.Decode(video[i].data.data() + 1, video[i].data.size() - 1);
    BgraImage image;
    ConvertYuvToBgra(decoder.Picture(), image);
    return image;
}

// Plays a whole stream given in pieces of `piece` bytes, ticking 10 ms between pieces and
// afterwards until it stops (or 60 s of stream time pass).
size_t PlayInPieces(FlvStreamPlayer& player, const Bytes& flv, size_t piece) {
    size_t pictures = 0;
    uint64_t serial = player.PictureSerial();
    auto tick = [&] {
        player.Advance(10);
        if (player.PictureSerial() != serial) {
            serial = player.PictureSerial();
            pictures++;
        }
    };
    for (size_t at = 0; at < flv.size(); at += piece) {
        player.Append(flv.data() + at, std::min(piece, flv.size() - at));
        tick();
    }
    player.EndOfData();
    for (int i = 0; i < 6000 && !player.Finished(); i++) tick();
    return pictures;
}

} // namespace

TEST(FlvStreamPlayer, PlaysAProgressiveStreamFrameByFrameWithStatusEvents) {
    Bytes flv = ReadData("h263-motion.flv");
    FlvStreamPlayer player;
    Events events;
    events.Attach(player);
    player.Play();
    EXPECT_EQ(events.codes, std::vector<std::string>{"NetStream.Play.Start"});
    size_t pictures = PlayInPieces(player, flv, 97);
    EXPECT_EQ(pictures, 10u); // one per frame: 10 frames at 12 per second
    ASSERT_GE(events.codes.size(), 3u);
    EXPECT_EQ(events.codes[1], "NetStream.Buffer.Full");
    EXPECT_EQ(events.codes.back(), "NetStream.Play.Stop");
    EXPECT_TRUE(player.Finished());
    EXPECT_NEAR(player.Time(), 0.75, 0.05);
    ASSERT_TRUE(player.HasPicture());
    EXPECT_EQ(player.Width(), 64);
    EXPECT_TRUE(player.Picture().pixels == ExpectedPicture("h263-motion.flv", 10).pixels);
}

TEST(FlvStreamPlayer, OutOfRangeTimesFromScriptsAndLongRunsStayDefined) {
    // A script's buffer time may be anything; a clock ticked far past 2^32 ms must not wrap
    // or convert out of range (the sanitizers would stop the test).
    Bytes flv = ReadData("h263-motion.flv");
    FlvStreamPlayer player;
    player.SetBufferTime(-5);
    player.SetBufferTime(std::nan(""));
    player.SetBufferTime(1e300);
    player.SetBufferTime(0);
    player.Play();
    player.Append(flv.data(), flv.size());
    for (int i = 0; i < 4; ++i) player.Advance(4000000000u);
    EXPECT_TRUE(player.HasPicture());
}

TEST(FlvStreamPlayer, ShowsThePictureDueAtTheClockAndHonoursBufferTime) {
    Bytes flv = ReadData("h263-motion.flv");
    FlvStreamPlayer player;
    Events events;
    events.Attach(player);
    player.SetBufferTime(0.5);
    player.Play();
    // Half the data (frames up to about 0.3 s) is less than the buffer time: still buffering.
    player.Append(flv.data(), flv.size() / 2);
    EXPECT_FALSE(player.Playing());
    EXPECT_FALSE(player.Advance(100));
    EXPECT_EQ(player.Time(), 0);
    player.Append(flv.data() + flv.size() / 2, flv.size() - flv.size() / 2);
    EXPECT_TRUE(player.Playing());
    EXPECT_TRUE(events.Has("NetStream.Buffer.Full"));
    player.Advance(260); // frame 3 is due at 250 ms
    EXPECT_TRUE(player.Picture().pixels == ExpectedPicture("h263-motion.flv", 4).pixels);
    EXPECT_NEAR(player.BufferLength(), 0.75 - 0.26, 0.01);
}

TEST(FlvStreamPlayer, RunsOutOfDataAndBuffersAgain) {
    Bytes flv = ReadData("h263-motion.flv");
    FlvStreamPlayer player;
    Events events;
    events.Attach(player);
    player.SetBufferTime(0);
    player.Play();
    player.Append(flv.data(), flv.size() / 2);
    for (int i = 0; i < 100; i++) player.Advance(10);
    EXPECT_TRUE(events.Has("NetStream.Buffer.Empty"));
    EXPECT_FALSE(player.Playing());
    double stalled = player.Time();
    player.Advance(500);
    EXPECT_DOUBLE_EQ(player.Time(), stalled);
    player.Append(flv.data() + flv.size() / 2, flv.size() - flv.size() / 2);
    EXPECT_TRUE(player.Playing());
}

TEST(FlvStreamPlayer, PausesSeeksToKeyFramesAndCloses) {
    Bytes flv = ReadData("clip-320x240-adpcm.flv");
    RecordingSink sink;
    FlvStreamPlayer player(&sink);
    Events events;
    events.Attach(player);
    player.Play();
    player.Append(flv.data(), flv.size());
    player.EndOfData();
    player.Advance(300);
    player.Pause(1);
    EXPECT_TRUE(sink.paused);
    double paused = player.Time();
    player.Advance(1000);
    EXPECT_DOUBLE_EQ(player.Time(), paused);
    player.Pause(-1);
    EXPECT_FALSE(sink.paused);
    EXPECT_TRUE(events.Has("NetStream.Pause.Notify"));
    EXPECT_TRUE(events.Has("NetStream.Unpause.Notify"));

    // Key frames every 12 frames (each second): 1.6 s lands on 1.0 s and shows that frame.
    int flushes = sink.flushes;
    player.Seek(1.6);
    EXPECT_DOUBLE_EQ(player.Time(), 1.0);
    EXPECT_TRUE(events.Has("NetStream.Seek.Notify"));
    EXPECT_GT(sink.flushes, flushes);
    EXPECT_TRUE(player.Picture().pixels == ExpectedPicture("clip-320x240-adpcm.flv", 13).pixels);
    player.Seek(-5);
    EXPECT_DOUBLE_EQ(player.Time(), 0.0);
    EXPECT_TRUE(player.Picture().pixels == ExpectedPicture("clip-320x240-adpcm.flv", 1).pixels);

    player.Close();
    EXPECT_FALSE(player.HasPicture());
    EXPECT_FALSE(player.Advance(100));
    EXPECT_EQ(player.Time(), 0);
}

TEST(FlvStreamPlayer, SoundReachesTheSinkAndItsPositionDrivesTheClock) {
    Bytes flv = ReadData("adpcm-mono.flv");
    RecordingSink sink;
    sink.played = 0;
    FlvStreamPlayer player(&sink);
    player.Play();
    player.Append(flv.data(), flv.size());
    player.EndOfData();
    // The device has played nothing: the clock stays within a quarter second of the ticks.
    for (int i = 0; i < 10; i++) player.Advance(50);
    EXPECT_NEAR(player.Time(), 0.25, 0.001);
    sink.played = 400;
    player.Advance(10);
    EXPECT_NEAR(player.Time(), 0.4, 0.001);
    for (int i = 0; i < 200 && !player.Finished(); i++) player.Advance(20);
    EXPECT_TRUE(player.Finished());
    EXPECT_EQ(sink.rate, 22050);
    EXPECT_TRUE(sink.samples == ReadSamples("adpcm-mono.s16"));
}

TEST(FlvStreamPlayer, Mp3GoesToThePlatformAndPlaysOnWithoutIt) {
    Bytes flv = ReadData("clip-320x240-mp3.flv");
    for (bool accept : {true, false}) {
        RecordingSink sink;
        sink.acceptMp3 = accept;
        FlvStreamPlayer player(&sink);
        Events events;
        events.Attach(player);
        player.Play();
        size_t pictures = PlayInPieces(player, flv, 4096);
        EXPECT_GT(sink.mp3Bytes, 5000u);
        EXPECT_EQ(pictures, 24u);
        EXPECT_EQ(events.codes.back(), "NetStream.Play.Stop");
    }
}

TEST(FlvStreamPlayer, ScreenVideoAndUnknownCodecs) {
    Bytes flv = ReadData("screen.flv");
    FlvStreamPlayer player;
    player.Play();
    EXPECT_EQ(PlayInPieces(player, flv, 500), 3u);
    EXPECT_EQ(player.Picture().width, 80);
    Bytes bgr = ReadData("screen.bgr");
    const BgraImage& picture = player.Picture();
    EXPECT_EQ(picture.pixels[0], bgr[bgr.size() * 2 / 3]);

    // The same clip claiming another codec: no picture, no error, plays to its end.
    for (size_t pos = 13; pos + 11 < flv.size();) {
        size_t size = size_t(flv[pos + 1]) << 16 | size_t(flv[pos + 2]) << 8 | flv[pos + 3];
        if (flv[pos] == 9) flv[pos + 11] = uint8_t((flv[pos + 11] & 0xF0) | 4);
        pos += 11 + size + 4;
    }
    FlvStreamPlayer other;
    Events events;
    events.Attach(other);
    other.Play();
    EXPECT_EQ(PlayInPieces(other, flv, 500), 0u);
    EXPECT_FALSE(other.HasPicture());
    EXPECT_EQ(events.codes.back(), "NetStream.Play.Stop");
}

TEST(FlvStreamPlayer, MissingTruncatedAndDamagedStreams) {
    Bytes flv = ReadData("h263-motion.flv");
    {
        FlvStreamPlayer player;
        Events events;
        events.Attach(player);
        player.Play();
        player.NotFound();
        EXPECT_EQ(events.codes.back(), "NetStream.Play.StreamNotFound");
        EXPECT_EQ(events.levels.back(), "error");
    }
    {
        FlvStreamPlayer player;
        Events events;
        events.Attach(player);
        player.Play();
        Bytes text = {'<', 'h', 't', 'm', 'l', '>', ' ', ' ', ' ', ' ', ' ', ' '};
        player.Append(text.data(), text.size());
        EXPECT_EQ(events.codes.back(), "NetStream.Play.StreamNotFound");
    }
    {
        // Cut inside the 6th video tag: five frames play, then the stream stops there.
        size_t cut = 0;
        for (size_t videoTags = 0, pos = 13; videoTags < 6;) {
            size_t size = size_t(flv[pos + 1]) << 16 | size_t(flv[pos + 2]) << 8 | flv[pos + 3];
            if (flv[pos] == 9) videoTags++;
            cut = pos + 20;
            pos += 11 + size + 4;
        }
        Bytes truncated(flv.begin(), flv.begin() + long(cut));
        FlvStreamPlayer player;
        Events events;
        events.Attach(player);
        player.Play();
        EXPECT_EQ(PlayInPieces(player, truncated, 64), 5u);
        EXPECT_EQ(events.codes.back(), "NetStream.Play.Stop");
        EXPECT_TRUE(player.Picture().pixels == ExpectedPicture("h263-motion.flv", 5).pixels);
    }
}

TEST(FlvStreamPlayer, EveryDamagedByteEndsPlaybackCleanly) {
    Bytes intact = ReadData("h263-50x38.flv");
    for (size_t at = 0; at < intact.size(); at++) {
        Bytes damaged = intact;
        damaged[at] ^= 0xA5;
        FlvStreamPlayer player;
        Events events;
        events.Attach(player);
        player.Play();
        PlayInPieces(player, damaged, 700);
        ASSERT_FALSE(events.codes.empty());
        const std::string& last = events.codes.back();
        EXPECT_TRUE(last == "NetStream.Play.Stop" || last == "NetStream.Play.StreamNotFound") << "byte " << at << ": " << last;
        if (player.HasPicture()) {
            EXPECT_EQ(player.Picture().pixels.size(), size_t(50 * 38 * 4)) << "byte " << at;
        }
    }
}

TEST(FlvStreamPlayer, StatusHandlersMayCloseOrRestartTheStream) {
    Bytes flv = ReadData("h263-motion.flv");
    FlvStreamPlayer player;
    int stops = 0;
    player.SetStatusCallback([&](const std::string& code, const std::string&) {
        if (code == "NetStream.Buffer.Full") player.Close();
        if (code == "NetStream.Play.Stop") stops++;
    });
    player.Play();
    player.Append(flv.data(), flv.size());
    EXPECT_FALSE(player.Playing());
    player.Append(flv.data(), flv.size()); // after Close the stream takes no data
    player.Advance(1000);
    EXPECT_EQ(stops, 0);
    player.SetStatusCallback([&](const std::string& code, const std::string&) {
        if (code == "NetStream.Play.Stop" && stops++ == 0) player.Play();
    });
    player.Play();
    PlayInPieces(player, flv, 1000);
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(player.Finished()); // the handler began another stream
}
