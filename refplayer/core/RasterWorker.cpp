#include "refplayer/core/RasterWorker.h"

#include <utility>

#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
#define REFPLAYER_RASTER_THREADS 1
#include <condition_variable>
#include <mutex>
#include <thread>
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
    state_->thread = std::thread([state = state_.get()] { state->Loop(); });
}

RasterWorker::~RasterWorker() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    state_->thread.join();
}

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

#else

// Without threads the task runs when it is started.
struct RasterWorker::State {
    std::exception_ptr failure;
};

bool RasterWorker::Available() { return false; }

void RasterWorker::Pause() {}

RasterWorker::RasterWorker() : state_(std::make_unique<State>()) {}
RasterWorker::~RasterWorker() = default;

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
