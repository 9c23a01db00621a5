#pragma once

#include "framework/Canvas.h"
#include "framework/Control.h"

// A control without a window: its parent paints it (Paint, on a canvas over the parent's
// device context with the origin moved to the control's corner) and hands it the mouse
// messages over its area that CM_HITTEST claims.
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;

    const char* ClassName() const override { return "TGraphicControl"; }
    // Valid while painting.
    TCanvas* Canvas() { return &canvas_; }

protected:
    virtual void Paint();
    void Dispatch(TMessage& message) override;

private:
    TCanvas canvas_;
};

// A graphic control that the program paints in OnPaint.
class TPaintBox : public TGraphicControl {
public:
    explicit TPaintBox(TComponent* owner);
    const char* ClassName() const override { return "TPaintBox"; }
    void DefineProperties(TPropertyList& list) override;

    const TNotifyEvent& OnPaint() const { return onPaint_; }
    void SetOnPaint(const TNotifyEvent& e) { onPaint_ = e; }

protected:
    void Paint() override;

private:
    TNotifyEvent onPaint_;
};
