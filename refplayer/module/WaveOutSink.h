#pragma once

// A video's sound played through the wave mapper. The functions are the module's imports
// by name, so a host that redirects them (sound switch, volume) acts on video sound too.
// One device per sample format; buffers go back to the sink as the device finishes them.

#include <windows.h>
#include <mmsystem.h>

#include <deque>
#include <memory>
#include <vector>

#include "refplayer/core/FlvStreamPlayer.h"
#include "refplayer/module/Mp3AcmDecoder.h"

class TWaveOutSink final : public refplayer::AudioSink {
public:
    TWaveOutSink() = default;
    ~TWaveOutSink() override;
    TWaveOutSink(const TWaveOutSink&) = delete;
    TWaveOutSink& operator=(const TWaveOutSink&) = delete;

    void PlaySamples(const int16_t* samples, size_t frames, int sampleRate, int channels) override;
    bool PlayMp3(const uint8_t* data, size_t size, int sampleRate, int channels) override;
    int64_t PlayedMilliseconds() override;
    void SetPaused(bool paused) override;
    void Flush() override;

    // Takes back the buffers the device has finished; called on every tick.
    void Poll();
    void Close();

private:
    struct Buffer {
        WAVEHDR header = {};
        std::vector<int16_t> samples;
        bool prepared = false;
    };
    bool OpenDevice(int sampleRate, int channels);

    HWAVEOUT device_ = nullptr;
    bool deviceRefused_ = false;
    int rate_ = 0, channels_ = 0;
    bool paused_ = false;
    std::deque<std::unique_ptr<Buffer>> buffers_;
    uint64_t finishedFrames_ = 0;   // frames of buffers the device gave back since the flush
    TMp3AcmDecoder mp3_;
    std::vector<int16_t> decoded_;
};
