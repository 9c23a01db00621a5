#include "FlashPlayerControl/controls/FlashPlayerSurface.h"

#include <type_traits>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/Library.h"
#include "framework/BStr.h"
#include "framework/ErrorHandling.h"
#include "framework/Exceptions.h"

const IID IID_IShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID DIID_DShockwaveFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

constexpr uint16_t ClassesFrom(int first) {
    uint16_t bits = 0;
    for (int c = first; c <= 8; ++c) bits = static_cast<uint16_t>(bits | (1u << c));
    return bits;
}
constexpr uint16_t From3 = ClassesFrom(3);
constexpr uint16_t From7 = ClassesFrom(7);
constexpr uint16_t Only5 = 1u << 5;

// Slots of the methods and read-only values used directly.
enum Slot : int {
    SlotReadyState = 7, SlotTotalFrames = 8, SlotSetZoomRect = 25, SlotZoom = 26, SlotPan = 27, SlotPlay = 28,
    SlotStop = 29, SlotBack = 30, SlotForward = 31, SlotRewind = 32, SlotStopPlay = 33, SlotGotoFrame = 34,
    SlotCurrentFrame = 35, SlotIsPlaying = 36, SlotPercentLoaded = 37, SlotFrameLoaded = 38, SlotFlashVersion = 39,
    SlotLoadMovie = 58, SlotTGotoFrame = 59, SlotTGotoLabel = 60, SlotTCurrentFrame = 61, SlotTCurrentLabel = 62,
    SlotTPlay = 63, SlotTStopPlay = 64, SlotSetVariable = 65, SlotGetVariable = 66, SlotTSetProperty = 67,
    SlotTGetProperty = 68, SlotTCallFrame = 69, SlotTCallLabel = 70, SlotTSetPropertyNum = 71,
    SlotTGetPropertyNum = 72, SlotTGetPropertyAsNumber = 73, SlotCallFunction = 93, SlotSetReturnValue = 94,
    SlotGetAllowFullScreen = 98, SlotPutAllowFullScreen = 99,
};

WordBool Normalised(WordBool value) { return value ? WordTrue : WordFalse; }

// Runs an application event handler; its error goes to the application's error handling.
template <typename Call>
void RaiseEvent(Call call) {
    try {
        call();
    } catch (...) {
        HandleApplicationException();
    }
}

// DISPPARAMS count their arguments from the last parameter. An argument that is missing, or
// cannot be converted, reads as 0 or the empty string: a value is never taken as a pointer
// unless it is a string.
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
    return params && params->rgvarg && index < params->cArgs ? &params->rgvarg[index] : nullptr;
}
int ArgumentInteger(const DISPPARAMS* params, UINT index) {
    const VARIANT* v = Argument(params, index);
    if (!v) return 0;
    if (v->vt == VT_I4) return v->lVal;
    VARIANT converted;
    VariantInit(&converted);
    int result = 0;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_I4))) result = converted.lVal;
    VariantClear(&converted);
    return result;
}
std::wstring ArgumentString(const DISPPARAMS* params, UINT index) {
    const VARIANT* v = Argument(params, index);
    if (!v) return std::wstring();
    if (v->vt == VT_BSTR) return v->bstrVal ? std::wstring(v->bstrVal) : std::wstring();
    VARIANT converted;
    VariantInit(&converted);
    std::wstring result;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_BSTR)) && converted.bstrVal) result = converted.bstrVal;
    VariantClear(&converted);
    return result;
}

}  // namespace

struct TFlashPlayerSurface::TSlots {
    int Get;
    int Put;
    uint16_t Classes;
    bool SkipWhenDesigning;  // Playing is never passed on in a designer
    bool ByVersion;          // SWRemote: the slots move between versions
};

#define SLOTS(get, put, classes) TFlashPlayerSurface::TSlots{get, put, classes, false, false}

template <typename... Args>
void TFlashPlayerSurface::CallSlot(int slot, Args... args) {
    TComPtr<IUnknown> flash = ShockwaveFlash();
    using TSlotFunction = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
    void** table = *reinterpret_cast<void***>(flash.Get());
    OleCheck(reinterpret_cast<TSlotFunction>(table[slot])(flash.Get(), args...));
}

TComPtr<IUnknown> TFlashPlayerSurface::ShockwaveFlash() {
    IUnknown* object = PlayerObject();
    TComPtr<IUnknown> flash;
    if (object) object->QueryInterface(IID_IShockwaveFlash, flash.PutVoid());
    if (!flash) throw EOleError("Interface not supported", E_NOINTERFACE);
    return flash;
}

int TFlashPlayerSurface::PlayerVersionClass() {
    if (!PlayerObject()) return -1;
    long version = 0;
    CallSlot(SlotFlashVersion, &version);
    int major = (version >> 16) & 0xFF;
    return major > 8 ? 8 : major;
}

bool TFlashPlayerSurface::ClassAllows(const TSlots& slots, int versionClass, int& getSlot, int& putSlot) {
    if (versionClass < 0) return false;
    if (slots.ByVersion) {
        if (versionClass == 4 || versionClass == 5) {
            getSlot = 73, putSlot = 74;
            return true;
        }
        if (versionClass == 7 || versionClass == 8) {
            getSlot = 74, putSlot = 75;
            return true;
        }
        return false;
    }
    getSlot = slots.Get, putSlot = slots.Put;
    return (slots.Classes >> versionClass) & 1;
}

template <typename T>
T TFlashPlayerSurface::GetProperty(const T& cache, const TSlots& slots) {
    T result = cache;
    if (!PlayerObject()) return result;
    if (slots.SkipWhenDesigning && PlayerDesigning()) return result;
    try {
        int getSlot = 0, putSlot = 0;
        if (ClassAllows(slots, PlayerVersionClass(), getSlot, putSlot)) {
            if constexpr (std::is_same_v<T, std::wstring>) {
                result.clear();
                TBStr value;
                CallSlot(getSlot, value.Put());
                result = value.ToWString();
            } else if constexpr (std::is_same_v<T, WordBool>) {
                VARIANT_BOOL value = 0;
                CallSlot(getSlot, &value);
                result = value;
            } else {
                long value = 0;
                CallSlot(getSlot, &value);
                result = static_cast<T>(value);
            }
        }
    } catch (const Exception&) {
        // A failed call reads as what was held at that moment.
    }
    return result;
}

template <typename T>
void TFlashPlayerSurface::SetProperty(T& cache, const T& value, const TSlots& slots) {
    cache = value;
    if (!PlayerObject()) return;
    if (slots.SkipWhenDesigning && PlayerDesigning()) return;
    try {
        int getSlot = 0, putSlot = 0;
        if (!ClassAllows(slots, PlayerVersionClass(), getSlot, putSlot)) return;
        if constexpr (std::is_same_v<T, std::wstring>) {
            TBStr text(value);
            CallSlot(putSlot, text.Get());
        } else if constexpr (std::is_same_v<T, WordBool>) {
            CallSlot(putSlot, static_cast<VARIANT_BOOL>(value));
        } else {
            CallSlot(putSlot, static_cast<long>(value));
        }
    } catch (const Exception&) {
        // The value stays cached; the object simply did not take it.
    }
}

// Properties, in the order the controls publish them.

std::wstring TFlashPlayerSurface::Movie() { return GetProperty(movie_, SLOTS(21, 22, From3)); }
void TFlashPlayerSurface::SetMovie(const std::wstring& value) {
    SetProperty(movie_, value, SLOTS(21, 22, From3));
    if (!PlayerDesigning()) return;
    // A movie chosen in a designer is stored as playing, but does not play there.
    try {
        SetPlaying(WordTrue);
        Stop();
    } catch (const Exception&) {
    }
}
int32_t TFlashPlayerSurface::FrameNum() { return GetProperty(frameNum_, SLOTS(23, 24, From3)); }
void TFlashPlayerSurface::SetFrameNum(int32_t value) { SetProperty(frameNum_, value, SLOTS(23, 24, From3)); }
WordBool TFlashPlayerSurface::Playing() { return GetProperty(playing_, TSlots{9, 10, From3, true, false}); }
void TFlashPlayerSurface::SetPlaying(WordBool value) {
    SetProperty(playing_, Normalised(value), TSlots{9, 10, From3, true, false});
}
int32_t TFlashPlayerSurface::Quality() { return GetProperty(quality_, SLOTS(11, 12, From3)); }
void TFlashPlayerSurface::SetQuality(int32_t value) { SetProperty(quality_, value, SLOTS(11, 12, From3)); }
int32_t TFlashPlayerSurface::ScaleMode() { return GetProperty(scaleMode_, SLOTS(13, 14, From3)); }
void TFlashPlayerSurface::SetScaleMode(int32_t value) { SetProperty(scaleMode_, value, SLOTS(13, 14, From3)); }
int32_t TFlashPlayerSurface::AlignMode() { return GetProperty(alignMode_, SLOTS(15, 16, From3)); }
void TFlashPlayerSurface::SetAlignMode(int32_t value) { SetProperty(alignMode_, value, SLOTS(15, 16, From3)); }
int32_t TFlashPlayerSurface::BackgroundColor() { return GetProperty(backgroundColor_, SLOTS(17, 18, From3)); }
void TFlashPlayerSurface::SetBackgroundColor(int32_t value) {
    SetProperty(backgroundColor_, value, SLOTS(17, 18, From3));
}
WordBool TFlashPlayerSurface::Loop() { return GetProperty(loop_, SLOTS(19, 20, From3)); }
void TFlashPlayerSurface::SetLoop(WordBool value) { SetProperty(loop_, Normalised(value), SLOTS(19, 20, From3)); }
std::wstring TFlashPlayerSurface::WMode() { return GetProperty(wMode_, SLOTS(40, 41, From3)); }
void TFlashPlayerSurface::SetWMode(const std::wstring& value) { SetProperty(wMode_, value, SLOTS(40, 41, From3)); }
std::wstring TFlashPlayerSurface::SAlign() { return GetProperty(sAlign_, SLOTS(42, 43, From3)); }
void TFlashPlayerSurface::SetSAlign(const std::wstring& value) { SetProperty(sAlign_, value, SLOTS(42, 43, From3)); }
WordBool TFlashPlayerSurface::Menu() { return GetProperty(menu_, SLOTS(44, 45, From3)); }
void TFlashPlayerSurface::SetMenu(WordBool value) { SetProperty(menu_, Normalised(value), SLOTS(44, 45, From3)); }
std::wstring TFlashPlayerSurface::Base() { return GetProperty(base_, SLOTS(46, 47, From3)); }
void TFlashPlayerSurface::SetBase(const std::wstring& value) { SetProperty(base_, value, SLOTS(46, 47, From3)); }
std::wstring TFlashPlayerSurface::Scale() { return GetProperty(scale_, SLOTS(48, 49, From3)); }
void TFlashPlayerSurface::SetScale(const std::wstring& value) { SetProperty(scale_, value, SLOTS(48, 49, From3)); }
WordBool TFlashPlayerSurface::DeviceFont() { return GetProperty(deviceFont_, SLOTS(50, 51, From3)); }
void TFlashPlayerSurface::SetDeviceFont(WordBool value) {
    SetProperty(deviceFont_, Normalised(value), SLOTS(50, 51, From3));
}
WordBool TFlashPlayerSurface::EmbedMovie() { return GetProperty(embedMovie_, SLOTS(52, 53, From3)); }
void TFlashPlayerSurface::SetEmbedMovie(WordBool value) {
    SetProperty(embedMovie_, Normalised(value), SLOTS(52, 53, From3));
}
std::wstring TFlashPlayerSurface::BGColor() { return GetProperty(bgColor_, SLOTS(54, 55, From3)); }
void TFlashPlayerSurface::SetBGColor(const std::wstring& value) { SetProperty(bgColor_, value, SLOTS(54, 55, From3)); }
std::wstring TFlashPlayerSurface::Quality2() { return GetProperty(quality2_, SLOTS(56, 57, From3)); }
void TFlashPlayerSurface::SetQuality2(const std::wstring& value) {
    SetProperty(quality2_, value, SLOTS(56, 57, From3));
}
std::wstring TFlashPlayerSurface::SWRemote() { return GetProperty(swRemote_, TSlots{0, 0, 0, false, true}); }
void TFlashPlayerSurface::SetSWRemote(const std::wstring& value) {
    SetProperty(swRemote_, value, TSlots{0, 0, 0, false, true});
}
std::wstring TFlashPlayerSurface::Stacking() { return GetProperty(stacking_, SLOTS(75, 76, Only5)); }
void TFlashPlayerSurface::SetStacking(const std::wstring& value) { SetProperty(stacking_, value, SLOTS(75, 76, Only5)); }
std::wstring TFlashPlayerSurface::FlashVars() { return GetProperty(flashVars_, SLOTS(76, 77, From7)); }
void TFlashPlayerSurface::SetFlashVars(const std::wstring& value) {
    SetProperty(flashVars_, value, SLOTS(76, 77, From7));
}
std::wstring TFlashPlayerSurface::AllowScriptAccess() { return GetProperty(allowScriptAccess_, SLOTS(78, 79, From7)); }
void TFlashPlayerSurface::SetAllowScriptAccess(const std::wstring& value) {
    SetProperty(allowScriptAccess_, value, SLOTS(78, 79, From7));
}
std::wstring TFlashPlayerSurface::MovieData() { return GetProperty(movieData_, SLOTS(80, 81, From7)); }
void TFlashPlayerSurface::SetMovieData(const std::wstring& value) {
    SetProperty(movieData_, value, SLOTS(80, 81, From7));
}

// Full-screen permission goes by the library-wide code version, not by the object's class,
// and travels as the strings "true" and "false".
WordBool TFlashPlayerSurface::AllowFullscreen() {
    WordBool result = allowFullscreen_;
    if (!PlayerObject() || QueryFlashCodeVersion() < FullScreenMinimumVersion()) return result;
    try {
        TBStr value;
        CallSlot(SlotGetAllowFullScreen, value.Put());
        result = value.ToWString() == L"true" ? WordTrue : WordFalse;
    } catch (const Exception&) {
    }
    return result;
}
void TFlashPlayerSurface::SetAllowFullscreen(WordBool value) {
    allowFullscreen_ = value;
    if (!PlayerObject() || QueryFlashCodeVersion() < FullScreenMinimumVersion()) return;
    try {
        TBStr text(value ? L"true" : L"false");
        CallSlot(SlotPutAllowFullScreen, text.Get());
    } catch (const Exception&) {
    }
}

#undef SLOTS

// Stream loaders.

namespace {
TContentManager& Manager() {
    if (!ContentManager) throw Exception("The player library is not started");
    return *ContentManager;
}
}  // namespace

void TFlashPlayerSurface::AssignLayerStream(int32_t layer, TStream& stream) {
    Manager().LoadMovieFromStream(this, true, stream, layer);
}
void TFlashPlayerSurface::AssignMovieStream(TStream& stream) { Manager().LoadMovieFromStream(this, false, stream, -1); }
void TFlashPlayerSurface::OpenLayerStream(int32_t layer, TStream*& stream) {
    stream = Manager().RegisterMovieStream(this, true, layer);
}
void TFlashPlayerSurface::OpenMovieStream(TStream*& stream) { stream = Manager().RegisterMovieStream(this, false, -1); }

// Methods: asked only from the version class given; otherwise the neutral answer.

#define ASKS_FROM(first) (PlayerVersionClass() >= (first))

void TFlashPlayerSurface::SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (ASKS_FROM(3)) CallSlot(SlotSetZoomRect, long{left}, long{top}, long{right}, long{bottom});
}
void TFlashPlayerSurface::Zoom(int32_t factor) { if (ASKS_FROM(3)) CallSlot(SlotZoom, int{factor}); }
void TFlashPlayerSurface::Pan(int32_t x, int32_t y, int32_t mode) {
    if (ASKS_FROM(3)) CallSlot(SlotPan, long{x}, long{y}, int{mode});
}
void TFlashPlayerSurface::Play() { if (ASKS_FROM(3)) CallSlot(SlotPlay); }
void TFlashPlayerSurface::Stop() { if (ASKS_FROM(3)) CallSlot(SlotStop); }
void TFlashPlayerSurface::Back() { if (ASKS_FROM(3)) CallSlot(SlotBack); }
void TFlashPlayerSurface::Forward() { if (ASKS_FROM(3)) CallSlot(SlotForward); }
void TFlashPlayerSurface::Rewind() { if (ASKS_FROM(3)) CallSlot(SlotRewind); }
void TFlashPlayerSurface::StopPlay() { if (ASKS_FROM(3)) CallSlot(SlotStopPlay); }
void TFlashPlayerSurface::GotoFrame(int32_t frameNum) { if (ASKS_FROM(3)) CallSlot(SlotGotoFrame, long{frameNum}); }

int32_t TFlashPlayerSurface::CurrentFrame() {
    long result = 0;
    if (ASKS_FROM(3)) CallSlot(SlotCurrentFrame, &result);
    return result;
}
WordBool TFlashPlayerSurface::IsPlaying() {
    VARIANT_BOOL result = VARIANT_TRUE;
    if (ASKS_FROM(3)) CallSlot(SlotIsPlaying, &result);
    return result;
}
int32_t TFlashPlayerSurface::PercentLoaded() {
    long result = 0;
    if (ASKS_FROM(3)) CallSlot(SlotPercentLoaded, &result);
    return result;
}
WordBool TFlashPlayerSurface::FrameLoaded(int32_t frameNum) {
    VARIANT_BOOL result = VARIANT_TRUE;
    if (ASKS_FROM(3)) CallSlot(SlotFrameLoaded, long{frameNum}, &result);
    return result;
}
int32_t TFlashPlayerSurface::FlashVersion() {
    // Without an object there is nothing to ask.
    long result = 0;
    if (PlayerObject()) CallSlot(SlotFlashVersion, &result);
    return result;
}
void TFlashPlayerSurface::LoadMovie(int32_t layer, const std::wstring& url) {
    if (!ASKS_FROM(3)) return;
    TBStr text(url);
    CallSlot(SlotLoadMovie, int{layer}, text.Get());
}
void TFlashPlayerSurface::TGotoFrame(const std::wstring& target, int32_t frameNum) {
    if (!ASKS_FROM(3)) return;
    TBStr t(target);
    CallSlot(SlotTGotoFrame, t.Get(), long{frameNum});
}
void TFlashPlayerSurface::TGotoLabel(const std::wstring& target, const std::wstring& label) {
    if (!ASKS_FROM(3)) return;
    TBStr t(target), l(label);
    CallSlot(SlotTGotoLabel, t.Get(), l.Get());
}
int32_t TFlashPlayerSurface::TCurrentFrame(const std::wstring& target) {
    long result = 0;
    if (!ASKS_FROM(3)) return result;
    TBStr t(target);
    CallSlot(SlotTCurrentFrame, t.Get(), &result);
    return result;
}
std::wstring TFlashPlayerSurface::TCurrentLabel(const std::wstring& target) {
    if (!ASKS_FROM(3)) return std::wstring();
    TBStr t(target), result;
    CallSlot(SlotTCurrentLabel, t.Get(), result.Put());
    return result.ToWString();
}
void TFlashPlayerSurface::TPlay(const std::wstring& target) {
    if (!ASKS_FROM(3)) return;
    TBStr t(target);
    CallSlot(SlotTPlay, t.Get());
}
void TFlashPlayerSurface::TStopPlay(const std::wstring& target) {
    if (!ASKS_FROM(3)) return;
    TBStr t(target);
    CallSlot(SlotTStopPlay, t.Get());
}
void TFlashPlayerSurface::SetVariable(const std::wstring& name, const std::wstring& value) {
    if (!ASKS_FROM(4)) return;
    TBStr n(name), v(value);
    CallSlot(SlotSetVariable, n.Get(), v.Get());
}
std::wstring TFlashPlayerSurface::GetVariable(const std::wstring& name) {
    if (!ASKS_FROM(4)) return std::wstring();
    TBStr n(name), result;
    CallSlot(SlotGetVariable, n.Get(), result.Put());
    return result.ToWString();
}
void TFlashPlayerSurface::TSetProperty(const std::wstring& target, int32_t property, const std::wstring& value) {
    if (!ASKS_FROM(4)) return;
    TBStr t(target), v(value);
    CallSlot(SlotTSetProperty, t.Get(), int{property}, v.Get());
}
std::wstring TFlashPlayerSurface::TGetProperty(const std::wstring& target, int32_t property) {
    if (!ASKS_FROM(4)) return std::wstring();
    TBStr t(target), result;
    CallSlot(SlotTGetProperty, t.Get(), int{property}, result.Put());
    return result.ToWString();
}
void TFlashPlayerSurface::TCallFrame(const std::wstring& target, int32_t frameNum) {
    if (!ASKS_FROM(4)) return;
    TBStr t(target);
    CallSlot(SlotTCallFrame, t.Get(), int{frameNum});
}
void TFlashPlayerSurface::TCallLabel(const std::wstring& target, const std::wstring& label) {
    if (!ASKS_FROM(4)) return;
    TBStr t(target), l(label);
    CallSlot(SlotTCallLabel, t.Get(), l.Get());
}
void TFlashPlayerSurface::TSetPropertyNum(const std::wstring& target, int32_t property, double value) {
    if (!ASKS_FROM(4)) return;
    TBStr t(target);
    CallSlot(SlotTSetPropertyNum, t.Get(), int{property}, value);
}
double TFlashPlayerSurface::TGetPropertyNum(const std::wstring& target, int32_t property) {
    double result = 0;
    if (!ASKS_FROM(4)) return result;
    TBStr t(target);
    CallSlot(SlotTGetPropertyNum, t.Get(), int{property}, &result);
    return result;
}
double TFlashPlayerSurface::TGetPropertyAsNumber(const std::wstring& target, int32_t property) {
    double result = 0;
    if (!ASKS_FROM(7)) return result;
    TBStr t(target);
    CallSlot(SlotTGetPropertyAsNumber, t.Get(), int{property}, &result);
    return result;
}
std::wstring TFlashPlayerSurface::CallFunction(const std::wstring& request) {
    if (!ASKS_FROM(8)) return std::wstring();
    TBStr r(request), result;
    CallSlot(SlotCallFunction, r.Get(), result.Put());
    return result.ToWString();
}
void TFlashPlayerSurface::SetReturnValue(const std::wstring& returnValue) {
    if (!ASKS_FROM(8)) return;
    TBStr v(returnValue);
    CallSlot(SlotSetReturnValue, v.Get());
}
int32_t TFlashPlayerSurface::ReadyState() {
    long result = 0;
    if (ASKS_FROM(3)) CallSlot(SlotReadyState, &result);
    return result;
}
int32_t TFlashPlayerSurface::TotalFrames() {
    long result = 0;
    if (ASKS_FROM(3)) CallSlot(SlotTotalFrames, &result);
    return result;
}

#undef ASKS_FROM

// Events.

HRESULT TFlashPlayerSurface::DispatchPlayerEvent(DISPID dispid, const DISPPARAMS* params) {
    TObject* sender = PlayerEventSender();
    switch (dispid) {
        case DispidReadyStateChange:
            if (OnReadyStateChange) RaiseEvent([&] { OnReadyStateChange(sender, ArgumentInteger(params, 0)); });
            return S_OK;
        case DispidFSCommand:
            if (OnFSCommand)
                RaiseEvent([&] { OnFSCommand(sender, ArgumentString(params, 1), ArgumentString(params, 0)); });
            return S_OK;
        case DispidFlashCall:
            if (OnFlashCall) RaiseEvent([&] { OnFlashCall(sender, ArgumentString(params, 0)); });
            return S_OK;
        case DispidProgress:
            if (OnProgress) RaiseEvent([&] { OnProgress(sender, ArgumentInteger(params, 0)); });
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// What the content manager asks of the control.

HRESULT TFlashPlayerSurface::SetMovieURL(const std::wstring& url) {
    SetMovie(url);
    return S_OK;
}
HRESULT TFlashPlayerSurface::LoadMovieURL(int32_t layer, const std::wstring& url) {
    LoadMovie(layer, url);  // its errors reach the caller of the stream loader
    return S_OK;
}
HRESULT TFlashPlayerSurface::GetBaseURL(std::wstring& base) {
    base = Base();
    return S_OK;
}
HRESULT TFlashPlayerSurface::FireLoadExternalResource(const std::wstring& url, TStream* stream) {
    if (!OnLoadExternalResource) return S_FALSE;
    OnLoadExternalResource(PlayerEventSender(), url, stream);
    return S_OK;
}
HRESULT TFlashPlayerSurface::FireLoadExternalResourceEx(const std::wstring& url, TStream* stream, bool& handled) {
    if (!OnLoadExternalResourceEx) return S_FALSE;
    OnLoadExternalResourceEx(PlayerEventSender(), url, stream, handled);
    return S_OK;
}
HRESULT TFlashPlayerSurface::FireLoadExternalResourceAsync(const std::wstring& path, TStream*& stream) {
    if (!OnLoadExternalResourceAsync) return S_FALSE;
    OnLoadExternalResourceAsync(PlayerEventSender(), path, stream);
    return S_OK;
}
