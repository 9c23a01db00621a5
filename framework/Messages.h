#pragma once

#include <windows.h>

#include <cstdint>

// A window message as the framework's controls see it: the message handlers read the
// parameters and leave their answer in Result.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;

    // The signed 16-bit coordinates of a mouse message (client coordinates of the receiver).
    int XPos() const { return static_cast<int16_t>(LParam & 0xFFFF); }
    int YPos() const { return static_cast<int16_t>((LParam >> 16) & 0xFFFF); }
};

// Packs a point into the signed 16-bit halves of a mouse message's lParam.
inline LPARAM PointToLParam(int x, int y) {
    return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

// The framework's own messages. The controls of the player library handle some of them by
// these numbers, so they are fixed.
enum : UINT {
    CM_BASE = 0xB000,
    CM_ACTIVATE = CM_BASE + 0,
    CM_DEACTIVATE = CM_BASE + 1,
    CM_CANCELMODE = CM_BASE + 4,        // lParam: the control that keeps its mouse mode
    CM_DIALOGKEY = CM_BASE + 5,         // wParam: key code, lParam: key data
    CM_FOCUSCHANGED = CM_BASE + 7,      // lParam: the newly focused control
    CM_PARENTFONTCHANGED = CM_BASE + 8,
    CM_PARENTCOLORCHANGED = CM_BASE + 9,
    CM_HITTEST = CM_BASE + 10,          // lParam: point in the control; non-zero result: hit
    CM_VISIBLECHANGED = CM_BASE + 11,
    CM_ENABLEDCHANGED = CM_BASE + 12,
    CM_COLORCHANGED = CM_BASE + 13,
    CM_FONTCHANGED = CM_BASE + 14,
    CM_TEXTCHANGED = CM_BASE + 18,
    CM_RELEASE = CM_BASE + 33,          // a form frees itself
    CM_UIACTIVATE = CM_BASE + 0x29,
    CM_UIDEACTIVATE = CM_BASE + 0x2A,
    CM_DOCWINDOWACTIVATE = CM_BASE + 0x2B,  // wParam: non-zero when activated
};

// Notifications and key messages reflected to the control they concern: CN_BASE plus the
// system message number (WM_COMMAND from a button reaches the button as CN_COMMAND).
enum : UINT {
    CN_BASE = 0xBC00,
    CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN,
    CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC,
    CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT,
    CN_COMMAND = CN_BASE + WM_COMMAND,
    CN_NOTIFY = CN_BASE + WM_NOTIFY,
    CN_KEYDOWN = CN_BASE + WM_KEYDOWN,
    CN_KEYUP = CN_BASE + WM_KEYUP,
    CN_CHAR = CN_BASE + WM_CHAR,
    CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN,
    CN_SYSCHAR = CN_BASE + WM_SYSCHAR,
    CN_LAST = 0xC000,  // exclusive
};
