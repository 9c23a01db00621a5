// Message routing of the toolkit's controls: dispatch and the default handler, mouse
// events, capture, hit testing of windowless controls and adoption of foreign windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/GraphicControl.h"
#include "framework/WinControl.h"

namespace {

constexpr UINT WM_PROBE = WM_USER + 7;

// A windowed control that answers WM_PROBE itself and leaves everything else to the
// framework.
class TProbeControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    int Probes = 0;

protected:
    void Dispatch(TMessage& message) override {
        if (message.Msg == WM_PROBE) {
            ++Probes;
            message.Result = 7;
            return;
        }
        TWinControl::Dispatch(message);
    }
};

// Records the mouse events a control raises.
struct TMouseLog {
    std::vector<std::string> Events;
    void Down(TObject*, TMouseButton b, TShiftState s, int x, int y) {
        Events.push_back("down " + std::to_string(static_cast<int>(b)) + " " + std::to_string(s) + " " +
                         std::to_string(x) + "," + std::to_string(y));
    }
    void Up(TObject*, TMouseButton b, TShiftState, int x, int y) {
        Events.push_back("up " + std::to_string(static_cast<int>(b)) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    void Move(TObject*, TShiftState, int x, int y) {
        Events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    }
    void Click(TObject*) { Events.push_back("click"); }
    void DblClick(TObject*) { Events.push_back("dblclick"); }

    void Attach(TControl* c) {
        c->SetOnMouseDown(TMouseEvent::Of<&TMouseLog::Down>(this));
        c->SetOnMouseUp(TMouseEvent::Of<&TMouseLog::Up>(this));
        c->SetOnMouseMove(TMouseMoveEvent::Of<&TMouseLog::Move>(this));
        c->SetOnClick(TNotifyEvent::Of<&TMouseLog::Click>(this));
        c->SetOnDblClick(TNotifyEvent::Of<&TMouseLog::DblClick>(this));
    }
};

// A windowless control that claims only the right half of its area.
class THalfHitControl : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;

protected:
    void Dispatch(TMessage& message) override {
        if (message.Msg == CM_HITTEST) {
            message.Result = (message.LParam & 0xFFFF) >= static_cast<LPARAM>(Width() / 2) ? 1 : 0;
            return;
        }
        TGraphicControl::Dispatch(message);
    }
};

class ControlMessages : public ::testing::Test {
protected:
    void SetUp() override {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 400, 300);
        form->HandleNeeded();
    }
    void TearDown() override { delete form; }

    TForm* form = nullptr;
};

TEST_F(ControlMessages, HandlersAnswerTheirMessagesAndTheRestReachesTheWindowProcedure) {
    auto control = new TProbeControl(form);
    control->SetParent(form);
    HWND window = control->Handle();
    EXPECT_EQ(7, SendMessageA(window, WM_PROBE, 0, 0));
    EXPECT_EQ(7, control->Perform(WM_PROBE));
    EXPECT_EQ(2, control->Probes);
    // WM_SETTEXT has no handler of ours: DefWindowProc stores the text.
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("default"));
    char text[32] = {};
    GetWindowTextA(window, text, sizeof(text));
    EXPECT_STREQ("default", text);
    // The framework's own messages never reach the window procedure.
    EXPECT_EQ(0, control->Perform(CM_UIACTIVATE));
}

TEST_F(ControlMessages, ReplacingTheWindowProcSlotSeesEveryMessageFirst) {
    auto control = new TProbeControl(form);
    control->SetParent(form);
    struct TSpy {
        TWndMethod Saved;
        std::vector<UINT> Seen;
        void Proc(TMessage& m) {
            Seen.push_back(m.Msg);
            Saved(m);
        }
    } spy;
    spy.Saved = control->WindowProc;
    control->WindowProc = TWndMethod::Of<&TSpy::Proc>(&spy);
    EXPECT_EQ(7, SendMessageA(control->Handle(), WM_PROBE, 0, 0));
    ASSERT_FALSE(spy.Seen.empty());
    EXPECT_EQ(WM_PROBE, spy.Seen.back());
    control->WindowProc = spy.Saved;
}

struct TMouseCase {
    UINT Msg;
    WPARAM Keys;
    std::vector<std::string> Expected;
};

TEST_F(ControlMessages, EachMouseButtonMessageRaisesItsEvents) {
    const TMouseCase cases[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON, {"down 0 8 3,4"}},
        {WM_RBUTTONDOWN, MK_RBUTTON, {"down 1 16 3,4"}},
        {WM_MBUTTONDOWN, MK_MBUTTON, {"down 2 32 3,4"}},
        {WM_LBUTTONDBLCLK, MK_LBUTTON, {"dblclick", "down 0 72 3,4"}},
        {WM_RBUTTONDBLCLK, MK_RBUTTON, {"down 1 80 3,4"}},
        {WM_MBUTTONDBLCLK, MK_MBUTTON, {"down 2 96 3,4"}},
        {WM_RBUTTONUP, 0, {"up 1 3,4"}},
        {WM_MBUTTONUP, 0, {"up 2 3,4"}},
        {WM_MOUSEMOVE, 0, {"move 3,4"}},
    };
    for (const TMouseCase& c : cases) {
        auto control = new TProbeControl(form);
        control->SetBounds(0, 0, 50, 50);
        control->SetParent(form);
        TMouseLog log;
        log.Attach(control);
        control->Perform(c.Msg, c.Keys, PointToLParam(3, 4));
        EXPECT_EQ(c.Expected, log.Events) << "message " << std::hex << c.Msg;
        SetCaptureControl(nullptr);
        delete control;
    }
}

TEST_F(ControlMessages, APressAndReleaseInsideClicksAndOutsideDoesNot) {
    auto control = new TProbeControl(form);
    control->SetBounds(0, 0, 50, 50);
    control->SetParent(form);
    TMouseLog log;
    log.Attach(control);
    control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(3, 4));
    control->Perform(WM_LBUTTONUP, 0, PointToLParam(5, 6));
    EXPECT_EQ((std::vector<std::string>{"down 0 8 3,4", "click", "up 0 5,6"}), log.Events);
    log.Events.clear();
    control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(3, 4));
    control->Perform(WM_LBUTTONUP, 0, PointToLParam(-5, 60));
    EXPECT_EQ((std::vector<std::string>{"down 0 8 3,4", "up 0 -5,60"}), log.Events);
}

TEST_F(ControlMessages, StyleDecidesDoubleClicksAndStandardEvents) {
    auto control = new TProbeControl(form);
    control->SetParent(form);
    TMouseLog log;
    log.Attach(control);
    control->SetControlStyle(control->ControlStyle() & ~csDoubleClicks);
    control->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, PointToLParam(1, 1));
    EXPECT_EQ((std::vector<std::string>{"down 0 8 1,1"}), log.Events);
    SetCaptureControl(nullptr);
    log.Events.clear();
    control->SetControlStyle(csDoubleClicks | csNoStdEvents);
    control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(1, 1));
    control->Perform(WM_LBUTTONUP, 0, PointToLParam(1, 1));
    control->Perform(WM_MOUSEMOVE, 0, PointToLParam(1, 1));
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(ControlMessages, LeftPressCapturesTheMouseUntilRelease) {
    form->Show();
    auto control = new TProbeControl(form);
    control->SetBounds(0, 0, 50, 50);
    control->SetParent(form);
    control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(3, 4));
    EXPECT_EQ(control->Handle(), GetCapture());
    EXPECT_TRUE(control->MouseCapture());
    control->Perform(WM_LBUTTONUP, 0, PointToLParam(3, 4));
    EXPECT_EQ(nullptr, GetCapture());
    // Without the style flag nothing is captured.
    control->SetControlStyle(control->ControlStyle() & ~csCaptureMouse);
    control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(3, 4));
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(ControlMessages, ParentRoutesMouseToWindowlessChildByHitTest) {
    form->Show();
    auto below = new TPaintBox(form);
    below->SetBounds(10, 10, 100, 100);
    below->SetParent(form);
    auto above = new THalfHitControl(form);
    above->SetBounds(10, 10, 100, 100);
    above->SetParent(form);
    TMouseLog belowLog, aboveLog;
    belowLog.Attach(below);
    aboveLog.Attach(above);
    // The left half of the upper control does not claim the point: the lower one gets it.
    SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, PointToLParam(20, 30));
    EXPECT_EQ((std::vector<std::string>{"move 10,20"}), belowLog.Events);
    EXPECT_TRUE(aboveLog.Events.empty());
    SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, PointToLParam(100, 30));
    EXPECT_EQ((std::vector<std::string>{"move 90,20"}), aboveLog.Events);
    // Outside both: the form itself.
    TMouseLog formLog;
    formLog.Attach(form);
    SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, PointToLParam(200, 200));
    EXPECT_EQ((std::vector<std::string>{"move 200,200"}), formLog.Events);
    EXPECT_EQ(1u, belowLog.Events.size());
}

TEST_F(ControlMessages, CapturedWindowlessControlGetsMouseOutsideItsArea) {
    form->Show();
    auto box = new TPaintBox(form);
    box->SetBounds(10, 10, 50, 50);
    box->SetParent(form);
    TMouseLog log;
    log.Attach(box);
    SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam(20, 20));
    EXPECT_EQ(form->Handle(), GetCapture());
    EXPECT_EQ(box, GetCaptureControl());
    SendMessageA(form->Handle(), WM_MOUSEMOVE, MK_LBUTTON, PointToLParam(200, 5));
    SendMessageA(form->Handle(), WM_LBUTTONUP, 0, PointToLParam(200, 5));
    EXPECT_EQ((std::vector<std::string>{"down 0 8 10,10", "move 190,-5", "up 0 190,-5"}), log.Events);
    EXPECT_EQ(nullptr, GetCapture());
}

// A window of another window procedure, as an embedded object makes its own.
int ForeignCalls = 0;
LRESULT CALLBACK ForeignProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 5) {
        ++ForeignCalls;
        return 42;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

TEST_F(ControlMessages, AdoptedForeignWindowDispatchesThroughTheControlFirst) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ForeignProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ForeignTestWindow";
    RegisterClassA(&wc);
    HWND foreign = CreateWindowExA(0, "ForeignTestWindow", "", WS_CHILD, 0, 0, 10, 10, form->Handle(), nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_NE(nullptr, foreign);
    auto control = new TProbeControl(form);
    control->AdoptWindow(foreign);
    EXPECT_EQ(foreign, control->Handle());
    EXPECT_EQ(control, TWinControl::FindControl(foreign));
    EXPECT_EQ(7, SendMessageA(foreign, WM_PROBE, 0, 0));
    EXPECT_EQ(1, control->Probes);
    ForeignCalls = 0;
    EXPECT_EQ(42, SendMessageA(foreign, WM_USER + 5, 0, 0));
    EXPECT_EQ(1, ForeignCalls);
    control->ReleaseAdoptedWindow();
    EXPECT_FALSE(control->HandleAllocated());
    EXPECT_EQ(nullptr, TWinControl::FindControl(foreign));
    EXPECT_EQ(0, SendMessageA(foreign, WM_PROBE, 0, 0));
    EXPECT_EQ(42, SendMessageA(foreign, WM_USER + 5, 0, 0));
    DestroyWindow(foreign);
    delete control;
}

TEST_F(ControlMessages, ControlWithoutParentWindowCannotMakeItsWindow) {
    TProbeControl orphan(nullptr);
    orphan.SetName("Orphan");
    try {
        orphan.HandleNeeded();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ("Control 'Orphan' has no parent window", e.Message);
    }
}

}  // namespace
