// Forms, standard controls, painting of windowless controls, focus and UI activation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"

namespace {

// A windowed control that records the UI activation messages it receives, as an embedded
// OLE control would act on them.
class TEmbeddedProbe : public TWinControl {
public:
    explicit TEmbeddedProbe(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }
    std::vector<std::string>* Log = nullptr;

protected:
    void Dispatch(TMessage& message) override {
        if (message.Msg == CM_UIACTIVATE) Log->push_back(Name() + " activate");
        if (message.Msg == CM_UIDEACTIVATE) Log->push_back(Name() + " deactivate");
        TWinControl::Dispatch(message);
    }
};

class TFocusForm : public TForm {
public:
    using TForm::TForm;
    std::vector<std::string> Log;

protected:
    void Dispatch(TMessage& message) override {
        if (message.Msg == CM_FOCUSCHANGED)
            Log.push_back("focus " + reinterpret_cast<TControl*>(message.LParam)->Name());
        TForm::Dispatch(message);
    }
};

TEST(Forms, FocusChangesSendUiActivationToTheRightControl) {
    TFocusForm form(nullptr);
    form.SetBounds(10, 10, 300, 200);
    auto first = new TEmbeddedProbe(&form);
    first->SetName("First");
    first->SetBounds(0, 0, 50, 50);
    first->SetParent(&form);
    first->Log = &form.Log;
    auto second = new TEmbeddedProbe(&form);
    second->SetName("Second");
    second->SetBounds(60, 0, 50, 50);
    second->SetParent(&form);
    second->Log = &form.Log;
    form.Show();
    form.FocusControl(first);
    ASSERT_EQ(first->Handle(), GetFocus());
    EXPECT_EQ(first, form.ActiveControl());
    form.Log.clear();

    // First is the form's UI-active embedded control; focusing Second deactivates it.
    form.SetActiveOleControl(first);
    second->SetFocus();
    ASSERT_EQ(second->Handle(), GetFocus());
    EXPECT_EQ((std::vector<std::string>{"focus Second", "First deactivate", "Second activate"}), form.Log);
    EXPECT_EQ(second, form.ActiveControl());

    // Focus back to the UI-active control itself: no deactivation.
    form.Log.clear();
    form.FocusControl(first);
    EXPECT_EQ((std::vector<std::string>{"focus First", "First activate"}), form.Log);

    // A control going away is forgotten as the active one.
    delete first;
    EXPECT_EQ(nullptr, form.ActiveOleControl());
    EXPECT_EQ(nullptr, form.ActiveControl());
}

TEST(Forms, TabMovesToTheNextControlInTabOrder) {
    TForm form(nullptr);
    auto a = new TButton(&form);
    a->SetName("A");
    a->SetParent(&form);
    auto b = new TButton(&form);
    b->SetName("B");
    b->SetParent(&form);
    auto c = new TButton(&form);
    c->SetName("C");
    c->SetParent(&form);
    c->SetTabOrder(0);
    EXPECT_EQ((std::vector<TWinControl*>{c, a, b}), form.TabList());
    form.Show();
    form.FocusControl(c);
    EXPECT_NE(0, c->Perform(CN_KEYDOWN, VK_TAB, 0));
    EXPECT_EQ(a, form.ActiveControl());
    form.Perform(CM_DIALOGKEY, VK_TAB, 0);
    EXPECT_EQ(b, form.ActiveControl());
    EXPECT_EQ(b->Handle(), GetFocus());
}

TEST(Forms, BorderStyleChangeRecreatesTheWindowAndKeepsChildrenAndClientSize) {
    TForm form(nullptr);
    form.SetCaption("Framed");
    form.SetClientWidth(300);
    form.SetClientHeight(200);
    auto button = new TButton(&form);
    button->SetCaption("Child");
    button->SetBounds(5, 6, 80, 25);
    button->SetParent(&form);
    auto label = new TLabel(&form);
    label->SetParent(&form);
    form.Show();
    HWND oldForm = form.Handle();
    HWND oldButton = button->Handle();
    EXPECT_EQ(300, form.ClientWidth());

    form.SetBorderStyle(TFormBorderStyle::bsNone);
    EXPECT_FALSE(IsWindow(oldForm));
    EXPECT_FALSE(IsWindow(oldButton));
    ASSERT_TRUE(button->HandleAllocated());
    EXPECT_EQ(form.Handle(), GetParent(button->Handle()));
    EXPECT_EQ(2, form.ControlCount());
    char text[16] = {};
    GetWindowTextA(button->Handle(), text, sizeof(text));
    EXPECT_STREQ("Child", text);
    LONG style = GetWindowLongA(form.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_EQ(300, form.ClientWidth());
    EXPECT_EQ(200, form.ClientHeight());
    EXPECT_EQ(300, form.Width());
}

TEST(Forms, ButtonAndCheckBoxRaiseOnClick) {
    TForm form(nullptr);
    int clicks = 0;
    struct TCounter {
        int* Count;
        void Click(TObject*) { ++*Count; }
    } counter{&clicks};
    auto button = new TButton(&form);
    button->SetParent(&form);
    button->SetOnClick(TNotifyEvent::Of<&TCounter::Click>(&counter));
    form.HandleNeeded();
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(1, clicks);

    auto box = new TCheckBox(&form);
    box->SetParent(&form);
    box->SetOnClick(TNotifyEvent::Of<&TCounter::Click>(&counter));
    box->SetChecked(true);  // from code: still a click
    EXPECT_EQ(2, clicks);
    EXPECT_EQ(BST_CHECKED, SendMessageA(box->Handle(), BM_GETCHECK, 0, 0));
    box->SetChecked(true);  // no change, no click
    EXPECT_EQ(2, clicks);
    SendMessageA(box->Handle(), BM_CLICK, 0, 0);  // the user unticks it
    EXPECT_EQ(3, clicks);
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(box->Handle(), BM_GETCHECK, 0, 0));
}

TEST(Forms, ParentFontAndColorFollowTheForm) {
    TForm form(nullptr);
    auto label = new TLabel(&form);
    label->SetParent(&form);
    auto own = new TLabel(&form);
    own->Font()->SetName("Arial");
    own->SetParent(&form);
    form.Font()->SetHeight(-20);
    form.SetColor(clRed);
    EXPECT_EQ(-20, label->Font()->Height());
    EXPECT_TRUE(label->ParentFont());
    EXPECT_EQ(clRed, label->Color());
    EXPECT_EQ(-11, own->Font()->Height());
    EXPECT_FALSE(own->ParentFont());
}

// Paints a control's whole client area and records where its canvas origin lay.
struct TPainter {
    POINT Origin = {-1, -1};
    int Paints = 0;
    void Paint(TObject* sender) {
        auto box = static_cast<TPaintBox*>(sender);
        Origin = box->Canvas()->Origin();
        ++Paints;
        box->Canvas()->SetBrushColor(clRed);
        box->Canvas()->FillRect(RECT{-50, -50, 500, 500});  // clipped to the control
    }
};

TEST(Forms, WindowlessControlsPaintAtTheirPlaceClippedToTheirBounds) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 200);
    auto box = new TPaintBox(&form);
    box->SetBounds(10, 20, 30, 30);
    box->SetParent(&form);
    TPainter painter;
    box->SetOnPaint(TNotifyEvent::Of<&TPainter::Paint>(&painter));
    form.HandleNeeded();

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 100);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 100, 100};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    form.Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(1, painter.Paints);
    EXPECT_EQ(10, painter.Origin.x);
    EXPECT_EQ(20, painter.Origin.y);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 10, 20));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 39, 49));
    EXPECT_NE(RGB(255, 0, 0), GetPixel(dc, 9, 20));
    EXPECT_NE(RGB(255, 0, 0), GetPixel(dc, 40, 30));
    EXPECT_NE(RGB(255, 0, 0), GetPixel(dc, 20, 50));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(Forms, DoubleBufferedFormPaintsWindowlessControlsThroughItsBuffer) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 200);
    form.SetDoubleBuffered(true);
    auto box = new TPaintBox(&form);
    box->SetBounds(15, 25, 30, 30);
    box->SetParent(&form);
    TPainter painter;
    box->SetOnPaint(TNotifyEvent::Of<&TPainter::Paint>(&painter));
    form.Show();
    InvalidateRect(form.Handle(), nullptr, TRUE);
    UpdateWindow(form.Handle());
    EXPECT_GE(painter.Paints, 1);
    EXPECT_EQ(15, painter.Origin.x);
    EXPECT_EQ(25, painter.Origin.y);
}

TEST(Forms, AlignedControlsFillTheClientArea) {
    TForm form(nullptr);
    form.SetClientWidth(200);
    form.SetClientHeight(100);
    auto top = new TPaintBox(&form);
    top->SetHeight(10);
    top->SetAlign(TAlign::alTop);
    top->SetParent(&form);
    auto client = new TPaintBox(&form);
    client->SetAlign(TAlign::alClient);
    client->SetParent(&form);
    EXPECT_EQ((std::vector<int>{0, 0, 200, 10}), (std::vector<int>{top->Left(), top->Top(), top->Width(), top->Height()}));
    EXPECT_EQ((std::vector<int>{0, 10, 200, 90}),
              (std::vector<int>{client->Left(), client->Top(), client->Width(), client->Height()}));
}

class TRecordingPopup : public TPopupMenu {
public:
    using TPopupMenu::TPopupMenu;
    std::vector<POINT> Shown;
    void Popup(int x, int y) override { Shown.push_back(POINT{x, y}); }
};

TEST(Forms, ContextMenuMessageShowsThePopupMenu) {
    TForm form(nullptr);
    form.SetBounds(50, 60, 300, 200);
    auto control = new TButton(&form);
    control->SetParent(&form);
    auto popup = new TRecordingPopup(&form);
    control->SetPopupMenu(popup);
    form.HandleNeeded();
    EXPECT_EQ(1, control->Perform(WM_CONTEXTMENU, 0, PointToLParam(-1, -1)));
    ASSERT_EQ(1u, popup->Shown.size());
    POINT origin = control->ClientToScreen(POINT{0, 0});
    EXPECT_EQ(origin.x, popup->Shown[0].x);
    EXPECT_EQ(origin.y, popup->Shown[0].y);
    EXPECT_EQ(control, popup->PopupComponent());
    EXPECT_EQ(1, control->Perform(WM_CONTEXTMENU, 0, PointToLParam(500, 400)));
    EXPECT_EQ(500, popup->Shown[1].x);
    popup->SetAutoPopup(false);
    control->Perform(WM_CONTEXTMENU, 0, PointToLParam(500, 400));
    EXPECT_EQ(2u, popup->Shown.size());
    delete popup;
    EXPECT_EQ(nullptr, control->PopupMenu());
}

TEST(Forms, MainMenuItemsMergeByGroupIndexAndRunOnCommand) {
    TForm form(nullptr);
    auto menu = new TMainMenu(&form);
    const int groups[] = {0, 1, 2, 4, 4};
    std::vector<TMenuItem*> items;
    for (int g : groups) {
        auto item = new TMenuItem(&form);
        item->SetCaption("Group " + std::to_string(g));
        item->SetGroupIndex(g);
        menu->Items()->Add(item);
        items.push_back(item);
    }
    form.SetMenu(menu);
    form.HandleNeeded();
    EXPECT_EQ(menu->Handle(), GetMenu(form.Handle()));
    HMENU shared = CreateMenu();
    LONG widths[6] = {9, 9, 9, 9, 9, 9};
    menu->PopulateOle2Menu(shared, {0, 2, 4}, widths);
    EXPECT_EQ(4, GetMenuItemCount(shared));
    EXPECT_EQ((std::vector<LONG>{1, 0, 1, 0, 2, 0}), std::vector<LONG>(widths, widths + 6));
    menu->SetOle2MenuHandle(shared);
    EXPECT_EQ(shared, GetMenu(form.Handle()));
    menu->SetOle2MenuHandle(nullptr);
    EXPECT_EQ(menu->Handle(), GetMenu(form.Handle()));
    DestroyMenu(shared);

    int clicks = 0;
    struct TCounter {
        int* Count;
        void Click(TObject*) { ++*Count; }
    } counter{&clicks};
    items[1]->SetOnClick(TNotifyEvent::Of<&TCounter::Click>(&counter));
    SendMessageA(form.Handle(), WM_COMMAND, items[1]->Command(), 0);
    EXPECT_EQ(1, clicks);
}

}  // namespace
