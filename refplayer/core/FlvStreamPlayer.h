#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "refplayer/core/FlvParser.h"
#include "refplayer/core/H263Decoder.h"
#include "refplayer/core/ScreenVideoDecoder.h"
#include "refplayer/core/VideoImage.h"

namespace refplayer {

// Where a stream's sound goes. The player hands sound over ahead of the clock (about half a
// second), in stream order.
class AudioSink {
public:
    virtual ~AudioSink() = default;
    // Decoded 16-bit samples, interleaved by channel.
    virtual void PlaySamples(const int16_t* samples, size_t frames, int sampleRate, int channels) = 0;
    // MP3 frames (sound formats 2 and 14), which the platform decodes; false when it cannot,
    // and the sound is then skipped.
    virtual bool PlayMp3(const uint8_t* data, size_t size, int sampleRate, int channels) = 0;
    // Milliseconds of the sound handed over since the last Flush that have been heard so far,
    // or -1 when the sink cannot tell (the stream then keeps time by the host's ticks).
    virtual int64_t PlayedMilliseconds() = 0;
    virtual void SetPaused(bool paused) = 0;
    // Forgets all sound not yet heard (seek, close, a new stream).
    virtual void Flush() = 0;
};

// One NetStream: an FLV video played progressively as its bytes arrive. It is built to back
// the NetStream hooks of ScriptHost one to one:
//
//   CreateNetStream()              make a FlvStreamPlayer (with the host's AudioSink, if any)
//                                  and a StatusCallback that calls the stream's onStatus
//   NetStreamPlay(id, url)         Play(), then feed the URL's bytes with Append() as they
//                                  arrive and EndOfData() when complete, or NotFound() when
//                                  the URL cannot be opened
//   NetStreamPause(id, mode)       Pause(mode)           (-1 toggles, 0 resumes, 1 pauses)
//   NetStreamSeek(id, seconds)     Seek(seconds)
//   NetStreamClose(id)             Close()
//   NetStreamSetBufferTime(id, s)  SetBufferTime(s)
//   NetStreamTime(id)              Time()
//   AttachVideo(video, id)         the display list remembers which stream a Video object
//                                  shows and draws Picture() into the object's bounds (with
//                                  its transform) whenever PictureSerial() has changed
//
// The host calls Advance(elapsed milliseconds) from its frame clock or timer; everything runs
// on the caller's thread and nothing blocks. Status events come through the callback, with
// the code and level as onStatus's info object carries them:
//   "NetStream.Play.Start"           status  Play() began a stream
//   "NetStream.Buffer.Full"          status  buffer time reached (or all data in): playing
//   "NetStream.Buffer.Empty"         status  the clock caught up with the data: buffering again
//   "NetStream.Play.Stop"            status  the last frame was shown (also after a truncated or
//                                            damaged stream: the last good frame stays shown)
//   "NetStream.Play.StreamNotFound"  error   the URL could not be opened, or its data is no
//                                            FLV stream with a tag to play
//   "NetStream.Pause.Notify", "NetStream.Unpause.Notify", "NetStream.Seek.Notify"  status
// The callback may call back into the player (Close, Play, Seek...).
//
// Video codecs 2 (Sorenson H.263) and 3 (Screen Video) are shown; frames of other codecs are
// skipped and the picture stays empty. A frame that fails to decode is skipped with every
// frame up to the next key frame; the last good picture stays shown. Sound formats 0 and 3
// (PCM), 1 (ADPCM) go to the sink decoded, 2 and 14 (MP3) as they are; others are skipped.
// While sound plays and the sink can tell its position, that position drives the clock
// (kept within a quarter second of the host's ticks); otherwise the tag timestamps do.
//
// The clock starts at the first tag's time; a tag whose time leaps more than a minute past
// the latest counts as damage. Compressed tags are kept for seeking back, up to kRetainedBytes; older tags are then let
// go and a seek before them lands on the first key frame still held.
class FlvStreamPlayer {
public:
    using StatusCallback = std::function<void(const std::string& code, const std::string& level)>;
    static constexpr size_t kRetainedBytes = 64u << 20;
    static constexpr uint32_t kAudioLeadMilliseconds = 500;
    static constexpr uint32_t kMaxAudioDriftMilliseconds = 250;
    // A tag more than this after the latest one ends the stream as damaged.
    static constexpr uint32_t kMaxTimestampGapMilliseconds = 60000;

    explicit FlvStreamPlayer(AudioSink* sink = nullptr);
    ~FlvStreamPlayer();

    void SetStatusCallback(StatusCallback callback) { status_ = std::move(callback); }
    void SetAudioSink(AudioSink* sink) { sink_ = sink; }

    // Forgets any stream and starts a new one, buffering; fires NetStream.Play.Start.
    void Play();
    void Append(const uint8_t* data, size_t size);
    // All of the stream's bytes have arrived; a partial tag at the end is dropped.
    void EndOfData();
    // The stream's URL could not be opened or its transfer failed before any data.
    void NotFound();

    void SetBufferTime(double seconds);
    double BufferTime() const { return bufferTime_ / 1000.0; }
    void Pause(int mode);
    // Moves to the last key frame at or before the time (the first one held when earlier)
    // and shows it; the clock is then that frame's time.
    void Seek(double seconds);
    // Stops and forgets the stream; the picture goes.
    void Close();
    // Host tick. True when the picture changed.
    bool Advance(uint32_t elapsedMilliseconds);

    // Stream time in seconds.
    double Time() const { return clock_ / 1000.0; }
    bool Playing() const { return state_ == State::Playing; }
    bool Paused() const { return paused_; }
    bool Finished() const { return state_ == State::Stopped; }
    // Time buffered ahead of the clock, in seconds.
    double BufferLength() const;
    double Duration() const { return parser_ ? parser_->DurationSeconds() : 0; }

    bool HasPicture() const;
    // The shown picture (converted on first use after it changed); empty without one.
    const BgraImage& Picture();
    // Changes whenever another picture is shown.
    uint64_t PictureSerial() const { return pictureSerial_; }
    // Size from the metadata, else of the first picture; 0 until known.
    int Width() const;
    int Height() const;

private:
    enum class State { Idle, Buffering, Playing, Stopped, Failed };
    struct StreamTag {
        uint8_t type = 0;
        uint32_t timestamp = 0;
        bool keyFrame = false;
        std::vector<uint8_t> data;
    };

    void Reset();
    void Fire(const char* code, const char* level = "status");
    void ReceiveTag(const FlvTag& tag, const uint8_t* data);
    void Damaged();
    void CheckBuffer();
    bool ShowDueFrames();
    void FeedAudio(uint32_t until);
    void DecodeVideo(const StreamTag& tag);
    void DecodeAudio(const StreamTag& tag);
    uint32_t LastTimestamp() const;
    size_t TagIndex(size_t absolute) const { return absolute - firstTag_; }
    void LetGoOfOldTags();

    AudioSink* sink_;
    StatusCallback status_;
    std::unique_ptr<FlvParser> parser_;
    std::deque<StreamTag> tags_;
    size_t firstTag_ = 0;         // absolute index of tags_.front()
    size_t retained_ = 0;         // payload bytes held
    size_t nextVideo_ = 0;        // absolute index of the next tag to check for video
    size_t nextAudio_ = 0;        // absolute index of the next tag to check for sound
    uint32_t lastTimestamp_ = 0;  // latest tag time received
    uint32_t lastAudioTimestamp_ = 0;
    uint32_t audioTagSpacing_ = 0;
    bool dataEnded_ = false;

    State state_ = State::Idle;
    bool paused_ = false;
    uint32_t bufferTime_ = 100;
    double clock_ = 0;            // milliseconds
    double wallClock_ = 0;        // clock_ as the host's ticks alone would have it
    bool audioStarted_ = false;
    double audioStart_ = 0;       // stream time of the first sound since the last flush
    double audioFedUntil_ = 0;    // stream time up to which sound was handed over

    uint8_t videoCodec_ = 0;
    H263Decoder h263_;
    ScreenVideoDecoder screen_;
    bool waitForKeyFrame_ = false;
    bool hasPicture_ = false;
    bool pictureDirty_ = false;
    BgraImage picture_;
    uint64_t pictureSerial_ = 0;
};

} // namespace refplayer
