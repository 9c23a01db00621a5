#pragma once

#include "FlashPlayerControl/loader/DLLLoader.h"

// The loader of the player module: while the module's imports are bound, twenty names are
// handed the library's own replacements instead of the system functions, whichever library
// the import names. Imports by ordinal and every other name bind normally.
class TFlashOCXLoader : public TDLLLoader {
public:
    using TDLLLoader::TDLLLoader;

    // The replacement for an import or late lookup of that exact (case-sensitive) name, or
    // null; procName below 0x10000 is an ordinal and never redirected.
    static void* Redirection(const char* procName);

    // Number of entries in the redirection table, and the name of entry index (0-based).
    static int RedirectionCount();
    static const char* RedirectedName(int index);

protected:
    void* ResolveImport(const char* libraryName, const char* procName) override;
};
