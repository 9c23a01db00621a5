#pragma once

// Module-wide state: the instance the module was entered with, the count of live objects and
// factory locks, and the version the module was built as.

#include <windows.h>

#include <cstdint>

HINSTANCE ModuleInstance();

void ObjectCreated();
void ObjectDestroyed();
void ServerLocked(bool lock);
bool ModuleInUse();

// The product version packed as major.minor.build.revision in bytes 3 to 0; the version
// resource says the same (both come from the build's variant).
extern const uint32_t RefPlayerVersion;

inline int RefPlayerMajorVersion() { return static_cast<int>(RefPlayerVersion >> 24); }
