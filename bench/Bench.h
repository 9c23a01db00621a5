#pragma once

#include <windows.h>
#include <urlmon.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Runs body repeatedly for at least minimumSeconds and returns the best time of one run in
// milliseconds; the best run is the least disturbed by the rest of the machine.
inline double BestMilliseconds(const std::function<void()>& body, double minimumSeconds = 0.4) {
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

// The same for a body that times itself (a worker thread's stretch, say) and returns ms.
inline double BestOf(const std::function<double()>& body, double minimumSeconds = 0.4) {
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    auto start = Clock::now();
    do {
        double ms = body();
        if (ms < best) best = ms;
    } while (std::chrono::duration<double>(Clock::now() - start).count() < minimumSeconds);
    return best;
}

// One comparison: a library path and its baseline, measured side by side.
struct TMeasurement {
    double Library;
    double Baseline;
};

struct TBenchmark {
    std::string Name;
    std::string BaselineName;
    std::function<TMeasurement()> Run;
};

// The benchmarks of every file, in the order they are added.
std::vector<TBenchmark>& Benchmarks();
inline void AddBenchmark(std::string name, std::string baselineName, std::function<TMeasurement()> run) {
    Benchmarks().push_back({std::move(name), std::move(baselineName), std::move(run)});
}

void AddContentBenchmarks();
void AddMainThreadBenchmarks();
void AddLoaderBenchmarks();

// Benchmarks that print their own lines (frames per second, multiples of real time).
inline void Report(const char* name, double measured, const char* baselineName, double baseline) {
    std::printf("%-46s %9.3f ms          %-36s %9.3f ms          %.2f\n", name, measured, baselineName, baseline,
                baseline > 0 ? measured / baseline : 0.0);
}
void RunLayeredBenchmarks();
void RunVideoBenchmarks();
void RunRenderBenchmarks();

// A receiver that reads every chunk it is given, as the player does, and counts the bytes.
class TDrainingReceiver final : public IBindStatusCallback {
public:
    size_t Received = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
        static char sink[65536];
        ULONG read = 0;
        while (medium->pstm->Read(sink, sizeof(sink), &read) == S_OK && read > 0) Received += read;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};
