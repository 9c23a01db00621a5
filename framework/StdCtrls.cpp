#include "framework/StdCtrls.h"

namespace {
const TIdentMap& AlignmentIdents() {
    static const TIdentMap idents = {{"taLeftJustify", 0}, {"taRightJustify", 1}, {"taCenter", 2}};
    return idents;
}
}  // namespace

TButton::TButton(TComponent* owner) : TWinControl(owner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetTabStop(true);
    StoreBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "BUTTON");
    params.Style |= BS_PUSHBUTTON;
}

void TButton::Dispatch(TMessage& message) {
    if (message.Msg == CN_COMMAND) {
        if (HIWORD(message.WParam) == BN_CLICKED) Click();
        return;
    }
    TWinControl::Dispatch(message);
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetTabStop(true);
    StoreBounds(0, 0, 97, 17);
}

void TCheckBox::DefineProperties(TPropertyList& list) {
    TWinControl::DefineProperties(list);
    list.Boolean("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked).WithDefault(0);
}

void TCheckBox::SetChecked(bool value) {
    if (value == checked_) return;
    checked_ = value;
    if (handle_) SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!(ComponentState() & csLoading)) Click();
}

void TCheckBox::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    CreateSubClass(params, "BUTTON");
    // The box does not tick itself: the state is ours, so program and user changes agree.
    params.Style |= BS_CHECKBOX;
}

void TCheckBox::CreateWnd() {
    TWinControl::CreateWnd();
    SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Dispatch(TMessage& message) {
    if (message.Msg == CN_COMMAND) {
        if (HIWORD(message.WParam) == BN_CLICKED) SetChecked(!checked_);
        return;
    }
    TWinControl::Dispatch(message);
}

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
    SetControlStyle(ControlStyle() | csReplicatable);
    StoreBounds(0, 0, 65, 13);
}

void TLabel::DefineProperties(TPropertyList& list) {
    TGraphicControl::DefineProperties(list);
    list.Enum("Alignment", &TLabel::Alignment, &TLabel::SetAlignment, AlignmentIdents()).WithDefault(0);
    list.Boolean("Transparent", &TLabel::Transparent, &TLabel::SetTransparent).WithDefault(0);
    list.Boolean("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap).WithDefault(0);
}

void TLabel::SetWordWrap(bool value) {
    wordWrap_ = value;
    Invalidate();
}

void TLabel::SetAlignment(TAlignment value) {
    alignment_ = value;
    Invalidate();
}

void TLabel::SetTransparent(bool value) {
    transparent_ = value;
    Invalidate();
}

UINT TLabel::DrawTextFlags() const {
    UINT flags = DT_NOPREFIX | DT_EXPANDTABS;
    flags |= wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE;
    if (alignment_ == TAlignment::taRightJustify) flags |= DT_RIGHT;
    else if (alignment_ == TAlignment::taCenter) flags |= DT_CENTER;
    return flags;
}

void TLabel::Paint() {
    RECT r = ClientRect();
    if (!transparent_) {
        Canvas()->SetBrushColor(Color());
        Canvas()->FillRect(r);
    }
    Canvas()->TextRect(r, text_, DrawTextFlags());
}
