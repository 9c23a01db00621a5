#pragma once

// The library-wide objects that live from library start-up to shut-down, and the handler
// types the application can install. The replacements of system functions reach the rest of
// the library only through these.

#include <windows.h>
#include <mmsystem.h>
#include <urlmon.h>

#include <string>

#include "framework/CriticalSection.h"
#include "framework/Method.h"
#include "framework/Streams.h"

class TFlashOCXCodeProviderBasedOnSystemInstalledOCX;
class TMapCardinal2Cardinal;
class TMapString2String;
class TSavedCursors;
class TTimer;

// Library-wide external-resource handlers (see RegisterLibraryResourceHandler and its peers).
using TLoadExternalResourceHandler = TMethod<void(const std::wstring& url, TStream* stream)>;
using TLoadExternalResourceExHandler =
    TMethod<void(const std::wstring& url, TStream* stream, bool& handled)>;
using TLoadExternalResourceAsyncHandler =
    TMethod<void(const std::wstring& path, TStream*& stream)>;
// Consulted before every URL moniker the player asks for; may change the URL, and must set
// continueLoading.
using TURLFilterHandler = TMethod<void(std::wstring& url, bool& continueLoading)>;

// Audio handler slots: told of every wave-out open, write and close of the player module.
using TWaveOpenHandler = TMethod<void(LPCWAVEFORMATEX format)>;
using TWaveWriteHandler = TMethod<void(LPWAVEHDR header, UINT headerSize)>;
using TWaveCloseHandler = TMethod<void()>;

using TCreateURLMonikerProc = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**);
using TRegisterBindStatusCallbackProc = HRESULT(WINAPI*)(IBindCtx*, IBindStatusCallback*,
                                                         IBindStatusCallback**, DWORD);
using TUpdateLayeredWindowProc = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                               BLENDFUNCTION*, DWORD);

extern TFlashOCXCodeProviderBasedOnSystemInstalledOCX* FlashCodeProvider;
extern TMapString2String* ClassNameMap;

// Sound: SoundLock guards SoundsEnabled, the three audio handler slots and WaveFormats, and
// is held for the whole of each wave-out replacement.
extern bool SoundsEnabled;
extern TCriticalSection* SoundLock;
extern int SoundVolume;
extern TMapCardinal2Cardinal* WaveFormats;
extern TWaveOpenHandler WaveOpenHandler;
extern TWaveWriteHandler WaveWriteHandler;
extern TWaveCloseHandler WaveCloseHandler;

extern TLoadExternalResourceHandler GlobalLoadExternalResourceHandler;
extern TLoadExternalResourceExHandler GlobalLoadExternalResourceExHandler;
extern TLoadExternalResourceAsyncHandler GlobalLoadExternalResourceAsyncHandler;
extern TURLFilterHandler GlobalURLFilterHandler;

extern HMODULE UrlmonLibrary;
extern HMODULE User32Library;
extern TCreateURLMonikerProc CreateURLMonikerProc;
extern TRegisterBindStatusCallbackProc RegisterBindStatusCallbackProc;
extern TUpdateLayeredWindowProc UpdateLayeredWindowProc;

extern TSavedCursors* SavedCursors;
extern TTimer* WorkingSetTimer;
