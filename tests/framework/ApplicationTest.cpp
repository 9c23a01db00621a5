// The application object: message loop with timers, the default error handler, dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"

namespace {

struct TTicker {
    int Ticks = 0;
    void Tick(TObject*) { ++Ticks; }
};

TEST(Application, OwnedTimerFiresFromTheMessageLoop) {
    TComponent owner(nullptr);
    auto timer = new TTimer(&owner);
    TTicker ticker;
    timer->SetInterval(10);
    timer->SetOnTimer(TNotifyEvent::Of<&TTicker::Tick>(&ticker));
    DWORD start = GetTickCount();
    while (ticker.Ticks < 3 && GetTickCount() - start < 5000) {
        Application()->ProcessMessages();
        Sleep(5);
    }
    EXPECT_GE(ticker.Ticks, 3);
    timer->SetEnabled(false);
    int stopped = ticker.Ticks;
    Sleep(40);
    Application()->ProcessMessages();
    EXPECT_EQ(stopped, ticker.Ticks);
}

struct TThrower {
    void Click(TObject*) { throw Exception("Handler failed"); }
};

struct TErrorSink {
    std::vector<std::string> Messages;
    void Record(TObject*, std::exception_ptr error) { Messages.push_back(TApplication::ErrorMessage(error)); }
};

TEST(Application, ErrorRaisedInAnEventHandlerReachesTheErrorHandler) {
    TForm form(nullptr);
    auto button = new TButton(&form);
    button->SetParent(&form);
    TThrower thrower;
    button->SetOnClick(TNotifyEvent::Of<&TThrower::Click>(&thrower));
    TErrorSink sink;
    Application()->SetOnException(TExceptionEvent::Of<&TErrorSink::Record>(&sink));
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    Application()->SetOnException(TExceptionEvent());
    EXPECT_EQ((std::vector<std::string>{"Handler failed", "Handler failed"}), sink.Messages);
    EXPECT_TRUE(IsWindow(button->Handle()));
}

// Closes the message box that the default error handler shows, keeping its texts.
std::vector<std::string> BoxTexts;
BOOL CALLBACK CollectText(HWND child, LPARAM) {
    char text[256] = {};
    GetWindowTextA(child, text, sizeof(text));
    if (text[0]) BoxTexts.push_back(text);
    return TRUE;
}
BOOL CALLBACK CloseBox(HWND window, LPARAM) {
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof(cls));
    if (std::string(cls) != "#32770") return TRUE;
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof(caption));
    BoxTexts.push_back(std::string("caption:") + caption);
    EnumChildWindows(window, CollectText, 0);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}
void CALLBACK CloseBoxTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0); }

TEST(Application, DefaultErrorHandlerShowsTheMessageAndReturns) {
    TForm form(nullptr);
    auto button = new TButton(&form);
    button->SetParent(&form);
    TThrower thrower;
    button->SetOnClick(TNotifyEvent::Of<&TThrower::Click>(&thrower));
    Application()->SetTitle("toolkit test");
    BoxTexts.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseBoxTimer);
    SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    KillTimer(nullptr, timer);
    ASSERT_FALSE(BoxTexts.empty());
    EXPECT_EQ("caption:toolkit test", BoxTexts[0]);
    bool found = false;
    for (const std::string& t : BoxTexts) found = found || t == "Handler failed.";
    EXPECT_TRUE(found);
}

class TScriptedOpenDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
    OPENFILENAMEA Seen = {};
    std::string Filter;
    const char* Answer = nullptr;

protected:
    bool RunDialog(OPENFILENAMEA& ofn) override {
        Seen = ofn;
        Filter.assign(ofn.lpstrFilter, 60);
        if (!Answer) return false;
        lstrcpyA(ofn.lpstrFile, Answer);
        ofn.nFilterIndex = 2;
        return true;
    }
};

TEST(Application, OpenDialogHandsFilterDirectoryAndOptionsToTheSystem) {
    TScriptedOpenDialog dialog(nullptr);
    dialog.SetFilter("JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|All Files (*.*)|*.*");
    dialog.SetInitialDir("C:\\pictures\\");
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(std::string("JPEG (*.jpg, *.jpeg)\0*.jpg;*.jpeg\0All Files (*.*)\0*.*\0\0", 55),
              dialog.Filter.substr(0, 55));
    EXPECT_STREQ("C:\\pictures\\", dialog.Seen.lpstrInitialDir);
    EXPECT_EQ(1u, dialog.Seen.nFilterIndex);
    EXPECT_EQ(static_cast<DWORD>(OFN_EXPLORER), dialog.Seen.Flags);  // no options: nothing required
    EXPECT_EQ("", dialog.FileName());
    dialog.Answer = "C:\\pictures\\a.jpg";
    dialog.SetOptions(ofFileMustExist);
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ("C:\\pictures\\a.jpg", dialog.FileName());
    EXPECT_EQ(2, dialog.FilterIndex());
    EXPECT_TRUE(dialog.Seen.Flags & OFN_FILEMUSTEXIST);
}

}  // namespace
