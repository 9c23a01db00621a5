#pragma once

// The movie's event sounds: each start plays its samples on a wave device of its own through
// the wave functions this module imports by name (so a host that redirects them controls
// the sound); devices close again once their buffer is back.

#include <windows.h>
#include <mmsystem.h>

#include <list>
#include <memory>
#include <vector>

#include "refplayer/core/SwfCharacters.h"

class TMovieSounds {
public:
    TMovieSounds() = default;
    ~TMovieSounds() { StopAll(); }
    TMovieSounds(const TMovieSounds&) = delete;
    TMovieSounds& operator=(const TMovieSounds&) = delete;

    // Plays the sound `loops` times; sounds the player cannot decode are skipped.
    void Start(const std::shared_ptr<refplayer::SwfSound>& sound, int loops, bool noMultiple);
    void Stop(const std::shared_ptr<refplayer::SwfSound>& sound);
    void StopAll();
    // Closes devices whose buffers have played; called on every frame tick.
    void Poll();

private:
    struct TVoice {
        std::shared_ptr<refplayer::SwfSound> sound;
        HWAVEOUT device = nullptr;
        WAVEHDR header = {};
        std::vector<int16_t> samples;
        bool prepared = false;
        bool written = false;
    };
    static void Close(TVoice& voice);

    std::list<TVoice> voices_;
};
