#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "refplayer/core/Inflater.h"
#include "refplayer/core/SwfMovie.h"

namespace refplayer {

// Parses a movie as its bytes arrive. After each Append the movie holds every complete tag
// seen so far; a tag that is still partial waits for more data. Malformed or unsupported
// data raises FormatError; the parser is unusable after that.
class SwfParser {
public:
    // Largest uncompressed movie accepted, whatever its header declares.
    static constexpr uint32_t MaxFileLength = 64u << 20;

    SwfParser();
    ~SwfParser();

    void Append(const uint8_t* data, size_t size);

    bool HeaderParsed() const { return headerParsed_; }
    // The End tag or the declared end of the file has been reached (for a compressed movie,
    // also the end of its zlib stream, so that its checksum has been verified).
    bool Complete() const { return complete_; }
    const SwfMovie& Movie() const { return movie_; }
    // Uncompressed file bytes parsed into tags so far (header included), and as a percentage
    // of the declared file length.
    uint32_t BytesLoaded() const;
    int PercentLoaded() const;

private:
    void ReadFileHeader();
    bool ReadMovieHeader();
    void ReadTags();
    void AddTag(uint16_t code, const uint8_t* body, uint32_t length);
    const std::vector<uint8_t>& Body() const;
    size_t BodyEnd() const;

    std::vector<uint8_t> prefix_; // the first 8 bytes: signature, version, file length
    std::vector<uint8_t> plainBody_;
    std::unique_ptr<ZlibInflater> inflater_;
    size_t bodyPos_ = 0; // next unparsed byte of the body (the file after its first 8 bytes)
    bool headerParsed_ = false;
    bool tagsDone_ = false;
    bool complete_ = false;
    SwfMovie movie_;
};

// The frames of a DefineSprite's tag list (the tag body after its id and frame count).
std::vector<SwfFrame> ParseSpriteFrames(const uint8_t* data, size_t size);
// An action list (DoAction body, button actions) as records.
std::vector<SwfAction> ParseActions(const uint8_t* data, size_t size);

// Parses a whole buffer; the movie's completeness is reported, not enforced.
SwfMovie ParseSwf(const uint8_t* data, size_t size, bool* complete = nullptr);

} // namespace refplayer
