#pragma once

// Draws a movie's display list into a surface the size of the player's view, placing the
// stage by the scale mode and alignment; and finds the button under a point.

#include <cstdint>
#include <string>
#include <vector>

#include "refplayer/core/DisplayList.h"
#include "refplayer/core/Rasterizer.h"
#include "refplayer/core/SwfMovie.h"

namespace refplayer {

// Draws a text field's text with a font of the platform: coverage (0..255) of a box of
// width x height pixels, row by row. False when nothing could be drawn.
class DeviceTextRenderer {
public:
    virtual ~DeviceTextRenderer() = default;
    virtual bool Render(const std::string& utf8, double pixelHeight, int width, int height, const SwfEditText& field,
                        std::vector<uint8_t>& coverage) = 0;
};

// The picture a Video object shows now: premultiplied 0xAARRGGBB pixels, top row first.
struct VideoFrame {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0;
};

// Where a Video object's picture comes from (the stream attached to it).
class VideoPictureSource {
public:
    virtual ~VideoPictureSource() = default;
    // False when the object shows no picture.
    virtual bool VideoPicture(const DisplayObject& video, VideoFrame& frame) = 0;
};

enum class StageScaleMode { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// Alignment bits: which sides the stage keeps to (none: centred).
enum StageAlign : int { AlignLeft = 1, AlignRight = 2, AlignTop = 4, AlignBottom = 8 };

struct ViewOptions {
    int width = 0, height = 0;
    StageScaleMode scaleMode = StageScaleMode::ShowAll;
    int align = 0;
    bool antiAlias = true;
    bool opaque = true;          // fill the view with the background first
    uint32_t background = 0xFFFFFF;
};

// Twips of the stage to pixels of the view.
SwfMatrix StageToView(const SwfHeader& header, const ViewOptions& view);

class StageRenderer {
public:
    // Text fields are drawn through it; without one they are not drawn.
    void SetDeviceText(DeviceTextRenderer* text) { deviceText_ = text; }
    // Video objects are drawn from it; without one they stay empty.
    void SetVideoSource(VideoPictureSource* videos) { videos_ = videos; }
    void Render(const MovieClip* root, const CharacterDictionary& dictionary, const SwfHeader& header,
                const ViewOptions& view, RasterSurface& surface);
    // Draws a level above the movie over the surface Render drew, placed on the movie's stage.
    void RenderOver(const MovieClip& clip, const SwfHeader& header, const ViewOptions& view, RasterSurface& surface);
    // The topmost button instance whose hit area covers the view point, or null.
    DisplayObject* ButtonAt(const MovieClip* root, const CharacterDictionary& dictionary, const SwfHeader& header,
                            const ViewOptions& view, double x, double y);

private:
    void DrawList(const MovieClip& clip, const SwfMatrix& m, const SwfColorTransform& cx, const CoverageMask* clipMask);
    void DrawObject(const DisplayObject& object, const SwfMatrix& m, const SwfColorTransform& cx,
                    const CoverageMask* clipMask, CoverageMask* intoMask);
    void DrawCharacter(const SwfCharacter* character, const DisplayObject* instance, uint8_t buttonState,
                       const SwfMatrix& m, const SwfColorTransform& cx, const CoverageMask* clipMask,
                       CoverageMask* intoMask);
    void DrawShape(const SwfShape& shape, const SwfMatrix& m, const SwfColorTransform& cx,
                   const CoverageMask* clipMask, CoverageMask* intoMask);
    void DrawText(const SwfText& text, const SwfMatrix& m, const SwfColorTransform& cx, const CoverageMask* clipMask,
                  CoverageMask* intoMask);
    void DrawField(const SwfEditText& field, const std::string& text, const SwfMatrix& m, const SwfColorTransform& cx,
                   const CoverageMask* clipMask);
    void DrawVideo(const SwfVideo& video, const DisplayObject& instance, const SwfMatrix& m,
                   const SwfColorTransform& cx, const CoverageMask* clipMask);
    void FillEdges(const std::vector<SwfEdge>& edges, const SwfMatrix& m);
    DisplayObject* HitList(const MovieClip& clip, const SwfMatrix& m);
    bool HitsCharacter(const SwfCharacter* character, const DisplayObject* instance, uint8_t state, const SwfMatrix& m);

    // Each timeline draws from its own movie's characters (a loaded movie has its own).
    struct DictionaryScope {
        DictionaryScope(const CharacterDictionary*& current, const CharacterDictionary& inner)
            : current_(current), outer_(current) {
            current = &inner;
        }
        ~DictionaryScope() { current_ = outer_; }
        const CharacterDictionary*& current_;
        const CharacterDictionary* outer_;
    };
    const CharacterDictionary* dictionary_ = nullptr;
    DeviceTextRenderer* deviceText_ = nullptr;
    VideoPictureSource* videos_ = nullptr;
    std::vector<uint8_t> fieldCoverage_;
    RasterSurface* surface_ = nullptr;
    Rasterizer rasterizer_;
    std::vector<RasterPoint> polyline_;
    uint32_t lut_[256];
    CoverageMask probe_;  // 1x1 mask of hit tests
};

} // namespace refplayer
