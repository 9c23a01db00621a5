#include "framework/Screen.h"

#include <windows.h>

int TScreen::PixelsPerInch() {
    if (pixelsPerInch_ == 0) {
        HDC dc = GetDC(nullptr);
        pixelsPerInch_ = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ReleaseDC(nullptr, dc);
        if (pixelsPerInch_ <= 0) pixelsPerInch_ = 96;
    }
    return pixelsPerInch_;
}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }

int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

TScreen* Screen() {
    static TScreen screen;
    return &screen;
}
