// The project's inflater against the system zlib: whenever zlib inflates an input completely,
// the inflater gives the same bytes, whole and fed in pieces; and whatever the inflater
// accepts as a finished stream, zlib accepts too with the same bytes.
#include <zlib.h>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/Inflater.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace refplayer;

namespace {

constexpr size_t MaxOutput = 1 << 20;

// zlib's answer: true with the output when the stream is complete and within the limit.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) return false;
    out.assign(MaxOutput + 1, 0);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result = inflate(&stream, Z_FINISH);
    size_t produced = out.size() - stream.avail_out;
    inflateEnd(&stream);
    if (result != Z_STREAM_END || produced > MaxOutput) return false;
    out.resize(produced);
    return true;
}

bool OursPiecewise(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    ZlibInflater inflater(MaxOutput);
    try {
        size_t at = 0;
        for (size_t length : PieceLengths(data, size)) {
            inflater.Append(data + at, length);
            at += length;
            if (inflater.Finished()) break;
        }
    } catch (const FormatError&) {
        return false;
    }
    if (!inflater.Finished()) return false;
    out = inflater.Output();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> expected, whole, piecewise;
    bool zlibAccepts = ZlibInflate(data, size, expected);
    bool oursAccepts = true;
    try {
        whole = ZlibInflater::InflateAll(data, size, MaxOutput);
    } catch (const FormatError&) {
        oursAccepts = false;
    }
    bool oursPiecewise = OursPiecewise(data, size, piecewise);
    if (zlibAccepts) {
        FUZZ_CHECK(oursAccepts && whole == expected);
        FUZZ_CHECK(oursPiecewise && piecewise == expected);
    }
    if (oursAccepts) FUZZ_CHECK(zlibAccepts && whole == expected);
    if (oursPiecewise) FUZZ_CHECK(zlibAccepts && piecewise == expected);
    return 0;
}
