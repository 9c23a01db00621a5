#include "FlashPlayerControl/loader/SoundHooks.h"

#include <cstring>
#include <type_traits>

#include "FlashPlayerControl/loader/KeyedMaps.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ErrorHandling.h"

static_assert(std::is_same_v<decltype(&MyWaveOutOpen), decltype(&::waveOutOpen)>);
static_assert(std::is_same_v<decltype(&MyWaveOutWrite), decltype(&::waveOutWrite)>);
static_assert(std::is_same_v<decltype(&MyWaveOutClose), decltype(&::waveOutClose)>);

namespace {

// Holds SoundLock (when the library is started) for the scope.
class TSoundLockScope {
public:
    TSoundLockScope() : lock_(SoundLock) { if (lock_) lock_->Enter(); }
    ~TSoundLockScope() { if (lock_) lock_->Leave(); }
    TSoundLockScope(const TSoundLockScope&) = delete;
    TSoundLockScope& operator=(const TSoundLockScope&) = delete;

private:
    TCriticalSection* lock_;
};

// Runs an application handler; an error it raises goes to the application's error handler
// instead of unwinding into the player module.
template <typename Handler, typename... Args>
void CallHandler(const Handler& handler, Args... args) {
    if (!handler) return;
    try {
        handler(args...);
    } catch (...) {
        HandleApplicationException();
    }
}

uint32_t HandleKey(HWAVEOUT handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

// Scales a sample centred on zero; volumes above 100 clip at the format's limits.
int32_t Scale(int32_t value, int volume, int32_t low, int32_t high) {
    int64_t scaled = static_cast<int64_t>(value) * volume / 100;
    return static_cast<int32_t>(scaled < low ? low : scaled > high ? high : scaled);
}

}  // namespace

void ApplySoundSettings(char* data, DWORD length, bool enabled, int volume, uint32_t bytesPerSample) {
    if (!data || length == 0) return;
    if (!enabled) {
        // Unsigned 8-bit samples are silent at their midpoint; everything else at zero.
        std::memset(data, bytesPerSample == 1 ? 0x80 : 0, length);
        return;
    }
    if (volume == 100) return;
    if (bytesPerSample == 2) {
        for (DWORD i = 0; i + 1 < length; i += 2) {
            int16_t sample;
            std::memcpy(&sample, data + i, 2);
            sample = static_cast<int16_t>(Scale(sample, volume, -32768, 32767));
            std::memcpy(data + i, &sample, 2);
        }
    } else if (bytesPerSample == 1) {
        for (DWORD i = 0; i < length; ++i) {
            int32_t centred = static_cast<uint8_t>(data[i]) - 128;
            data[i] = static_cast<char>(static_cast<uint8_t>(128 + Scale(centred, volume, -128, 127)));
        }
    }
}

MMRESULT WINAPI MyWaveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                              DWORD_PTR callback, DWORD_PTR callbackInstance, DWORD flags) {
    TSoundLockScope lock;
    CallHandler(WaveOpenHandler, format);
    MMRESULT result =
        SystemCalls().waveOutOpen(handle, deviceId, format, callback, callbackInstance, flags);
    // A format query opens no device and delivers no handle.
    bool opened = result == MMSYSERR_NOERROR && handle && !(flags & WAVE_FORMAT_QUERY);
    if (opened && format && WaveFormats) {
        // A handle value the system reuses after a close starts with its new format.
        WaveFormats->Remove(HandleKey(*handle));
        WaveFormats->Add(HandleKey(*handle), format->wBitsPerSample / 8);
    }
    return result;
}

MMRESULT WINAPI MyWaveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
    TSoundLockScope lock;
    CallHandler(WaveWriteHandler, header, headerSize);
    if (header && headerSize >= sizeof(WAVEHDR) - sizeof(header->reserved)) {
        uint32_t bytesPerSample = 0;
        if (WaveFormats) WaveFormats->Find(HandleKey(handle), bytesPerSample);
        ApplySoundSettings(header->lpData, header->dwBufferLength, SoundsEnabled, SoundVolume,
                           bytesPerSample);
    }
    return SystemCalls().waveOutWrite(handle, header, headerSize);
}

MMRESULT WINAPI MyWaveOutClose(HWAVEOUT handle) {
    TSoundLockScope lock;
    CallHandler(WaveCloseHandler);
    MMRESULT result = SystemCalls().waveOutClose(handle);
    if (result == MMSYSERR_NOERROR && WaveFormats) WaveFormats->Remove(HandleKey(handle));
    return result;
}

void SetSoundsEnabled(bool value) {
    TSoundLockScope lock;
    SoundsEnabled = value;
}

bool GetSoundsEnabled() {
    TSoundLockScope lock;
    return SoundsEnabled;
}

void SetSoundVolume(int percent) {
    TSoundLockScope lock;
    SoundVolume = percent < 0 ? 0 : percent;
}

int GetSoundVolume() {
    TSoundLockScope lock;
    return SoundVolume;
}

void SetWaveOpenHandler(const TWaveOpenHandler& handler) {
    TSoundLockScope lock;
    WaveOpenHandler = handler;
}

void SetWaveWriteHandler(const TWaveWriteHandler& handler) {
    TSoundLockScope lock;
    WaveWriteHandler = handler;
}

void SetWaveCloseHandler(const TWaveCloseHandler& handler) {
    TSoundLockScope lock;
    WaveCloseHandler = handler;
}
