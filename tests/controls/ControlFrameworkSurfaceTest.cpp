// The framework half of both player controls' published surface, and the framework
// behaviour behind it: anchoring on parent resize, hints, drag and drop with the mouse, and
// enter and exit on focus changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"
#include "framework/GraphicControl.h"
#include "framework/Hints.h"
#include "framework/StdCtrls.h"

namespace {

std::string NameOf(TObject* object) {
    auto* component = dynamic_cast<TComponent*>(object);
    return component ? component->Name() : "nil";
}

// A form whose handlers write down what happened, in order.
class TLogForm : public TForm {
public:
    explicit TLogForm(TComponent* owner) : TForm(owner) {
        PublishMethod<&TLogForm::Drop>("Drop");
        PublishMethod<&TLogForm::Over>("Over");
        PublishMethod<&TLogForm::EndDrag>("EndDrag");
        PublishMethod<&TLogForm::StartDrag>("StartDrag");
        PublishMethod<&TLogForm::Enter>("Enter");
        PublishMethod<&TLogForm::Exit>("Exit");
    }
    const char* ClassName() const override { return "TLogForm"; }

    void Drop(TObject* sender, TObject* source, int x, int y) {
        Log.push_back("drop " + NameOf(source) + " on " + NameOf(sender) + " at " + std::to_string(x) + "," +
                      std::to_string(y));
    }
    void Over(TObject* sender, TObject* source, int, int, TDragState state, bool& accept) {
        accept = AcceptOn == NameOf(sender);
        if (state == TDragState::dsDragEnter) Log.push_back("enter " + NameOf(sender) + " with " + NameOf(source));
        if (state == TDragState::dsDragLeave) Log.push_back("leave " + NameOf(sender));
        if (state == TDragState::dsDragMove) CursorDuringMove = GetCursor();
    }
    void EndDrag(TObject* sender, TObject* target, int, int) {
        Log.push_back("end " + NameOf(sender) + " on " + NameOf(target));
    }
    void StartDrag(TObject* sender) { Log.push_back("start " + NameOf(sender)); }
    void Enter(TObject* sender) { Log.push_back("enter " + NameOf(sender)); }
    void Exit(TObject* sender) { Log.push_back("exit " + NameOf(sender)); }

    std::vector<std::string> Log;
    std::string AcceptOn;
    HCURSOR CursorDuringMove = nullptr;
};

const char* const PlayersFile = R"(object LogForm: TLogForm
  Left = 40
  Top = 40
  Width = 420
  Height = 320
  object Player: TFlashPlayerControl
    Left = 8
    Top = 8
    Width = 120
    Height = 90
    Anchors = [akLeft, akTop, akRight, akBottom]
    DragCursor = crHandPoint
    DragMode = dmAutomatic
    ParentShowHint = False
    ShowHint = True
    OnDragDrop = Drop
    OnDragOver = Over
    OnEndDrag = EndDrag
    OnEnter = Enter
    OnExit = Exit
    OnStartDrag = StartDrag
  end
  object Clear: TTransparentFlashPlayerControl
    Left = 200
    Top = 8
    Width = 120
    Height = 90
    Anchors = [akTop, akRight]
    DragCursor = crCross
    DragMode = dmAutomatic
    ParentShowHint = False
    ShowHint = True
    OnDragDrop = Drop
    OnDragOver = Over
    OnEndDrag = EndDrag
    OnStartDrag = StartDrag
  end
  object Box: TPaintBox
    Left = 8
    Top = 150
    Width = 100
    Height = 60
    OnDragDrop = Drop
    OnDragOver = Over
  end
  object Button: TButton
    Left = 200
    Top = 150
    Width = 100
    Height = 30
    OnDragOver = Over
    OnEnter = Enter
    OnExit = Exit
  end
end
)";

class ControlFrameworkSurface : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        StartFlashPlayerLibrary();
        RegisterPlayerControlClasses();
        RegisterComponentClass<TPaintBox>("TPaintBox");
        RegisterComponentClass<TButton>("TButton");
        form_ = std::make_unique<TLogForm>(nullptr);
        ReadComponentText(form_.get(), PlayersFile);
        player_ = form_->Find<TFlashPlayerControl>("Player");
        clear_ = form_->Find<TTransparentFlashPlayerControl>("Clear");
        box_ = form_->Find<TPaintBox>("Box");
        button_ = form_->Find<TButton>("Button");
    }
    void TearDown() override {
        form_.reset();
        StopFlashPlayerLibrary();
        CoUninitialize();
    }
    void ShowForm() {
        form_->Show();
        SetForegroundWindow(form_->Handle());
        Pump(50);
        form_->Log.clear();   // showing focuses the first control
    }
    static void Pump(int milliseconds) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                HintMessage(msg);
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Sleep(5);
        } while (GetTickCount() < end);
    }
    // A mouse message to a control at a point of another control's client area.
    static void Mouse(TControl* to, UINT message, TControl* over, int x, int y) {
        const POINT screen = over->ClientToScreen(POINT{x, y});
        const POINT p = to->ScreenToClient(screen);
        to->Perform(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                    MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
    }

    std::unique_ptr<TLogForm> form_;
    TFlashPlayerControl* player_ = nullptr;
    TTransparentFlashPlayerControl* clear_ = nullptr;
    TPaintBox* box_ = nullptr;
    TButton* button_ = nullptr;
};

}  // namespace

TEST_F(ControlFrameworkSurface, FormFilesStoreTheFrameworkPropertiesAndEventsInOrder) {
    EXPECT_EQ(player_->Anchors(), (1u << akLeft) | (1u << akTop) | (1u << akRight) | (1u << akBottom));
    EXPECT_EQ(player_->DragCursor(), crHandPoint);
    EXPECT_EQ(player_->DragMode(), TDragMode::dmAutomatic);
    EXPECT_FALSE(player_->ParentShowHint());
    EXPECT_TRUE(player_->ShowHint());
    EXPECT_TRUE(player_->OnDragDrop() && player_->OnDragOver() && player_->OnEndDrag() && player_->OnStartDrag());
    EXPECT_TRUE(player_->OnEnter() && player_->OnExit());
    EXPECT_EQ(clear_->Anchors(), (1u << akTop) | (1u << akRight));
    EXPECT_EQ(clear_->DragCursor(), crCross);
    EXPECT_TRUE(clear_->OnDragDrop() && clear_->OnStartDrag());
    // A windowless control takes no focus: it has no enter and exit to publish.
    EXPECT_EQ(clear_->Properties().Find("OnEnter"), nullptr);
    EXPECT_EQ(clear_->Properties().Find("TabStop"), nullptr);

    const std::string text = WriteComponentText(form_.get());
    for (const char* control : {"object Player: TFlashPlayerControl", "object Clear: TTransparentFlashPlayerControl"}) {
        SCOPED_TRACE(control);
        const size_t begin = text.find(control);
        ASSERT_NE(begin, std::string::npos);
        const std::string part = text.substr(begin, text.find("\n  end", begin) - begin);
        size_t last = 0;
        for (const char* name : {"Anchors = ", "DragCursor = ", "DragMode = dmAutomatic", "ParentShowHint = False",
                                 "ShowHint = True", "OnDragDrop = Drop", "OnDragOver = Over",
                                 "OnEndDrag = EndDrag", "OnStartDrag = StartDrag"}) {
            const size_t at = part.find(name);
            ASSERT_NE(at, std::string::npos) << name << "\n" << part;
            EXPECT_GT(at, last) << name << " comes in its place";
            last = at;
        }
    }
    // What was written reads back the same.
    TLogForm again(nullptr);
    ReadComponentText(&again, text);
    EXPECT_EQ(WriteComponentText(&again), text);
}

TEST_F(ControlFrameworkSurface, AnchoredControlsFollowTheParentsResize) {
    ShowForm();
    const RECT player = player_->BoundsRect(), clear = clear_->BoundsRect(), box = box_->BoundsRect();
    box_->SetAnchors(0);   // centred both ways
    form_->SetBounds(form_->Left(), form_->Top(), form_->Width() + 100, form_->Height() + 60);
    Pump(20);
    EXPECT_EQ(player_->Left(), player.left);
    EXPECT_EQ(player_->Width(), player.right - player.left + 100) << "left and right: stretched";
    EXPECT_EQ(player_->Height(), player.bottom - player.top + 60);
    EXPECT_EQ(clear_->Left(), clear.left + 100) << "right only: moved along";
    EXPECT_EQ(clear_->Top(), clear.top);
    EXPECT_EQ(clear_->Width(), clear.right - clear.left);
    EXPECT_EQ(box_->Left(), box.left + 50) << "neither side: kept centred";
    EXPECT_EQ(box_->Top(), box.top + 30);
    EXPECT_EQ(button_->Left(), 200) << "the default anchors keep left and top";
}

TEST_F(ControlFrameworkSurface, DraggingAPlayerDropsItOnAControlThatAcceptsIt) {
    ShowForm();
    form_->AcceptOn = "Box";
    // The windowed player: press, move over the refusing button, then over the box, release.
    Mouse(player_, WM_LBUTTONDOWN, player_, 10, 10);
    EXPECT_TRUE(player_->Dragging());
    Mouse(player_, WM_MOUSEMOVE, player_, 12, 11);   // within the threshold: no drag yet
    EXPECT_TRUE(form_->Log.empty());
    Mouse(player_, WM_MOUSEMOVE, button_, 5, 5);
    EXPECT_EQ(GetCursor(), CursorHandle(crNoDrop));
    Mouse(player_, WM_MOUSEMOVE, box_, 20, 15);
    Mouse(player_, WM_MOUSEMOVE, box_, 21, 16);
    EXPECT_EQ(form_->CursorDuringMove, CursorHandle(crHandPoint)) << "the player's DragCursor";
    Mouse(player_, WM_LBUTTONUP, box_, 22, 17);
    EXPECT_FALSE(player_->Dragging());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(form_->Log, (std::vector<std::string>{"start Player", "enter Button with Player", "leave Button",
                                                   "enter Box with Player", "drop Player on Box at 22,17",
                                                   "end Player on Box"}));

    // The windowless player, released over the button that refuses: no drop, the end still.
    form_->Log.clear();
    Mouse(clear_, WM_LBUTTONDOWN, clear_, 10, 10);
    Mouse(clear_, WM_MOUSEMOVE, button_, 5, 5);
    Mouse(clear_, WM_LBUTTONUP, button_, 5, 5);
    EXPECT_EQ(form_->Log, (std::vector<std::string>{"start Clear", "enter Button with Clear", "end Clear on nil"}));
    EXPECT_FALSE(clear_->Dragging());

    // A press and release without moving is no drag; OnEndDrag still closes it.
    form_->Log.clear();
    Mouse(player_, WM_LBUTTONDOWN, player_, 10, 10);
    Mouse(player_, WM_LBUTTONUP, player_, 10, 10);
    EXPECT_EQ(form_->Log, (std::vector<std::string>{"end Player on nil"}));

    // dmManual: a press is an ordinary press.
    player_->SetDragMode(TDragMode::dmManual);
    form_->Log.clear();
    Mouse(player_, WM_LBUTTONDOWN, player_, 10, 10);
    EXPECT_FALSE(player_->Dragging());
    Mouse(player_, WM_LBUTTONUP, player_, 10, 10);
    EXPECT_TRUE(form_->Log.empty());
}

TEST_F(ControlFrameworkSurface, EnterAndExitFollowTheFocusBetweenControlsOfTheForm) {
    ShowForm();
    player_->SetFocus();
    Pump(20);
    button_->SetFocus();
    Pump(20);
    player_->SetFocus();
    Pump(20);
    // Showing the form focused the button, the first control in tab order.
    EXPECT_EQ(form_->Log, (std::vector<std::string>{"exit Button", "enter Player", "exit Player", "enter Button",
                                                   "exit Button", "enter Player"}));
}

TEST_F(ControlFrameworkSurface, HintsAppearAfterThePauseForControlsThatShowThem) {
    ShowForm();
    HintSettings().HintPause = 50;
    player_->SetHint("Windowed player");
    button_->SetHint("No hint: ShowHint follows the form's, which is off");
    PostMessageA(button_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    Pump(200);
    EXPECT_EQ(HintControl(), button_);
    EXPECT_EQ(HintWindow(), nullptr);

    PostMessageA(player_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    Pump(20);
    EXPECT_EQ(HintWindow(), nullptr) << "not before the pause";
    Pump(250);
    ASSERT_NE(HintWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(HintWindow()));
    char text[64] = {};
    GetWindowTextA(HintWindow(), text, sizeof text);
    EXPECT_STREQ(text, "Windowed player");

    // A windowless control gets its hint through its parent's mouse messages.
    box_->SetHint("Windowless box");
    box_->SetShowHint(true);
    const POINT p = {box_->Left() + 5, box_->Top() + 5};
    PostMessageA(form_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    Pump(20);
    EXPECT_EQ(HintControl(), box_);
    EXPECT_EQ(HintWindow(), nullptr) << "moving to another control hides the hint";
    Pump(250);
    ASSERT_NE(HintWindow(), nullptr);
    GetWindowTextA(HintWindow(), text, sizeof text);
    EXPECT_STREQ(text, "Windowless box");
    PostMessageA(form_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageA(form_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Pump(20);
    EXPECT_EQ(HintWindow(), nullptr) << "a press hides it";
    HintSettings() = THintSettings();
}
