#include "refplayer/core/FlvParser.h"

#include <algorithm>
#include <string>

#include "refplayer/core/Amf0.h"
#include "refplayer/core/ByteReader.h"
#include "refplayer/core/FormatError.h"

namespace refplayer {

namespace {

constexpr size_t kHeaderSize = 9;
constexpr size_t kTagHeaderSize = 11;
constexpr size_t kPreviousTagSize = 4;
constexpr uint32_t kMaxHeaderSize = 1u << 16;
constexpr uint8_t kCodecSorensonH263 = 2;

// Metadata numbers are doubles of any value; only plausible sizes count.
std::optional<int> Pixels(const std::optional<double>& value) {
    if (value && *value >= 1 && *value <= 65535) return static_cast<int>(*value);
    return std::nullopt;
}

} // namespace

void FlvParser::Append(const uint8_t* data, size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    if (headerParsed_ || ReadHeader())
        while (ReadTag()) {
        }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
}

bool FlvParser::ReadHeader() {
    if (PendingBytes() < kHeaderSize) return false;
    ByteReader reader(buffer_.data() + pos_, PendingBytes(), "FLV header");
    if (reader.Bytes(3) != "FLV") throw FormatError("data is not an FLV video");
    version_ = reader.U8();
    uint8_t flags = reader.U8();
    uint32_t headerSize = reader.U32BE();
    if (headerSize < kHeaderSize || headerSize > kMaxHeaderSize) throw FormatError("FLV header size is invalid");
    // The header is followed by the size of the (absent) tag before the first one.
    if (PendingBytes() < headerSize + kPreviousTagSize) return false;
    hasAudio_ = (flags & 0x04) != 0;
    hasVideo_ = (flags & 0x01) != 0;
    pos_ += headerSize + kPreviousTagSize;
    headerParsed_ = true;
    return true;
}

bool FlvParser::ReadTag() {
    if (PendingBytes() < kTagHeaderSize) return false;
    ByteReader reader(buffer_.data() + pos_, PendingBytes(), "FLV tag");
    FlvTag tag;
    tag.type = reader.U8() & 0x1F; // the upper bits flag filtered (encrypted) content
    if (tag.type != FlvTagAudio && tag.type != FlvTagVideo && tag.type != FlvTagScript)
        throw FormatError("FLV tag has unknown type " + std::to_string(tag.type));
    tag.dataSize = reader.U24BE();
    tag.timestamp = reader.U24BE();
    tag.timestamp |= uint32_t(reader.U8()) << 24; // extended timestamp: the upper 8 bits
    reader.Skip(3);                               // stream id, always 0
    if (reader.Remaining() < size_t(tag.dataSize) + kPreviousTagSize) return false;
    const uint8_t* data = reader.Take(tag.dataSize);
    if (tag.type == FlvTagScript) ReadScriptTag(data, tag.dataSize);
    if (tag.type == FlvTagVideo && !videoSeen_) ReadFirstVideoTag(data, tag.dataSize);
    videoSeen_ = videoSeen_ || tag.type == FlvTagVideo;
    pos_ += kTagHeaderSize + tag.dataSize + kPreviousTagSize;
    lastTimestamp_ = std::max(lastTimestamp_, tag.timestamp);
    tags_.push_back(tag);
    if (tagHandler_) tagHandler_(tag, data);
    return true;
}

void FlvParser::ReadScriptTag(const uint8_t* data, size_t size) {
    try {
        ByteReader reader(data, size, "FLV script tag");
        AmfValue name = ReadAmf0(reader);
        if (name.type != AmfValue::Type::String || name.string != "onMetaData") return;
        AmfValue values = ReadAmf0(reader);
        auto number = [&](const char* key) -> std::optional<double> {
            const AmfValue* value = values.Find(key);
            if (value && value->type == AmfValue::Type::Number) return value->number;
            return std::nullopt;
        };
        metadata_.width = number("width");
        metadata_.height = number("height");
        metadata_.duration = number("duration");
        metadata_.frameRate = number("framerate");
    } catch (const FormatError&) {
        // Unreadable metadata: sizes and duration come from the tags instead.
    }
}

void FlvParser::ReadFirstVideoTag(const uint8_t* data, size_t size) {
    // Sorenson H.263 picture header, most significant bit first after the codec byte:
    // start code (17), version (5), temporal reference (8), size code (3), custom size.
    if (size < 10 || (data[0] & 0x0F) != kCodecSorensonH263) return;
    size_t bit = 8;
    auto bits = [&](unsigned count) {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; i++, bit++) value = value << 1 | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        return value;
    };
    if (bits(17) != 1) return;
    bits(13);
    static const int kSizes[7][2] = {{0, 0}, {0, 0}, {352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
    uint32_t sizeCode = bits(3);
    if (sizeCode == 7) return;
    int width = kSizes[sizeCode][0], height = kSizes[sizeCode][1];
    if (sizeCode <= 1) {
        unsigned fieldBits = sizeCode == 0 ? 8 : 16;
        width = static_cast<int>(bits(fieldBits));
        height = static_cast<int>(bits(fieldBits));
    }
    frameWidth_ = width;
    frameHeight_ = height;
}

int FlvParser::Width() const {
    return Pixels(metadata_.width).value_or(frameWidth_.value_or(0));
}

int FlvParser::Height() const {
    return Pixels(metadata_.height).value_or(frameHeight_.value_or(0));
}

double FlvParser::DurationSeconds() const {
    if (metadata_.duration && *metadata_.duration > 0) return *metadata_.duration;
    return lastTimestamp_ / 1000.0;
}

} // namespace refplayer
