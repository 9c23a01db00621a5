#include "framework/Forms.h"

#include "framework/Application.h"
#include "framework/ErrorHandling.h"
#include "framework/Menus.h"
#include "framework/Screen.h"

namespace {

const TIdentMap& BorderStyleIdents() {
    static const TIdentMap idents = {{"bsNone", 0}, {"bsSingle", 1}, {"bsSizeable", 2},
                                     {"bsDialog", 3}, {"bsToolWindow", 4}, {"bsSizeToolWin", 5}};
    return idents;
}
const TIdentMap& BorderIconIdents() {
    static const TIdentMap idents = {{"biSystemMenu", 0}, {"biMinimize", 1}, {"biMaximize", 2}, {"biHelp", 3}};
    return idents;
}
const TIdentMap& FormStyleIdents() {
    static const TIdentMap idents = {{"fsNormal", 0}, {"fsMDIChild", 1}, {"fsMDIForm", 2}, {"fsStayOnTop", 3}};
    return idents;
}
const TIdentMap& PositionIdents() {
    static const TIdentMap idents = {{"poDesigned", 0}, {"poDefault", 1}, {"poScreenCenter", 2}};
    return idents;
}

void CollectTabStops(TWinControl* parent, std::vector<TWinControl*>& list) {
    for (TWinControl* c : parent->TabList()) {
        if (!c->CanFocus()) continue;
        if (c->TabStop()) list.push_back(c);
        CollectTabStops(c, list);
    }
}

}  // namespace

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks);
    visible_ = false;
    parentColor_ = false;
    parentFont_ = false;
    StoreBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm() {
    if (menuHandle_ && handle_) ::SetMenu(handle_, nullptr);
}

void TCustomForm::DefineProperties(TPropertyList& list) {
    TWinControl::DefineProperties(list);
    auto never = [](TPersistent&) { return false; };
    list.Integer("Width", &TCustomForm::Width, &TCustomForm::SetWidth).StoredWhen(never);
    list.Integer("Height", &TCustomForm::Height, &TCustomForm::SetHeight).StoredWhen(never);
    list.Boolean("Visible", &TCustomForm::Visible, &TCustomForm::SetVisible).WithDefault(0);
    list.Integer("TabOrder", &TCustomForm::TabOrder, &TCustomForm::SetTabOrder).StoredWhen(never);
    list.Boolean("TabStop", &TCustomForm::TabStop, &TCustomForm::SetTabStop).WithDefault(0);
    list.Component("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl);
    list.Set("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons, BorderIconIdents())
        .WithDefault(biSystemMenu | biMinimize | biMaximize);
    list.Enum("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle, BorderStyleIdents())
        .WithDefault(static_cast<int>(TFormBorderStyle::bsSizeable));
    list.Integer("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
    list.Integer("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
    list.Enum("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle, FormStyleIdents()).WithDefault(0);
    list.Component("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu);
    list.Integer("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch);
    list.Enum("Position", &TCustomForm::Position, &TCustomForm::SetPosition, PositionIdents()).WithDefault(0);
    list.Event("OnClose", &TCustomForm::OnClose, &TCustomForm::SetOnClose);
    list.Event("OnCreate", &TCustomForm::OnCreate, &TCustomForm::SetOnCreate);
    list.Event("OnPaint", &TCustomForm::OnPaint, &TCustomForm::SetOnPaint);
    list.Event("OnShow", &TCustomForm::OnShow, &TCustomForm::SetOnShow);
}

void TCustomForm::GetChildren(std::vector<TComponent*>& children, TComponent* root) {
    // Components without a place on the form (menus, dialogs, timers) come first.
    for (int i = 0; i < ComponentCount(); ++i)
        if (!Components(i)->HasParent()) children.push_back(Components(i));
    TWinControl::GetChildren(children, root);
}

void TCustomForm::FrameSize(int& dx, int& dy) const {
    TCreateParams params;
    const_cast<TCustomForm*>(this)->CreateParams(params);
    RECT r = {0, 0, 100, 100};
    AdjustWindowRectEx(&r, params.Style, menu_ != nullptr, params.ExStyle);
    dx = (r.right - r.left) - 100;
    dy = (r.bottom - r.top) - 100;
}

int TCustomForm::ClientWidth() const {
    if (handle_) return TWinControl::ClientWidth();
    int dx, dy;
    FrameSize(dx, dy);
    return width_ - dx;
}

int TCustomForm::ClientHeight() const {
    if (handle_) return TWinControl::ClientHeight();
    int dx, dy;
    FrameSize(dx, dy);
    return height_ - dy;
}

void TCustomForm::SetClientWidth(int value) {
    int dx, dy;
    if (handle_) {
        RECT client;
        GetClientRect(handle_, &client);
        dx = width_ - client.right;
    } else {
        FrameSize(dx, dy);
    }
    SetWidth(value + dx);
}

void TCustomForm::SetClientHeight(int value) {
    int dx, dy;
    if (handle_) {
        RECT client;
        GetClientRect(handle_, &client);
        dy = height_ - client.bottom;
    } else {
        FrameSize(dx, dy);
    }
    SetHeight(value + dy);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
    if (value == borderStyle_) return;
    int clientWidth = ClientWidth(), clientHeight = ClientHeight();
    borderStyle_ = value;
    if (handle_) {
        RecreateWnd();
        if (Visible()) ShowWindow(handle_, SW_SHOW);
    }
    SetClientWidth(clientWidth);
    SetClientHeight(clientHeight);
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
    if (value == borderIcons_) return;
    borderIcons_ = value;
    if (handle_) {
        RecreateWnd();
        if (Visible()) ShowWindow(handle_, SW_SHOW);
    }
}

void TCustomForm::SetFormStyle(TFormStyle value) {
    if (value == formStyle_) return;
    formStyle_ = value;
    if (handle_) {
        RecreateWnd();
        if (Visible()) ShowWindow(handle_, SW_SHOW);
    }
}

void TCustomForm::SetMenu(TMainMenu* menu) {
    if (menu == menu_) return;
    // The menu bar takes its room from the window, not from the client area.
    int clientWidth = ClientWidth(), clientHeight = ClientHeight();
    menu_ = menu;
    if (menu_) menu_->SetWindowHandle(this);
    if (handle_) {
        ::SetMenu(handle_, menu_ ? menu_->Handle() : nullptr);
        DrawMenuBar(handle_);
    }
    SetClientWidth(clientWidth);
    SetClientHeight(clientHeight);
}

void TCustomForm::SetMenuHandle(HMENU menu) {
    menuHandle_ = menu;
    if (!handle_) return;
    ::SetMenu(handle_, menu ? menu : (menu_ ? menu_->Handle() : nullptr));
    DrawMenuBar(handle_);
}

void TCustomForm::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.WindowClass.style |= CS_DBLCLKS;
    params.WindowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    if (Parent()) return;
    params.Style = WS_CLIPCHILDREN;
    params.ExStyle = 0;
    params.WndParent = ParentWindow();
    switch (borderStyle_) {
        case TFormBorderStyle::bsNone: params.Style |= WS_POPUP; break;
        case TFormBorderStyle::bsSingle: params.Style |= WS_CAPTION | WS_BORDER; break;
        case TFormBorderStyle::bsSizeable: params.Style |= WS_CAPTION | WS_THICKFRAME; break;
        case TFormBorderStyle::bsDialog:
            params.Style |= WS_CAPTION | DS_MODALFRAME;
            params.ExStyle |= WS_EX_DLGMODALFRAME;
            break;
        case TFormBorderStyle::bsToolWindow:
            params.Style |= WS_CAPTION | WS_BORDER;
            params.ExStyle |= WS_EX_TOOLWINDOW;
            break;
        case TFormBorderStyle::bsSizeToolWin:
            params.Style |= WS_CAPTION | WS_THICKFRAME;
            params.ExStyle |= WS_EX_TOOLWINDOW;
            break;
    }
    if (borderStyle_ != TFormBorderStyle::bsNone && (borderIcons_ & biSystemMenu)) {
        params.Style |= WS_SYSMENU;
        bool framed = borderStyle_ == TFormBorderStyle::bsSingle || borderStyle_ == TFormBorderStyle::bsSizeable;
        if (framed && (borderIcons_ & biMinimize)) params.Style |= WS_MINIMIZEBOX;
        if (framed && (borderIcons_ & biMaximize)) params.Style |= WS_MAXIMIZEBOX;
        if (borderIcons_ & biHelp) params.ExStyle |= WS_EX_CONTEXTHELP;
    }
    if (formStyle_ == TFormStyle::fsStayOnTop) params.ExStyle |= WS_EX_TOPMOST;
    if (position_ == TPosition::poScreenCenter) {
        params.X = (Screen()->Width() - width_) / 2;
        params.Y = (Screen()->Height() - height_) / 2;
        if (params.X < 0) params.X = 0;
        if (params.Y < 0) params.Y = 0;
        StoreBounds(params.X, params.Y, width_, height_);
    }
}

void TCustomForm::CreateWnd() {
    TWinControl::CreateWnd();
    if (menu_ || menuHandle_) ::SetMenu(handle_, menuHandle_ ? menuHandle_ : menu_->Handle());
}

void TCustomForm::ShowForm(bool visible) {
    if (!visible) {
        if (handle_) ShowWindow(handle_, SW_HIDE);
        return;
    }
    HandleNeeded();
    ShowWindow(handle_, SW_SHOW);
    if (onShow_) onShow_(this);
}

void TCustomForm::Activated(bool active) {
    active_ = active;
    if (!active) return;
    if (!activeControl_) {
        std::vector<TWinControl*> stops;
        CollectTabStops(this, stops);
        if (!stops.empty()) activeControl_ = stops.front();
    }
    SetWindowFocus();
}

void TCustomForm::SetActiveControl(TWinControl* control) {
    if (control == activeControl_) return;
    if (control && control != this && !ContainsControl(control))
        throw Exception("Control is not on this form");
    activeControl_ = control;
    if (!(ComponentState() & csLoading) && control && handle_ && IsWindowVisible(handle_)) SetWindowFocus();
}

void TCustomForm::FocusControl(TWinControl* control) {
    if (!control) return;
    if (control != this && !ContainsControl(control)) return;
    if (control != this) activeControl_ = control;
    if (handle_ && IsWindowVisible(handle_)) SetWindowFocus();
}

void TCustomForm::SetWindowFocus() {
    TWinControl* target = (activeControl_ && activeControl_->CanFocus()) ? activeControl_ : this;
    ::SetFocus(target->Handle());
    if (target != this) target->Perform(CM_UIACTIVATE, 0, 0);
}

bool TCustomForm::SetFocusedControl(TWinControl* control) {
    if (control != this) activeControl_ = control;
    if (focusedControl_ != control) {
        TWinControl* previous = focusedControl_;
        focusedControl_ = control;
        if (previous && previous != this) previous->DoExit();
        if (control && control != this && focusedControl_ == control) control->DoEnter();
        Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control));
        if (activeOleControl_ && activeOleControl_ != control) activeOleControl_->Perform(CM_UIDEACTIVATE, 0, 0);
    }
    return true;
}

void TCustomForm::ControlRemoving(TControl* control) {
    auto within = [control](TControl* c) {
        if (!c) return false;
        if (c == control) return true;
        auto window = dynamic_cast<TWinControl*>(control);
        return window && window->ContainsControl(c);
    };
    if (within(activeControl_)) activeControl_ = nullptr;
    if (within(focusedControl_)) focusedControl_ = nullptr;
    if (within(activeOleControl_)) activeOleControl_ = nullptr;
}

void TCustomForm::SelectNext(TWinControl* current, bool forward) {
    std::vector<TWinControl*> stops;
    CollectTabStops(this, stops);
    if (stops.empty()) return;
    size_t count = stops.size(), index = count;
    for (size_t i = 0; i < count; ++i)
        if (stops[i] == current) index = i;
    size_t next;
    if (index == count) next = forward ? 0 : count - 1;
    else next = forward ? (index + 1) % count : (index + count - 1) % count;
    FocusControl(stops[next]);
}

void TCustomForm::Close() {
    TCloseAction action = TCloseAction::caHide;
    if (onClose_) onClose_(this, action);
    if (action == TCloseAction::caNone) return;
    if (Application() && Application()->MainForm() == this) {
        Hide();
        Application()->Terminate();
        return;
    }
    switch (action) {
        case TCloseAction::caHide: Hide(); break;
        case TCloseAction::caMinimize: if (handle_) ShowWindow(handle_, SW_MINIMIZE); break;
        case TCloseAction::caFree: Release(); break;
        default: break;
    }
}

void TCustomForm::Release() {
    if (handle_) PostMessageA(handle_, CM_RELEASE, 0, 0);
}

void TCustomForm::DoCreate() {
    if (!onCreate_) return;
    try {
        onCreate_(this);
    } catch (...) {
        HandleApplicationException();
    }
}

void TCustomForm::PaintWindow(HDC dc) {
    if (!onPaint_) return;
    canvas_.SetHandle(dc);
    canvas_.Font()->Assign(*Font());
    try {
        onPaint_(this);
    } catch (...) {
        canvas_.SetHandle(nullptr);
        throw;
    }
    canvas_.SetHandle(nullptr);
}

void TCustomForm::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_ACTIVATE:
            Activated(LOWORD(message.WParam) != WA_INACTIVE);
            message.Result = 0;
            return;
        case WM_CLOSE: Close(); return;
        case WM_COMMAND:
            if (message.LParam == 0 && HIWORD(message.WParam) <= 1) {
                if (TMenuItem* item = TMenuItem::FindByCommand(LOWORD(message.WParam))) {
                    item->Click();
                    return;
                }
            }
            break;
        case WM_MDIACTIVATE:
            if (activeOleControl_)
                activeOleControl_->Perform(CM_DOCWINDOWACTIVATE,
                                           reinterpret_cast<HWND>(message.LParam) == handle_ ? 1 : 0, 0);
            break;
        case CM_VISIBLECHANGED: ShowForm(Visible()); return;
        case CM_RELEASE: delete this; return;
        case CM_DIALOGKEY:
            TWinControl::Dispatch(message);
            if (message.Result != 0) return;
            if (message.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
                SelectNext(activeControl_, GetKeyState(VK_SHIFT) >= 0);
                message.Result = 1;
            } else if (message.WParam >= VK_LEFT && message.WParam <= VK_DOWN && activeControl_) {
                SelectNext(activeControl_, message.WParam == VK_RIGHT || message.WParam == VK_DOWN);
                message.Result = 1;
            }
            return;
    }
    TWinControl::Dispatch(message);
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
    TWinControl::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (component == menu_) menu_ = nullptr;
    if (component == activeControl_) activeControl_ = nullptr;
    if (component == focusedControl_) focusedControl_ = nullptr;
    if (component == activeOleControl_) activeOleControl_ = nullptr;
}
