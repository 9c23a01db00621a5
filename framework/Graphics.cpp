#include "framework/Graphics.h"

#include "framework/Screen.h"

COLORREF ColorToRGB(TColor color) {
    if (color & clSystemColor) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

const TIdentMap& ColorIdents() {
    static const TIdentMap idents = {
        {"clBlack", clBlack},     {"clMaroon", clMaroon},   {"clGreen", clGreen},
        {"clNavy", clNavy},       {"clGray", clGray},       {"clSilver", clSilver},
        {"clRed", clRed},         {"clLime", clLime},       {"clYellow", clYellow},
        {"clBlue", clBlue},       {"clWhite", clWhite},     {"clBtnFace", clBtnFace},
        {"clWindow", clWindow},   {"clWindowText", clWindowText}, {"clBtnText", clBtnText},
        {"clHighlight", clHighlight}, {"clNone", clNone},
    };
    return idents;
}

namespace {
const TIdentMap& FontStyleIdents() {
    static const TIdentMap idents = {{"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}, {"fsStrikeOut", 3}};
    return idents;
}
}  // namespace

TFont::TFont() = default;

TFont::~TFont() { FreeHandle(); }

void TFont::DefineProperties(TPropertyList& list) {
    TPersistent::DefineProperties(list);
    list.Integer("Charset", &TFont::Charset, &TFont::SetCharset).WithDefault(DEFAULT_CHARSET);
    list.Integer("Color", &TFont::Color, &TFont::SetColor).Idents = &ColorIdents();
    list.Integer("Height", &TFont::Height, &TFont::SetHeight);
    list.String("Name", &TFont::Name, &TFont::SetName);
    list.Set("Style", &TFont::Style, &TFont::SetStyle, FontStyleIdents());
}

void TFont::Assign(const TFont& source) {
    if (SameAs(source)) return;
    name_ = source.name_;
    height_ = source.height_;
    color_ = source.color_;
    style_ = source.style_;
    charset_ = source.charset_;
    Changed();
}

bool TFont::SameAs(const TFont& other) const {
    return name_ == other.name_ && height_ == other.height_ && color_ == other.color_ &&
           style_ == other.style_ && charset_ == other.charset_;
}

void TFont::SetName(const std::string& value) {
    if (value == name_) return;
    name_ = value;
    Changed();
}

void TFont::SetHeight(int value) {
    if (value == height_) return;
    height_ = value;
    Changed();
}

int TFont::Size() const {
    return -MulDiv(height_, 72, Screen()->PixelsPerInch());
}

void TFont::SetSize(int points) {
    SetHeight(-MulDiv(points, Screen()->PixelsPerInch(), 72));
}

void TFont::SetColor(TColor value) {
    if (value == color_) return;
    color_ = value;
    Changed();
}

void TFont::SetStyle(TFontStyles value) {
    if (value == style_) return;
    style_ = value;
    Changed();
}

void TFont::SetCharset(int value) {
    if (value == charset_) return;
    charset_ = value;
    Changed();
}

HFONT TFont::Handle() {
    if (!handle_) {
        LOGFONTA lf = {};
        lf.lfHeight = height_;
        lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
        lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
        lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
        lf.lfCharSet = static_cast<BYTE>(charset_);
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynA(lf.lfFaceName, name_.c_str(), LF_FACESIZE);
        handle_ = CreateFontIndirectA(&lf);
    }
    return handle_;
}

void TFont::Changed() {
    FreeHandle();
    if (OnChange) OnChange(this);
}

void TFont::FreeHandle() {
    if (handle_) {
        DeleteObject(handle_);
        handle_ = nullptr;
    }
}
