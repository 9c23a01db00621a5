#pragma once

// Replacement of urlmon's CreateURLMoniker for the player module: every URL the module binds
// passes through here.

#include <windows.h>
#include <urlmon.h>

HRESULT WINAPI MyCreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker);
