#include "framework/Control.h"

#include <cstdlib>

#include "framework/Forms.h"
#include "framework/Hints.h"
#include "framework/Menus.h"
#include "framework/WinControl.h"

namespace {

// A windowless control that holds the mouse: its parent window has the system capture.
TControl* CaptureControlSlot = nullptr;

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK; }

// The one drag in progress: the dragged control, whether the mouse has moved far enough to
// make it a drag, and the control under the mouse with its last answer.
struct TDragSession {
    TControl* Source = nullptr;
    bool Active = false;
    POINT Start = {};
    POINT Last = {};
    TControl* Target = nullptr;
    bool Accepted = false;
};
TDragSession Drag;
constexpr int DragThreshold = 5;

// The control under a screen point: the framework window there, or its windowless child.
TControl* ControlAtScreenPoint(POINT screen) {
    HWND window = WindowFromPoint(screen);
    TWinControl* control = nullptr;
    while (window && !(control = TWinControl::FindControl(window))) window = GetParent(window);
    if (!control) return nullptr;
    if (TControl* child = control->ControlAtPos(control->ScreenToClient(screen), false)) return child;
    return control;
}

void MoveDrag(POINT screen) {
    Drag.Last = screen;
    if (!Drag.Active) {
        if (std::abs(screen.x - Drag.Start.x) < DragThreshold && std::abs(screen.y - Drag.Start.y) < DragThreshold)
            return;
        Drag.Active = true;
        TControl* source = Drag.Source;
        source->DoStartDrag();
        if (Drag.Source != source) return;   // the handler ended the drag
    }
    TControl* source = Drag.Source;
    TControl* target = ControlAtScreenPoint(screen);
    if (target != Drag.Target) {
        if (Drag.Target) {
            const POINT p = Drag.Target->ScreenToClient(screen);
            Drag.Target->DragOver(source, p.x, p.y, TDragState::dsDragLeave);
        }
        Drag.Target = target;
        Drag.Accepted = false;
        if (target) {
            const POINT p = target->ScreenToClient(screen);
            Drag.Accepted = target->DragOver(source, p.x, p.y, TDragState::dsDragEnter);
        }
    } else if (target) {
        const POINT p = target->ScreenToClient(screen);
        Drag.Accepted = target->DragOver(source, p.x, p.y, TDragState::dsDragMove);
    }
    if (Drag.Source == source) SetCursor(CursorHandle(Drag.Accepted ? source->DragCursor() : crNoDrop));
}

}  // namespace

HCURSOR CursorHandle(TCursor cursor) {
    static const struct {
        TCursor Number;
        LPCSTR System;
    } cursors[] = {
        {crArrow, IDC_ARROW},       {crCross, IDC_CROSS},       {crIBeam, IDC_IBEAM},
        {crSize, IDC_SIZEALL},      {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS},
        {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},     {crUpArrow, IDC_UPARROW},
        {crHourGlass, IDC_WAIT},    {crDrag, IDC_UPARROW},      {crNoDrop, IDC_NO},
        {crHSplit, IDC_SIZEWE},     {crVSplit, IDC_SIZENS},     {crMultiDrag, IDC_UPARROW},
        {crSQLWait, IDC_WAIT},      {crNo, IDC_NO},             {crAppStart, IDC_APPSTARTING},
        {crHelp, IDC_HELP},         {crHandPoint, IDC_HAND},    {crSizeAll, IDC_SIZEALL},
    };
    if (cursor == crNone) return nullptr;
    for (const auto& c : cursors)
        if (c.Number == cursor) return LoadCursorA(nullptr, c.System);
    return LoadCursorA(nullptr, IDC_ARROW);
}

const TIdentMap& AnchorIdents() {
    static const TIdentMap idents = {{"akLeft", akLeft}, {"akTop", akTop}, {"akRight", akRight},
                                     {"akBottom", akBottom}};
    return idents;
}

const TIdentMap& DragModeIdents() {
    static const TIdentMap idents = {{"dmManual", 0}, {"dmAutomatic", 1}};
    return idents;
}

const TIdentMap& CursorIdents() {
    static const TIdentMap idents = {
        {"crDefault", crDefault},   {"crNone", crNone},         {"crArrow", crArrow},
        {"crCross", crCross},       {"crIBeam", crIBeam},       {"crSize", crSize},
        {"crSizeNESW", crSizeNESW}, {"crSizeNS", crSizeNS},     {"crSizeNWSE", crSizeNWSE},
        {"crSizeWE", crSizeWE},     {"crUpArrow", crUpArrow},   {"crHourGlass", crHourGlass},
        {"crDrag", crDrag},         {"crNoDrop", crNoDrop},     {"crHSplit", crHSplit},
        {"crVSplit", crVSplit},     {"crMultiDrag", crMultiDrag}, {"crSQLWait", crSQLWait},
        {"crNo", crNo},             {"crAppStart", crAppStart}, {"crHelp", crHelp},
        {"crHandPoint", crHandPoint}, {"crSizeAll", crSizeAll},
    };
    return idents;
}

const TIdentMap& AlignIdents() {
    static const TIdentMap idents = {{"alNone", 0}, {"alTop", 1}, {"alBottom", 2},
                                     {"alLeft", 3}, {"alRight", 4}, {"alClient", 5}};
    return idents;
}

TShiftState KeysToShiftState(WPARAM keys) {
    TShiftState shift = 0;
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    if (keys & MK_LBUTTON) shift |= ssLeft;
    if (keys & MK_RBUTTON) shift |= ssRight;
    if (keys & MK_MBUTTON) shift |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    return shift;
}

TCustomForm* GetParentForm(TControl* control) {
    while (control && control->Parent()) control = control->Parent();
    return dynamic_cast<TCustomForm*>(control);
}

TControl* GetCaptureControl() {
    TControl* control = TWinControl::FindControl(GetCapture());
    if (control && CaptureControlSlot && CaptureControlSlot->Parent() == control)
        return CaptureControlSlot;
    return control;
}

void SetCaptureControl(TControl* control) {
    ReleaseCapture();
    CaptureControlSlot = nullptr;
    if (!control) return;
    auto window = dynamic_cast<TWinControl*>(control);
    if (!window) {
        if (!control->Parent()) return;
        CaptureControlSlot = control;
        window = control->Parent();
    }
    SetCapture(window->Handle());
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
    WindowProc = TWndMethod::Of<&TControl::WndProc>(this);
    font_->OnChange = TNotifyEvent::Of<&TControl::FontChangedEvent>(this);
}

TControl::~TControl() {
    if (Drag.Source == this) Drag = TDragSession();
    if (Drag.Target == this) Drag.Target = nullptr;
    HintControlDestroyed(this);
    if (CaptureControlSlot == this) SetCaptureControl(nullptr);
    if (parent_) parent_->RemoveControl(this);
}

void TControl::DefineProperties(TPropertyList& list) {
    TComponent::DefineProperties(list);
    list.Integer("Left", &TControl::Left, &TControl::SetLeft);
    list.Integer("Top", &TControl::Top, &TControl::SetTop);
    list.Integer("Width", &TControl::Width, &TControl::SetWidth);
    list.Integer("Height", &TControl::Height, &TControl::SetHeight);
    list.Set("Anchors", &TControl::Anchors, &TControl::SetAnchors, AnchorIdents()).WithDefault(DefaultAnchors);
    list.Enum("Align", &TControl::Align, &TControl::SetAlign, AlignIdents()).WithDefault(0);
    list.String("Caption", &TControl::Caption, &TControl::SetCaption)
        .StoredWhen([](TPersistent& o) { return !static_cast<TControl&>(o).text_.empty(); });
    list.Integer("Color", &TControl::Color, &TControl::SetColor).StoredWhen([](TPersistent& o) {
        return !static_cast<TControl&>(o).parentColor_;
    }).Idents = &ColorIdents();
    list.Integer("DragCursor", &TControl::DragCursor, &TControl::SetDragCursor).WithDefault(crDrag).Idents =
        &CursorIdents();
    list.Enum("DragMode", &TControl::DragMode, &TControl::SetDragMode, DragModeIdents()).WithDefault(0);
    list.Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled).WithDefault(1);
    list.Object("Font", &TControl::Font).StoredWhen([](TPersistent& o) {
        return !static_cast<TControl&>(o).parentFont_;
    });
    list.String("Hint", &TControl::Hint, &TControl::SetHint)
        .StoredWhen([](TPersistent& o) { return !static_cast<TControl&>(o).hint_.empty(); });
    list.Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor).WithDefault(1);
    list.Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont).WithDefault(1);
    list.Boolean("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint).WithDefault(1);
    list.Component("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu);
    list.Boolean("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).StoredWhen([](TPersistent& o) {
        return !static_cast<TControl&>(o).parentShowHint_;
    });
    list.Boolean("Visible", &TControl::Visible, &TControl::SetVisible).WithDefault(1);
    list.Event("OnClick", &TControl::OnClick, &TControl::SetOnClick);
    list.Event("OnDblClick", &TControl::OnDblClick, &TControl::SetOnDblClick);
    list.Event("OnDragDrop", &TControl::OnDragDrop, &TControl::SetOnDragDrop);
    list.Event("OnDragOver", &TControl::OnDragOver, &TControl::SetOnDragOver);
    list.Event("OnEndDrag", &TControl::OnEndDrag, &TControl::SetOnEndDrag);
    list.Event("OnMouseDown", &TControl::OnMouseDown, &TControl::SetOnMouseDown);
    list.Event("OnMouseMove", &TControl::OnMouseMove, &TControl::SetOnMouseMove);
    list.Event("OnMouseUp", &TControl::OnMouseUp, &TControl::SetOnMouseUp);
    list.Event("OnStartDrag", &TControl::OnStartDrag, &TControl::SetOnStartDrag);
}

bool TControl::ShowHint() const {
    if (parentShowHint_ && parent_) return parent_->ShowHint();
    return showHint_;
}

void TControl::SetShowHint(bool value) {
    showHint_ = value;
    parentShowHint_ = false;
}

void TControl::SetParentShowHint(bool value) {
    if (!value && parentShowHint_) showHint_ = ShowHint();   // keeps what it showed so far
    parentShowHint_ = value;
}

bool TControl::Dragging() const { return Drag.Source == this; }

void TControl::BeginDrag(bool immediate) {
    if (Drag.Source) return;
    Drag = TDragSession();
    Drag.Source = this;
    GetCursorPos(&Drag.Start);
    Drag.Last = Drag.Start;
    SetCaptureControl(this);
    if (immediate) {
        Drag.Start.x -= DragThreshold;   // counts as moved far enough
        MoveDrag(Drag.Last);
    }
}

void TControl::EndDrag(bool drop) {
    if (Drag.Source != this) return;
    const TDragSession session = Drag;
    Drag = TDragSession();
    if (GetCaptureControl() == this) SetCaptureControl(nullptr);
    TControl* target = (drop && session.Active && session.Accepted) ? session.Target : nullptr;
    POINT p = (target ? static_cast<const TControl*>(target) : this)->ScreenToClient(session.Last);
    if (target) target->DragDrop(this, p.x, p.y);
    DoEndDrag(target, p.x, p.y);
}

bool TControl::DragOver(TObject* source, int x, int y, TDragState state) {
    bool accept = false;
    if (onDragOver_) {
        accept = true;   // a handler is asked, and says no by clearing it
        onDragOver_(this, source, x, y, state, accept);
    }
    return accept;
}

void TControl::DragDrop(TObject* source, int x, int y) {
    if (onDragDrop_) onDragDrop_(this, source, x, y);
}

void TControl::DoStartDrag() {
    if (onStartDrag_) onStartDrag_(this);
}

void TControl::DoEndDrag(TObject* target, int x, int y) {
    if (onEndDrag_) onEndDrag_(this, target, x, y);
}

bool TControl::HandleDragMessage(TMessage& message) {
    switch (message.Msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (dragMode_ != TDragMode::dmAutomatic || Designing() || Drag.Source) return false;
            BeginDrag(false);
            Drag.Start = Drag.Last = ClientToScreen(POINT{message.XPos(), message.YPos()});
            return true;
    }
    if (Drag.Source != this || !IsMouseMessage(message.Msg)) return false;
    const POINT screen = ClientToScreen(POINT{message.XPos(), message.YPos()});
    switch (message.Msg) {
        case WM_MOUSEMOVE:
            MoveDrag(screen);
            break;
        case WM_LBUTTONUP:
            MoveDrag(screen);
            EndDrag(true);
            break;
        case WM_RBUTTONDOWN:
            EndDrag(false);   // the other button cancels
            break;
    }
    return true;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    InvalidateControl();
    StoreBounds(left, top, width, height);
    InvalidateControl();
    RequestAlign();
}

void TControl::StoreBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width < 0 ? 0 : width;
    height_ = height < 0 ? 0 : height;
}

void TControl::RequestAlign() {
    if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

POINT TControl::ClientToScreen(POINT p) const {
    if (auto window = dynamic_cast<const TWinControl*>(this)) {
        if (window->HandleAllocated()) {
            ::ClientToScreen(window->Handle(), &p);
            return p;
        }
    }
    POINT offset = {left_, top_};
    if (parent_) offset = parent_->ClientToScreen(offset);
    return POINT{p.x + offset.x, p.y + offset.y};
}

POINT TControl::ScreenToClient(POINT p) const {
    POINT origin = ClientToScreen(POINT{0, 0});
    return POINT{p.x - origin.x, p.y - origin.y};
}

void TControl::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    Perform(CM_VISIBLECHANGED, value ? 1 : 0, 0);
    if (parent_) parent_->Realign();
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void TControl::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw Exception("A control cannot be its own parent");
    if (parent_) parent_->RemoveControl(this);
    if (parent) parent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
    if (auto window = dynamic_cast<TWinControl*>(parent)) SetParent(window);
}

void TControl::SetAlign(TAlign value) {
    if (value == align_) return;
    align_ = value;
    if (parent_) parent_->Realign();
}

void TControl::SetColor(TColor value) {
    if (value != color_) {
        color_ = value;
        Perform(CM_COLORCHANGED, 0, 0);
    }
    parentColor_ = false;
}

void TControl::SetParentColor(bool value) {
    if (value == parentColor_) return;
    parentColor_ = value;
    if (value && parent_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool value) {
    if (value == parentFont_) return;
    parentFont_ = value;
    if (value && parent_) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

void TControl::SetText(const std::string& value) {
    if (value == text_) return;
    text_ = value;
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::FontChanged() {
    if (!(controlState_ & csCopyingParentFont)) parentFont_ = false;
    Perform(CM_FONTCHANGED, 0, 0);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    WindowProc(message);
    return message.Result;
}

void TControl::WndProc(TMessage& message) {
    if (HandleDragMessage(message)) return;
    if (IsMouseMessage(message.Msg)) {
        if (!(controlStyle_ & csDoubleClicks)) {
            // Without double clicks a second press is just a press.
            switch (message.Msg) {
                case WM_LBUTTONDBLCLK: message.Msg = WM_LBUTTONDOWN; break;
                case WM_RBUTTONDBLCLK: message.Msg = WM_RBUTTONDOWN; break;
                case WM_MBUTTONDBLCLK: message.Msg = WM_MBUTTONDOWN; break;
            }
        }
        if (message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK)
            controlState_ |= csLButtonDown;
        else if (message.Msg == WM_LBUTTONUP)
            controlState_ &= ~csLButtonDown;
    }
    Dispatch(message);
}

void TControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_LBUTTONDOWN: MouseButtonDown(message, TMouseButton::mbLeft, 0); return;
        case WM_LBUTTONDBLCLK: MouseButtonDown(message, TMouseButton::mbLeft, ssDouble); return;
        case WM_RBUTTONDOWN: MouseButtonDown(message, TMouseButton::mbRight, 0); return;
        case WM_RBUTTONDBLCLK: MouseButtonDown(message, TMouseButton::mbRight, ssDouble); return;
        case WM_MBUTTONDOWN: MouseButtonDown(message, TMouseButton::mbMiddle, 0); return;
        case WM_MBUTTONDBLCLK: MouseButtonDown(message, TMouseButton::mbMiddle, ssDouble); return;
        case WM_LBUTTONUP: MouseButtonUp(message, TMouseButton::mbLeft); return;
        case WM_RBUTTONUP: MouseButtonUp(message, TMouseButton::mbRight); return;
        case WM_MBUTTONUP: MouseButtonUp(message, TMouseButton::mbMiddle); return;
        case WM_MOUSEMOVE:
            DefaultHandler(message);
            if (!(controlStyle_ & csNoStdEvents))
                MouseMove(KeysToShiftState(message.WParam), message.XPos(), message.YPos());
            return;
        case WM_CONTEXTMENU: ContextMenu(message); return;
        case CM_HITTEST: message.Result = HTCLIENT; return;
        case CM_CANCELMODE:
            if (GetCaptureControl() == this) SetCaptureControl(nullptr);
            return;
        case CM_VISIBLECHANGED:
        case CM_COLORCHANGED:
        case CM_FONTCHANGED:
        case CM_TEXTCHANGED:
        case CM_ENABLEDCHANGED:
            InvalidateControl();
            return;
        case CM_PARENTCOLORCHANGED:
            if (parentColor_ && parent_) {
                SetColor(parent_->Color());
                parentColor_ = true;
            }
            return;
        case CM_PARENTFONTCHANGED:
            if (parentFont_ && parent_) {
                controlState_ |= csCopyingParentFont;
                font_->Assign(*parent_->Font());
                controlState_ &= ~csCopyingParentFont;
            }
            return;
    }
    DefaultHandler(message);
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::MouseButtonDown(TMessage& message, TMouseButton button, TShiftState shift) {
    if (button == TMouseButton::mbLeft) SendCancelMode(this);
    DefaultHandler(message);
    if (button == TMouseButton::mbLeft) {
        if (controlStyle_ & csCaptureMouse) SetMouseCapture(true);
        if (shift & ssDouble) {
            if (controlStyle_ & csClickEvents) DblClick();
        } else if (controlStyle_ & csClickEvents) {
            controlState_ |= csClicked;
        }
    }
    if (!(controlStyle_ & csNoStdEvents))
        MouseDown(button, KeysToShiftState(message.WParam) | shift, message.XPos(), message.YPos());
}

void TControl::MouseButtonUp(TMessage& message, TMouseButton button) {
    DefaultHandler(message);
    if (button == TMouseButton::mbLeft) {
        if (controlStyle_ & csCaptureMouse) SetMouseCapture(false);
        if (controlState_ & csClicked) {
            controlState_ &= ~csClicked;
            POINT p = {message.XPos(), message.YPos()};
            RECT client = ClientRect();
            if (PtInRect(&client, p)) Click();
        }
    }
    if (!(controlStyle_ & csNoStdEvents))
        MouseUp(button, KeysToShiftState(message.WParam), message.XPos(), message.YPos());
}

void TControl::ContextMenu(TMessage& message) {
    if (message.Result != 0 || Designing()) return;
    POINT p = {message.XPos(), message.YPos()};
    bool fromKeyboard = p.x == -1 && p.y == -1;
    if (popupMenu_ && popupMenu_->AutoPopup()) {
        SendCancelMode(nullptr);
        popupMenu_->SetPopupComponent(this);
        if (fromKeyboard) p = ClientToScreen(POINT{0, 0});
        popupMenu_->Popup(p.x, p.y);
        message.Result = 1;
        return;
    }
    DefaultHandler(message);
}

bool TControl::MouseCapture() const { return GetCaptureControl() == this; }

void TControl::SetMouseCapture(bool value) {
    if (value == MouseCapture()) return;
    SetCaptureControl(value ? this : nullptr);
}

void TControl::SendCancelMode(TControl* sender) {
    TControl* captured = GetCaptureControl();
    if (captured && captured != sender) captured->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(sender));
}

void TControl::InvalidateControl() {
    if (!parent_ || !parent_->HandleAllocated()) return;
    RECT r = BoundsRect();
    InvalidateRect(parent_->Handle(), &r, !(controlStyle_ & csOpaque));
}

void TControl::Invalidate() { InvalidateControl(); }

void TControl::Update() {
    if (parent_) parent_->Update();
}

void TControl::BringToFront() {
    if (parent_) parent_->MoveControlToFront(this);
}

void TControl::Click() {
    if (onClick_) onClick_(this);
}

void TControl::DblClick() {
    if (onDblClick_) onDblClick_(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (onMouseDown_) onMouseDown_(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (onMouseMove_) onMouseMove_(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (onMouseUp_) onMouseUp_(this, button, shift, x, y);
}

void TControl::Loaded() {
    TComponent::Loaded();
    if (parent_ && parentFont_) Perform(CM_PARENTFONTCHANGED, 0, 0);
    if (parent_ && parentColor_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == popupMenu_) popupMenu_ = nullptr;
}
