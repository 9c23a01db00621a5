#pragma once

#include "framework/Forms.h"
#include "framework/GraphicControl.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"

// The demonstration form: everything on it comes from MainForm.fpcform.
class TDemoForm : public TForm {
public:
    explicit TDemoForm(TComponent* owner);
    const char* ClassName() const override { return "TDemoForm"; }

    void FormCreate(TObject* sender);
    void ButtonCountClick(TObject* sender);
    void ButtonCloseClick(TObject* sender);
    void CheckBoxBoldClick(TObject* sender);
    void CheckBoxBarClick(TObject* sender);
    void BarPaint(TObject* sender);
    void BarMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    void AutoCloseTimer(TObject* sender);

private:
    void ShowCount();

    int count_ = 0;
    TLabel* labelCount_ = nullptr;
    TPaintBox* bar_ = nullptr;
    TCheckBox* checkBoxBold_ = nullptr;
    TCheckBox* checkBoxBar_ = nullptr;
    TTimer* autoClose_ = nullptr;
};
