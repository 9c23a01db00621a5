#pragma once

// The video a movie names in its variables (FLVPath): the stream player fed from a file or
// a URL binding, its sound on the wave device, its picture drawn over the stage.

#include <windows.h>

#include <cstdint>
#include <string>

#include "refplayer/core/FlvStreamPlayer.h"
#include "refplayer/module/WaveOutSink.h"

class TVideoRoute {
public:
    TVideoRoute();
    TVideoRoute(const TVideoRoute&) = delete;
    TVideoRoute& operator=(const TVideoRoute&) = delete;

    void Start();
    void Append(const uint8_t* data, size_t size) { player_.Append(data, size); }
    void End() { player_.EndOfData(); }
    void NotFound() { player_.NotFound(); }
    void Stop();
    // True when the picture changed.
    bool Advance(uint32_t elapsedMilliseconds);
    // The picture, scaled to fit the bounds with its proportions and centred.
    void Draw(HDC dc, const RECT& bounds);
    // The stage's line about the video.
    std::wstring Description() const;

    refplayer::FlvStreamPlayer& Player() { return player_; }

private:
    TWaveOutSink sink_;
    refplayer::FlvStreamPlayer player_;
    std::string lastStatus_;
};
