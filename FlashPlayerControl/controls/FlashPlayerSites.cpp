#include "FlashPlayerControl/controls/FlashPlayerSites.h"

#include "FlashPlayerControl/loader/SystemCalls.h"

#include <olectl.h>

#include <cmath>

#include "framework/Application.h"
#include "framework/BStr.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Screen.h"

namespace {

const RECT UnlimitedClip = {0, 0, 32767, 32767};

// The menu bar the player's menus merge into: the control's form's, unless that form is an
// MDI child, then the main form's.
TMainMenu* ContainerMainMenu(TControl& control) {
    TCustomForm* form = GetParentForm(&control);
    if (form && form->FormStyle() != TFormStyle::fsMDIChild) return form->Menu();
    TCustomForm* mainForm = Application()->MainForm();
    return mainForm ? mainForm->Menu() : nullptr;
}

// An OLE font object for a framework font, as the ambient font property hands it out.
IFontDisp* NewFontDispatch(const TFont& font) {
    TBStr name(font.Name());
    FONTDESC desc = {};
    desc.cbSizeofstruct = sizeof(desc);
    desc.lpstrName = name.Get();
    desc.cySize.int64 = static_cast<LONGLONG>(font.Size()) * 10000;
    desc.sWeight = static_cast<SHORT>((font.Style() & fsBold) ? FW_BOLD : FW_NORMAL);
    desc.sCharset = DEFAULT_CHARSET;
    desc.fItalic = (font.Style() & fsItalic) != 0;
    desc.fUnderline = (font.Style() & fsUnderline) != 0;
    desc.fStrikethrough = (font.Style() & fsStrikeOut) != 0;
    IFontDisp* dispatch = nullptr;
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&dispatch));
    return dispatch;
}

void SetBool(VARIANT& v, bool value) {
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetInt(VARIANT& v, LONG value) {
    v.vt = VT_I4;
    v.lVal = value;
}

}  // namespace

// IOleClientSite

HRESULT TFlashPlayerControl::TSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT TFlashPlayerControl::TSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT TFlashPlayerControl::TSite::ShowObject() {
    // An error here must not unwind into the player object.
    try {
        control_.AttachObjectWindow();
    } catch (const Exception&) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::RequestNewObjectLayout() {
    try {
        return control_.RequestNewObjectLayout();
    } catch (const Exception&) {
        return E_FAIL;
    }
}

// IOleInPlaceSite

HRESULT TFlashPlayerControl::TSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = control_.ParentWindowHandle();
    return *window ? S_OK : E_FAIL;
}

HRESULT TFlashPlayerControl::TSite::OnInPlaceActivate() {
    control_.InPlaceObject = control_.OleObject_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    control_.InPlaceActiveObject = control_.OleObject_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::OnUIActivate() {
    control_.SetFormActiveObject(true);
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                                     LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = control_.frame_.get();
        control_.AddRef();
    }
    if (document) *document = nullptr;
    if (position) *position = control_.BoundsInParent();
    if (clip) *clip = UnlimitedClip;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = control_.TopLevelWindowHandle();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::OnUIDeactivate(BOOL) {
    control_.frame_->SetMenu(nullptr, nullptr, nullptr);
    control_.SetFormActiveObject(false);
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::OnInPlaceDeactivate() {
    control_.InPlaceActiveObject = nullptr;
    control_.InPlaceObject = nullptr;
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::DeactivateAndUndo() {
    if (control_.InPlaceObject) control_.InPlaceObject->UIDeactivate();
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::OnPosRectChange(LPCRECT position) {
    if (control_.InPlaceObject && position) control_.InPlaceObject->SetObjectRects(position, &UnlimitedClip);
    return S_OK;
}

// IOleControlSite

HRESULT TFlashPlayerControl::TSite::GetExtendedControl(IDispatch** control) {
    if (control) *control = nullptr;
    return E_NOTIMPL;
}

HRESULT TFlashPlayerControl::TSite::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
    if (!himetric || !container) return E_POINTER;
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
        container->x = static_cast<float>(HimetricToPixels(himetric->x));
        container->y = static_cast<float>(HimetricToPixels(himetric->y));
    } else {
        double perInch = Screen()->PixelsPerInch();
        himetric->x = static_cast<LONG>(std::lround(container->x * 2540.0 / perInch));
        himetric->y = static_cast<LONG>(std::lround(container->y * 2540.0 / perInch));
    }
    return S_OK;
}

// IDispatch

HRESULT TFlashPlayerControl::TSite::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

HRESULT TFlashPlayerControl::TSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TFlashPlayerControl::TSite::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                           VARIANT* result, EXCEPINFO*, UINT*) {
    HRESULT event = control_.DispatchPlayerEvent(dispid, params);
    if (event != DISP_E_MEMBERNOTFOUND) return event;
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    return AmbientProperty(dispid, *result);
}

HRESULT TFlashPlayerControl::TSite::AmbientProperty(DISPID dispid, VARIANT& result) {
    VariantInit(&result);
    switch (dispid) {
        case DISPID_AMBIENT_BACKCOLOR:
            // A system colour stays in its system-colour form.
            SetInt(result, control_.Color());
            return S_OK;
        case DISPID_AMBIENT_DISPLAYNAME:
            result.vt = VT_BSTR;
            result.bstrVal = TBStr(control_.Name()).Detach();
            return S_OK;
        case DISPID_AMBIENT_FONT: {
            const TFont* font = control_.ParentFont() && control_.Parent() ? control_.Parent()->Font() : control_.Font();
            result.vt = VT_DISPATCH;
            result.pdispVal = NewFontDispatch(*font);
            return S_OK;
        }
        case DISPID_AMBIENT_FORECOLOR:
            SetInt(result, control_.Font()->Color());
            return S_OK;
        case DISPID_AMBIENT_LOCALEID:
            SetInt(result, static_cast<LONG>(GetUserDefaultLCID()));
            return S_OK;
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_AUTOCLIP:
        case DISPID_AMBIENT_SUPPORTSMNEMONICS:
            SetBool(result, true);
            return S_OK;
        case DISPID_AMBIENT_USERMODE:
            SetBool(result, !control_.Designing());
            return S_OK;
        case DISPID_AMBIENT_UIDEAD:
            SetBool(result, control_.Designing());
            return S_OK;
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_SHOWHATCHING:
            SetBool(result, false);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// IOleInPlaceFrame

HRESULT TFlashPlayerControl::TFrame::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = control_.TopLevelWindowHandle();
    return S_OK;
}

HRESULT TFlashPlayerControl::TFrame::InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
    TMainMenu* menu = ContainerMainMenu(control_);
    if (!menu || !widths) return S_OK;
    // The container's groups: File, Container and Window.
    menu->PopulateOle2Menu(shared, {0, 2, 4}, widths->width);
    return S_OK;
}

HRESULT TFlashPlayerControl::TFrame::SetMenu(HMENU shared, HOLEMENU descriptor, HWND activeObject) {
    TMainMenu* menu = ContainerMainMenu(control_);
    if (!menu) return S_OK;
    menu->SetOle2MenuHandle(shared);
    HWND menuWindow = menu->WindowHandle() ? menu->WindowHandle()->Handle() : nullptr;
    return OleSetMenuDescriptor(shared ? descriptor : nullptr, menuWindow, activeObject, nullptr, nullptr);
}

HRESULT TFlashPlayerControl::TFrame::RemoveMenus(HMENU shared) {
    // An item that cannot be removed stays first for ever: stop there rather than spin.
    while (SystemCalls().GetMenuItemCount(shared) > 0)
        if (!SystemCalls().RemoveMenu(shared, 0, MF_BYPOSITION)) break;
    return S_OK;
}
