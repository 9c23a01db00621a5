#include "framework/MainThread.h"

#include <windows.h>

#include "framework/Instance.h"

#include <atomic>
#include <exception>

namespace {

const char* const WakeWindowClass = "FpcMainThreadWindow";
constexpr UINT WakeMessage = WM_APP + 0x3A1;

// After running calls the main thread waits this long for the next one, asleep, before it
// goes back to its message loop: a writer that streams data hands its next call over while
// the main thread still waits, woken by the cheap in-process wake-up instead of a message.
constexpr DWORD WatchMilliseconds = 1;
// One pass runs calls for at most this long, so a busy writer cannot starve the windows.
constexpr ULONGLONG PassLimitMilliseconds = 10;
// Before either side goes to sleep it watches for this long: waking a sleeping thread costs
// tens of microseconds on an idle machine, a watched flag a fraction of one. Only where a
// second processor can run the other side meanwhile.
constexpr LONGLONG SpinMicroseconds = 50;

// Lives on the waiting thread's stack until Done is set.
struct TPendingCall {
    void (*Run)(void*) = nullptr;
    void* Context = nullptr;
    std::exception_ptr Error;
    TPendingCall* Next = nullptr;
    CONDITION_VARIABLE Ran = CONDITION_VARIABLE_INIT;
    bool Sleeping = false;  // the caller waits on Ran (under the lock): only then is it woken
    // Set last by the main thread, which touches the record no more after it.
    std::atomic<bool> Done{false};
};

struct TMainThreadState {
    SRWLOCK Lock = SRWLOCK_INIT;
    TPendingCall* Head = nullptr;   // calls in the order they were handed over
    TPendingCall* Tail = nullptr;
    CONDITION_VARIABLE CallQueued = CONDITION_VARIABLE_INIT;
    std::atomic<unsigned> CallsQueued{0};  // counts every hand-over, read while spinning
    bool WakePosted = false;   // a wake-up message is on its way and not yet handled
    bool Watching = false;     // the main thread watches for calls between calls of a pass
    bool MainSleeping = false; // ... and is asleep on CallQueued: only then is it woken
    DWORD ThreadId = 0;
    HWND WakeWindow = nullptr;
};

TMainThreadState& State() {
    static TMainThreadState state;
    return state;
}

// The lock is held only for a few instructions at a time; a thread that finds it taken tries
// again for a moment before the system puts it to sleep (a sleep and wake-up cost far more).
void AcquireStateLock(SRWLOCK* lock) {
    for (int i = 0; i < 64; ++i) {
        if (TryAcquireSRWLockExclusive(lock)) return;
        YieldProcessor();
    }
    AcquireSRWLockExclusive(lock);
}

class TStateLock {
public:
    explicit TStateLock(TMainThreadState& state) : lock_(&state.Lock) { AcquireStateLock(lock_); }
    ~TStateLock() {
        if (!released_) ReleaseSRWLockExclusive(lock_);
    }
    void Release() {
        ReleaseSRWLockExclusive(lock_);
        released_ = true;
    }
    void Acquire() {
        AcquireStateLock(lock_);
        released_ = false;
    }

private:
    SRWLOCK* lock_;
    bool released_ = false;
};

// Ticks of the performance counter to spin for; 0 on a machine with one processor.
LONGLONG SpinTicks() {
    static const LONGLONG ticks = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        LARGE_INTEGER frequency;
        if (info.dwNumberOfProcessors < 2 || !QueryPerformanceFrequency(&frequency)) return LONGLONG(0);
        return frequency.QuadPart * SpinMicroseconds / 1000000;
    }();
    return ticks;
}

// Spins until done() holds or the spin time is over; returns done().
template <typename Done>
bool SpinUntil(Done&& done) {
    const LONGLONG ticks = SpinTicks();
    if (ticks <= 0) return done();
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done()) return true;
            YieldProcessor();
        }
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart > ticks) return done();
        // On a busy machine the other side may be waiting for this very processor.
        SwitchToThread();
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
        state.CallsQueued.fetch_add(1, std::memory_order_release);
        // A main thread that waits for calls is woken in-process; one in its message loop by
        // a message, unless one is already on its way.
        if (state.Watching) {
            if (state.MainSleeping) WakeConditionVariable(&state.CallQueued);
        } else if (!state.WakePosted) {
            state.WakePosted = true;
            wake = state.WakeWindow;
        }
    }
    if (wake) PostWake(state, wake);
    auto ran = [&call] { return call.Done.load(std::memory_order_acquire); };
    if (!SpinUntil(ran)) {
        TStateLock guard(state);
        call.Sleeping = true;
        while (!ran()) SleepConditionVariableSRW(&call.Ran, &state.Lock, INFINITE, 0);
    }
    if (call.Error) std::rethrow_exception(call.Error);
}

void RunPendingMainThreadCalls() {
    if (!IsMainThread()) return;
    TMainThreadState& state = State();
    const ULONGLONG passStart = GetTickCount64();
    bool ranAny = false;
    TStateLock guard(state);
    for (;;) {
        TPendingCall* call = state.Head;
        if (!call) {
            if (!ranAny || GetTickCount64() - passStart > PassLimitMilliseconds) break;
            // A thread that just got its answer often comes straight back with its next call:
            // watch for it, then wait for it asleep.
            state.Watching = true;
            const unsigned seen = state.CallsQueued.load(std::memory_order_relaxed);
            guard.Release();
            SpinUntil([&state, seen] { return state.CallsQueued.load(std::memory_order_acquire) != seen; });
            guard.Acquire();
            if (!state.Head) {
                state.MainSleeping = true;
                SleepConditionVariableSRW(&state.CallQueued, &state.Lock, WatchMilliseconds, 0);
                state.MainSleeping = false;
            }
            state.Watching = false;
            if (!state.Head) break;
            continue;
        }
        state.Head = call->Next;
        if (!state.Head) state.Tail = nullptr;
        guard.Release();
        try {
            call->Run(call->Context);
        } catch (...) {
            call->Error = std::current_exception();
        }
        ranAny = true;
        guard.Acquire();
        // A sleeping caller wakes only once this thread lets go of the lock; a spinning one
        // leaves as soon as Done is set, so Done is the last touch of its record.
        if (call->Sleeping) WakeConditionVariable(&call->Ran);
        call->Done.store(true, std::memory_order_release);
        if (GetTickCount64() - passStart > PassLimitMilliseconds) break;
    }
    // Calls left over after a long pass wait for the next one, after the window messages.
    if (state.Head && !state.WakePosted) {
        state.WakePosted = true;
        HWND wake = state.WakeWindow;
        guard.Release();
        PostWake(state, wake);
    }
}
