// Buttons and sounds of movies played by the module mapped through the library: a button
// state's sprite animates and its roll-over sound reaches the wave device, the hand cursor
// (the module's own resource) shows over an active button in both activation kinds, and the
// library's sound switch silences a movie's event sounds.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "FlashPlayerControl/loader/CodeProvider.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ComPtr.h"
#include "tests/content/ContentTestSupport.h"
#include "tests/redirection/RedirectionTestSupport.h"
#include "tests/refplayer/ModuleTestSupport.h"
#include "tests/refplayer/WaveOutCounter.h"
#include "tests/refplayer/SwfWriter.h"
#include "tests/refplayer/TestMovies.h"

namespace {

using namespace refplayer_test;


// The cursors the library makes from the module's resources.
HCURSOR lastModuleCursor = nullptr;
decltype(&::CreateIconFromResource) realCreateIcon = nullptr;
HICON WINAPI RecordCreateIcon(PBYTE bits, DWORD size, BOOL icon, DWORD version) {
    HICON made = realCreateIcon(bits, size, icon, version);
    if (!icon) lastModuleCursor = made;
    return made;
}

// A square sound of 16-bit mono samples at 22 kHz.
Bytes LoudSound(uint16_t id, int samples) {
    BitWriter out;
    out.U16(id).U8(0x3A).U32(uint32_t(samples));
    for (int i = 0; i < samples; i++) out.U16(uint16_t(i % 40 < 20 ? 8000 : -8000));
    return out.Data();
}

class InteractionModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
        StartFlashPlayerLibrary();
        // No click sound on navigation: the wave device hears the movie alone.
        ASSERT_NO_FATAL_FAILURE(SilenceStartClick());
        waveCount = &count_;
        SystemCalls().waveOutOpen = CountingWaveOpen;
        SystemCalls().waveOutWrite = CountingWaveWrite;
        SystemCalls().waveOutClose = CountingWaveClose;
        realCreateIcon = SystemCalls().CreateIconFromResource;
        SystemCalls().CreateIconFromResource = RecordCreateIcon;
        lastModuleCursor = nullptr;
    }
    void TearDown() override {
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        object_ = nullptr;
        flash_ = nullptr;
        site_.reset();
        SetSoundsEnabled(true);
        DeleteFileA(PlayerSettingsPath().c_str());
        StopFlashPlayerLibrary();
        waveCount = nullptr;
        EXPECT_EQ(UnregisterPlayerModule(), S_OK);
        CoUninitialize();
    }

    // Plays the movie from a file in a 300 x 200 player at position in the container window.
    void Start(const Bytes& movie, RECT position, bool windowless) {
        ASSERT_EQ(FlashCodeProvider->CreateFlashInstance(IID_IOleObject, object_.PutVoid()), S_OK);
        ASSERT_EQ(object_->QueryInterface(PlayerScriptingIid, flash_.PutVoid()), S_OK);
        if (windowless) PutString(flash_.Get(), SlotPutWMode, L"Transparent");
        site_ = std::make_unique<TTestSite>(host_.Handle(), position, windowless);
        object_->SetClientSite(site_.get());
        ShowWindow(host_.Handle(), SW_SHOWNA);
        ASSERT_EQ(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, host_.Handle(), &position), S_OK);
        ASSERT_NO_FATAL_FAILURE(WriteTemporaryMovie(movie, moviePath_));
        PutString(flash_.Get(), SlotPutMovie, moviePath_.c_str());
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash_.Get(), SlotReadyState) == 4; }));
    }

    COLORREF DrawnPixel(int x, int y) {
        TTestBitmap picture(300, 200, RGB(1, 2, 3));
        RECTL bounds = {0, 0, 300, 200};
        object_.As<IViewObject>()->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Dc(), &bounds,
                                        nullptr, nullptr, 0);
        return picture.Pixel(x, y);
    }

    TSystemCallsScope restore_;
    TWaveCount count_;
    TTestWindow host_;
    std::unique_ptr<TTestSite> site_;
    TComPtr<IOleObject> object_;
    TComPtr<IUnknown> flash_;
    std::wstring moviePath_;
};

TEST_F(InteractionModuleTest, ButtonOverStateAnimatesItsSpriteAndPlaysItsRollOverSound) {
    // Button 4 over (20, 20)-(120, 70) px: blue when up; when over, sprite 5 turns red and
    // green frame by frame, and sound 7 plays.
    ShapeWriter blue, red, green;
    blue.Solid(0xFF0000FF).Rectangle(400, 400, 2400, 1400);
    red.Solid(0xFFFF0000).Rectangle(400, 400, 2400, 1400);
    green.Solid(0xFF00FF00).Rectangle(400, 400, 2400, 1400);
    SpriteWriter spinner;
    spinner.Tag(refplayer::SwfTagPlaceObject2, Place(2, 1)).ShowFrame();
    spinner.Tag(refplayer::SwfTagPlaceObject2, Place(3, 1)).ShowFrame();
    BitWriter sounds;
    sounds.U16(4).U16(0).U16(7).U8(0).U16(0).U16(0);
    Bytes movie = TestSwf()
                      .Background(0xFFFFFF)
                      .Tag(blue.Code(), blue.Body(1)).Tag(red.Code(), red.Body(2)).Tag(green.Code(), green.Body(3))
                      .Tag(refplayer::SwfTagDefineSprite, spinner.Body(5))
                      .Tag(refplayer::SwfTagDefineButton2,
                           DefineButton2(4, {{refplayer::ButtonUp | refplayer::ButtonHit, 1, 1},
                                             {refplayer::ButtonOver | refplayer::ButtonDown, 5, 2}}, {}))
                      .Tag(refplayer::SwfTagDefineSound, LoudSound(7, 11025))
                      .Tag(refplayer::SwfTagDefineButtonSound, sounds.Data())
                      .Tag(refplayer::SwfTagPlaceObject2, Place(4, 1))
                      .ShowFrame()
                      .End()
                      .Build(1, 20, 6000, 4000);
    Start(movie, RECT{0, 0, 300, 200}, false);
    HWND stage = nullptr;
    ASSERT_EQ(object_.As<IOleInPlaceObject>()->GetWindow(&stage), S_OK);
    EXPECT_EQ(DrawnPixel(70, 45), RGB(0, 0, 255));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(count_.loudWrites, 0);

    SendMessageW(stage, WM_MOUSEMOVE, 0, MAKELPARAM(70, 45));
    bool sawRed = false, sawGreen = false;
    EXPECT_TRUE(PumpUntil([&] {
        COLORREF now = DrawnPixel(70, 45);
        sawRed |= now == RGB(255, 0, 0);
        sawGreen |= now == RGB(0, 255, 0);
        return sawRed && sawGreen;
    }, 3000)) << sawRed << sawGreen;
    EXPECT_TRUE(PumpUntil([&] { return count_.loudWrites > 0; }, 3000));

    SendMessageW(stage, WM_MOUSEMOVE, 0, MAKELPARAM(250, 150));
    EXPECT_EQ(DrawnPixel(70, 45), RGB(0, 0, 255));
}

TEST_F(InteractionModuleTest, HandCursorShowsOverAnActiveButtonInBothActivationKinds) {
    // AddStopButton: a button over (20, 20)-(260, 80) px of the stage.
    TestSwf content;
    AddStopButton(content.Background(0xFFFFFF), 0xFF0000);
    Bytes movie = content.ShowFrame().End().Build(1, 20, 6000, 4000);
    for (bool windowless : {false, true}) {
        SCOPED_TRACE(windowless ? "windowless" : "windowed");
        RECT position = {10, 10, 310, 210};
        Start(movie, position, windowless);
        HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
        // A point over the button and one beside it, in container coordinates.
        POINT over = {position.left + 100, position.top + 50}, beside = {position.left + 100, position.top + 150};
        auto cursorAt = [&](POINT point, bool& claimed) {
            SetCursor(arrow);
            POINT screen = point;
            ClientToScreen(host_.Handle(), &screen);
            SetCursorPos(screen.x, screen.y);
            if (windowless) {
                auto object = object_.As<IOleInPlaceObjectWindowless>();
                LRESULT result = 0;
                object->OnWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y), &result);
                claimed = object->OnWindowMessage(WM_SETCURSOR, WPARAM(host_.Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE),
                                                  &result) == S_OK && result == TRUE;
            } else {
                HWND stage = nullptr;
                object_.As<IOleInPlaceObject>()->GetWindow(&stage);
                LPARAM at = MAKELPARAM(point.x - position.left, point.y - position.top);
                SendMessageW(stage, WM_MOUSEMOVE, 0, at);
                claimed = SendMessageW(stage, WM_SETCURSOR, WPARAM(stage), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)) == TRUE;
            }
            return GetCursor();
        };
        bool claimed = false;
        HCURSOR shown = cursorAt(over, claimed);
        EXPECT_TRUE(claimed);
        // The hand is the module's own cursor resource, made by the library's LoadCursorA.
        ASSERT_NE(lastModuleCursor, nullptr);
        EXPECT_EQ(shown, lastModuleCursor);
        shown = cursorAt(beside, claimed);
        EXPECT_NE(shown, lastModuleCursor);
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_ = nullptr;
        flash_ = nullptr;
        site_.reset();
    }
}

TEST_F(InteractionModuleTest, LibrarySoundSwitchSilencesTheMoviesEventSounds) {
    // Two frames at 20 fps; the first starts sound 7 each time round, one write each.
    Bytes movie = TestSwf()
                      .Tag(refplayer::SwfTagDefineSound, LoudSound(7, 441))
                      .Tag(refplayer::SwfTagStartSound, {7, 0, 0})
                      .ShowFrame()
                      .ShowFrame()
                      .End()
                      .Build(2, 20, 6000, 4000);
    SetSoundsEnabled(false);
    Start(movie, RECT{0, 0, 300, 200}, false);
    EXPECT_TRUE(PumpUntil([&] { return count_.silentWrites >= 3; }, 3000));
    EXPECT_EQ(count_.loudWrites, 0);
    SetSoundsEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return count_.loudWrites >= 3; }, 3000));
    SetSoundsEnabled(false);
    int loudBefore = count_.loudWrites, silentBefore = count_.silentWrites;
    EXPECT_TRUE(PumpUntil([&] { return count_.silentWrites >= silentBefore + 3; }, 3000));
    EXPECT_EQ(count_.loudWrites, loudBefore);
}

}  // namespace
