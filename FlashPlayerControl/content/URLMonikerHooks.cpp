#include "FlashPlayerControl/content/URLMonikerHooks.h"

#include <type_traits>

#include "FlashPlayerControl/loader/LibraryState.h"

static_assert(std::is_same_v<decltype(&MyCreateURLMoniker), decltype(&::CreateURLMoniker)>);

// Until the content manager answers URLs, every moniker is the system's.
HRESULT WINAPI MyCreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
    if (!CreateURLMonikerProc) return E_FAIL;
    return CreateURLMonikerProc(context, url, moniker);
}
