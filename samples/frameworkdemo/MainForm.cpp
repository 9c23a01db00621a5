#include "samples/frameworkdemo/MainForm.h"

#include <string>

#include "framework/Application.h"

TDemoForm::TDemoForm(TComponent* owner) : TForm(owner) {
    PublishMethod<&TDemoForm::FormCreate>("FormCreate");
    PublishMethod<&TDemoForm::ButtonCountClick>("ButtonCountClick");
    PublishMethod<&TDemoForm::ButtonCloseClick>("ButtonCloseClick");
    PublishMethod<&TDemoForm::CheckBoxBoldClick>("CheckBoxBoldClick");
    PublishMethod<&TDemoForm::CheckBoxBarClick>("CheckBoxBarClick");
    PublishMethod<&TDemoForm::BarPaint>("BarPaint");
    PublishMethod<&TDemoForm::BarMouseDown>("BarMouseDown");
    PublishMethod<&TDemoForm::AutoCloseTimer>("AutoCloseTimer");
}

void TDemoForm::FormCreate(TObject*) {
    labelCount_ = Find<TLabel>("LabelCount");
    bar_ = Find<TPaintBox>("Bar");
    checkBoxBold_ = Find<TCheckBox>("CheckBoxBold");
    checkBoxBar_ = Find<TCheckBox>("CheckBoxBar");
    autoClose_ = Find<TTimer>("TimerAutoClose");
    checkBoxBar_->SetChecked(bar_->Visible());
    ShowCount();
    // Unattended runs (tests) press the buttons themselves and close after a moment.
    if (std::string(GetCommandLineA()).find("/autoclose") != std::string::npos) {
        ButtonCountClick(this);
        checkBoxBold_->SetChecked(true);
        autoClose_->SetEnabled(true);
    }
}

void TDemoForm::ButtonCountClick(TObject*) {
    ++count_;
    ShowCount();
}

void TDemoForm::ButtonCloseClick(TObject*) { Close(); }

void TDemoForm::CheckBoxBoldClick(TObject*) {
    labelCount_->Font()->SetStyle(checkBoxBold_->Checked() ? fsBold : 0);
}

void TDemoForm::CheckBoxBarClick(TObject*) { bar_->SetVisible(checkBoxBar_->Checked()); }

void TDemoForm::BarPaint(TObject*) {
    TCanvas* canvas = bar_->Canvas();
    RECT all = bar_->ClientRect();
    canvas->SetBrushColor(clWhite);
    canvas->FillRect(all);
    // One tenth of the bar per press, wrapping after ten.
    RECT filled = all;
    filled.right = all.left + (all.right - all.left) * (count_ % 11) / 10;
    canvas->SetBrushColor(clNavy);
    canvas->FillRect(filled);
    canvas->SetPenColor(clBlack);
    canvas->FrameRect(all);
}

void TDemoForm::BarMouseDown(TObject*, TMouseButton button, TShiftState, int, int) {
    if (button == TMouseButton::mbLeft) ButtonCountClick(this);
}

void TDemoForm::AutoCloseTimer(TObject*) {
    autoClose_->SetEnabled(false);
    Close();
}

void TDemoForm::ShowCount() {
    labelCount_->SetCaption("Pressed " + std::to_string(count_) + (count_ == 1 ? " time" : " times"));
    bar_->Invalidate();
}
