#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/CriticalSection.h"
#include "framework/Object.h"

// A cursor built from a mapped image, remembered by the instance and the resource name it was
// asked for with.
class TSavedCursor : public TObject {
public:
    HCURSOR Cursor = nullptr;
    HINSTANCE Module = nullptr;
    bool IsNamed = false;
    WORD Id = 0;           // when !IsNamed
    std::string Name;      // when IsNamed
};

// The cursors built from mapped images, so that each is built once; callable from any thread.
class TSavedCursors : public TObject {
public:
    // The cursor recorded for (module, name), or null. name is a resource name argument: an
    // identifier below 0x10000 or a NUL-terminated name, matched exactly.
    HCURSOR FindCursor(HINSTANCE module, LPCSTR name);
    void AddCursor(HCURSOR cursor, HINSTANCE module, LPCSTR name);
    size_t Count();

private:
    std::vector<std::unique_ptr<TSavedCursor>> cursors_;
    TCriticalSection CursorLock;
};
