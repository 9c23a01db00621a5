#include "FlashPlayerControl/content/SynchronizedStreams.h"

#include "framework/Exceptions.h"
#include "framework/MainThread.h"

// Counts and sizes below zero transfer nothing (or raise, for a size), as the framework's own
// streams answer them: handed on as ULONG they would ask the COM stream for 4 GiB.
void TStreamBasedOnIStream::SetSize(int32_t newSize) {
    if (newSize < 0) throw EStreamError(ErrorText::InvalidStreamSize);
    ULARGE_INTEGER size;
    size.QuadPart = static_cast<ULONGLONG>(static_cast<int64_t>(newSize));
    stream_->SetSize(size);
}

int32_t TStreamBasedOnIStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ULONG done = 0;
    stream_->Read(buffer, static_cast<ULONG>(count), &done);
    return static_cast<int32_t>(done);
}

int32_t TStreamBasedOnIStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ULONG done = 0;
    stream_->Write(buffer, static_cast<ULONG>(count), &done);
    return static_cast<int32_t>(done);
}

int32_t TStreamBasedOnIStream::Seek(int32_t offset, uint16_t origin) {
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER position;
    position.QuadPart = 0;
    stream_->Seek(move, origin, &position);
    return static_cast<int32_t>(position.LowPart);
}

void TSynchronizedStreamCaller::SyncSetSize(int32_t newSize) {
    Synchronize([&] { Stream->SetSize(newSize); });
}

int32_t TSynchronizedStreamCaller::SyncRead(void* buffer, int32_t count) {
    int32_t result = 0;
    Synchronize([&] { result = Stream->Read(buffer, count); });
    return result;
}

int32_t TSynchronizedStreamCaller::SyncWrite(const void* buffer, int32_t count) {
    int32_t result = 0;
    Synchronize([&] { result = Stream->Write(buffer, count); });
    return result;
}

int32_t TSynchronizedStreamCaller::SyncSeek(int32_t offset, uint16_t origin) {
    int32_t result = 0;
    Synchronize([&] { result = Stream->Seek(offset, origin); });
    return result;
}

void TSynchronizedStreamCaller::SyncFreeStream() {
    TStream* stream = Stream;
    Stream = nullptr;
    Synchronize([stream] { delete stream; });
}

TSynchronizedStreamWrapper::~TSynchronizedStreamWrapper() {
    try {
        Caller.SyncFreeStream();
    } catch (...) {
        // A stream that fails while being freed has nothing left to tell its owner.
    }
}

TStream* NewSynchronizedStream(IStream* stream) {
    return new TSynchronizedStreamWrapper(new TStreamBasedOnIStream(stream));
}
