#pragma once

/// \file
/// The library-wide operations of the player library, and its start-up and shut-down.

#include <cstdint>

#include "FlashPlayerControl/loader/LibraryState.h"

/// Packed product version of the player module the library mapped (major, minor, build and
/// revision in bytes 3 to 0, so 10.0.45.2 is 0x0A002D02), 0 without one. Any thread.
uint32_t QueryFlashCodeVersion();
/// The lowest code version to which the controls pass the full-screen permission: 9.0.28.0.
uint32_t FullScreenMinimumVersion();
/// Whether the system's own registration can create a player object (tries to make one).
/// Main thread, after COM is initialized on it.
bool FlashObjectAvailable();
/// Whether transparent (windowless) rendering can be used on this display: a player of major
/// version 3 or later, 16 or more bits per pixel, and layered windows. Main thread.
bool TransparencyAvailable();

/// Installs the library-wide handler for requests of absolute URLs (or clears it with an
/// empty method): it writes the resource into the memory stream given before it returns;
/// nothing written falls through to the system's URL handling. Asked after the Ex handler.
/// Install on the main thread before players load movies; the handler runs on the player's
/// thread. An error it raises is reported to the application and the request goes on unserved.
void RegisterLibraryResourceHandler(const TLoadExternalResourceHandler& handler);
/// Installs the library-wide handler asked first for requests of absolute URLs: setting
/// handled keeps the stream, which it may write later from any thread and frees when done.
/// Install on the main thread; the handler runs on the player's thread.
void RegisterLibraryResourceExHandler(const TLoadExternalResourceExHandler& handler);
/// Installs the library-wide handler for files the player opens that no control's
/// OnLoadExternalResourceAsync served: it returns a stream (or leaves null), which the library
/// reads and frees. Install on the main thread; the handler runs on the thread that opens the
/// file (the player's).
void RegisterLibraryResourceAsyncHandler(const TLoadExternalResourceAsyncHandler& handler);
/// Installs the URL filter, asked before every URL the player asks for, ahead of every
/// handler: it may rewrite the URL and must set continueLoading; a refused URL (or a filter
/// that raises) fails the player's request. The only way to keep unserved requests from the
/// files under Base and the system's URL handling. Install on the main thread; it runs on the
/// player's thread. Files the player opens itself do not pass through it.
void RegisterLibraryURLFilterHandler(const TURLFilterHandler& handler);

/// Start-up: makes the library-wide objects, maps the installed player module and binds the
/// urlmon and user32 entry points. Raises an Exception with a fixed message when urlmon or
/// user32 or their required entry points are missing ("LoadLibrary(urlmon.dll) failed" and
/// so on). Programs need neither this nor StopFlashPlayerLibrary: including the library's
/// header starts the library before the program's own code and stops it at exit. Main thread;
/// a second call does nothing.
void StartFlashPlayerLibrary();
/// Shut-down: releases everything in reverse dependency order (player module, handlers,
/// content manager). Main thread, after every control is freed; does nothing when stopped.
void StopFlashPlayerLibrary();
/// Whether the library is started.
bool FlashPlayerLibraryStarted();

/// Runs start-up when the first of these objects is made and shut-down when the last is
/// destroyed. The library's header puts one in every file that includes it, which keeps the
/// start-up code linked in and runs it before that file's own static objects. A start-up
/// error ends the program with its message (FatalAppExit).
class TFlashPlayerLibraryUser {
public:
    /// Starts the library for the first user.
    TFlashPlayerLibraryUser();
    /// Stops the library when the last user goes.
    ~TFlashPlayerLibraryUser();
    TFlashPlayerLibraryUser(const TFlashPlayerLibraryUser&) = delete;
    TFlashPlayerLibraryUser& operator=(const TFlashPlayerLibraryUser&) = delete;
};
