#include "refplayer/module/WaveOutSink.h"

namespace {

// A device that has not finished this many buffers is not playing: more would only queue up.
constexpr size_t MaxQueuedBuffers = 256;

}  // namespace

TWaveOutSink::~TWaveOutSink() { Close(); }

bool TWaveOutSink::OpenDevice(int sampleRate, int channels) {
    if (device_ && rate_ == sampleRate && channels_ == channels) return true;
    if (device_) Close();
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(2 * channels);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        device_ = nullptr;
        deviceRefused_ = true;
        return false;
    }
    deviceRefused_ = false;
    rate_ = sampleRate;
    channels_ = channels;
    finishedFrames_ = 0;
    if (paused_) waveOutPause(device_);
    return true;
}

void TWaveOutSink::PlaySamples(const int16_t* samples, size_t frames, int sampleRate, int channels) {
    if (frames == 0 || !OpenDevice(sampleRate, channels)) return;
    Poll();
    if (buffers_.size() >= MaxQueuedBuffers) return;
    auto buffer = std::make_unique<Buffer>();
    buffer->samples.assign(samples, samples + frames * static_cast<size_t>(channels));
    buffer->header.lpData = reinterpret_cast<LPSTR>(buffer->samples.data());
    buffer->header.dwBufferLength = static_cast<DWORD>(buffer->samples.size() * sizeof(int16_t));
    buffer->prepared = waveOutPrepareHeader(device_, &buffer->header, sizeof buffer->header) == MMSYSERR_NOERROR;
    if (waveOutWrite(device_, &buffer->header, sizeof buffer->header) != MMSYSERR_NOERROR) {
        if (buffer->prepared) waveOutUnprepareHeader(device_, &buffer->header, sizeof buffer->header);
        return;
    }
    buffers_.push_back(std::move(buffer));
}

bool TWaveOutSink::PlayMp3(const uint8_t* data, size_t size, int, int) {
    decoded_.clear();
    if (!mp3_.Decode(data, size, decoded_)) return false;
    if (!decoded_.empty() && mp3_.Channels() > 0)
        PlaySamples(decoded_.data(), decoded_.size() / static_cast<size_t>(mp3_.Channels()), mp3_.SampleRate(),
                    mp3_.Channels());
    return true;
}

void TWaveOutSink::Poll() {
    while (!buffers_.empty() && (buffers_.front()->header.dwFlags & WHDR_DONE)) {
        Buffer& buffer = *buffers_.front();
        if (buffer.prepared) waveOutUnprepareHeader(device_, &buffer.header, sizeof buffer.header);
        finishedFrames_ += buffer.samples.size() / static_cast<size_t>(channels_);
        buffers_.pop_front();
    }
}

int64_t TWaveOutSink::PlayedMilliseconds() {
    if (!device_ || rate_ <= 0) return -1;
    Poll();
    MMTIME position = {};
    position.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device_, &position, sizeof position) == MMSYSERR_NOERROR && position.wType == TIME_SAMPLES)
        return static_cast<int64_t>(position.u.sample) * 1000 / rate_;
    // Without a position, what the device gave back has been heard.
    return static_cast<int64_t>(finishedFrames_ * 1000 / static_cast<uint64_t>(rate_));
}

void TWaveOutSink::SetPaused(bool paused) {
    paused_ = paused;
    if (!device_) return;
    if (paused) waveOutPause(device_);
    else waveOutRestart(device_);
}

void TWaveOutSink::Flush() {
    mp3_.Flush();
    if (!device_) return;
    waveOutReset(device_);  // every buffer comes back marked done
    for (auto& buffer : buffers_)
        if (buffer->prepared) waveOutUnprepareHeader(device_, &buffer->header, sizeof buffer->header);
    buffers_.clear();
    finishedFrames_ = 0;
    // The device's position counts from its opening; a fresh device counts from the flush.
    waveOutClose(device_);
    device_ = nullptr;
}

void TWaveOutSink::Close() {
    mp3_.Close();
    if (!device_) return;
    waveOutReset(device_);
    for (auto& buffer : buffers_)
        if (buffer->prepared) waveOutUnprepareHeader(device_, &buffer->header, sizeof buffer->header);
    buffers_.clear();
    waveOutClose(device_);
    device_ = nullptr;
}
