#pragma once

// The module's two windows: the stage window of a windowed object, and a hidden window per
// object that carries its frame clock and the notifications of bindings on other threads.
// Their classes are registered with the module's own instance on first use.

#include <windows.h>

// Receives the messages of both windows.
class TWindowOwner {
public:
    virtual LRESULT HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~TWindowOwner() = default;
};

// A binding on another thread has news (posted to the clock window).
constexpr UINT WM_REFPLAYER_BINDING = WM_APP + 0x31;
// Loads a script asked for start once the script has finished.
constexpr UINT WM_REFPLAYER_CLIPLOADS = WM_APP + 0x32;

HWND CreateStageWindow(TWindowOwner* owner, HWND parent, const RECT& position);
HWND CreateClockWindow(TWindowOwner* owner);
void UnregisterPlayerWindowClasses();
