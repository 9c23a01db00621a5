// Writes from a worker thread through the synchronised stream wrapper against the same writes
// on the main thread, and the parts of one hand-off: an empty call carried over to the main
// thread, a wake-up message answered by the main thread, and a sleep/wake between two threads.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "Bench.h"
#include "FlashPlayerControl/content/ContentProvider.h"
#include "FlashPlayerControl/content/SynchronizedStreams.h"
#include "framework/Application.h"
#include "framework/MainThread.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs work on a worker thread while the main thread runs the application's message loop, as
// a program does; returns the milliseconds work reports.
double OnWorker(const std::function<double()>& work) {
    std::atomic<bool> done{false};
    double ms = 0;
    const DWORD mainThread = GetCurrentThreadId();
    std::thread worker([&] {
        ms = work();
        done = true;
        PostThreadMessageA(mainThread, WM_NULL, 0, 0);
    });
    while (!done) Application()->HandleMessage();
    worker.join();
    return ms;
}

// Writes total bytes in chunks into a bound provider through a synchronised stream; returns ms.
double WriteMovie(size_t total, size_t chunk, const std::vector<char>& bytes) {
    TDrainingReceiver receiver;
    TComPtr<IStream> stream;
    TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
    provider->SetBindStatusCallback(&receiver);
    std::unique_ptr<TStream> writer(NewSynchronizedStream(stream.Get()));
    stream = nullptr;
    const auto start = Clock::now();
    for (size_t at = 0; at < total; at += chunk) writer->WriteBuffer(bytes.data() + at, int32_t(chunk));
    const double ms = MillisecondsSince(start);
    writer.reset();
    if (receiver.Received != total) std::printf("cross-thread writes lost bytes\n");
    return ms;
}

TMeasurement WorkerWrites(size_t total, size_t chunk) {
    std::vector<char> bytes(total, 'w');
    const double main = BestOf([&] { return WriteMovie(total, chunk, bytes); });
    const double worker = BestOf([&] { return OnWorker([&] { return WriteMovie(total, chunk, bytes); }); });
    return {worker, main};
}

constexpr int RoundTrips = 2000;
constexpr UINT PingMessage = WM_APP + 0x51;

struct TPing {
    SRWLOCK Lock = SRWLOCK_INIT;
    CONDITION_VARIABLE Answered = CONDITION_VARIABLE_INIT;
    bool Answer = false;
    void Signal() {
        AcquireSRWLockExclusive(&Lock);
        Answer = true;
        ReleaseSRWLockExclusive(&Lock);
        WakeConditionVariable(&Answered);
    }
    void Wait() {
        AcquireSRWLockExclusive(&Lock);
        while (!Answer) SleepConditionVariableSRW(&Answered, &Lock, INFINITE, 0);
        Answer = false;
        ReleaseSRWLockExclusive(&Lock);
    }
};

LRESULT CALLBACK PingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PingMessage) {
        reinterpret_cast<TPing*>(lParam)->Signal();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Microseconds per round trip: a message posted to a window of the main thread, answered by
// waking the sleeping sender.
double MessageRoundTrip() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PingWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FpcBenchPing";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    TPing ping;
    const double ms = OnWorker([&] {
        const auto start = Clock::now();
        for (int i = 0; i < RoundTrips; ++i) {
            PostMessageA(window, PingMessage, 0, reinterpret_cast<LPARAM>(&ping));
            ping.Wait();
        }
        return MillisecondsSince(start);
    });
    DestroyWindow(window);
    return ms * 1000 / RoundTrips;
}

// Microseconds per round trip of two threads that sleep and wake each other.
double SleepWakeRoundTrip() {
    TPing there, back;
    std::thread partner([&] {
        for (int i = 0; i < RoundTrips; ++i) {
            there.Wait();
            back.Signal();
        }
    });
    const auto start = Clock::now();
    for (int i = 0; i < RoundTrips; ++i) {
        there.Signal();
        back.Wait();
    }
    const double ms = MillisecondsSince(start);
    partner.join();
    return ms * 1000 / RoundTrips;
}

// Microseconds per empty call carried over to the main thread.
double EmptyCallRoundTrip() {
    const double ms = OnWorker([] {
        const auto start = Clock::now();
        for (int i = 0; i < RoundTrips; ++i) Synchronize([] {});
        return MillisecondsSince(start);
    });
    return ms * 1000 / RoundTrips;
}

}  // namespace

void AddMainThreadBenchmarks() {
    AddBenchmark("16 MiB in 64 KiB writes from a worker", "the same writes on the main thread",
                 [] { return WorkerWrites(16 << 20, 64 << 10); });
    AddBenchmark("4 MiB in 4 KiB writes from a worker", "the same writes on the main thread",
                 [] { return WorkerWrites(4 << 20, 4 << 10); });
    AddBenchmark("empty call to the main thread (us per call)", "posted message, answered (us)", [] {
        return TMeasurement{BestOf(EmptyCallRoundTrip, 0.2), BestOf(MessageRoundTrip, 0.2)};
    });
    AddBenchmark("empty call to the main thread (us per call)", "two threads sleep and wake (us)", [] {
        return TMeasurement{BestOf(EmptyCallRoundTrip, 0.2), BestOf(SleepWakeRoundTrip, 0.2)};
    });
}
