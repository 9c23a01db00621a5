#include "FlashPlayerControl/loader/KeyedMaps.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Class names are compared the way the system compares them when it looks up a class: with
// lstrcmpiA. Off Windows, ASCII case folding stands in; it agrees with lstrcmpiA on every
// name made of ASCII characters, which is what window-class names are. Both stop at the
// first NUL, as the system sees the names.
bool SameKey(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
#else
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    const char* x = a.c_str();
    const char* y = b.c_str();
    for (; *x && *y; ++x, ++y)
        if (fold(static_cast<unsigned char>(*x)) != fold(static_cast<unsigned char>(*y)))
            return false;
    return *x == *y;
#endif
}

}  // namespace

void TMapCardinal2Cardinal::Remove(uint32_t key) {
    pairs_.erase(std::remove_if(pairs_.begin(), pairs_.end(),
                                [key](const auto& pair) { return pair->Key == key; }),
                 pairs_.end());
}

void TMapCardinal2Cardinal::Add(uint32_t key, uint32_t value) {
    pairs_.push_back(std::make_unique<TCardinalPair>(key, value));
}

bool TMapCardinal2Cardinal::Find(uint32_t key, uint32_t& value) const {
    for (const auto& pair : pairs_) {
        if (pair->Key == key) {
            value = pair->Value;
            return true;
        }
    }
    return false;
}

TStringPair* TMapString2String::Lookup(const std::string& key) const {
    for (const auto& pair : pairs_)
        if (SameKey(pair->Key, key)) return pair.get();
    return nullptr;
}

void TMapString2String::Add(const std::string& key, const std::string& value) {
    if (TStringPair* pair = Lookup(key))
        pair->Value = value;
    else
        pairs_.push_back(std::make_unique<TStringPair>(key, value));
}

bool TMapString2String::Find(const std::string& key, std::string& value) const {
    const TStringPair* pair = Lookup(key);
    if (!pair) return false;
    value = pair->Value;
    return true;
}
