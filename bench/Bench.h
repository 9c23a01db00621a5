#pragma once

#include <chrono>
#include <cstdio>
#include <functional>

// Runs body repeatedly for at least minimumSeconds and returns the best time of one run in
// milliseconds; the best run is the least disturbed by the rest of the machine.
inline double BestMilliseconds(const std::function<void()>& body, double minimumSeconds = 0.5) {
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    auto start = Clock::now();
    do {
        auto t0 = Clock::now();
        body();
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (ms < best) best = ms;
    } while (std::chrono::duration<double>(Clock::now() - start).count() < minimumSeconds);
    return best;
}

inline void Report(const char* name, double measured, const char* baselineName, double baseline) {
    std::printf("%-34s %9.3f ms   %-28s %9.3f ms   ratio %.2f\n", name, measured, baselineName, baseline,
                baseline > 0 ? measured / baseline : 0.0);
}

void RunContentBenchmarks();
void RunLoaderBenchmarks();
void RunRenderBenchmarks();
