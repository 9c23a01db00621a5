#include "refplayer/module/GdiTextRenderer.h"

#include <windows.h>

#include <string>

namespace {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(0, length)), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], length);
    return text;
}

// HTML text shows its characters without the tags (entities for the common few).
std::wstring PlainOfHtml(const std::wstring& html) {
    std::wstring text;
    bool inTag = false;
    for (size_t i = 0; i < html.size(); i++) {
        wchar_t c = html[i];
        if (c == L'<') {
            inTag = true;
            if (html.compare(i, 3, L"<br") == 0 || html.compare(i, 3, L"<BR") == 0 || html.compare(i, 3, L"</p") == 0 ||
                html.compare(i, 3, L"</P") == 0)
                text += L"\r\n";
        } else if (c == L'>') {
            inTag = false;
        } else if (!inTag) {
            text += c;
        }
    }
    const std::pair<const wchar_t*, wchar_t> entities[] = {{L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'},
                                                          {L"&apos;", L'\''}, {L"&amp;", L'&'}};
    for (const auto& [name, value] : entities)
        for (size_t at; (at = text.find(name)) != std::wstring::npos;) text.replace(at, wcslen(name), 1, value);
    return text;
}

}  // namespace

bool TGdiTextRenderer::Render(const std::string& utf8, double pixelHeight, int width, int height,
                              const refplayer::SwfEditText& field, std::vector<uint8_t>& coverage) {
    std::wstring text = Widen(utf8);
    if (field.html) text = PlainOfHtml(text);
    if (field.password) text.assign(text.size(), L'*');
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) {
        DeleteDC(dc);
        return false;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = CreateFontW(-static_cast<int>(pixelHeight + 0.5), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    // Fields keep a two-pixel gutter around their text.
    RECT box = {2, 2, width - 2, height - 2};
    UINT format = DT_NOPREFIX | (field.align == 1 ? DT_RIGHT : field.align == 2 ? DT_CENTER : DT_LEFT);
    if (field.multiline || field.wordWrap)
        format |= field.wordWrap ? DT_WORDBREAK : 0;
    else
        format |= DT_SINGLELINE;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
    GdiFlush();
    coverage.resize(size_t(width) * size_t(height));
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < coverage.size(); i++) coverage[i] = static_cast<uint8_t>(pixels[i] >> 8 & 0xFF);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return true;
}
