#pragma once

#include <cstdint>
#include <string>

#include "framework/Exceptions.h"
#include "framework/Object.h"

// Origins of TStream::Seek; the numbers are those of the system's file pointer methods and of
// IStream (FILE_BEGIN / STREAM_SEEK_SET = 0, and so on), so they pass through unchanged.
enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// The framework's abstract byte stream. Derived classes implement the four virtual
// operations, in this slot order: SetSize, Read, Write, Seek. Sizes and positions are
// signed 32-bit values.
class TStream : public TObject {
public:
    // Streams whose size follows from their content (a resource, a reader of another
    // channel) ignore the request; streams that own their storage override it.
    virtual void SetSize(int32_t newSize);
    // Transfers up to count bytes; returns how many were transferred.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position; returns the new position from the beginning.
    virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;

    // The whole content, when the stream keeps it in one block of memory (null otherwise):
    // a reader that needs every byte can take them from there without copying them out.
    virtual const void* ContentMemory() { return nullptr; }

    int32_t Position();
    void SetPosition(int32_t position);
    int32_t Size();

    // Like Read and Write, but a short transfer raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);

    // Copies count bytes from source's position (count 0: the whole source, from its
    // beginning); returns the number of bytes copied. A short read raises EReadError, a short
    // write EWriteError; a negative count raises EReadError.
    int32_t CopyFrom(TStream& source, int32_t count);

protected:
    // The position a Seek on a stream of the given size and position asks for. Positions
    // past the end are allowed; a negative or overflowing result raises EStreamError, as
    // does an unknown origin.
    static int32_t ResolveSeek(int32_t position, int32_t size, int32_t offset, uint16_t origin);
};

// A stream over a growable block of memory that it owns. The block grows by doubling, so a
// run of small writes costs amortised constant time. The position may lie past the end:
// reading there gives nothing, writing there first fills the gap with zeros. Seeking before
// the beginning raises EStreamError and leaves the position unchanged.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    // Growing fills the new bytes with zeros; a position past the new end moves to the end.
    // A negative size raises EStreamError.
    void SetSize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    const void* ContentMemory() override { return memory_; }

    void Clear();
    // Replaces the content with the whole of source (from its beginning); position 0 after.
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& destination);
#ifdef _WIN32
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
#endif

    void* Memory() const { return memory_; }
    int32_t Capacity() const { return capacity_; }

private:
    void SetCapacity(int32_t newCapacity);
    void Grow(int32_t required);

    char* memory_ = nullptr;
    int32_t size_ = 0;
    int32_t position_ = 0;
    int32_t capacity_ = 0;
};

#ifdef _WIN32
// A stream over a system file handle that it does not own. Read and Write report the bytes
// the system transferred (0 when it fails); Seek returns -1 when the system refuses the new
// position (before the beginning, an unknown origin), as the file pointer call does.
// SetSize keeps the position unless it lies past the new end.
class THandleStream : public TStream {
public:
    explicit THandleStream(void* handle) : handle_(handle) {}

    void SetSize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    void* Handle() const { return handle_; }

protected:
    void* handle_;
};

// Modes of TFileStream: an open mode, or fmCreate, combined with a share mode.
enum : uint16_t {
    fmCreate = 0xFF00,
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
};

// A stream over a file it opens (EFOpenError "Cannot open file %s") or creates
// (EFCreateError "Cannot create file %s"), and closes when destroyed. fmCreate replaces an
// existing file and opens it for reading and writing; its share mode may be combined in.
// An unknown open or share mode raises EStreamError.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// A read-only stream over a resource of a module. Name and type are resource name
// arguments: a value below 0x10000 is a 16-bit identifier, otherwise a NUL-terminated ANSI
// name, matched without regard to case. A missing resource raises EResNotFound
// ("Resource %s not found").
class TResourceStream : public TStream {
public:
    TResourceStream(void* instance, const char* name, const char* type);
    TResourceStream(void* instance, int id, const char* type);

    // Write and SetSize raise EStreamError: the resource is read-only. Seek follows
    // TMemoryStream's rules.
    void SetSize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    const void* ContentMemory() override { return data_; }
    const void* Memory() const { return data_; }

private:
    void Initialize(void* instance, const char* name, const char* type);

    const char* data_ = nullptr;
    int32_t size_ = 0;
    int32_t position_ = 0;
};
#endif
