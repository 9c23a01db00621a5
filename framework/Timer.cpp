#include "framework/Timer.h"

#include <windows.h>

#include "framework/ErrorHandling.h"
#include "framework/Instance.h"

namespace {

const char* const TimerWindowClass = "FpcTimerWindow";

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        auto timer = reinterpret_cast<TTimer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (timer) {
            try {
                timer->Timer();
            } catch (...) {
                HandleApplicationException();
            }
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void EnsureTimerWindowClass() {
    WNDCLASSA existing;
    if (GetClassInfoA(FrameworkInstance(), TimerWindowClass, &existing)) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = FrameworkInstance();
    wc.lpszClassName = TimerWindowClass;
    RegisterClassA(&wc);
}

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    EnsureTimerWindowClass();
    HWND window = CreateWindowExA(0, TimerWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  FrameworkInstance(), nullptr);
    if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
}

TTimer::~TTimer() {
    enabled_ = false;
    UpdateTimer();
    // Destroying the window also drops WM_TIMER messages still queued for it.
    if (window_) DestroyWindow(static_cast<HWND>(window_));
}

void TTimer::DefineProperties(TPropertyList& list) {
    TComponent::DefineProperties(list);
    list.Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).WithDefault(1);
    list.Integer("Interval", &TTimer::Interval, &TTimer::SetInterval).WithDefault(1000);
    list.Event("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer);
}

void TTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetInterval(uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    UpdateTimer();
}

void TTimer::SetOnTimer(const TNotifyEvent& handler) {
    onTimer_ = handler;
    UpdateTimer();
}

void TTimer::Timer() {
    if (onTimer_) onTimer_(this);
}

void TTimer::UpdateTimer() {
    if (!window_) return;
    HWND window = static_cast<HWND>(window_);
    KillTimer(window, 1);
    if (enabled_ && interval_ != 0 && onTimer_) SetTimer(window, 1, interval_, nullptr);
}
