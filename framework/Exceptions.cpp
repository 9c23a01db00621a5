#include "framework/Exceptions.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ErrorText {

// Only the first "%s" is replaced, textually: an argument holding '%' (file names may) must
// come through unchanged.
std::string Format(const char* pattern, const std::string& argument) {
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

}  // namespace ErrorText

namespace {

std::string HexText(int32_t result) {
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(result));
    return text;
}

std::string OleErrorMessage(int32_t result) {
#ifdef _WIN32
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(result), 0, text, sizeof text,
                                  nullptr);
    // System messages end in "\r\n" (and sometimes blanks); callers show the text inline.
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= ' ') --length;
    if (length > 0) return std::string(text, length);
#endif
    return HexText(result);
}

}  // namespace

void OleCheck(int32_t result) {
    if (result < 0) throw EOleError(OleErrorMessage(result), result);
}
