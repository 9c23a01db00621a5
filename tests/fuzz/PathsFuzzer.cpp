// The in-memory path parser and URL resolution on arbitrary text: a recognised fake path
// keeps its id and relative path when written again in the canonical form, comparisons are
// symmetric, and resolving never faults and leaves absolute references as they are.
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "refplayer/core/TextCodec.h"
#include "refplayer/core/UrlResolver.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte splits the input into a base and a reference.
    size_t split = size ? data[0] % (size) : 0;
    std::string raw(reinterpret_cast<const char*>(data), size);
    std::wstring whole = refplayer::FromUtf8(raw);
    std::wstring base = refplayer::FromUtf8(raw.substr(0, split));
    std::wstring reference = refplayer::FromUtf8(raw.substr(split));

    int32_t id = 0;
    std::wstring relative;
    if (ParseMemoryPath(whole, id, relative)) {
        std::wstring canonical = FormatMoviePath(id);
        // The canonical path's own file name is replaced by the relative path.
        std::wstring rebuilt = canonical.substr(0, canonical.rfind(L'\\') + 1) + relative;
        int32_t id2 = 0;
        std::wstring relative2;
        FUZZ_CHECK(ParseMemoryPath(rebuilt, id2, relative2));
        FUZZ_CHECK(id2 == id && relative2 == relative);
        FUZZ_CHECK(SameResourcePath(whole, rebuilt));
    }
    FUZZ_CHECK(SameResourcePath(base, reference) == SameResourcePath(reference, base));
    FUZZ_CHECK(SameResourcePath(whole, whole));

    std::wstring resolved = refplayer::ResolveUrl(base, reference);
    if (refplayer::HasUrlScheme(reference) && reference.find_first_of(L"./\\") == std::wstring::npos)
        FUZZ_CHECK(resolved == reference);
    return 0;
}
