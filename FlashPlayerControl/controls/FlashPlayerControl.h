#pragma once

// The windowed player control: a framework windowed control whose window is the player
// object's own window. It is the object's OLE container (client site, in-place site and
// frame, control site, ambient properties), adopts the object's window when the object is
// in-place active, and routes window messages between the framework and that window.
// Without a player object it is an empty window painted in the system window colour whose
// properties keep the values assigned to them.

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>

#include <memory>

#include "FlashPlayerControl/controls/FlashPlayerSurface.h"
#include "framework/ComPtr.h"
#include "framework/WinControl.h"

class TFlashPlayerControl : public TWinControl, public TFlashPlayerSurface {
public:
    explicit TFlashPlayerControl(TComponent* owner);
    ~TFlashPlayerControl() override;

    const char* ClassName() const override { return "TFlashPlayerControl"; }
    void DefineProperties(TPropertyList& list) override;

    // Whether the player's own context menu may appear (right button, menu key).
    WordBool StandartMenu() const { return standartMenu_; }
    void SetStandartMenu(WordBool value) { standartMenu_ = value ? WordTrue : WordFalse; }

    // The player object, or null when none could be created.
    IOleObject* OleObject() const { return OleObject_.Get(); }

    void SetBounds(int left, int top, int width, int height) override;
    void SetParent(TWinControl* parent) override;

    // IUnknown of the control's COM identity (shared by all its interfaces). The control
    // counts references but is never freed by them: its owner frees it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPropertyNotifySink, as virtual operations a descendant may use.
    virtual HRESULT OnChanged(DISPID dispid);
    virtual HRESULT OnRequestEdit(DISPID dispid);

    // The object's natural extent becomes the control's size.
    HRESULT RequestNewObjectLayout();

protected:
    // Makes the control's player object; a test control may supply another.
    TFlashPlayerControl(TComponent* owner, TComPtr<IOleObject> object);

    IUnknown* PlayerObject() override { return OleObject_.Get(); }
    bool PlayerDesigning() override { return Designing(); }
    TObject* PlayerEventSender() override { return this; }

    void CreateWnd() override;
    void DestroyWindowHandle() override;
    void WndProc(TMessage& message) override;
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

private:
    class TSite;
    class TFrame;
    friend class TSite;
    friend class TFrame;

    static TComPtr<IOleObject> AcquireFlashObject();
    void Construct();
    void ConnectControl();
    void DisconnectControl();
    void AttachObjectWindow();
    void SetFormActiveObject(bool active);
    void EnsureClientSite();
    HWND ParentWindowHandle();
    HWND TopLevelWindowHandle();
    RECT BoundsInParent() const { return BoundsRect(); }
    void InPlaceActivate(LONG verb);
    void MouseMessage(TMessage& message);
    void ContextMenuFromRightButton(TMessage& message);
    void DialogKey(TMessage& message);
    void PaintWithoutObject(TMessage& message);

    LONG RefCount = 0;
    TComPtr<IOleObject> OleObject_;
    TComPtr<IOleControl> OleControl;
    TComPtr<IDispatch> ControlDispatch;
    TComPtr<IPerPropertyBrowsing> PropertyBrowsing;
    TComPtr<IOleInPlaceObject> InPlaceObject;
    TComPtr<IOleInPlaceActiveObject> InPlaceActiveObject;
    DWORD PropertyNotifyCookie = 0;
    TComPtr<IConnectionPoint> EventsConnectionPoint;
    bool EventsConnected = false;
    DWORD EventsCookie = 0;
    WordBool standartMenu_ = WordFalse;

    std::unique_ptr<TSite> site_;
    std::unique_ptr<TFrame> frame_;
};

// Makes the player controls known to form files by their class names. The library's header
// does this for every program that includes it.
void RegisterPlayerControlClasses();

// Pixels and the player's extent unit (0.01 mm) at the screen's pixels per inch.
int PixelsToHimetric(int pixels);
int HimetricToPixels(int himetric);
