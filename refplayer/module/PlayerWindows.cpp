#include "refplayer/module/PlayerWindows.h"

#include "refplayer/module/ModuleState.h"

namespace {

const char* const StageClassName = "RefPlayerStage";
const char* const ClockClassName = "RefPlayerClock";
const char* const OwnerProperty = "RefPlayerOwner";

// Registered once per mapping of the module; only the main thread creates windows.
bool stageClassRegistered = false;
bool clockClassRegistered = false;

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A window property rather than the user data: a host that adopts the stage window may
    // use the user data itself.
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetPropA(window, OwnerProperty, create->lpCreateParams);
    }
    auto* owner = static_cast<TWindowOwner*>(GetPropA(window, OwnerProperty));
    if (owner) {
        bool handled = false;
        try {
            LRESULT result = owner->HandleWindowMessage(window, message, wParam, lParam, handled);
            if (handled) return result;
        } catch (...) {
            // Nothing may unwind through the system's window procedure into the application.
            return 0;
        }
    }
    if (message == WM_NCDESTROY) RemovePropA(window, OwnerProperty);
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterStageClass() {
    if (stageClassRegistered) return;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = PlayerWindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = StageClassName;
    stageClassRegistered = RegisterClassExA(&windowClass) != 0;
}

void RegisterClockClass() {
    if (clockClassRegistered) return;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlayerWindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = ClockClassName;
    clockClassRegistered = RegisterClassA(&windowClass) != 0;
}

}  // namespace

HWND CreateStageWindow(TWindowOwner* owner, HWND parent, const RECT& position) {
    RegisterStageClass();
    return CreateWindowExA(0, StageClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, position.left,
                           position.top, position.right - position.left, position.bottom - position.top, parent,
                           nullptr, ModuleInstance(), owner);
}

HWND CreateClockWindow(TWindowOwner* owner) {
    RegisterClockClass();
    return CreateWindowExA(0, ClockClassName, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(),
                           owner);
}

void UnregisterPlayerWindowClasses() {
    // Under the system's loader the classes carry these names; a host that renamed them
    // answers with a failure, which changes nothing.
    if (stageClassRegistered) UnregisterClassA(StageClassName, ModuleInstance());
    if (clockClassRegistered) UnregisterClassA(ClockClassName, ModuleInstance());
    stageClassRegistered = clockClassRegistered = false;
}
