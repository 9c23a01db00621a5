#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/Graphics.h"
#include "framework/Messages.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TShiftState = uint8_t;
enum : uint8_t {
    ssShift = 1 << 0, ssAlt = 1 << 1, ssCtrl = 1 << 2, ssLeft = 1 << 3,
    ssRight = 1 << 4, ssMiddle = 1 << 5, ssDouble = 1 << 6,
};
// The shift state of a mouse message's key flags (wParam), with Alt read from the keyboard.
TShiftState KeysToShiftState(WPARAM keys);

using TMouseEvent = TMethod<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = TMethod<void(TObject* sender, TShiftState shift, int x, int y)>;
using TWndMethod = TMethod<void(TMessage& message)>;

// What a control class does by itself.
using TControlStyle = uint32_t;
enum : uint32_t {
    csAcceptsControls = 1u << 0,  // may parent other controls
    csCaptureMouse = 1u << 1,     // captures the mouse while the left button is down
    csClickEvents = 1u << 2,      // a left press and release inside raises OnClick
    csSetCaption = 1u << 3,
    csOpaque = 1u << 4,           // paints its whole area; the parent skips erasing under it
    csDoubleClicks = 1u << 5,     // double clicks arrive as such, not as a second press
    csNoStdEvents = 1u << 6,      // the mouse events are raised by the control itself
    csReplicatable = 1u << 7,
    csReflector = 1u << 8,
    csFramed = 1u << 9,
};
// Transient state of a control.
enum : uint32_t {
    csLButtonDown = 1u << 0,
    csClicked = 1u << 1,
    csAligning = 1u << 2,
    csCreatingHandle = 1u << 3,
    csDestroyingHandle = 1u << 4,
    csCopyingParentFont = 1u << 5,
};

// A visual component: bounds within its parent, visibility, colour, font, mouse input and a
// message procedure. Every message goes through the WindowProc slot (WndProc unless someone
// replaces it), then Dispatch, which calls a handler by message number, and the handlers
// continue with the default handler for whatever they leave.
class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    const char* ClassName() const override { return "TControl"; }
    void DefineProperties(TPropertyList& list) override;

    // Bounds in the parent's client coordinates (screen coordinates for a top-level form).
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
    void SetTop(int value) { SetBounds(left_, value, width_, height_); }
    void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
    void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
    void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    virtual int ClientWidth() const { return width_; }
    virtual int ClientHeight() const { return height_; }
    RECT ClientRect() const { return RECT{0, 0, ClientWidth(), ClientHeight()}; }
    POINT ClientToScreen(POINT p) const;
    POINT ScreenToClient(POINT p) const;

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign value);

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool value);
    TFont* Font() const { return font_.get(); }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    const std::string& Caption() const { return text_; }
    void SetCaption(const std::string& value) { SetText(value); }
    const std::string& Text() const { return text_; }
    virtual void SetText(const std::string& value);

    TControlStyle ControlStyle() const { return controlStyle_; }
    void SetControlStyle(TControlStyle style) { controlStyle_ = style; }
    uint32_t ControlState() const { return controlState_; }

    // Sends a message to this control directly (not through the system) and returns its
    // result.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    TWndMethod WindowProc;
    virtual void WndProc(TMessage& message);
    virtual void Dispatch(TMessage& message);
    // What a message no handler consumed gets; for a control without a window, nothing.
    virtual void DefaultHandler(TMessage& message);

    bool MouseCapture() const;
    void SetMouseCapture(bool value);
    // Ends the mouse mode (capture) of every other control: a press starts a new one.
    void SendCancelMode(TControl* sender);

    virtual void Invalidate();
    // Repaints now.
    virtual void Update();
    void BringToFront();

    const TNotifyEvent& OnClick() const { return onClick_; }
    void SetOnClick(const TNotifyEvent& e) { onClick_ = e; }
    const TNotifyEvent& OnDblClick() const { return onDblClick_; }
    void SetOnDblClick(const TNotifyEvent& e) { onDblClick_ = e; }
    const TMouseEvent& OnMouseDown() const { return onMouseDown_; }
    void SetOnMouseDown(const TMouseEvent& e) { onMouseDown_ = e; }
    const TMouseEvent& OnMouseUp() const { return onMouseUp_; }
    void SetOnMouseUp(const TMouseEvent& e) { onMouseUp_ = e; }
    const TMouseMoveEvent& OnMouseMove() const { return onMouseMove_; }
    void SetOnMouseMove(const TMouseMoveEvent& e) { onMouseMove_ = e; }

    // Raise the events; derived controls that switch the standard events off call them.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void Loaded() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // Repaints the control's area of its parent.
    void InvalidateControl();
    void IncludeControlState(uint32_t flags) { controlState_ |= flags; }
    void ExcludeControlState(uint32_t flags) { controlState_ &= ~flags; }
    // Stores the bounds without moving anything (the window moved by itself).
    void StoreBounds(int left, int top, int width, int height);
    void RequestAlign();
    virtual void FontChanged();

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::string text_;
    bool visible_ = true;
    TColor color_ = clBtnFace;
    bool parentColor_ = true;
    bool parentFont_ = true;

private:
    void MouseButtonDown(TMessage& message, TMouseButton button, TShiftState shift);
    void MouseButtonUp(TMessage& message, TMouseButton button);
    void FontChangedEvent(TObject* sender) { (void)sender; FontChanged(); }
    void ContextMenu(TMessage& message);

    TWinControl* parent_ = nullptr;
    bool enabled_ = true;
    TAlign align_ = TAlign::alNone;
    std::unique_ptr<TFont> font_;
    TPopupMenu* popupMenu_ = nullptr;
    TControlStyle controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    uint32_t controlState_ = 0;

    TNotifyEvent onClick_, onDblClick_;
    TMouseEvent onMouseDown_, onMouseUp_;
    TMouseMoveEvent onMouseMove_;

    friend class TWinControl;
};

// The form a control lies on (the control itself when it is a form), or null.
TCustomForm* GetParentForm(TControl* control);
// The control that has the mouse captured: a windowed control, or a windowless one whose
// parent holds the capture on its behalf.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* control);

const TIdentMap& AlignIdents();
