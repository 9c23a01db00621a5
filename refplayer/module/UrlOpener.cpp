#include "refplayer/module/UrlOpener.h"

#include <shellapi.h>

#include "refplayer/core/UrlResolver.h"

bool TUrlOpener::Open(HWND owner, const std::wstring& url) {
    if (!refplayer::IsOpenableUrl(url)) return false;
    ULONGLONG now = GetTickCount64();
    if (opened_ && now - lastOpened_ < MinimumInterval) return false;
    opened_ = true;
    lastOpened_ = now;
    // The shell's "open" of a web or mail address starts its handler; a result above 32 is success.
    HINSTANCE result = ShellExecuteW(owner, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
