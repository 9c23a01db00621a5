#pragma once

// The event types shared by both player controls. The sender is always the control.

#include <windows.h>

#include <string>

#include "framework/Method.h"
#include "framework/Object.h"
#include "framework/Streams.h"

class TCanvas;

using TFlashPlayerControlOnReadyStateChange = TMethod<void(TObject* sender, int newState)>;
using TFlashPlayerControlOnProgress = TMethod<void(TObject* sender, int percentDone)>;
using TFlashPlayerControlFSCommand =
    TMethod<void(TObject* sender, const std::wstring& command, const std::wstring& args)>;
using TFlashPlayerControlFlashCall = TMethod<void(TObject* sender, const std::wstring& request)>;
using TFlashPlayerControlOnLoadExternalResource =
    TMethod<void(TObject* sender, const std::wstring& url, TStream* stream)>;
using TFlashPlayerControlOnLoadExternalResourceEx =
    TMethod<void(TObject* sender, const std::wstring& url, TStream* stream, bool& handled)>;
using TFlashPlayerControlOnLoadExternalResourceAsync =
    TMethod<void(TObject* sender, const std::wstring& path, TStream*& stream)>;

// The windowless control's own events.
using TFlashPlayerControlUpdateRect = TMethod<void(TObject* sender, RECT& rc)>;
using TFlashPlayerControlOnFlashPaint = TMethod<void(TObject* sender, void* pPixels)>;
using TFlashPlayerControlOnDrawBackground = TMethod<void(TObject* sender, TCanvas* canvas)>;

// The 16-bit Boolean of the player's property surface: True is -1.
using WordBool = int16_t;
constexpr WordBool WordTrue = -1;
constexpr WordBool WordFalse = 0;

// DISPIDs of the player's event interface.
enum : long {
    DispidReadyStateChange = -609,
    DispidFSCommand = 150,
    DispidFlashCall = 197,
    DispidProgress = 1958,
};
