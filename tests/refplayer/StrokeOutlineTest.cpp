// Stroked polylines drawn as one outline, against the same polylines drawn the way they were
// before: every segment a quadrilateral plus, when 2 px wide or more, a disc at each end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "SwfWriter.h"
#include "refplayer/core/Playback.h"
#include "refplayer/core/Rasterizer.h"
#include "refplayer/core/StageRenderer.h"

namespace {

using namespace refplayer;
using namespace refplayer_test;

// The earlier drawing: pieces that overlap add up, so edges near joins were covered twice.
void PieceByPieceStroke(Rasterizer& r, const std::vector<RasterPoint>& points, double halfWidth) {
    auto circle = [&](double x, double y) {
        const int steps = halfWidth < 16 ? std::max(8, static_cast<int>(halfWidth * 2)) : 32;
        double px = x + halfWidth, py = y;
        for (int i = 1; i <= steps; i++) {
            const double a = 6.283185307179586 * i / steps;
            const double nx = x + halfWidth * std::cos(a), ny = y + halfWidth * std::sin(a);
            r.Line(px, py, nx, ny);
            px = nx;
            py = ny;
        }
    };
    for (size_t i = 1; i < points.size(); i++) {
        const double x0 = points[i - 1].x, y0 = points[i - 1].y, x1 = points[i].x, y1 = points[i].y;
        const double dx = x1 - x0, dy = y1 - y0, length = std::sqrt(dx * dx + dy * dy);
        if (length > 1e-9) {
            const double nx = -dy / length * halfWidth, ny = dx / length * halfWidth;
            r.Line(x0 + nx, y0 + ny, x0 - nx, y0 - ny);
            r.Line(x0 - nx, y0 - ny, x1 - nx, y1 - ny);
            r.Line(x1 - nx, y1 - ny, x1 + nx, y1 + ny);
            r.Line(x1 + nx, y1 + ny, x0 + nx, y0 + ny);
        }
        if (halfWidth >= 1) {
            if (i == 1) circle(x0, y0);
            circle(x1, y1);
        }
    }
}

// The exact coverage of a pixel by every point within halfWidth of the polyline (round joins
// and caps), sampled on a fine grid.
double IdealCoverage(const std::vector<RasterPoint>& points, double halfWidth, int px, int py) {
    const int grid = 64;
    int inside = 0;
    for (int sy = 0; sy < grid; sy++)
        for (int sx = 0; sx < grid; sx++) {
            const double x = px + (sx + 0.5) / grid, y = py + (sy + 0.5) / grid;
            double nearest = 1e30;
            for (size_t i = 1; i < points.size(); i++) {
                const double ax = points[i - 1].x, ay = points[i - 1].y, dx = points[i].x - ax, dy = points[i].y - ay;
                const double length2 = dx * dx + dy * dy;
                const double t = length2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / length2, 0.0, 1.0) : 0;
                const double ex = ax + t * dx - x, ey = ay + t * dy - y;
                nearest = std::min(nearest, ex * ex + ey * ey);
            }
            inside += nearest <= halfWidth * halfWidth;
        }
    return double(inside) / (grid * grid);
}

std::vector<RasterPoint> Curve(double x0, double y0, double cx, double cy, double x1, double y1, int steps,
                               std::vector<RasterPoint> into = {}) {
    if (into.empty()) into.push_back({x0, y0});
    for (int i = 1; i <= steps; i++) {
        const double t = double(i) / steps, u = 1 - t;
        into.push_back({u * u * x0 + 2 * u * t * cx + t * t * x1, u * u * y0 + 2 * u * t * cy + t * t * y1});
    }
    return into;
}

struct Case {
    const char* name;
    std::vector<RasterPoint> points;
    bool closed;
    double halfWidth;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    std::vector<RasterPoint> zigzag = {{10.3, 20.2}, {40.7, 60.1}, {70.2, 18.9}, {101.5, 64.4}, {98.1, 30.6}};
    std::vector<RasterPoint> square = {{20.4, 20.6}, {90.6, 20.6}, {90.6, 80.1}, {20.4, 80.1}, {20.4, 20.6}};
    // A blob of four curves, each flattened into pieces a few degrees apart.
    std::vector<RasterPoint> blob = Curve(20.5, 60.2, 20.5, 15.1, 65.3, 15.1, 14);
    blob = Curve(65.3, 15.1, 110.2, 15.1, 110.2, 60.2, 14, blob);
    blob = Curve(110.2, 60.2, 110.2, 105.4, 65.3, 105.4, 14, blob);
    blob = Curve(65.3, 105.4, 20.5, 105.4, 20.5, 60.2, 14, blob);
    std::vector<RasterPoint> wave = Curve(10.2, 80.7, 40.6, -10.3, 70.1, 60.4, 12);
    wave = Curve(70.1, 60.4, 90.5, 100.2, 115.3, 20.8, 10, wave);
    std::vector<RasterPoint> hairpin = {{15.5, 30.5}, {100.2, 34.1}, {15.5, 37.7}};
    for (double halfWidth : {0.5, 0.9, 1.8, 4.6}) {
        cases.push_back({"zigzag", zigzag, false, halfWidth});
        cases.push_back({"square", square, true, halfWidth});
        cases.push_back({"blob", blob, true, halfWidth});
        cases.push_back({"wave", wave, false, halfWidth});
        cases.push_back({"hairpin", hairpin, false, halfWidth});
    }
    cases.push_back({"dot", {{50.5, 50.5}, {50.5, 50.5}}, false, 3.0});
    return cases;
}

RasterSurface Draw(const Case& c, bool outline) {
    Rasterizer r;
    RasterSurface surface;
    surface.Resize(128, 120);
    r.Reset();
    if (outline)
        r.Stroke(c.points.data(), c.points.size(), c.closed, c.halfWidth);
    else
        PieceByPieceStroke(r, c.points, c.halfWidth);
    r.Fill(surface, SolidPaint(0xFF000000), nullptr);
    return surface;
}

TEST(StrokeOutline, CoversWhatTheSegmentsAndRoundJoinsCoverWithoutCountingOverlapsTwice) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(std::string(c.name) + " half width " + std::to_string(c.halfWidth));
        const RasterSurface outline = Draw(c, true), pieces = Draw(c, false);
        int total = 0, sumOutline = 0, sumPieces = 0;
        for (int y = 0; y < outline.height; y++)
            for (int x = 0; x < outline.width; x++) {
                const int a = int(outline.At(x, y) >> 24), b = int(pieces.At(x, y) >> 24);
                if (a == 0 && b == 0) continue;
                total++;
                if (std::abs(a - b) <= 2) continue;
                if (c.halfWidth <= 0.5) {
                    // Hairlines are cut straight at joins, unlike the overlapping pieces; along
                    // their runs the two agree.
                    bool nearJoin = false;
                    for (const RasterPoint& p : c.points)
                        nearJoin |= std::hypot(p.x - x - 0.5, p.y - y - 0.5) < 3.0;
                    EXPECT_TRUE(nearJoin) << x << "," << y << ": " << a << " / " << b;
                    continue;
                }
                // Where the two differ, the outline is the closer one to the exact stroke with
                // round joins and ends (up to the error of sampling it and of the arcs' chords).
                const int ideal = int(std::lround(IdealCoverage(c.points, c.halfWidth, x, y) * 255));
                const int errorOutline = std::abs(a - ideal), errorPieces = std::abs(b - ideal);
                sumOutline += errorOutline;
                sumPieces += errorPieces;
                EXPECT_LE(errorOutline, std::max(16, errorPieces)) << x << "," << y << ": " << a << " / " << b;
            }
        EXPECT_LE(sumOutline, sumPieces);
        EXPECT_GT(total, 20);
    }
}

class QuietHost : public PlaybackHost {
public:
    void FsCommand(const std::wstring&, const std::wstring&) override {}
    std::wstring FlashCall(const std::wstring&) override { return L""; }
};

TEST(StrokeOutline, ShapesLinesAreOnePolylinePerConnectedRunWithRoundEndsAndJoins) {
    // A 100 x 100 px stage, one twentieth of a pixel per twip: a 6 px wide line along an L
    // from (10, 20) over (50, 20) to (50, 50), a separate run from (10, 80) to (90, 80), and
    // a closed square (65..90, 10..35).
    ShapeWriter shape;
    shape.Line(120, 0xFF000000);
    shape.Move(200, 400, -1, -1, 1).To(1000, 400).To(1000, 1000);
    shape.Move(200, 1600).To(1800, 1600);
    shape.Move(1300, 200).To(1800, 200).To(1800, 700).To(1300, 700).To(1300, 200);
    Bytes movie = TestSwf()
                      .Tag(shape.Code(), shape.Body(1, 0, 0, 2000, 2000))
                      .Tag(SwfTagPlaceObject2, Place(1, 1))
                      .ShowFrame()
                      .End()
                      .Build(1, 24, 2000, 2000);
    QuietHost host;
    Playback playback(host);
    playback.Append(movie.data(), movie.size());
    playback.StartIfReady();
    ViewOptions view;
    view.width = view.height = 100;
    view.opaque = false;
    RasterSurface surface;
    StageRenderer renderer;
    renderer.Render(playback.Root(), playback.Dictionary(), playback.Header(), view, surface);
    auto coverage = [&](int x, int y) { return int(surface.At(x, y) >> 24); };

    EXPECT_EQ(coverage(30, 20), 255);  // along the line
    EXPECT_EQ(coverage(50, 35), 255);
    // Nothing joins the end of one run to the next one: the rows between them stay empty.
    int between = 0;
    for (int y = 56; y <= 74; y++)
        for (int x = 0; x < 100; x++) between += coverage(x, y);
    EXPECT_EQ(between, 0);
    // Round ends: beyond the end along the line, not at the corner a square end would have.
    EXPECT_GE(coverage(7, 20), 200);
    EXPECT_LT(coverage(7, 16), 64);
    EXPECT_GE(coverage(92, 80), 200);
    EXPECT_LT(coverage(92, 83), 64);
    // A round join outside the L's corner, nothing inside it beyond the line.
    EXPECT_GE(coverage(52, 19), 200);
    EXPECT_LT(coverage(52, 16), 64);
    EXPECT_EQ(coverage(45, 25), 0);
    // The closed square: round outside its corners (also where it starts and ends), empty
    // within.
    EXPECT_GE(coverage(62, 10), 200);
    EXPECT_LT(coverage(61, 6), 64);
    EXPECT_LT(coverage(93, 38), 64);
    EXPECT_EQ(coverage(77, 22), 0);
    EXPECT_EQ(coverage(65, 22), 255);
}

} // namespace
