#include "FlashPlayerControl/loader/LoaderPlatform.h"

std::string TLoaderPlatform::ResourceNameToAnsi(const std::u16string& name) {
    std::string text;
    text.reserve(name.size());
    for (char16_t unit : name) text.push_back(unit < 0x80 ? char(unit) : '?');
    return text;
}
