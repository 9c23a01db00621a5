#pragma once

// A wave device for the player module's tests: it records each opening's sample rate, takes
// every buffer at once and counts the ones with any sample other than zero (loud) apart from
// the all-zero ones (silent).

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

struct TWaveCount {
    int opens = 0;
    int sampleRate = 0;
    int loudWrites = 0;
    int silentWrites = 0;
};
inline TWaveCount* waveCount = nullptr;

inline MMRESULT WINAPI CountingWaveOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR, DWORD) {
    waveCount->opens++;
    waveCount->sampleRate = static_cast<int>(format->nSamplesPerSec);
    *device = reinterpret_cast<HWAVEOUT>(static_cast<ULONG_PTR>(0x5151));
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI CountingWaveWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    bool loud = false;
    const int16_t* samples = reinterpret_cast<const int16_t*>(header->lpData);
    for (DWORD i = 0; i < header->dwBufferLength / 2; i++) loud = loud || samples[i] != 0;
    (loud ? waveCount->loudWrites : waveCount->silentWrites)++;
    header->dwFlags |= WHDR_DONE;
    return MMSYSERR_NOERROR;
}
inline MMRESULT WINAPI CountingWaveClose(HWAVEOUT) { return MMSYSERR_NOERROR; }
