#pragma once

// The one header an application includes to use the player library. Including it starts the
// library (maps the installed player module, binds the system entry points it needs) before
// the program's own code and stops it when the program ends.

#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/SoundHooks.h"

namespace {
// One per file that includes this header; see TFlashPlayerLibraryUser.
TFlashPlayerLibraryUser FlashPlayerLibraryUser;
}
