// The windowed control as the container of a player object: activation, the adopted window,
// message routing, sizing, UI activation, ambient properties and teardown, against an object
// that records what its container asks of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakePlayerObject.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Screen.h"

namespace {

using Calls = std::vector<std::string>;

// The control with the test's object in place of one made by the library.
class TTestPlayerControl : public TFlashPlayerControl {
public:
    TTestPlayerControl(TComponent* owner, TFakePlayerObject* object)
        : TFlashPlayerControl(owner, object ? TComPtr<IOleObject>(static_cast<IOleObject*>(object)) : nullptr) {}
    using TFlashPlayerControl::Perform;
};

struct TMouseLog {
    std::vector<std::string> Events;
    static void Down(void* self, TObject*, TMouseButton button, TShiftState shift, int x, int y) {
        static_cast<TMouseLog*>(self)->Events.push_back("down " + std::to_string(static_cast<int>(button)) + " " +
                                                       std::to_string(shift & ssDouble ? 1 : 0) + " " +
                                                       std::to_string(x) + "," + std::to_string(y));
    }
    static void Up(void* self, TObject*, TMouseButton button, TShiftState, int, int) {
        static_cast<TMouseLog*>(self)->Events.push_back("up " + std::to_string(static_cast<int>(button)));
    }
    static void Click(void* self, TObject*) { static_cast<TMouseLog*>(self)->Events.push_back("click"); }
    static void DblClick(void* self, TObject*) { static_cast<TMouseLog*>(self)->Events.push_back("dblclick"); }
    void Attach(TControl& control) {
        control.SetOnMouseDown(TMouseEvent(&Down, this));
        control.SetOnMouseUp(TMouseEvent(&Up, this));
        control.SetOnClick(TNotifyEvent(&Click, this));
        control.SetOnDblClick(TNotifyEvent(&DblClick, this));
    }
};

class WindowedControl : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        StartFlashPlayerLibrary();
        form_ = std::make_unique<TForm>(nullptr);
        form_->SetBounds(20, 20, 400, 300);
    }
    void TearDown() override {
        form_.reset();
        StopFlashPlayerLibrary();
        CoUninitialize();
    }

    TTestPlayerControl* NewControl(TFakePlayerObject* object) {
        auto* control = new TTestPlayerControl(form_.get(), object);
        control->SetParent(form_.get());
        return control;
    }

    size_t Count(const TFakePlayerObject& object, UINT message) {
        return static_cast<size_t>(std::count(object.WindowMessages.begin(), object.WindowMessages.end(), message));
    }

    // Objects outlive the form, which frees the controls that hold them.
    TFakePlayerObject& NewObject() {
        objects_.push_back(std::make_unique<TFakePlayerObject>());
        return *objects_.back();
    }

    std::vector<std::unique_ptr<TFakePlayerObject>> objects_;
    std::unique_ptr<TForm> form_;
};

}  // namespace

TEST_F(WindowedControl, ConstructionTakesTheObjectsExtentAndConnectsItsEvents) {
    ASSERT_EQ(Screen()->PixelsPerInch(), 96);
    TFakePlayerObject& object = NewObject();
    auto* control = new TTestPlayerControl(form_.get(), &object);
    EXPECT_EQ(control->Width(), 96);  // 2540 x 1270 HIMETRIC at 96 pixels per inch
    EXPECT_EQ(control->Height(), 48);
    // The natural extent is applied through the control's own bounds setting.
    EXPECT_EQ(object.Calls, (Calls{"SetClientSite", "SetExtent 2540x1270", "Advise events"}));
    EXPECT_TRUE(control->TabStop());
}

TEST_F(WindowedControl, WindowCreationActivatesInPlaceAndAdoptsTheObjectsWindow) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    object.Calls.clear();
    HWND window = control->Handle();
    ASSERT_NE(object.Window, nullptr);
    EXPECT_EQ(window, object.Window);
    // Connect, tell the object all ambient properties may have changed, activate in place;
    // a size message after adoption re-activates with the same rectangle.
    ASSERT_GE(object.Calls.size(), 3u);
    EXPECT_EQ(Calls(object.Calls.begin(), object.Calls.begin() + 3),
              (Calls{"Advise notify", "OnAmbientPropertyChange -1", "DoVerb -5"}));
    for (size_t i = 3; i < object.Calls.size(); ++i) EXPECT_EQ(object.Calls[i], "DoVerb -5");
    // Messages to the window reach the control first and then the object's own procedure.
    TMouseLog log;
    log.Attach(*control);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"down 0 0 5,6", "click", "up 0"}));
    EXPECT_EQ(Count(object, WM_LBUTTONDOWN), 1u);
    EXPECT_EQ(Count(object, WM_LBUTTONUP), 1u);
}

TEST_F(WindowedControl, RightClickWithoutThePlayersMenuReachesItOnlyAsAContextMenu) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    TMouseLog log;
    log.Attach(*control);
    HWND window = control->Handle();
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(3, 4));
    SendMessageA(window, WM_RBUTTONUP, 0, MAKELPARAM(3, 4));
    EXPECT_EQ(Count(object, WM_RBUTTONDOWN), 0u);
    EXPECT_EQ(Count(object, WM_RBUTTONUP), 0u);
    EXPECT_EQ(Count(object, WM_CONTEXTMENU), 1u);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"down 1 0 3,4"}));

    // With the player's menu allowed the button-down goes through.
    control->SetStandartMenu(WordTrue);
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(3, 4));
    EXPECT_EQ(Count(object, WM_RBUTTONDOWN), 1u);
}

TEST_F(WindowedControl, MenuKeyIsSwallowedUnlessThePlayersMenuIsAllowed) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    HWND window = control->Handle();
    SendMessageA(window, WM_KEYDOWN, VK_APPS, 0);
    EXPECT_EQ(Count(object, WM_KEYDOWN), 0u);
    control->SetStandartMenu(WordTrue);
    SendMessageA(window, WM_KEYDOWN, VK_APPS, 0);
    EXPECT_EQ(Count(object, WM_KEYDOWN), 1u);
}

TEST_F(WindowedControl, PopupMenuIsShownAtTheButtonUpsScreenPosition) {
    class TRecordingPopup : public TPopupMenu {
    public:
        using TPopupMenu::TPopupMenu;
        int X = -1, Y = -1;
        void Popup(int x, int y) override { X = x, Y = y; }
    };
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    auto* popup = new TRecordingPopup(form_.get());
    popup->Items()->Add(new TMenuItem(popup));
    control->SetPopupMenu(popup);
    form_->Show();
    HWND window = control->Handle();
    SendMessageA(window, WM_RBUTTONUP, 0, MAKELPARAM(-2, 7));  // left of the control while captured
    POINT expected = control->ClientToScreen(POINT{-2, 7});
    EXPECT_EQ(popup->X, expected.x);
    EXPECT_EQ(popup->Y, expected.y);
    EXPECT_EQ(Count(object, WM_CONTEXTMENU), 0u);
}

TEST_F(WindowedControl, ResizingSetsTheObjectsExtentOrKeepsTheSizeWhenRefused) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    control->Handle();
    object.Calls.clear();
    control->SetBounds(10, 10, 192, 96);
    EXPECT_TRUE(object.Called("SetExtent 5080x2540")) << object.Calls.size();
    EXPECT_TRUE(object.Called("DoVerb -5"));  // WM_SIZE re-activates with the new rectangle
    RECT r;
    GetWindowRect(object.Window, &r);
    EXPECT_EQ(r.right - r.left, 192);

    object.ExtentAnswer = E_FAIL;
    control->SetBounds(30, 40, 50, 50);
    EXPECT_EQ(control->Width(), 192);
    EXPECT_EQ(control->Left(), 30);
}

TEST_F(WindowedControl, RecreatingTheWindowClosesAndReactivatesTheObject) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    HWND first = control->Handle();
    object.Calls.clear();
    control->DestroyHandle();
    EXPECT_EQ(object.Calls, (Calls{"Close 1"}));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(control->HandleAllocated());
    object.Calls.clear();
    HWND second = control->Handle();
    EXPECT_EQ(second, object.Window);
    EXPECT_EQ(object.Calls, (Calls{"DoVerb -5"}));  // connection and events stay
}

TEST_F(WindowedControl, DestructionReleasesTheObjectInOrder) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    control->Handle();
    object.Calls.clear();
    delete control;
    EXPECT_EQ(object.Calls, (Calls{"Unadvise events 77", "Close 1", "Unadvise notify 77", "SetClientSite nil"}));
    EXPECT_EQ(object.References, 1);  // every reference the control took is released
}

TEST_F(WindowedControl, ReflectedKeysAreOfferedToTheActiveObjectWithTheMarkerPoint) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    control->Handle();
    object.AcceptAccelerators = true;
    EXPECT_EQ(control->Perform(CN_KEYDOWN, 'A', 0x1E0001), 1);
    EXPECT_EQ(object.LastAccelerator.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(object.LastAccelerator.hwnd, object.Window);
    EXPECT_EQ(object.LastAccelerator.pt.x, 0x115DE1F1);
    EXPECT_EQ(object.LastAccelerator.pt.y, 0x115DE1F1);
}

TEST_F(WindowedControl, AmbientPropertiesFollowTheControlAndTheDesignState) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    control->SetName("Player1");
    control->SetColor(clWindow);
    VARIANT v;
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_USERMODE, v), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_UIDEAD, v), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_BACKCOLOR, v), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(v.lVal), static_cast<uint32_t>(clWindow));  // system colour form
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_DISPLAYNAME, v), S_OK);
    EXPECT_STREQ(v.bstrVal, L"Player1");
    VariantClear(&v);
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_FONT, v), S_OK);
    EXPECT_EQ(v.vt, VT_DISPATCH);
    EXPECT_NE(v.pdispVal, nullptr);
    VariantClear(&v);
    EXPECT_EQ(object.Ambient(-713, v), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object.Ambient(DISPID_AMBIENT_USERMODE, v, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);

    control->SetDesigning(true);
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_USERMODE, v), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    ASSERT_EQ(object.Ambient(DISPID_AMBIENT_UIDEAD, v), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
}

TEST_F(WindowedControl, SiteAnswersWindowContextAndCoordinateTransforms) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    control->SetBounds(7, 8, 96, 48);
    auto inPlace = object.Site.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof(info);
    ASSERT_EQ(inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info), S_OK);
    EXPECT_TRUE(frame);
    EXPECT_FALSE(document);
    EXPECT_EQ(position.left, 7);
    EXPECT_EQ(position.right, 103);
    EXPECT_EQ(clip.right, 32767);
    EXPECT_EQ(clip.bottom, 32767);
    EXPECT_EQ(info.hwndFrame, form_->Handle());

    auto site = object.Site.As<IOleControlSite>(IID_IOleControlSite);
    POINTL himetric = {};
    POINTF container = {1.0f, 48.0f};
    ASSERT_EQ(site->TransformCoords(&himetric, &container, XFORMCOORDS_CONTAINERTOHIMETRIC), S_OK);
    EXPECT_EQ(himetric.x, 26);
    EXPECT_EQ(himetric.y, 1270);
    himetric = {2540, 1270};
    ASSERT_EQ(site->TransformCoords(&himetric, &container, XFORMCOORDS_HIMETRICTOCONTAINER), S_OK);
    EXPECT_EQ(container.x, 96.0f);
    EXPECT_EQ(container.y, 48.0f);

    // One identity: every interface answers the others, and nothing else.
    TComPtr<IUnknown> a, b;
    object.Site->QueryInterface(IID_IUnknown, a.PutVoid());
    frame->QueryInterface(IID_IUnknown, b.PutVoid());
    EXPECT_EQ(a.Get(), b.Get());
    TComPtr<IUnknown> none;
    EXPECT_EQ(object.Site->QueryInterface(IID_IOleInPlaceUIWindow, none.PutVoid()), E_NOINTERFACE);
}

TEST_F(WindowedControl, PlayerEventsReachTheControlsHandlers) {
    TFakePlayerObject& object = NewObject();
    auto* control = NewControl(&object);
    std::wstring seen;
    control->OnFSCommand = TFlashPlayerControlFSCommand(
        [](void* s, TObject*, const std::wstring& command, const std::wstring& args) {
            *static_cast<std::wstring*>(s) = command + L"|" + args;
        }, &seen);
    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(L"");
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"quit");
    EXPECT_EQ(object.FireEvent(DispidFSCommand, {args[0], args[1]}), S_OK);
    EXPECT_EQ(seen, L"quit|");
    SysFreeString(args[0].bstrVal);
    SysFreeString(args[1].bstrVal);
}

TEST_F(WindowedControl, SecondEmbeddedControlTakingUIActivationDeactivatesTheFirst) {
    TFakePlayerObject& first = NewObject();
    TFakePlayerObject& second = NewObject();
    auto* a = NewControl(&first);
    auto* b = NewControl(&second);
    b->SetLeft(150);
    form_->Show();
    a->Handle();
    b->Handle();
    a->Perform(CM_UIACTIVATE);
    EXPECT_EQ(form_->ActiveOleControl(), a);
    b->Perform(CM_UIACTIVATE);
    EXPECT_EQ(form_->ActiveOleControl(), b);
    EXPECT_TRUE(first.Called("UIDeactivate"));
    EXPECT_FALSE(second.Called("UIDeactivate"));
}

TEST_F(WindowedControl, WithoutAnObjectItIsAPlainWindowThatStillRaisesMouseEvents) {
    auto* control = NewControl(nullptr);
    EXPECT_EQ(control->OleObject(), nullptr);
    control->SetBounds(0, 0, 40, 30);
    form_->Show();
    TMouseLog log;
    log.Attach(*control);
    HWND window = control->Handle();
    SendMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(1, 2));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(1, 2));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"dblclick", "down 0 1 1,2", "click", "up 0"}));
    // It paints itself in the system window colour.
    UpdateWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    HDC dc = GetDC(window);
    COLORREF pixel = GetPixel(dc, 10, 10);
    ReleaseDC(window, dc);
    EXPECT_EQ(pixel, GetSysColor(COLOR_WINDOW));
    // Properties are plain stored values.
    control->SetMovie(L"stored.swf");
    EXPECT_EQ(control->Movie(), L"stored.swf");
}

namespace {

// RemoveMenu that fails for the first few calls, as for an item the system will not remove.
int removeCalls = 0;
int removeFailuresLeft = 0;
BOOL WINAPI StubbornRemoveMenu(HMENU menu, UINT position, UINT flags) {
    ++removeCalls;
    if (removeFailuresLeft > 0) {
        --removeFailuresLeft;
        return FALSE;
    }
    return RemoveMenu(menu, position, flags);
}

// Asks a control's in-place frame to remove the items of a shared menu of three items.
using TQuery = std::function<HRESULT(REFIID, void**)>;
void RemoveSharedMenus(const TQuery& query, REFIID siteIid, int failures, int& calls, int& left) {
    TComPtr<IOleInPlaceSite> site;
    ASSERT_EQ(query(siteIid, site.PutVoid()), S_OK);
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof(info);
    ASSERT_EQ(site->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info), S_OK);
    ASSERT_TRUE(frame);
    HMENU shared = CreateMenu();
    for (UINT id = 1; id <= 3; ++id) AppendMenuA(shared, MF_STRING, id, "item");
    const TSystemCalls saved = SystemCalls();
    SystemCalls().RemoveMenu = StubbornRemoveMenu;
    removeCalls = 0;
    removeFailuresLeft = failures;
    EXPECT_EQ(frame->RemoveMenus(shared), S_OK);
    SystemCalls() = saved;
    calls = removeCalls;
    left = GetMenuItemCount(shared);
    DestroyMenu(shared);
}

}  // namespace

TEST_F(WindowedControl, BothFramesStopRemovingMenusAtAnItemThatWillNotGo) {
    auto* windowed = NewControl(nullptr);
    auto* transparent = new TTransparentFlashPlayerControl(form_.get());
    transparent->SetParent(form_.get());
    struct TCase {
        TQuery query;
        const IID* site;
    } cases[] = {{[windowed](REFIID iid, void** out) { return windowed->QueryInterface(iid, out); },
                  &IID_IOleInPlaceSite},
                 {[transparent](REFIID iid, void** out) { return transparent->QueryInterface(iid, out); },
                  &IID_IOleInPlaceSiteWindowless}};
    for (const TCase& c : cases) {
        int calls = 0, left = 0;
        RemoveSharedMenus(c.query, *c.site, 0, calls, left);
        EXPECT_EQ(calls, 3);
        EXPECT_EQ(left, 0);
        // The first removal fails (and would go on failing): one attempt, the items stay.
        RemoveSharedMenus(c.query, *c.site, 1000, calls, left);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(left, 3);
    }
}
