#include "refplayer/core/ScreenVideoDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

#include "refplayer/core/ByteReader.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/Inflater.h"

namespace refplayer {

void ScreenVideoDecoder::Decode(const uint8_t* data, size_t size) {
    ByteReader reader(data, size, "Screen Video picture");
    uint16_t horizontal = reader.U16BE(), vertical = reader.U16BE();
    int blockWidth = ((horizontal >> 12) + 1) * 16, width = horizontal & 0x0FFF;
    int blockHeight = ((vertical >> 12) + 1) * 16, height = vertical & 0x0FFF;
    if (width == 0 || height == 0) throw FormatError("Screen Video picture has no size");

    // Blocks missing from the first picture of a size stay black.
    if (hasPicture_ && picture_.width == width && picture_.height == height) work_ = picture_;
    else work_.Resize(width, height);

    std::vector<uint8_t> pixels;
    for (int top = height; top > 0; top -= blockHeight) {          // block rows, bottom first
        int rows = std::min(blockHeight, top);
        for (int left = 0; left < width; left += blockWidth) {
            int columns = std::min(blockWidth, width - left);
            uint16_t compressed = reader.U16BE();
            if (compressed == 0) continue;
            const uint8_t* stream = reader.Take(compressed);
            size_t expected = size_t(rows) * size_t(columns) * 3;
            pixels = ZlibInflater::InflateAll(stream, compressed, expected);
            if (pixels.size() != expected) throw FormatError("Screen Video block has the wrong size");
            const uint8_t* in = pixels.data();
            for (int row = 0; row < rows; row++) {                 // bottom row of the block first
                int y = top - 1 - row;
                uint8_t* out = work_.pixels.data() + (size_t(y) * size_t(width) + size_t(left)) * 4;
                for (int x = 0; x < columns; x++, in += 3, out += 4) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                    out[3] = 255;
                }
            }
        }
    }
    std::swap(picture_, work_);
    hasPicture_ = true;
}

} // namespace refplayer
