#pragma once

/// \file
/// TTransparentFlashPlayerControl, the windowless player control.

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <memory>

#include "FlashPlayerControl/controls/FlashPlayerSurface.h"
#include "framework/ComPtr.h"
#include "framework/Forms.h"
#include "framework/GraphicControl.h"

/// The windowless player control: a framework graphic control that hosts the player object
/// without a window. The object draws into the parent's device context over whatever the
/// parent painted beneath it, its invalidations become invalidations of the parent window,
/// and the mouse input the parent routes to the control reaches the object in the parent's
/// coordinates. The object is made when the control first gets a parent, in the player's
/// "Transparent" window mode. Keyboard input does not reach the object.
///
/// With MakeParentTransparent the control turns its parent form into a borderless layered
/// window that shows only the movie, with each pixel's own transparency: it covers the form's
/// client area, takes over the form's window procedure (keys, IME, cursor and mouse go to the
/// object) and renders every frame itself, over white and over black, to learn each pixel's
/// alpha (TransparentFlashPlayerLayered.cpp).
///
/// Make, use and free it on the main thread; its properties, methods and events are those of
/// TFlashPlayerSurface, plus OnUpdateRect, OnFlashPaint and OnDrawBackground.
class TTransparentFlashPlayerControl : public TGraphicControl, public TFlashPlayerSurface {
public:
    /// Makes the control; its player object follows with the first parent. \p owner frees it.
    explicit TTransparentFlashPlayerControl(TComponent* owner);
    /// Disconnects the events, closes and releases the player object.
    ~TTransparentFlashPlayerControl() override;

    /// The class name form files use.
    const char* ClassName() const override { return "TTransparentFlashPlayerControl"; }
    /// Publishes the player properties and the control's events to form files.
    void DefineProperties(TPropertyList& list) override;

    /// Whether a right-button press reaches the player object (its own context menu).
    WordBool StandartMenu() const { return standartMenu_; }
    /// Sets StandartMenu.
    void SetStandartMenu(WordBool value) { standartMenu_ = value ? WordTrue : WordFalse; }

    /// Whether the parent form is a per-pixel transparent layered window showing only the
    /// movie. Switching on needs TransparencyAvailable; otherwise the value stays False. Set
    /// while the control has no parent (or is being read from a form file), the mode starts
    /// once the parent is known.
    WordBool MakeParentTransparent() const { return makeParentTransparent_; }
    /// Sets MakeParentTransparent (main thread).
    virtual void SetMakeParentTransparent(WordBool value);

    /// The player object, or null before the first parent or when none could be made.
    IUnknown* FlashObject() const { return FlashObject_.Get(); }

    /// Places the control. The first parent makes the player object in "Transparent" mode (no
    /// object and no error without a player module) and turns on the parent's double buffering.
    void SetParent(TWinControl* parent) override;
    /// Moves and sizes the control and the object's drawing rectangle with it.
    void SetBounds(int left, int top, int width, int height) override;
    /// Passes the mouse input the parent routes here to the object; answers hit tests.
    void WndProc(TMessage& message) override;
    void Loaded() override;

    /// IUnknown of the control's one COM identity. The control counts references but is
    /// never freed by them: its owner frees it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    /// Counts a reference; never frees the control.
    ULONG STDMETHODCALLTYPE AddRef() override;
    /// Drops a reference; never frees the control.
    ULONG STDMETHODCALLTYPE Release() override;

    /// The object's invalidated area in parent coordinates; the handler may change it.
    TFlashPlayerControlUpdateRect OnUpdateRect;
    /// Slot for the drawn frame's pixels (form files keep it; not raised yet).
    TFlashPlayerControlOnFlashPaint OnFlashPaint;
    /// Draws beneath the movie at the start of each paint (main thread).
    TFlashPlayerControlOnDrawBackground OnDrawBackground;

protected:
    /// The player object, for TFlashPlayerSurface.
    IUnknown* PlayerObject() override { return FlashObject_.Get(); }
    /// Whether the control is being designed.
    bool PlayerDesigning() override { return Designing(); }
    /// The control itself.
    TObject* PlayerEventSender() override { return this; }

    /// Raises OnDrawBackground, then lets the object draw itself on the parent's canvas.
    void Paint() override;

private:
    class TSite;
    class TFrame;
    class TContainer;
    friend class TSite;
    friend class TFrame;
    friend class TContainer;
    // The benchmark renders layered frames of an object that draws nothing.
    friend class TLayeredRenderingBench;

    HRESULT AttachFlashObject(IUnknown* instance);
    void DrawObject(const RECTL& bounds);
    void RouteMouseMessage(TMessage& message);
    LRESULT HitTest(LPARAM point);
    // The parent's window, or null; never creates a window (the parent may be going away).
    HWND ParentHandle() const;
    // The in-place object's windowless interface while the object is active without a window.
    IOleInPlaceObjectWindowless* WindowlessObject() const;

    // Layered mode (TransparentFlashPlayerLayered.cpp).
    void SwitchParent(bool on);
    void TakeOverParent(TWinControl* parent);
    void RestoreParent();
    void ParentWindowProc(TMessage& message);
    // Hands a parent message to the windowless object; false without one.
    bool PassToObject(TMessage& message);
    void RenderLayered();
    void MakeLayeredBuffers(HDC memory, int width, int height);
    void ReleaseLayeredBuffers();

    LONG RefCount = 0;
    TComPtr<IUnknown> FlashObject_;
    TComPtr<IViewObject> ViewObject;
    TComPtr<IViewObjectEx> ViewObjectEx;
    TComPtr<IOleObject> OleObject;
    TComPtr<IOleInPlaceObject> InPlaceObject;
    bool InPlaceActive = false;
    bool WindowlessActive = false;
    bool MouseCaptured = false;
    bool HasFocus = false;
    bool UIActive = false;
    bool ContainerLocked = false;
    bool Painting = false;
    TWndMethod SavedParentWindowProc;
    TAlign SavedAlign = TAlign::alNone;
    RECT SavedBounds = {0, 0, 0, 0};
    LONG SavedParentExStyle = 0;
    LONG SavedParentStyle = 0;
    TFormBorderStyle SavedBorderStyle = TFormBorderStyle::bsSizeable;
    // The parent whose window procedure and styles the mode took over, or null.
    TWinControl* layeredParent_ = nullptr;
    TComPtr<IConnectionPoint> EventsConnectionPoint;
    bool EventsConnected = false;
    DWORD EventsCookie = 0;
    int BufferWidth = 0;
    int BufferHeight = 0;
    uint32_t* WhiteBits = nullptr;
    uint32_t* BlackBits = nullptr;
    uint32_t* ResultBits = nullptr;
    HBITMAP WhiteBitmap = nullptr;
    HBITMAP BlackBitmap = nullptr;
    HBITMAP ResultBitmap = nullptr;
    WordBool standartMenu_ = WordFalse;
    WordBool makeParentTransparent_ = WordFalse;

    std::unique_ptr<TSite> site_;
    std::unique_ptr<TFrame> frame_;
    std::unique_ptr<TContainer> container_;
};
