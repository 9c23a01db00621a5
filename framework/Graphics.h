#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Properties.h"

// A colour: an RGB value (red in the low byte), or a system colour index with the high bit
// set (clBtnFace is COLOR_BTNFACE | 0x80000000), so forms follow the system's scheme.
using TColor = int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clNavy = 0x800000,
                 clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00,
                 clYellow = 0x00FFFF, clBlue = 0xFF0000, clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clNone = 0x1FFFFFFF;

// The RGB value a colour stands for now.
COLORREF ColorToRGB(TColor color);
// Colour names for form files (clBtnFace, clRed, ...).
const TIdentMap& ColorIdents();

enum : uint8_t { fsBold = 1 << 0, fsItalic = 1 << 1, fsUnderline = 1 << 2, fsStrikeOut = 1 << 3 };
using TFontStyles = uint8_t;

// A font description with a lazily made GDI font. Height is in pixels (negative: the
// character height without internal leading); Size is in points at the screen's pixels per
// inch. OnChange runs after every change, so the owning control can repaint and pass the
// font on to its children.
class TFont : public TPersistent {
public:
    TFont();
    ~TFont() override;

    const char* ClassName() const override { return "TFont"; }
    void DefineProperties(TPropertyList& list) override;
    void Assign(const TFont& source);
    bool SameAs(const TFont& other) const;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& value);
    int Height() const { return height_; }
    void SetHeight(int value);
    int Size() const;
    void SetSize(int points);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles value);
    int Charset() const { return charset_; }
    void SetCharset(int value);

    HFONT Handle();

    TNotifyEvent OnChange;

private:
    void Changed();
    void FreeHandle();

    std::string name_ = "MS Sans Serif";
    int height_ = -11;
    TColor color_ = clWindowText;
    TFontStyles style_ = 0;
    int charset_ = DEFAULT_CHARSET;
    HFONT handle_ = nullptr;
};
