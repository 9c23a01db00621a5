#include "framework/MainThread.h"

#include <windows.h>

#include "framework/Instance.h"

#include <atomic>
#include <exception>

namespace {

const char* const WakeWindowClass = "FpcMainThreadWindow";
constexpr UINT WakeMessage = WM_APP + 0x3A1;

// A waiting thread, and the main thread between two calls, first watch for a short while
// before they sleep: a writer that streams data hands its next call over while the main
// thread still looks, so neither a wake-up message nor a sleep is needed. The windows are
// short enough that an idle thread gives its core back almost at once.
constexpr double CallerWatchMicroseconds = 40;
constexpr double MainThreadWatchMicroseconds = 60;
// One pass runs calls for at most this long, so a busy writer cannot starve the windows.
constexpr double PassLimitMicroseconds = 8000;

// Lives on the waiting thread's stack until Done is set.
struct TPendingCall {
    void (*Run)(void*) = nullptr;
    void* Context = nullptr;
    std::exception_ptr Error;
    TPendingCall* Next = nullptr;
    CONDITION_VARIABLE Ran = CONDITION_VARIABLE_INIT;
    std::atomic<bool> Done{false};
};

struct TMainThreadState {
    SRWLOCK Lock = SRWLOCK_INIT;
    TPendingCall* Head = nullptr;   // calls in the order they were handed over
    TPendingCall* Tail = nullptr;
    std::atomic<bool> HasCalls{false};
    bool WakePosted = false;   // a wake-up message is on its way and not yet handled
    bool Watching = false;     // the main thread is between calls of a pass, looking for more
    DWORD ThreadId = 0;
    HWND WakeWindow = nullptr;
};

TMainThreadState& State() {
    static TMainThreadState state;
    return state;
}

class TStateLock {
public:
    explicit TStateLock(TMainThreadState& state) : lock_(&state.Lock) { AcquireSRWLockExclusive(lock_); }
    ~TStateLock() {
        if (!released_) ReleaseSRWLockExclusive(lock_);
    }
    void Release() {
        ReleaseSRWLockExclusive(lock_);
        released_ = true;
    }
    void Acquire() {
        AcquireSRWLockExclusive(lock_);
        released_ = false;
    }

private:
    SRWLOCK* lock_;
    bool released_ = false;
};

double Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    static const double ticksPerMicrosecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1e6;
    }();
    return double(to.QuadPart - from.QuadPart) / ticksPerMicrosecond;
}

// Spins until ready() holds or the time is up; returns ready().
template <typename Ready>
bool Watch(double microseconds, Ready ready) {
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
            YieldProcessor();
        }
        QueryPerformanceCounter(&now);
        if (Microseconds(start, now) > microseconds) return ready();
    }
}

void PostWake(TMainThreadState& state, HWND window) {
    if (PostMessageA(window, WakeMessage, 0, 0)) return;
    // A full queue: the loop's idle pass still finds the call.
    TStateLock guard(state);
    state.WakePosted = false;
}

LRESULT CALLBACK WakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WakeMessage) {
        {
            TStateLock guard(State());
            State().WakePosted = false;
        }
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
        TStateLock guard(state);
        previous = state.WakeWindow;
        state.WakeWindow = window;
        state.ThreadId = current;
        state.WakePosted = window != nullptr;
    }
    if (previous) PostMessageA(previous, WM_CLOSE, 0, 0);
    // Calls queued for the previous main thread are now this thread's to run.
    if (window) PostWake(state, window);
}

bool IsMainThread() { return GetCurrentThreadId() == State().ThreadId; }

void SynchronizeCall(void (*run)(void*), void* context) {
    if (IsMainThread()) {
        run(context);
        return;
    }
    TMainThreadState& state = State();
    TPendingCall call;
    call.Run = run;
    call.Context = context;
    HWND wake = nullptr;
    {
        TStateLock guard(state);
        if (state.Tail) state.Tail->Next = &call;
        else state.Head = &call;
        state.Tail = &call;
        state.HasCalls.store(true, std::memory_order_release);
        // A main thread that is watching for calls, or already has a wake-up on its way,
        // needs no further message.
        if (!state.Watching && !state.WakePosted) {
            state.WakePosted = true;
            wake = state.WakeWindow;
        }
    }
    if (wake) PostWake(state, wake);
    if (!Watch(CallerWatchMicroseconds, [&] { return call.Done.load(std::memory_order_acquire); })) {
        TStateLock guard(state);
        while (!call.Done.load(std::memory_order_acquire))
            SleepConditionVariableSRW(&call.Ran, &state.Lock, INFINITE, 0);
    }
    if (call.Error) std::rethrow_exception(call.Error);
}

void RunPendingMainThreadCalls() {
    if (!IsMainThread()) return;
    TMainThreadState& state = State();
    LARGE_INTEGER passStart, now;
    QueryPerformanceCounter(&passStart);
    bool ranAny = false;
    TStateLock guard(state);
    for (;;) {
        TPendingCall* call = state.Head;
        if (!call) {
            QueryPerformanceCounter(&now);
            if (!ranAny || Microseconds(passStart, now) > PassLimitMicroseconds) break;
            // A thread that just got its answer often comes straight back with its next call.
            state.Watching = true;
            guard.Release();
            const bool more = Watch(MainThreadWatchMicroseconds,
                                    [&] { return state.HasCalls.load(std::memory_order_acquire); });
            guard.Acquire();
            state.Watching = false;
            if (!more && !state.Head) break;
            continue;
        }
        state.Head = call->Next;
        if (!state.Head) {
            state.Tail = nullptr;
            state.HasCalls.store(false, std::memory_order_relaxed);
        }
        guard.Release();
        try {
            call->Run(call->Context);
        } catch (...) {
            call->Error = std::current_exception();
        }
        ranAny = true;
        guard.Acquire();
        // Woken before Done is set: a caller that sees Done may leave at once, and its call
        // record with it.
        WakeConditionVariable(&call->Ran);
        call->Done.store(true, std::memory_order_release);
        QueryPerformanceCounter(&now);
        if (Microseconds(passStart, now) > PassLimitMicroseconds) break;
    }
    // Calls left over after a long pass wait for the next one, after the window messages.
    if (state.Head && !state.WakePosted) {
        state.WakePosted = true;
        HWND wake = state.WakeWindow;
        guard.Release();
        PostWake(state, wake);
    }
}
