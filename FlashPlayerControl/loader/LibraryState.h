#pragma once

/// \file
/// The handler types the application can install library-wide, and the library-wide
/// objects that live from library start-up to shut-down. The replacements of system
/// functions reach the rest of the library only through these; the objects are the
/// library's own, for applications to leave alone.

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

/// Library-wide handler for a request of an absolute \p url: write the resource into
/// \p stream before returning (see RegisterLibraryResourceHandler).
using TLoadExternalResourceHandler = TMethod<void(const std::wstring& url, TStream* stream)>;
/// Library-wide handler asked first: set \p handled to keep \p stream, write it from any
/// thread and free it when done (see RegisterLibraryResourceExHandler).
using TLoadExternalResourceExHandler =
    TMethod<void(const std::wstring& url, TStream* stream, bool& handled)>;
/// Library-wide handler for a file the player opens: return a stream in \p stream, which
/// the library reads and frees (see RegisterLibraryResourceAsyncHandler).
using TLoadExternalResourceAsyncHandler =
    TMethod<void(const std::wstring& path, TStream*& stream)>;
/// Consulted before every URL moniker the player asks for; may change \p url, and must set
/// \p continueLoading (false refuses the URL). See RegisterLibraryURLFilterHandler.
using TURLFilterHandler = TMethod<void(std::wstring& url, bool& continueLoading)>;

/// Audio handler: told of every wave-out open of the player module, with its format.
using TWaveOpenHandler = TMethod<void(LPCWAVEFORMATEX format)>;
/// Audio handler: told of every buffer the player module writes.
using TWaveWriteHandler = TMethod<void(LPWAVEHDR header, UINT headerSize)>;
/// Audio handler: told of every wave-out close of the player module.
using TWaveCloseHandler = TMethod<void()>;

/// The system's CreateURLMoniker.
using TCreateURLMonikerProc = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**);
/// The system's RegisterBindStatusCallback.
using TRegisterBindStatusCallbackProc = HRESULT(WINAPI*)(IBindCtx*, IBindStatusCallback*,
                                                         IBindStatusCallback**, DWORD);
/// The system's UpdateLayeredWindow.
using TUpdateLayeredWindowProc = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                               BLENDFUNCTION*, DWORD);

/// The mapped player module, or null.
extern TFlashOCXCodeProviderBasedOnSystemInstalledOCX* FlashCodeProvider;
/// Window class names the player registers, to the names the library gave them.
extern TMapString2String* ClassNameMap;

/// Sound: SoundLock guards SoundsEnabled, the three audio handler slots and WaveFormats, and
/// is held for the whole of each wave-out replacement. Use SetSoundsEnabled and its peers.
extern bool SoundsEnabled;
/// Guards the sound state below.
extern TCriticalSection* SoundLock;
/// Volume in percent (SetSoundVolume).
extern int SoundVolume;
/// Bytes per sample of each open wave-out handle.
extern TMapCardinal2Cardinal* WaveFormats;
/// SetWaveOpenHandler's slot.
extern TWaveOpenHandler WaveOpenHandler;
/// SetWaveWriteHandler's slot.
extern TWaveWriteHandler WaveWriteHandler;
/// SetWaveCloseHandler's slot.
extern TWaveCloseHandler WaveCloseHandler;

/// RegisterLibraryResourceHandler's slot.
extern TLoadExternalResourceHandler GlobalLoadExternalResourceHandler;
/// RegisterLibraryResourceExHandler's slot.
extern TLoadExternalResourceExHandler GlobalLoadExternalResourceExHandler;
/// RegisterLibraryResourceAsyncHandler's slot.
extern TLoadExternalResourceAsyncHandler GlobalLoadExternalResourceAsyncHandler;
/// RegisterLibraryURLFilterHandler's slot.
extern TURLFilterHandler GlobalURLFilterHandler;

/// urlmon.dll, loaded at start-up.
extern HMODULE UrlmonLibrary;
/// user32.dll, loaded at start-up.
extern HMODULE User32Library;
/// urlmon's CreateURLMoniker.
extern TCreateURLMonikerProc CreateURLMonikerProc;
/// urlmon's RegisterBindStatusCallback.
extern TRegisterBindStatusCallbackProc RegisterBindStatusCallbackProc;
/// user32's UpdateLayeredWindow, or null where layered windows are missing.
extern TUpdateLayeredWindowProc UpdateLayeredWindowProc;

/// Cursors the player module loads, by resource.
extern TSavedCursors* SavedCursors;
/// Trims the process's working set every ten seconds while the library runs.
extern TTimer* WorkingSetTimer;
