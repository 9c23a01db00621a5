#include "refplayer/core/FlvStreamPlayer.h"

#include <algorithm>

#include "refplayer/core/AdpcmDecoder.h"
#include "refplayer/core/FlvAudio.h"
#include "refplayer/core/FormatError.h"

namespace refplayer {

namespace {

// A time in milliseconds as the 32-bit count the tags use: negative or NaN times are 0 and
// times past the last representable one stay there (a cast of either is undefined).
uint32_t ClampedMilliseconds(double milliseconds) {
    if (!(milliseconds > 0)) return 0;
    if (milliseconds >= 4294967295.0) return 4294967295u;
    return static_cast<uint32_t>(milliseconds);
}

}  // namespace

namespace {

constexpr uint8_t kCodecH263 = 2;
constexpr uint8_t kCodecScreenVideo = 3;
constexpr uint8_t kFrameKey = 1;
constexpr uint8_t kFrameCommand = 5;

} // namespace

FlvStreamPlayer::FlvStreamPlayer(AudioSink* sink) : sink_(sink) {}

FlvStreamPlayer::~FlvStreamPlayer() = default;

void FlvStreamPlayer::Fire(const char* code, const char* level) {
    if (status_) status_(code, level);
}

void FlvStreamPlayer::Reset() {
    if (sink_) sink_->Flush();
    parser_.reset();
    tags_.clear();
    firstTag_ = retained_ = nextVideo_ = nextAudio_ = 0;
    lastTimestamp_ = lastAudioTimestamp_ = audioTagSpacing_ = 0;
    dataEnded_ = false;
    state_ = State::Idle;
    paused_ = false;
    clock_ = wallClock_ = 0;
    audioStarted_ = false;
    audioStart_ = audioFedUntil_ = 0;
    videoCodec_ = 0;
    h263_.Reset();
    screen_.Reset();
    waitForKeyFrame_ = false;
    hasPicture_ = pictureDirty_ = false;
    picture_ = BgraImage();
    pictureSerial_++;
}

void FlvStreamPlayer::Play() {
    Reset();
    parser_ = std::make_unique<FlvParser>();
    parser_->SetTagHandler([this](const FlvTag& tag, const uint8_t* data) { ReceiveTag(tag, data); });
    state_ = State::Buffering;
    if (sink_) sink_->SetPaused(false);
    Fire("NetStream.Play.Start");
}

void FlvStreamPlayer::Close() {
    Reset();
}

void FlvStreamPlayer::Append(const uint8_t* data, size_t size) {
    if (!parser_ || dataEnded_ || state_ == State::Failed) return;
    try {
        parser_->Append(data, size);
    } catch (const FormatError&) {
        Damaged();
        return;
    }
    CheckBuffer();
}

void FlvStreamPlayer::EndOfData() {
    if (!parser_ || dataEnded_ || state_ == State::Failed) return;
    Damaged();
}

// No more data will be read: what arrived whole plays to its end; with nothing to play the
// stream counts as not found.
void FlvStreamPlayer::Damaged() {
    dataEnded_ = true;
    if (tags_.empty() && firstTag_ == 0) {
        state_ = State::Failed;
        Fire("NetStream.Play.StreamNotFound", "error");
        return;
    }
    CheckBuffer();
}

void FlvStreamPlayer::NotFound() {
    if (state_ == State::Idle || state_ == State::Failed) return;
    dataEnded_ = true;
    state_ = State::Failed;
    Fire("NetStream.Play.StreamNotFound", "error");
}

void FlvStreamPlayer::SetBufferTime(double seconds) {
    if (!(seconds >= 0)) seconds = 0; // NaN and negatives alike
    bufferTime_ = ClampedMilliseconds(std::min(seconds, 3600.0) * 1000);
    CheckBuffer();
}

void FlvStreamPlayer::ReceiveTag(const FlvTag& tag, const uint8_t* data) {
    if (tag.type != FlvTagAudio && tag.type != FlvTagVideo) return;
    if (tags_.empty() && firstTag_ == 0) {
        clock_ = wallClock_ = tag.timestamp; // streams cut from a longer one start later than 0
    } else if (tag.timestamp > lastTimestamp_ + kMaxTimestampGapMilliseconds) {
        // A damaged timestamp would otherwise hold the stream for hours.
        throw FormatError("FLV tag time jumps ahead");
    }
    StreamTag stored;
    stored.type = tag.type;
    stored.timestamp = tag.timestamp;
    stored.keyFrame = tag.type == FlvTagVideo && tag.dataSize > 0 && (data[0] >> 4) == kFrameKey;
    stored.data.assign(data, data + tag.dataSize);
    retained_ += stored.data.size();
    lastTimestamp_ = std::max(lastTimestamp_, tag.timestamp);
    tags_.push_back(std::move(stored));
    LetGoOfOldTags();
}

void FlvStreamPlayer::LetGoOfOldTags() {
    while (retained_ > kRetainedBytes && tags_.size() > 1 && firstTag_ < std::min(nextVideo_, nextAudio_)) {
        retained_ -= tags_.front().data.size();
        tags_.pop_front();
        firstTag_++;
    }
}

double FlvStreamPlayer::BufferLength() const {
    if (!parser_) return 0;
    return std::max(0.0, (lastTimestamp_ - clock_) / 1000.0);
}

void FlvStreamPlayer::CheckBuffer() {
    if (state_ != State::Buffering) return;
    bool haveTags = !tags_.empty();
    if (!dataEnded_ && !(haveTags && lastTimestamp_ >= clock_ + bufferTime_)) return;
    state_ = State::Playing;
    FeedAudio(ClampedMilliseconds(clock_ + kAudioLeadMilliseconds));
    ShowDueFrames();
    Fire("NetStream.Buffer.Full");
}

void FlvStreamPlayer::Pause(int mode) {
    if (state_ == State::Idle || state_ == State::Failed) return;
    bool pause = mode < 0 ? !paused_ : mode == 1;
    if (pause == paused_) return;
    paused_ = pause;
    if (sink_) sink_->SetPaused(pause);
    Fire(pause ? "NetStream.Pause.Notify" : "NetStream.Unpause.Notify");
}

void FlvStreamPlayer::Seek(double seconds) {
    if (!parser_ || state_ == State::Failed || tags_.empty()) return;
    double target = seconds >= 0 ? std::min(seconds, 1e7) * 1000 : 0; // NaN lands at 0 too
    // The last key frame at or before the target, else the first one held; without video,
    // the last sound at or before it.
    size_t chosen = tags_.size(), firstKey = tags_.size(), lastAudio = tags_.size();
    for (size_t i = 0; i < tags_.size(); i++) {
        const StreamTag& tag = tags_[i];
        if (tag.keyFrame) {
            if (firstKey == tags_.size()) firstKey = i;
            if (tag.timestamp <= target) chosen = i;
        }
        if (tag.type == FlvTagAudio && tag.timestamp <= target) lastAudio = i;
    }
    if (chosen == tags_.size()) chosen = firstKey;
    if (chosen == tags_.size()) chosen = lastAudio == tags_.size() ? 0 : lastAudio;

    if (sink_) sink_->Flush();
    audioStarted_ = false;
    audioFedUntil_ = 0;
    clock_ = wallClock_ = tags_[chosen].timestamp;
    nextVideo_ = nextAudio_ = firstTag_ + chosen;
    waitForKeyFrame_ = false;
    state_ = State::Buffering;
    ShowDueFrames();
    Fire("NetStream.Seek.Notify");
    CheckBuffer();
}

bool FlvStreamPlayer::Advance(uint32_t elapsedMilliseconds) {
    if (state_ != State::Playing || paused_) return false;
    wallClock_ += elapsedMilliseconds;
    double next = wallClock_;
    if (audioStarted_ && sink_) {
        int64_t played = sink_->PlayedMilliseconds();
        double heard = audioStart_ + double(played);
        if (played >= 0 && heard < audioFedUntil_)
            next = std::clamp(heard, wallClock_ - kMaxAudioDriftMilliseconds, wallClock_ + kMaxAudioDriftMilliseconds);
    }
    clock_ = std::max(clock_, next);
    FeedAudio(ClampedMilliseconds(clock_ + kAudioLeadMilliseconds));
    bool changed = ShowDueFrames();

    size_t end = firstTag_ + tags_.size();
    if (clock_ >= lastTimestamp_ && nextVideo_ >= end && nextAudio_ >= end) {
        if (!dataEnded_) {
            state_ = State::Buffering;
            wallClock_ = clock_;
            Fire("NetStream.Buffer.Empty");
        } else if (clock_ >= audioFedUntil_) { // the last sound has been heard as well
            state_ = State::Stopped;
            Fire("NetStream.Play.Stop");
        }
    }
    return changed;
}

void FlvStreamPlayer::FeedAudio(uint32_t until) {
    size_t end = firstTag_ + tags_.size();
    while (nextAudio_ < end) {
        const StreamTag& tag = tags_[TagIndex(nextAudio_)];
        if (tag.type == FlvTagAudio) {
            if (tag.timestamp > until) break;
            DecodeAudio(tag);
        }
        nextAudio_++;
    }
}

void FlvStreamPlayer::DecodeAudio(const StreamTag& tag) {
    if (tag.data.size() < 2) return;
    if (lastAudioTimestamp_ && tag.timestamp > lastAudioTimestamp_)
        audioTagSpacing_ = tag.timestamp - lastAudioTimestamp_;
    lastAudioTimestamp_ = tag.timestamp;
    if (!sink_) return;
    FlvAudioFormat format = FlvAudioFormat::FromByte(tag.data[0]);
    const uint8_t* payload = tag.data.data() + 1;
    size_t size = tag.data.size() - 1;
    double duration = 0;
    switch (format.format) {
    case FlvSoundPcmPlatform:
    case FlvSoundPcmLittleEndian:
    case FlvSoundAdpcm: {
        std::vector<int16_t> samples = format.format == FlvSoundAdpcm
                                           ? DecodeAdpcm(payload, size, format.channels)
                                           : DecodePcm(payload, size, format.bitsPerSample);
        size_t frames = samples.size() / size_t(format.channels);
        if (frames == 0) return;
        sink_->PlaySamples(samples.data(), frames, format.sampleRate, format.channels);
        duration = 1000.0 * double(frames) / format.sampleRate;
        break;
    }
    case FlvSoundMp3:
    case FlvSoundMp3At8kHz:
        if (!sink_->PlayMp3(payload, size, format.sampleRate, format.channels)) return;
        duration = audioTagSpacing_ ? audioTagSpacing_ : 26;
        break;
    default:
        return; // sound formats without a decoder here are skipped
    }
    if (!audioStarted_) {
        audioStarted_ = true;
        audioStart_ = tag.timestamp;
    }
    audioFedUntil_ = std::max(audioFedUntil_, tag.timestamp + duration);
}

bool FlvStreamPlayer::ShowDueFrames() {
    size_t end = firstTag_ + tags_.size();
    // Frames before the last due key frame need not be decoded at all.
    size_t lastKey = 0;
    bool keyDue = false;
    for (size_t i = nextVideo_; i < end; i++) {
        const StreamTag& tag = tags_[TagIndex(i)];
        if (tag.type != FlvTagVideo) continue;
        if (tag.timestamp > clock_) break;
        if (tag.keyFrame) {
            lastKey = i;
            keyDue = true;
        }
    }
    if (keyDue) nextVideo_ = lastKey;
    uint64_t serial = pictureSerial_;
    while (nextVideo_ < end) {
        const StreamTag& tag = tags_[TagIndex(nextVideo_)];
        if (tag.type == FlvTagVideo) {
            if (tag.timestamp > clock_) break;
            DecodeVideo(tag);
        }
        nextVideo_++;
    }
    return pictureSerial_ != serial;
}

void FlvStreamPlayer::DecodeVideo(const StreamTag& tag) {
    if (tag.data.empty()) return;
    uint8_t frameType = tag.data[0] >> 4, codec = tag.data[0] & 0x0F;
    if (frameType == kFrameCommand) return;
    if (codec != kCodecH263 && codec != kCodecScreenVideo) return; // shown as no picture
    if (waitForKeyFrame_ && !tag.keyFrame) return;
    try {
        if (codec == kCodecH263) h263_.Decode(tag.data.data() + 1, tag.data.size() - 1);
        else screen_.Decode(tag.data.data() + 1, tag.data.size() - 1);
    } catch (const FormatError&) {
        waitForKeyFrame_ = true;
        return;
    }
    waitForKeyFrame_ = false;
    videoCodec_ = codec;
    hasPicture_ = true;
    pictureDirty_ = true;
    pictureSerial_++;
}

bool FlvStreamPlayer::HasPicture() const {
    return hasPicture_;
}

const BgraImage& FlvStreamPlayer::Picture() {
    if (pictureDirty_) {
        if (videoCodec_ == kCodecH263) ConvertYuvToBgra(h263_.Picture(), picture_);
        else picture_ = screen_.Picture();
        pictureDirty_ = false;
    }
    return picture_;
}

int FlvStreamPlayer::Width() const {
    int width = parser_ ? parser_->Width() : 0;
    if (width || !hasPicture_) return width;
    return videoCodec_ == kCodecH263 ? h263_.Picture().width : screen_.Picture().width;
}

int FlvStreamPlayer::Height() const {
    int height = parser_ ? parser_->Height() : 0;
    if (height || !hasPicture_) return height;
    return videoCodec_ == kCodecH263 ? h263_.Picture().height : screen_.Picture().height;
}

} // namespace refplayer
