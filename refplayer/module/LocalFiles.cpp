#include "refplayer/module/LocalFiles.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr DWORD MaxSettingsSize = 64 * 1024;
constexpr LONGLONG MaxLocalFileSize = 256LL << 20;

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::map<std::string, std::string> ReadPlayerSettings() {
    std::map<std::string, std::string> settings;
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16) return settings;
    std::string path = std::string(folder, length) + "\\refplayer.cfg";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return settings;
    DWORD size = GetFileSize(file, nullptr);
    std::string text;
    if (size != INVALID_FILE_SIZE && size <= MaxSettingsSize) {
        char mark[3] = {};
        DWORD read = 0;
        bool hasMark = ReadFile(file, mark, 3, &read, nullptr) && read == 3 && mark[0] == '\xEF' &&
                       mark[1] == '\xBB' && mark[2] == '\xBF';
        if (!hasMark) SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        text.resize(size);
        if (ReadFile(file, &text[0], size, &read, nullptr))
            text.resize(read);
        else
            text.clear();
    }
    CloseHandle(file);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) settings[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
        start = end + 1;
    }
    return settings;
}

bool ReadLocalFile(const std::wstring& path, std::vector<uint8_t>& data) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart <= MaxLocalFileSize;
    if (ok) {
        data.resize(static_cast<size_t>(size.QuadPart));
        // Position explicitly: a handle the host gives back may have been read before.
        LARGE_INTEGER start = {};
        ok = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
        size_t done = 0;
        while (ok && done < data.size()) {
            DWORD read = 0;
            DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 20));
            ok = ReadFile(file, data.data() + done, want, &read, nullptr) && read > 0;
            done += read;
        }
    }
    CloseHandle(file);
    return ok;
}
