#pragma once

// The one header an application includes to use the player library: the two player
// controls, the interface through which the library talks to them, and the library-wide
// operations (player version, availability, transparency, sound switch, library-wide
// resource handlers).
//
// Including it starts the library before the program's own code: it maps the installed
// player module itself and binds the system entry points it needs; the library stops when
// the program ends.

#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "FlashPlayerControl/controls/FlashPlayerControl.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SoundHooks.h"

namespace {
// One per file that includes this header; see TFlashPlayerLibraryUser.
TFlashPlayerLibraryUser FlashPlayerLibraryUser;
// Form files can name the player controls by class.
const bool PlayerControlClassesRegistered = (RegisterPlayerControlClasses(), true);
}
