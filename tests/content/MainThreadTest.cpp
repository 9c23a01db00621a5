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
