// The windowless control hosting the reference player module: the object made on the first
// parent, drawn into the parent over what lies beneath it, hit only where it drew, mouse
// input reaching it in parent coordinates, its invalidations repainting the parent, form
// files, and freeing controls leaving nothing behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "../content/ContentTestSupport.h"
#include "../refplayer/SwfWriter.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "PlayerModuleSupport.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"

using refplayer_test::Bytes;
using refplayer_test::TestSwf;

namespace {

constexpr COLORREF Beneath = RGB(9, 9, 9);
constexpr COLORREF PanelColour = RGB(32, 40, 56);  // the movie's drawn content: a button that stops it
// The button's middle: stage (20, 20)-(260, 80) of 550 x 400 shown at half size in 300 x 200.
constexpr int ContentX = 30, ContentY = 20;
const RECT PlayerBounds = {20, 30, 320, 230};

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes) {
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return stream;
}

// A picture of the parent's client area: filled with Beneath, then painted with the parent's
// windowless children as the parent's own paint does.
class TParentPicture {
public:
    TParentPicture(TWinControl& parent, int width, int height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(Beneath);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        parent.PaintControls(dc_);
    }
    ~TParentPicture() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

struct TMouseLog {
    std::vector<std::string> Events;
    static void Down(void* self, TObject*, TMouseButton button, TShiftState, int x, int y) {
        static_cast<TMouseLog*>(self)->Events.push_back("down " + std::to_string(static_cast<int>(button)) + " " +
                                                       std::to_string(x) + "," + std::to_string(y));
    }
    static void Click(void* self, TObject*) { static_cast<TMouseLog*>(self)->Events.push_back("click"); }
};

class TransparentControlWithPlayerModule : public PlayerModuleTest {
protected:
    void SetUp() override {
        PlayerModuleTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(QueryFlashCodeVersion(), 0u);
    }

    TTransparentFlashPlayerControl* NewPlayer() {
        auto* player = new TTransparentFlashPlayerControl(form_.get());
        player->SetBoundsRect(PlayerBounds);
        player->SetParent(form_.get());
        return player;
    }

    // A playing movie with the transparent stage.
    TTransparentFlashPlayerControl* NewPlayingPlayer() {
        TTransparentFlashPlayerControl* player = NewPlayer();
        TestSwf swf;
        swf.Background(0x2040A0);
        AddStopButton(swf, 0x202838);  // PanelColour
        auto movie = StreamOf(swf.ShowFrame().ShowFrame().ShowFrame().End().Build(3, 30));
        player->AssignMovieStream(*movie);
        player->Play();
        EXPECT_TRUE(PumpUntil([&] { return player->ReadyState() == 4; }));
        return player;
    }

    void Mouse(UINT msg, int x, int y, WPARAM keys = 0) {
        SendMessageA(form_->Handle(), msg, keys, MAKELPARAM(x, y));
    }
};

}  // namespace

TEST_F(TransparentControlWithPlayerModule, FirstParentMakesOneWindowlessObjectThatMovingKeeps) {
    auto* player = new TTransparentFlashPlayerControl(form_.get());
    EXPECT_EQ(player->FlashObject(), nullptr);
    EXPECT_EQ(player->PlayerVersionClass(), -1);
    player->SetParent(form_.get());
    IUnknown* object = player->FlashObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(player->WMode(), L"Transparent");
    EXPECT_TRUE(form_->DoubleBuffered());

    TForm other(nullptr);
    other.Show();
    player->SetParent(&other);
    EXPECT_EQ(player->FlashObject(), object);
    player->SetParent(form_.get());
    EXPECT_EQ(player->FlashObject(), object);

    // The site is windowless only, and hands the object no device context.
    TComPtr<IOleInPlaceSiteWindowless> site;
    ASSERT_EQ(player->QueryInterface(IID_IOleInPlaceSiteWindowless, site.PutVoid()), S_OK);
    TComPtr<IUnknown> plain;
    EXPECT_EQ(player->QueryInterface(IID_IOleInPlaceSite, plain.PutVoid()), E_NOINTERFACE);
    HDC dc = reinterpret_cast<HDC>(1);
    EXPECT_EQ(site->GetDC(nullptr, 0, &dc), E_FAIL);
    EXPECT_EQ(dc, nullptr);
    HWND window = nullptr;
    EXPECT_EQ(site->GetWindow(&window), S_OK);
    EXPECT_EQ(window, form_->Handle());
    // Not an event of the player: no ambient properties either.
    TComPtr<IDispatch> sink;
    ASSERT_EQ(player->QueryInterface(DIID_DShockwaveFlashEvents, sink.PutVoid()), S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {};
    EXPECT_EQ(sink->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                           nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(TransparentControlWithPlayerModule, MovieIsDrawnOverTheParentAndOnlyItsContentIsHit) {
    TTransparentFlashPlayerControl* player = NewPlayingPlayer();
    EXPECT_EQ(player->TotalFrames(), 3);
    const int left = PlayerBounds.left, top = PlayerBounds.top;
    {
        TParentPicture picture(*form_, 500, 400);
        EXPECT_EQ(picture.Pixel(left + ContentX, top + ContentY), PanelColour);
        EXPECT_EQ(picture.Pixel(left + 290, top + 190), Beneath);  // transparent stage
        EXPECT_EQ(picture.Pixel(5, 5), Beneath);                     // outside the control
    }

    // What the background handler draws lies beneath the movie.
    player->OnDrawBackground = TFlashPlayerControlOnDrawBackground(
        [](void*, TObject*, TCanvas* canvas) {
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            RECT all = {0, 0, 300, 200};
            FillRect(canvas->Handle(), &all, red);
            DeleteObject(red);
        }, nullptr);
    {
        TParentPicture picture(*form_, 500, 400);
        EXPECT_EQ(picture.Pixel(left + ContentX, top + ContentY), PanelColour);
        EXPECT_EQ(picture.Pixel(left + 290, top + 190), RGB(255, 0, 0));
        EXPECT_EQ(picture.Pixel(left - 1, top - 1), Beneath);
    }

    EXPECT_EQ(form_->ControlAtPos(POINT{left + ContentX, top + ContentY}, false), player);
    EXPECT_EQ(form_->ControlAtPos(POINT{left + 290, top + 190}, false), nullptr);
}

TEST_F(TransparentControlWithPlayerModule, MouseInputReachesTheObjectAndFallsThroughTransparentParts) {
    // A control beneath the player gets the clicks the movie does not draw under.
    auto* beneath = new TPaintBox(form_.get());
    beneath->SetBoundsRect(RECT{0, 0, 400, 300});
    beneath->SetParent(form_.get());
    TMouseLog beneathLog, playerLog;
    beneath->SetOnClick(TNotifyEvent(&TMouseLog::Click, &beneathLog));
    TTransparentFlashPlayerControl* player = NewPlayingPlayer();
    player->SetOnClick(TNotifyEvent(&TMouseLog::Click, &playerLog));
    player->SetOnMouseDown(TMouseEvent(&TMouseLog::Down, &playerLog));
    const int left = PlayerBounds.left, top = PlayerBounds.top;

    // A click on the movie's button, told in parent coordinates, runs its release action (stop).
    ASSERT_NE(player->IsPlaying(), 0);
    Mouse(WM_LBUTTONDOWN, left + ContentX, top + ContentY, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, left + ContentX, top + ContentY);
    EXPECT_EQ(player->IsPlaying(), 0);
    EXPECT_EQ(playerLog.Events, (std::vector<std::string>{"down 0 30,20", "click"}));
    EXPECT_TRUE(beneathLog.Events.empty());

    Mouse(WM_LBUTTONDOWN, left + 290, top + 190, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, left + 290, top + 190);
    EXPECT_EQ(player->IsPlaying(), 0);
    EXPECT_EQ(beneathLog.Events, std::vector<std::string>{"click"});

    // Without the player's menu a right press reaches neither the object nor the events.
    playerLog.Events.clear();
    Mouse(WM_RBUTTONDOWN, left + ContentX, top + ContentY, MK_RBUTTON);
    EXPECT_TRUE(playerLog.Events.empty());
    player->SetStandartMenu(WordTrue);
    Mouse(WM_RBUTTONDOWN, left + ContentX, top + ContentY, MK_RBUTTON);
    EXPECT_EQ(playerLog.Events, std::vector<std::string>{"down 1 30,20"});
}

TEST_F(TransparentControlWithPlayerModule, InvalidationsRepaintTheParentThroughTheUpdateHandler) {
    TTransparentFlashPlayerControl* player = NewPlayingPlayer();
    struct TUpdates {
        std::vector<RECT> Seen;
        RECT Replacement = {0, 0, 0, 0};
    } updates;
    player->OnUpdateRect = TFlashPlayerControlUpdateRect(
        [](void* self, TObject*, RECT& rc) {
            auto* u = static_cast<TUpdates*>(self);
            u->Seen.push_back(rc);
            if (u->Replacement.right) rc = u->Replacement;
        }, &updates);

    // The movie's frames arrive as invalidations of the control's area.
    ASSERT_TRUE(PumpUntil([&] { return updates.Seen.size() >= 2; }));
    EXPECT_TRUE(EqualRect(&updates.Seen.back(), &PlayerBounds));

    HWND parent = form_->Handle();
    player->Stop();
    TComPtr<IOleInPlaceSiteWindowless> site;
    ASSERT_EQ(player->QueryInterface(IID_IOleInPlaceSiteWindowless, site.PutVoid()), S_OK);
    RECT asked = {30, 40, 50, 60}, update;

    updates.Replacement = RECT{0, 0, 200, 150};
    ValidateRect(parent, nullptr);
    EXPECT_EQ(site->InvalidateRect(&asked, FALSE), S_OK);
    ASSERT_TRUE(GetUpdateRect(parent, &update, FALSE));
    EXPECT_TRUE(EqualRect(&update, &updates.Replacement));

    // For a region the handler only looks.
    updates.Seen.clear();
    ValidateRect(parent, nullptr);
    HRGN region = CreateRectRgnIndirect(&asked);
    EXPECT_EQ(site->InvalidateRgn(region, FALSE), S_OK);
    DeleteObject(region);
    ASSERT_EQ(updates.Seen.size(), 1u);
    EXPECT_TRUE(EqualRect(&updates.Seen[0], &asked));
    ASSERT_TRUE(GetUpdateRect(parent, &update, FALSE));
    EXPECT_TRUE(EqualRect(&update, &asked));
}

namespace {

class TPlayerForm : public TForm {
public:
    explicit TPlayerForm(TComponent* owner) : TForm(owner) {
        PublishMethod<&TPlayerForm::DrawBackground>("DrawBackground");
    }
    const char* ClassName() const override { return "TPlayerForm"; }
    void DrawBackground(TObject*, TCanvas*) { ++Backgrounds; }
    int Backgrounds = 0;
};

}  // namespace

TEST_F(TransparentControlWithPlayerModule, FormFileMakesThePlayerAndStoresItsValues) {
    RegisterPlayerControlClasses();
    TPlayerForm form(nullptr);
    ReadComponentText(&form, R"(object PlayerForm: TPlayerForm
  object Player: TTransparentFlashPlayerControl
    Left = 5
    Top = 6
    Width = 200
    Height = 120
    FlashVars = 'a=1&b=2'
    StandartMenu = True
    OnDrawBackground = DrawBackground
  end
end
)");
    auto* player = form.Find<TTransparentFlashPlayerControl>("Player");
    ASSERT_NE(player->FlashObject(), nullptr);
    EXPECT_EQ(player->FlashVars(), L"a=1&b=2");  // read back from the object
    EXPECT_NE(player->StandartMenu(), 0);
    std::string text = WriteComponentText(&form);
    EXPECT_NE(text.find("StandartMenu = True"), std::string::npos) << text;
    EXPECT_NE(text.find("OnDrawBackground = DrawBackground"), std::string::npos) << text;
    EXPECT_EQ(text.find("TabStop"), std::string::npos) << text;
}

TEST_F(TransparentControlWithPlayerModule, FreeingPlayersLeavesNothingBehind) {
    auto cycle = [&] {
        TTransparentFlashPlayerControl* player = NewPlayingPlayer();
        delete player;
        PumpUntil([] { return false; }, 20);
    };
    cycle();  // first use allocates what lives for the process
    int windows = ThreadWindowCount();
    for (int i = 0; i < 10; ++i) cycle();
    EXPECT_EQ(ThreadWindowCount(), windows);
    for (int32_t id = 1; id < ContentManager->MovieCounter(); ++id) EXPECT_FALSE(ContentManager->FindControlById(id));
}
