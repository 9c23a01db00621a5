#pragma once

// An anti-aliased scanline rasteriser: polygons (with curves flattened) are accumulated as
// signed area per pixel, so a row's coverage is its running sum; the non-zero winding rule
// comes from the sum's magnitude. Output is 32-bit premultiplied ARGB (BGRA in memory).

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "refplayer/core/RasterBlend.h"
#include "refplayer/core/SwfGeometry.h"

namespace refplayer {

struct RasterSurface {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // premultiplied 0xAARRGGBB, rows top down

    void Resize(int w, int h) {
        width = w > 0 ? w : 0;
        height = h > 0 ? h : 0;
        pixels.assign(size_t(width) * size_t(height), 0);
    }
    void Fill(uint32_t premultiplied) { pixels.assign(pixels.size(), premultiplied); }
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Coverage 0..255 per pixel of the surface: what a clipping layer lets through.
struct CoverageMask {
    int width = 0, height = 0;
    std::vector<uint8_t> values;
    void Resize(int w, int h) { width = w; height = h; values.assign(size_t(w) * size_t(h), 0); }
};

// Supplies the premultiplied colours of a run of pixels of one row.
class RasterPaint {
public:
    virtual ~RasterPaint() = default;
    virtual void Span(int x, int y, int count, uint32_t* out) const = 0;
    // A single colour for every pixel, when the paint is one (a fast path).
    virtual bool Solid(uint32_t* colour) const { (void)colour; return false; }
    // Whether every colour Span gives is opaque, so fully covered runs are painted directly.
    virtual bool Opaque() const { return false; }
    // A copy for drawing later (what it refers to, such as a bitmap's pixels, is shared).
    virtual std::unique_ptr<RasterPaint> Clone() const = 0;
};

class SolidPaint : public RasterPaint {
public:
    explicit SolidPaint(uint32_t premultiplied) : colour_(premultiplied) {}
    void Span(int, int, int count, uint32_t* out) const override {
        for (int i = 0; i < count; i++) out[i] = colour_;
    }
    bool Solid(uint32_t* colour) const override { *colour = colour_; return true; }
    std::unique_ptr<RasterPaint> Clone() const override { return std::make_unique<SolidPaint>(*this); }

private:
    uint32_t colour_;
};

// How a gradient continues past its last stop: the end colours, or the stops again (mirrored
// or repeated).
enum class GradientSpread : uint8_t { Pad, Reflect, Repeat };

// Linear or radial gradient: 256 premultiplied colours (copied) looked up through the inverse
// of the matrix that maps the gradient square (-16384..16384) to device pixels. A radial
// gradient's focus lies on the square's x axis at focal (-1..1) times its radius.
class GradientPaint : public RasterPaint {
public:
    GradientPaint(const uint32_t* lut256, const SwfMatrix& gradientToDevice, bool radial, double focal = 0,
                  GradientSpread spread = GradientSpread::Pad);
    void Span(int x, int y, int count, uint32_t* out) const override;
    bool Opaque() const override { return opaque_; }
    std::unique_ptr<RasterPaint> Clone() const override { return std::make_unique<GradientPaint>(*this); }

private:
    // The colour at gradient position t, where 0..1 runs from the first stop to the last.
    uint32_t At(float t) const;
    std::array<uint32_t, 256> lut_;
    SwfMatrix inverse_;
    bool radial_;
    float focal_;
    GradientSpread spread_;
    bool opaque_;
};

// A premultiplied bitmap through the inverse of the matrix mapping its pixels to device pixels.
class BitmapPaint : public RasterPaint {
public:
    BitmapPaint(const uint32_t* pixels, int width, int height, const SwfMatrix& bitmapToDevice, bool repeat,
                bool smooth, const SwfColorTransform& transform);
    void Span(int x, int y, int count, uint32_t* out) const override;
    std::unique_ptr<RasterPaint> Clone() const override { return std::make_unique<BitmapPaint>(*this); }

private:
    uint32_t Texel(int x, int y) const;
    const uint32_t* pixels_;
    int width_, height_;
    SwfMatrix inverse_;
    bool repeat_, smooth_;
    SwfColorTransform transform_;
    bool transformed_;
};

class RasterWorker;

struct RasterPoint {
    double x, y;
};

class Rasterizer {
public:
    Rasterizer();
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Edges in device pixels (any order); the rule is non-zero.
    void Reset() {
        lines_.clear();
        bounds_ = Bounds();
    }
    void Line(double x0, double y0, double x1, double y1);
    // A quadratic curve, flattened to lines finer than a quarter pixel.
    void Quad(double x0, double y0, double cx, double cy, double x1, double y1);
    // A polyline drawn halfWidth to either side, as one outline: round joins where it turns and
    // round caps at open ends when more than 1 px wide; hairlines are cut straight across at
    // both. A closed polyline's last point joins its first.
    void Stroke(const RasterPoint* points, size_t count, bool closed, double halfWidth);
    bool Empty() const { return lines_.empty(); }

    void SetAntiAlias(bool on) { antiAlias_ = on; }

    // Draws what has been added onto the surface (source over), through an optional clip.
    void Fill(RasterSurface& surface, const RasterPaint& paint, const CoverageMask* clip);
    // Adds what has been added to a mask (the union of a clipping layer's shapes).
    void FillMask(CoverageMask& mask);
    // Fills the whole surface with one premultiplied colour (in turn with the fills).
    void Clear(RasterSurface& surface, uint32_t premultiplied);

    // While deferred, Fill and FillMask are queued and drawn by Flush, which shares the rows
    // between this thread and a worker where the platform has threads; the result is the
    // same pixel for pixel. Surfaces, masks and bitmaps must stay until the flush.
    void SetDeferred(bool on);
    void Flush();
    // Forgets what is queued and stops deferring (after a failure while queueing).
    void Discard();

private:
    struct LineF {
        float x0, y0, x1, y1;
    };
    struct Bounds {
        float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    };
    struct Job {
        size_t lineCount;
        Bounds bounds;
        std::unique_ptr<RasterPaint> paint;  // the queued copy
        RasterSurface* surface;              // or, for a mask job, null
        CoverageMask* mask;
        const CoverageMask* clip;
        bool antiAlias;
        bool clear;  // fills the surface with colour instead
        uint32_t colour;
        std::vector<LineF> lines;  // the queued copy
    };
    // The working memory of drawing a band of rows, one per thread.
    class Rows {
    public:
        // Calls row(y, x0, count, coverage, constant) for every run of a row in rowBegin..rowEnd
        // with coverage: coverage per pixel, or (coverage null) one constant 1..255 for the run.
        template <typename Row>
        void Render(const LineF* lines, size_t lineCount, const Bounds& bounds, int width, int rowBegin, int rowEnd,
                    bool antiAlias, Row&& row);
        // Draws a job's rows rowBegin..rowEnd with the paint given (none for a mask).
        void Draw(const Job& job, const RasterPaint* paint, const LineF* lines, int rowBegin, int rowEnd);

    private:
        void Accumulate(const LineF& line, int left, int top, int boxWidth, int boxHeight);
        // Adds the area right of a line piece within one row, between xa and xb (xa <= xb),
        // of signed height d.
        void Cell(float* row, uint8_t* touched, double xa, double xb, double d);
        // The same for a piece over more than two cells xai..xbi.
        void CellSpan(float* row, uint8_t* touched, double xa, double xb, int xai, int xbi, double d);

        std::vector<LineF> pieces_;
        std::vector<float> accumulation_;  // signed area per cell of the box, rows top down
        std::vector<uint8_t> touched_;     // per row and block: some cell of it was written
        size_t blocksPerRow_ = 0;
        std::vector<uint8_t> coverage_;
        std::vector<uint32_t> colours_;
        std::vector<uint8_t> clipped_;
    };

    // Cells are grouped in blocks of this many; a block no edge touched has one coverage.
    static constexpr int BlockShift = 2;

    // The angle between the points of a round join or cap of this radius.
    double ArcStep(double radius) const;
    // Points of an arc around (cx, cy) from (cx, cy) + (vx, vy), turning by angle in steps of at
    // most step, the start left out and the end included.
    void Arc(std::vector<RasterPoint>& out, double cx, double cy, double vx, double vy, double angle, double step);
    // Lines through the points in order.
    void Lines(const std::vector<RasterPoint>& points, bool reversed);
    // Adds a job for rows 0..height; a queue for other rows is drawn first.
    void Queue(Job job, int height);
    // Draws the queue band by band, taking bands until none is left, and waiting for jobs
    // still to be queued until the queue is closed.
    void DrawBands(Rows& rows);
    // Empties the queue, keeping the jobs' line buffers for new shapes.
    void Recycle();

    // Queued jobs before a flush is forced (their storage never moves while queueing).
    static constexpr size_t MaxQueued = 4096;
    // The rows of a frame are cut into this many bands, each drawn whole by one thread.
    static constexpr int Bands = 6;
    static constexpr int MinimumBandRows = 32;

    std::vector<LineF> lines_;
    Bounds bounds_;
    std::vector<RasterPoint> left_, right_, clean_;  // working memory of Stroke
    bool antiAlias_ = true;
    bool deferred_ = false;
    std::vector<Job> queue_;
    std::vector<std::vector<LineF>> pool_;
    int height_ = 0, bandRows_ = 1, bands_ = 1;
    std::atomic<int> nextBand_{0};
    std::atomic<size_t> published_{0};
    std::atomic<bool> closed_{false};
    bool workerStarted_ = false;
    Rows rows_, workerRows_;
    std::unique_ptr<RasterWorker> worker_;
};

} // namespace refplayer
