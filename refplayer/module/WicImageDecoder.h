#pragma once

// JPEG and PNG bitmaps of movies decoded through the system's imaging component.

#include "refplayer/core/SwfCharacters.h"

class TWicImageDecoder final : public refplayer::ImageDecoder {
public:
    bool Decode(const uint8_t* data, size_t size, refplayer::SwfBitmap& bitmap) override;
};
