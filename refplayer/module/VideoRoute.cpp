#include "refplayer/module/VideoRoute.h"

#include <cwchar>

TVideoRoute::TVideoRoute() : player_(&sink_) {
    player_.SetStatusCallback([this](const std::string& code, const std::string&) { lastStatus_ = code; });
}

void TVideoRoute::Start() {
    lastStatus_.clear();
    player_.Play();
}

void TVideoRoute::Stop() {
    player_.Close();
    sink_.Close();
    lastStatus_.clear();
}

bool TVideoRoute::Advance(uint32_t elapsedMilliseconds) {
    sink_.Poll();
    return player_.Advance(elapsedMilliseconds);
}

void TVideoRoute::Draw(HDC dc, const RECT& bounds) {
    if (!player_.HasPicture()) return;
    const refplayer::BgraImage& picture = player_.Picture();
    int areaWidth = bounds.right - bounds.left, areaHeight = bounds.bottom - bounds.top;
    if (picture.width <= 0 || picture.height <= 0 || areaWidth <= 0 || areaHeight <= 0) return;
    int width = areaWidth, height = static_cast<int>(int64_t(areaWidth) * picture.height / picture.width);
    if (height > areaHeight) {
        height = areaHeight;
        width = static_cast<int>(int64_t(areaHeight) * picture.width / picture.height);
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, bounds.left + (areaWidth - width) / 2, bounds.top + (areaHeight - height) / 2, width, height, 0,
                  0, picture.width, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
}

std::wstring TVideoRoute::Description() const {
    wchar_t line[160];
    swprintf(line, 160, L"video %dx%d, %.1f s, at %.2f s", player_.Width(), player_.Height(), player_.Duration(),
             player_.Time());
    std::wstring text = line;
    if (!lastStatus_.empty()) text += L", " + std::wstring(lastStatus_.begin(), lastStatus_.end());
    return text;
}
