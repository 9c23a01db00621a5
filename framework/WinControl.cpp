#include "framework/WinControl.h"

#include <algorithm>

#include "framework/ErrorHandling.h"
#include "framework/Forms.h"

namespace {

// The control whose window is being made (or adopted); the first message of the window
// binds them.
thread_local TWinControl* CreationControl = nullptr;

LPCSTR ControlProperty() {
    static ATOM atom = GlobalAddAtomA("FpcControl");
    return MAKEINTATOM(atom);
}

}  // namespace

HINSTANCE FrameworkInstance() {
    static HINSTANCE instance = [] {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&FrameworkInstance), &module);
        return module;
    }();
    return instance;
}

LRESULT CALLBACK StdWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto control = static_cast<TWinControl*>(GetPropA(window, ControlProperty()));
    if (!control) return DefWindowProcA(window, msg, wParam, lParam);
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    try {
        control->WindowProc(message);
    } catch (...) {
        // An error must not unwind through the system's message dispatch.
        HandleApplicationException();
    }
    if (msg == WM_NCDESTROY && control->handle_ == window) control->DetachHandle();
    return message.Result;
}

LRESULT CALLBACK InitWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* control = CreationControl;
    if (!control) return DefWindowProcA(window, msg, wParam, lParam);
    CreationControl = nullptr;
    control->Bind(window);
    return StdWndProc(window, msg, wParam, lParam);
}

TWinControl* TWinControl::FindControl(HWND window) {
    if (!window) return nullptr;
    return static_cast<TWinControl*>(GetPropA(window, ControlProperty()));
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    IncludeState(csDestroying);
    if (Parent()) Parent()->RemoveControl(this);
    DestroyHandle();
    while (!controls_.empty()) {
        TControl* child = controls_.back();
        RemoveControl(child);
        delete child;
    }
    if (brush_) DeleteObject(brush_);
}

void TWinControl::DefineProperties(TPropertyList& list) {
    TControl::DefineProperties(list);
    list.Boolean("DoubleBuffered", &TWinControl::DoubleBuffered, &TWinControl::SetDoubleBuffered).WithDefault(0);
    list.Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder);
    list.Boolean("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop);
    list.Event("OnEnter", &TWinControl::OnEnter, &TWinControl::SetOnEnter);
    list.Event("OnExit", &TWinControl::OnExit, &TWinControl::SetOnExit);
}

void TWinControl::DoEnter() {
    if (onEnter_) onEnter_(this);
}

void TWinControl::DoExit() {
    if (onExit_) onExit_(this);
}

HWND TWinControl::Handle() const {
    if (!handle_) const_cast<TWinControl*>(this)->CreateHandle();
    return handle_;
}

void TWinControl::SetParentWindow(HWND window) {
    if (window == parentWindow_) return;
    parentWindow_ = window;
    if (!Parent() && handle_) {
        if (window) ::SetParent(handle_, window);
        else DestroyHandle();
    }
}

void TWinControl::Bind(HWND window) {
    handle_ = window;
    SetPropA(window, ControlProperty(), this);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StdWndProc));
}

void TWinControl::DetachHandle() {
    if (handle_) RemovePropA(handle_, ControlProperty());
    handle_ = nullptr;
}

void TWinControl::AdoptWindow(HWND window) {
    if (!window) throw Exception("No window to adopt");
    defWndProc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    CreationControl = this;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InitWndProc));
    SendMessageA(window, WM_NULL, 0, 0);
    CreationControl = nullptr;
}

void TWinControl::ReleaseAdoptedWindow() {
    if (!handle_) return;
    SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defWndProc_));
    DetachHandle();
}

void TWinControl::CreateParams(TCreateParams& params) {
    params.Caption = text_;
    params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (ControlStyle() & csAcceptsControls) params.Style |= WS_CLIPCHILDREN;
    if (Visible()) params.Style |= WS_VISIBLE;
    if (!Enabled()) params.Style |= WS_DISABLED;
    if (tabStop_) params.Style |= WS_TABSTOP;
    params.X = left_;
    params.Y = top_;
    params.Width = width_;
    params.Height = height_;
    params.WndParent = Parent() ? Parent()->Handle() : parentWindow_;
    params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | ((ControlStyle() & csDoubleClicks) ? CS_DBLCLKS : 0);
    params.WindowClass.lpfnWndProc = DefWindowProcA;
    params.WindowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    params.WindowClass.hInstance = FrameworkInstance();
    params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& params, const char* systemClass) {
    WNDCLASSA wc;
    if (!GetClassInfoA(nullptr, systemClass, &wc)) return;
    UINT keep = params.WindowClass.style & CS_DBLCLKS;
    params.WindowClass = wc;
    params.WindowClass.style = (wc.style & ~(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS | CS_DBLCLKS)) | keep;
    params.WindowClass.hInstance = FrameworkInstance();
}

void TWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    if ((params.Style & WS_CHILD) && !params.WndParent)
        throw Exception("Control '" + Name() + "' has no parent window");
    defWndProc_ = params.WindowClass.lpfnWndProc;
    WNDCLASSA existing;
    bool registered = GetClassInfoA(params.WindowClass.hInstance, params.WinClassName.c_str(), &existing) != 0;
    if (!registered || existing.lpfnWndProc != &InitWndProc) {
        if (registered) UnregisterClassA(params.WinClassName.c_str(), params.WindowClass.hInstance);
        params.WindowClass.lpfnWndProc = &InitWndProc;
        params.WindowClass.lpszClassName = params.WinClassName.c_str();
        if (!RegisterClassA(&params.WindowClass))
            throw Exception("Could not register window class " + params.WinClassName);
    }
    CreationControl = this;
    try {
        CreateWindowHandle(params);
    } catch (...) {
        CreationControl = nullptr;
        throw;
    }
    CreationControl = nullptr;
    if (!handle_) throw Exception("Error creating window of '" + Name() + "'");
}

void TWinControl::CreateWindowHandle(const TCreateParams& params) {
    CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(), params.Style,
                    params.X, params.Y, params.Width, params.Height, params.WndParent, params.Menu,
                    params.WindowClass.hInstance, nullptr);
}

void TWinControl::CreateHandle() {
    if (handle_) return;
    IncludeControlState(csCreatingHandle);
    try {
        CreateWnd();
    } catch (...) {
        ExcludeControlState(csCreatingHandle);
        throw;
    }
    ExcludeControlState(csCreatingHandle);
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
    for (TControl* child : controls_)
        if (auto window = dynamic_cast<TWinControl*>(child)) window->CreateHandle();
    Realign();
}

void TWinControl::DestroyHandle() {
    if (!handle_) return;
    for (TControl* child : controls_)
        if (auto window = dynamic_cast<TWinControl*>(child)) window->DestroyHandle();
    DestroyWnd();
}

void TWinControl::DestroyWnd() { DestroyWindowHandle(); }

void TWinControl::DestroyWindowHandle() {
    IncludeControlState(csDestroyingHandle);
    HWND window = handle_;
    if (window) DestroyWindow(window);
    ExcludeControlState(csDestroyingHandle);
    if (handle_ == window) DetachHandle();
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    DestroyHandle();
    CreateHandle();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    StoreBounds(left, top, width, height);
    if (handle_)
        SetWindowPos(handle_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
    Realign();
    RequestAlign();
}

void TWinControl::UpdateBounds() {
    if (!handle_) return;
    RECT r;
    GetWindowRect(handle_, &r);
    HWND parent = GetParent(handle_);
    if ((GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD) && parent)
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    bool resized = (r.right - r.left) != width_ || (r.bottom - r.top) != height_;
    StoreBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (resized) Realign();
}

int TWinControl::ClientWidth() const {
    if (!handle_) return width_;
    RECT r;
    GetClientRect(handle_, &r);
    return r.right;
}

int TWinControl::ClientHeight() const {
    if (!handle_) return height_;
    RECT r;
    GetClientRect(handle_, &r);
    return r.bottom;
}

void TWinControl::InsertControl(TControl* control) {
    control->parent_ = this;
    controls_.push_back(control);
    if (auto window = dynamic_cast<TWinControl*>(control)) tabList_.push_back(window);
    control->Perform(CM_PARENTCOLORCHANGED, 0, 0);
    control->Perform(CM_PARENTFONTCHANGED, 0, 0);
    if (auto window = dynamic_cast<TWinControl*>(control)) {
        if (handle_) window->CreateHandle();
    } else {
        control->InvalidateControl();
    }
    Realign();
}

void TWinControl::RemoveControl(TControl* control) {
    if (TCustomForm* form = GetParentForm(this)) form->ControlRemoving(control);
    if (auto window = dynamic_cast<TWinControl*>(control)) {
        window->DestroyHandle();
        tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), window), tabList_.end());
    } else {
        control->InvalidateControl();
    }
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    control->parent_ = nullptr;
    Realign();
}

bool TWinControl::ContainsControl(const TControl* control) const {
    for (; control; control = control->Parent())
        if (control == this) return true;
    return false;
}

TControl* TWinControl::ControlAtPos(POINT pos, bool allowDisabled, bool allowWinControls) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!allowWinControls && dynamic_cast<TWinControl*>(c)) continue;
        if (!(c->Visible() || c->Designing()) || !(c->Enabled() || allowDisabled)) continue;
        RECT r = c->BoundsRect();
        if (!PtInRect(&r, pos)) continue;
        if (c->Perform(CM_HITTEST, 0, PointToLParam(pos.x - c->Left(), pos.y - c->Top())) != 0) return c;
    }
    return nullptr;
}

void TWinControl::MoveControlToFront(TControl* control) {
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end()) return;
    controls_.erase(it);
    controls_.push_back(control);
    if (auto window = dynamic_cast<TWinControl*>(control)) {
        if (window->handle_) SetWindowPos(window->handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else {
        control->InvalidateControl();
    }
}

void TWinControl::NotifyControls(UINT msg) {
    std::vector<TControl*> children = controls_;
    for (TControl* c : children) c->Perform(msg, 0, 0);
}

void TWinControl::Broadcast(TMessage& message) {
    std::vector<TControl*> children = controls_;
    for (TControl* c : children) {
        c->WindowProc(message);
        if (message.Result != 0) return;
    }
}

void TWinControl::Realign() {
    if (ControlState() & csAligning) return;
    if (ComponentState() & (csLoading | csDestroying)) return;
    RECT r = ClientRect();
    IncludeControlState(csAligning);
    try {
        ApplyAnchors(r);
        AlignControls(r);
    } catch (...) {
        ExcludeControlState(csAligning);
        throw;
    }
    ExcludeControlState(csAligning);
}

void TWinControl::ApplyAnchors(const RECT& client) {
    // Only a window's client size is real; before one exists the size is a guess that would
    // move the children when the window appears.
    if (!handle_) {
        anchorClientWidth_ = anchorClientHeight_ = -1;
        return;
    }
    const int width = client.right - client.left, height = client.bottom - client.top;
    const int dw = width - anchorClientWidth_, dh = height - anchorClientHeight_;
    const bool measured = anchorClientWidth_ >= 0;
    anchorClientWidth_ = width;
    anchorClientHeight_ = height;
    if (!measured || (dw == 0 && dh == 0)) return;
    auto follow = [](int& position, int& size, int delta, bool nearSide, bool farSide) {
        if (farSide) {
            if (nearSide) size += delta;   // both sides: stretch
            else position += delta;        // the far side only: move along
        } else if (!nearSide) {
            position += delta / 2;         // neither: stay centred
        }
    };
    std::vector<TControl*> children = controls_;
    for (TControl* c : children) {
        if (c->Align() != TAlign::alNone) continue;
        const TAnchors a = c->Anchors();
        int left = c->Left(), top = c->Top(), w = c->Width(), h = c->Height();
        follow(left, w, dw, a & (1u << akLeft), a & (1u << akRight));
        follow(top, h, dh, a & (1u << akTop), a & (1u << akBottom));
        c->SetBounds(left, top, std::max(w, 0), std::max(h, 0));
    }
}

void TWinControl::AlignControls(RECT& rect) {
    static const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient};
    for (TAlign align : order) {
        for (TControl* c : controls_) {
            if (c->Align() != align || !c->Visible()) continue;
            int w = c->Width(), h = c->Height();
            switch (align) {
                case TAlign::alTop:
                    c->SetBounds(rect.left, rect.top, rect.right - rect.left, h);
                    rect.top += h;
                    break;
                case TAlign::alBottom:
                    c->SetBounds(rect.left, rect.bottom - h, rect.right - rect.left, h);
                    rect.bottom -= h;
                    break;
                case TAlign::alLeft:
                    c->SetBounds(rect.left, rect.top, w, rect.bottom - rect.top);
                    rect.left += w;
                    break;
                case TAlign::alRight:
                    c->SetBounds(rect.right - w, rect.top, w, rect.bottom - rect.top);
                    rect.right -= w;
                    break;
                default:
                    c->SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
                    break;
            }
        }
    }
}

void TWinControl::SetTabStop(bool value) {
    if (value == tabStop_) return;
    tabStop_ = value;
    if (handle_) {
        LONG style = GetWindowLongA(handle_, GWL_STYLE);
        SetWindowLongA(handle_, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
}

int TWinControl::TabOrder() const {
    if (!Parent()) return -1;
    const auto& list = Parent()->tabList_;
    return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int value) {
    if (!Parent()) return;
    auto& list = Parent()->tabList_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (value < 0) value = 0;
    if (value > static_cast<int>(list.size())) value = static_cast<int>(list.size());
    list.insert(list.begin() + value, this);
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() {
    if (TCustomForm* form = GetParentForm(this)) form->FocusControl(this);
    else if (parentWindow_) ::SetFocus(Handle());
}

void TWinControl::GetChildren(std::vector<TComponent*>& children, TComponent* root) {
    for (TControl* c : controls_)
        if (c->Owner() == root) children.push_back(c);
}

void TWinControl::SetText(const std::string& value) {
    if (value == text_) return;
    text_ = value;
    if (handle_) SetWindowTextA(handle_, text_.c_str());
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TWinControl::Invalidate() {
    if (handle_) InvalidateRect(handle_, nullptr, !(ControlStyle() & csOpaque));
}

void TWinControl::Update() {
    if (handle_) UpdateWindow(handle_);
}

HBRUSH TWinControl::BrushHandle() {
    if (!brush_ || brushColor_ != Color()) {
        if (brush_) DeleteObject(brush_);
        brushColor_ = Color();
        brush_ = CreateSolidBrush(ColorToRGB(brushColor_));
    }
    return brush_;
}

bool TWinControl::IsControlMouseMsg(TMessage& message) {
    TControl* target = nullptr;
    if (GetCapture() == handle_) {
        TControl* captured = GetCaptureControl();
        if (captured && captured != this && captured->Parent() == this) target = captured;
    } else {
        target = ControlAtPos(POINT{message.XPos(), message.YPos()}, false);
    }
    if (!target) return false;
    message.Result = target->Perform(message.Msg, message.WParam,
                                     PointToLParam(message.XPos() - target->Left(), message.YPos() - target->Top()));
    return true;
}

void TWinControl::WndProc(TMessage& message) {
    if (message.Msg >= WM_MOUSEFIRST && message.Msg <= WM_MBUTTONDBLCLK && handle_) {
        if (IsControlMouseMsg(message)) {
            // The system still sees the input, so that a right button release becomes
            // WM_CONTEXTMENU for the window.
            if (message.Result == 0 && handle_)
                DefWindowProcA(handle_, message.Msg, message.WParam, message.LParam);
            return;
        }
    }
    TControl::WndProc(message);
}

bool TWinControl::ReflectToControl(HWND child, TMessage& message) {
    TWinControl* control = FindControl(child);
    if (!control || control == this) return false;
    message.Result = control->Perform(CN_BASE + message.Msg, message.WParam, message.LParam);
    return true;
}

void TWinControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_PAINT: Paint(message); return;
        case WM_ERASEBKGND:
            if (doubleBuffered_ && static_cast<LPARAM>(message.WParam) != message.LParam) {
                message.Result = 1;  // the buffer is erased when painting
                return;
            }
            {
                RECT r;
                GetClientRect(handle_, &r);
                FillRect(reinterpret_cast<HDC>(message.WParam), &r, BrushHandle());
            }
            message.Result = 1;
            return;
        case WM_COMMAND:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (message.LParam && ReflectToControl(reinterpret_cast<HWND>(message.LParam), message)) return;
            break;
        case WM_NOTIFY:
            if (ReflectToControl(reinterpret_cast<NMHDR*>(message.LParam)->hwndFrom, message)) return;
            break;
        case WM_DRAWITEM:
            if (message.WParam && ReflectToControl(reinterpret_cast<DRAWITEMSTRUCT*>(message.LParam)->hwndItem, message))
                return;
            break;
        case CN_CTLCOLORBTN:
        case CN_CTLCOLORSTATIC:
        case CN_CTLCOLOREDIT: {
            HDC dc = reinterpret_cast<HDC>(message.WParam);
            SetTextColor(dc, ColorToRGB(Font()->Color()));
            SetBkColor(dc, ColorToRGB(Color()));
            message.Result = reinterpret_cast<LRESULT>(BrushHandle());
            return;
        }
        case CN_KEYDOWN:
        case CN_SYSKEYDOWN: KeyDown(message); return;
        case WM_SETFOCUS: {
            TCustomForm* form = GetParentForm(this);
            if (form) form->SetFocusedControl(this);
            break;
        }
        case WM_CONTEXTMENU:
            if (message.Result == 0 && message.LParam != -1 && static_cast<uint32_t>(message.LParam) != 0xFFFFFFFFu) {
                POINT p = ScreenToClient(POINT{message.XPos(), message.YPos()});
                TControl* child = ControlAtPos(p, false);
                if (child && child->Perform(WM_CONTEXTMENU, message.WParam, message.LParam) != 0) {
                    message.Result = 1;
                    return;
                }
            }
            break;
        case WM_WINDOWPOSCHANGED:
            DefaultHandler(message);
            UpdateBounds();
            return;
        case CM_VISIBLECHANGED: UpdateVisibility(); return;
        case CM_ENABLEDCHANGED:
            if (handle_) EnableWindow(handle_, Enabled());
            return;
        case CM_COLORCHANGED:
            Invalidate();
            NotifyControls(CM_PARENTCOLORCHANGED);
            return;
        case CM_FONTCHANGED:
            if (handle_) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 1);
            NotifyControls(CM_PARENTFONTCHANGED);
            return;
        case CM_TEXTCHANGED: return;
        case CM_DIALOGKEY: Broadcast(message); return;
    }
    TControl::Dispatch(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
    if (!handle_) return;
    // The framework's own messages mean nothing to the window's procedure.
    if (message.Msg >= CM_BASE && message.Msg < CN_LAST) return;
    message.Result = CallWindowProcA(defWndProc_ ? defWndProc_ : DefWindowProcA, handle_, message.Msg,
                                     message.WParam, message.LParam);
}

void TWinControl::UpdateVisibility() {
    if (!handle_) return;
    ShowWindow(handle_, Visible() ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::KeyDown(TMessage& message) {
    UINT mask = 0;
    switch (message.WParam) {
        case VK_TAB: mask = DLGC_WANTTAB; break;
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: mask = DLGC_WANTARROWS; break;
        case VK_RETURN: case VK_ESCAPE: case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
    }
    if (mask && !(Perform(WM_GETDLGCODE, 0, 0) & mask)) {
        TCustomForm* form = GetParentForm(this);
        if (form && form->Perform(CM_DIALOGKEY, message.WParam, message.LParam) != 0) {
            message.Result = 1;
            return;
        }
    }
    message.Result = 0;
}

void TWinControl::Paint(TMessage& message) {
    bool hasGraphicChildren = std::any_of(controls_.begin(), controls_.end(),
                                          [](TControl* c) { return !dynamic_cast<TWinControl*>(c); });
    if (message.WParam) {
        PaintHandler(reinterpret_cast<HDC>(message.WParam));
        return;
    }
    if (!doubleBuffered_ && !hasGraphicChildren && !dynamic_cast<TCustomForm*>(this)) {
        DefaultHandler(message);
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(handle_, &ps);
    if (!doubleBuffered_) {
        PaintHandler(dc);
    } else {
        RECT client;
        GetClientRect(handle_, &client);
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(memory, bitmap);
        IntersectClipRect(memory, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
        Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), reinterpret_cast<LPARAM>(memory));
        PaintHandler(memory);
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(handle_, &ps);
}

void TWinControl::PaintHandler(HDC dc) {
    int saved = SaveDC(dc);
    PaintWindow(dc);
    RestoreDC(dc, saved);
    PaintControls(dc);
}

void TWinControl::PaintWindow(HDC dc) {
    TMessage message;
    message.Msg = WM_PAINT;
    message.WParam = reinterpret_cast<WPARAM>(dc);
    DefaultHandler(message);
}

void TWinControl::PaintControls(HDC dc) {
    for (TControl* c : controls_) {
        if (dynamic_cast<TWinControl*>(c)) continue;
        if (!(c->Visible() || c->Designing()) || c->Width() <= 0 || c->Height() <= 0) continue;
        RECT bounds = c->BoundsRect(), clip;
        if (GetClipBox(dc, &clip) != NULLREGION && !IntersectRect(&clip, &clip, &bounds)) continue;
        int saved = SaveDC(dc);
        POINT org;
        GetWindowOrgEx(dc, &org);
        SetWindowOrgEx(dc, org.x - c->Left(), org.y - c->Top(), nullptr);
        IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        RestoreDC(dc, saved);
    }
}
