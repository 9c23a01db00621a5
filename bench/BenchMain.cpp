// Runs every benchmark three times and prints, per line, the library path and its baseline
// (best time of each run, min–max over the runs) and their ratio (min–max). An argument runs
// only the lines whose name contains it.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Bench.h"
#include "FlashPlayerControl/loader/Library.h"

std::vector<TBenchmark>& Benchmarks() {
    static std::vector<TBenchmark> benchmarks;
    return benchmarks;
}

namespace {

constexpr int Runs = 3;

struct TRange {
    double Min = 1e300, Max = 0;
    void Add(double value) {
        Min = std::min(Min, value);
        Max = std::max(Max, value);
    }
};

}  // namespace

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    StartFlashPlayerLibrary();
    AddContentBenchmarks();
    AddMainThreadBenchmarks();
    AddLoaderBenchmarks();
    if (argc > 1) {
        auto& all = Benchmarks();
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [&](const TBenchmark& b) { return std::strstr(b.Name.c_str(), argv[1]) == nullptr; }),
                  all.end());
    }
    std::vector<std::vector<TMeasurement>> results(Benchmarks().size());
    for (int run = 0; run < Runs; ++run)
        for (size_t i = 0; i < Benchmarks().size(); ++i) results[i].push_back(Benchmarks()[i].Run());
    std::printf("%-46s %-19s %-36s %-19s %s\n", "library path", "ms (min-max)", "baseline", "ms (min-max)",
                "ratio (min-max)");
    for (size_t i = 0; i < Benchmarks().size(); ++i) {
        TRange library, baseline, ratio;
        for (const TMeasurement& m : results[i]) {
            library.Add(m.Library);
            baseline.Add(m.Baseline);
            ratio.Add(m.Baseline > 0 ? m.Library / m.Baseline : 0);
        }
        std::printf("%-46s %8.3f-%-9.3f  %-36s %8.3f-%-9.3f  %.2f-%.2f\n", Benchmarks()[i].Name.c_str(), library.Min,
                    library.Max, Benchmarks()[i].BaselineName.c_str(), baseline.Min, baseline.Max, ratio.Min,
                    ratio.Max);
    }
    if (argc <= 1 || std::strstr("layered", argv[1])) RunLayeredBenchmarks();
    if (argc <= 1 || std::strstr("video", argv[1])) RunVideoBenchmarks();
    // The busy-frame lines are reached by their own name as well as by "render".
    if (argc <= 1 || std::strstr("render", argv[1]) || std::strstr("busy frame", argv[1])) RunRenderBenchmarks();
    StopFlashPlayerLibrary();
    CoUninitialize();
    return 0;
}
