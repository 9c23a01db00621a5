#include "refplayer/module/MovieSounds.h"

#include <algorithm>

namespace {

// One start of a sound plays at most this many samples (loops included): about a minute.
constexpr size_t MaxSamples = size_t(44100) * 2 * 60;
constexpr size_t MaxVoices = 16;

}  // namespace

void TMovieSounds::Start(const std::shared_ptr<refplayer::SwfSound>& sound, int loops, bool noMultiple) {
    if (!sound) return;
    if (noMultiple)
        for (const TVoice& voice : voices_)
            if (voice.sound == sound) return;
    Poll();
    if (voices_.size() >= MaxVoices) return;
    std::vector<int16_t> once;
    if (!refplayer::SoundToPcm16(*sound, once) || once.empty()) return;
    voices_.emplace_back();
    TVoice& voice = voices_.back();
    voice.sound = sound;
    for (int i = 0; i < std::max(1, loops) && voice.samples.size() + once.size() <= MaxSamples; i++)
        voice.samples.insert(voice.samples.end(), once.begin(), once.end());
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = sound->stereo ? 2 : 1;
    format.nSamplesPerSec = static_cast<DWORD>(sound->rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (waveOutOpen(&voice.device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        voices_.pop_back();
        return;
    }
    voice.header.lpData = reinterpret_cast<LPSTR>(voice.samples.data());
    voice.header.dwBufferLength = static_cast<DWORD>(voice.samples.size() * sizeof(int16_t));
    voice.prepared = waveOutPrepareHeader(voice.device, &voice.header, sizeof voice.header) == MMSYSERR_NOERROR;
    voice.written = waveOutWrite(voice.device, &voice.header, sizeof voice.header) == MMSYSERR_NOERROR;
    if (!voice.written) {
        Close(voice);
        voices_.pop_back();
    }
}

void TMovieSounds::Stop(const std::shared_ptr<refplayer::SwfSound>& sound) {
    for (auto it = voices_.begin(); it != voices_.end();) {
        if (it->sound == sound) {
            Close(*it);
            it = voices_.erase(it);
        } else {
            ++it;
        }
    }
}

void TMovieSounds::StopAll() {
    for (TVoice& voice : voices_) Close(voice);
    voices_.clear();
}

void TMovieSounds::Poll() {
    for (auto it = voices_.begin(); it != voices_.end();) {
        if (it->header.dwFlags & WHDR_DONE) {
            Close(*it);
            it = voices_.erase(it);
        } else {
            ++it;
        }
    }
}

void TMovieSounds::Close(TVoice& voice) {
    if (!voice.device) return;
    if (voice.written && !(voice.header.dwFlags & WHDR_DONE)) waveOutReset(voice.device);
    if (voice.prepared) waveOutUnprepareHeader(voice.device, &voice.header, sizeof voice.header);
    waveOutClose(voice.device);
    voice.device = nullptr;
}
