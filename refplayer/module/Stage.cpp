#include "refplayer/module/Stage.h"

#include <algorithm>

namespace {

constexpr int Margin = 8;
constexpr int LineHeight = 16;
constexpr int PanelWidth = 240;
constexpr int IndicatorHeight = 8;

}  // namespace

RECT TStage::ContentRect(const RECT& bounds, const TStagePicture& picture) {
    RECT panel = {0, 0, 0, 0};
    if (!picture.hasMovie) return panel;
    int height = static_cast<int>(picture.lines.size()) * LineHeight + IndicatorHeight + 3 * 4;
    panel.left = bounds.left + Margin;
    panel.top = bounds.top + Margin;
    panel.right = std::min<LONG>(panel.left + PanelWidth, bounds.right - Margin);
    panel.bottom = std::min<LONG>(panel.top + height, bounds.bottom - Margin);
    if (panel.right <= panel.left || panel.bottom <= panel.top) panel = {0, 0, 0, 0};
    return panel;
}

void TStage::Draw(HDC dc, const RECT& bounds, const TStagePicture& picture, bool opaque) {
    if (opaque) {
        HBRUSH background = CreateSolidBrush(picture.background);
        FillRect(dc, &bounds, background);
        DeleteObject(background);
    }
    RECT panel = ContentRect(bounds, picture);
    if (IsRectEmpty(&panel)) return;

    HBRUSH panelBrush = CreateSolidBrush(RGB(32, 40, 56));
    FillRect(dc, &panel, panelBrush);
    DeleteObject(panelBrush);

    int saved = SaveDC(dc);
    IntersectClipRect(dc, panel.left, panel.top, panel.right, panel.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(240, 240, 240));
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    int y = panel.top + 4;
    for (const std::wstring& line : picture.lines) {
        TextOutW(dc, panel.left + 6, y, line.c_str(), static_cast<int>(line.size()));
        y += LineHeight;
    }
    RECT track = {panel.left + 6, y + 4, panel.right - 6, y + 4 + IndicatorHeight};
    HBRUSH trackBrush = CreateSolidBrush(RGB(80, 88, 104));
    FillRect(dc, &track, trackBrush);
    DeleteObject(trackBrush);
    RECT filled = track;
    filled.right = track.left + static_cast<LONG>((track.right - track.left) * std::clamp(picture.progress, 0.0, 1.0));
    HBRUSH fillBrush = CreateSolidBrush(RGB(96, 200, 120));
    FillRect(dc, &filled, fillBrush);
    DeleteObject(fillBrush);
    RestoreDC(dc, saved);
}
