// Form-file text: anything the parser accepts, written out, reads back as the same tree, and
// writing is a fixed point; anything it refuses is refused with its own error only.
#include <string>

#include "framework/FormFileParser.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TFormObject tree;
    try {
        tree = ParseFormText(text);
    } catch (const EFormFileError&) {
        return 0;  // any other exception escapes and is a finding
    }
    std::string written = FormatFormText(tree);
    TFormObject again;
    try {
        again = ParseFormText(written);
    } catch (const EFormFileError&) {
        FUZZ_CHECK(!"a written form must parse");
    }
    FUZZ_CHECK(again == tree);
    FUZZ_CHECK(FormatFormText(again) == written);
    return 0;
}
