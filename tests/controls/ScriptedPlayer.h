#pragma once

// A player object for tests: a 100-slot IShockwaveFlash function table in which the slots a
// test needs are scripted. Every call is written down as "<slot>" or "<slot> <argument>";
// values read come from Longs / Strings by slot; FailingSlot answers E_FAIL.

#include <windows.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

#include "FlashPlayerControl/controls/FlashPlayerSurface.h"

class TScriptedPlayer {
public:
    explicit TScriptedPlayer(long version) {
        for (auto& slot : table_) slot = reinterpret_cast<void*>(&NotImplemented);
        table_[0] = reinterpret_cast<void*>(&QueryInterface);
        table_[1] = reinterpret_cast<void*>(&AddRef);
        table_[2] = reinterpret_cast<void*>(&Release);
        Longs[39] = version;
#define SCRIPT(slot, Kind) table_[slot] = reinterpret_cast<void*>(&Kind<slot>)
        SCRIPT(7, GetLong); SCRIPT(8, GetLong); SCRIPT(23, GetLong); SCRIPT(35, GetLong); SCRIPT(39, GetLong);
        SCRIPT(24, PutLong); SCRIPT(34, PutLong);
        SCRIPT(9, GetBool); SCRIPT(19, GetBool); SCRIPT(36, GetBool);
        SCRIPT(10, PutBool); SCRIPT(20, PutBool);
        SCRIPT(21, GetString); SCRIPT(46, GetString); SCRIPT(73, GetString); SCRIPT(74, GetString);
        SCRIPT(76, GetString); SCRIPT(98, GetString);
        SCRIPT(22, PutString); SCRIPT(47, PutString); SCRIPT(75, PutString); SCRIPT(77, PutString);
        SCRIPT(99, PutString);
        SCRIPT(28, NoArguments); SCRIPT(29, NoArguments);
        SCRIPT(58, LoadMovie);
        SCRIPT(93, CallFunction);
#undef SCRIPT
    }

    IUnknown* Object() { return reinterpret_cast<IUnknown*>(&com_); }

    // Slots 73 to 75 mean different things before and after version 7.
    void UseVersion5Table() {
        table_[73] = reinterpret_cast<void*>(&GetString<73>);
        table_[74] = reinterpret_cast<void*>(&PutString<74>);
        table_[75] = reinterpret_cast<void*>(&GetString<75>);
        table_[76] = reinterpret_cast<void*>(&PutString<76>);
    }

    std::vector<std::string> Calls;
    std::map<int, long> Longs;
    std::map<int, std::wstring> Strings;
    int FailingSlot = -1;
    LONG References = 1;

private:
    // The COM object: its function table pointer, then the way back to the script.
    struct TComObject {
        void** Table;
        TScriptedPlayer* Owner;
    };
    void* table_[100];
    TComObject com_{table_, this};

    static TScriptedPlayer* Self(IUnknown* object) { return reinterpret_cast<TComObject*>(object)->Owner; }
    static HRESULT Record(IUnknown* object, int slot, const std::string& argument = std::string()) {
        TScriptedPlayer* self = Self(object);
        self->Calls.push_back(argument.empty() ? std::to_string(slot) : std::to_string(slot) + " " + argument);
        return slot == self->FailingSlot ? E_FAIL : S_OK;
    }
    static std::string Text(BSTR value) {
        std::wstring wide = value ? value : L"";
        return std::string(wide.begin(), wide.end());
    }

    static HRESULT STDMETHODCALLTYPE QueryInterface(IUnknown* object, REFIID iid, void** out) {
        if (iid == IID_IUnknown || iid == IID_IShockwaveFlash) {
            *out = object;
            ++Self(object)->References;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static ULONG STDMETHODCALLTYPE AddRef(IUnknown* object) { return ++Self(object)->References; }
    static ULONG STDMETHODCALLTYPE Release(IUnknown* object) { return --Self(object)->References; }
    static HRESULT STDMETHODCALLTYPE NotImplemented(IUnknown*) { return E_NOTIMPL; }

    template <int Slot>
    static HRESULT STDMETHODCALLTYPE GetLong(IUnknown* o, long* out) {
        *out = Self(o)->Longs[Slot];
        return Slot == 39 ? S_OK : Record(o, Slot);
    }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE PutLong(IUnknown* o, long value) { return Record(o, Slot, std::to_string(value)); }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE GetBool(IUnknown* o, VARIANT_BOOL* out) {
        *out = static_cast<VARIANT_BOOL>(Self(o)->Longs[Slot]);
        return Record(o, Slot);
    }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE PutBool(IUnknown* o, VARIANT_BOOL value) { return Record(o, Slot, std::to_string(value)); }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE GetString(IUnknown* o, BSTR* out) {
        HRESULT result = Record(o, Slot);
        *out = result == S_OK ? SysAllocString(Self(o)->Strings[Slot].c_str()) : nullptr;
        return result;
    }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE PutString(IUnknown* o, BSTR value) { return Record(o, Slot, Text(value)); }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE NoArguments(IUnknown* o) { return Record(o, Slot); }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE LoadMovie(IUnknown* o, int layer, BSTR url) {
        return Record(o, Slot, std::to_string(layer) + " " + Text(url));
    }
    template <int Slot>
    static HRESULT STDMETHODCALLTYPE CallFunction(IUnknown* o, BSTR request, BSTR* out) {
        *out = SysAllocString(L"<string>answer</string>");
        return Record(o, Slot, Text(request));
    }
};
