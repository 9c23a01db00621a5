#pragma once

#include <windows.h>

#include <string>

// TCanvas::TextOut is a method, not the system's ANSI/wide macro.
#ifdef TextOut
#undef TextOut
#endif

#include "framework/Graphics.h"

// A drawing surface over a device context that someone else owns (a paint handler's DC):
// the canvas selects its font, brush and pen into the context for each operation and
// restores what was there, so handing the context on to other code stays safe.
class TCanvas : public TObject {
public:
    TCanvas();
    ~TCanvas() override;

    HDC Handle() const { return handle_; }
    void SetHandle(HDC dc) { handle_ = dc; }

    TFont* Font() { return &font_; }
    TColor BrushColor() const { return brushColor_; }
    void SetBrushColor(TColor color) { brushColor_ = color; }
    TColor PenColor() const { return penColor_; }
    void SetPenColor(TColor color) { penColor_ = color; }

    // Shifts the origin: drawing at (0, 0) afterwards lands at the old (dx, dy).
    void MoveOrigin(int dx, int dy);
    POINT Origin() const;

    void FillRect(const RECT& rect);
    void FrameRect(const RECT& rect);
    void TextOut(int x, int y, const std::string& text);
    // Draws text into rect with DrawText flags (DT_WORDBREAK and so on); transparent
    // background.
    void TextRect(RECT rect, const std::string& text, UINT format);
    SIZE TextExtent(const std::string& text);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);

private:
    void RequireHandle() const;

    HDC handle_ = nullptr;
    TFont font_;
    TColor brushColor_ = clWhite;
    TColor penColor_ = clBlack;
};
