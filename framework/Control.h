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

// Which sides of its parent a control keeps its distance to when the parent is resized
// (bit numbers of the TAnchors mask). Left and right together stretch it; neither keeps it
// centred.
enum TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TAnchors = uint8_t;
constexpr TAnchors DefaultAnchors = (1u << akLeft) | (1u << akTop);

// Cursors by number: 0 and the negative ones are the system's.
using TCursor = int;
enum : int {
    crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSize = -5,
    crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10,
    crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15,
    crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20,
    crHandPoint = -21, crSizeAll = -22,
};
// The system cursor shown for a cursor number (the arrow for numbers it does not know).
HCURSOR CursorHandle(TCursor cursor);

// dmAutomatic: a left press and a move begin dragging the control.
enum class TDragMode { dmManual, dmAutomatic };
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TDragDropEvent = TMethod<void(TObject* sender, TObject* source, int x, int y)>;
using TDragOverEvent =
    TMethod<void(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept)>;
using TEndDragEvent = TMethod<void(TObject* sender, TObject* target, int x, int y)>;
using TStartDragEvent = TMethod<void(TObject* sender)>;

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

    // Anchoring to the parent's sides, applied when the parent's client area changes size.
    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors value) { anchors_ = value; }

    // Hints: the text the application shows in a small window after the mouse rests on the
    // control. ShowHint follows the parent's while ParentShowHint is set.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    bool ShowHint() const;
    void SetShowHint(bool value);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool value);

    // Dragging the control onto another with the mouse.
    TCursor DragCursor() const { return dragCursor_; }
    void SetDragCursor(TCursor value) { dragCursor_ = value; }
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode value) { dragMode_ = value; }
    // Starts a drag of this control: at once, or when the mouse has moved a few pixels with
    // the left button held. The drag follows the mouse until the button is released.
    void BeginDrag(bool immediate);
    // Ends this control's drag, dropping it on the control under the mouse when drop is set
    // and that control accepts it.
    void EndDrag(bool drop);
    bool Dragging() const;
    const TDragDropEvent& OnDragDrop() const { return onDragDrop_; }
    void SetOnDragDrop(const TDragDropEvent& e) { onDragDrop_ = e; }
    const TDragOverEvent& OnDragOver() const { return onDragOver_; }
    void SetOnDragOver(const TDragOverEvent& e) { onDragOver_ = e; }
    const TEndDragEvent& OnEndDrag() const { return onEndDrag_; }
    void SetOnEndDrag(const TEndDragEvent& e) { onEndDrag_ = e; }
    const TStartDragEvent& OnStartDrag() const { return onStartDrag_; }
    void SetOnStartDrag(const TStartDragEvent& e) { onStartDrag_ = e; }
    // A dragged control over this one: whether it would be accepted here (false without an
    // OnDragOver handler); and the drop itself.
    virtual bool DragOver(TObject* source, int x, int y, TDragState state);
    virtual void DragDrop(TObject* source, int x, int y);
    // Raise OnStartDrag and OnEndDrag (target null when nothing took the drop).
    virtual void DoStartDrag();
    virtual void DoEndDrag(TObject* target, int x, int y);

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
    // The mouse messages of a drag: a press that begins an automatic drag, and the moves and
    // release while this control is dragged. True when the message was consumed. WndProc
    // runs it first; a control that handles mouse messages before WndProc calls it itself.
    bool HandleDragMessage(TMessage& message);
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

    TAnchors anchors_ = DefaultAnchors;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    TCursor dragCursor_ = crDrag;
    TDragMode dragMode_ = TDragMode::dmManual;
    TDragDropEvent onDragDrop_;
    TDragOverEvent onDragOver_;
    TEndDragEvent onEndDrag_;
    TStartDragEvent onStartDrag_;

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
const TIdentMap& AnchorIdents();
const TIdentMap& DragModeIdents();
const TIdentMap& CursorIdents();
