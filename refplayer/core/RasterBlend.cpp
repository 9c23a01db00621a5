#include "refplayer/core/RasterBlend.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace refplayer {

namespace {

// Source over destination, both premultiplied.
inline uint32_t Over(uint32_t src, uint32_t dst) {
    uint32_t alpha = src >> 24;
    if (alpha == 255) return src;
    if (alpha == 0 && src == 0) return dst;
    return src + ScaleColour(dst, 255 - alpha);
}

#if defined(__SSE2__)
// x * k / 255 in 16-bit lanes holding x * k, rounded as ScaleColour rounds.
inline __m128i Div255(__m128i v) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, _mm_set1_epi16(128)), _mm_srli_epi16(v, 8)), 8);
}

// Four pixels, each scaled by its own factor 0..255 (the low bits of its 32-bit lane).
inline __m128i ScalePixels(__m128i pixels, __m128i factors) {
    const __m128i zero = _mm_setzero_si128();
    __m128i k = _mm_or_si128(factors, _mm_slli_epi32(factors, 16));
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(pixels, zero), _mm_unpacklo_epi32(k, k));
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(pixels, zero), _mm_unpackhi_epi32(k, k));
    return _mm_packus_epi16(Div255(lo), Div255(hi));
}

inline __m128i Over4(__m128i src, __m128i dst) {
    __m128i inverse = _mm_sub_epi32(_mm_set1_epi32(255), _mm_srli_epi32(src, 24));
    return _mm_add_epi8(src, ScalePixels(dst, inverse));
}

inline __m128i LoadCoverage4(const uint8_t* coverage) {
    int32_t four;
    std::memcpy(&four, coverage, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
}

inline __m128i Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

} // namespace

uint32_t ScaleColour(uint32_t c, uint32_t coverage) {
    if (coverage >= 255) return c;
    uint32_t rb = (c & 0x00FF00FF) * coverage;
    uint32_t ag = ((c >> 8) & 0x00FF00FF) * coverage;
    rb = ((rb + 0x00800080 + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    ag = ((ag + 0x00800080 + ((ag >> 8) & 0x00FF00FF))) & 0xFF00FF00;
    return rb | ag;
}

uint32_t Premultiply(uint32_t argb) {
    uint32_t a = argb >> 24;
    return (a << 24) | (ScaleColour(argb | 0xFF000000, a) & 0x00FFFFFF);
}

uint32_t BlendCoverage(uint32_t colour, uint32_t coverage, uint32_t destination) {
    return Over(ScaleColour(colour, coverage), destination);
}

void FillRun(uint32_t* dst, size_t count, uint32_t colour) {
    size_t i = 0;
#if defined(__SSE2__)
    // A plain loop is not vectorised at the optimisation level used; stores of four are.
    const __m128i four = _mm_set1_epi32(static_cast<int>(colour));
    for (; i + 8 <= count; i += 8) {
        Store(dst + i, four);
        Store(dst + i + 4, four);
    }
#endif
    for (; i < count; i++) dst[i] = colour;
}

void BlendSolidRun(uint32_t* dst, int count, uint32_t colour) {
    uint32_t alpha = colour >> 24;
    if (alpha == 255) {
        if (count > 0) FillRun(dst, size_t(count), colour);
        return;
    }
    if (colour == 0) return;
    int i = 0;
#if defined(__SSE2__)
    const __m128i src = _mm_set1_epi32(static_cast<int>(colour));
    const __m128i inverse = _mm_set1_epi32(static_cast<int>(255 - alpha));
    for (; i + 4 <= count; i += 4) Store(dst + i, _mm_add_epi8(src, ScalePixels(Load(dst + i), inverse)));
#endif
    for (; i < count; i++) dst[i] = Over(colour, dst[i]);
}

void BlendSolidCoverage(uint32_t* dst, int count, uint32_t colour, const uint8_t* coverage) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i src = _mm_set1_epi32(static_cast<int>(colour));
    const bool opaque = colour >> 24 == 255;
    for (; i + 4 <= count; i += 4) {
        uint32_t four;
        std::memcpy(&four, coverage + i, 4);
        if (four == 0) continue;
        if (four == 0xFFFFFFFFu && opaque) {
            Store(dst + i, src);
            continue;
        }
        Store(dst + i, Over4(ScalePixels(src, LoadCoverage4(coverage + i)), Load(dst + i)));
    }
#endif
    for (; i < count; i++)
        if (coverage[i]) dst[i] = Over(ScaleColour(colour, coverage[i]), dst[i]);
}

void BlendColoursRun(uint32_t* dst, int count, const uint32_t* colours, uint32_t coverage) {
    if (coverage == 0) return;
    int i = 0;
#if defined(__SSE2__)
    if (coverage >= 255) {
        for (; i + 4 <= count; i += 4) Store(dst + i, Over4(Load(colours + i), Load(dst + i)));
    } else {
        const __m128i k = _mm_set1_epi32(static_cast<int>(coverage));
        for (; i + 4 <= count; i += 4) Store(dst + i, Over4(ScalePixels(Load(colours + i), k), Load(dst + i)));
    }
#endif
    for (; i < count; i++) dst[i] = Over(ScaleColour(colours[i], coverage), dst[i]);
}

void BlendColoursCoverage(uint32_t* dst, int count, const uint32_t* colours, const uint8_t* coverage) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= count; i += 4) {
        uint32_t four;
        std::memcpy(&four, coverage + i, 4);
        if (four == 0) continue;
        __m128i src = Load(colours + i);
        if (four != 0xFFFFFFFFu) src = ScalePixels(src, LoadCoverage4(coverage + i));
        Store(dst + i, Over4(src, Load(dst + i)));
    }
#endif
    for (; i < count; i++)
        if (coverage[i]) dst[i] = Over(ScaleColour(colours[i], coverage[i]), dst[i]);
}

} // namespace refplayer
