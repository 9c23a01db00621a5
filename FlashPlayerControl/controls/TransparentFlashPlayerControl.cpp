#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/PlayerProperties.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerSites.h"
#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/BStr.h"
#include "framework/Exceptions.h"
#include "framework/WinControl.h"

namespace {

// put_WMode in IShockwaveFlash's function table.
constexpr int SlotPutWMode = 41;
constexpr UINT RedrawEverything = RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME;

TComPtr<IUnknown> NewFlashObject() {
    TComPtr<IUnknown> object;
    if (FlashCodeProvider) FlashCodeProvider->CreateFlashInstance(IID_IUnknown, object.PutVoid());
    return object;
}

// The object is drawn windowless only in the player's "Transparent" mode.
void PutTransparentMode(IUnknown* object) {
    TComPtr<IUnknown> flash;
    object->QueryInterface(IID_IShockwaveFlash, flash.PutVoid());
    if (!flash) throw EOleError("Interface not supported", E_NOINTERFACE);
    using TPutString = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR);
    void** table = *reinterpret_cast<void***>(flash.Get());
    TBStr mode(L"Transparent");
    OleCheck(reinterpret_cast<TPutString>(table[SlotPutWMode])(flash.Get(), mode.Get()));
}

template <typename T, typename S>
void OwnEvent(TPropertyList& list, const char* name, TMethod<S> T::*slot) {
    TPropertyInfo& p = list.Custom(name, TPropertyKind::Event);
    p.GetEvent = [slot](TPersistent& o) { return TAnyMethod(static_cast<T&>(o).*slot); };
    p.SetEvent = [slot](TPersistent& o, const TAnyMethod& m) { static_cast<T&>(o).*slot = m.template As<S>(); };
}

}  // namespace

TTransparentFlashPlayerControl::TTransparentFlashPlayerControl(TComponent* owner)
    : TGraphicControl(owner),
      site_(std::make_unique<TSite>(*this)),
      frame_(std::make_unique<TFrame>(*this)),
      container_(std::make_unique<TContainer>(*this)) {
    StoreBounds(0, 0, 100, 100);
    // Not opaque: the parent paints its own background beneath the movie first.
    SetControlStyle(csCaptureMouse | csClickEvents | csDoubleClicks | csReplicatable | csReflector);
}

TTransparentFlashPlayerControl::~TTransparentFlashPlayerControl() {
    // The parent must not keep a window procedure that points at a freed control.
    if (layeredParent_) {
        if (layeredParent_ == Parent() && !(layeredParent_->ComponentState() & csDestroying)) SwitchParent(false);
        else RestoreParent();
    }
    IncludeState(csDestroying);
    if (ContentManager) ContentManager->UnregisterControl(this);
    if (ViewObject) ViewObject->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    if (OleObject) {
        OleObject->Close(OLECLOSE_NOSAVE);
        OleObject->SetClientSite(nullptr);
        OleObject = nullptr;
        FlashObject_ = nullptr;
        ViewObject = nullptr;
        ViewObjectEx = nullptr;
        InPlaceObject = nullptr;
    }
    if (EventsConnected) EventsConnectionPoint->Unadvise(EventsCookie);
    EventsConnectionPoint = nullptr;
    ReleaseLayeredBuffers();
}

void TTransparentFlashPlayerControl::DefineProperties(TPropertyList& list) {
    TGraphicControl::DefineProperties(list);
    DefinePlayerEvents<TTransparentFlashPlayerControl>(list);
    using T = TTransparentFlashPlayerControl;
    OwnEvent(list, "OnUpdateRect", &T::OnUpdateRect);
    OwnEvent(list, "OnFlashPaint", &T::OnFlashPaint);
    OwnEvent(list, "OnDrawBackground", &T::OnDrawBackground);
    DefinePlayerProperties<TTransparentFlashPlayerControl>(list);
    TPropertyInfo& menu = list.Custom("StandartMenu", TPropertyKind::Boolean);
    menu.GetOrdinal = [](TPersistent& o) -> int64_t { return static_cast<T&>(o).StandartMenu() != 0; };
    menu.SetOrdinal = [](TPersistent& o, int64_t v) { static_cast<T&>(o).SetStandartMenu(v ? WordTrue : WordFalse); };
    menu.WithDefault(0);
    // Stored only when True; a form file sets it once the control has its parent.
    TPropertyInfo& layered = list.Custom("MakeParentTransparent", TPropertyKind::Boolean);
    layered.GetOrdinal = [](TPersistent& o) -> int64_t { return static_cast<T&>(o).MakeParentTransparent() != 0; };
    layered.SetOrdinal = [](TPersistent& o, int64_t v) {
        static_cast<T&>(o).SetMakeParentTransparent(v ? WordTrue : WordFalse);
    };
    layered.WithDefault(0);
}

// COM identity

HRESULT TTransparentFlashPlayerControl::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DShockwaveFlashEvents)
        *object = static_cast<IDispatch*>(site_.get());
    else if (iid == __uuidof(IFlashPlayerControlBase)) *object = static_cast<IFlashPlayerControlBase*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *object = static_cast<IOleInPlaceFrame*>(frame_.get());
    else if (iid == IID_IParseDisplayName || iid == IID_IOleContainer)
        *object = static_cast<IOleContainer*>(container_.get());
    else if (iid == IID_IOleControlSite) *object = static_cast<IOleControlSite*>(site_.get());
    else if (iid == IID_IOleInPlaceSiteWindowless) *object = static_cast<IOleInPlaceSiteWindowless*>(site_.get());
    else if (iid == IID_IOleClientSite) *object = static_cast<IOleClientSite*>(site_.get());
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TTransparentFlashPlayerControl::AddRef() { return static_cast<ULONG>(++RefCount); }
ULONG TTransparentFlashPlayerControl::Release() { return static_cast<ULONG>(--RefCount); }

// Hosting

HWND TTransparentFlashPlayerControl::ParentHandle() const {
    TWinControl* parent = Parent();
    return parent && parent->HandleAllocated() ? parent->Handle() : nullptr;
}

IOleInPlaceObjectWindowless* TTransparentFlashPlayerControl::WindowlessObject() const {
    // While WindowlessActive, InPlaceObject was obtained as the windowless interface.
    return WindowlessActive ? static_cast<IOleInPlaceObjectWindowless*>(InPlaceObject.Get()) : nullptr;
}

void TTransparentFlashPlayerControl::SetParent(TWinControl* parent) {
    if (parent == Parent()) return;
    // The form the layered mode took over gets its own window back before the control leaves.
    if (layeredParent_) SwitchParent(false);
    bool first = !Parent() && !FlashObject_;
    TGraphicControl::SetParent(parent);
    if (first && Parent()) {
        if (TComPtr<IUnknown> object = NewFlashObject()) {
            PutTransparentMode(object.Get());
            AttachFlashObject(object.Get());
        }
        Parent()->SetDoubleBuffered(true);
    }
    // The mode moves with the control to its new parent, as far as that parent can have it.
    if (makeParentTransparent_ && Parent() && !(ComponentState() & csLoading)) {
        if (TransparencyAvailable()) SwitchParent(true);
        else makeParentTransparent_ = WordFalse;
    }
}

HRESULT TTransparentFlashPlayerControl::AttachFlashObject(IUnknown* instance) {
    if (!instance) return S_OK;
    instance->QueryInterface(IID_IUnknown, FlashObject_.PutVoid());
    instance->QueryInterface(IID_IOleObject, OleObject.PutVoid());
    if (!OleObject) return S_OK;
    OleObject->SetClientSite(site_.get());
    ViewObject = OleObject.As<IViewObject>(IID_IViewObject);
    ViewObjectEx = OleObject.As<IViewObjectEx>(IID_IViewObjectEx);
    SIZEL extent = {PixelsToHimetric(Width()), PixelsToHimetric(Height())};
    OleObject->SetExtent(DVASPECT_CONTENT, &extent);
    HWND parentWindow = Parent()->Handle();
    RECT bounds = BoundsRect();
    OleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, parentWindow, &bounds);
    RedrawWindow(parentWindow, nullptr, nullptr, RedrawEverything);
    TComPtr<IObjectWithSite> withSite;
    if (instance->QueryInterface(IID_IObjectWithSite, withSite.PutVoid()) == S_OK && withSite)
        withSite->SetSite(static_cast<IDispatch*>(site_.get()));
    TComPtr<IConnectionPointContainer> points;
    HRESULT result = instance->QueryInterface(IID_IConnectionPointContainer, points.PutVoid());
    if (FAILED(result)) return result;
    result = points->FindConnectionPoint(DIID_DShockwaveFlashEvents, EventsConnectionPoint.Put());
    if (FAILED(result)) return result;
    result = EventsConnectionPoint->Advise(static_cast<IDispatch*>(site_.get()), &EventsCookie);
    if (FAILED(result)) return result;
    EventsConnected = true;
    return S_OK;
}

void TTransparentFlashPlayerControl::SetBounds(int left, int top, int width, int height) {
    if (OleObject) {
        SIZEL extent = {PixelsToHimetric(width), PixelsToHimetric(height)};
        OleObject->SetExtent(DVASPECT_CONTENT, &extent);
        RECT r = {left, top, left + width, top + height};
        if (InPlaceObject) InPlaceObject->SetObjectRects(&r, &r);
    }
    TGraphicControl::SetBounds(left, top, width, height);
}

// Painting

void TTransparentFlashPlayerControl::DrawObject(const RECTL& bounds) {
    HDC dc = Canvas()->Handle();
    if (!dc) return;  // the canvas exists only while the parent paints
    ViewObject->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, &bounds, nullptr, 0);
}

void TTransparentFlashPlayerControl::Paint() {
    if (!ViewObject || !WindowlessActive || Painting) return;
    Painting = true;
    try {
        if (OnDrawBackground) OnDrawBackground(this, Canvas());
        DrawObject(RECTL{0, 0, Width(), Height()});
    } catch (...) {
        Painting = false;
        throw;
    }
    Painting = false;
}

// Messages

void TTransparentFlashPlayerControl::WndProc(TMessage& message) {
    // In the layered mode the parent's window procedure hands the input to the object.
    if (makeParentTransparent_) {
        TGraphicControl::WndProc(message);
        return;
    }
    // A drag of the control takes the mouse from the player.
    if (HandleDragMessage(message)) return;
    if (message.Msg >= WM_MOUSEMOVE && message.Msg <= WM_MOUSEWHEEL) {
        if (message.Msg == WM_RBUTTONDOWN && !standartMenu_) return;
        RouteMouseMessage(message);
    } else if (message.Msg == CM_HITTEST) {
        message.Result = HitTest(message.LParam);
        return;
    }
    TGraphicControl::WndProc(message);
}

void TTransparentFlashPlayerControl::RouteMouseMessage(TMessage& message) {
    IOleInPlaceObjectWindowless* object = WindowlessObject();
    if (!object) return;  // an object with a window of its own takes its input there
    // Control coordinates become the parent's, each half a 16-bit addition.
    auto x = static_cast<uint16_t>((message.LParam & 0xFFFF) + Left());
    auto y = static_cast<uint16_t>(((message.LParam >> 16) & 0xFFFF) + Top());
    LPARAM converted = static_cast<LPARAM>(static_cast<uint32_t>(x) | (static_cast<uint32_t>(y) << 16));
    LRESULT result = 0;
    object->OnWindowMessage(message.Msg, message.WParam, converted, &result);
    // The object sets the cursor for the point it was just told about.
    object->OnWindowMessage(WM_SETCURSOR, message.WParam, MAKELPARAM(HTCLIENT, LOWORD(message.WParam)), &result);
}

LRESULT TTransparentFlashPlayerControl::HitTest(LPARAM point) {
    if (!ViewObjectEx) return 0;
    POINT location = {Left() + static_cast<int>(LOWORD(point)), Top() + static_cast<int>(HIWORD(point))};
    RECT bounds = BoundsRect();
    DWORD hit = HITRESULT_OUTSIDE;
    if (FAILED(ViewObjectEx->QueryHitPoint(DVASPECT_CONTENT, &bounds, location, 0, &hit))) return 0;
    return hit == HITRESULT_HIT ? 1 : 0;
}
