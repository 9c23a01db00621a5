#pragma once

/// \file
/// The event types shared by both player controls. The sender is always the control.

#include <windows.h>

#include <string>

#include "framework/Method.h"
#include "framework/Object.h"
#include "framework/Streams.h"

class TCanvas;

/// The player's ready state changed (0 loading ... 4 complete). Raised on the player's
/// thread (the thread that made the control, normally the main thread).
using TFlashPlayerControlOnReadyStateChange = TMethod<void(TObject* sender, int newState)>;
/// Loading progress of the movie in percent. Raised on the player's thread.
using TFlashPlayerControlOnProgress = TMethod<void(TObject* sender, int percentDone)>;
/// The movie ran fscommand(command, args). Raised on the player's thread.
using TFlashPlayerControlFSCommand =
    TMethod<void(TObject* sender, const std::wstring& command, const std::wstring& args)>;
/// The movie called out to its container (an XML invoke request); answer with
/// SetReturnValue before returning. Raised on the player's thread.
using TFlashPlayerControlFlashCall = TMethod<void(TObject* sender, const std::wstring& request)>;
/// A movie loaded from a stream asks for the relative \p url: write the resource into
/// \p stream before returning (nothing written: not served). Raised on the player's thread.
using TFlashPlayerControlOnLoadExternalResource =
    TMethod<void(TObject* sender, const std::wstring& url, TStream* stream)>;
/// Like OnLoadExternalResource, asked first: set \p handled to keep \p stream, write it
/// now or later from any thread, and free it when complete (that ends the download).
/// Raised on the player's thread.
using TFlashPlayerControlOnLoadExternalResourceEx =
    TMethod<void(TObject* sender, const std::wstring& url, TStream* stream, bool& handled)>;
/// The player opens the file \p path (relative to a movie loaded from a stream): return a
/// stream in \p stream, positioned anywhere; the library reads and frees it. Raised on the
/// thread that opens the file (the player's).
using TFlashPlayerControlOnLoadExternalResourceAsync =
    TMethod<void(TObject* sender, const std::wstring& path, TStream*& stream)>;

/// The windowless control's invalidated area in parent coordinates; the handler may change
/// it. Raised on the player's thread when the player invalidates.
using TFlashPlayerControlUpdateRect = TMethod<void(TObject* sender, RECT& rc)>;
/// Slot for the 32-bit pixels of a drawn windowless frame, for handlers that post-process
/// them; published to form files, not raised by the current control.
using TFlashPlayerControlOnFlashPaint = TMethod<void(TObject* sender, void* pPixels)>;
/// Draw what lies beneath the windowless movie on \p canvas at the start of each paint.
/// Raised on the main thread.
using TFlashPlayerControlOnDrawBackground = TMethod<void(TObject* sender, TCanvas* canvas)>;

/// The 16-bit Boolean of the player's property surface: True is -1.
using WordBool = int16_t;
/// WordBool true.
constexpr WordBool WordTrue = -1;
/// WordBool false.
constexpr WordBool WordFalse = 0;

/// DISPIDs of the player's event interface.
enum : long {
    DispidReadyStateChange = -609,  ///< OnReadyStateChange
    DispidFSCommand = 150,          ///< OnFSCommand
    DispidFlashCall = 197,          ///< OnFlashCall
    DispidProgress = 1958,          ///< OnProgress
};
