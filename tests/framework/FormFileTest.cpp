// Components and form files: ownership, names, reading with setter order, binding of event
// handlers and references, writing and reading back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"

namespace {

std::vector<std::string> SetterLog;

// A control whose setters record the order they run in.
class TRecorder : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    const char* ClassName() const override { return "TRecorder"; }
    void DefineProperties(TPropertyList& list) override {
        TGraphicControl::DefineProperties(list);
        list.Integer("Alpha", &TRecorder::Alpha, &TRecorder::SetAlpha);
        list.String("Beta", &TRecorder::Beta, &TRecorder::SetBeta);
        list.Boolean("Gamma", &TRecorder::Gamma, &TRecorder::SetGamma);
    }
    void SetParent(TWinControl* parent) override {
        SetterLog.push_back(Name() + ".Parent");
        TGraphicControl::SetParent(parent);
    }
    int Alpha() const { return alpha_; }
    void SetAlpha(int v) { SetterLog.push_back(Name() + ".Alpha=" + std::to_string(v)); alpha_ = v; }
    const std::string& Beta() const { return beta_; }
    void SetBeta(const std::string& v) { SetterLog.push_back(Name() + ".Beta=" + v); beta_ = v; }
    bool Gamma() const { return gamma_; }
    void SetGamma(bool v) { SetterLog.push_back(Name() + ".Gamma=" + (v ? "1" : "0")); gamma_ = v; }
    void Loaded() override {
        SetterLog.push_back(Name() + ".Loaded");
        TGraphicControl::Loaded();
    }

private:
    int alpha_ = 0;
    std::string beta_;
    bool gamma_ = false;
};

class TDemoForm : public TForm {
public:
    explicit TDemoForm(TComponent* owner) : TForm(owner) {
        PublishMethod<&TDemoForm::ButtonClick>("ButtonClick");
        PublishMethod<&TDemoForm::FormCreate>("FormCreate");
        PublishMethod<&TDemoForm::FormMouseDown>("MouseDown");
    }
    const char* ClassName() const override { return "TDemoForm"; }
    void ButtonClick(TObject* sender) { Clicked.push_back(static_cast<TComponent*>(sender)->Name()); }
    void FormCreate(TObject*) { Created = true; }
    void FormMouseDown(TObject*, TMouseButton, TShiftState, int, int) {}
    std::vector<std::string> Clicked;
    bool Created = false;
};

const char* const DemoFile = R"(object DemoForm: TDemoForm
  Left = 10
  Top = 20
  ActiveControl = Button2
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'It''s a '#13#10'form' +
    ' indeed'
  ClientHeight = 150
  ClientWidth = 250
  Color = clBtnFace
  Font.Height = -13
  Font.Name = 'Arial'
  Font.Style = [fsBold]
  Menu = MainMenu1
  OnCreate = FormCreate
  Position = poScreenCenter
  object MainMenu1: TMainMenu
    object FileItem: TMenuItem
      Caption = '&File'
      object ExitItem: TMenuItem
        Caption = 'E&xit'
        GroupIndex = 2
        OnClick = ButtonClick
      end
    end
  end
  object Popup: TPopupMenu
    AutoPopup = False
  end
  object OpenDialog1: TOpenDialog
    Filter = 'JPEG (*.jpg)|*.jpg|All Files (*.*)|*.*'
    Options = [ofFileMustExist, ofHideReadOnly]
  end
  object Timer1: TTimer
    Enabled = False
    Interval = 250
  end
  object Button1: TButton
    Left = 8
    Top = 100
    Width = 120
    Height = 25
    Caption = 'Press'
    PopupMenu = Popup
    TabOrder = 1
    OnClick = ButtonClick
    OnMouseDown = MouseDown
  end
  object Button2: TButton
    Left = 130
    Top = 100
    Width = 120
    Height = 25
    Caption = 'Second'
    TabOrder = 0
  end
  object Check: TCheckBox
    Left = 8
    Top = 8
    Width = 97
    Height = 17
    Caption = 'Ticked'
    Checked = True
    OnClick = ButtonClick
  end
  object Label1: TLabel
    Left = 8
    Top = 30
    Width = 200
    Height = 40
    Caption = 'Wrapped text'
    WordWrap = True
  end
end
)";

TEST(Components, OwnedComponentsAreFreedWithTheirOwner) {
    struct TTracked : TComponent {
        TTracked(TComponent* owner, int* count) : TComponent(owner), Count(count) { ++*Count; }
        ~TTracked() override { --*Count; }
        int* Count;
    };
    int alive = 0;
    auto owner = new TComponent(nullptr);
    auto child = new TTracked(owner, &alive);
    new TTracked(child, &alive);
    new TTracked(owner, &alive);
    EXPECT_EQ(3, alive);
    EXPECT_EQ(2, owner->ComponentCount());
    delete owner;
    EXPECT_EQ(0, alive);
}

TEST(Components, NamesAreIdentifiersUniqueWithinTheOwner) {
    TComponent owner(nullptr);
    auto a = new TComponent(&owner);
    a->SetName("Alpha");
    auto b = new TComponent(&owner);
    EXPECT_THROW(b->SetName("alpha"), Exception);
    EXPECT_THROW(b->SetName("1st"), Exception);
    b->SetName("Beta");
    EXPECT_EQ(b, owner.FindComponent("BETA"));
    EXPECT_EQ(a, owner.Find<TComponent>("Alpha"));
    EXPECT_THROW(owner.Find<TComponent>("Gamma"), Exception);
}

TEST(Components, DesignFlagReachesOwnedComponents) {
    TComponent owner(nullptr);
    auto child = new TComponent(&owner);
    owner.SetDesigning(true);
    EXPECT_TRUE(child->ComponentState() & csDesigning);
    auto late = new TComponent(&owner);
    EXPECT_TRUE(late->Designing());
    owner.SetDesigning(false);
    EXPECT_FALSE(child->Designing());
}

TEST(FormFiles, ReadingSetsParentFirstThenValuesInFileOrder) {
    RegisterComponentClass<TRecorder>("TRecorder");
    SetterLog.clear();
    TForm form(nullptr);
    ReadComponentText(&form, R"(object Form1: TForm
  object R1: TRecorder
    Gamma = True
    Alpha = -5
    Beta = 'x'
  end
  object R2: TRecorder
    Beta = 'y'
    Alpha = $10
  end
end
)");
    EXPECT_EQ((std::vector<std::string>{"R1.Parent", "R1.Gamma=1", "R1.Alpha=-5", "R1.Beta=x", "R2.Parent",
                                        "R2.Beta=y", "R2.Alpha=16", "R1.Loaded", "R2.Loaded"}),
              SetterLog);
    EXPECT_EQ("Form1", form.Name());
    EXPECT_EQ(&form, form.Find<TRecorder>("R2")->Parent());
    EXPECT_FALSE(form.ComponentState() & csLoading);
}

TEST(FormFiles, ReadingBuildsTheFormAndBindsHandlersAndReferences) {
    TDemoForm form(nullptr);
    ReadComponentText(&form, DemoFile);
    EXPECT_EQ("It's a \r\nform indeed", form.Caption());
    EXPECT_EQ(250, form.ClientWidth());
    EXPECT_EQ(150, form.ClientHeight());
    EXPECT_EQ(biSystemMenu | biMinimize, form.BorderIcons());
    EXPECT_EQ(TFormBorderStyle::bsSingle, form.BorderStyle());
    EXPECT_EQ(-13, form.Font()->Height());
    EXPECT_EQ(fsBold, form.Font()->Style());
    auto button1 = form.Find<TButton>("Button1");
    auto button2 = form.Find<TButton>("Button2");
    EXPECT_EQ(button2, form.ActiveControl());
    EXPECT_EQ(form.Find<TMainMenu>("MainMenu1"), form.Menu());
    EXPECT_EQ(form.Find<TPopupMenu>("Popup"), button1->PopupMenu());
    EXPECT_EQ((std::vector<TWinControl*>{button2, button1, form.Find<TCheckBox>("Check")}), form.TabList());
    EXPECT_EQ(-13, button1->Font()->Height());  // parent font
    EXPECT_TRUE(form.Find<TLabel>("Label1")->WordWrap());
    EXPECT_EQ(250u, form.Find<TTimer>("Timer1")->Interval());
    EXPECT_EQ(ofFileMustExist | ofHideReadOnly, form.Find<TOpenDialog>("OpenDialog1")->Options());
    auto exitItem = form.Find<TMenuItem>("ExitItem");
    EXPECT_EQ(form.Find<TMenuItem>("FileItem"), exitItem->ParentItem());
    EXPECT_EQ(2, exitItem->GroupIndex());
    // Checked came before OnClick and is not a click while reading.
    EXPECT_TRUE(form.Find<TCheckBox>("Check")->Checked());
    EXPECT_TRUE(form.Clicked.empty());
    button1->Click();
    exitItem->Click();
    EXPECT_EQ((std::vector<std::string>{"Button1", "ExitItem"}), form.Clicked);
    EXPECT_FALSE(form.Created);  // OnCreate is the application's to raise
    form.DoCreate();
    EXPECT_TRUE(form.Created);
}

TEST(FormFiles, WrittenFormReadsBackToTheSameText) {
    TDemoForm first(nullptr);
    ReadComponentText(&first, DemoFile);
    std::string written = WriteComponentText(&first);
    EXPECT_NE(std::string::npos, written.find("Caption = 'It''s a '#13#10'form indeed'"));
    EXPECT_NE(std::string::npos, written.find("OnClick = ButtonClick"));
    EXPECT_NE(std::string::npos, written.find("BorderIcons = [biSystemMenu, biMinimize]"));
    EXPECT_EQ(std::string::npos, written.find("Enabled = True"));  // defaults are not written

    TDemoForm second(nullptr);
    ReadComponentText(&second, written);
    EXPECT_EQ(written, WriteComponentText(&second));
    EXPECT_EQ(first.Caption(), second.Caption());
    EXPECT_EQ(second.Find<TButton>("Button2"), second.ActiveControl());
}

TEST(FormFiles, BadFilesRaiseErrorsNamingTheLine) {
    struct TCase {
        const char* Text;
        const char* Message;
    };
    const TCase cases[] = {
        {"object F: TDemoForm\n  Nonsense = 1\nend\n", "Form file line 2: property Nonsense of TDemoForm not found"},
        {"object F: TDemoForm\n  OnCreate = Missing\nend\n", "Form file line 2: event handler Missing not found"},
        {"object F: TDemoForm\n  object X: TNoSuchClass\n  end\nend\n", "Form file line 2: class TNoSuchClass not found"},
        {"object F: TDemoForm\n  Caption = 12\nend\n", "Form file line 2: invalid value for property Caption"},
        {"object F: TDemoForm\n  BorderStyle = bsWobbly\nend\n", "Form file line 2: invalid value for property BorderStyle"},
        {"object F: TDemoForm\n  ActiveControl = Nobody\nend\n", "Form file line 2: component 'Nobody' not found"},
        {"object F: TForm\nend\n", "Form file line 1: the file describes a TForm, not a TDemoForm"},
        {"object F: TDemoForm\n  Caption = 'open\nend\n", "Form file line 2: unterminated string"},
        {"object F: TDemoForm\n  OnCreate = MouseDown\nend\n",
         "Form file line 2: Event handler has the wrong parameter list"},
    };
    for (const TCase& c : cases) {
        TDemoForm form(nullptr);
        try {
            ReadComponentText(&form, c.Text);
            ADD_FAILURE() << "no error for " << c.Text;
        } catch (const EFormFileError& e) {
            EXPECT_EQ(c.Message, e.Message);
        }
    }
}

}  // namespace
