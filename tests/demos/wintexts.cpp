// wintexts: prints the window tree of the desktop's top-level windows, as a person would read
// it off the screen, for the demonstration tests. One line per window:
//   <depth> <hwnd> <pid> <visible> <class> <checked> <focused> <x> <y> <w> <h> <text>
// Top-level windows give their client area in screen coordinates; children their place in
// their parent's client area. Text has \r, \n and \\ escaped. With a title argument only
// top-level windows with that exact title are listed.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

namespace {

const char* filterTitle = nullptr;

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string TextOf(HWND window) {
    // WM_GETTEXT works across processes for the standard controls and dialogs.
    char buffer[4096] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, &length))
        return std::string();
    return std::string(buffer, static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length) : 0);
}

void Print(HWND window, int depth, HWND focus) {
    char cls[256] = {};
    GetClassNameA(window, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT rc = {};
    GetClientRect(window, &rc);
    POINT origin = {0, 0};
    if (depth == 0) {
        ClientToScreen(window, &origin);
    } else {
        RECT wr = {};
        GetWindowRect(window, &wr);
        origin = {wr.left, wr.top};
        ScreenToClient(GetParent(window), &origin);
        rc = {0, 0, wr.right - wr.left, wr.bottom - wr.top};
    }
    long checked = -1;
    // Buttons and check boxes, the system's own or the toolkit's classes built on them.
    if (StrStrIA(cls, "Button") || StrStrIA(cls, "CheckBox")) {
        DWORD_PTR state = 0;
        if (SendMessageTimeoutA(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state)) checked = static_cast<long>(state);
    }
    std::printf("%d %p %lu %d %s %ld %d %ld %ld %ld %ld %s\n", depth, static_cast<void*>(window), pid,
                IsWindowVisible(window) ? 1 : 0, cls, checked, window == focus ? 1 : 0, origin.x, origin.y,
                rc.right - rc.left, rc.bottom - rc.top, Escaped(TextOf(window)).c_str());
}

struct TChildWalk {
    HWND parent;
    int depth;
    HWND focus;
};

BOOL CALLBACK PrintChild(HWND window, LPARAM param) {
    const TChildWalk& walk = *reinterpret_cast<TChildWalk*>(param);
    // EnumChildWindows visits grandchildren too; each is printed under its own parent.
    if (GetParent(window) != walk.parent) return TRUE;
    Print(window, walk.depth, walk.focus);
    TChildWalk inner = {window, walk.depth + 1, walk.focus};
    EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(&inner));
    return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    if (filterTitle && TextOf(window) != filterTitle) return TRUE;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND focus = GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
    Print(window, 0, focus);
    TChildWalk walk = {window, 1, focus};
    EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(&walk));
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) filterTitle = argv[1];
    EnumWindows(PrintTopLevel, 0);
    std::fflush(stdout);
    return 0;
}
