#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace refplayer {

enum FlvTagType : uint8_t {
    FlvTagAudio = 8,
    FlvTagVideo = 9,
    FlvTagScript = 18,
};

// Where and when a tag sits in the stream; payloads are not kept.
struct FlvTag {
    uint8_t type = 0;
    uint32_t timestamp = 0; // milliseconds
    uint32_t dataSize = 0;
};

struct FlvMetadata {
    std::optional<double> width, height, duration, frameRate;
};

// Parses a video as its bytes arrive: the header, then each complete tag. Malformed stream
// structure raises FormatError. An onMetaData tag that cannot be read is ignored, since the
// video plays on without it.
class FlvParser {
public:
    void Append(const uint8_t* data, size_t size);
    // Called with each complete tag and its payload (valid during the call only).
    using TagHandler = std::function<void(const FlvTag& tag, const uint8_t* data)>;
    void SetTagHandler(TagHandler handler) { tagHandler_ = std::move(handler); }

    bool HeaderParsed() const { return headerParsed_; }
    uint8_t Version() const { return version_; }
    bool HasAudio() const { return hasAudio_; }
    bool HasVideo() const { return hasVideo_; }
    const std::vector<FlvTag>& Tags() const { return tags_; }
    const FlvMetadata& Metadata() const { return metadata_; }
    // Bytes received that do not yet make up a whole tag.
    size_t PendingBytes() const { return buffer_.size() - pos_; }

    // Metadata first; otherwise the picture size of the first video frame, when its codec
    // is one whose header is simple to read, and the last timestamp seen.
    int Width() const;
    int Height() const;
    double DurationSeconds() const;

private:
    bool ReadHeader();
    bool ReadTag();
    void ReadScriptTag(const uint8_t* data, size_t size);
    void ReadFirstVideoTag(const uint8_t* data, size_t size);

    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
    bool headerParsed_ = false;
    uint8_t version_ = 0;
    bool hasAudio_ = false, hasVideo_ = false;
    std::vector<FlvTag> tags_;
    FlvMetadata metadata_;
    bool videoSeen_ = false;
    std::optional<int> frameWidth_, frameHeight_;
    uint32_t lastTimestamp_ = 0;
    TagHandler tagHandler_;
};

} // namespace refplayer
