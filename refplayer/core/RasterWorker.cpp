#include "refplayer/core/RasterWorker.h"

#include <utility>

#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
#define REFPLAYER_RASTER_THREADS 1
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#elif defined(_WIN32)
// A runtime without std::thread (the player module's): the system's threads directly.
#define REFPLAYER_RASTER_WIN32_THREADS 1
#include <windows.h>
#endif

namespace refplayer {

#if defined(REFPLAYER_RASTER_THREADS)

struct RasterWorker::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> task;
    bool busy = false, stopping = false;
    std::exception_ptr failure;
    std::thread thread;

    void Loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopping || (busy && task); });
            if (stopping) return;
            std::function<void()> current = std::move(task);
            task = nullptr;
            lock.unlock();
            std::exception_ptr thrown;
            try {
                current();
            } catch (...) {
                thrown = std::current_exception();
            }
            lock.lock();
            failure = thrown;
            busy = false;
            changed.notify_all();
        }
    }
};

bool RasterWorker::Available() { return true; }

void RasterWorker::Pause() { std::this_thread::yield(); }

RasterWorker::RasterWorker() : state_(std::make_unique<State>()) {
    try {
        state_->thread = std::thread([state = state_.get()] { state->Loop(); });
    } catch (const std::system_error&) {
        // No thread to be had: the rasteriser draws on its own.
    }
}

RasterWorker::~RasterWorker() {
    if (!state_->thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    state_->thread.join();
}

bool RasterWorker::Running() const { return state_->thread.joinable(); }

void RasterWorker::Start(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->task = std::move(task);
    state_->busy = true;
    state_->changed.notify_all();
}

void RasterWorker::Wait() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [&] { return !state_->busy; });
    if (std::exception_ptr thrown = std::exchange(state_->failure, nullptr)) std::rethrow_exception(thrown);
}

#elif defined(REFPLAYER_RASTER_WIN32_THREADS)

struct RasterWorker::State {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;
    std::function<void()> task;
    bool busy = false, stopping = false;
    std::exception_ptr failure;
    HANDLE thread = nullptr;

    State() {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&changed);
    }
    ~State() { DeleteCriticalSection(&lock); }

    static DWORD WINAPI Run(void* state) {
        static_cast<State*>(state)->Loop();
        return 0;
    }

    void Loop() {
        EnterCriticalSection(&lock);
        for (;;) {
            while (!stopping && !(busy && task)) SleepConditionVariableCS(&changed, &lock, INFINITE);
            if (stopping) break;
            std::function<void()> current = std::move(task);
            task = nullptr;
            LeaveCriticalSection(&lock);
            std::exception_ptr thrown;
            try {
                current();
            } catch (...) {
                thrown = std::current_exception();
            }
            EnterCriticalSection(&lock);
            failure = thrown;
            busy = false;
            WakeAllConditionVariable(&changed);
        }
        LeaveCriticalSection(&lock);
    }
};

bool RasterWorker::Available() { return true; }

void RasterWorker::Pause() { SwitchToThread(); }

RasterWorker::RasterWorker() : state_(std::make_unique<State>()) {
    // Without a thread (creation refused) the rasteriser draws on its own.
    state_->thread = CreateThread(nullptr, 0, &State::Run, state_.get(), 0, nullptr);
}

RasterWorker::~RasterWorker() {
    if (!state_->thread) return;
    EnterCriticalSection(&state_->lock);
    state_->stopping = true;
    WakeAllConditionVariable(&state_->changed);
    LeaveCriticalSection(&state_->lock);
    WaitForSingleObject(state_->thread, INFINITE);
    CloseHandle(state_->thread);
}

bool RasterWorker::Running() const { return state_->thread != nullptr; }

void RasterWorker::Start(std::function<void()> task) {
    EnterCriticalSection(&state_->lock);
    state_->task = std::move(task);
    state_->busy = true;
    WakeAllConditionVariable(&state_->changed);
    LeaveCriticalSection(&state_->lock);
}

void RasterWorker::Wait() {
    EnterCriticalSection(&state_->lock);
    while (state_->busy) SleepConditionVariableCS(&state_->changed, &state_->lock, INFINITE);
    std::exception_ptr thrown = std::exchange(state_->failure, nullptr);
    LeaveCriticalSection(&state_->lock);
    if (thrown) std::rethrow_exception(thrown);
}

#else

// Without threads the task runs when it is started.
struct RasterWorker::State {
    std::exception_ptr failure;
};

bool RasterWorker::Available() { return false; }

void RasterWorker::Pause() {}

RasterWorker::RasterWorker() : state_(std::make_unique<State>()) {}
RasterWorker::~RasterWorker() = default;

bool RasterWorker::Running() const { return false; }

void RasterWorker::Start(std::function<void()> task) {
    try {
        task();
    } catch (...) {
        state_->failure = std::current_exception();
    }
}

void RasterWorker::Wait() {
    if (std::exception_ptr thrown = std::exchange(state_->failure, nullptr)) std::rethrow_exception(thrown);
}

#endif

} // namespace refplayer
