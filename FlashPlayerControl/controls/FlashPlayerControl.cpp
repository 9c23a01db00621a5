#include "FlashPlayerControl/controls/FlashPlayerControl.h"

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/controls/FlashPlayerSites.h"
#include "FlashPlayerControl/controls/PlayerProperties.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Screen.h"

namespace {

// A reflected key message's point: a marker value, not a position.
constexpr LONG AcceleratorMarker = 0x115DE1F1;
// The framework's reflected notifications become the OLE reflected ones (OCM__BASE 0x2000).
constexpr UINT ReflectedToOle = 0x9C00;

void Check(HRESULT result) { OleCheck(result); }

}  // namespace

void RegisterPlayerControlClasses() {
    RegisterComponentClass<TFlashPlayerControl>("TFlashPlayerControl");
    RegisterComponentClass<TTransparentFlashPlayerControl>("TTransparentFlashPlayerControl");
}

int PixelsToHimetric(int pixels) { return MulDiv(pixels, 2540, Screen()->PixelsPerInch()); }
int HimetricToPixels(int himetric) { return MulDiv(himetric, Screen()->PixelsPerInch(), 2540); }

TComPtr<IOleObject> TFlashPlayerControl::AcquireFlashObject() {
    TComPtr<IOleObject> object;
    if (FlashCodeProvider) FlashCodeProvider->CreateFlashInstance(IID_IOleObject, object.PutVoid());
    return object;
}

TFlashPlayerControl::TFlashPlayerControl(TComponent* owner) : TFlashPlayerControl(owner, AcquireFlashObject()) {}

TFlashPlayerControl::TFlashPlayerControl(TComponent* owner, TComPtr<IOleObject> object)
    : TWinControl(owner), site_(std::make_unique<TSite>(*this)), frame_(std::make_unique<TFrame>(*this)) {
    StoreBounds(Left(), Top(), 100, 100);
    OleObject_ = std::move(object);
    if (OleObject_) Construct();
}

void TFlashPlayerControl::Construct() {
    try {
        Check(OleObject_->SetClientSite(site_.get()));
        // The control raises the mouse events itself and accepts no children.
        SetControlStyle(csDoubleClicks | csNoStdEvents);
        SetTabStop(true);
        Check(RequestNewObjectLayout());
    } catch (...) {
        OleObject_->SetClientSite(nullptr);
        OleObject_ = nullptr;
        throw;
    }
    auto container = OleObject_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (container && container->FindConnectionPoint(DIID_DShockwaveFlashEvents, EventsConnectionPoint.Put()) == S_OK &&
        EventsConnectionPoint &&
        EventsConnectionPoint->Advise(static_cast<IDispatch*>(site_.get()), &EventsCookie) == S_OK)
        EventsConnected = true;
}

TFlashPlayerControl::~TFlashPlayerControl() {
    if (ContentManager) ContentManager->UnregisterControl(this);
    if (EventsConnected) EventsConnectionPoint->Unadvise(EventsCookie);
    SetFormActiveObject(false);
    if (OleObject_) {
        // The object owns its window: give it its procedure back before the object closes it,
        // so the framework does not destroy it again.
        if (HandleAllocated()) {
            SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWndProc()));
            DetachHandle();
        }
        OleObject_->Close(OLECLOSE_NOSAVE);
    }
    DisconnectControl();
    if (OleObject_) {
        OleObject_->SetClientSite(nullptr);
        OleObject_ = nullptr;
    }
    InPlaceActiveObject = nullptr;
    InPlaceObject = nullptr;
    EventsConnectionPoint = nullptr;
}

void TFlashPlayerControl::DefineProperties(TPropertyList& list) {
    TWinControl::DefineProperties(list);
    DefinePlayerEvents<TFlashPlayerControl>(list);
    DefinePlayerProperties<TFlashPlayerControl>(list);
    TPropertyInfo& menu = list.Custom("StandartMenu", TPropertyKind::Boolean);
    menu.GetOrdinal = [](TPersistent& o) -> int64_t { return static_cast<TFlashPlayerControl&>(o).StandartMenu() != 0; };
    menu.SetOrdinal = [](TPersistent& o, int64_t v) {
        static_cast<TFlashPlayerControl&>(o).SetStandartMenu(v ? WordTrue : WordFalse);
    };
    menu.WithDefault(0);
}

// COM identity

HRESULT TFlashPlayerControl::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *object = static_cast<IOleClientSite*>(site_.get());
    else if (iid == IID_IDispatch || iid == DIID_DShockwaveFlashEvents) *object = static_cast<IDispatch*>(site_.get());
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *object = static_cast<IOleInPlaceSite*>(site_.get());
    else if (iid == __uuidof(IFlashPlayerControlBase)) *object = static_cast<IFlashPlayerControlBase*>(this);
    else if (iid == IID_ISimpleFrameSite) *object = static_cast<ISimpleFrameSite*>(site_.get());
    else if (iid == IID_IPropertyNotifySink) *object = static_cast<IPropertyNotifySink*>(site_.get());
    else if (iid == IID_IOleInPlaceFrame) *object = static_cast<IOleInPlaceFrame*>(frame_.get());
    else if (iid == IID_IOleControlSite) *object = static_cast<IOleControlSite*>(site_.get());
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TFlashPlayerControl::AddRef() { return static_cast<ULONG>(++RefCount); }
ULONG TFlashPlayerControl::Release() { return static_cast<ULONG>(--RefCount); }

HRESULT TFlashPlayerControl::OnChanged(DISPID) { return S_OK; }
HRESULT TFlashPlayerControl::OnRequestEdit(DISPID) { return S_OK; }

// Layout, activation and the object's window

HRESULT TFlashPlayerControl::RequestNewObjectLayout() {
    SIZEL extent = {};
    HRESULT result = OleObject_->GetExtent(DVASPECT_CONTENT, &extent);
    if (result != S_OK) return result;
    SetBounds(Left(), Top(), HimetricToPixels(extent.cx), HimetricToPixels(extent.cy));
    return S_OK;
}

void TFlashPlayerControl::EnsureClientSite() {
    TComPtr<IOleClientSite> current;
    HRESULT result;
    try {
        result = OleObject_->GetClientSite(current.Put());
    } catch (...) {
        result = E_FAIL;
    }
    if (result != S_OK || !current) Check(OleObject_->SetClientSite(site_.get()));
}

void TFlashPlayerControl::ConnectControl() {
    if (OleControl) return;
    try {
        EnsureClientSite();
        OleControl = OleObject_.As<IOleControl>(IID_IOleControl);
        if (!OleControl) Check(E_NOINTERFACE);
        ControlDispatch = OleObject_.As<IDispatch>(IID_IDispatch);
        if (!ControlDispatch) Check(E_NOINTERFACE);
        PropertyBrowsing = OleObject_.As<IPerPropertyBrowsing>(IID_IPerPropertyBrowsing);
        auto container = OleObject_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
        TComPtr<IConnectionPoint> point;
        if (container && container->FindConnectionPoint(IID_IPropertyNotifySink, point.Put()) == S_OK && point &&
            point->Advise(static_cast<IPropertyNotifySink*>(site_.get()), &PropertyNotifyCookie) != S_OK)
            PropertyNotifyCookie = 0;
        OleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
        RequestNewObjectLayout();
    } catch (...) {
        DisconnectControl();
        throw;
    }
}

void TFlashPlayerControl::DisconnectControl() {
    if (!OleObject_) return;
    if (PropertyNotifyCookie != 0) {
        auto container = OleObject_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
        TComPtr<IConnectionPoint> point;
        if (container && container->FindConnectionPoint(IID_IPropertyNotifySink, point.Put()) == S_OK && point &&
            point->Unadvise(PropertyNotifyCookie) == S_OK)
            PropertyNotifyCookie = 0;
    }
    PropertyBrowsing = nullptr;
    ControlDispatch = nullptr;
    OleControl = nullptr;
}

HWND TFlashPlayerControl::ParentWindowHandle() {
    if (Parent()) return Parent()->Handle();
    return ParentWindow();
}

HWND TFlashPlayerControl::TopLevelWindowHandle() {
    TWinControl* outermost = this;
    while (outermost->Parent()) outermost = outermost->Parent();
    if (outermost->ParentWindow()) return outermost->ParentWindow();
    return outermost == this ? (HandleAllocated() ? handle_ : nullptr) : outermost->Handle();
}

void TFlashPlayerControl::InPlaceActivate(LONG verb) {
    RECT bounds = BoundsInParent();
    OleObject_->DoVerb(verb, nullptr, site_.get(), 0, ParentWindowHandle(), &bounds);
}

void TFlashPlayerControl::CreateWnd() {
    if (!OleObject_) {
        TWinControl::CreateWnd();
        return;
    }
    ConnectControl();
    InPlaceActivate(OLEIVERB_INPLACEACTIVATE);
    if (!InPlaceObject) throw EOleError("OLE control activation failed");
    AttachObjectWindow();
    if (!Visible() && IsWindowVisible(handle_)) ShowWindow(handle_, SW_HIDE);
}

void TFlashPlayerControl::AttachObjectWindow() {
    if (!InPlaceObject || HandleAllocated()) return;
    HWND window = nullptr;
    if (InPlaceObject->GetWindow(&window) != S_OK || !window)
        throw EOleError("Could not obtain OLE control window handle");
    // From here every message of the player's window reaches the control first; what the
    // control leaves goes on to the window's own procedure.
    AdoptWindow(window);
}

void TFlashPlayerControl::DestroyWindowHandle() {
    if (!OleObject_) {
        TWinControl::DestroyWindowHandle();
        return;
    }
    if (handle_) SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWndProc()));
    OleObject_->Close(OLECLOSE_NOSAVE);
    // The object owns its window; a later window creation activates the object again.
    DetachHandle();
}

void TFlashPlayerControl::SetBounds(int left, int top, int width, int height) {
    if (OleObject_ && ((width != Width() && Width() > 0) || (height != Height() && Height() > 0))) {
        SIZEL extent = {PixelsToHimetric(width), PixelsToHimetric(height)};
        if (OleObject_->SetExtent(DVASPECT_CONTENT, &extent) != S_OK) {
            width = Width();
            height = Height();
        }
    }
    TWinControl::SetBounds(left, top, width, height);
}

void TFlashPlayerControl::SetParent(TWinControl* parent) {
    TWinControl::SetParent(parent);
    if (!OleObject_ || !parent) return;
    EnsureClientSite();
    if (OleControl) OleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
}

void TFlashPlayerControl::SetFormActiveObject(bool active) {
    TCustomForm* form = GetParentForm(this);
    if (!form) return;
    if (active) {
        if (form->ActiveOleControl() && form->ActiveOleControl() != this)
            form->ActiveOleControl()->Perform(CM_UIDEACTIVATE);
        form->SetActiveOleControl(this);
    } else if (form->ActiveOleControl() == this) {
        form->SetActiveOleControl(nullptr);
    }
}

// Messages

void TFlashPlayerControl::WndProc(TMessage& message) {
    if (!OleObject_) {
        TWinControl::WndProc(message);
        return;
    }
    switch (message.Msg) {
        case WM_KEYDOWN:
            if (message.WParam == VK_APPS) {
                if (PopupMenu()) {
                    message.Result = Perform(WM_CONTEXTMENU, message.WParam, static_cast<LPARAM>(-1));
                    return;
                }
                if (!standartMenu_) return;  // the player's menu stays away
            }
            break;
        case WM_RBUTTONUP:
            if (!Designing()) {
                ContextMenuFromRightButton(message);
                return;
            }
            break;
        case CM_PARENTFONTCHANGED:
            if (ParentFont() && OleControl) {
                OleControl->OnAmbientPropertyChange(DISPID_AMBIENT_FONT);
                OleControl->OnAmbientPropertyChange(DISPID_AMBIENT_FORECOLOR);
            }
            break;
        case CM_PARENTCOLORCHANGED:
            if (ParentColor() && OleControl) OleControl->OnAmbientPropertyChange(DISPID_AMBIENT_BACKCOLOR);
            break;
        default:
            if (message.Msg >= CN_BASE + WM_KEYFIRST && message.Msg <= CN_BASE + WM_KEYLAST && InPlaceActiveObject) {
                MSG msg = {};
                msg.hwnd = handle_;
                msg.message = message.Msg - CN_BASE;
                msg.wParam = message.WParam;
                msg.lParam = message.LParam;
                msg.time = static_cast<DWORD>(GetMessageTime());
                msg.pt.x = msg.pt.y = AcceleratorMarker;
                if (InPlaceActiveObject->TranslateAccelerator(&msg) == S_OK) {
                    message.Result = 1;
                    return;
                }
            }
            break;
    }
    TWinControl::WndProc(message);
}

void TFlashPlayerControl::ContextMenuFromRightButton(TMessage& message) {
    POINT screen = ClientToScreen(POINT{message.XPos(), message.YPos()});
    message.Result = Perform(WM_CONTEXTMENU, message.WParam, PointToLParam(screen.x, screen.y));
}

void TFlashPlayerControl::Dispatch(TMessage& message) {
    switch (message.Msg) {
        case WM_ERASEBKGND:
            if (!OleObject_) break;
            DefaultHandler(message);
            return;
        case WM_PAINT:
            if (!OleObject_) {
                PaintWithoutObject(message);
                return;
            }
            DefaultHandler(message);
            return;
        case WM_QUERYNEWPALETTE:
            if (OleObject_ && HandleAllocated() && CallWindowProcA(DefWndProc(), handle_, WM_QUERYNEWPALETTE, 0, 0)) {
                message.Result = 1;
                return;
            }
            break;
        case CM_UIACTIVATE: {
            TCustomForm* form = GetParentForm(this);
            if (OleObject_ && !(form && form->ActiveOleControl() == this)) InPlaceActivate(OLEIVERB_UIACTIVATE);
            return;
        }
        case CM_UIDEACTIVATE: {
            TCustomForm* form = GetParentForm(this);
            if (!OleObject_ || (form && form->ActiveOleControl() != this)) return;
            if (InPlaceObject) InPlaceObject->UIDeactivate();
            if (form && form->ActiveControl() == this) site_->OnUIDeactivate(FALSE);
            return;
        }
        case CM_DOCWINDOWACTIVATE: {
            TCustomForm* form = GetParentForm(this);
            if (!OleObject_ || !form || form->FormStyle() != TFormStyle::fsMDIChild || !InPlaceActiveObject) return;
            InPlaceActiveObject->OnDocWindowActivate(message.WParam != 0);
            if (message.WParam == 0) frame_->SetMenu(nullptr, nullptr, nullptr);
            return;
        }
        case CM_DIALOGKEY:
            DialogKey(message);
            if (message.Result) return;
            break;
        default:
            if (message.Msg >= WM_MOUSEMOVE && message.Msg <= WM_MBUTTONDBLCLK) {
                MouseMessage(message);
                return;
            }
            break;
    }
    TWinControl::Dispatch(message);
}

void TFlashPlayerControl::DialogKey(TMessage& message) {
    if (!OleObject_ || !CanFocus() || !OleControl) return;
    CONTROLINFO info = {};
    info.cb = sizeof(info);
    if (OleControl->GetControlInfo(&info) != S_OK || info.cAccel == 0) return;
    MSG msg = {};
    msg.hwnd = handle_;
    msg.message = WM_KEYDOWN;
    msg.wParam = message.WParam;
    msg.lParam = message.LParam;
    if (IsAccelerator(info.hAccel, info.cAccel, &msg, nullptr)) {
        OleControl->OnMnemonic(&msg);
        message.Result = 1;
    }
}

void TFlashPlayerControl::MouseMessage(TMessage& message) {
    TShiftState shift = KeysToShiftState(message.WParam);
    int x = message.XPos(), y = message.YPos();
    switch (message.Msg) {
        case WM_LBUTTONDOWN:
            SendCancelMode(this);
            DefaultHandler(message);
            if (ControlStyle() & csCaptureMouse) SetMouseCapture(true);
            MouseDown(TMouseButton::mbLeft, shift, x, y);
            break;
        case WM_RBUTTONDOWN:
            // Without the player's menu the player never sees the right button.
            if (standartMenu_ || !OleObject_) DefaultHandler(message);
            MouseDown(TMouseButton::mbRight, shift, x, y);
            break;
        case WM_MBUTTONDOWN:
            MouseDown(TMouseButton::mbMiddle, shift, x, y);
            DefaultHandler(message);
            break;
        case WM_LBUTTONDBLCLK:
            SendCancelMode(this);
            DefaultHandler(message);
            SetMouseCapture(true);
            DblClick();
            MouseDown(TMouseButton::mbLeft, shift | ssDouble, x, y);
            break;
        case WM_RBUTTONDBLCLK:
            DefaultHandler(message);
            MouseDown(TMouseButton::mbRight, shift | ssDouble, x, y);
            break;
        case WM_MBUTTONDBLCLK:
            DefaultHandler(message);
            MouseDown(TMouseButton::mbMiddle, shift | ssDouble, x, y);
            break;
        case WM_MOUSEMOVE:
            DefaultHandler(message);
            MouseMove(shift, x, y);
            break;
        case WM_LBUTTONUP: {
            DefaultHandler(message);
            SetMouseCapture(false);
            RECT client = ClientRect();
            if (x >= client.left && x < client.right && y >= client.top && y < client.bottom) Click();
            MouseUp(TMouseButton::mbLeft, shift, x, y);
            break;
        }
        case WM_RBUTTONUP:
            DefaultHandler(message);
            MouseUp(TMouseButton::mbRight, shift, x, y);
            break;
        case WM_MBUTTONUP:
            DefaultHandler(message);
            MouseUp(TMouseButton::mbMiddle, shift, x, y);
            break;
    }
}

void TFlashPlayerControl::DefaultHandler(TMessage& message) {
    if (!OleObject_ || !HandleAllocated()) {
        TWinControl::DefaultHandler(message);
        return;
    }
    try {
        if (message.Msg == WM_SIZE) {
            // The new size reaches the object as its new in-place rectangle.
            InPlaceActivate(OLEIVERB_INPLACEACTIVATE);
            return;
        }
        UINT msg = message.Msg;
        if (msg >= CN_BASE && msg < CN_LAST) msg -= ReflectedToOle;
        else if (msg >= CM_BASE && msg < CN_BASE) return;  // the framework's own messages
        message.Result = CallWindowProcA(DefWndProc(), handle_, msg, message.WParam, message.LParam);
    } catch (...) {
        // Whatever the player does with a message, the framework's dispatch carries on.
    }
}

void TFlashPlayerControl::PaintWithoutObject(TMessage& message) {
    PAINTSTRUCT paint;
    HDC dc = reinterpret_cast<HDC>(message.WParam);
    bool ownPaint = dc == nullptr;
    if (ownPaint) dc = BeginPaint(handle_, &paint);
    RECT client = ClientRect();
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    if (ownPaint) EndPaint(handle_, &paint);
}
