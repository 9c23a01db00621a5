// The windowless control's layered mode with the reference player module under Wine: the
// parent form switched to a borderless layered window and back, the frames rendered with
// their alpha and handed to UpdateLayeredWindow (through the library's bound entry point),
// the form's input routed to the object, and a control freed while the mode is on leaving
// the form as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../content/ContentTestSupport.h"
#include "../refplayer/SwfWriter.h"
#include "../refplayer/TestMovies.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "PlayerModuleSupport.h"
#include "framework/ErrorHandling.h"
#include "framework/Exceptions.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"

using refplayer_test::TestSwf;

namespace {

// The reference player's panel, RGB(32, 40, 56), as a premultiplied opaque pixel.
constexpr uint32_t OpaquePanel = 0xFF202838;
constexpr uint32_t HalfRed = 0x80FF0000;  // as drawn, premultiplied: 0x80800000
// The window style bits that the system keeps on every top-level window.
constexpr LONG KeptByTheSystem = WS_CLIPSIBLINGS;

// What reached UpdateLayeredWindow.
struct TLayeredCall {
    HWND Window;
    POINT Position;
    SIZE Size;
    POINT Source;
    BLENDFUNCTION Blend;
    DWORD Flags;
};
std::vector<TLayeredCall> LayeredCalls;
TUpdateLayeredWindowProc SystemUpdateLayeredWindow = nullptr;

BOOL WINAPI RecordUpdateLayeredWindow(HWND window, HDC screen, POINT* position, SIZE* size, HDC source,
                                      POINT* sourcePoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags) {
    LayeredCalls.push_back({window, position ? *position : POINT{-1, -1}, size ? *size : SIZE{-1, -1},
                            sourcePoint ? *sourcePoint : POINT{-1, -1}, blend ? *blend : BLENDFUNCTION{}, flags});
    return SystemUpdateLayeredWindow(window, screen, position, size, source, sourcePoint, key, blend, flags);
}

// The frames OnFlashPaint saw: the pixel memory and a copy of its pixels.
struct TFrames {
    int Width = 0, Height = 0;
    std::vector<uint32_t*> Bits;
    std::vector<uint32_t> Last;
    // Written into the pixels by the handler, to see which survive the next frame.
    int MarkIndex = -1;
    static void Paint(void* self, TObject*, void* pixels) {
        auto* frames = static_cast<TFrames*>(self);
        auto* bits = static_cast<uint32_t*>(pixels);
        frames->Bits.push_back(bits);
        frames->Last.assign(bits, bits + frames->Width * frames->Height);
        if (frames->MarkIndex >= 0) bits[frames->MarkIndex] = 0x12345678;
    }
    // Pixel (x, y) of the last frame, y from the top (the memory holds the bottom line first).
    uint32_t Pixel(int x, int y) const { return Last[static_cast<size_t>((Height - 1 - y) * Width + x)]; }
};

// Records the messages that reach the form's own procedure and the form's visibility
// changes, ahead of whatever the layered mode installs.
struct TFormLog {
    TWndMethod Next;
    std::vector<UINT> Messages;
    std::string Visibility;
    void Install(TWinControl& form) {
        Next = form.WindowProc;
        form.WindowProc = TWndMethod::Of<&TFormLog::Handle>(this);
    }
    void Handle(TMessage& message) {
        Messages.push_back(message.Msg);
        if (message.Msg == CM_VISIBLECHANGED) Visibility += message.WParam ? "shown " : "hidden ";
        Next(message);
    }
    bool Saw(UINT msg) const { return std::find(Messages.begin(), Messages.end(), msg) != Messages.end(); }
};

LONG Style(TWinControl& form) { return GetWindowLongA(form.Handle(), GWL_STYLE); }
LONG ExStyle(TWinControl& form) { return GetWindowLongA(form.Handle(), GWL_EXSTYLE); }

class LayeredParent : public PlayerModuleTest {
protected:
    void SetUp() override {
        PlayerModuleTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(QueryFlashCodeVersion(), 0u);
        ASSERT_TRUE(TransparencyAvailable());
        SystemUpdateLayeredWindow = UpdateLayeredWindowProc;
        UpdateLayeredWindowProc = &RecordUpdateLayeredWindow;
        LayeredCalls.clear();
        form_->SetClientWidth(400);
        form_->SetClientHeight(300);
    }
    void TearDown() override {
        if (UpdateLayeredWindowProc == &RecordUpdateLayeredWindow) UpdateLayeredWindowProc = SystemUpdateLayeredWindow;
        PlayerModuleTest::TearDown();
    }

    TTransparentFlashPlayerControl* NewPlayer(TWinControl* parent) {
        auto* player = new TTransparentFlashPlayerControl(form_.get());
        player->SetBounds(20, 30, 300, 200);
        player->SetParent(parent);
        return player;
    }

    // Playing a movie on the transparent stage: an opaque panel over its top-left quarter
    // (a button whose release stops the movie) and a half-transparent red veil to its right;
    // nothing elsewhere.
    void PlayMovie(TTransparentFlashPlayerControl* player) {
        using namespace refplayer_test;
        auto movie = std::make_unique<TMemoryStream>();
        ShapeWriter panel;
        panel.Solid(OpaquePanel).Rectangle(0, 0, 5500, 4000);
        Bytes button = DefineButton2(
            101, {{refplayer::ButtonUp | refplayer::ButtonOver | refplayer::ButtonDown | refplayer::ButtonHit, 100, 1}},
            {{refplayer::ButtonRelease, {refplayer::SwfActionStop}}});
        ShapeWriter veil;
        veil.Solid(HalfRed).Rectangle(6000, 1000, 10000, 3000);
        TestSwf swf;
        swf.Tag(panel.Code(), panel.Body(100, 0, 0, 5500, 4000))
            .Tag(refplayer::SwfTagDefineButton2, button)
            .Tag(refplayer::SwfTagPlaceObject2, Place(101, 1))
            .Tag(veil.Code(), veil.Body(102, 6000, 1000, 10000, 3000))
            .Tag(refplayer::SwfTagPlaceObject2, Place(102, 2));
        Bytes bytes = swf.ShowFrame().ShowFrame().ShowFrame().End().Build(3, 30);
        movie->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        player->AssignMovieStream(*movie);
        player->Play();
        ASSERT_TRUE(PumpUntil([&] { return player->ReadyState() == 4; }));
    }
};

}  // namespace

TEST_F(LayeredParent, SwitchingOnAndOffTakesOverTheFormAndGivesItBack) {
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    player->SetAlign(TAlign::alRight);
    const RECT bounds = player->BoundsRect();
    const LONG style = Style(*form_), exStyle = ExStyle(*form_);
    ASSERT_EQ(form_->BorderStyle(), TFormBorderStyle::bsSizeable);
    TFormLog log;
    log.Install(*form_);

    player->SetMakeParentTransparent(WordTrue);
    EXPECT_EQ(player->MakeParentTransparent(), WordTrue);
    EXPECT_EQ(log.Visibility, "hidden shown ");  // hidden while its styles change
    EXPECT_TRUE(IsWindowVisible(form_->Handle()));
    EXPECT_EQ(Style(*form_) & ~KeptByTheSystem, WS_VISIBLE);
    // The system keeps the edge bit only on windows with a frame.
    EXPECT_EQ(ExStyle(*form_) & ~WS_EX_WINDOWEDGE, (exStyle | WS_EX_LAYERED) & ~WS_EX_WINDOWEDGE);
    EXPECT_EQ(form_->BorderStyle(), TFormBorderStyle::bsNone);
    RECT covering = {0, 0, form_->ClientWidth(), form_->ClientHeight()};
    RECT now = player->BoundsRect();
    EXPECT_TRUE(EqualRect(&now, &covering));
    EXPECT_EQ(covering.right, 400);

    log.Visibility.clear();
    player->SetMakeParentTransparent(WordTrue);  // no change, nothing happens
    EXPECT_EQ(log.Visibility, "");

    player->SetMakeParentTransparent(WordFalse);
    EXPECT_EQ(log.Visibility, "hidden shown ");
    EXPECT_EQ(Style(*form_), style);
    EXPECT_EQ(ExStyle(*form_), exStyle);
    EXPECT_EQ(form_->BorderStyle(), TFormBorderStyle::bsSizeable);
    EXPECT_EQ(player->Align(), TAlign::alRight);
    now = player->BoundsRect();
    EXPECT_TRUE(EqualRect(&now, &bounds)) << now.left << "," << now.top << "," << now.right << "," << now.bottom
                                          << " client " << form_->ClientWidth() << "x" << form_->ClientHeight();
    EXPECT_EQ(form_->WindowProc, TWndMethod::Of<&TFormLog::Handle>(&log));

    // A hidden form is switched both ways and stays hidden.
    form_->Hide();
    log.Visibility.clear();
    player->SetMakeParentTransparent(WordTrue);
    EXPECT_FALSE(IsWindowVisible(form_->Handle()));
    EXPECT_FALSE(form_->Visible());
    EXPECT_NE(ExStyle(*form_) & WS_EX_LAYERED, 0);
    player->SetMakeParentTransparent(WordFalse);
    EXPECT_FALSE(IsWindowVisible(form_->Handle()));
    EXPECT_EQ(log.Visibility, "");
    EXPECT_EQ(ExStyle(*form_), exStyle);
}

TEST_F(LayeredParent, WithoutTransparencyOrAtDesignTimeTheFormStaysAsItIs) {
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    const LONG style = Style(*form_), exStyle = ExStyle(*form_);
    TFormLog log;
    log.Install(*form_);

    UpdateLayeredWindowProc = nullptr;  // the library found no layered windows
    ASSERT_FALSE(TransparencyAvailable());
    player->SetMakeParentTransparent(WordTrue);
    EXPECT_EQ(player->MakeParentTransparent(), WordFalse);
    EXPECT_EQ(log.Visibility, "");
    EXPECT_EQ(Style(*form_), style);
    EXPECT_EQ(ExStyle(*form_), exStyle);
    EXPECT_EQ(form_->BorderStyle(), TFormBorderStyle::bsSizeable);
    UpdateLayeredWindowProc = &RecordUpdateLayeredWindow;

    // Designed, only the value changes (the form still blinks once).
    player->SetDesigning(true);
    player->SetMakeParentTransparent(WordTrue);
    EXPECT_EQ(player->MakeParentTransparent(), WordTrue);
    EXPECT_EQ(log.Visibility, "hidden shown ");
    EXPECT_EQ(ExStyle(*form_), exStyle);
    EXPECT_EQ(form_->WindowProc, TWndMethod::Of<&TFormLog::Handle>(&log));
    player->SetMakeParentTransparent(WordFalse);
    EXPECT_EQ(Style(*form_), style);
}

TEST_F(LayeredParent, FramesReachOnFlashPaintPremultipliedAndTheLayeredWindow) {
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    TFrames frames;
    player->OnFlashPaint = TFlashPlayerControlOnFlashPaint(&TFrames::Paint, &frames);
    player->SetMakeParentTransparent(WordTrue);
    frames.Width = player->Width();
    frames.Height = player->Height();
    PlayMovie(player);
    ASSERT_TRUE(PumpUntil([&] { return frames.Bits.size() >= 3; }));

    // Opaque on the panel, premultiplied half red on the veil, nothing on the bare stage or
    // the letterbox above it (the 550 x 400 stage shown at 400 x 291, 4.5 pixels down).
    EXPECT_EQ(frames.Pixel(10, 10), OpaquePanel);
    uint32_t veil = frames.Pixel(291, 77);
    EXPECT_NEAR(int(veil >> 24), 0x80, 2);
    EXPECT_NEAR(int((veil >> 16) & 0xFF), 0x80, 2);
    EXPECT_EQ(veil & 0xFFFF, 0u);
    EXPECT_EQ(frames.Pixel(frames.Width - 2, frames.Height - 2), 0u);
    EXPECT_EQ(frames.Pixel(2, 2), 0u);
    int opaque = 0, transparent = 0, partial = 0;
    for (uint32_t pixel : frames.Last) {
        opaque += (pixel >> 24) == 255;
        transparent += pixel == 0;
        partial += (pixel >> 24) > 0 && (pixel >> 24) < 255;
    }
    EXPECT_GT(opaque, 0);
    EXPECT_GT(transparent, 0);
    EXPECT_GT(partial, 0);
    EXPECT_EQ(opaque + transparent + partial, frames.Width * frames.Height);

    ASSERT_FALSE(LayeredCalls.empty());
    const TLayeredCall& call = LayeredCalls.back();
    EXPECT_EQ(call.Window, form_->Handle());
    EXPECT_EQ(call.Position.x, form_->Left());
    EXPECT_EQ(call.Position.y, form_->Top());
    EXPECT_EQ(call.Size.cx, player->Width());
    EXPECT_EQ(call.Size.cy, player->Height());
    EXPECT_EQ(call.Source.x, 0);
    EXPECT_EQ(call.Flags, static_cast<DWORD>(ULW_ALPHA));
    EXPECT_EQ(call.Blend.BlendOp, AC_SRC_OVER);
    EXPECT_EQ(call.Blend.SourceConstantAlpha, 255);
    EXPECT_EQ(call.Blend.AlphaFormat, AC_SRC_ALPHA);

    // The layered window follows the form.
    player->Stop();
    form_->SetBounds(60, 70, form_->Width(), form_->Height());
    InvalidateRect(form_->Handle(), nullptr, FALSE);
    UpdateWindow(form_->Handle());
    EXPECT_EQ(LayeredCalls.back().Position.x, 60);
    EXPECT_EQ(LayeredCalls.back().Position.y, 70);

    // A raising handler: the error goes to the application, the frame is shown all the same
    // and the form's paint is done with.
    static int reported;
    reported = 0;
    SetApplicationErrorHandler([](std::exception_ptr) { ++reported; });
    player->OnFlashPaint = TFlashPlayerControlOnFlashPaint(
        [](void*, TObject*, void*) { throw Exception("handler failed"); }, nullptr);
    size_t calls = LayeredCalls.size();
    InvalidateRect(form_->Handle(), nullptr, FALSE);
    UpdateWindow(form_->Handle());
    SetApplicationErrorHandler(nullptr);
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(LayeredCalls.size(), calls + 1);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(form_->Handle(), &update, FALSE));
}

TEST_F(LayeredParent, BuffersAreKeptWhileTheSizeStaysAndOnlyTheUpdateAreaIsRecomputed) {
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    TFrames frames;
    player->OnFlashPaint = TFlashPlayerControlOnFlashPaint(&TFrames::Paint, &frames);
    player->SetMakeParentTransparent(WordTrue);
    frames.Width = player->Width();
    frames.Height = player->Height();
    PlayMovie(player);
    ASSERT_TRUE(PumpUntil([&] { return frames.Bits.size() >= 2; }));
    player->Stop();
    for (size_t i = 1; i < frames.Bits.size(); ++i) EXPECT_EQ(frames.Bits[i], frames.Bits[0]);

    // Mark the bottom-right pixel, then repaint only the top-left corner: the mark stays.
    HWND window = form_->Handle();
    frames.MarkIndex = frames.Width - 1;  // memory holds the bottom line first
    RECT corner = {0, 0, 20, 20};
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    size_t seen = frames.Bits.size();
    frames.MarkIndex = -1;
    InvalidateRect(window, &corner, FALSE);
    UpdateWindow(window);
    ASSERT_EQ(frames.Bits.size(), seen + 1);
    EXPECT_EQ(frames.Pixel(frames.Width - 1, frames.Height - 1), 0x12345678u);
    EXPECT_EQ(frames.Pixel(10, 10), OpaquePanel);
    EXPECT_EQ(frames.Bits.back(), frames.Bits[0]);

    // A new size makes new pictures of that size.
    MEMORY_BASIC_INFORMATION before = {}, after = {};
    VirtualQuery(frames.Bits.back(), &before, sizeof(before));
    player->SetBounds(0, 0, 600, 450);
    frames.Width = 600;
    frames.Height = 450;
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    ASSERT_EQ(frames.Bits.size(), seen + 2);
    VirtualQuery(frames.Bits.back(), &after, sizeof(after));
    EXPECT_GE(after.RegionSize, static_cast<SIZE_T>(600 * 450 * 4));
    EXPECT_LT(before.RegionSize, static_cast<SIZE_T>(600 * 450 * 4));
    EXPECT_EQ(frames.Pixel(10, 10), OpaquePanel);
    EXPECT_EQ(frames.Pixel(599, 449), 0u);  // the mark went with the old picture
    EXPECT_EQ(LayeredCalls.back().Size.cx, 600);
    EXPECT_EQ(LayeredCalls.back().Size.cy, 450);
}

TEST_F(LayeredParent, TheFormsInputReachesTheObjectAndTheMenuInputIsSwallowed) {
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    TFormLog log;
    log.Install(*form_);
    player->SetMakeParentTransparent(WordTrue);
    PlayMovie(player);
    HWND window = form_->Handle();

    // IME input goes to the object only once it has the focus: a press in the form gives it.
    SendMessageA(window, WM_IME_CHAR, 'x', 0);
    EXPECT_TRUE(log.Saw(WM_IME_CHAR));

    // A click on the panel reaches the object (the button there stops the movie) and the form.
    ASSERT_NE(player->IsPlaying(), 0);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(12, 12));
    EXPECT_EQ(player->IsPlaying(), 0);
    EXPECT_TRUE(log.Saw(WM_LBUTTONUP));
    TComPtr<IOleInPlaceSiteWindowless> site;
    ASSERT_EQ(player->QueryInterface(IID_IOleInPlaceSiteWindowless, site.PutVoid()), S_OK);
    EXPECT_EQ(site->GetFocus(), S_OK);
    log.Messages.clear();
    SendMessageA(window, WM_IME_CHAR, 'x', 0);
    EXPECT_FALSE(log.Saw(WM_IME_CHAR));

    // Reflected keys go to the object's accelerators first: Return toggles playing.
    EXPECT_EQ(form_->Perform(CN_KEYDOWN, VK_RETURN, 0), 1);
    EXPECT_NE(player->IsPlaying(), 0);
    log.Messages.clear();
    form_->Perform(CN_KEYDOWN, 'A', 0);
    EXPECT_TRUE(log.Saw(CN_KEYDOWN));

    // The cursor is the object's alone.
    log.Messages.clear();
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_FALSE(log.Saw(WM_SETCURSOR));

    // Without the player's menu the right button and the menu key reach nobody.
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(12, 12));
    SendMessageA(window, WM_KEYDOWN, VK_APPS, 0);
    EXPECT_FALSE(log.Saw(WM_RBUTTONDOWN));
    EXPECT_FALSE(log.Saw(WM_KEYDOWN));
    SendMessageA(window, WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(log.Saw(WM_KEYDOWN));
    player->SetStandartMenu(WordTrue);
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(12, 12));
    EXPECT_TRUE(log.Saw(WM_RBUTTONDOWN));

    // An object no longer in place gets nothing; the form handles its own messages.
    TComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(player->FlashObject()->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid()), S_OK);
    inPlace->InPlaceDeactivate();
    log.Messages.clear();
    bool playing = player->IsPlaying() != 0;
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(12, 12));
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(player->IsPlaying() != 0, playing);
    EXPECT_TRUE(log.Saw(WM_LBUTTONUP));
    EXPECT_TRUE(log.Saw(WM_SETCURSOR));
}

TEST_F(LayeredParent, LeavingTheFormWhileOnGivesItBackItsWindow) {
    const LONG style = Style(*form_), exStyle = ExStyle(*form_);
    const TWndMethod own = form_->WindowProc;

    // Taken off the form: the form is restored, the mode goes with the control.
    TTransparentFlashPlayerControl* player = NewPlayer(form_.get());
    player->SetMakeParentTransparent(WordTrue);
    TForm other(nullptr);
    other.SetBounds(50, 50, 200, 150);
    other.Show();
    player->SetParent(&other);
    EXPECT_EQ(form_->WindowProc, own);
    EXPECT_EQ(Style(*form_), style);
    EXPECT_EQ(ExStyle(*form_), exStyle);
    EXPECT_NE(ExStyle(other) & WS_EX_LAYERED, 0);
    player->SetParent(nullptr);
    EXPECT_EQ(ExStyle(other) & WS_EX_LAYERED, 0);
    EXPECT_EQ(other.BorderStyle(), TFormBorderStyle::bsSizeable);
    delete player;

    // Freed while on, many times: the form keeps its own procedure and styles, and nothing
    // piles up. (Hidden: under Wine each hiding of a shown window waits two seconds.)
    form_->Hide();
    auto cycle = [&] {
        TTransparentFlashPlayerControl* p = NewPlayer(form_.get());
        p->SetMakeParentTransparent(WordTrue);
        // One frame makes the layered pictures.
        InvalidateRect(form_->Handle(), nullptr, FALSE);
        UpdateWindow(form_->Handle());
        delete p;
        PumpUntil([] { return false; }, 5);
    };
    cycle();
    int windows = ThreadWindowCount();
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 50; ++i) cycle();
    EXPECT_EQ(ThreadWindowCount(), windows);
    if (gdi) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi + 2);
    }
    EXPECT_EQ(form_->WindowProc, own);
    EXPECT_EQ(Style(*form_), style & ~WS_VISIBLE);
    EXPECT_EQ(ExStyle(*form_), exStyle);
    EXPECT_EQ(form_->BorderStyle(), TFormBorderStyle::bsSizeable);
    EXPECT_EQ(form_->ClientWidth(), 400);
    for (int32_t id = 1; id < ContentManager->MovieCounter(); ++id) EXPECT_FALSE(ContentManager->FindControlById(id));

    // A form freed with a control in the mode on it.
    auto doomed = std::make_unique<TForm>(nullptr);
    doomed->Show();
    auto* last = new TTransparentFlashPlayerControl(doomed.get());
    last->SetParent(doomed.get());
    last->SetMakeParentTransparent(WordTrue);
    doomed.reset();
}

namespace {

class TLayeredForm : public TForm {
public:
    using TForm::TForm;
    const char* ClassName() const override { return "TLayeredForm"; }
};

}  // namespace

TEST_F(LayeredParent, FormFilesStoreTheModeOnlyWhenOnAndSwitchItAfterReading) {
    RegisterPlayerControlClasses();
    TLayeredForm form(nullptr);
    ReadComponentText(&form, R"(object LayeredForm: TLayeredForm
  BorderStyle = bsSingle
  ClientWidth = 320
  ClientHeight = 240
  object Player: TTransparentFlashPlayerControl
    Left = 5
    Top = 6
    Width = 200
    Height = 120
    MakeParentTransparent = True
  end
  object Plain: TTransparentFlashPlayerControl
    Left = 5
    Top = 6
  end
end
)");
    auto* player = form.Find<TTransparentFlashPlayerControl>("Player");
    EXPECT_EQ(player->MakeParentTransparent(), WordTrue);
    EXPECT_NE(GetWindowLongA(form.Handle(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    EXPECT_EQ(form.BorderStyle(), TFormBorderStyle::bsNone);
    EXPECT_EQ(player->Width(), 320);
    std::string text = WriteComponentText(&form);
    EXPECT_EQ(text.find("MakeParentTransparent = True"), text.rfind("MakeParentTransparent")) << text;
    EXPECT_NE(text.find("MakeParentTransparent = True"), std::string::npos) << text;
    player->SetMakeParentTransparent(WordFalse);
    EXPECT_EQ(form.BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_EQ(player->Width(), 200);
}
