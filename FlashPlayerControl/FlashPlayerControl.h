#pragma once

/// \file
/// The one header an application includes to use the player library: the two player
/// controls (TFlashPlayerControl, TTransparentFlashPlayerControl), the interface through
/// which the library talks to them (IFlashPlayerControlBase), and the library-wide
/// operations (player version, availability, transparency, sound switch, library-wide
/// resource handlers and URL filter).
///
/// Including it starts the library before the program's own code: it maps the installed
/// player module itself and binds the system entry points it needs; the library stops when
/// the program ends. Start-up raises Exception when urlmon.dll or user32.dll or one of
/// their required entry points is missing; a missing player module is no error (the
/// controls then run without a player object).

#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SoundHooks.h"
#include "FlashPlayerControl/Version.h"

namespace {
/// One per file that includes this header; see TFlashPlayerLibraryUser.
TFlashPlayerLibraryUser FlashPlayerLibraryUser;
/// Form files can name the player controls by class.
const bool PlayerControlClassesRegistered = (RegisterPlayerControlClasses(), true);
}
