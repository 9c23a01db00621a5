#include "refplayer/module/ClickSound.h"

#include <cstring>

namespace {

constexpr DWORD SampleRate = 22050;
constexpr size_t ClickSamples = SampleRate / 50;  // 20 ms

}  // namespace

int GeneratedPeak(int levelPercent) {
    int peak = 32767 * levelPercent / 100;
    void* code = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (!code) return peak;
    // mov eax, imm32; ret: the same bytes on x86 and x64.
    unsigned char routine[6] = {0xB8, 0, 0, 0, 0, 0xC3};
    std::memcpy(routine + 1, &peak, 4);
    std::memcpy(code, routine, sizeof routine);
    FlushInstructionCache(GetCurrentProcess(), code, sizeof routine);
    int result = reinterpret_cast<int (*)()>(code)();
    VirtualFree(code, 0, MEM_RELEASE);
    return result;
}

TClickSound::~TClickSound() { Close(); }

void TClickSound::Play(int levelPercent) {
    Close();
    int peak = GeneratedPeak(levelPercent);
    samples_.resize(ClickSamples);
    for (size_t i = 0; i < ClickSamples; i++) {
        // A decaying square wave: a click, not a tone.
        int envelope = static_cast<int>(peak * (ClickSamples - i) / ClickSamples);
        samples_[i] = static_cast<short>((i / 20) % 2 ? envelope : -envelope);
    }
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = SampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = SampleRate * 2;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        device_ = nullptr;
        return;
    }
    header_ = {};
    header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
    header_.dwBufferLength = static_cast<DWORD>(samples_.size() * sizeof(short));
    prepared_ = waveOutPrepareHeader(device_, &header_, sizeof header_) == MMSYSERR_NOERROR;
    // A device that would not prepare the buffer says so again here, and the click is over.
    written_ = waveOutWrite(device_, &header_, sizeof header_) == MMSYSERR_NOERROR;
    if (!written_) Close();
}

void TClickSound::Poll() {
    if (device_ && (header_.dwFlags & WHDR_DONE)) Close();
}

void TClickSound::Close() {
    if (!device_) return;
    if (written_ && !(header_.dwFlags & WHDR_DONE)) waveOutReset(device_);
    if (prepared_) waveOutUnprepareHeader(device_, &header_, sizeof header_);
    waveOutClose(device_);
    device_ = nullptr;
    prepared_ = written_ = false;
}
