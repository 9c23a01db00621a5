#pragma once

// getURL to a window: the page opens through the system's handler for its address (the
// user's browser or mail program), never a program or a local file, and not faster than
// one page a second, so a movie cannot flood the desktop with windows.

#include <windows.h>

#include <string>

class TUrlOpener {
public:
    // url: already resolved against the movie; false when it was not opened.
    bool Open(HWND owner, const std::wstring& url);

    static constexpr ULONGLONG MinimumInterval = 1000;  // milliseconds between two pages

private:
    ULONGLONG lastOpened_ = 0;
    bool opened_ = false;
};
