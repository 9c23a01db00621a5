#pragma once

#include "framework/Canvas.h"
#include "framework/WinControl.h"

class TMainMenu;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderIcons = uint8_t;
enum : uint8_t { biSystemMenu = 1 << 0, biMinimize = 1 << 1, biMaximize = 1 << 2, biHelp = 1 << 3 };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TPosition { poDesigned, poDefault, poScreenCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = TMethod<void(TObject* sender, TCloseAction& action)>;

// A top-level window holding controls. It keeps track of the control that has (or will
// get) the keyboard focus, and of the one embedded OLE control that is UI active: when it
// gives the focus to its active control it sends that control CM_UIACTIVATE, and when the
// focus moves to another control it sends CM_UIDEACTIVATE to the UI-active embedded one.
class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    const char* ClassName() const override { return "TCustomForm"; }
    void DefineProperties(TPropertyList& list) override;
    void GetChildren(std::vector<TComponent*>& children, TComponent* root) override;
    bool HasParent() const override { return false; }

    void SetClientWidth(int value);
    void SetClientHeight(int value);
    int ClientWidth() const override;
    int ClientHeight() const override;

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    // A change of a form that has a window re-creates the window.
    void SetBorderStyle(TFormBorderStyle value);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons value);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle value);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition value) { position_ = value; }
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int value) { pixelsPerInch_ = value; }

    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);
    // Shows menu as the window's menu bar (a merged OLE menu); null restores Menu.
    void SetMenuHandle(HMENU menu);

    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* control);
    // The embedded OLE control of this form that is UI active (at most one).
    TControl* ActiveOleControl() const { return activeOleControl_; }
    void SetActiveOleControl(TControl* control) { activeOleControl_ = control; }
    TWinControl* FocusedControl() const { return focusedControl_; }
    bool Active() const { return active_; }
    // Valid inside OnPaint.
    TCanvas* Canvas() { return &canvas_; }

    // Moves the focus to control (a control on this form).
    void FocusControl(TWinControl* control);
    // Called when control received the window focus; returns false to refuse it.
    bool SetFocusedControl(TWinControl* control);
    // Gives the window focus to the active control (the form itself without one).
    void SetWindowFocus();
    // A control of the form is going away: forget references to it.
    void ControlRemoving(TControl* control);
    // Moves the focus to the next (or previous) control in tab order.
    void SelectNext(TWinControl* current, bool forward);

    void Close();
    void Release();
    // Raises OnCreate; the application calls it once the form file is read.
    void DoCreate();

    const TNotifyEvent& OnCreate() const { return onCreate_; }
    void SetOnCreate(const TNotifyEvent& e) { onCreate_ = e; }
    const TNotifyEvent& OnShow() const { return onShow_; }
    void SetOnShow(const TNotifyEvent& e) { onShow_ = e; }
    const TNotifyEvent& OnPaint() const { return onPaint_; }
    void SetOnPaint(const TNotifyEvent& e) { onPaint_ = e; }
    const TCloseEvent& OnClose() const { return onClose_; }
    void SetOnClose(const TCloseEvent& e) { onClose_ = e; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& message) override;
    void PaintWindow(HDC dc) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void FrameSize(int& dx, int& dy) const;
    void ShowForm(bool visible);
    void Activated(bool active);

    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
    TPosition position_ = TPosition::poDesigned;
    int pixelsPerInch_ = 96;
    TMainMenu* menu_ = nullptr;
    HMENU menuHandle_ = nullptr;
    TWinControl* activeControl_ = nullptr;
    TWinControl* focusedControl_ = nullptr;
    TControl* activeOleControl_ = nullptr;
    bool active_ = false;
    TCanvas canvas_;
    TNotifyEvent onCreate_, onShow_, onPaint_;
    TCloseEvent onClose_;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    const char* ClassName() const override { return "TForm"; }
};
