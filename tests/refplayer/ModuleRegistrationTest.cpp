// The module as the system sees it: self-registration, creation through the system's object
// registration, its version resource, and its scripting function table called slot by slot.

#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "tests/refplayer/ModuleTestSupport.h"

namespace {

using TEntry = HRESULT(STDAPICALLTYPE*)();
using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The module loaded by the system, its entry points at hand.
class TSystemModule {
public:
    explicit TSystemModule(const char* fileName) : module_(LoadLibraryW(ModulePath(fileName).c_str())) {}
    ~TSystemModule() {
        if (module_) FreeLibrary(module_);
    }
    bool Loaded() const { return module_ != nullptr; }
    HRESULT Call(const char* name) {
        auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return entry ? entry() : E_NOTIMPL;
    }
    TComPtr<IOleObject> CreateObject() {
        auto entry = reinterpret_cast<TGetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        TComPtr<IClassFactory> factory;
        TComPtr<IOleObject> object;
        if (entry && entry(PlayerClassId, IID_IClassFactory, factory.PutVoid()) == S_OK)
            factory->CreateInstance(nullptr, IID_IOleObject, object.PutVoid());
        return object;
    }

private:
    HMODULE module_;
};

std::wstring RegisteredServer() {
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32", nullptr,
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

// "major.minor.build.revision" of a file's version resource.
std::string ProductVersion(const std::wstring& path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return "none";
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return "none";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return "none";
    return std::to_string(HIWORD(info->dwProductVersionMS)) + "." + std::to_string(LOWORD(info->dwProductVersionMS)) +
           "." + std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionLS));
}

class ModuleRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        TSystemModule module("refplayer.dll");
        module.Call("DllUnregisterServer");
        CoUninitialize();
    }
};

TEST_F(ModuleRegistrationTest, RegistersWhereTheClassesRootReadsAndCreatesThroughTheSystem) {
    {
        TSystemModule module("refplayer.dll");
        ASSERT_TRUE(module.Loaded());
        ASSERT_EQ(module.Call("DllRegisterServer"), S_OK);
    }
    EXPECT_EQ(_wcsicmp(RegisteredServer().c_str(), ModulePath("refplayer.dll").c_str()), 0);

    TComPtr<IOleObject> object;
    ASSERT_EQ(CoCreateInstance(PlayerClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.PutVoid()), S_OK);
    TComPtr<IUnknown> flash;
    ASSERT_EQ(object->QueryInterface(PlayerScriptingIid, flash.PutVoid()), S_OK);
    EXPECT_EQ((ReadLong(flash.Get(), SlotFlashVersion) >> 16) & 0xFF, 10);
    // Every interface a container asks for, from one identity.
    for (REFIID iid : {IID_IOleControl, IID_IOleInPlaceObject, IID_IOleInPlaceObjectWindowless,
                       IID_IOleInPlaceActiveObject, IID_IConnectionPointContainer, IID_IDispatch, IID_IViewObject,
                       IID_IViewObject2, IID_IViewObjectEx, IID_IObjectWithSite}) {
        TComPtr<IUnknown> other, identity;
        EXPECT_EQ(object->QueryInterface(iid, other.PutVoid()), S_OK);
        if (other) other->QueryInterface(IID_IUnknown, identity.PutVoid());
        TComPtr<IUnknown> objectIdentity = object.As<IUnknown>();
        EXPECT_EQ(identity.Get(), objectIdentity.Get());
    }
    TComPtr<IConnectionPointContainer> points = object.As<IConnectionPointContainer>();
    TComPtr<IConnectionPoint> point;
    EXPECT_EQ(points->FindConnectionPoint(PlayerEventsIid, point.Put()), S_OK);
    EXPECT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, point.Put()), S_OK);
    EXPECT_NE(points->FindConnectionPoint(IID_IAdviseSink, point.Put()), S_OK);
    point = nullptr;
    points = nullptr;
    flash = nullptr;
    object = nullptr;
    CoFreeUnusedLibraries();

    TSystemModule module("refplayer.dll");
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_OK);
    EXPECT_EQ(module.Call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(RegisteredServer(), L"");
    EXPECT_NE(CoCreateInstance(PlayerClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.PutVoid()), S_OK);
}

TEST_F(ModuleRegistrationTest, UnregisteringLeavesAnotherModulesRegistration) {
    TSystemModule current("refplayer.dll"), old("refplayer6.dll");
    ASSERT_EQ(old.Call("DllRegisterServer"), S_OK);
    EXPECT_EQ(current.Call("DllUnregisterServer"), SELFREG_E_CLASS);
    EXPECT_EQ(_wcsicmp(RegisteredServer().c_str(), ModulePath("refplayer6.dll").c_str()), 0);
    EXPECT_EQ(old.Call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(RegisteredServer(), L"");
}

TEST_F(ModuleRegistrationTest, VersionResourcesOfTheTwoVariants) {
    EXPECT_EQ(ProductVersion(ModulePath("refplayer.dll")), "10.0.45.2");
    EXPECT_EQ(ProductVersion(ModulePath("refplayer6.dll")), "6.0.79.0");
}

TEST_F(ModuleRegistrationTest, ObjectsKeepTheModuleInUse) {
    TSystemModule module("refplayer.dll");
    TComPtr<IOleObject> object = module.CreateObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_FALSE);
    object = nullptr;
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_OK);
}

// --- The function table, slot by slot ---

using TSlotCheck = std::function<void(IUnknown* flash)>;
struct TSlotCase {
    int slot;
    std::string name;
    TSlotCheck check;
};

BSTR Text(const wchar_t* text) { return SysAllocString(text); }

std::wstring TakeText(BSTR text) {
    std::wstring result = text ? text : L"";
    SysFreeString(text);
    return result;
}

// A put slot followed by its get slot must give the value back.
void StringPair(std::vector<TSlotCase>& cases, int getSlot, const char* name, const wchar_t* value) {
    std::string getName = std::string("get_") + name, putName = std::string("put_") + name;
    std::wstring expected = value;
    cases.push_back({getSlot, getName, [getSlot, expected](IUnknown* flash) {
                         BSTR text = Text(expected.c_str());
                         ASSERT_EQ(CallSlot(flash, getSlot + 1, text), S_OK);
                         SysFreeString(text);
                         BSTR out = nullptr;
                         ASSERT_EQ(CallSlot(flash, getSlot, &out), S_OK);
                         EXPECT_EQ(TakeText(out), expected);
                     }});
    cases.push_back({getSlot + 1, putName, nullptr});  // checked with its getter
}

void BoolPair(std::vector<TSlotCase>& cases, int getSlot, const char* name, bool differsFromDefault) {
    std::string getName = std::string("get_") + name, putName = std::string("put_") + name;
    cases.push_back({getSlot, getName, [getSlot, differsFromDefault](IUnknown* flash) {
                         for (VARIANT_BOOL value : {VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE}) {
                             VARIANT_BOOL put = differsFromDefault ? VARIANT_BOOL(~value) : value;
                             ASSERT_EQ(CallSlot(flash, getSlot + 1, put), S_OK);
                             VARIANT_BOOL read = 7;
                             ASSERT_EQ(CallSlot(flash, getSlot, &read), S_OK);
                             EXPECT_EQ(read, put ? VARIANT_TRUE : VARIANT_FALSE);
                         }
                     }});
    cases.push_back({getSlot + 1, putName, nullptr});
}

template <typename T>
void ValuePair(std::vector<TSlotCase>& cases, int getSlot, const char* name, T value) {
    std::string getName = std::string("get_") + name, putName = std::string("put_") + name;
    cases.push_back({getSlot, getName, [getSlot, value](IUnknown* flash) {
                         ASSERT_EQ(CallSlot(flash, getSlot + 1, value), S_OK);
                         T read = T(-7);
                         ASSERT_EQ(CallSlot(flash, getSlot, &read), S_OK);
                         EXPECT_EQ(read, value);
                     }});
    cases.push_back({getSlot + 1, putName, nullptr});
}

VARIANT_BOOL IsPlaying(IUnknown* flash) {
    VARIANT_BOOL playing = 7;
    EXPECT_EQ(CallSlot(flash, 36, &playing), S_OK);
    return playing;
}

// Every slot from 7 to lastSlot with a call that shows the slot is the one named.
std::vector<TSlotCase> SlotCases(int expectedMajor) {
    std::vector<TSlotCase> cases;
    cases.push_back({7, "get_ReadyState", [](IUnknown* flash) {
                         long state = ReadLong(flash, 7);
                         EXPECT_GE(state, 0);
                         EXPECT_LE(state, 4);
                     }});
    cases.push_back({8, "get_TotalFrames", [](IUnknown* flash) { EXPECT_EQ(ReadLong(flash, 8), 0); }});
    BoolPair(cases, 9, "Playing", false);
    ValuePair<int>(cases, 11, "Quality", 3);
    ValuePair<int>(cases, 13, "ScaleMode", 2);
    ValuePair<int>(cases, 15, "AlignMode", 5);
    ValuePair<long>(cases, 17, "BackgroundColor", 0x112233);
    BoolPair(cases, 19, "Loop", true);
    StringPair(cases, 21, "Movie", L"Z:\\nowhere\\movie.swf");
    ValuePair<long>(cases, 23, "FrameNum", 0);
    cases.push_back({25, "SetZoomRect", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 25, 0L, 0L, 10L, 10L), S_OK); }});
    cases.push_back({26, "Zoom", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 26, 50), S_OK); }});
    cases.push_back({27, "Pan", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 27, 1L, 2L, 0), S_OK); }});
    cases.push_back({28, "Play", [](IUnknown* f) {
                         ASSERT_EQ(CallSlot(f, 28), S_OK);
                         EXPECT_EQ(IsPlaying(f), VARIANT_TRUE);
                     }});
    cases.push_back({29, "Stop", [](IUnknown* f) {
                         ASSERT_EQ(CallSlot(f, 28), S_OK);
                         ASSERT_EQ(CallSlot(f, 29), S_OK);
                         EXPECT_EQ(IsPlaying(f), VARIANT_FALSE);
                     }});
    for (auto [slot, name] : {std::pair<int, const char*>{30, "Back"}, {31, "Forward"}, {32, "Rewind"}})
        cases.push_back({slot, name, [slot = slot](IUnknown* f) {
                             EXPECT_EQ(CallSlot(f, slot), S_OK);
                             EXPECT_EQ(ReadLong(f, 35), 0);  // no movie: nowhere to go
                         }});
    cases.push_back({33, "StopPlay", [](IUnknown* f) {
                         ASSERT_EQ(CallSlot(f, 28), S_OK);
                         ASSERT_EQ(CallSlot(f, 33), S_OK);
                         EXPECT_EQ(IsPlaying(f), VARIANT_FALSE);
                     }});
    cases.push_back({34, "GotoFrame", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 34, 0L), S_OK); }});
    cases.push_back({35, "CurrentFrame", [](IUnknown* f) { EXPECT_EQ(ReadLong(f, 35), 0); }});
    cases.push_back({36, "IsPlaying", [](IUnknown* f) {
                         CallSlot(f, 28);
                         EXPECT_EQ(IsPlaying(f), VARIANT_TRUE);
                     }});
    cases.push_back({37, "PercentLoaded", [](IUnknown* f) { EXPECT_EQ(ReadLong(f, 37), 0); }});
    cases.push_back({38, "FrameLoaded", [](IUnknown* f) {
                         VARIANT_BOOL loaded = 7;
                         ASSERT_EQ(CallSlot(f, 38, 0L, &loaded), S_OK);
                         EXPECT_EQ(loaded, VARIANT_FALSE);
                     }});
    cases.push_back({39, "FlashVersion", [expectedMajor](IUnknown* f) {
                         EXPECT_EQ((ReadLong(f, 39) >> 16) & 0xFF, expectedMajor);
                     }});
    StringPair(cases, 40, "WMode", L"Opaque");
    StringPair(cases, 42, "SAlign", L"LT");
    BoolPair(cases, 44, "Menu", true);
    StringPair(cases, 46, "Base", L"http://example.test/dir/");
    StringPair(cases, 48, "Scale", L"NoScale");
    BoolPair(cases, 50, "DeviceFont", false);
    BoolPair(cases, 52, "EmbedMovie", false);
    StringPair(cases, 54, "BGColor", L"#336699");
    StringPair(cases, 56, "Quality2", L"Low");
    cases.push_back({58, "LoadMovie", [](IUnknown* f) {
                         BSTR url = Text(L"Z:\\nowhere\\other.swf");
                         ASSERT_EQ(CallSlot(f, 58, 0, url), S_OK);
                         SysFreeString(url);
                         BSTR movie = nullptr;
                         ASSERT_EQ(CallSlot(f, 21, &movie), S_OK);
                         EXPECT_EQ(TakeText(movie), L"Z:\\nowhere\\other.swf");
                     }});
    cases.push_back({59, "TGotoFrame", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         EXPECT_EQ(CallSlot(f, 59, target, 0L), S_OK);
                         SysFreeString(target);
                     }});
    cases.push_back({60, "TGotoLabel", [](IUnknown* f) {
                         BSTR target = Text(L"/"), label = Text(L"start");
                         EXPECT_EQ(CallSlot(f, 60, target, label), S_OK);
                         SysFreeString(target);
                         SysFreeString(label);
                     }});
    cases.push_back({61, "TCurrentFrame", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         long frame = -1;
                         EXPECT_EQ(CallSlot(f, 61, target, &frame), S_OK);
                         EXPECT_EQ(frame, 0);
                         SysFreeString(target);
                     }});
    cases.push_back({62, "TCurrentLabel", [](IUnknown* f) {
                         BSTR target = Text(L"/"), label = nullptr;
                         EXPECT_EQ(CallSlot(f, 62, target, &label), S_OK);
                         EXPECT_EQ(TakeText(label), L"");
                         SysFreeString(target);
                     }});
    cases.push_back({63, "TPlay", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         CallSlot(f, 29);
                         EXPECT_EQ(CallSlot(f, 63, target), S_OK);
                         EXPECT_EQ(IsPlaying(f), VARIANT_TRUE);
                         SysFreeString(target);
                     }});
    cases.push_back({64, "TStopPlay", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         CallSlot(f, 28);
                         EXPECT_EQ(CallSlot(f, 64, target), S_OK);
                         EXPECT_EQ(IsPlaying(f), VARIANT_FALSE);
                         SysFreeString(target);
                     }});
    cases.push_back({65, "SetVariable", [](IUnknown* f) {
                         BSTR name = Text(L"greeting"), value = Text(L"hello"), read = nullptr;
                         ASSERT_EQ(CallSlot(f, 65, name, value), S_OK);
                         ASSERT_EQ(CallSlot(f, 66, name, &read), S_OK);
                         EXPECT_EQ(TakeText(read), L"hello");
                         SysFreeString(name);
                         SysFreeString(value);
                     }});
    cases.push_back({66, "GetVariable", [](IUnknown* f) {
                         BSTR name = Text(L"undefinedName"), read = Text(L"stale");
                         ASSERT_EQ(CallSlot(f, 66, name, &read), S_OK);
                         EXPECT_EQ(read, nullptr);
                         SysFreeString(name);
                     }});
    cases.push_back({67, "TSetProperty", [](IUnknown* f) {
                         BSTR target = Text(L"/"), value = Text(L"clip"), read = nullptr;
                         ASSERT_EQ(CallSlot(f, 67, target, 13, value), S_OK);
                         ASSERT_EQ(CallSlot(f, 68, target, 13, &read), S_OK);
                         EXPECT_EQ(TakeText(read), L"clip");
                         SysFreeString(target);
                         SysFreeString(value);
                     }});
    cases.push_back({68, "TGetProperty", [](IUnknown* f) {
                         BSTR target = Text(L"/"), read = nullptr;
                         ASSERT_EQ(CallSlot(f, 68, target, 5, &read), S_OK);  // _totalframes
                         EXPECT_EQ(TakeText(read), L"0");
                         SysFreeString(target);
                     }});
    cases.push_back({69, "TCallFrame", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         EXPECT_EQ(CallSlot(f, 69, target, 0), S_OK);
                         SysFreeString(target);
                     }});
    cases.push_back({70, "TCallLabel", [](IUnknown* f) {
                         BSTR target = Text(L"/"), label = Text(L"x");
                         EXPECT_EQ(CallSlot(f, 70, target, label), S_OK);
                         SysFreeString(target);
                         SysFreeString(label);
                     }});
    cases.push_back({71, "TSetPropertyNum", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         ASSERT_EQ(CallSlot(f, 71, target, 6, 50.5), S_OK);
                         double read = 0;
                         ASSERT_EQ(CallSlot(f, 72, target, 6, &read), S_OK);
                         EXPECT_EQ(read, 50.5);
                         SysFreeString(target);
                     }});
    cases.push_back({72, "TGetPropertyNum", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         double read = -1;
                         ASSERT_EQ(CallSlot(f, 72, target, 4, &read), S_OK);  // _currentframe, 1-based
                         EXPECT_EQ(read, 1.0);
                         SysFreeString(target);
                     }});
    if (expectedMajor < 7) return cases;

    cases.push_back({73, "TGetPropertyAsNumber", [](IUnknown* f) {
                         BSTR target = Text(L"/");
                         ASSERT_EQ(CallSlot(f, 71, target, 7, 1.25), S_OK);
                         double read = 0;
                         ASSERT_EQ(CallSlot(f, 73, target, 7, &read), S_OK);
                         EXPECT_EQ(read, 1.25);
                         SysFreeString(target);
                     }});
    StringPair(cases, 74, "SWRemote", L"swRemote");
    StringPair(cases, 76, "FlashVars", L"a=1&b=2");
    StringPair(cases, 78, "AllowScriptAccess", L"always");
    StringPair(cases, 80, "MovieData", L"data");
    cases.push_back({82, "get_InlineData", [](IUnknown* f) {
                         ASSERT_EQ(CallSlot(f, 83, f), S_OK);
                         IUnknown* read = nullptr;
                         ASSERT_EQ(CallSlot(f, 82, &read), S_OK);
                         EXPECT_EQ(read, f);
                         if (read) read->Release();
                         EXPECT_EQ(CallSlot(f, 83, static_cast<IUnknown*>(nullptr)), S_OK);
                     }});
    cases.push_back({83, "put_InlineData", nullptr});
    BoolPair(cases, 84, "SeamlessTabbing", true);
    cases.push_back({86, "EnforceLocalSecurity", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 86), S_OK); }});
    BoolPair(cases, 87, "Profile", false);
    StringPair(cases, 89, "ProfileAddress", L"127.0.0.1");
    ValuePair<long>(cases, 91, "ProfilePort", 7935);
    cases.push_back({93, "CallFunction", [](IUnknown* f) {
                         BSTR request = Text(L"<invoke name=\"echo\" returntype=\"xml\"><arguments>"
                                             L"<string>ping</string></arguments></invoke>");
                         BSTR response = nullptr;
                         ASSERT_EQ(CallSlot(f, 93, request, &response), S_OK);
                         EXPECT_EQ(TakeText(response), L"<string>ping</string>");
                         SysFreeString(request);
                         request = Text(L"<invoke name=\"noSuchFunction\" returntype=\"xml\"><arguments/></invoke>");
                         EXPECT_EQ(CallSlot(f, 93, request, &response), E_FAIL);
                         SysFreeString(request);
                     }});
    cases.push_back({94, "SetReturnValue", [](IUnknown* f) {
                         BSTR value = Text(L"<true/>");
                         EXPECT_EQ(CallSlot(f, 94, value), S_OK);
                         SysFreeString(value);
                     }});
    cases.push_back({95, "DisableLocalSecurity", [](IUnknown* f) { EXPECT_EQ(CallSlot(f, 95), S_OK); }});
    StringPair(cases, 96, "AllowNetworking", L"internal");
    StringPair(cases, 98, "AllowFullScreen", L"true");
    return cases;
}

void CheckTable(IUnknown* flash, int expectedMajor, int lastSlot) {
    std::vector<TSlotCase> cases = SlotCases(expectedMajor);
    std::set<int> covered;
    for (const TSlotCase& c : cases) {
        EXPECT_TRUE(covered.insert(c.slot).second) << "slot " << c.slot << " listed twice";
        if (!c.check) continue;
        SCOPED_TRACE(testing::Message() << "slot " << c.slot << " " << c.name);
        c.check(flash);
    }
    for (int slot = 7; slot <= lastSlot; slot++) EXPECT_TRUE(covered.count(slot)) << "slot " << slot << " unchecked";
    EXPECT_EQ(*covered.rbegin(), lastSlot);
}

TEST_F(ModuleRegistrationTest, FunctionTableOfVersion10SlotBySlot) {
    TSystemModule module("refplayer.dll");
    TComPtr<IOleObject> object = module.CreateObject();
    ASSERT_TRUE(object);
    TComPtr<IUnknown> flash;
    ASSERT_EQ(object->QueryInterface(PlayerScriptingIid, flash.PutVoid()), S_OK);
    // Slots 0 to 2 are IUnknown: the scripting interface answers for the whole object.
    TComPtr<IUnknown> viaTable;
    // The IID goes by reference (its address), as QueryInterface takes it.
    EXPECT_EQ((CallSlot<HRESULT, REFIID, void**>(flash.Get(), 0, IID_IOleObject, viaTable.PutVoid())), S_OK);
    EXPECT_EQ(viaTable.Get(), static_cast<IUnknown*>(object.Get()));
    CheckTable(flash.Get(), 10, 99);
}

TEST_F(ModuleRegistrationTest, FunctionTableOfVersion6EndsAtSlot72) {
    TSystemModule module("refplayer6.dll");
    TComPtr<IOleObject> object = module.CreateObject();
    ASSERT_TRUE(object);
    TComPtr<IUnknown> flash;
    ASSERT_EQ(object->QueryInterface(PlayerScriptingIid, flash.PutVoid()), S_OK);
    CheckTable(flash.Get(), 6, 72);
}

}  // namespace
