#pragma once

// Application code gets its data channel to the player as a plain TStream: an IStream seen as
// a TStream, wrapped so that every operation (and the final release) runs on the main
// thread, whichever thread the application writes from.

#include <windows.h>
#include <objidl.h>

#include "framework/ComPtr.h"
#include "framework/Streams.h"

// A TStream over an IStream; each operation is one IStream call whose result code is not
// consulted (a failed call reports 0 bytes, or position 0).
class TStreamBasedOnIStream : public TStream {
public:
    explicit TStreamBasedOnIStream(IStream* stream) : stream_(stream) {}

    void SetSize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

private:
    TComPtr<IStream> stream_;
};

// Carries the operations of one stream to the main thread and waits for them; an error the
// stream raises there is raised again in the calling thread.
class TSynchronizedStreamCaller : public TObject {
public:
    explicit TSynchronizedStreamCaller(TStream* stream) : Stream(stream) {}

    void SyncSetSize(int32_t newSize);
    int32_t SyncRead(void* buffer, int32_t count);
    int32_t SyncWrite(const void* buffer, int32_t count);
    int32_t SyncSeek(int32_t offset, uint16_t origin);
    void SyncFreeStream();

private:
    TStream* Stream;
};

// A TStream whose every operation runs on the main thread. Owns the inner stream: freeing the
// wrapper frees it on the main thread.
class TSynchronizedStreamWrapper : public TStream {
public:
    explicit TSynchronizedStreamWrapper(TStream* inner) : Caller(inner) {}
    ~TSynchronizedStreamWrapper() override;

    void SetSize(int32_t newSize) override { Caller.SyncSetSize(newSize); }
    int32_t Read(void* buffer, int32_t count) override { return Caller.SyncRead(buffer, count); }
    int32_t Write(const void* buffer, int32_t count) override { return Caller.SyncWrite(buffer, count); }
    int32_t Seek(int32_t offset, uint16_t origin) override { return Caller.SyncSeek(offset, origin); }

private:
    TSynchronizedStreamCaller Caller;  // holds the inner stream and frees it on the main thread
};

// The stream handed to application code for one IStream: synchronised, over the IStream.
TStream* NewSynchronizedStream(IStream* stream);
