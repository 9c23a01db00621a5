#pragma once

// The player module's sound output passes through these replacements, so that the library
// can silence every player at once (SetSoundsEnabled) and scale samples by SoundVolume.

#include <windows.h>
#include <mmsystem.h>

#include "FlashPlayerControl/loader/LibraryState.h"

MMRESULT WINAPI MyWaveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                              DWORD_PTR callback, DWORD_PTR callbackInstance, DWORD flags);
MMRESULT WINAPI MyWaveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize);
MMRESULT WINAPI MyWaveOutClose(HWAVEOUT handle);

// The library-wide sound switch; callable from any thread.
void SetSoundsEnabled(bool value);
bool GetSoundsEnabled();

// Volume in percent applied to every buffer while sounds are enabled (100: unchanged).
void SetSoundVolume(int percent);
int GetSoundVolume();

// Install (or clear, with an empty method) the audio handler slots.
void SetWaveOpenHandler(const TWaveOpenHandler& handler);
void SetWaveWriteHandler(const TWaveWriteHandler& handler);
void SetWaveCloseHandler(const TWaveCloseHandler& handler);

// Silences or scales one buffer in place; bytesPerSample as recorded at open (0: unknown).
void ApplySoundSettings(char* data, DWORD length, bool enabled, int volume, uint32_t bytesPerSample);
