#pragma once

// Text fields drawn with the system's fonts: the text is drawn white on black into a DIB and
// its brightness becomes the coverage the core blends in the field's colour.

#include "refplayer/core/StageRenderer.h"

class TGdiTextRenderer final : public refplayer::DeviceTextRenderer {
public:
    bool Render(const std::string& utf8, double pixelHeight, int width, int height,
                const refplayer::SwfEditText& field, std::vector<uint8_t>& coverage) override;
};
