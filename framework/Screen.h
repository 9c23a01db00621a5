#pragma once

#include "framework/Object.h"

// The screen the program runs on.
class TScreen : public TObject {
public:
    // Logical pixels per inch of the screen (96 on most displays), read once.
    int PixelsPerInch();
    int Width() const;
    int Height() const;

private:
    int pixelsPerInch_ = 0;
};

// The one screen object of the program.
TScreen* Screen();
