#pragma once

// The player properties and events both controls publish, in the order form files list
// them. Every player property is stored; strings travel as UTF-8.

#include <windows.h>

#include <string>

#include "FlashPlayerControl/controls/FlashPlayerSurface.h"
#include "framework/Properties.h"

namespace PlayerProperties {

inline std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

inline std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

template <typename T>
void Text(TPropertyList& list, const char* name, std::wstring (TFlashPlayerSurface::*get)(),
          void (TFlashPlayerSurface::*set)(const std::wstring&)) {
    TPropertyInfo& p = list.Custom(name, TPropertyKind::String);
    p.GetString = [get](TPersistent& o) { return ToUtf8((static_cast<T&>(o).*get)()); };
    p.SetString = [set](TPersistent& o, const std::string& v) { (static_cast<T&>(o).*set)(FromUtf8(v)); };
}

template <typename T>
void Number(TPropertyList& list, const char* name, int32_t (TFlashPlayerSurface::*get)(),
            void (TFlashPlayerSurface::*set)(int32_t)) {
    TPropertyInfo& p = list.Custom(name, TPropertyKind::Integer);
    p.GetOrdinal = [get](TPersistent& o) -> int64_t { return (static_cast<T&>(o).*get)(); };
    p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(static_cast<int32_t>(v)); };
}

template <typename T>
void Flag(TPropertyList& list, const char* name, WordBool (TFlashPlayerSurface::*get)(),
          void (TFlashPlayerSurface::*set)(WordBool)) {
    TPropertyInfo& p = list.Custom(name, TPropertyKind::Boolean);
    p.GetOrdinal = [get](TPersistent& o) -> int64_t { return (static_cast<T&>(o).*get)() != 0; };
    p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(v ? WordTrue : WordFalse); };
}

template <typename T, typename S>
void Event(TPropertyList& list, const char* name, TMethod<S> TFlashPlayerSurface::*slot) {
    TPropertyInfo& p = list.Custom(name, TPropertyKind::Event);
    p.GetEvent = [slot](TPersistent& o) { return TAnyMethod(static_cast<T&>(o).*slot); };
    p.SetEvent = [slot](TPersistent& o, const TAnyMethod& m) { static_cast<T&>(o).*slot = m.template As<S>(); };
}

}  // namespace PlayerProperties

template <typename T>
void DefinePlayerEvents(TPropertyList& list) {
    using namespace PlayerProperties;
    using S = TFlashPlayerSurface;
    Event<T>(list, "OnReadyStateChange", &S::OnReadyStateChange);
    Event<T>(list, "OnProgress", &S::OnProgress);
    Event<T>(list, "OnFSCommand", &S::OnFSCommand);
    Event<T>(list, "OnFlashCall", &S::OnFlashCall);
    Event<T>(list, "OnLoadExternalResource", &S::OnLoadExternalResource);
    Event<T>(list, "OnLoadExternalResourceEx", &S::OnLoadExternalResourceEx);
    Event<T>(list, "OnLoadExternalResourceAsync", &S::OnLoadExternalResourceAsync);
}

template <typename T>
void DefinePlayerProperties(TPropertyList& list) {
    using namespace PlayerProperties;
    using S = TFlashPlayerSurface;
    Text<T>(list, "Movie", &S::Movie, &S::SetMovie);
    Number<T>(list, "FrameNum", &S::FrameNum, &S::SetFrameNum);
    Flag<T>(list, "Playing", &S::Playing, &S::SetPlaying);
    Number<T>(list, "Quality", &S::Quality, &S::SetQuality);
    Number<T>(list, "ScaleMode", &S::ScaleMode, &S::SetScaleMode);
    Number<T>(list, "AlignMode", &S::AlignMode, &S::SetAlignMode);
    Number<T>(list, "BackgroundColor", &S::BackgroundColor, &S::SetBackgroundColor);
    Flag<T>(list, "Loop", &S::Loop, &S::SetLoop);
    Text<T>(list, "WMode", &S::WMode, &S::SetWMode);
    Text<T>(list, "SAlign", &S::SAlign, &S::SetSAlign);
    Flag<T>(list, "Menu", &S::Menu, &S::SetMenu);
    Text<T>(list, "Base", &S::Base, &S::SetBase);
    Text<T>(list, "Scale", &S::Scale, &S::SetScale);
    Flag<T>(list, "DeviceFont", &S::DeviceFont, &S::SetDeviceFont);
    Flag<T>(list, "EmbedMovie", &S::EmbedMovie, &S::SetEmbedMovie);
    Text<T>(list, "BGColor", &S::BGColor, &S::SetBGColor);
    Text<T>(list, "Quality2", &S::Quality2, &S::SetQuality2);
    Text<T>(list, "SWRemote", &S::SWRemote, &S::SetSWRemote);
    Text<T>(list, "Stacking", &S::Stacking, &S::SetStacking);
    Text<T>(list, "FlashVars", &S::FlashVars, &S::SetFlashVars);
    Text<T>(list, "AllowScriptAccess", &S::AllowScriptAccess, &S::SetAllowScriptAccess);
    Text<T>(list, "MovieData", &S::MovieData, &S::SetMovieData);
    Flag<T>(list, "AllowFullscreen", &S::AllowFullscreen, &S::SetAllowFullscreen);
}
