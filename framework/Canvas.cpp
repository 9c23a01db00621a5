#include "framework/Canvas.h"

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::RequireHandle() const {
    if (!handle_) throw Exception("Canvas does not allow drawing");
}

void TCanvas::MoveOrigin(int dx, int dy) {
    RequireHandle();
    POINT old;
    GetWindowOrgEx(handle_, &old);
    SetWindowOrgEx(handle_, old.x - dx, old.y - dy, nullptr);
}

POINT TCanvas::Origin() const {
    RequireHandle();
    POINT org;
    GetWindowOrgEx(handle_, &org);
    return POINT{-org.x, -org.y};
}

void TCanvas::FillRect(const RECT& rect) {
    RequireHandle();
    HBRUSH brush = CreateSolidBrush(ColorToRGB(brushColor_));
    ::FillRect(handle_, &rect, brush);
    DeleteObject(brush);
}

void TCanvas::FrameRect(const RECT& rect) {
    RequireHandle();
    HBRUSH brush = CreateSolidBrush(ColorToRGB(penColor_));
    ::FrameRect(handle_, &rect, brush);
    DeleteObject(brush);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    RequireHandle();
    HGDIOBJ oldFont = SelectObject(handle_, font_.Handle());
    COLORREF oldColor = SetTextColor(handle_, ColorToRGB(font_.Color()));
    COLORREF oldBack = SetBkColor(handle_, ColorToRGB(brushColor_));
    int oldMode = SetBkMode(handle_, OPAQUE);
    ::TextOutA(handle_, x, y, text.data(), static_cast<int>(text.size()));
    SetBkMode(handle_, oldMode);
    SetBkColor(handle_, oldBack);
    SetTextColor(handle_, oldColor);
    SelectObject(handle_, oldFont);
}

void TCanvas::TextRect(RECT rect, const std::string& text, UINT format) {
    RequireHandle();
    HGDIOBJ oldFont = SelectObject(handle_, font_.Handle());
    COLORREF oldColor = SetTextColor(handle_, ColorToRGB(font_.Color()));
    int oldMode = SetBkMode(handle_, TRANSPARENT);
    DrawTextA(handle_, text.data(), static_cast<int>(text.size()), &rect, format);
    SetBkMode(handle_, oldMode);
    SetTextColor(handle_, oldColor);
    SelectObject(handle_, oldFont);
}

SIZE TCanvas::TextExtent(const std::string& text) {
    RequireHandle();
    SIZE size = {0, 0};
    HGDIOBJ oldFont = SelectObject(handle_, font_.Handle());
    GetTextExtentPoint32A(handle_, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(handle_, oldFont);
    return size;
}

void TCanvas::MoveTo(int x, int y) {
    RequireHandle();
    MoveToEx(handle_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
    RequireHandle();
    HPEN pen = CreatePen(PS_SOLID, 1, ColorToRGB(penColor_));
    HGDIOBJ old = SelectObject(handle_, pen);
    ::LineTo(handle_, x, y);
    SelectObject(handle_, old);
    DeleteObject(pen);
}
