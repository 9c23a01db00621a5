// The function table of the scripting interface, laid out slot by slot: 0-2 IUnknown, 3-6
// IDispatch, 7-99 the player's properties and methods. A version 6 module hands out the
// table up to slot 72 only; later versions the whole of it.

#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <exception>
#include <new>
#include <string>

#include "refplayer/core/FormatError.h"
#include "refplayer/module/FlashInterfaces.h"
#include "refplayer/module/ModuleState.h"
#include "refplayer/module/PlayerObject.h"

namespace {

using Self = TFlashInterface;
using TSlot = void (*)();

// Flash's numbered clip properties that the player computes itself.
enum ClipProperty { ClipCurrentFrame = 4, ClipTotalFrames = 5, ClipWidth = 8, ClipHeight = 9, ClipFramesLoaded = 12 };

TPlayerObject& Owner(Self* self) { return *self->owner; }

std::wstring In(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// Runs a scripting operation: errors become failure results, never unwind into the caller.
template <typename Body>
HRESULT Guard(Body body) {
    try {
        body();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT OutString(BSTR* out, const std::wstring& text) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

template <typename T, typename Value>
HRESULT Out(T* out, Value value) {
    if (!out) return E_POINTER;
    *out = static_cast<T>(value);
    return S_OK;
}

VARIANT_BOOL Bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

std::wstring ClipPropertyText(Self* self, int property) {
    TPlayerObject& player = Owner(self);
    switch (property) {
    case ClipCurrentFrame: return std::to_wstring(player.CurrentFrame() + 1);
    case ClipTotalFrames: return std::to_wstring(player.TotalFrames());
    case ClipFramesLoaded: {
        long loaded = 0;
        while (player.FrameLoaded(loaded)) loaded++;
        return std::to_wstring(loaded);
    }
    default: {
        auto stored = player.Properties().clipProperties.find(property);
        return stored == player.Properties().clipProperties.end() ? std::wstring() : stored->second;
    }
    }
}

double ClipPropertyNumber(Self* self, int property) {
    std::wstring text = ClipPropertyText(self, property);
    return text.empty() ? 0.0 : wcstod(text.c_str(), nullptr);
}

// --- IUnknown, IDispatch ---

HRESULT STDMETHODCALLTYPE QueryInterface(Self* self, REFIID iid, void** object) {
    return Owner(self).QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE AddRef(Self* self) { return Owner(self).AddRef(); }
ULONG STDMETHODCALLTYPE Release(Self* self) { return Owner(self).Release(); }

HRESULT STDMETHODCALLTYPE GetTypeInfoCount(Self*, UINT* count) { return Out(count, 0); }
HRESULT STDMETHODCALLTYPE GetTypeInfo(Self*, UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE GetIDsOfNames(Self*, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; i++) {
        ids[i] = DISPID_UNKNOWN;
        if (names[i] && _wcsicmp(names[i], L"ReadyState") == 0)
            ids[i] = DispidReadyState;
        else
            result = DISP_E_UNKNOWNNAME;
    }
    return result;
}
// Late-bound callers get the ready state; everything else goes through the table.
HRESULT STDMETHODCALLTYPE Invoke(Self* self, DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                 EXCEPINFO*, UINT*) {
    if (id != DispidReadyState || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (result) {
        VariantInit(result);
        result->vt = VT_I4;
        result->lVal = Owner(self).ReadyState();
    }
    return S_OK;
}

// --- Slots 7 to 24: state and the basic properties ---

HRESULT STDMETHODCALLTYPE get_ReadyState(Self* self, long* state) { return Out(state, Owner(self).ReadyState()); }
HRESULT STDMETHODCALLTYPE get_TotalFrames(Self* self, long* frames) { return Out(frames, Owner(self).TotalFrames()); }
HRESULT STDMETHODCALLTYPE get_Playing(Self* self, VARIANT_BOOL* playing) { return Out(playing, Bool(Owner(self).Playing())); }
HRESULT STDMETHODCALLTYPE put_Playing(Self* self, VARIANT_BOOL playing) {
    return Guard([&] { Owner(self).SetPlaying(playing != VARIANT_FALSE); });
}

#define FLASH_VALUE_PROPERTY(Name, Type, field)                                                  \
    HRESULT STDMETHODCALLTYPE get_##Name(Self* self, Type* value) {                              \
        return Out(value, Owner(self).Properties().field);                                       \
    }                                                                                            \
    HRESULT STDMETHODCALLTYPE put_##Name(Self* self, Type value) {                               \
        Owner(self).Properties().field = value;                                                  \
        return S_OK;                                                                             \
    }
#define FLASH_BOOL_PROPERTY(Name, field)                                                         \
    HRESULT STDMETHODCALLTYPE get_##Name(Self* self, VARIANT_BOOL* value) {                      \
        return Out(value, Bool(Owner(self).Properties().field));                                 \
    }                                                                                            \
    HRESULT STDMETHODCALLTYPE put_##Name(Self* self, VARIANT_BOOL value) {                       \
        Owner(self).Properties().field = value != VARIANT_FALSE;                                 \
        return S_OK;                                                                             \
    }
#define FLASH_STRING_PROPERTY(Name, field)                                                       \
    HRESULT STDMETHODCALLTYPE get_##Name(Self* self, BSTR* value) {                              \
        return Guard([&] { OutString(value, Owner(self).Properties().field); });                 \
    }                                                                                            \
    HRESULT STDMETHODCALLTYPE put_##Name(Self* self, BSTR value) {                               \
        return Guard([&] { Owner(self).Properties().field = In(value); });                       \
    }

FLASH_VALUE_PROPERTY(Quality, int, quality)
FLASH_VALUE_PROPERTY(ScaleMode, int, scaleMode)
FLASH_VALUE_PROPERTY(AlignMode, int, alignMode)

HRESULT STDMETHODCALLTYPE get_BackgroundColor(Self* self, long* color) {
    return Out(color, Owner(self).Properties().backgroundColor);
}
HRESULT STDMETHODCALLTYPE put_BackgroundColor(Self* self, long color) {
    return Guard([&] { Owner(self).SetBackgroundColor(color); });
}
HRESULT STDMETHODCALLTYPE get_Loop(Self* self, VARIANT_BOOL* loop) { return Out(loop, Bool(Owner(self).Properties().loop)); }
HRESULT STDMETHODCALLTYPE put_Loop(Self* self, VARIANT_BOOL loop) {
    return Guard([&] { Owner(self).SetLoop(loop != VARIANT_FALSE); });
}
HRESULT STDMETHODCALLTYPE get_Movie(Self* self, BSTR* url) { return Guard([&] { OutString(url, Owner(self).Properties().movie); }); }
HRESULT STDMETHODCALLTYPE put_Movie(Self* self, BSTR url) { return Guard([&] { Owner(self).LoadMovie(0, In(url)); }); }
HRESULT STDMETHODCALLTYPE get_FrameNum(Self* self, long* frame) { return Out(frame, Owner(self).CurrentFrame()); }
HRESULT STDMETHODCALLTYPE put_FrameNum(Self* self, long frame) { return Guard([&] { Owner(self).GotoFrame(frame); }); }

// --- Slots 25 to 39: methods ---

HRESULT STDMETHODCALLTYPE SetZoomRect(Self*, long, long, long, long) { return S_OK; }
HRESULT STDMETHODCALLTYPE Zoom(Self*, int) { return S_OK; }
HRESULT STDMETHODCALLTYPE Pan(Self*, long, long, int) { return S_OK; }
HRESULT STDMETHODCALLTYPE Play(Self* self) { return Guard([&] { Owner(self).SetPlaying(true); }); }
HRESULT STDMETHODCALLTYPE Stop(Self* self) { return Guard([&] { Owner(self).SetPlaying(false); }); }
HRESULT STDMETHODCALLTYPE Back(Self* self) { return Guard([&] { Owner(self).Step(-1); }); }
HRESULT STDMETHODCALLTYPE Forward(Self* self) { return Guard([&] { Owner(self).Step(1); }); }
HRESULT STDMETHODCALLTYPE Rewind(Self* self) { return Guard([&] { Owner(self).Rewind(); }); }
HRESULT STDMETHODCALLTYPE StopPlay(Self* self) { return Guard([&] { Owner(self).SetPlaying(false); }); }
HRESULT STDMETHODCALLTYPE GotoFrame(Self* self, long frame) { return Guard([&] { Owner(self).GotoFrame(frame); }); }
HRESULT STDMETHODCALLTYPE CurrentFrame(Self* self, long* frame) { return Out(frame, Owner(self).CurrentFrame()); }
HRESULT STDMETHODCALLTYPE IsPlaying(Self* self, VARIANT_BOOL* playing) { return Out(playing, Bool(Owner(self).Playing())); }
HRESULT STDMETHODCALLTYPE PercentLoaded(Self* self, long* percent) { return Out(percent, Owner(self).PercentLoaded()); }
HRESULT STDMETHODCALLTYPE FrameLoaded(Self* self, long frame, VARIANT_BOOL* loaded) {
    return Out(loaded, Bool(Owner(self).FrameLoaded(frame)));
}
HRESULT STDMETHODCALLTYPE FlashVersion(Self*, long* version) {
    // Major in bits 16 to 23, minor in 8 to 15, the build's low byte below.
    return Out(version, ((RefPlayerVersion >> 24) << 16) | (((RefPlayerVersion >> 16) & 0xFF) << 8) |
                            ((RefPlayerVersion >> 8) & 0xFF));
}

// --- Slots 40 to 57: string and flag properties ---

HRESULT STDMETHODCALLTYPE get_WMode(Self* self, BSTR* mode) { return Guard([&] { OutString(mode, Owner(self).Properties().wmode); }); }
HRESULT STDMETHODCALLTYPE put_WMode(Self* self, BSTR mode) { return Guard([&] { Owner(self).SetWMode(In(mode)); }); }
FLASH_STRING_PROPERTY(SAlign, salign)
FLASH_BOOL_PROPERTY(Menu, menu)
FLASH_STRING_PROPERTY(Base, base)
FLASH_STRING_PROPERTY(Scale, scale)
FLASH_BOOL_PROPERTY(DeviceFont, deviceFont)
FLASH_BOOL_PROPERTY(EmbedMovie, embedMovie)
FLASH_STRING_PROPERTY(BGColor, bgcolor)
FLASH_STRING_PROPERTY(Quality2, quality2)

// --- Slots 58 to 73: loading, timeline targets, variables, clip properties ---

HRESULT STDMETHODCALLTYPE LoadMovie(Self* self, int layer, BSTR url) {
    return Guard([&] { Owner(self).LoadMovie(layer, In(url)); });
}
// Targets name timelines; the stand-in has one, so every target is the main movie.
HRESULT STDMETHODCALLTYPE TGotoFrame(Self* self, BSTR, long frame) { return Guard([&] { Owner(self).GotoFrame(frame); }); }
HRESULT STDMETHODCALLTYPE TGotoLabel(Self*, BSTR, BSTR) { return S_OK; }  // frame labels are not read
HRESULT STDMETHODCALLTYPE TCurrentFrame(Self* self, BSTR, long* frame) { return Out(frame, Owner(self).CurrentFrame()); }
HRESULT STDMETHODCALLTYPE TCurrentLabel(Self*, BSTR, BSTR* label) { return OutString(label, std::wstring()); }
HRESULT STDMETHODCALLTYPE TPlay(Self* self, BSTR) { return Guard([&] { Owner(self).SetPlaying(true); }); }
HRESULT STDMETHODCALLTYPE TStopPlay(Self* self, BSTR) { return Guard([&] { Owner(self).SetPlaying(false); }); }
HRESULT STDMETHODCALLTYPE SetVariable(Self* self, BSTR name, BSTR value) {
    return Guard([&] { Owner(self).SetVariable(In(name), In(value)); });
}
HRESULT STDMETHODCALLTYPE GetVariable(Self* self, BSTR name, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    return Guard([&] {
        std::wstring text;
        if (Owner(self).GetVariable(In(name), text)) OutString(value, text);
    });
}
HRESULT STDMETHODCALLTYPE TSetProperty(Self* self, BSTR, int property, BSTR value) {
    return Guard([&] { Owner(self).Properties().clipProperties[property] = In(value); });
}
HRESULT STDMETHODCALLTYPE TGetProperty(Self* self, BSTR, int property, BSTR* value) {
    return Guard([&] { OutString(value, ClipPropertyText(self, property)); });
}
HRESULT STDMETHODCALLTYPE TCallFrame(Self*, BSTR, int) { return S_OK; }
HRESULT STDMETHODCALLTYPE TCallLabel(Self*, BSTR, BSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE TSetPropertyNum(Self* self, BSTR, int property, double value) {
    return Guard([&] {
        wchar_t text[64];
        swprintf(text, 64, L"%.15g", value);
        Owner(self).Properties().clipProperties[property] = text;
    });
}
HRESULT STDMETHODCALLTYPE TGetPropertyNum(Self* self, BSTR, int property, double* value) {
    if (!value) return E_POINTER;
    return Guard([&] { *value = ClipPropertyNumber(self, property); });
}
HRESULT STDMETHODCALLTYPE TGetPropertyAsNumber(Self* self, BSTR, int property, double* value) {
    if (!value) return E_POINTER;
    return Guard([&] { *value = ClipPropertyNumber(self, property); });
}

// --- Slots 74 to 99: properties of later versions, external calls ---

FLASH_STRING_PROPERTY(SWRemote, swRemote)
FLASH_STRING_PROPERTY(FlashVars, flashVars)
FLASH_STRING_PROPERTY(AllowScriptAccess, allowScriptAccess)
FLASH_STRING_PROPERTY(MovieData, movieData)
HRESULT STDMETHODCALLTYPE get_InlineData(Self* self, IUnknown** data) {
    if (!data) return E_POINTER;
    *data = Owner(self).Properties().inlineData.Get();
    if (*data) (*data)->AddRef();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE put_InlineData(Self* self, IUnknown* data) {
    Owner(self).Properties().inlineData = TComPtr<IUnknown>(data);
    return S_OK;
}
FLASH_BOOL_PROPERTY(SeamlessTabbing, seamlessTabbing)
HRESULT STDMETHODCALLTYPE EnforceLocalSecurity(Self*) { return S_OK; }
FLASH_BOOL_PROPERTY(Profile, profile)
FLASH_STRING_PROPERTY(ProfileAddress, profileAddress)
FLASH_VALUE_PROPERTY(ProfilePort, long, profilePort)
HRESULT STDMETHODCALLTYPE CallFunction(Self* self, BSTR request, BSTR* response) {
    if (!response) return E_POINTER;
    *response = nullptr;
    return Guard([&] { OutString(response, Owner(self).CallFunction(In(request))); });
}
HRESULT STDMETHODCALLTYPE SetReturnValue(Self* self, BSTR value) {
    return Guard([&] { Owner(self).SetReturnValue(In(value)); });
}
HRESULT STDMETHODCALLTYPE DisableLocalSecurity(Self*) { return S_OK; }
FLASH_STRING_PROPERTY(AllowNetworking, allowNetworking)
FLASH_STRING_PROPERTY(AllowFullScreen, allowFullScreen)

#define SLOT(function) reinterpret_cast<TSlot>(&function)
#define SLOT_PAIR(Name) SLOT(get_##Name), SLOT(put_##Name)

#define SLOTS_UP_TO_72                                                                                     \
    SLOT(QueryInterface), SLOT(AddRef), SLOT(Release),                                     /* 0-2 */       \
    SLOT(GetTypeInfoCount), SLOT(GetTypeInfo), SLOT(GetIDsOfNames), SLOT(Invoke),          /* 3-6 */       \
    SLOT(get_ReadyState), SLOT(get_TotalFrames), SLOT_PAIR(Playing), SLOT_PAIR(Quality),   /* 7-12 */      \
    SLOT_PAIR(ScaleMode), SLOT_PAIR(AlignMode), SLOT_PAIR(BackgroundColor), SLOT_PAIR(Loop), /* 13-20 */   \
    SLOT_PAIR(Movie), SLOT_PAIR(FrameNum),                                                 /* 21-24 */     \
    SLOT(SetZoomRect), SLOT(Zoom), SLOT(Pan), SLOT(Play), SLOT(Stop), SLOT(Back),          /* 25-30 */     \
    SLOT(Forward), SLOT(Rewind), SLOT(StopPlay), SLOT(GotoFrame), SLOT(CurrentFrame),      /* 31-35 */     \
    SLOT(IsPlaying), SLOT(PercentLoaded), SLOT(FrameLoaded), SLOT(FlashVersion),           /* 36-39 */     \
    SLOT_PAIR(WMode), SLOT_PAIR(SAlign), SLOT_PAIR(Menu), SLOT_PAIR(Base), SLOT_PAIR(Scale), /* 40-49 */   \
    SLOT_PAIR(DeviceFont), SLOT_PAIR(EmbedMovie), SLOT_PAIR(BGColor), SLOT_PAIR(Quality2), /* 50-57 */     \
    SLOT(LoadMovie), SLOT(TGotoFrame), SLOT(TGotoLabel), SLOT(TCurrentFrame),              /* 58-61 */     \
    SLOT(TCurrentLabel), SLOT(TPlay), SLOT(TStopPlay), SLOT(SetVariable), SLOT(GetVariable), /* 62-66 */   \
    SLOT(TSetProperty), SLOT(TGetProperty), SLOT(TCallFrame), SLOT(TCallLabel),            /* 67-70 */     \
    SLOT(TSetPropertyNum), SLOT(TGetPropertyNum)                                           /* 71-72 */

#define SLOTS_73_TO_99                                                                                     \
    SLOT(TGetPropertyAsNumber), SLOT_PAIR(SWRemote), SLOT_PAIR(FlashVars),                 /* 73-77 */     \
    SLOT_PAIR(AllowScriptAccess), SLOT_PAIR(MovieData), SLOT_PAIR(InlineData),             /* 78-83 */     \
    SLOT_PAIR(SeamlessTabbing), SLOT(EnforceLocalSecurity), SLOT_PAIR(Profile),            /* 84-88 */     \
    SLOT_PAIR(ProfileAddress), SLOT_PAIR(ProfilePort), SLOT(CallFunction),                 /* 89-93 */     \
    SLOT(SetReturnValue), SLOT(DisableLocalSecurity), SLOT_PAIR(AllowNetworking),          /* 94-97 */     \
    SLOT_PAIR(AllowFullScreen)                                                             /* 98-99 */

const TSlot Version6Table[] = {SLOTS_UP_TO_72};
const TSlot CurrentTable[] = {SLOTS_UP_TO_72, SLOTS_73_TO_99};

static_assert(sizeof(Version6Table) / sizeof(TSlot) == SlotLastOfVersion6 + 1, "version 6 table ends at slot 72");
static_assert(sizeof(CurrentTable) / sizeof(TSlot) == SlotLastOfVersion10 + 1, "table ends at slot 99");

}  // namespace

const void* const* FlashFunctionTable() {
    const TSlot* table = RefPlayerMajorVersion() >= 7 ? CurrentTable : Version6Table;
    return reinterpret_cast<const void* const*>(table);
}
