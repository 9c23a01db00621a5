#include "refplayer/core/SwfParser.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "refplayer/core/ByteReader.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/SwfGeometry.h"
#include "refplayer/core/SwfShape.h"

namespace refplayer {

namespace {

constexpr size_t kFileHeaderSize = 8;

std::vector<SwfAction> ReadActions(const uint8_t* body, uint32_t length) {
    std::vector<SwfAction> actions;
    ByteReader reader(body, length, "DoAction tag");
    while (!reader.AtEnd()) {
        SwfAction action;
        action.code = reader.U8();
        if (action.code == SwfActionEnd) break;
        // Codes from 0x80 up carry a length and a payload.
        if (action.code >= 0x80) {
            uint16_t dataLength = reader.U16LE();
            const uint8_t* data = reader.Take(dataLength);
            action.data.assign(data, data + dataLength);
        }
        if (action.code == SwfActionGetUrl) {
            ByteReader strings(action.data.data(), action.data.size(), "ActionGetURL record");
            SwfGetUrl getUrl;
            getUrl.url = strings.CString();
            getUrl.target = strings.CString();
            action.getUrl = std::move(getUrl);
        }
        actions.push_back(std::move(action));
    }
    return actions;
}

} // namespace

std::optional<SwfFsCommand> ToFsCommand(const SwfGetUrl& getUrl) {
    static const char kPrefix[] = "fscommand:";
    const size_t prefixLength = sizeof kPrefix - 1;
    if (getUrl.url.size() < prefixLength) return std::nullopt;
    for (size_t i = 0; i < prefixLength; i++)
        if (std::tolower(static_cast<unsigned char>(getUrl.url[i])) != kPrefix[i]) return std::nullopt;
    return SwfFsCommand{getUrl.url.substr(prefixLength), getUrl.target};
}

SwfParser::SwfParser() = default;
SwfParser::~SwfParser() = default;

void SwfParser::Append(const uint8_t* data, size_t size) {
    if (complete_) return;
    if (prefix_.size() < kFileHeaderSize) {
        size_t take = std::min(size, kFileHeaderSize - prefix_.size());
        prefix_.insert(prefix_.end(), data, data + take);
        data += take;
        size -= take;
        if (prefix_.size() < kFileHeaderSize) return;
        ReadFileHeader();
    }
    if (inflater_) {
        inflater_->Append(data, size);
    } else if (!tagsDone_) {
        // Bytes past the declared length are not part of the movie.
        size_t take = std::min(size, BodyEnd() - plainBody_.size());
        plainBody_.insert(plainBody_.end(), data, data + take);
    }
    if (!headerParsed_ && !ReadMovieHeader()) return;
    if (!tagsDone_) ReadTags();
    complete_ = tagsDone_ && (!inflater_ || inflater_->Finished());
}

void SwfParser::ReadFileHeader() {
    ByteReader reader(prefix_.data(), prefix_.size(), "SWF file header");
    std::string signature = reader.Bytes(3);
    if (signature == "ZWS") throw FormatError("LZMA-compressed SWF movies (ZWS) are unsupported");
    if (signature != "FWS" && signature != "CWS") throw FormatError("data is not a SWF movie");
    SwfHeader& header = movie_.header;
    header.compressed = signature == "CWS";
    header.version = reader.U8();
    header.fileLength = reader.U32LE();
    if (header.fileLength < kFileHeaderSize) throw FormatError("SWF file length is smaller than its header");
    if (header.fileLength > MaxFileLength) throw FormatError("SWF movie is larger than the player accepts");
    if (header.compressed) inflater_ = std::make_unique<ZlibInflater>(header.fileLength - kFileHeaderSize);
}

const std::vector<uint8_t>& SwfParser::Body() const { return inflater_ ? inflater_->Output() : plainBody_; }

size_t SwfParser::BodyEnd() const {
    // A compressed body that ends early ends the movie there.
    if (inflater_ && inflater_->Finished()) return inflater_->Output().size();
    return movie_.header.fileLength - kFileHeaderSize;
}

bool SwfParser::ReadMovieHeader() {
    const std::vector<uint8_t>& body = Body();
    if (body.empty()) {
        if (BodyEnd() == 0) throw FormatError("SWF movie header is truncated");
        return false;
    }
    unsigned bits = body[0] >> 3;
    size_t size = (5 + 4 * bits + 7) / 8 + 4;
    if (size > BodyEnd()) throw FormatError("SWF movie header is truncated");
    if (body.size() < size) return false;

    SwfBitReader rect(body.data(), size - 4, "SWF movie header");
    SwfHeader& header = movie_.header;
    header.frameSize = ReadRect(rect);
    ByteReader reader(body.data() + size - 4, 4, "SWF movie header");
    header.frameRate = reader.U16LE() / 256.0; // 8.8 fixed point
    header.frameCount = reader.U16LE();
    bodyPos_ = size;
    headerParsed_ = true;
    return true;
}

void SwfParser::ReadTags() {
    const std::vector<uint8_t>& body = Body();
    const size_t end = BodyEnd();
    const size_t available = std::min(body.size(), end);
    // Whether `count` bytes from `pos` are here; bytes that can never come are an error.
    auto have = [&](size_t pos, size_t count) {
        if (count > end - pos) throw FormatError("SWF tag is truncated at the end of the movie");
        return count <= available - pos;
    };
    while (!tagsDone_) {
        if (bodyPos_ == end) {
            tagsDone_ = true;
            break;
        }
        size_t pos = bodyPos_;
        if (!have(pos, 2)) return;
        uint16_t codeAndLength = uint16_t(body[pos] | body[pos + 1] << 8);
        pos += 2;
        uint16_t code = codeAndLength >> 6;
        uint32_t length = codeAndLength & 0x3F;
        if (length == 0x3F) {
            if (!have(pos, 4)) return;
            ByteReader reader(body.data() + pos, 4, "SWF tag header");
            length = reader.U32LE();
            pos += 4;
        }
        if (length > end - pos)
            throw FormatError("SWF tag " + std::to_string(code) + " extends beyond the end of the movie");
        if (!have(pos, length)) return;
        AddTag(code, body.data() + pos, length);
        bodyPos_ = pos + length;
    }
}

void SwfParser::AddTag(uint16_t code, const uint8_t* body, uint32_t length) {
    SwfFrame& frame = movie_.openFrame;
    switch (code) {
    case SwfTagEnd:
        tagsDone_ = true;
        return;
    case SwfTagShowFrame:
        movie_.frames.push_back(std::move(frame));
        frame = SwfFrame();
        return;
    case SwfTagSetBackgroundColor: {
        ByteReader reader(body, length, "SetBackgroundColor tag");
        const uint8_t* rgb = reader.Take(3);
        movie_.backgroundColor = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
        break;
    }
    case SwfTagDoAction: {
        std::vector<SwfAction> actions = ReadActions(body, length);
        for (SwfAction& action : actions) frame.actions.push_back(std::move(action));
        break;
    }
    default: break;
    }
    frame.tags.push_back(SwfTag{code, std::vector<uint8_t>(body, body + length)});
}

uint32_t SwfParser::BytesLoaded() const { return static_cast<uint32_t>(prefix_.size() + bodyPos_); }

int SwfParser::PercentLoaded() const {
    if (complete_) return 100;
    if (movie_.header.fileLength == 0) return 0;
    return static_cast<int>(uint64_t(BytesLoaded()) * 100 / movie_.header.fileLength);
}

std::vector<SwfFrame> ParseSpriteFrames(const uint8_t* data, size_t size) {
    std::vector<SwfFrame> frames;
    SwfFrame frame;
    ByteReader reader(data, size, "DefineSprite tag");
    while (!reader.AtEnd()) {
        uint16_t codeAndLength = reader.U16LE();
        uint16_t code = codeAndLength >> 6;
        uint32_t length = codeAndLength & 0x3F;
        if (length == 0x3F) length = reader.U32LE();
        const uint8_t* body = reader.Take(length);
        if (code == SwfTagEnd) break;
        if (code == SwfTagShowFrame) {
            frames.push_back(std::move(frame));
            frame = SwfFrame();
            continue;
        }
        if (code == SwfTagDoAction) {
            for (SwfAction& action : ReadActions(body, length)) frame.actions.push_back(std::move(action));
        }
        frame.tags.push_back(SwfTag{code, std::vector<uint8_t>(body, body + length)});
    }
    // Tags after the last ShowFrame make one more frame.
    if (!frame.tags.empty()) frames.push_back(std::move(frame));
    return frames;
}

std::vector<SwfAction> ParseActions(const uint8_t* data, size_t size) { return ReadActions(data, static_cast<uint32_t>(size)); }

SwfMovie ParseSwf(const uint8_t* data, size_t size, bool* complete) {
    SwfParser parser;
    parser.Append(data, size);
    if (complete) *complete = parser.Complete();
    return parser.Movie();
}

} // namespace refplayer
