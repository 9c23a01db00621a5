#pragma once

/// \file
/// TFlashPlayerControl, the windowed player control.

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>

#include <memory>

#include "FlashPlayerControl/controls/FlashPlayerSurface.h"
#include "framework/ComPtr.h"
#include "framework/WinControl.h"

/// The windowed player control: a framework windowed control whose window is the player
/// object's own window. It is the object's OLE container (client site, in-place site and
/// frame, control site, ambient properties), adopts the object's window when the object is
/// in-place active, and routes window messages between the framework and that window.
/// Without a player object it is an empty window painted in the system window colour whose
/// properties keep the values assigned to them.
///
/// Make, use and free it on the main thread; its properties, methods and events are those of
/// TFlashPlayerSurface.
class TFlashPlayerControl : public TWinControl, public TFlashPlayerSurface {
public:
    /// Makes the control and its player object (none when no player module is mapped or the
    /// object cannot be made: no error). \p owner frees the control.
    explicit TFlashPlayerControl(TComponent* owner);
    /// Disconnects the events, closes and releases the player object (its window goes with it).
    ~TFlashPlayerControl() override;

    /// The class name form files use.
    const char* ClassName() const override { return "TFlashPlayerControl"; }
    /// Publishes the player properties and events to form files.
    void DefineProperties(TPropertyList& list) override;

    /// Whether the player's own context menu may appear (right button, menu key).
    WordBool StandartMenu() const { return standartMenu_; }
    /// Sets StandartMenu.
    void SetStandartMenu(WordBool value) { standartMenu_ = value ? WordTrue : WordFalse; }

    /// The player object, or null when none could be created.
    IOleObject* OleObject() const { return OleObject_.Get(); }

    /// Moves and sizes the control; a size the object refuses (SetExtent) keeps the old size.
    void SetBounds(int left, int top, int width, int height) override;
    /// Places the control and gives the object its client site and ambient properties.
    void SetParent(TWinControl* parent) override;

    /// IUnknown of the control's COM identity (shared by all its interfaces). The control
    /// counts references but is never freed by them: its owner frees it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    /// Counts a reference; never frees the control.
    ULONG STDMETHODCALLTYPE AddRef() override;
    /// Drops a reference; never frees the control.
    ULONG STDMETHODCALLTYPE Release() override;

    /// IPropertyNotifySink::OnChanged, for a descendant to override; answers S_OK.
    virtual HRESULT OnChanged(DISPID dispid);
    /// IPropertyNotifySink::OnRequestEdit, for a descendant to override; allows the edit (S_OK).
    virtual HRESULT OnRequestEdit(DISPID dispid);

    /// The object's natural extent becomes the control's size.
    HRESULT RequestNewObjectLayout();

protected:
    /// Makes the control around \p object instead of the player's own (tests supply one).
    TFlashPlayerControl(TComponent* owner, TComPtr<IOleObject> object);

    /// The player object, for TFlashPlayerSurface.
    IUnknown* PlayerObject() override { return OleObject_.Get(); }
    /// Whether the control is being designed.
    bool PlayerDesigning() override { return Designing(); }
    /// The control itself.
    TObject* PlayerEventSender() override { return this; }

    /// Activates the object in place and adopts its window as the control's. Raises
    /// EOleError ("OLE control activation failed") when the object does not activate.
    void CreateWnd() override;
    /// Closes the object, which destroys its own window; a later window activates it again.
    void DestroyWindowHandle() override;
    /// Routes mouse, key, menu and focus messages between the framework and the object.
    void WndProc(TMessage& message) override;
    /// Painting and erasing go to the object's window (or paint the empty control without one).
    void Dispatch(TMessage& message) override;
    /// Messages the control does not handle go to the object's window procedure.
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

/// Makes the player controls known to form files by their class names. The library's header
/// does this for every program that includes it. Main thread; repeated calls are harmless.
void RegisterPlayerControlClasses();

/// Screen pixels to the player's extent unit (0.01 mm) at the screen's pixels per inch.
int PixelsToHimetric(int pixels);
/// The player's extent unit (0.01 mm) to screen pixels at the screen's pixels per inch.
int HimetricToPixels(int himetric);
