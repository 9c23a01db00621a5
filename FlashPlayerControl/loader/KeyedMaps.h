#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/Object.h"

// Two small lookup tables that live as long as the library: window-class names of the Flash
// module to the names registered in their place, and wave-out handles to bytes per sample.
// They hold a handful of entries, so a list searched from the front is all they need. Neither
// has a lock: their users serialise access.

class TCardinalPair : public TObject {
public:
    TCardinalPair(uint32_t key, uint32_t value) : Key(key), Value(value) {}
    uint32_t Key;
    uint32_t Value;
};

class TStringPair : public TObject {
public:
    TStringPair(std::string key, std::string value)
        : Key(std::move(key)), Value(std::move(value)) {}
    std::string Key;
    std::string Value;
};

class TMapCardinal2Cardinal : public TObject {
public:
    // Appends without searching: a key may occur more than once, and the oldest pair wins.
    void Add(uint32_t key, uint32_t value);
    // The value of the oldest pair with this key; false, value untouched, when there is none.
    bool Find(uint32_t key, uint32_t& value) const;
    // Removes every pair with this key (a closed wave-out handle may come back with another
    // format).
    void Remove(uint32_t key);

    size_t Count() const { return pairs_.size(); }
    // The pairs in the order they were added; index below Count().
    const TCardinalPair& Item(size_t index) const { return *pairs_.at(index); }

private:
    std::vector<std::unique_ptr<TCardinalPair>> pairs_;
};

// Keys compare without regard to case, so each key occurs once; a pair keeps the spelling of
// the key it was first added with.
class TMapString2String : public TObject {
public:
    // Replaces the value of the pair whose key matches, else appends a new pair.
    void Add(const std::string& key, const std::string& value);
    // The value of the pair whose key matches; false, value untouched, when there is none.
    bool Find(const std::string& key, std::string& value) const;

    size_t Count() const { return pairs_.size(); }
    // The pairs in the order they were added; index below Count().
    const TStringPair& Item(size_t index) const { return *pairs_.at(index); }

private:
    TStringPair* Lookup(const std::string& key) const;

    std::vector<std::unique_ptr<TStringPair>> pairs_;
};
