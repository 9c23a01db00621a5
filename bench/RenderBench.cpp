// Drawing a busy frame with the stand-in player's rasteriser, against the frame interval of a
// 30 fps movie: how many times faster than needed one frame is drawn.
#include <cstdint>
#include <vector>

#include "Bench.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/StageRenderer.h"
#include "tests/refplayer/SwfWriter.h"

namespace {

using namespace refplayer_test;

class QuietHost : public refplayer::PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L""; }
};

// A 550 x 400 stage: a full-stage radial gradient, a 64 x 64 bitmap drawn large, and 300
// shapes (squares, curved blobs, outlines), a third of them half transparent.
Bytes BusyMovie() {
    TestSwf movie;
    movie.Background(0x336699);
    ShapeWriter gradient;
    gradient.Gradient(true, 11000.0 / 32768, 5500, 4000, {{0, 0xFFFFFFFF}, {128, 0xFF3080C0}, {255, 0xFF102040}})
        .Rectangle(0, 0, 11000, 8000);
    movie.Tag(gradient.Code(), gradient.Body(1)).Tag(refplayer::SwfTagPlaceObject2, Place(1, 1));

    Bytes pixels;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) pixels.insert(pixels.end(), {255, uint8_t(x * 4), uint8_t(y * 4), uint8_t((x ^ y) * 4)});
    BitWriter bitmap;
    bitmap.U16(2).U8(5).U16(64).U16(64).Raw(StoredZlib(pixels));
    movie.Tag(refplayer::SwfTagDefineBitsLossless2, bitmap.Data());
    ShapeWriter picture;
    picture.Bitmap(2, 60, 2000, 1000).Rectangle(2000, 1000, 2000 + 64 * 60 / 20 * 20, 1000 + 64 * 60 / 20 * 20);
    movie.Tag(picture.Code(), picture.Body(3)).Tag(refplayer::SwfTagPlaceObject2, Place(3, 2));

    uint32_t seed = 12345;
    auto next = [&](int range) {
        seed = seed * 1103515245 + 12345;
        return int((seed >> 8) % uint32_t(range));
    };
    for (int i = 0; i < 300; i++) {
        uint16_t id = uint16_t(10 + i);
        uint32_t alpha = i % 3 == 0 ? 0x80000000u : 0xFF000000u;
        uint32_t colour = alpha | uint32_t(next(0x1000000));
        int x = next(10000), y = next(7200), size = 200 + next(1200);
        ShapeWriter shape;
        shape.Solid(colour).Line(40, 0xFF000000);
        if (i % 2 == 0) {
            shape.Rectangle(x, y, x + size, y + size);
        } else {
            int h = size / 2;
            shape.Move(x, y + h, 0, 1, 1)
                .Curve(x, y, x + h, y)
                .Curve(x + size, y, x + size, y + h)
                .Curve(x + size, y + size, x + h, y + size)
                .Curve(x, y + size, x, y + h);
        }
        movie.Tag(shape.Code(), shape.Body(id)).Tag(refplayer::SwfTagPlaceObject2, Place(id, 10 + i));
    }
    return movie.ShowFrame().End().Build(1, 30);
}

}  // namespace

void RunRenderBenchmarks() {
    QuietHost host;
    refplayer::Playback playback(host);
    Bytes movie = BusyMovie();
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    const double frameInterval = 1000.0 / 30;
    for (auto [width, height] : {std::pair<int, int>{617, 361}, std::pair<int, int>{1280, 720}}) {
        refplayer::ViewOptions view;
        view.width = width;
        view.height = height;
        view.background = 0x336699;
        refplayer::StageRenderer renderer;
        refplayer::RasterSurface surface;
        double ms = BestMilliseconds([&] {
            renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
        }, 1.0);
        char name[64];
        std::snprintf(name, sizeof name, "busy frame %dx%d (%.0f fps)", width, height, 1000.0 / ms);
        Report(name, ms, "30 fps frame interval", frameInterval);
    }
}
