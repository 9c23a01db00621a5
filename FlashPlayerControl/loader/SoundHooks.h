#pragma once

/// \file
/// The library-wide sound switch and volume, and the replacements of the player module's
/// wave-out calls through which they act.

#include <windows.h>
#include <mmsystem.h>

#include "FlashPlayerControl/loader/LibraryState.h"

/// Replacement of waveOutOpen for the player module: tells the open handler, opens, and
/// records the format for scaling. Called by the player, on the thread it plays sound from.
MMRESULT WINAPI MyWaveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                              DWORD_PTR callback, DWORD_PTR callbackInstance, DWORD flags);
/// Replacement of waveOutWrite: tells the write handler, silences or scales the buffer,
/// then writes it. Called by the player.
MMRESULT WINAPI MyWaveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize);
/// Replacement of waveOutClose: tells the close handler, then closes. Called by the player.
MMRESULT WINAPI MyWaveOutClose(HWAVEOUT handle);

/// The library-wide sound switch: false silences every player at once (their buffers are
/// written as silence). Any thread; takes effect with the next buffer.
void SetSoundsEnabled(bool value);
/// Whether sounds are enabled. Any thread.
bool GetSoundsEnabled();

/// Volume in percent applied to every buffer while sounds are enabled (100: unchanged;
/// negative values count as 0). Any thread.
void SetSoundVolume(int percent);
/// The volume in percent. Any thread.
int GetSoundVolume();

/// Installs (or clears, with an empty method) the handler told of every wave-out open of
/// the player module. Any thread; the handler runs on the player's sound thread under the
/// library's sound lock, so it must not wait for a thread that changes sound settings. An
/// error it raises goes to the application's error handler, not into the player.
void SetWaveOpenHandler(const TWaveOpenHandler& handler);
/// Like SetWaveOpenHandler, for every buffer written (before the volume is applied).
void SetWaveWriteHandler(const TWaveWriteHandler& handler);
/// Like SetWaveOpenHandler, for every close.
void SetWaveCloseHandler(const TWaveCloseHandler& handler);

/// Silences or scales one buffer in place; \p bytesPerSample as recorded at open (0:
/// unknown, left unscaled). Pure function; any thread.
void ApplySoundSettings(char* data, DWORD length, bool enabled, int volume, uint32_t bytesPerSample);
