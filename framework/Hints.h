#pragma once

// Hints: when the mouse rests on a control whose ShowHint holds and whose Hint is not empty,
// a small window with the hint text appears below the mouse after a pause and disappears
// after a while, when the mouse moves to another control, or at a button press or key.
// The application's message loop feeds every message through HintMessage.

#include <windows.h>

class TControl;

struct THintSettings {
    bool ShowHint = true;       // the application's switch for all hints
    int HintPause = 500;        // milliseconds the mouse rests before a hint appears
    int HintHidePause = 2500;   // milliseconds a hint stays
};
THintSettings& HintSettings();

// Looks at one message on its way to its window: mouse moves pick the control under the
// mouse, presses and keys hide the hint.
void HintMessage(const MSG& message);
// The mouse is over this control now (null: over none of the framework's).
void HintMouseOver(TControl* control);
void CancelHint();
// The hint window while it is shown, else null; the control it is (or will be) shown for.
HWND HintWindow();
TControl* HintControl();
void HintControlDestroyed(TControl* control);
