#pragma once

// The library-wide operations of the player library, and its start-up and shut-down.

#include <cstdint>

#include "FlashPlayerControl/loader/LibraryState.h"

// Packed product version of the player module the library mapped (major, minor, build and
// revision in bytes 3 to 0), 0 without one.
uint32_t QueryFlashCodeVersion();
// The lowest code version to which the controls pass the full-screen permission: 9.0.28.0.
uint32_t FullScreenMinimumVersion();
// Whether the system's own registration can create a player object.
bool FlashObjectAvailable();
// Whether transparent (windowless) rendering can be used on this display.
bool TransparencyAvailable();

// Library-wide external-resource handlers; an empty method clears one.
void RegisterLibraryResourceHandler(const TLoadExternalResourceHandler& handler);
void RegisterLibraryResourceExHandler(const TLoadExternalResourceExHandler& handler);
void RegisterLibraryResourceAsyncHandler(const TLoadExternalResourceAsyncHandler& handler);
void RegisterLibraryURLFilterHandler(const TURLFilterHandler& handler);

// Start-up: makes the library-wide objects, maps the installed player module and binds the
// urlmon and user32 entry points. Raises an Exception with a fixed message when urlmon or
// user32 or their required entry points are missing ("LoadLibrary(urlmon.dll) failed" and
// so on). Shut-down releases everything in reverse dependency order. Programs need neither:
// including the library's header starts the library before the program's own code and
// stops it at exit.
void StartFlashPlayerLibrary();
void StopFlashPlayerLibrary();
bool FlashPlayerLibraryStarted();

// Runs start-up when the first of the objects below is made and shut-down when the last is
// destroyed. The library's header puts one in every file that includes it, which keeps the
// start-up code linked in and runs it before that file's own static objects.
class TFlashPlayerLibraryUser {
public:
    TFlashPlayerLibraryUser();
    ~TFlashPlayerLibraryUser();
    TFlashPlayerLibraryUser(const TFlashPlayerLibraryUser&) = delete;
    TFlashPlayerLibraryUser& operator=(const TFlashPlayerLibraryUser&) = delete;
};
