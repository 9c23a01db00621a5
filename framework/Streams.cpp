#include "framework/Streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int64_t kMaxStreamSize = std::numeric_limits<int32_t>::max();
// CopyFrom moves data through a buffer of at most this size.
constexpr int32_t kCopyChunk = 64 * 1024;
// The first block a memory stream allocates; small streams rarely need to grow again.
constexpr int64_t kMinCapacity = 256;

}  // namespace

// --- TStream ---------------------------------------------------------------------------

void TStream::SetSize(int32_t) {}

int32_t TStream::Position() { return Seek(0, soFromCurrent); }

void TStream::SetPosition(int32_t position) { Seek(position, soFromBeginning); }

int32_t TStream::Size() {
    const int32_t position = Seek(0, soFromCurrent);
    const int32_t size = Seek(0, soFromEnd);
    Seek(position, soFromBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError(ErrorText::StreamRead);
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError(ErrorText::StreamWrite);
}

int32_t TStream::CopyFrom(TStream& source, int32_t count) {
    if (count < 0) throw EReadError(ErrorText::StreamRead);
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> buffer(static_cast<size_t>(std::min(count, kCopyChunk)));
    for (int32_t left = count; left > 0;) {
        const int32_t chunk = std::min(left, kCopyChunk);
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= chunk;
    }
    return count;
}

int32_t TStream::ResolveSeek(int32_t position, int32_t size, int32_t offset, uint16_t origin) {
    int64_t base = 0;
    switch (origin) {
        case soFromBeginning: base = 0; break;
        case soFromCurrent: base = position; break;
        case soFromEnd: base = size; break;
        default: throw EStreamError(ErrorText::InvalidSeekOrigin);
    }
    const int64_t target = base + offset;
    if (target < 0 || target > kMaxStreamSize)
        throw EStreamError(ErrorText::StreamPositionOutOfRange);
    return static_cast<int32_t>(target);
}

// --- TMemoryStream ---------------------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(memory_); }

void TMemoryStream::SetCapacity(int32_t newCapacity) {
    if (newCapacity == capacity_) return;
    if (newCapacity == 0) {
        std::free(memory_);
        memory_ = nullptr;
        capacity_ = 0;
        return;
    }
    void* block = std::realloc(memory_, static_cast<size_t>(newCapacity));
    if (!block) throw EStreamError(ErrorText::OutOfStreamMemory);
    memory_ = static_cast<char*>(block);
    capacity_ = newCapacity;
}

void TMemoryStream::Grow(int32_t required) {
    if (required <= capacity_) return;
    int64_t capacity = std::max<int64_t>(kMinCapacity, int64_t{capacity_} * 2);
    capacity = std::min(std::max<int64_t>(capacity, required), kMaxStreamSize);
    SetCapacity(static_cast<int32_t>(capacity));
}

void TMemoryStream::SetSize(int32_t newSize) {
    if (newSize < 0) throw EStreamError(ErrorText::InvalidStreamSize);
    // An explicit size is usually final (LoadFromStream, a known length): no spare room.
    if (newSize > capacity_) SetCapacity(newSize);
    if (newSize > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(newSize - size_));
    size_ = newSize;
    if (position_ > size_) position_ = size_;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    const int32_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const int64_t end = int64_t{position_} + count;
    // Beyond the 32-bit size nothing is written; WriteBuffer turns that into a write error.
    if (end > kMaxStreamSize) return 0;
    Grow(static_cast<int32_t>(end));
    if (position_ > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(position_ - size_));
    std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
    position_ = static_cast<int32_t>(end);
    size_ = std::max(size_, position_);
    return count;
}

int32_t TMemoryStream::Seek(int32_t offset, uint16_t origin) {
    position_ = ResolveSeek(position_, size_, offset, origin);
    return position_;
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    size_ = 0;
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    if (&source != this) {
        source.SetPosition(0);
        const int32_t count = source.Size();
        SetSize(count);
        source.ReadBuffer(memory_, count);
    }
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& destination) {
    destination.WriteBuffer(memory_, size_);
}
