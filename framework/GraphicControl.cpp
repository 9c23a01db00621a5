#include "framework/GraphicControl.h"

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Paint() {}

void TGraphicControl::Dispatch(TMessage& message) {
    if (message.Msg == WM_PAINT && message.WParam) {
        canvas_.SetHandle(reinterpret_cast<HDC>(message.WParam));
        canvas_.Font()->Assign(*Font());
        canvas_.SetBrushColor(Color());
        try {
            Paint();
        } catch (...) {
            canvas_.SetHandle(nullptr);
            throw;
        }
        canvas_.SetHandle(nullptr);
        return;
    }
    TControl::Dispatch(message);
}

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner) {
    StoreBounds(0, 0, 105, 105);
}

void TPaintBox::DefineProperties(TPropertyList& list) {
    TGraphicControl::DefineProperties(list);
    list.Event("OnPaint", &TPaintBox::OnPaint, &TPaintBox::SetOnPaint);
}

void TPaintBox::Paint() {
    if (onPaint_) onPaint_(this);
}
