#include "framework/Properties.h"

#include <cctype>

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IdentToValue(const TIdentMap& map, const std::string& name, int64_t& value) {
    for (const TIdentEntry& entry : map) {
        if (SameText(entry.Name, name)) {
            value = entry.Value;
            return true;
        }
    }
    return false;
}

const char* ValueToIdent(const TIdentMap& map, int64_t value) {
    for (const TIdentEntry& entry : map)
        if (entry.Value == value) return entry.Name;
    return nullptr;
}

const TPropertyInfo* TPropertyList::Find(const std::string& name) const {
    for (const TPropertyInfo& p : items_)
        if (SameText(p.Name, name)) return &p;
    return nullptr;
}

TPropertyInfo& TPropertyList::Add(const char* name, TPropertyKind kind) {
    // A derived class may publish a property again (another default): the later one wins,
    // keeping the base class's place in the order.
    for (TPropertyInfo& p : items_) {
        if (p.Name == name) {
            p = TPropertyInfo();
            p.Name = name;
            p.Kind = kind;
            return p;
        }
    }
    items_.emplace_back();
    items_.back().Name = name;
    items_.back().Kind = kind;
    return items_.back();
}

void TPersistent::DefineProperties(TPropertyList&) {}

TPropertyList TPersistent::Properties() {
    TPropertyList list;
    DefineProperties(list);
    return list;
}
