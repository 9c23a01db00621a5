#pragma once

#include <cstdint>

#include "framework/Component.h"

// A periodic timer driven by the message loop of the thread that created it: OnTimer runs
// on that thread every Interval milliseconds while Enabled. It runs only while an event
// handler is assigned and the interval is above zero.
class TTimer : public TComponent {
public:
    using TNotifyEvent = ::TNotifyEvent;

    explicit TTimer(TComponent* owner = nullptr);
    ~TTimer() override;

    const char* ClassName() const override { return "TTimer"; }
    void DefineProperties(TPropertyList& list) override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t milliseconds);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(const TNotifyEvent& handler);

    // What one tick does; called from the timer's window procedure.
    virtual void Timer();

private:
    void UpdateTimer();

    void* window_ = nullptr;    // hidden message-only window receiving WM_TIMER
    bool enabled_ = true;
    uint32_t interval_ = 1000;
    TNotifyEvent onTimer_;
};
