#pragma once

#include "framework/GraphicControl.h"
#include "framework/WinControl.h"

// A push button over the system's BUTTON class; a press raises OnClick.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
    const char* ClassName() const override { return "TButton"; }

protected:
    void CreateParams(TCreateParams& params) override;
    void Dispatch(TMessage& message) override;
};

// A check box. Checked changes raise OnClick, whether the user or the program makes them
// (not while a form file is being read).
class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* owner);
    const char* ClassName() const override { return "TCheckBox"; }
    void DefineProperties(TPropertyList& list) override;

    bool Checked() const { return checked_; }
    void SetChecked(bool value);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& message) override;

private:
    bool checked_ = false;
};

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// A caption drawn by its parent; with WordWrap the text breaks at word boundaries.
class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);
    const char* ClassName() const override { return "TLabel"; }
    void DefineProperties(TPropertyList& list) override;

    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // The DrawText flags the caption is drawn with.
    UINT DrawTextFlags() const;

protected:
    void Paint() override;

private:
    bool wordWrap_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool transparent_ = false;
};
