// External-call XML: whatever parses, written out and parsed again, is the same request, and
// writing it is a fixed point. Text arrives as UTF-8 bytes, as a container passes it on.
#include "refplayer/core/FormatError.h"
#include "refplayer/core/InvokeXml.h"
#include "refplayer/core/TextCodec.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace refplayer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    InvokeRequest request;
    try {
        request = ParseInvoke(text);
    } catch (const FormatError&) {
        return 0;
    }
    std::wstring written = SerializeInvoke(request);
    InvokeRequest again;
    try {
        again = ParseInvoke(written);
    } catch (const FormatError&) {
        FUZZ_CHECK(!"a written request must parse");
    }
    FUZZ_CHECK(SerializeInvoke(again) == written);
    // A missing return type is written as the default one, "xml".
    FUZZ_CHECK(again.name == request.name);
    FUZZ_CHECK(again.returnType == (request.returnType.empty() ? L"xml" : request.returnType));
    FUZZ_CHECK(again.arguments.size() == request.arguments.size());
    return 0;
}
