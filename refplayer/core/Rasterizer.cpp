#include "refplayer/core/Rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "refplayer/core/RasterWorker.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace refplayer {

namespace {

// Both channel pairs of two colours at once, (a * (256 - t) + b * t) / 256 per channel.
inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t t) {
    uint32_t rb = (((a & 0x00FF00FF) * (256 - t) + (b & 0x00FF00FF) * t) >> 8) & 0x00FF00FF;
    uint32_t ag = (((a >> 8) & 0x00FF00FF) * (256 - t) + ((b >> 8) & 0x00FF00FF) * t) & 0xFF00FF00;
    return rb | ag;
}

// The colour between four texels at fractions tx, ty (0..255 of a texel): rows first, exactly
// as Lerp does it.
inline uint32_t Bilinear(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t tx, uint32_t ty) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto pair = [&](uint32_t top, uint32_t bottom) {
        return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(top)),
                                                    _mm_cvtsi32_si128(static_cast<int>(bottom))),
                                 zero);
    };
    const __m128i left = pair(c00, c01), right = pair(c10, c11);
    const __m128i across = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(left, _mm_set1_epi16(static_cast<short>(256 - tx))),
                      _mm_mullo_epi16(right, _mm_set1_epi16(static_cast<short>(tx)))),
        8);
    const __m128i down = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(across, _mm_set1_epi16(static_cast<short>(256 - ty))),
                      _mm_mullo_epi16(_mm_unpackhi_epi64(across, across), _mm_set1_epi16(static_cast<short>(ty)))),
        8);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(down, down)));
#else
    return Lerp(Lerp(c00, c10, tx), Lerp(c01, c11, tx), ty);
#endif
}

inline uint8_t Mul8(uint32_t a, uint32_t b) {
    uint32_t v = a * b + 128;
    return static_cast<uint8_t>((v + (v >> 8)) >> 8);
}

// A lookup index 0..255 from a position already scaled to 0.5..255.5; NaN gives the last.
inline int LutIndex(float t) { return !(t < 255.0f) ? 255 : t <= 0.0f ? 0 : static_cast<int>(t); }

// The coverage of count cells (at most four) from their running sum, clearing them; returns
// the sum after them.
inline float CoverageOfCells(float* cells, int count, float sum, bool antiAlias, uint8_t* coverage) {
#if defined(__SSE2__)
    if (count == 4) {
        __m128 v = _mm_loadu_ps(cells);
        _mm_storeu_ps(cells, _mm_setzero_ps());
        v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 4)));
        v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 8)));
        v = _mm_add_ps(v, _mm_set1_ps(sum));
        const float next = _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
        __m128 a = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
        __m128i c;
        if (antiAlias)
            c = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_min_ps(a, _mm_set1_ps(1.0f)), _mm_set1_ps(255.0f)),
                                            _mm_set1_ps(0.5f)));
        else
            c = _mm_and_si128(_mm_castps_si128(_mm_cmpge_ps(a, _mm_set1_ps(0.5f))), _mm_set1_epi32(255));
        c = _mm_packs_epi32(c, c);
        c = _mm_packus_epi16(c, c);
        int32_t four = _mm_cvtsi128_si32(c);
        std::memcpy(coverage, &four, 4);
        return next;
    }
#endif
    for (int i = 0; i < count; i++) {
        sum += cells[i];
        cells[i] = 0;
        float a = std::fabs(sum);
        if (antiAlias)
            coverage[i] = a >= 1.0f ? 255 : static_cast<uint8_t>(a * 255.0f + 0.5f);
        else
            coverage[i] = a >= 0.5f ? 255 : 0;
    }
    return sum;
}

} // namespace

GradientPaint::GradientPaint(const uint32_t* lut256, const SwfMatrix& gradientToDevice, bool radial, double focal,
                             GradientSpread spread)
    : inverse_(gradientToDevice.Inverse()), radial_(radial),
      // A focus on the rim would make every ray end where it starts.
      focal_(std::isfinite(focal) ? static_cast<float>(std::clamp(focal, -0.98, 0.98)) : 0.0f), spread_(spread),
      opaque_(true) {
    for (int i = 0; i < 256; i++) {
        lut_[size_t(i)] = lut256[i];
        if (lut256[i] >> 24 != 255) opaque_ = false;
    }
}

uint32_t GradientPaint::At(float t) const {
    if (spread_ == GradientSpread::Repeat) {
        t -= std::floor(t);
    } else if (spread_ == GradientSpread::Reflect) {
        t -= 2.0f * std::floor(t * 0.5f);
        if (t > 1.0f) t = 2.0f - t;
    }
    return lut_[size_t(LutIndex(t * 255.0f + 0.5f))];
}

void GradientPaint::Span(int x, int y, int count, uint32_t* out) const {
    double px = x + 0.5, py = y + 0.5;
    // Single precision across a span is exact enough for 256 colours.
    const float gx = static_cast<float>(inverse_.MapX(px, py)), gy = static_cast<float>(inverse_.MapY(px, py));
    const float dx = static_cast<float>(inverse_.a), dy = static_cast<float>(inverse_.b);
    if (spread_ != GradientSpread::Pad || focal_ != 0.0f) {
        const float f = focal_, rest = 1.0f - f * f;
        for (int i = 0; i < count; i++) {
            float ux = (gx + float(i) * dx) * (1.0f / 16384.0f), uy = (gy + float(i) * dy) * (1.0f / 16384.0f);
            float t;
            if (!radial_) {
                t = (ux + 1.0f) * 0.5f;
            } else {
                // The point lies at t of the way from the focus to the rim along the ray through it.
                float ex = ux - f;
                t = (f * ex + std::sqrt(f * f * ex * ex + rest * (ex * ex + uy * uy))) / rest;
            }
            out[i] = At(t);
        }
        return;
    }
    int i = 0;
    if (radial_) {
        const float scale = 255.0f / 16384.0f;
#if defined(__SSE2__)
        const __m128 steps = _mm_set_ps(3, 2, 1, 0);
        for (; i + 4 <= count; i += 4) {
            __m128 index = _mm_add_ps(_mm_set1_ps(float(i)), steps);
            __m128 vx = _mm_add_ps(_mm_set1_ps(gx), _mm_mul_ps(index, _mm_set1_ps(dx)));
            __m128 vy = _mm_add_ps(_mm_set1_ps(gy), _mm_mul_ps(index, _mm_set1_ps(dy)));
            __m128 t = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(vx, vx), _mm_mul_ps(vy, vy)));
            t = _mm_add_ps(_mm_mul_ps(t, _mm_set1_ps(scale)), _mm_set1_ps(0.5f));
            alignas(16) int32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_cvttps_epi32(_mm_min_ps(t, _mm_set1_ps(255.0f))));
            out[i] = lut_[size_t(lanes[0])];
            out[i + 1] = lut_[size_t(lanes[1])];
            out[i + 2] = lut_[size_t(lanes[2])];
            out[i + 3] = lut_[size_t(lanes[3])];
        }
#endif
        for (; i < count; i++) {
            float vx = gx + float(i) * dx, vy = gy + float(i) * dy;
            out[i] = lut_[size_t(LutIndex(std::sqrt(vx * vx + vy * vy) * scale + 0.5f))];
        }
        return;
    }
    const float scale = 255.0f / 32768.0f;
#if defined(__SSE2__)
    const __m128 steps = _mm_set_ps(3, 2, 1, 0);
    for (; i + 4 <= count; i += 4) {
        __m128 index = _mm_add_ps(_mm_set1_ps(float(i)), steps);
        __m128 vx = _mm_add_ps(_mm_set1_ps(gx), _mm_mul_ps(index, _mm_set1_ps(dx)));
        __m128 t = _mm_add_ps(_mm_mul_ps(_mm_add_ps(vx, _mm_set1_ps(16384.0f)), _mm_set1_ps(scale)), _mm_set1_ps(0.5f));
        t = _mm_max_ps(_mm_min_ps(t, _mm_set1_ps(255.0f)), _mm_setzero_ps());
        alignas(16) int32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_cvttps_epi32(t));
        out[i] = lut_[size_t(lanes[0])];
        out[i + 1] = lut_[size_t(lanes[1])];
        out[i + 2] = lut_[size_t(lanes[2])];
        out[i + 3] = lut_[size_t(lanes[3])];
    }
#endif
    for (; i < count; i++) out[i] = lut_[size_t(LutIndex((gx + float(i) * dx + 16384.0f) * scale + 0.5f))];
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
    double endX = bx + inverse_.a * count, endY = by + inverse_.b * count;
    const double offset = smooth_ ? 0.5 : 0.0;
    // Within this range texel positions step exactly enough in 32.32 fixed point.
    const double range = 1e8;
    if (std::fabs(bx) < range && std::fabs(by) < range && std::fabs(endX) < range && std::fabs(endY) < range) {
        const double one = 4294967296.0;
        int64_t fx = static_cast<int64_t>(std::floor((bx - offset) * one));
        int64_t fy = static_cast<int64_t>(std::floor((by - offset) * one));
        const int64_t stepX = static_cast<int64_t>(std::floor(inverse_.a * one + 0.5));
        const int64_t stepY = static_cast<int64_t>(std::floor(inverse_.b * one + 0.5));
        const size_t stride = size_t(width_);
        for (int i = 0; i < count; i++, fx += stepX, fy += stepY) {
            int ix = static_cast<int>(fx >> 32), iy = static_cast<int>(fy >> 32);
            if (!smooth_) {
                out[i] = ix >= 0 && iy >= 0 && ix < width_ && iy < height_ ? pixels_[size_t(iy) * stride + size_t(ix)]
                                                                           : Texel(ix, iy);
                continue;
            }
            uint32_t tx = static_cast<uint32_t>(fx >> 24) & 0xFF, ty = static_cast<uint32_t>(fy >> 24) & 0xFF;
            uint32_t c00, c10, c01, c11;
            if (ix >= 0 && iy >= 0 && ix + 1 < width_ && iy + 1 < height_) {
                const uint32_t* p = pixels_ + size_t(iy) * stride + size_t(ix);
                c00 = p[0];
                c10 = p[1];
                c01 = p[stride];
                c11 = p[stride + 1];
            } else {
                c00 = Texel(ix, iy);
                c10 = Texel(ix + 1, iy);
                c01 = Texel(ix, iy + 1);
                c11 = Texel(ix + 1, iy + 1);
            }
            out[i] = Bilinear(c00, c10, c01, c11, tx, ty);
        }
    } else {
        // Far-off or non-finite positions of a degenerate matrix, a texel at a time.
        for (int i = 0; i < count; i++, bx += inverse_.a, by += inverse_.b) {
            double fx = bx - offset, fy = by - offset;
            double flx = std::floor(fx), fly = std::floor(fy);
            if (!std::isfinite(flx)) flx = 0;
            if (!std::isfinite(fly)) fly = 0;
            flx = std::clamp(flx, -range, range);
            fly = std::clamp(fly, -range, range);
            int ix = static_cast<int>(flx), iy = static_cast<int>(fly);
            if (!smooth_) {
                out[i] = Texel(ix, iy);
                continue;
            }
            double fracX = fx - flx, fracY = fy - fly;
            uint32_t tx = fracX > 0 && fracX < 1 ? static_cast<uint32_t>(fracX * 256) : 0;
            uint32_t ty = fracY > 0 && fracY < 1 ? static_cast<uint32_t>(fracY * 256) : 0;
            out[i] = Lerp(Lerp(Texel(ix, iy), Texel(ix + 1, iy), tx), Lerp(Texel(ix, iy + 1), Texel(ix + 1, iy + 1), tx),
                          ty);
        }
    }
    if (transformed_) {
        for (int i = 0; i < count; i++) {
            // The transform acts on straight colour.
            uint32_t c = out[i];
            uint32_t a = c >> 24;
            uint32_t straight = a == 0 ? 0 : (a << 24) | (std::min<uint32_t>(255, (c >> 16 & 0xFF) * 255 / a) << 16) |
                                                 (std::min<uint32_t>(255, (c >> 8 & 0xFF) * 255 / a) << 8) |
                                                 std::min<uint32_t>(255, (c & 0xFF) * 255 / a);
            out[i] = Premultiply(transform_.Apply(straight));
        }
    }
}

void Rasterizer::Line(double x0, double y0, double x1, double y1) {
    // Far-away geometry is kept in a range floats represent exactly enough (non-finite dropped).
    const double limit = 1e6;
    if (!(std::fabs(x0) < limit && std::fabs(y0) < limit && std::fabs(x1) < limit && std::fabs(y1) < limit)) {
        if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
        x0 = std::clamp(x0, -limit, limit);
        y0 = std::clamp(y0, -limit, limit);
        x1 = std::clamp(x1, -limit, limit);
        y1 = std::clamp(y1, -limit, limit);
    }
    const LineF line{static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1), static_cast<float>(y1)};
    lines_.push_back(line);
    bounds_.minX = std::min(bounds_.minX, std::min(line.x0, line.x1));
    bounds_.maxX = std::max(bounds_.maxX, std::max(line.x0, line.x1));
    bounds_.minY = std::min(bounds_.minY, std::min(line.y0, line.y1));
    bounds_.maxY = std::max(bounds_.maxY, std::max(line.y0, line.y1));
}

void Rasterizer::Quad(double x0, double y0, double cx, double cy, double x1, double y1) {
    double dx = x0 - 2 * cx + x1, dy = y0 - 2 * cy + y1;
    double deviation = std::sqrt(dx * dx + dy * dy);
    // A non-finite curve gives no lines at all (Line drops it), so one step is enough.
    int steps = deviation < 2048 ? std::clamp(static_cast<int>(std::ceil(std::sqrt(deviation * 2))), 1, 64)
                : deviation >= 2048 ? 64 : 1;
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

double Rasterizer::ArcStep(double radius) const {
    // Chords within a twentieth of a pixel of the circle (up to a radius of 660 px), eight to
    // 256 to a circle.
    const double step = 2 * std::acos(std::max(0.0, 1 - 0.05 / radius));
    return std::clamp(step, 6.283185307179586 / 256, 6.283185307179586 / 8);
}

void Rasterizer::Arc(std::vector<RasterPoint>& out, double cx, double cy, double vx, double vy, double angle,
                     double step) {
    const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(angle) / step - 1e-9)));
    const double c = std::cos(angle / steps), s = std::sin(angle / steps);
    for (int i = 0; i < steps; i++) {
        const double nx = vx * c - vy * s;
        vy = vx * s + vy * c;
        vx = nx;
        out.push_back({cx + vx, cy + vy});
    }
}

void Rasterizer::Lines(const std::vector<RasterPoint>& points, bool reversed) {
    for (size_t i = 1; i < points.size(); i++) {
        const RasterPoint& a = reversed ? points[points.size() - i] : points[i - 1];
        const RasterPoint& b = reversed ? points[points.size() - i - 1] : points[i];
        Line(a.x, a.y, b.x, b.y);
    }
}

void Rasterizer::Stroke(const RasterPoint* points, size_t count, bool closed, double halfWidth) {
    if (!(halfWidth > 0 && std::isfinite(halfWidth))) return;
    // Points that repeat the one before give no direction; non-finite ones are dropped.
    clean_.clear();
    for (size_t i = 0; i < count; i++) {
        const RasterPoint& p = points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        if (!clean_.empty() && std::fabs(p.x - clean_.back().x) < 1e-9 && std::fabs(p.y - clean_.back().y) < 1e-9)
            continue;
        clean_.push_back(p);
    }
    while (closed && clean_.size() > 1 && std::fabs(clean_.front().x - clean_.back().x) < 1e-9 &&
           std::fabs(clean_.front().y - clean_.back().y) < 1e-9)
        clean_.pop_back();
    // Hairlines (a pixel wide or less) are cut straight at their joins and ends.
    const bool round = halfWidth > 0.5;
    const double step = ArcStep(halfWidth);
    const double pi = 3.141592653589793;
    if (clean_.empty()) return;
    if (clean_.size() == 1) {
        // A dot: the two caps make a disc.
        if (!round) return;
        left_.clear();
        left_.push_back({clean_[0].x + halfWidth, clean_[0].y});
        Arc(left_, clean_[0].x, clean_[0].y, halfWidth, 0, 2 * pi, step);
        Lines(left_, false);
        return;
    }
    if (clean_.size() == 2) closed = false;
    const size_t n = clean_.size();
    const size_t segments = closed ? n : n - 1;
    // The unit direction of segment i, from point i to point i + 1.
    struct Direction {
        double x, y, length;
    };
    auto direction = [&](size_t i) {
        const RasterPoint& a = clean_[i];
        const RasterPoint& b = clean_[(i + 1) % n];
        const double dx = b.x - a.x, dy = b.y - a.y, length = std::sqrt(dx * dx + dy * dy);
        return Direction{dx / length, dy / length, length};
    };
    // Below this turn the sides simply meet where their offset lines cross (within a few
    // hundredths of a pixel of the round join): flattened curves and straight runs.
    const double straight = std::cos(round ? step : pi / 4);
    left_.clear();
    right_.clear();
    auto join = [&](const RasterPoint& p, const Direction& in, const Direction& out) {
        // Normals to the left (x, y) -> (-y, x), half the width long.
        const double lx0 = -in.y * halfWidth, ly0 = in.x * halfWidth;
        const double lx1 = -out.y * halfWidth, ly1 = out.x * halfWidth;
        const double dot = in.x * out.x + in.y * out.y, cross = in.x * out.y - in.y * out.x;
        if (dot >= straight) {
            const double k = 1 / (1 + dot);
            const double mx = (lx0 + lx1) * k, my = (ly0 + ly1) * k;
            left_.push_back({p.x + mx, p.y + my});
            right_.push_back({p.x - mx, p.y - my});
            return;
        }
        // The inner side ends where its offset lines cross when that lies within the first
        // half of both pieces; otherwise it runs through the corner point, so that the pieces'
        // overlap is covered. The outer side goes round (hairlines: straight across).
        const bool leftInner = cross >= 0;
        std::vector<RasterPoint>& inner = leftInner ? left_ : right_;
        std::vector<RasterPoint>& outer = leftInner ? right_ : left_;
        const double side = leftInner ? 1 : -1;
        if (dot > -0.9 && halfWidth * std::fabs(cross) <= 0.5 * std::min(in.length, out.length) * (1 + dot)) {
            const double k = side / (1 + dot);
            inner.push_back({p.x + (lx0 + lx1) * k, p.y + (ly0 + ly1) * k});
        } else {
            inner.push_back({p.x + side * lx0, p.y + side * ly0});
            inner.push_back(p);
            inner.push_back({p.x + side * lx1, p.y + side * ly1});
        }
        outer.push_back({p.x - side * lx0, p.y - side * ly0});
        if (round)
            Arc(outer, p.x, p.y, -side * lx0, -side * ly0, std::atan2(cross, dot), step);
        else
            outer.push_back({p.x - side * lx1, p.y - side * ly1});
    };
    if (closed) {
        Direction in = direction(n - 1);
        for (size_t i = 0; i < n; i++) {
            const Direction out = direction(i);
            join(clean_[i], in, out);
            in = out;
        }
        // Two rings, the right one backwards: together the band between them.
        left_.push_back(left_.front());
        right_.push_back(right_.front());
        Lines(left_, false);
        Lines(right_, true);
        return;
    }
    Direction in = direction(0);
    left_.push_back({clean_[0].x - in.y * halfWidth, clean_[0].y + in.x * halfWidth});
    right_.push_back({clean_[0].x + in.y * halfWidth, clean_[0].y - in.x * halfWidth});
    for (size_t i = 1; i < segments; i++) {
        const Direction out = direction(i);
        join(clean_[i], in, out);
        in = out;
    }
    const RasterPoint& last = clean_[n - 1];
    left_.push_back({last.x - in.y * halfWidth, last.y + in.x * halfWidth});
    right_.push_back({last.x + in.y * halfWidth, last.y - in.x * halfWidth});
    // Left side forwards, round the end, right side backwards, round the start.
    if (round) Arc(left_, last.x, last.y, -in.y * halfWidth, in.x * halfWidth, -pi, step);
    else left_.push_back(right_.back());
    Lines(left_, false);
    Lines(right_, true);
    const Direction first = direction(0);
    left_.clear();
    left_.push_back(right_.front());
    if (round) Arc(left_, clean_[0].x, clean_[0].y, first.y * halfWidth, -first.x * halfWidth, -pi, step);
    else left_.push_back({clean_[0].x - first.y * halfWidth, clean_[0].y + first.x * halfWidth});
    Lines(left_, false);
}

inline void Rasterizer::Rows::Cell(float* row, uint8_t* touched, double xa, double xb, double d) {
    // Both ends lie within 0..boxWidth, so truncation is the floor.
    int xai = static_cast<int>(xa);
    int xbi = static_cast<int>(xb);
    xbi += xbi < xb;
    if (xbi <= xai + 1) {
        // Within one cell: its share by the mean position, the rest to the next cell.
        double xmf = 0.5 * (xa + xb) - xai;
        row[xai] += static_cast<float>(d - d * xmf);
        row[xai + 1] += static_cast<float>(d * xmf);
        touched[xai >> BlockShift] = 1;
        touched[(xai + 1) >> BlockShift] = 1;
        return;
    }
    CellSpan(row, touched, xa, xb, xai, xbi, d);
}

void Rasterizer::Rows::CellSpan(float* row, uint8_t* touched, double xa, double xb, int xai, int xbi, double d) {
    for (int block = xai >> BlockShift, lastBlock = xbi >> BlockShift; block <= lastBlock; block++)
        touched[block] = 1;
    // Shares of d: s per whole cell crossed, triangles at both ends.
    const double s = 1.0 / (xb - xa);
    const double xaf = xa - xai;
    const double a0 = 0.5 * s * (1 - xaf) * (1 - xaf);
    const double xbf = xb - xbi + 1;
    const double am = 0.5 * s * xbf * xbf;
    row[xai] += static_cast<float>(d * a0);
    if (xbi == xai + 2) {
        row[xai + 1] += static_cast<float>(d * (1 - a0 - am));
    } else {
        const double a1 = s * (1.5 - xaf);
        row[xai + 1] += static_cast<float>(d * (a1 - a0));
        const float middle = static_cast<float>(d * s);
        for (int xi = xai + 2; xi < xbi - 1; xi++) row[xi] += middle;
        const double a2 = a1 + (xbi - xai - 3) * s;
        row[xbi - 1] += static_cast<float>(d * (1 - a2 - am));
    }
    row[xbi] += static_cast<float>(d * am);
}

void Rasterizer::Rows::Accumulate(const LineF& line, int left, int top, int boxWidth, int boxHeight) {
    // Lines outside these rows (most, when the rows are a band of a large shape) leave first.
    if (std::max(line.y0, line.y1) <= float(top) || std::min(line.y0, line.y1) >= float(top + boxHeight) ||
        line.y0 == line.y1)
        return;
    double x0 = line.x0 - left, y0 = line.y0 - top, x1 = line.x1 - left, y1 = line.y1 - top;
    double dir = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1;
    }
    if (y1 <= 0 || y0 >= boxHeight) return;
    const size_t stride = size_t(boxWidth) + 2;
    const double maxX = boxWidth;
    const int yStart = y0 > 0 ? static_cast<int>(y0) : 0;
    // Truncation and a step up, not ceil: a library call on some platforms, per line.
    int yEnd = boxHeight;
    if (y1 < boxHeight) {
        yEnd = static_cast<int>(y1);
        yEnd += yEnd < y1;
    }
    float* row = &accumulation_[size_t(yStart) * stride];
    uint8_t* touched = &touched_[size_t(yStart) * blocksPerRow_];
    if (yEnd - yStart == 1 && y0 >= 0 && y1 <= boxHeight) {
        // Within one row (most short lines): no stepping along the line needed.
        Cell(row, touched, std::min(std::max(std::min(x0, x1), 0.0), maxX),
             std::min(std::max(std::max(x0, x1), 0.0), maxX), (y1 - y0) * dir);
        return;
    }
    // Where the line crosses a row edge is computed from its ends alone, never stepped, so a
    // band of rows drawn on its own gets exactly the cells a whole pass gets.
    const double dxdy = (x1 - x0) / (y1 - y0);
    double yFrom = std::max(y0, double(yStart));
    double x = yFrom == y0 ? x0 : x0 + (yFrom - y0) * dxdy;
    // Rows the line leaves through their bottom edge; the last one ends at y1 or the box.
    const int lastRow = yEnd - 1;
    for (int y = yStart; y < lastRow; y++, row += stride, touched += blocksPerRow_) {
        const double yTo = y + 1;
        const double xnext = x0 + (yTo - y0) * dxdy;
        const double xa = std::min(std::max(std::min(x, xnext), 0.0), maxX);
        const double xb = std::min(std::max(std::max(x, xnext), 0.0), maxX);
        Cell(row, touched, xa, xb, (yTo - yFrom) * dir);
        x = xnext;
        yFrom = yTo;
    }
    const double yTo = std::min<double>(lastRow + 1, y1);
    const double xnext = yTo >= y1 ? x1 : x0 + (yTo - y0) * dxdy;
    Cell(row, touched, std::min(std::max(std::min(x, xnext), 0.0), maxX),
         std::min(std::max(std::max(x, xnext), 0.0), maxX), (yTo - yFrom) * dir);
}

template <typename Row>
void Rasterizer::Rows::Render(const LineF* lines, size_t lineCount, const Bounds& bounds, int width, int rowBegin,
                              int rowEnd, bool antiAlias, Row&& row) {
    if (lineCount == 0 || width <= 0 || rowBegin >= rowEnd) return;
    int left = std::max(0, static_cast<int>(std::floor(bounds.minX)));
    int top = std::max(rowBegin, static_cast<int>(std::floor(bounds.minY)));
    int right = std::min(width, static_cast<int>(std::ceil(bounds.maxX)) + 1);
    int bottom = std::min(rowEnd, static_cast<int>(std::ceil(bounds.maxY)) + 1);
    if (left >= right || top >= bottom) return;
    const int boxWidth = right - left, boxHeight = bottom - top;
    // Parts left of the box count fully for the pixels right of them: they are clamped to its
    // left side by Accumulate. Lines crossing a side of the surface are split there so the
    // clamp stays exact; within the surface no line crosses a side of the box.
    if (bounds.minX < float(left) || bounds.maxX > float(right)) {
        pieces_.clear();
        const float sides[2] = {static_cast<float>(left), static_cast<float>(right)};
        for (size_t i = 0; i < lineCount; i++) {
            const LineF& line = lines[i];
            if (line.y0 == line.y1) continue;
            // Where the line crosses the sides, in order along it (a line may cross both).
            std::pair<float, float> cuts[2];
            int count = 0;
            for (float side : sides)
                if ((line.x0 < side) != (line.x1 < side) && line.x0 != line.x1)
                    cuts[count++] = {(side - line.x0) / (line.x1 - line.x0), side};
            if (count == 2 && cuts[0].first > cuts[1].first) std::swap(cuts[0], cuts[1]);
            float x = line.x0, y = line.y0;
            for (int c = 0; c < count; c++) {
                const float ym = line.y0 + (line.y1 - line.y0) * cuts[c].first;
                pieces_.push_back(LineF{x, y, cuts[c].second, ym});
                x = cuts[c].second;
                y = ym;
            }
            pieces_.push_back(LineF{x, y, line.x1, line.y1});
        }
        lines = pieces_.data();
        lineCount = pieces_.size();
    }
    const size_t stride = size_t(boxWidth) + 2;
    blocksPerRow_ = (stride + (size_t(1) << BlockShift) - 1) >> BlockShift;
    // Cells and block marks are cleared as they are read, so the buffers only ever grow.
    if (accumulation_.size() < stride * size_t(boxHeight)) accumulation_.resize(stride * size_t(boxHeight), 0.0f);
    if (touched_.size() < blocksPerRow_ * size_t(boxHeight)) touched_.resize(blocksPerRow_ * size_t(boxHeight), 0);
    coverage_.resize(size_t(boxWidth));
    for (size_t i = 0; i < lineCount; i++) Accumulate(lines[i], left, top, boxWidth, boxHeight);
    auto coverageOf = [antiAlias](float sum) -> uint8_t {
        float a = std::fabs(sum);
        if (antiAlias) return a >= 1.0f ? 255 : static_cast<uint8_t>(a * 255.0f + 0.5f);
        return a >= 0.5f ? 255 : 0;
    };
    const int blocks = (boxWidth + (1 << BlockShift) - 1) >> BlockShift;
    for (int y = 0; y < boxHeight; y++) {
        float* acc = &accumulation_[size_t(y) * stride];
        uint8_t* touched = &touched_[size_t(y) * blocksPerRow_];
        float sum = 0;
        int block = 0;
        while (block < blocks) {
            int end = block;
            const int x0 = block << BlockShift;
            if (!touched[block]) {
                // No edge in these blocks: the running sum, and so the coverage, stays as it is.
                uint64_t eight;
                while (end + 8 <= blocks && (std::memcpy(&eight, touched + end, 8), eight == 0)) end += 8;
                while (end < blocks && !touched[end]) end++;
                const int x1 = std::min(boxWidth, end << BlockShift);
                if (int c = coverageOf(sum)) row(top + y, left + x0, x1 - x0, nullptr, c);
            } else {
                for (; end < blocks && touched[end]; end++) {
                    const int bx = end << BlockShift;
                    sum = CoverageOfCells(acc + bx, std::min(boxWidth - bx, 1 << BlockShift), sum, antiAlias,
                                          coverage_.data() + bx);
                }
                const int x1 = std::min(boxWidth, end << BlockShift);
                row(top + y, left + x0, x1 - x0, coverage_.data() + x0, -1);
            }
            block = end;
        }
        acc[boxWidth] = acc[boxWidth + 1] = 0;
        std::fill(touched, touched + blocksPerRow_, uint8_t(0));
    }
}

void Rasterizer::Rows::Draw(const Job& job, const RasterPaint* paintOrNull, const LineF* lines, int rowBegin,
                            int rowEnd) {
    if (!paintOrNull && !job.clear) {
        CoverageMask& mask = *job.mask;
        Render(lines, job.lineCount, job.bounds, mask.width, rowBegin, std::min(rowEnd, mask.height), job.antiAlias,
               [&](int y, int x, int count, const uint8_t* coverage, int constant) {
                   uint8_t* dst = &mask.values[size_t(y) * size_t(mask.width) + size_t(x)];
                   for (int i = 0; i < count; i++) {
                       // Union: the coverage of either, counting overlaps once.
                       uint32_t a = dst[i], b = coverage ? coverage[i] : uint32_t(constant);
                       dst[i] = static_cast<uint8_t>(a + b - Mul8(a, b));
                   }
               });
        return;
    }
    RasterSurface& surface = *job.surface;
    if (job.clear) {
        const int end = std::min(rowEnd, surface.height);
        if (rowBegin < end)
            FillRun(surface.pixels.data() + size_t(rowBegin) * size_t(surface.width),
                    size_t(end - rowBegin) * size_t(surface.width), job.colour);
        return;
    }
    const RasterPaint& paint = *paintOrNull;
    const CoverageMask* clip = job.clip;
    uint32_t solid = 0;
    const bool isSolid = paint.Solid(&solid);
    const bool opaque = isSolid ? solid >> 24 == 255 : paint.Opaque();
    Render(lines, job.lineCount, job.bounds, surface.width, rowBegin, std::min(rowEnd, surface.height), job.antiAlias,
           [&](int y, int x, int count, const uint8_t* coverage, int constant) {
        uint32_t* dst = &surface.pixels[size_t(y) * size_t(surface.width) + size_t(x)];
        if (clip) {
            // What the clipping layer lets through, pixel by pixel.
            const uint8_t* mask = &clip->values[size_t(y) * size_t(clip->width) + size_t(x)];
            clipped_.resize(size_t(count));
            for (int i = 0; i < count; i++) clipped_[size_t(i)] = Mul8(coverage ? coverage[i] : uint32_t(constant), mask[i]);
            coverage = clipped_.data();
        }
        if (isSolid) {
            if (coverage)
                BlendSolidCoverage(dst, count, solid, coverage);
            else
                BlendSolidRun(dst, count, ScaleColour(solid, uint32_t(constant)));
            return;
        }
        if (!coverage && constant == 255 && opaque) {
            // Fully covered by opaque colours: painted straight into the surface.
            paint.Span(x, y, count, dst);
            return;
        }
        colours_.resize(size_t(count));
        paint.Span(x, y, count, colours_.data());
        if (coverage)
            BlendColoursCoverage(dst, count, colours_.data(), coverage);
        else
            BlendColoursRun(dst, count, colours_.data(), uint32_t(constant));
    });
}

Rasterizer::Rasterizer() = default;

Rasterizer::~Rasterizer() { Discard(); }

void Rasterizer::Fill(RasterSurface& surface, const RasterPaint& paint, const CoverageMask* clip) {
    Job job{lines_.size(), bounds_, nullptr, &surface, nullptr, clip, antiAlias_, false, 0, {}};
    if (!deferred_) {
        rows_.Draw(job, &paint, lines_.data(), 0, surface.height);
        return;
    }
    if (lines_.empty()) return;
    job.paint = paint.Clone();
    Queue(std::move(job), surface.height);
}

void Rasterizer::Clear(RasterSurface& surface, uint32_t premultiplied) {
    if (!deferred_) {
        surface.Fill(premultiplied);
        return;
    }
    Queue(Job{0, Bounds(), nullptr, &surface, nullptr, nullptr, false, true, premultiplied, {}}, surface.height);
}

void Rasterizer::FillMask(CoverageMask& mask) {
    Job job{lines_.size(), bounds_, nullptr, nullptr, &mask, nullptr, antiAlias_, false, 0, {}};
    if (!deferred_) {
        rows_.Draw(job, nullptr, lines_.data(), 0, mask.height);
        return;
    }
    if (lines_.empty()) return;
    Queue(std::move(job), mask.height);
}

void Rasterizer::Queue(Job job, int height) {
    if (!queue_.empty() && (height != height_ || queue_.size() == queue_.capacity())) Flush();
    if (queue_.empty()) {
        // Jobs are never moved once queued: the worker reads them while more are added.
        queue_.reserve(MaxQueued);
        height_ = height;
        const int bands = std::max(1, std::min(Bands, height / MinimumBandRows));
        bandRows_ = (height + bands - 1) / bands;
        bands_ = (height + bandRows_ - 1) / bandRows_;
        nextBand_.store(0);
        published_.store(0);
        closed_.store(false);
        workerStarted_ = false;
    }
    if (!job.clear) {
        // The lines go with the job; the next shape gets a recycled buffer.
        job.lines.swap(lines_);
        if (!pool_.empty()) {
            lines_.swap(pool_.back());
            pool_.pop_back();
        }
        lines_.clear();
    }
    queue_.push_back(std::move(job));
    published_.store(queue_.size(), std::memory_order_release);
    if (!workerStarted_ && bands_ > 1 && RasterWorker::Available()) {
        // The worker starts on its first band while the rest of the frame is still queued.
        if (!worker_) worker_ = std::make_unique<RasterWorker>();
        if (worker_->Running()) {
            workerStarted_ = true;
            worker_->Start([this] { DrawBands(workerRows_); });
        }
    }
}

void Rasterizer::DrawBands(Rows& rows) {
    const Job* jobs = queue_.data();
    for (;;) {
        const int band = nextBand_.fetch_add(1);
        if (band >= bands_) return;
        const int rowBegin = band * bandRows_, rowEnd = std::min(height_, rowBegin + bandRows_);
        for (size_t i = 0;; i++) {
            size_t published = published_.load(std::memory_order_acquire);
            while (i >= published && !closed_.load(std::memory_order_acquire)) {
                RasterWorker::Pause();
                published = published_.load(std::memory_order_acquire);
            }
            if (i >= published) published = published_.load(std::memory_order_acquire);
            if (i >= published) break;
            const Job& job = jobs[i];
            rows.Draw(job, job.paint.get(), job.lines.data(), rowBegin, rowEnd);
        }
    }
}

void Rasterizer::SetDeferred(bool on) {
    if (!on) Flush();
    deferred_ = on;
}

void Rasterizer::Discard() {
    if (workerStarted_) {
        // Nothing more is drawn, but the worker has to be out of the jobs before they go.
        nextBand_.store(bands_);
        closed_.store(true, std::memory_order_release);
        try {
            worker_->Wait();
        } catch (...) {
        }
        workerStarted_ = false;
    }
    Recycle();
    deferred_ = false;
}

void Rasterizer::Flush() {
    if (queue_.empty()) return;
    closed_.store(true, std::memory_order_release);
    try {
        DrawBands(rows_);
    } catch (...) {
        Discard();
        throw;
    }
    if (workerStarted_) {
        workerStarted_ = false;
        try {
            worker_->Wait();
        } catch (...) {
            Recycle();
            throw;
        }
    }
    Recycle();
}

void Rasterizer::Recycle() {
    for (Job& job : queue_)
        if (job.lines.capacity()) pool_.push_back(std::move(job.lines));
    queue_.clear();
}

} // namespace refplayer
