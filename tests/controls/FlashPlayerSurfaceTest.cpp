// The property, method and event surface both controls share, against a scripted player
// object: which slots are asked for which version, what is cached, what is swallowed.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/controls/FlashPlayerSurface.h"
#include "FlashPlayerControl/loader/Library.h"
#include "ScriptedPlayer.h"
#include "framework/ErrorHandling.h"

namespace {

using Calls = std::vector<std::string>;

long Version(int major) { return static_cast<long>(major) << 16; }

// The surface as a control carries it, with the object and design state the test sets.
class TSurface : public TObject, public TFlashPlayerSurface {
public:
    IUnknown* Object = nullptr;
    bool Designing = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == __uuidof(IFlashPlayerControlBase)) {
            *out = static_cast<IFlashPlayerControlBase*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

protected:
    IUnknown* PlayerObject() override { return Object; }
    bool PlayerDesigning() override { return Designing; }
    TObject* PlayerEventSender() override { return this; }
};

// The player's calls other than the version queries (slot 39 is not recorded).
class Surface : public ::testing::Test {
protected:
    void Use(TScriptedPlayer& player) { surface.Object = player.Object(); }
    TSurface surface;
};

}  // namespace

TEST_F(Surface, WithoutAnObjectPropertiesAreStoredValuesAndMethodsAnswerNeutrally) {
    surface.SetFrameNum(5);
    EXPECT_EQ(surface.FrameNum(), 5);
    surface.SetMovie(L"a.swf");
    EXPECT_EQ(surface.Movie(), L"a.swf");
    EXPECT_EQ(surface.PlayerVersionClass(), -1);
    EXPECT_EQ(surface.IsPlaying(), WordTrue);
    EXPECT_EQ(surface.FrameLoaded(3), WordTrue);
    EXPECT_EQ(surface.CurrentFrame(), 0);
    EXPECT_EQ(surface.ReadyState(), 0);
    EXPECT_EQ(surface.TotalFrames(), 0);
    EXPECT_EQ(surface.FlashVersion(), 0);
    EXPECT_EQ(surface.GetVariable(L"x"), L"");
    EXPECT_NO_THROW(surface.Play());
}

TEST_F(Surface, BooleansAreNormalisedAndGettersAskTheObjectWithoutTouchingTheCache) {
    TScriptedPlayer player(Version(9));
    Use(player);
    EXPECT_EQ(surface.PlayerVersionClass(), 8);
    surface.SetLoop(2);
    surface.SetFrameNum(5);
    EXPECT_EQ(player.Calls, (Calls{"20 -1", "24 5"}));
    player.Longs[23] = 42;
    EXPECT_EQ(surface.FrameNum(), 42);
    surface.Object = nullptr;
    EXPECT_EQ(surface.FrameNum(), 5);  // the cache still holds what was assigned
    EXPECT_EQ(surface.Loop(), WordTrue);
}

TEST_F(Surface, FailedCallsAreSwallowedByAccessorsAndRaisedByMethods) {
    TScriptedPlayer player(Version(8));
    Use(player);
    surface.SetMovie(L"cached.swf");
    player.FailingSlot = 21;
    EXPECT_EQ(surface.Movie(), L"");  // a failed string read is empty, not the cache
    player.FailingSlot = 23;
    surface.SetFrameNum(7);
    EXPECT_EQ(surface.FrameNum(), 7);  // a failed number read is the cache
    player.FailingSlot = 29;
    try {
        surface.Stop();
        FAIL() << "Stop did not raise";
    } catch (const EOleError& error) {
        EXPECT_EQ(error.ErrorCode, E_FAIL);
    }
    player.FailingSlot = 24;
    EXPECT_NO_THROW(surface.SetFrameNum(1));
}

TEST_F(Surface, VersionClassesDecideWhichPropertiesReachTheObject) {
    TScriptedPlayer six(Version(6));
    Use(six);
    surface.SetFlashVars(L"a=1");     // 7 and later only
    surface.SetSWRemote(L"remote");   // not for 6
    surface.SetStacking(L"below");    // 5 only
    EXPECT_TRUE(six.Calls.empty());
    EXPECT_EQ(surface.FlashVars(), L"a=1");

    TScriptedPlayer five(Version(5));
    five.UseVersion5Table();
    Use(five);
    surface.SetSWRemote(L"r5");
    surface.SetStacking(L"s5");
    EXPECT_EQ(five.Calls, (Calls{"74 r5", "76 s5"}));
    five.Strings[73] = L"from five";
    EXPECT_EQ(surface.SWRemote(), L"from five");

    TScriptedPlayer ten(Version(10));
    Use(ten);
    surface.SetSWRemote(L"r10");
    surface.SetFlashVars(L"b=2");
    EXPECT_EQ(ten.Calls, (Calls{"75 r10", "77 b=2"}));
}

namespace {

// Starts the library with the fixture module of the given file name registered as the player.
class TRegisteredPlayer {
public:
    explicit TRegisteredPlayer(const char* fileName) {
        std::string path = std::string(FPC_FIXTURE_DIR) + "/" + fileName;
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyName().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
        StartFlashPlayerLibrary();
    }
    ~TRegisteredPlayer() {
        StopFlashPlayerLibrary();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, KeyName().c_str());
    }

private:
    static std::string KeyName() {
        return "Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";
    }
};

}  // namespace

TEST_F(Surface, FullScreenPermissionFollowsTheLibraryCodeVersion) {
    TScriptedPlayer player(Version(10));
    Use(player);
    // No player module mapped: code version 0, so the value is only cached.
    surface.SetAllowFullscreen(WordTrue);
    EXPECT_TRUE(player.Calls.empty());
    EXPECT_EQ(surface.AllowFullscreen(), WordTrue);
    {
        TRegisteredPlayer below("redirectfixture_9_0_16.dll");
        ASSERT_EQ(QueryFlashCodeVersion(), 0x09001000u);
        surface.SetAllowFullscreen(WordFalse);
        EXPECT_EQ(surface.AllowFullscreen(), WordFalse);
        EXPECT_TRUE(player.Calls.empty());
    }
    {
        // 9.0.28.0 exactly is let through, as the strings "true" and "false".
        TRegisteredPlayer exactly("redirectfixture_9_0_28.dll");
        ASSERT_EQ(QueryFlashCodeVersion(), FullScreenMinimumVersion());
        surface.SetAllowFullscreen(WordFalse);
        player.Strings[98] = L"True";  // only "true" exactly reads as True
        EXPECT_EQ(surface.AllowFullscreen(), WordFalse);
        player.Strings[98] = L"true";
        EXPECT_EQ(surface.AllowFullscreen(), WordTrue);
        EXPECT_EQ(player.Calls, (Calls{"99 false", "98", "98"}));
    }
}

TEST_F(Surface, DesignTimeKeepsPlayingInTheCacheAndStopsANewMovie) {
    TScriptedPlayer player(Version(9));
    Use(player);
    surface.Designing = true;
    surface.SetPlaying(WordFalse);
    EXPECT_TRUE(player.Calls.empty());
    surface.SetMovie(L"design.swf");
    EXPECT_EQ(player.Calls, (Calls{"22 design.swf", "29"}));
    surface.Object = nullptr;
    EXPECT_EQ(surface.Playing(), WordTrue);
}

TEST_F(Surface, MethodsPassArgumentsInOrderAndResultsBack) {
    TScriptedPlayer player(Version(9));
    Use(player);
    surface.LoadMovie(2, L"layer.swf");
    surface.GotoFrame(12);
    surface.Play();
    player.Longs[8] = 30;
    EXPECT_EQ(surface.TotalFrames(), 30);
    EXPECT_EQ(surface.CallFunction(L"<invoke name=\"f\"/>"), L"<string>answer</string>");
    EXPECT_EQ(player.Calls, (Calls{"58 2 layer.swf", "34 12", "28", "8", "93 <invoke name=\"f\"/>"}));

    TScriptedPlayer seven(Version(7));
    Use(seven);
    EXPECT_EQ(surface.CallFunction(L"x"), L"");  // version 8 and later only
    EXPECT_TRUE(seven.Calls.empty());
}

TEST_F(Surface, PlayerEventsReachTheControlsEventsWithArgumentsInOrder) {
    struct Seen {
        std::vector<std::string> Events;
    } seen;
    surface.OnFSCommand = TFlashPlayerControlFSCommand([](void* s, TObject*, const std::wstring& command, const std::wstring& args) {
        static_cast<Seen*>(s)->Events.push_back("fs " + std::string(command.begin(), command.end()) + "|" +
                                                std::string(args.begin(), args.end()));
    }, &seen);
    surface.OnProgress = TFlashPlayerControlOnProgress([](void* s, TObject*, int percent) {
        static_cast<Seen*>(s)->Events.push_back("progress " + std::to_string(percent));
    }, &seen);
    surface.OnReadyStateChange = TFlashPlayerControlOnReadyStateChange([](void*, TObject*, int) {
        throw Exception("handler failed");
    }, nullptr);

    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(L"");      // the last parameter: args
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"quit");  // the first parameter: command
    DISPPARAMS params = {args, nullptr, 2, 0};
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidFSCommand, &params), S_OK);
    VARIANT percent;
    percent.vt = VT_I4;
    percent.lVal = 100;
    DISPPARAMS one = {&percent, nullptr, 1, 0};
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidProgress, &one), S_OK);
    EXPECT_EQ(seen.Events, (std::vector<std::string>{"fs quit|", "progress 100"}));

    static int reported = 0;
    reported = 0;
    SetApplicationErrorHandler([](std::exception_ptr) { ++reported; });
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidReadyStateChange, &one), S_OK);
    EXPECT_EQ(reported, 1);
    SetApplicationErrorHandler(nullptr);
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidFlashCall, &params), S_OK);  // unassigned: acknowledged
    EXPECT_EQ(surface.DispatchPlayerEvent(12345, &params), DISP_E_MEMBERNOTFOUND);
    // Too few arguments read as empty rather than past the array.
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidFSCommand, &none), S_OK);
    EXPECT_EQ(seen.Events.back(), "fs |");
    // A number where a string belongs is converted, never read as a text pointer; a string
    // where a number belongs is converted too.
    VARIANT mixed[2];
    mixed[0].vt = VT_I4;
    mixed[0].lVal = 0x1234;
    mixed[1].vt = VT_BSTR;
    mixed[1].bstrVal = SysAllocString(L"cmd");
    DISPPARAMS typed = {mixed, nullptr, 2, 0};
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidFSCommand, &typed), S_OK);
    EXPECT_EQ(seen.Events.back(), "fs cmd|4660");
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"42");
    DISPPARAMS progress = {&text, nullptr, 1, 0};
    EXPECT_EQ(surface.DispatchPlayerEvent(DispidProgress, &progress), S_OK);
    EXPECT_EQ(seen.Events.back(), "progress 42");
    SysFreeString(mixed[1].bstrVal);
    SysFreeString(text.bstrVal);
    SysFreeString(args[0].bstrVal);
    SysFreeString(args[1].bstrVal);
}

TEST_F(Surface, StreamLoadersRegisterTheMovieAndLoadItsFakePathThroughTheObject) {
    CoInitialize(nullptr);
    StartFlashPlayerLibrary();
    TScriptedPlayer player(Version(9));
    Use(player);
    TMemoryStream movie;
    movie.WriteBuffer("FWS", 3);  // positioned at its end: the whole movie still goes
    surface.AssignLayerStream(0, movie);
    std::string reset(ResetMovieURL, ResetMovieURL + wcslen(ResetMovieURL));
    std::wstring path = FormatMoviePath(1);
    EXPECT_EQ(player.Calls, (Calls{"58 0 " + reset, "58 0 " + std::string(path.begin(), path.end())}));

    player.Calls.clear();
    TStream* stream = nullptr;
    surface.OpenMovieStream(stream);
    ASSERT_NE(stream, nullptr);
    path = FormatMoviePath(2);
    EXPECT_EQ(player.Calls, (Calls{"22 " + reset, "22 " + std::string(path.begin(), path.end())}));
    delete stream;

    // A failing LoadMovie reaches the caller of the layer loader.
    player.FailingSlot = 58;
    EXPECT_THROW(surface.AssignLayerStream(1, movie), EOleError);
    ContentManager->UnregisterControl(&surface);
    StopFlashPlayerLibrary();
    CoUninitialize();
}

namespace {

// A descendant that overrides an accessor pair, a method and a stream loader.
class TOverridingSurface : public TSurface {
public:
    std::vector<std::string> Calls;
    void SetMovie(const std::wstring& value) override {
        Calls.push_back("set movie");
        TSurface::SetMovie(value + L"?seen");
    }
    std::wstring Base() override {
        Calls.push_back("base");
        return L"C:\\override";
    }
    void LoadMovie(int32_t layer, const std::wstring&) override {
        Calls.push_back("load movie " + std::to_string(layer));
    }
    void AssignMovieStream(TStream&) override { Calls.push_back("assign movie stream"); }
    int32_t ReadyState() override { return 4; }
};

}  // namespace

TEST(SurfaceDescendant, OverridesAreReachedThroughTheSurfaceAndTheContentManagersInterface) {
    TOverridingSurface descendant;
    TFlashPlayerSurface& surface = descendant;
    surface.SetMovie(L"a.swf");
    EXPECT_EQ(surface.Movie(), L"a.swf?seen");
    EXPECT_EQ(surface.ReadyState(), 4);
    TMemoryStream stream;
    surface.AssignMovieStream(stream);

    IFlashPlayerControlBase& base = descendant;
    std::wstring url;
    EXPECT_EQ(base.GetBaseURL(url), S_OK);
    EXPECT_EQ(url, L"C:\\override");
    base.SetMovieURL(L"b.swf");
    base.LoadMovieURL(2, L"c.swf");
    EXPECT_EQ(descendant.Calls, (std::vector<std::string>{"set movie", "assign movie stream", "base",
                                                          "set movie", "load movie 2"}));
}
