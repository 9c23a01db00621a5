#include "refplayer/core/Rasterizer.h"

#include <algorithm>
#include <cmath>

namespace refplayer {

namespace {

inline uint32_t Lerp8(uint32_t a, uint32_t b, uint32_t t) { return (a * (256 - t) + b * t) >> 8; }

// Scales every channel of a premultiplied colour by coverage/255.
inline uint32_t ScaleColour(uint32_t c, uint32_t coverage) {
    if (coverage >= 255) return c;
    uint32_t rb = (c & 0x00FF00FF) * coverage;
    uint32_t ag = ((c >> 8) & 0x00FF00FF) * coverage;
    rb = ((rb + 0x00800080 + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    ag = ((ag + 0x00800080 + ((ag >> 8) & 0x00FF00FF))) & 0xFF00FF00;
    return rb | ag;
}

// Source over destination, both premultiplied.
inline uint32_t Over(uint32_t src, uint32_t dst) {
    uint32_t alpha = src >> 24;
    if (alpha == 255) return src;
    if (alpha == 0 && src == 0) return dst;
    return src + ScaleColour(dst, 255 - alpha);
}

inline uint8_t Mul8(uint32_t a, uint32_t b) {
    uint32_t v = a * b + 128;
    return static_cast<uint8_t>((v + (v >> 8)) >> 8);
}

} // namespace

uint32_t Premultiply(uint32_t argb) {
    uint32_t a = argb >> 24;
    return (a << 24) | (ScaleColour(argb | 0xFF000000, a) & 0x00FFFFFF);
}

uint32_t BlendCoverage(uint32_t colour, uint32_t coverage, uint32_t destination) {
    return Over(ScaleColour(colour, coverage), destination);
}

GradientPaint::GradientPaint(const uint32_t* lut256, const SwfMatrix& gradientToDevice, bool radial)
    : lut_(lut256), inverse_(gradientToDevice.Inverse()), radial_(radial) {}

void GradientPaint::Span(int x, int y, int count, uint32_t* out) const {
    double px = x + 0.5, py = y + 0.5;
    // Single precision across a span is exact enough for 256 colours.
    float gx = static_cast<float>(inverse_.MapX(px, py)), gy = static_cast<float>(inverse_.MapY(px, py));
    const float dx = static_cast<float>(inverse_.a), dy = static_cast<float>(inverse_.b);
    if (radial_) {
        const float scale = 255.0f / 16384.0f;
        for (int i = 0; i < count; i++, gx += dx, gy += dy) {
            float t = std::sqrt(gx * gx + gy * gy) * scale + 0.5f;
            out[i] = lut_[t >= 255.0f ? 255 : static_cast<int>(t)];
        }
        return;
    }
    const float scale = 255.0f / 32768.0f;
    for (int i = 0; i < count; i++, gx += dx) {
        float t = (gx + 16384.0f) * scale + 0.5f;
        out[i] = lut_[t <= 0.0f ? 0 : t >= 255.0f ? 255 : static_cast<int>(t)];
    }
}

BitmapPaint::BitmapPaint(const uint32_t* pixels, int width, int height, const SwfMatrix& bitmapToDevice,
                         bool repeat, bool smooth, const SwfColorTransform& transform)
    : pixels_(pixels), width_(width), height_(height), inverse_(bitmapToDevice.Inverse()), repeat_(repeat),
      smooth_(smooth), transform_(transform), transformed_(!transform.IsIdentity()) {}

uint32_t BitmapPaint::Texel(int x, int y) const {
    if (repeat_) {
        x %= width_;
        y %= height_;
        if (x < 0) x += width_;
        if (y < 0) y += height_;
    } else {
        x = std::clamp(x, 0, width_ - 1);
        y = std::clamp(y, 0, height_ - 1);
    }
    return pixels_[size_t(y) * size_t(width_) + size_t(x)];
}

void BitmapPaint::Span(int x, int y, int count, uint32_t* out) const {
    if (width_ <= 0 || height_ <= 0) {
        std::fill(out, out + count, 0u);
        return;
    }
    double px = x + 0.5, py = y + 0.5;
    double bx = inverse_.MapX(px, py), by = inverse_.MapY(px, py);
    for (int i = 0; i < count; i++, bx += inverse_.a, by += inverse_.b) {
        uint32_t c;
        if (smooth_) {
            double fx = bx - 0.5, fy = by - 0.5;
            double flx = std::floor(fx), fly = std::floor(fy);
            // Far-off coordinates of a degenerate matrix stay in int range.
            flx = std::clamp(flx, -1e8, 1e8);
            fly = std::clamp(fly, -1e8, 1e8);
            int ix = static_cast<int>(flx), iy = static_cast<int>(fly);
            uint32_t tx = static_cast<uint32_t>((fx - flx) * 256), ty = static_cast<uint32_t>((fy - fly) * 256);
            uint32_t c00 = Texel(ix, iy), c10 = Texel(ix + 1, iy), c01 = Texel(ix, iy + 1), c11 = Texel(ix + 1, iy + 1);
            c = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t top = Lerp8(c00 >> shift & 0xFF, c10 >> shift & 0xFF, tx);
                uint32_t bottom = Lerp8(c01 >> shift & 0xFF, c11 >> shift & 0xFF, tx);
                c |= Lerp8(top, bottom, ty) << shift;
            }
        } else {
            double fx = std::clamp(std::floor(bx), -1e8, 1e8), fy = std::clamp(std::floor(by), -1e8, 1e8);
            c = Texel(static_cast<int>(fx), static_cast<int>(fy));
        }
        if (transformed_) {
            // The transform acts on straight colour.
            uint32_t a = c >> 24;
            uint32_t straight = a == 0 ? 0 : (a << 24) | (std::min<uint32_t>(255, (c >> 16 & 0xFF) * 255 / a) << 16) |
                                                 (std::min<uint32_t>(255, (c >> 8 & 0xFF) * 255 / a) << 8) |
                                                 std::min<uint32_t>(255, (c & 0xFF) * 255 / a);
            c = Premultiply(transform_.Apply(straight));
        }
        out[i] = c;
    }
}

void Rasterizer::Line(double x0, double y0, double x1, double y1) {
    if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
    // Far-away geometry is kept in a range floats represent exactly enough.
    auto limit = [](double v) { return static_cast<float>(std::clamp(v, -1e6, 1e6)); };
    lines_.push_back(LineF{limit(x0), limit(y0), limit(x1), limit(y1)});
}

void Rasterizer::Quad(double x0, double y0, double cx, double cy, double x1, double y1) {
    double dx = x0 - 2 * cx + x1, dy = y0 - 2 * cy + y1;
    double deviation = std::sqrt(dx * dx + dy * dy);
    int steps = std::clamp(static_cast<int>(std::ceil(std::sqrt(deviation * 2))), 1, 64);
    double px = x0, py = y0;
    for (int i = 1; i <= steps; i++) {
        double t = double(i) / steps, u = 1 - t;
        double x = u * u * x0 + 2 * u * t * cx + t * t * x1;
        double y = u * u * y0 + 2 * u * t * cy + t * t * y1;
        Line(px, py, x, y);
        px = x;
        py = y;
    }
}

void Rasterizer::Circle(double x, double y, double r) {
    int steps = std::clamp(static_cast<int>(r * 2), 8, 32);
    const double step = 6.283185307179586 / steps;
    double px = x + r, py = y;
    for (int i = 1; i <= steps; i++) {
        double nx = x + r * std::cos(i * step), ny = y + r * std::sin(i * step);
        Line(px, py, nx, ny);
        px = nx;
        py = ny;
    }
}

void Rasterizer::StrokeSegment(double x0, double y0, double x1, double y1, double halfWidth, bool roundStart) {
    double dx = x1 - x0, dy = y1 - y0;
    double length = std::sqrt(dx * dx + dy * dy);
    bool round = halfWidth >= 1.0;
    if (length > 1e-9) {
        double nx = -dy / length * halfWidth, ny = dx / length * halfWidth;
        // Always one orientation (the same as Circle's), so that overlaps add up, never cancel.
        Line(x0 + nx, y0 + ny, x0 - nx, y0 - ny);
        Line(x0 - nx, y0 - ny, x1 - nx, y1 - ny);
        Line(x1 - nx, y1 - ny, x1 + nx, y1 + ny);
        Line(x1 + nx, y1 + ny, x0 + nx, y0 + ny);
    }
    if (round) {
        if (roundStart) Circle(x0, y0, halfWidth);
        Circle(x1, y1, halfWidth);
    }
}

void Rasterizer::Accumulate(const LineF& line, int left, int top, int boxWidth, int boxHeight) {
    double x0 = line.x0 - left, y0 = line.y0 - top, x1 = line.x1 - left, y1 = line.y1 - top;
    if (y0 == y1) return;
    double dir = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1;
    }
    if (y1 <= 0 || y0 >= boxHeight) return;
    const double dxdy = (x1 - x0) / (y1 - y0);
    if (y0 < 0) {
        x0 -= y0 * dxdy;
        y0 = 0;
    }
    if (y1 > boxHeight) {
        x1 -= (y1 - boxHeight) * dxdy;
        y1 = boxHeight;
    }
    const int stride = boxWidth + 2;
    const double maxX = boxWidth;
    double x = x0;
    int yStart = static_cast<int>(y0);
    int yEnd = std::min(boxHeight, static_cast<int>(std::ceil(y1)));
    for (int y = yStart; y < yEnd; y++) {
        float* row = &accumulation_[size_t(y) * size_t(stride)];
        double dy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
        double xnext = x + dxdy * dy;
        double d = dy * dir;
        double xa = std::clamp(std::min(x, xnext), 0.0, maxX);
        double xb = std::clamp(std::max(x, xnext), 0.0, maxX);
        double xaFloor = std::floor(xa);
        int xai = static_cast<int>(xaFloor);
        double xbCeil = std::ceil(xb);
        int xbi = static_cast<int>(xbCeil);
        if (xbi <= xai + 1) {
            double xmf = 0.5 * (xa + xb) - xaFloor;
            row[xai] += static_cast<float>(d - d * xmf);
            row[xai + 1] += static_cast<float>(d * xmf);
        } else {
            double s = 1.0 / (xb - xa);
            double xaf = xa - xaFloor;
            double a0 = 0.5 * s * (1 - xaf) * (1 - xaf);
            double xbf = xb - xbCeil + 1;
            double am = 0.5 * s * xbf * xbf;
            row[xai] += static_cast<float>(d * a0);
            if (xbi == xai + 2) {
                row[xai + 1] += static_cast<float>(d * (1 - a0 - am));
            } else {
                double a1 = s * (1.5 - xaf);
                row[xai + 1] += static_cast<float>(d * (a1 - a0));
                for (int xi = xai + 2; xi < xbi - 1; xi++) row[xi] += static_cast<float>(d * s);
                double a2 = a1 + (xbi - xai - 3) * s;
                row[xbi - 1] += static_cast<float>(d * (1 - a2 - am));
            }
            row[xbi] += static_cast<float>(d * am);
        }
        x = xnext;
    }
}

template <typename Row>
void Rasterizer::Render(int width, int height, Row&& row) {
    if (lines_.empty() || width <= 0 || height <= 0) return;
    float minX = lines_[0].x0, maxX = minX, minY = lines_[0].y0, maxY = minY;
    for (const LineF& l : lines_) {
        minX = std::min({minX, l.x0, l.x1});
        maxX = std::max({maxX, l.x0, l.x1});
        minY = std::min({minY, l.y0, l.y1});
        maxY = std::max({maxY, l.y0, l.y1});
    }
    int left = std::max(0, static_cast<int>(std::floor(minX)));
    int top = std::max(0, static_cast<int>(std::floor(minY)));
    int right = std::min(width, static_cast<int>(std::ceil(maxX)) + 1);
    int bottom = std::min(height, static_cast<int>(std::ceil(maxY)) + 1);
    if (left >= right || top >= bottom) return;
    int boxWidth = right - left;
    // Parts left of the box count fully for the pixels right of them: they are clamped to its
    // left side by Accumulate. Lines crossing a side are split there so the clamp stays exact.
    pieces_.clear();
    const float sides[2] = {static_cast<float>(left), static_cast<float>(right)};
    for (const LineF& line : lines_) {
        if (line.y0 == line.y1) continue;
        LineF rest = line;
        for (float side : sides) {
            if ((rest.x0 < side) != (rest.x1 < side) && rest.x0 != rest.x1) {
                float t = (side - rest.x0) / (rest.x1 - rest.x0);
                float ym = rest.y0 + (rest.y1 - rest.y0) * t;
                pieces_.push_back(LineF{rest.x0, rest.y0, side, ym});
                rest = LineF{side, ym, rest.x1, rest.y1};
            }
        }
        pieces_.push_back(rest);
    }
    // Bands of rows, so that the accumulation cells stay in the cache however large the box.
    std::sort(pieces_.begin(), pieces_.end(),
              [](const LineF& a, const LineF& b) { return std::min(a.y0, a.y1) < std::min(b.y0, b.y1); });
    constexpr int BandRows = 16;
    const size_t stride = size_t(boxWidth) + 2;
    // Cells are zeroed as they are read, so the buffer only ever needs growing.
    if (accumulation_.size() < stride * BandRows) accumulation_.resize(stride * BandRows, 0.0f);
    coverage_.resize(size_t(boxWidth));
    size_t nextPiece = 0;
    active_.clear();
    for (int bandTop = top; bandTop < bottom; bandTop += BandRows) {
        int bandRows = std::min(BandRows, bottom - bandTop);
        float bandBottom = static_cast<float>(bandTop + bandRows);
        while (nextPiece < pieces_.size() && std::min(pieces_[nextPiece].y0, pieces_[nextPiece].y1) < bandBottom)
            active_.push_back(pieces_[nextPiece++]);
        size_t kept = 0;
        for (size_t i = 0; i < active_.size(); i++) {
            const LineF& line = active_[i];
            Accumulate(line, left, bandTop, boxWidth, bandRows);
            // Lines ending within this band are done.
            if (std::max(line.y0, line.y1) > bandBottom) active_[kept++] = line;
        }
        active_.resize(kept);
        for (int y = 0; y < bandRows; y++) {
            float* acc = &accumulation_[size_t(y) * stride];
            float sum = 0;
            int first = -1, last = -1;
            for (int x = 0; x < boxWidth; x++) {
                sum += acc[x];
                acc[x] = 0;
                float a = std::fabs(sum);
                uint8_t c;
                if (antiAlias_)
                    c = a >= 1.0f ? 255 : static_cast<uint8_t>(a * 255.0f + 0.5f);
                else
                    c = a >= 0.5f ? 255 : 0;
                coverage_[size_t(x)] = c;
                if (c) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            acc[boxWidth] = acc[boxWidth + 1] = 0;
            if (first >= 0) row(bandTop + y, left + first, last - first + 1, coverage_.data() + first);
        }
    }
}

void Rasterizer::Fill(RasterSurface& surface, const RasterPaint& paint, const CoverageMask* clip) {
    uint32_t solid = 0;
    bool isSolid = paint.Solid(&solid);
    Render(surface.width, surface.height, [&](int y, int x, int count, const uint8_t* coverage) {
        uint32_t* dst = &surface.pixels[size_t(y) * size_t(surface.width) + size_t(x)];
        const uint8_t* mask = clip ? &clip->values[size_t(y) * size_t(clip->width) + size_t(x)] : nullptr;
        if (!isSolid) {
            colours_.resize(size_t(count));
            paint.Span(x, y, count, colours_.data());
        }
        if (isSolid && !mask) {
            // The common case: one colour, no clip.
            bool opaque = solid >> 24 == 255;
            for (int i = 0; i < count; i++) {
                uint32_t c = coverage[i];
                if (c == 255 && opaque)
                    dst[i] = solid;
                else if (c)
                    dst[i] = Over(ScaleColour(solid, c), dst[i]);
            }
            return;
        }
        for (int i = 0; i < count; i++) {
            uint32_t c = coverage[i];
            if (mask) c = Mul8(c, mask[i]);
            if (!c) continue;
            uint32_t src = isSolid ? solid : colours_[size_t(i)];
            dst[i] = Over(ScaleColour(src, c), dst[i]);
        }
    });
}

void Rasterizer::FillMask(CoverageMask& mask) {
    Render(mask.width, mask.height, [&](int y, int x, int count, const uint8_t* coverage) {
        uint8_t* dst = &mask.values[size_t(y) * size_t(mask.width) + size_t(x)];
        for (int i = 0; i < count; i++) {
            // Union: the coverage of either, counting overlaps once.
            uint32_t a = dst[i], b = coverage[i];
            dst[i] = static_cast<uint8_t>(a + b - Mul8(a, b));
        }
    });
}

} // namespace refplayer
