#pragma once

// The stand-in renderer: the movie's background (when the stage is opaque) and a panel with
// the movie's name, size and a frame indicator. Only the panel counts as drawn content, so a
// transparent stage is hit only there.

#include <windows.h>

#include <string>
#include <vector>

struct TStagePicture {
    bool hasMovie = false;
    COLORREF background = RGB(255, 255, 255);
    std::vector<std::wstring> lines;
    double progress = 0;  // share of the frame indicator filled, 0 to 1
};

class TStage {
public:
    // The panel's rectangle for a stage drawn into bounds; empty without a movie.
    static RECT ContentRect(const RECT& bounds, const TStagePicture& picture);
    static void Draw(HDC dc, const RECT& bounds, const TStagePicture& picture, bool opaque);
};
