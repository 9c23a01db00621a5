// Calls carried over to the main thread, and the synchronised streams built on them.
#include "ContentTestSupport.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include "FlashPlayerControl/content/SynchronizedStreams.h"

namespace {

// Records the thread each operation ran on.
class TThreadRecordingStream : public TMemoryStream {
public:
    explicit TThreadRecordingStream(std::vector<DWORD>* threads, bool* freed = nullptr, bool failWrites = false)
        : threads_(threads), freed_(freed), failWrites_(failWrites) {}
    ~TThreadRecordingStream() override {
        threads_->push_back(GetCurrentThreadId());
        if (freed_) *freed_ = true;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        threads_->push_back(GetCurrentThreadId());
        if (failWrites_) throw EWriteError("inner write failed");
        return TMemoryStream::Write(buffer, count);
    }

private:
    std::vector<DWORD>* threads_;
    bool* freed_;
    bool failWrites_;
};

}  // namespace

TEST(MainThread, CallsFromWorkersRunOnTheMainThreadAndRaiseTheirErrorsInTheCaller) {
    ASSERT_TRUE(IsMainThread());
    DWORD ranOn = 0;
    Synchronize([&] { ranOn = GetCurrentThreadId(); });  // on the main thread: at once
    EXPECT_EQ(ranOn, GetCurrentThreadId());

    std::atomic<bool> done{false};
    std::string caught;
    DWORD workerRanOn = 0;
    std::thread worker([&] {
        Synchronize([&] { workerRanOn = GetCurrentThreadId(); });
        try {
            Synchronize([] { throw Exception("raised on the main thread"); });
        } catch (const Exception& error) {
            caught = error.Message;
        }
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(workerRanOn, GetCurrentThreadId());
    EXPECT_EQ(caught, "raised on the main thread");
}

TEST(MainThread, BackToBackCallsFromSeveralThreadsEachReturnOnlyWithTheirOwnResult) {
    // Callers leave as soon as they see their call done, while the main thread goes straight
    // on to the next record (often on the same caller's stack, reused): a record touched after
    // its call was marked done, or a caller leaving early, shows as a wrong or missing result.
    constexpr int Threads = 4, Calls = 3000;
    std::atomic<int> wrong{0}, finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < Calls; ++i) {
                int result = -1;
                bool onMain = false;
                Synchronize([&] {
                    onMain = IsMainThread();
                    result = t * Calls + i;
                });
                if (result != t * Calls + i || !onMain) ++wrong;
            }
            ++finished;
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return finished.load() == Threads; }, 30000));
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(SynchronizedStream, WorkerWritesArriveInOrderOnTheMainThreadAndFreeingReleasesThere) {
    std::vector<DWORD> threads;
    bool freed = false;
    auto* inner = new TThreadRecordingStream(&threads, &freed);
    TSynchronizedStreamWrapper* wrapper = new TSynchronizedStreamWrapper(inner);
    std::atomic<bool> done{false};
    std::string seen;
    std::thread worker([&] {
        for (char c = 'a'; c <= 'j'; ++c) wrapper->WriteBuffer(&c, 1);
        Synchronize([&] { seen.assign(static_cast<char*>(inner->Memory()), inner->Size()); });
        delete wrapper;
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(seen, "abcdefghij");
    EXPECT_TRUE(freed);
    ASSERT_EQ(threads.size(), 11u);
    for (DWORD thread : threads) EXPECT_EQ(thread, GetCurrentThreadId());
}

TEST(SynchronizedStream, InnerWriteErrorReachesTheWritingThread) {
    std::vector<DWORD> threads;
    TSynchronizedStreamWrapper* wrapper = new TSynchronizedStreamWrapper(new TThreadRecordingStream(&threads, nullptr, true));
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            wrapper->Write("x", 1);
        } catch (const EWriteError& error) {
            caught = error.Message;
        }
        delete wrapper;
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(caught, "inner write failed");
}

TEST(SynchronizedStream, StreamOverIStreamPassesOperationsThrough) {
    TComPtr<IStream> memory;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, memory.Put()), S_OK);
    TStreamBasedOnIStream stream(memory.Get());
    EXPECT_EQ(stream.Write("hello", 5), 5);
    EXPECT_EQ(stream.Seek(1, soFromBeginning), 1);
    char back[5] = {};
    EXPECT_EQ(stream.Read(back, 4), 4);
    EXPECT_STREQ(back, "ello");
    EXPECT_EQ(stream.Seek(-2, soFromEnd), 3);
    stream.SetSize(2);
    EXPECT_EQ(stream.Seek(0, soFromEnd), 2);
}

namespace {

// Counts the writes that ran and whether each ran on the main thread; may fail one write.
class TCountingStream : public TMemoryStream {
public:
    TCountingStream(DWORD mainThread, int failAt) : mainThread_(mainThread), failAt_(failAt) {}
    std::atomic<int> Ran{0};
    std::atomic<bool> OffMainThread{false};
    int32_t Write(const void* buffer, int32_t count) override {
        if (GetCurrentThreadId() != mainThread_) OffMainThread = true;
        const int index = Ran++;
        if (index == failAt_) throw EWriteError("write " + std::to_string(index) + " failed");
        return TMemoryStream::Write(buffer, count);
    }

private:
    DWORD mainThread_;
    int failAt_;
};

}  // namespace

TEST(SynchronizedStream, SeveralWritersBlockUntilTheirCallsRanKeepTheirOrderAndGetOnlyTheirOwnErrors) {
    constexpr int Writers = 4, Writes = 300, FailingWriter = 2, FailingWrite = 120;
    struct TWriter {
        TCountingStream* Inner;
        TSynchronizedStreamWrapper* Wrapper;
        std::atomic<int> ReturnedEarly{0};
        std::string Error;
        int ErrorAt = -1;
        std::string Seen;
    };
    std::vector<std::unique_ptr<TWriter>> writers;
    for (int w = 0; w < Writers; ++w) {
        auto writer = std::make_unique<TWriter>();
        writer->Inner = new TCountingStream(GetCurrentThreadId(), w == FailingWriter ? FailingWrite : -1);
        writer->Wrapper = new TSynchronizedStreamWrapper(writer->Inner);
        writers.push_back(std::move(writer));
    }
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < Writers; ++w) {
        threads.emplace_back([&, w] {
            TWriter& writer = *writers[w];
            for (int i = 0; i < Writes; ++i) {
                const std::string record = std::to_string(w) + ":" + std::to_string(i) + ";";
                try {
                    writer.Wrapper->WriteBuffer(record.data(), int32_t(record.size()));
                } catch (const EWriteError& error) {
                    writer.Error = error.Message;
                    writer.ErrorAt = i;
                }
                // Blocking: by the time the call returns, the write has run on the main thread.
                if (writer.Inner->Ran.load() != i + 1) ++writer.ReturnedEarly;
            }
            Synchronize([&] { writer.Seen.assign(static_cast<char*>(writer.Inner->Memory()), writer.Inner->Size()); });
            delete writer.Wrapper;
            ++finished;
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return finished.load() == Writers; }, 20000));
    for (auto& thread : threads) thread.join();
    for (int w = 0; w < Writers; ++w) {
        SCOPED_TRACE("writer " + std::to_string(w));
        TWriter& writer = *writers[w];
        std::string expected;
        for (int i = 0; i < Writes; ++i)
            if (!(w == FailingWriter && i == FailingWrite)) expected += std::to_string(w) + ":" + std::to_string(i) + ";";
        EXPECT_EQ(writer.Seen, expected);
        EXPECT_EQ(writer.ReturnedEarly.load(), 0);
        if (w == FailingWriter) {
            EXPECT_EQ(writer.ErrorAt, FailingWrite);
            EXPECT_EQ(writer.Error, "write 120 failed");
        } else {
            EXPECT_EQ(writer.ErrorAt, -1);
        }
    }
}

TEST(SynchronizedStream, CallsFromWorkersRunInsideTheApplicationsMessageLoop) {
    // The hand-off wakes a main thread that sleeps in the ordinary message loop, and one that
    // is between calls, alike: a writer with pauses and one without finish either way.
    std::vector<DWORD> threads;
    auto* inner = new TThreadRecordingStream(&threads);
    auto* wrapper = new TSynchronizedStreamWrapper(inner);
    std::atomic<bool> done{false};
    const DWORD mainThread = GetCurrentThreadId();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            wrapper->WriteBuffer("x", 1);
            if (i % 10 == 0) Sleep(5);   // long enough for the main thread to go back to its loop
        }
        delete wrapper;
        done = true;
        PostThreadMessageA(mainThread, WM_NULL, 0, 0);
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < end) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        } else {
            RunPendingMainThreadCalls();
            if (!done) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
        }
    }
    worker.join();
    EXPECT_TRUE(done);
    ASSERT_EQ(threads.size(), 51u);
    for (DWORD thread : threads) EXPECT_EQ(thread, mainThread);
}
