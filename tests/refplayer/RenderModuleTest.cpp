// The player module draws movies: pixel probes of frames drawn through IViewObject::Draw
// (opaque and composed with alpha), of its own window, and buttons answering the mouse in
// both activation kinds.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "tests/content/ContentTestSupport.h"
#include "tests/refplayer/ModuleTestSupport.h"
#include "tests/refplayer/SwfWriter.h"
#include "tests/refplayer/TestMovies.h"

namespace {

using namespace refplayer_test;
using refplayer::SwfTagPlaceObject2;

constexpr int SlotPutQuality = 12;
constexpr int SlotPutScale = 49;

// A 16 x 16 JPEG of one colour, RGB(200, 100, 50).
const uint8_t SolidJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
    0xFF, 0xDB, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02, 0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02,
    0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04, 0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06,
    0x07, 0x09, 0x08, 0x06, 0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0B, 0x08, 0x09, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x06, 0x08,
    0x0B, 0x0C, 0x0B, 0x0A, 0x0C, 0x09, 0x0A, 0x0A, 0x0A, 0xFF, 0xDB, 0x00, 0x43, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02,
    0x05, 0x03, 0x03, 0x05, 0x0A, 0x07, 0x06, 0x07, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A,
    0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A,
    0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0xFF, 0xC0,
    0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xC4, 0x00,
    0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,
    0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xC4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x08, 0xFF, 0xC4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F,
    0x00, 0x9E, 0x95, 0xD6, 0xC0, 0x00, 0x00, 0xFF, 0xD9,
};

bool Near(COLORREF colour, int r, int g, int b, int tolerance = 2) {
    return std::abs(GetRValue(colour) - r) <= tolerance && std::abs(GetGValue(colour) - g) <= tolerance &&
           std::abs(GetBValue(colour) - b) <= tolerance;
}

std::string Describe(COLORREF colour) {
    char text[32];
    snprintf(text, sizeof text, "RGB(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

// A movie of two frames on a 200 x 200 pixel stage with the given tags in its first.
Bytes Movie(const std::function<void(TestSwf&)>& tags, uint32_t background = 0xFFFFFF) {
    TestSwf movie;
    movie.Background(background);
    tags(movie);
    return movie.ShowFrame().ShowFrame().End().Build(2, 20, 4000, 4000);
}

void AddShape(TestSwf& movie, ShapeWriter& shape, uint16_t id, int depth) {
    movie.Tag(shape.Code(), shape.Body(id)).Tag(SwfTagPlaceObject2, Place(id, depth));
}

class RenderModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_NO_FATAL_FAILURE(RegisterPlayerModule());
    }
    void TearDown() override {
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        object_ = nullptr;
        flash_ = nullptr;
        site_.reset();
        UnregisterPlayerModule();
        if (!moviePath_.empty()) DeleteFileW(moviePath_.c_str());
        CoUninitialize();
    }

    // Activates a player at position in the host window and plays the movie from a file.
    void Start(const Bytes& movie, RECT position, bool windowless,
               const std::function<void(IUnknown*)>& before = nullptr) {
        ASSERT_EQ(CoCreateInstance(PlayerClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.PutVoid()),
                  S_OK);
        ASSERT_EQ(object_->QueryInterface(PlayerScriptingIid, flash_.PutVoid()), S_OK);
        if (windowless) PutString(flash_.Get(), SlotPutWMode, L"Transparent");
        if (before) before(flash_.Get());
        site_ = std::make_unique<TTestSite>(host_.Handle(), position, windowless);
        object_->SetClientSite(site_.get());
        ShowWindow(host_.Handle(), SW_SHOWNA);
        ASSERT_EQ(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, host_.Handle(), &position), S_OK);
        ASSERT_NO_FATAL_FAILURE(WriteTemporaryMovie(movie, moviePath_));
        PutString(flash_.Get(), SlotPutMovie, moviePath_.c_str());
        ASSERT_TRUE(PumpUntil([&] { return ReadLong(flash_.Get(), SlotReadyState) == 4; }));
    }

    // The frame drawn through the view object into a bitmap filled with `beneath`.
    std::unique_ptr<TTestBitmap> Draw(int width, int height, COLORREF beneath) {
        auto picture = std::make_unique<TTestBitmap>(width, height, beneath);
        RECTL bounds = {0, 0, width, height};
        EXPECT_EQ(object_.As<IViewObject>()->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture->Dc(),
                                                  &bounds, nullptr, nullptr, 0),
                  S_OK);
        return picture;
    }

    bool Playing() {
        VARIANT_BOOL playing = VARIANT_FALSE;
        CallSlot(flash_.Get(), SlotIsPlaying, &playing);
        return playing != VARIANT_FALSE;
    }

    TTestWindow host_;
    std::unique_ptr<TTestSite> site_;
    TComPtr<IOleObject> object_;
    TComPtr<IUnknown> flash_;
    std::wstring moviePath_;
};

TEST_F(RenderModuleTest, RedSquareAndGradientAtTheirPlacesInTheWindowAndThroughDraw) {
    Bytes movie = Movie([](TestSwf& m) {
        ShapeWriter red, gradient;
        red.Solid(0xFFFF0000).Rectangle(800, 800, 2000, 2000);  // (40, 40)-(100, 100) px
        // Left to right from green to blue over (0, 150)-(200, 200) px.
        gradient.Gradient(false, 4000.0 / 32768, 2000, 3500, {{0, 0xFF00FF00}, {255, 0xFF0000FF}})
            .Rectangle(0, 3000, 4000, 4000);
        AddShape(m, red, 1, 1);
        AddShape(m, gradient, 2, 2);
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    auto picture = Draw(200, 200, RGB(1, 2, 3));
    EXPECT_EQ(picture->Pixel(41, 41), RGB(255, 0, 0));
    EXPECT_EQ(picture->Pixel(98, 98), RGB(255, 0, 0));
    EXPECT_EQ(picture->Pixel(38, 41), RGB(255, 255, 255));
    EXPECT_EQ(picture->Pixel(101, 70), RGB(255, 255, 255));
    EXPECT_TRUE(Near(picture->Pixel(1, 175), 0, 255, 0, 6)) << Describe(picture->Pixel(1, 175));
    EXPECT_TRUE(Near(picture->Pixel(198, 175), 0, 0, 255, 6)) << Describe(picture->Pixel(198, 175));

    // The window shows the same frame.
    HWND stage = nullptr;
    ASSERT_EQ(object_.As<IOleInPlaceObject>()->GetWindow(&stage), S_OK);
    RedrawWindow(stage, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(stage);
    EXPECT_EQ(GetPixel(dc, 70, 70), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 20, 20), RGB(255, 255, 255));
    ReleaseDC(stage, dc);
}

TEST_F(RenderModuleTest, HalfTransparentShapeBlendsOverTheContainerWhenWindowless) {
    Bytes movie = Movie([](TestSwf& m) {
        ShapeWriter half;
        half.Solid(0x80FFFFFF).Rectangle(0, 0, 2000, 4000);  // left half, 50% white
        AddShape(m, half, 1, 1);
    });
    RECT position = {10, 10, 210, 210};
    Start(movie, position, true);
    auto picture = Draw(200, 200, RGB(0, 0, 200));
    // Source over: 128 + 200 * (255 - 128) / 255 in blue, 128 in red and green.
    COLORREF blended = picture->Pixel(50, 100);
    EXPECT_TRUE(Near(blended, 128, 128, 228)) << Describe(blended);
    // The transparent stage leaves the container's pixels as they were.
    EXPECT_EQ(picture->Pixel(150, 100), RGB(0, 0, 200));

    DWORD hit = 0;
    RECT area = {0, 0, 200, 200};
    auto view = object_.As<IViewObjectEx>();
    ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, POINT{50, 100}, 0, &hit), S_OK);
    EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
    ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, POINT{150, 100}, 0, &hit), S_OK);
    EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));
}

TEST_F(RenderModuleTest, JpegBitmapFillShowsItsColour) {
    Bytes movie = Movie([](TestSwf& m) {
        BitWriter bits;
        bits.U16(9).Raw(Bytes(SolidJpeg, SolidJpeg + sizeof SolidJpeg));
        m.Tag(21, bits.Data());  // DefineBitsJPEG2
        ShapeWriter shape;
        shape.Bitmap(9, 200, 0, 0).Rectangle(0, 0, 3200, 3200);  // 16 px scaled 10 times
        AddShape(m, shape, 1, 1);
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    auto picture = Draw(200, 200, RGB(0, 0, 0));
    int sum[3] = {0, 0, 0}, count = 0;
    for (int y = 20; y < 140; y += 7)
        for (int x = 20; x < 140; x += 7) {
            COLORREF c = picture->Pixel(x, y);
            sum[0] += GetRValue(c);
            sum[1] += GetGValue(c);
            sum[2] += GetBValue(c);
            count++;
        }
    EXPECT_NEAR(sum[0] / count, 200, 6);
    EXPECT_NEAR(sum[1] / count, 100, 6);
    EXPECT_NEAR(sum[2] / count, 50, 6);
    EXPECT_EQ(picture->Pixel(180, 180), RGB(255, 255, 255));  // beyond the bitmap: the stage
}

TEST_F(RenderModuleTest, MorphShapeIsDrawnAtItsPlacementRatio) {
    // Red (0, 0)-(50, 50) px morphing into blue (100, 100)-(200, 200) px, placed half way:
    // (50, 50)-(125, 125) px in the colour between.
    MorphSquare morph;
    morph.start[2] = morph.start[3] = 1000;
    morph.end[0] = morph.end[1] = 2000;
    morph.end[2] = morph.end[3] = 4000;
    Bytes movie = Movie([&](TestSwf& m) {
        m.Tag(refplayer::SwfTagDefineMorphShape, MorphBody(1, morph)).Tag(SwfTagPlaceObject2, PlaceWithRatio(1, 32768));
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    auto picture = Draw(200, 200, RGB(0, 0, 0));
    EXPECT_TRUE(Near(picture->Pixel(90, 90), 128, 0, 127, 2)) << Describe(picture->Pixel(90, 90));
    EXPECT_EQ(picture->Pixel(40, 40), RGB(255, 255, 255));
    EXPECT_EQ(picture->Pixel(140, 140), RGB(255, 255, 255));
}

TEST_F(RenderModuleTest, MalformedPlacementInALaterFrameStopsTheMovieNotTheProcess) {
    // Frame 1 shows a red square; frame 2's placement is cut short.
    ShapeWriter red;
    red.Solid(0xFFFF0000).Rectangle(0, 0, 2000, 2000);
    Bytes movie = TestSwf()
                      .Background(0xFFFFFF)
                      .Tag(red.Code(), red.Body(1))
                      .Tag(SwfTagPlaceObject2, Place(1, 1))
                      .ShowFrame()
                      .Tag(SwfTagPlaceObject2, {0x06, 1})
                      .ShowFrame()
                      .End()
                      .Build(2, 20, 4000, 4000);
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(50, 50), RGB(255, 0, 0));
    EXPECT_EQ(ReadLong(flash_.Get(), SlotReadyState), 4);
    // The player still answers.
    EXPECT_EQ(ReadLong(flash_.Get(), SlotTotalFrames), 2);
}

TEST_F(RenderModuleTest, ScaleModesAndLowQuality) {
    Bytes movie = Movie([](TestSwf& m) {
        ShapeWriter red;
        red.Solid(0xFFFF0000).Rectangle(0, 0, 4000, 2000);  // the top half of the stage
        AddShape(m, red, 1, 1);
    }, 0x000000);
    RECT position = {0, 0, 400, 200};
    Start(movie, position, false, [](IUnknown* flash) { PutString(flash, SlotPutScale, L"ExactFit"); });
    // Exact fit stretches 200 x 200 to 400 x 200: the top half is red across.
    auto fit = Draw(400, 200, RGB(1, 1, 1));
    EXPECT_EQ(fit->Pixel(5, 50), RGB(255, 0, 0));
    EXPECT_EQ(fit->Pixel(395, 50), RGB(255, 0, 0));
    EXPECT_EQ(fit->Pixel(200, 150), RGB(0, 0, 0));

    PutString(flash_.Get(), SlotPutScale, L"ShowAll");
    auto all = Draw(400, 200, RGB(1, 1, 1));
    EXPECT_EQ(all->Pixel(5, 50), RGB(0, 0, 0));  // the background fills the letterbox
    EXPECT_EQ(all->Pixel(150, 50), RGB(255, 0, 0));

    PutString(flash_.Get(), SlotPutScale, L"NoScale");
    auto none = Draw(400, 100, RGB(1, 1, 1));
    // 1:1 and centred: the stage's top half (0..100) lies at y -50..50.
    EXPECT_EQ(none->Pixel(150, 10), RGB(255, 0, 0));
    EXPECT_EQ(none->Pixel(150, 60), RGB(0, 0, 0));

    // Low quality: edges are either in or out. A stage edge at a half pixel shows it.
    PutString(flash_.Get(), SlotPutScale, L"ExactFit");
    auto smooth = Draw(400, 201, RGB(1, 1, 1));
    COLORREF edge = smooth->Pixel(200, 100);
    EXPECT_GT(GetRValue(edge), 20);
    EXPECT_LT(GetRValue(edge), 235);
    long low = 0;
    CallSlot(flash_.Get(), SlotPutQuality, low);
    auto hard = Draw(400, 201, RGB(1, 1, 1));
    COLORREF hardEdge = hard->Pixel(200, 100);
    EXPECT_TRUE(hardEdge == RGB(255, 0, 0) || hardEdge == RGB(0, 0, 0)) << Describe(hardEdge);
}

Bytes ButtonMovie() {
    return Movie([](TestSwf& m) {
        ShapeWriter up, over, down;
        up.Solid(0xFFFF0000).Rectangle(1000, 1000, 3000, 3000);  // (50, 50)-(150, 150) px
        over.Solid(0xFF00FF00).Rectangle(1000, 1000, 3000, 3000);
        down.Solid(0xFF0000FF).Rectangle(1000, 1000, 3000, 3000);
        m.Tag(up.Code(), up.Body(1)).Tag(over.Code(), over.Body(2)).Tag(down.Code(), down.Body(3));
        Bytes button = DefineButton2(
            4, {{refplayer::ButtonUp, 1, 1}, {refplayer::ButtonOver, 2, 1}, {refplayer::ButtonDown, 3, 1},
                {refplayer::ButtonHit, 1, 2}},
            {{refplayer::ButtonRelease, {refplayer::SwfActionStop}}});
        m.Tag(34, button).Tag(SwfTagPlaceObject2, Place(4, 1));
    });
}

TEST_F(RenderModuleTest, ButtonInTheWindowChangesStateAndRunsItsReleaseAction) {
    RECT position = {0, 0, 200, 200};
    Start(ButtonMovie(), position, false);
    HWND stage = nullptr;
    ASSERT_EQ(object_.As<IOleInPlaceObject>()->GetWindow(&stage), S_OK);
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(255, 0, 0));
    SendMessageW(stage, WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(0, 255, 0));
    SendMessageW(stage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(0, 0, 255));
    EXPECT_TRUE(Playing());
    SendMessageW(stage, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(0, 255, 0));
    SendMessageW(stage, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(255, 0, 0));
}

// Points the loaded module's import of `name` at `replacement`; the previous target comes back.
void* ReplaceImport(HMODULE module, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); import->Name;
         import++) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

std::vector<std::wstring>* shellOpens = nullptr;
HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT) {
    shellOpens->push_back(std::wstring(operation ? operation : L"") + L" " + (file ? file : L"") +
                          (parameters ? L" +" : L""));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

// GetURL action records: url and window.
Bytes GetUrlAction(const std::string& url, const std::string& window) {
    Bytes data(url.begin(), url.end());
    data.push_back(0);
    data.insert(data.end(), window.begin(), window.end());
    data.push_back(0);
    Bytes action = {refplayer::SwfActionGetUrl, uint8_t(data.size()), uint8_t(data.size() >> 8)};
    action.insert(action.end(), data.begin(), data.end());
    return action;
}

TEST_F(RenderModuleTest, GetUrlToAWindowOpensWebPagesThroughTheShellOnly) {
    // The shell is watched, never reached: nothing starts.
    HMODULE module = LoadLibraryW(ModulePath("refplayer.dll").c_str());
    ASSERT_TRUE(module);
    std::vector<std::wstring> opens;
    shellOpens = &opens;
    void* real = ReplaceImport(module, "ShellExecuteW", reinterpret_cast<void*>(&RecordShellExecute));
    ASSERT_NE(real, nullptr);
    // The first frame asks for a program and a local file, which are refused; the button's
    // release asks for a web page in a new window.
    Bytes movie = Movie([](TestSwf& m) {
        Bytes refused = GetUrlAction("file:///C:/windows/notepad.exe", "_blank");
        Bytes local = GetUrlAction("notes.txt", "_self");
        refused.insert(refused.end(), local.begin(), local.end());
        refused.push_back(0);
        m.Tag(12, refused);
        ShapeWriter up;
        up.Solid(0xFFFF0000).Rectangle(1000, 1000, 3000, 3000);
        Bytes release = GetUrlAction("http://example.com/help?topic=1", "_blank");
        m.Tag(up.Code(), up.Body(1))
            .Tag(34, DefineButton2(4, {{refplayer::ButtonUp | refplayer::ButtonOver | refplayer::ButtonDown |
                                            refplayer::ButtonHit, 1, 1}},
                                   {{refplayer::ButtonRelease, release}}))
            .Tag(SwfTagPlaceObject2, Place(4, 1));
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    HWND stage = nullptr;
    ASSERT_EQ(object_.As<IOleInPlaceObject>()->GetWindow(&stage), S_OK);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(opens.empty());
    SendMessageW(stage, WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
    SendMessageW(stage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(stage, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(opens, std::vector<std::wstring>{L"open http://example.com/help?topic=1"});
    // A second release at once is held back: a movie cannot flood the desktop with windows.
    SendMessageW(stage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(stage, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(opens.size(), 1u);
    object_->Close(OLECLOSE_NOSAVE);
    ReplaceImport(module, "ShellExecuteW", real);
    shellOpens = nullptr;
    FreeLibrary(module);
}

TEST_F(RenderModuleTest, WindowlessButtonAnswersMessagesInContainerCoordinates) {
    RECT position = {20, 30, 220, 230};
    Start(ButtonMovie(), position, true);
    auto windowless = object_.As<IOleInPlaceObjectWindowless>();
    LRESULT result = 0;
    // Beside the button the stage is transparent: not the object's.
    EXPECT_EQ(windowless->OnWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(20 + 10, 30 + 10), &result), S_FALSE);
    EXPECT_EQ(windowless->OnWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(20 + 100, 30 + 100), &result), S_OK);
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(0, 255, 0));
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + 100, 30 + 100), &result), S_OK);
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(0, 0, 255));
    EXPECT_TRUE(Playing());
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(20 + 100, 30 + 100), &result), S_OK);
    EXPECT_FALSE(Playing());
    // A press that leaves the button before the release runs nothing more and shows it up.
    EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + 100, 30 + 100), &result), S_OK);
    CallSlot(flash_.Get(), 28);  // Play
    EXPECT_TRUE(Playing());
    windowless->OnWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20 + 10, 30 + 10), &result);
    windowless->OnWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(20 + 10, 30 + 10), &result);
    EXPECT_TRUE(Playing());
    EXPECT_EQ(Draw(200, 200, 0)->Pixel(100, 100), RGB(255, 0, 0));
}

}  // namespace

namespace {

int CountNear(const TTestBitmap& picture, RECT area, int r, int g, int b) {
    int count = 0;
    for (int y = area.top; y < area.bottom; y++)
        for (int x = area.left; x < area.right; x++)
            if (Near(picture.Pixel(x, y), r, g, b, 40)) count++;
    return count;
}

TEST_F(RenderModuleTest, StaticTextAndATextFieldFilledFromFlashVars) {
    Bytes movie = Movie([](TestSwf& m) {
        m.Tag(48, SquareFont(1));  // DefineFont2
        // Three 20-pixel squares from (20, 20), 30 pixels apart.
        m.Tag(33, StaticText(2, 1, 0xFF0000FF, 400, 400, 800, 3, 600));
        m.Tag(SwfTagPlaceObject2, Place(2, 1));
        // A field from (10, 120) to (190, 160) px with 20-pixel red text bound to "greeting".
        m.Tag(37, EditText(3, 200, 2400, 3800, 3200, 1, 400, 0xFFFF0000, "greeting", ""));
        m.Tag(SwfTagPlaceObject2, Place(3, 2));
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false, [](IUnknown* flash) { PutString(flash, SlotPutFlashVars, L"greeting=Hello%20there"); });
    auto picture = Draw(200, 200, RGB(0, 0, 0));
    EXPECT_EQ(picture->Pixel(25, 25), RGB(0, 0, 255));
    EXPECT_EQ(picture->Pixel(55, 35), RGB(0, 0, 255));
    EXPECT_EQ(picture->Pixel(45, 30), RGB(255, 255, 255));  // between the glyphs
    // The field's text: red pixels inside its box, none beside it.
    EXPECT_GT(CountNear(*picture, RECT{10, 120, 190, 160}, 255, 0, 0), 60);
    EXPECT_EQ(CountNear(*picture, RECT{10, 165, 190, 200}, 255, 0, 0), 0);
}

}  // namespace

namespace {

// Push of two strings, then one action (with its payload).
Bytes PushTwoThen(const std::string& first, const std::string& second, const Bytes& action) {
    Bytes push = {0x00};
    push.insert(push.end(), first.begin(), first.end());
    push.insert(push.end(), {0, 0x00});
    push.insert(push.end(), second.begin(), second.end());
    push.push_back(0);
    Bytes actions = {0x96, uint8_t(push.size()), uint8_t(push.size() >> 8)};
    actions.insert(actions.end(), push.begin(), push.end());
    actions.insert(actions.end(), action.begin(), action.end());
    actions.push_back(0x00);
    return actions;
}

// status = value (SetVariable).
Bytes SetVariableActions(const std::string& name, const std::string& value) { return PushTwoThen(name, value, {0x1D}); }
// loadMovie(url, target): GetURL2 with the load-into-target flag.
Bytes LoadMovieActions(const std::string& url, const std::string& target) {
    return PushTwoThen(url, target, {0x9A, 1, 0, 0x02});
}

TEST_F(RenderModuleTest, ScriptsSetABoundFieldAndLoadARelativeJpegIntoAClip) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring picture = std::wstring(folder) + L"clippic.jpg";
    FILE* out = _wfopen(picture.c_str(), L"wb");
    ASSERT_TRUE(out);
    fwrite(SolidJpeg, 1, sizeof SolidJpeg, out);
    fclose(out);
    Bytes movie = Movie([](TestSwf& m) {
        // An empty sprite named "holder" at (100, 20) px, and a field bound to "status".
        SpriteWriter empty;
        empty.ShowFrame();
        m.Tag(39, empty.Body(5));
        Placement holder;
        holder.id = 5;
        holder.depth = 3;
        holder.hasMatrix = true;
        holder.tx = 2000;
        holder.ty = 400;
        holder.name = "holder";
        m.Tag(SwfTagPlaceObject2, PlaceObject2(holder));
        m.Tag(37, EditText(3, 200, 2400, 3800, 3200, 1, 400, 0xFFFF0000, "status", ""));
        m.Tag(SwfTagPlaceObject2, Place(3, 2));
        m.Tag(12, SetVariableActions("status", "Scripted"));  // DoAction
        m.Tag(12, LoadMovieActions("clippic.jpg", "holder"));
        m.GetUrl("clippic.jpg", "_level1");  // loadMovieNum: the picture at the stage's origin
    });
    RECT position = {0, 0, 200, 200};
    Start(movie, position, false);
    // The picture arrives through the moniker after the script: 16 x 16 at (100, 20).
    std::unique_ptr<TTestBitmap> shot;
    EXPECT_TRUE(PumpUntil([&] {
        shot = Draw(200, 200, RGB(0, 0, 0));
        return Near(shot->Pixel(108, 28), 200, 100, 50, 8);
    })) << Describe(shot->Pixel(108, 28));
    EXPECT_EQ(shot->Pixel(120, 28), RGB(255, 255, 255));
    EXPECT_TRUE(PumpUntil([&] {
        shot = Draw(200, 200, RGB(0, 0, 0));
        return Near(shot->Pixel(8, 8), 200, 100, 50, 8);
    })) << Describe(shot->Pixel(8, 8));
    EXPECT_EQ(shot->Pixel(30, 8), RGB(255, 255, 255));
    EXPECT_GT(CountNear(*shot, RECT{10, 120, 190, 160}, 255, 0, 0), 60);
    // The container reads the script's variable.
    BSTR name = SysAllocString(L"status");
    BSTR value = nullptr;
    CallSlot(flash_.Get(), 66, name, &value);  // GetVariable
    EXPECT_STREQ(value ? value : L"", L"Scripted");
    SysFreeString(name);
    SysFreeString(value);
    DeleteFileW(picture.c_str());
}

}  // namespace
