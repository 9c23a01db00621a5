#include "framework/Hints.h"

#include <string>

#include "framework/Control.h"
#include "framework/WinControl.h"

namespace {

struct THintState {
    TControl* Control = nullptr;
    UINT_PTR ShowTimer = 0;
    UINT_PTR HideTimer = 0;
    HWND Window = nullptr;
};
THintState Hint;

void StopTimers() {
    if (Hint.ShowTimer) KillTimer(nullptr, Hint.ShowTimer);
    if (Hint.HideTimer) KillTimer(nullptr, Hint.HideTimer);
    Hint.ShowTimer = Hint.HideTimer = 0;
}

void HideWindow() {
    if (Hint.Window) DestroyWindow(Hint.Window);
    Hint.Window = nullptr;
}

void CALLBACK HideHintTimer(HWND, UINT, UINT_PTR, DWORD) {
    StopTimers();
    HideWindow();
}

void CALLBACK ShowHintTimer(HWND, UINT, UINT_PTR, DWORD) {
    StopTimers();
    TControl* control = Hint.Control;
    if (!control || !control->Showing() || !control->ShowHint() || control->Hint().empty()) return;
    const std::string& text = control->Hint();
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT extent = {0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), -1, &extent, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    POINT at;
    GetCursorPos(&at);
    // A static text window draws the text itself; it never takes the activation.
    HideWindow();
    Hint.Window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, "STATIC",
                                  text.c_str(), WS_POPUP | WS_BORDER | SS_NOPREFIX, at.x, at.y + 20,
                                  extent.right + 8, extent.bottom + 4, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!Hint.Window) return;
    SendMessageA(Hint.Window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ShowWindow(Hint.Window, SW_SHOWNOACTIVATE);
    Hint.HideTimer = SetTimer(nullptr, 0, static_cast<UINT>(HintSettings().HintHidePause), &HideHintTimer);
}

}  // namespace

THintSettings& HintSettings() {
    static THintSettings settings;
    return settings;
}

void HintMessage(const MSG& message) {
    switch (message.message) {
        case WM_MOUSEMOVE: {
            HWND window = message.hwnd;
            TWinControl* control = nullptr;
            while (window && !(control = TWinControl::FindControl(window))) window = GetParent(window);
            if (control && window == message.hwnd) {
                const POINT p = {static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
                if (TControl* child = control->ControlAtPos(p, false)) {
                    HintMouseOver(child);
                    return;
                }
            }
            HintMouseOver(control);
            return;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            CancelHint();
            return;
    }
}

void HintMouseOver(TControl* control) {
    if (control == Hint.Control) return;
    StopTimers();
    HideWindow();
    Hint.Control = control;
    if (!control || !HintSettings().ShowHint || !control->ShowHint() || control->Hint().empty()) return;
    Hint.ShowTimer = SetTimer(nullptr, 0, static_cast<UINT>(HintSettings().HintPause), &ShowHintTimer);
}

void CancelHint() {
    StopTimers();
    HideWindow();
}

HWND HintWindow() { return Hint.Window; }
TControl* HintControl() { return Hint.Control; }

void HintControlDestroyed(TControl* control) {
    if (Hint.Control != control) return;
    CancelHint();
    Hint.Control = nullptr;
}
