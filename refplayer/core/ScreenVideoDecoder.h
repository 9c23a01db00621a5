#pragma once

#include <cstddef>
#include <cstdint>

#include "refplayer/core/VideoImage.h"

namespace refplayer {

// Decoder of Screen Video pictures (FLV video codec 3): the picture is cut into blocks, each
// either absent (unchanged since the last picture) or its own zlib stream of 24-bit pixels,
// blocks and their rows listed from the bottom of the picture up. Each call decodes one
// video tag's payload after its codec byte. Malformed data raises FormatError and leaves the
// last picture as it was.
class ScreenVideoDecoder {
public:
    static constexpr int kMaxDimension = 4095;

    void Decode(const uint8_t* data, size_t size);
    void Reset() { *this = ScreenVideoDecoder(); }

    bool HasPicture() const { return hasPicture_; }
    const BgraImage& Picture() const { return picture_; }

private:
    BgraImage picture_, work_;
    bool hasPicture_ = false;
};

} // namespace refplayer
