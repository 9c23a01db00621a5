#include "FlashPlayerControl/loader/SavedCursors.h"

#include <cstdint>

namespace {
bool IsIdentifier(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }
WORD IdentifierOf(LPCSTR name) { return static_cast<WORD>(reinterpret_cast<uintptr_t>(name)); }
}  // namespace

HCURSOR TSavedCursors::FindCursor(HINSTANCE module, LPCSTR name) {
    TCriticalSectionGuard guard(CursorLock);
    for (const auto& entry : cursors_) {
        if (entry->Module != module) continue;
        if (IsIdentifier(name) ? !entry->IsNamed && entry->Id == IdentifierOf(name)
                               : entry->IsNamed && entry->Name == name)
            return entry->Cursor;
    }
    return nullptr;
}

void TSavedCursors::AddCursor(HCURSOR cursor, HINSTANCE module, LPCSTR name) {
    auto entry = std::make_unique<TSavedCursor>();
    entry->Cursor = cursor;
    entry->Module = module;
    entry->IsNamed = !IsIdentifier(name);
    if (entry->IsNamed)
        entry->Name = name;
    else
        entry->Id = IdentifierOf(name);
    TCriticalSectionGuard guard(CursorLock);
    cursors_.push_back(std::move(entry));
}

size_t TSavedCursors::Count() {
    TCriticalSectionGuard guard(CursorLock);
    return cursors_.size();
}
