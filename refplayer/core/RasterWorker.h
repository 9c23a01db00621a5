#pragma once

// A persistent second thread that runs one task at a time for the rasteriser, so that a frame's
// rows can be drawn on two cores: a std::thread, or a system thread on Windows runtimes that
// have none. Where there are no threads at all it is unavailable and the rasteriser draws
// everything on the calling thread.

#include <exception>
#include <functional>
#include <memory>

namespace refplayer {

class RasterWorker {
public:
    static bool Available();
    // Lets other threads run while this one waits for work being prepared.
    static void Pause();

    RasterWorker();
    ~RasterWorker();
    RasterWorker(const RasterWorker&) = delete;
    RasterWorker& operator=(const RasterWorker&) = delete;

    // Whether its thread is there (it may have been refused); Start needs it.
    bool Running() const;
    // Starts task on the worker; Wait returns when it has finished (rethrowing what it threw).
    void Start(std::function<void()> task);
    void Wait();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace refplayer
