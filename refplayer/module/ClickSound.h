#pragma once

// The short click a movie makes when it starts: one PCM buffer written to the wave mapper,
// closed again once the device has played it (or refused it).

#include <windows.h>
#include <mmsystem.h>

#include <vector>

class TClickSound {
public:
    TClickSound() = default;
    ~TClickSound();
    TClickSound(const TClickSound&) = delete;
    TClickSound& operator=(const TClickSound&) = delete;

    // Starts a click at the level given in percent; a click still playing is cut off first.
    void Play(int levelPercent);
    // Closes the device once the buffer is back; called on every frame tick.
    void Poll();
    bool Open() const { return device_ != nullptr; }

private:
    void Close();

    HWAVEOUT device_ = nullptr;
    WAVEHDR header_ = {};
    bool prepared_ = false;
    bool written_ = false;
    std::vector<short> samples_;
};

// The peak sample value for a level, computed by a routine generated at run time: the
// player's code generator writes machine code into memory of its own and flushes it before
// running it, and this keeps that path in use.
int GeneratedPeak(int levelPercent);
