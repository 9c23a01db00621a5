#include "FlashPlayerControl/controls/LayeredAlpha.h"

#include <algorithm>

namespace {

// One line. Plain unsigned arithmetic without branches, so the compiler turns it into
// vector code; the pass runs over the whole frame on every frame of the movie.
void AlphaLine(const uint32_t* __restrict white, const uint32_t* __restrict black, uint32_t* __restrict result,
               int count) {
    for (int x = 0; x < count; ++x) result[x] = LayeredPixel(white[x], black[x]);
}

#if defined(__i386__)
// 32-bit code is built for processors without SSE2; the same line in SSE2 where there is one.
__attribute__((target("sse2"))) void AlphaLineSse2(const uint32_t* __restrict white,
                                                   const uint32_t* __restrict black,
                                                   uint32_t* __restrict result, int count) {
    for (int x = 0; x < count; ++x) result[x] = LayeredPixel(white[x], black[x]);
}

using TAlphaLine = void (*)(const uint32_t*, const uint32_t*, uint32_t*, int);
TAlphaLine ChooseAlphaLine() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") ? &AlphaLineSse2 : &AlphaLine;
}
#endif

}  // namespace

void ComputeLayeredAlpha(const uint32_t* white, const uint32_t* black, uint32_t* result, int width, int height,
                         TLayeredRect area) {
    // An area reaching past the picture is cut to it; nothing outside the buffers is touched.
    int left = std::max(area.Left, 0), top = std::max(area.Top, 0);
    int right = std::min(area.Right, width), bottom = std::min(area.Bottom, height);
    if (left >= right || top >= bottom) return;
#if defined(__i386__)
    static const TAlphaLine AlphaLine = ChooseAlphaLine();
#endif
    for (int y = top; y < bottom; ++y) {
        // Rows are stored bottom-up: line y of the picture is row height - 1 - y in memory.
        size_t row = static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(left);
        AlphaLine(white + row, black + row, result + row, right - left);
    }
}
