#include "framework/MainThread.h"

#include <windows.h>

#include "framework/Instance.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace {

const char* const WakeWindowClass = "FpcMainThreadWindow";
constexpr UINT WakeMessage = WM_APP + 0x3A1;

struct TPendingCall {
    const std::function<void()>* Call;
    std::exception_ptr Error;
    bool Done = false;
};

struct TMainThreadState {
    std::mutex Lock;
    std::condition_variable CallDone;
    std::deque<TPendingCall*> Queue;
    DWORD ThreadId = 0;
    HWND WakeWindow = nullptr;
};

TMainThreadState& State() {
    static TMainThreadState state;
    return state;
}

LRESULT CALLBACK WakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WakeMessage) {
        RunPendingMainThreadCalls();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The thread that runs static initialisation is the main thread.
const bool mainThreadRecorded = (InitializeMainThread(), true);

}  // namespace

void InitializeMainThread() {
    TMainThreadState& state = State();
    DWORD current = GetCurrentThreadId();
    if (state.ThreadId == current && state.WakeWindow) return;
    WNDCLASSA existing;
    if (!GetClassInfoA(FrameworkInstance(), WakeWindowClass, &existing)) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WakeWindowProc;
        wc.hInstance = FrameworkInstance();
        wc.lpszClassName = WakeWindowClass;
        RegisterClassA(&wc);
    }
    // A window belongs to the thread that made it: the wake-up window moves with the role.
    HWND window = CreateWindowExA(0, WakeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  FrameworkInstance(), nullptr);
    HWND previous;
    {
        std::lock_guard<std::mutex> guard(state.Lock);
        previous = state.WakeWindow;
        state.WakeWindow = window;
        state.ThreadId = current;
    }
    if (previous) PostMessageA(previous, WM_CLOSE, 0, 0);
    // Calls queued for the previous main thread are now this thread's to run.
    if (window) PostMessageA(window, WakeMessage, 0, 0);
}

bool IsMainThread() { return GetCurrentThreadId() == State().ThreadId; }

void Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    TMainThreadState& state = State();
    TPendingCall pending;
    pending.Call = &call;
    std::unique_lock<std::mutex> guard(state.Lock);
    state.Queue.push_back(&pending);
    PostMessageA(state.WakeWindow, WakeMessage, 0, 0);
    state.CallDone.wait(guard, [&] { return pending.Done; });
    if (pending.Error) std::rethrow_exception(pending.Error);
}

void RunPendingMainThreadCalls() {
    if (!IsMainThread()) return;
    TMainThreadState& state = State();
    for (;;) {
        TPendingCall* pending;
        {
            std::lock_guard<std::mutex> guard(state.Lock);
            if (state.Queue.empty()) return;
            pending = state.Queue.front();
            state.Queue.pop_front();
        }
        try {
            (*pending->Call)();
        } catch (...) {
            pending->Error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(state.Lock);
            pending->Done = true;
        }
        state.CallDone.notify_all();
    }
}
