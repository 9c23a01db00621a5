// The video parser fed whole and in pieces must agree on its header, its tags and its
// metadata, or fail alike.
#include <cstring>
#include <optional>
#include <tuple>

#include "refplayer/core/FlvParser.h"
#include "refplayer/core/FormatError.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace refplayer;

namespace {

struct TOutcome {
    bool failed = false;
    bool header = false, audio = false, video = false;
    std::vector<std::tuple<uint8_t, uint32_t, uint32_t>> tags;
    std::optional<double> width, height, duration, frameRate;
};

bool SameNumber(const std::optional<double>& a, const std::optional<double>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || std::memcmp(&*a, &*b, sizeof(double)) == 0;
}

TOutcome Parse(const uint8_t* data, size_t size, const std::vector<size_t>* pieces) {
    TOutcome outcome;
    FlvParser parser;
    try {
        AppendInPieces(parser, data, size, pieces);
    } catch (const FormatError&) {
        outcome.failed = true;
        return outcome;
    }
    outcome.header = parser.HeaderParsed();
    outcome.audio = parser.HasAudio();
    outcome.video = parser.HasVideo();
    for (const FlvTag& tag : parser.Tags()) outcome.tags.emplace_back(tag.type, tag.timestamp, tag.dataSize);
    const FlvMetadata& metadata = parser.Metadata();
    outcome.width = metadata.width;
    outcome.height = metadata.height;
    outcome.duration = metadata.duration;
    outcome.frameRate = metadata.frameRate;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<size_t> pieces = PieceLengths(data, size);
    TOutcome whole = Parse(data, size, nullptr);
    TOutcome piecewise = Parse(data, size, &pieces);
    FUZZ_CHECK(whole.failed == piecewise.failed);
    if (whole.failed) return 0;
    FUZZ_CHECK(whole.header == piecewise.header);
    FUZZ_CHECK(whole.audio == piecewise.audio && whole.video == piecewise.video);
    FUZZ_CHECK(whole.tags == piecewise.tags);
    // Metadata numbers compare as bits: NaN from the stream must come out as NaN both ways.
    FUZZ_CHECK(SameNumber(whole.width, piecewise.width) && SameNumber(whole.height, piecewise.height));
    FUZZ_CHECK(SameNumber(whole.duration, piecewise.duration) && SameNumber(whole.frameRate, piecewise.frameRate));
    return 0;
}
