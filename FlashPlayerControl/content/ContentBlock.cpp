#include "FlashPlayerControl/content/ContentBlock.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr SIZE_T MaxContent = 0x7FFFFFFF;   // stream counts are signed 32-bit
constexpr SIZE_T UnknownSizeStart = 64 * 1024;
constexpr int32_t ProbeSize = 4096;

// The size the source announces, with the position at its beginning; 0 when it cannot seek.
int32_t AnnouncedSize(TStream& source) {
    if (source.Seek(0, soFromBeginning) != 0) return 0;
    const int32_t end = source.Seek(0, soFromEnd);
    source.Seek(0, soFromBeginning);
    return std::max(end, 0);
}

class TLockedBlock {
public:
    explicit TLockedBlock(HGLOBAL block) : block_(block), bytes_(static_cast<char*>(GlobalLock(block))) {
        if (!bytes_) throw EReadError(ErrorText::StreamRead);
    }
    ~TLockedBlock() { GlobalUnlock(block_); }
    char* Bytes() const { return bytes_; }

private:
    HGLOBAL block_;
    char* bytes_;
};

}  // namespace

TContentBlock ReadStreamIntoBlock(TStream& source) {
    TContentBlock content;
    const int32_t announced = AnnouncedSize(source);
    SIZE_T capacity = announced > 0 ? SIZE_T(announced) : UnknownSizeStart;
    content.block_ = GlobalAlloc(GMEM_MOVEABLE, capacity);
    if (!content.block_) throw EReadError(ErrorText::StreamRead);
    SIZE_T got = 0;
    for (;;) {
        if (got < capacity) {
            TLockedBlock locked(content.block_);
            const int32_t want = int32_t(std::min<SIZE_T>(capacity - got, MaxContent));
            const int32_t n = source.Read(locked.Bytes() + got, want);
            if (n <= 0) break;
            got += SIZE_T(std::min(n, want));
            continue;
        }
        // Full: a stream that told its size gives nothing more, which one small read shows
        // without growing the block.
        char probe[ProbeSize];
        const int32_t n = std::min(source.Read(probe, ProbeSize), ProbeSize);
        if (n <= 0) break;
        if (got + SIZE_T(n) > MaxContent) throw EReadError(ErrorText::StreamRead);
        const SIZE_T grown = std::min(std::max(capacity * 2, got + SIZE_T(n)), MaxContent);
        HGLOBAL larger = GlobalReAlloc(content.block_, grown, GMEM_MOVEABLE);
        if (!larger) throw EReadError(ErrorText::StreamRead);
        content.block_ = larger;
        capacity = grown;
        TLockedBlock locked(content.block_);
        std::memcpy(locked.Bytes() + got, probe, SIZE_T(n));
        got += SIZE_T(n);
    }
    content.Size = ULONG(got);
    return content;
}
