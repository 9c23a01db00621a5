#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Control.h"
#include "framework/Instance.h"

// What CreateWnd hands to the system: CreateParams fills it, derived classes adjust it.
struct TCreateParams {
    std::string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    HMENU Menu = nullptr;
    WNDCLASSA WindowClass = {};
    std::string WinClassName;
};

// A control with a window of its own. The window is made when first needed (Handle) in
// overridable steps: CreateParams, CreateWnd, CreateWindowHandle; and destroyed by
// DestroyHandle through DestroyWnd and DestroyWindowHandle. Every window message reaches
// WindowProc; what the handlers leave goes to the window's own procedure (DefWndProc: the
// class's procedure of a subclassed system control, DefWindowProc otherwise, or the
// procedure a foreign window had before AdoptWindow).
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    const char* ClassName() const override { return "TWinControl"; }
    void DefineProperties(TPropertyList& list) override;

    // The window, made on first use. A control without a parent and without ParentWindow
    // raises Exception.
    HWND Handle() const;
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() const { Handle(); }
    // The window procedure that unhandled messages go to.
    WNDPROC DefWndProc() const { return defWndProc_; }
    // The owner window of a control that has no parent control.
    HWND ParentWindow() const { return parentWindow_; }
    void SetParentWindow(HWND window);

    // Makes a window created elsewhere (by another window procedure) this control's window:
    // the control registers itself as the one under creation, installs the framework's
    // initial window procedure and sends WM_NULL, which binds the window. Messages then go
    // through the control first and what it leaves to the window's previous procedure.
    void AdoptWindow(HWND window);
    // Gives an adopted window its previous procedure back and forgets it without
    // destroying it.
    void ReleaseAdoptedWindow();

    void SetBounds(int left, int top, int width, int height) override;
    int ClientWidth() const override;
    int ClientHeight() const override;

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    bool ContainsControl(const TControl* control) const;
    // The topmost child at pos (client coordinates) that answers CM_HITTEST with a hit.
    TControl* ControlAtPos(POINT pos, bool allowDisabled, bool allowWinControls = false);
    void MoveControlToFront(TControl* control);
    // Sends message to every child; Broadcast stops at the first that answers non-zero.
    void NotifyControls(UINT msg);
    void Broadcast(TMessage& message);
    void Realign();

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);
    int TabOrder() const;
    void SetTabOrder(int value);
    // Windowed children in tab order.
    std::vector<TWinControl*> TabList() const { return tabList_; }
    virtual bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();

    // Raised when the control becomes and stops being the focused control of its form.
    const TNotifyEvent& OnEnter() const { return onEnter_; }
    void SetOnEnter(const TNotifyEvent& e) { onEnter_ = e; }
    const TNotifyEvent& OnExit() const { return onExit_; }
    void SetOnExit(const TNotifyEvent& e) { onExit_ = e; }
    virtual void DoEnter();
    virtual void DoExit();

    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool value) { doubleBuffered_ = value; }

    void GetChildren(std::vector<TComponent*>& children, TComponent* root) override;
    void SetText(const std::string& value) override;
    void Invalidate() override;
    void Update() override;
    // Destroys the window and makes a new one; children keep their objects and get new
    // windows too.
    void RecreateWnd();
    void CreateHandle();
    void DestroyHandle();

    // Paints the windowless children into dc (the window's own coordinates).
    void PaintControls(HDC dc);

    // The control a window belongs to, or null.
    static TWinControl* FindControl(HWND window);

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& params);
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();
    // Fills the class of params from a system class (BUTTON, ...) whose procedure then
    // becomes DefWndProc.
    void CreateSubClass(TCreateParams& params, const char* systemClass);
    // Forgets the window without destroying it.
    void DetachHandle();

    void WndProc(TMessage& message) override;
    void Dispatch(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    // Paints the window itself (not the windowless children); default: its own procedure.
    virtual void PaintWindow(HDC dc);
    virtual void AlignControls(RECT& rect);
    // Reads the window's real position back into the bounds.
    void UpdateBounds();
    HBRUSH BrushHandle();

    HWND handle_ = nullptr;
    WNDPROC defWndProc_ = nullptr;

private:
    friend LRESULT CALLBACK InitWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK StdWndProc(HWND, UINT, WPARAM, LPARAM);
    void Bind(HWND window);
    bool IsControlMouseMsg(TMessage& message);
    bool ReflectToControl(HWND child, TMessage& message);
    void PaintHandler(HDC dc);
    void Paint(TMessage& message);
    void KeyDown(TMessage& message);
    void UpdateVisibility();
    void ApplyAnchors(const RECT& client);

    HWND parentWindow_ = nullptr;
    std::vector<TControl*> controls_;   // z-order: later ones lie on top
    std::vector<TWinControl*> tabList_;
    bool tabStop_ = false;
    bool doubleBuffered_ = false;
    HBRUSH brush_ = nullptr;
    TColor brushColor_ = 0;
    // The client size the children's anchors were last applied for; -1 until measured.
    int anchorClientWidth_ = -1, anchorClientHeight_ = -1;
    TNotifyEvent onEnter_, onExit_;
};

