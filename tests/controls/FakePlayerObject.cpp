#include "FakePlayerObject.h"

#include <algorithm>

namespace {
const char* const FakeWindowClass = "FpcFakePlayerWindow";
}

HRESULT TFakeConnectionPoint::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *out = this;
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}
ULONG TFakeConnectionPoint::AddRef() { return owner_.AddRef(); }
ULONG TFakeConnectionPoint::Release() { return owner_.Release(); }

HRESULT TFakeConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    Sink = TComPtr<IUnknown>(sink);
    Cookie = *cookie = 77;
    owner_.Record(std::string("Advise ") + name_);
    return S_OK;
}

HRESULT TFakeConnectionPoint::Unadvise(DWORD cookie) {
    owner_.Record(std::string("Unadvise ") + name_ + " " + std::to_string(cookie));
    Sink = nullptr;
    return S_OK;
}

TFakePlayerObject::TFakePlayerObject() {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = FakeWindowClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
}

TFakePlayerObject::~TFakePlayerObject() {
    if (Window) DestroyWindow(Window);
}

bool TFakePlayerObject::Called(const std::string& call) const {
    return std::find(Calls.begin(), Calls.end(), call) != Calls.end();
}

HRESULT TFakePlayerObject::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleInPlaceObject && OffersInPlaceObject) *out = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject && OffersInPlaceObject) *out = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IOleControl) *out = static_cast<IOleControl*>(this);
    else if (iid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT TFakePlayerObject::SetClientSite(IOleClientSite* site) {
    Record(site ? "SetClientSite" : "SetClientSite nil");
    Site = TComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT TFakePlayerObject::GetClientSite(IOleClientSite** site) {
    *site = Site.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

HRESULT TFakePlayerObject::Close(DWORD option) {
    Record("Close " + std::to_string(option));
    InPlaceDeactivate();
    return S_OK;
}

HRESULT TFakePlayerObject::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
    Record("DoVerb " + std::to_string(verb));
    if (!site) return E_INVALIDARG;
    if (!inPlaceActive_) ActivateInPlace(parent, rect);
    else if (rect) SetObjectRects(rect, rect);
    if (verb == OLEIVERB_UIACTIVATE) {
        TComPtr<IOleInPlaceSite> inPlace;
        site->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid());
        if (inPlace) inPlace->OnUIActivate();
    }
    return S_OK;
}

void TFakePlayerObject::ActivateInPlace(HWND parent, LPCRECT rect) {
    TComPtr<IOleInPlaceSite> inPlace;
    Site->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid());
    if (!inPlace || inPlace->CanInPlaceActivate() != S_OK) return;
    inPlace->OnInPlaceActivate();
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof(info);
    inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info);
    RECT r = rect ? *rect : position;
    Window = CreateWindowExA(0, FakeWindowClass, "", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    inPlaceActive_ = true;
    Site->ShowObject();
}

HRESULT TFakePlayerObject::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    inPlaceActive_ = false;
    TComPtr<IOleInPlaceSite> inPlace;
    if (Site) Site->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid());
    if (Window) {
        DestroyWindow(Window);
        Window = nullptr;
    }
    if (inPlace) inPlace->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT TFakePlayerObject::SetExtent(DWORD, SIZEL* size) {
    Record("SetExtent " + std::to_string(size->cx) + "x" + std::to_string(size->cy));
    if (ExtentAnswer == S_OK) Extent = *size;
    return ExtentAnswer;
}

HRESULT TFakePlayerObject::GetExtent(DWORD, SIZEL* size) {
    *size = Extent;
    return S_OK;
}

HRESULT TFakePlayerObject::GetWindow(HWND* window) {
    *window = Window;
    return Window ? S_OK : E_FAIL;
}

HRESULT TFakePlayerObject::UIDeactivate() {
    Record("UIDeactivate");
    return S_OK;
}

HRESULT TFakePlayerObject::SetObjectRects(LPCRECT position, LPCRECT) {
    if (Window) MoveWindow(Window, position->left, position->top, position->right - position->left,
                           position->bottom - position->top, TRUE);
    return S_OK;
}

HRESULT TFakePlayerObject::TranslateAccelerator(LPMSG msg) {
    LastAccelerator = *msg;
    Record("TranslateAccelerator " + std::to_string(msg->message) + " " + std::to_string(msg->wParam));
    return AcceptAccelerators ? S_OK : S_FALSE;
}

HRESULT TFakePlayerObject::OnDocWindowActivate(BOOL activate) {
    Record("OnDocWindowActivate " + std::to_string(activate));
    return S_OK;
}

HRESULT TFakePlayerObject::GetControlInfo(CONTROLINFO* info) {
    info->cAccel = 0;
    info->hAccel = nullptr;
    return S_OK;
}

HRESULT TFakePlayerObject::OnMnemonic(MSG*) {
    Record("OnMnemonic");
    return S_OK;
}

HRESULT TFakePlayerObject::OnAmbientPropertyChange(DISPID dispid) {
    Record("OnAmbientPropertyChange " + std::to_string(dispid));
    return S_OK;
}

HRESULT TFakePlayerObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (iid == DIID_DShockwaveFlashEvents) *point = &Events;
    else if (iid == IID_IPropertyNotifySink) *point = &PropertyNotify;
    else {
        *point = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    (*point)->AddRef();
    return S_OK;
}

HRESULT TFakePlayerObject::FireEvent(DISPID dispid, std::vector<VARIANT> arguments) {
    auto sink = Events.Sink.As<IDispatch>(IID_IDispatch);
    if (!sink) return E_FAIL;
    DISPPARAMS params = {arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    return sink->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

HRESULT TFakePlayerObject::Ambient(DISPID dispid, VARIANT& value, WORD flags) {
    auto dispatch = Site.As<IDispatch>(IID_IDispatch);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VariantInit(&value);
    return dispatch->Invoke(dispid, IID_NULL, 0, flags, &none, &value, nullptr, nullptr);
}

LRESULT CALLBACK TFakePlayerObject::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto self = reinterpret_cast<TFakePlayerObject*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message >= WM_KEYFIRST && message <= WM_MOUSELAST) self->WindowMessages.push_back(message);
    if (self && message == WM_CONTEXTMENU) self->WindowMessages.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}
