#include "FlashPlayerControl/controls/TransparentFlashPlayerSites.h"

#include "FlashPlayerControl/loader/SystemCalls.h"

namespace {

const RECT UnlimitedClip = {0, 0, 32767, 32767};

}  // namespace

// IOleClientSite

HRESULT TTransparentFlashPlayerControl::TSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT TTransparentFlashPlayerControl::TSite::GetContainer(IOleContainer** container) {
    if (!container) return E_POINTER;
    return control_.QueryInterface(IID_IOleContainer, reinterpret_cast<void**>(container));
}

HRESULT TTransparentFlashPlayerControl::TSite::ShowObject() {
    if (!control_.ViewObject) return S_OK;
    RECT bounds = control_.BoundsRect();
    control_.DrawObject(RECTL{bounds.left, bounds.top, bounds.right, bounds.bottom});
    return S_OK;
}

// IOleInPlaceSite

HRESULT TTransparentFlashPlayerControl::TSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = control_.ParentHandle();
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnInPlaceActivate() {
    control_.InPlaceActive = true;
    OleLockRunning(control_.OleObject.Get(), TRUE, FALSE);
    control_.WindowlessActive = false;
    control_.InPlaceObject = control_.OleObject.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnUIActivate() {
    control_.UIActive = true;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                                IOleInPlaceUIWindow** document, LPRECT position,
                                                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = control_.frame_.get();
        control_.AddRef();
    }
    if (document) *document = nullptr;
    if (position) *position = control_.BoundsRect();
    if (clip) *clip = UnlimitedClip;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = control_.ParentHandle();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnUIDeactivate(BOOL) {
    control_.UIActive = false;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnInPlaceDeactivate() {
    control_.InPlaceActive = false;
    control_.InPlaceObject = nullptr;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnInPlaceActivateEx(BOOL*, DWORD flags) {
    TTransparentFlashPlayerControl& c = control_;
    c.InPlaceActive = true;
    OleLockRunning(c.OleObject.Get(), TRUE, FALSE);
    c.InPlaceObject = nullptr;
    if (flags & ACTIVATE_WINDOWLESS)
        c.InPlaceObject = c.OleObject.As<IOleInPlaceObject>(IID_IOleInPlaceObjectWindowless);
    c.WindowlessActive = static_cast<bool>(c.InPlaceObject);
    if (!c.WindowlessActive) c.InPlaceObject = c.OleObject.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (c.InPlaceObject) {
        RECT bounds = c.BoundsRect();
        c.InPlaceObject->SetObjectRects(&bounds, &bounds);
    }
    return S_OK;
}

// IOleInPlaceSiteWindowless

HRESULT TTransparentFlashPlayerControl::TSite::GetCapture() { return control_.MouseCaptured ? S_OK : S_FALSE; }

HRESULT TTransparentFlashPlayerControl::TSite::SetCapture(BOOL capture) {
    control_.SetMouseCapture(capture != FALSE);
    control_.MouseCaptured = capture != FALSE;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::GetFocus() { return control_.HasFocus ? S_OK : S_FALSE; }

HRESULT TTransparentFlashPlayerControl::TSite::SetFocus(BOOL focus) {
    control_.HasFocus = focus != FALSE;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::GetDC(LPCRECT, DWORD, HDC* dc) {
    if (dc) *dc = nullptr;
    return E_FAIL;
}

HRESULT TTransparentFlashPlayerControl::TSite::ReleaseDC(HDC dc) {
    ::ReleaseDC(control_.ParentHandle(), dc);
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::InvalidateRect(LPCRECT rect, BOOL erase) {
    RECT area = rect ? *rect : control_.BoundsRect();
    if (control_.OnUpdateRect) {
        // A request for the whole area shows the handler the control's bounds; its changes
        // then do not narrow the whole-area repaint.
        try {
            control_.OnUpdateRect(&control_, area);
        } catch (...) {
            // A handler's error must not unwind into the player object.
        }
    }
    ::InvalidateRect(control_.ParentHandle(), rect ? &area : nullptr, erase);
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::InvalidateRgn(HRGN region, BOOL erase) {
    if (control_.OnUpdateRect) {
        RECT box = {0, 0, 0, 0};
        if (!region || GetRgnBox(region, &box) == 0) box = RECT{0, 0, 0, 0};
        try {
            control_.OnUpdateRect(&control_, box);
        } catch (...) {
        }
    }
    ::InvalidateRgn(control_.ParentHandle(), region, erase);
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                                                  LRESULT* result) {
    LRESULT answer = control_.Perform(msg, wParam, lParam);
    if (result) *result = answer;
    return S_OK;
}

// IOleControlSite

HRESULT TTransparentFlashPlayerControl::TSite::GetExtendedControl(IDispatch** control) {
    if (!control) return E_POINTER;
    *control = nullptr;
    if (!control_.OleObject) return E_NOINTERFACE;
    return control_.OleObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(control));
}

HRESULT TTransparentFlashPlayerControl::TSite::OnFocus(BOOL gotFocus) {
    control_.HasFocus = gotFocus != FALSE;
    return S_OK;
}

// IDispatch

HRESULT TTransparentFlashPlayerControl::TSite::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

HRESULT TTransparentFlashPlayerControl::TSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TTransparentFlashPlayerControl::TSite::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                                      VARIANT*, EXCEPINFO*, UINT*) {
    return control_.DispatchPlayerEvent(dispid, params);
}

// IOleInPlaceFrame

HRESULT TTransparentFlashPlayerControl::TFrame::RemoveMenus(HMENU shared) {
    // An item that cannot be removed stays first for ever: stop there rather than spin.
    while (SystemCalls().GetMenuItemCount(shared) > 0)
        if (!SystemCalls().RemoveMenu(shared, 0, MF_BYPOSITION)) break;
    return S_OK;
}

// IOleContainer

HRESULT TTransparentFlashPlayerControl::TContainer::ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*,
                                                                     IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT TTransparentFlashPlayerControl::TContainer::EnumObjects(DWORD, IEnumUnknown** objects) {
    if (objects) *objects = nullptr;
    return E_NOTIMPL;
}

HRESULT TTransparentFlashPlayerControl::TContainer::LockContainer(BOOL lock) {
    control_.ContainerLocked = lock != FALSE;
    return S_OK;
}
