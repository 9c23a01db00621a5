#pragma once

// Small uncompressed movies and videos built in memory, for the tests of the player's
// playback and of the module.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "refplayer/core/FlvParser.h"
#include "refplayer/core/SwfMovie.h"

namespace refplayer_test {

using Bytes = std::vector<uint8_t>;

// Tags appended in order, then the header in front.
class TestSwf {
public:
    TestSwf& Tag(uint16_t code, const Bytes& body) {
        if (body.size() < 0x3F) {
            Short(uint16_t(code << 6 | body.size()));
        } else {
            Short(uint16_t(code << 6 | 0x3F));
            Short(uint16_t(body.size()));
            Short(uint16_t(body.size() >> 16));
        }
        tags_.insert(tags_.end(), body.begin(), body.end());
        return *this;
    }
    TestSwf& Background(uint32_t rgb) {
        return Tag(refplayer::SwfTagSetBackgroundColor, {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
    }
    // A DoAction tag with one getURL action.
    TestSwf& GetUrl(const std::string& url, const std::string& target) {
        Bytes data(url.begin(), url.end());
        data.push_back(0);
        data.insert(data.end(), target.begin(), target.end());
        data.push_back(0);
        Bytes action = {refplayer::SwfActionGetUrl, uint8_t(data.size()), uint8_t(data.size() >> 8)};
        action.insert(action.end(), data.begin(), data.end());
        action.push_back(refplayer::SwfActionEnd);
        return Tag(refplayer::SwfTagDoAction, action);
    }
    TestSwf& ShowFrame() { return Tag(refplayer::SwfTagShowFrame, {}); }
    TestSwf& End() { return Tag(refplayer::SwfTagEnd, {}); }
    // The tags so far, as a sprite holds them.
    const Bytes& Tags() const { return tags_; }

    // Stage 550 x 400 pixels unless given (twips); frame rate in frames per second.
    Bytes Build(uint16_t frameCount, uint8_t frameRate = 24, int32_t widthTwips = 11000,
                int32_t heightTwips = 8000) const {
        Bytes body = Rect(widthTwips, heightTwips);
        body.insert(body.end(), {0, frameRate, uint8_t(frameCount), uint8_t(frameCount >> 8)});
        body.insert(body.end(), tags_.begin(), tags_.end());
        uint32_t length = uint32_t(8 + body.size());
        // Reserved first: GCC 12 misreads growing an 8-byte vector here as an overflow.
        Bytes file;
        file.reserve(length);
        file.insert(file.end(), {'F', 'W', 'S', 8, uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                                 uint8_t(length >> 24)});
        file.insert(file.end(), body.begin(), body.end());
        return file;
    }

private:
    void Short(uint16_t value) { tags_.insert(tags_.end(), {uint8_t(value), uint8_t(value >> 8)}); }

    // A RECT of 16-bit fields: (0, width, 0, height).
    static Bytes Rect(int32_t width, int32_t height) {
        std::vector<bool> bits;
        auto put = [&](uint32_t value, unsigned count) {
            for (unsigned i = count; i-- > 0;) bits.push_back((value >> i) & 1);
        };
        put(16, 5);
        for (int32_t value : {0, width, 0, height}) put(uint32_t(value), 16);
        Bytes out((bits.size() + 7) / 8);
        for (size_t i = 0; i < bits.size(); i++)
            if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    }

    Bytes tags_;
};

// A video: header, then tags each followed by its back-pointer.
class TestFlv {
public:
    TestFlv() : file_{'F', 'L', 'V', 1, 0x05, 0, 0, 0, 9, 0, 0, 0, 0} {}
    TestFlv& Tag(uint8_t type, uint32_t timestamp, const Bytes& data) {
        uint32_t size = uint32_t(data.size());
        file_.insert(file_.end(), {type, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size),
                                   uint8_t(timestamp >> 16), uint8_t(timestamp >> 8), uint8_t(timestamp),
                                   uint8_t(timestamp >> 24), 0, 0, 0});
        file_.insert(file_.end(), data.begin(), data.end());
        uint32_t previous = size + 11;
        file_.insert(file_.end(), {uint8_t(previous >> 24), uint8_t(previous >> 16), uint8_t(previous >> 8),
                                   uint8_t(previous)});
        return *this;
    }
    // Video tags of a codec whose picture size is not read, at the given times.
    TestFlv& Frames(std::initializer_list<uint32_t> timestamps) {
        for (uint32_t timestamp : timestamps) Tag(refplayer::FlvTagVideo, timestamp, {0x17, 0, 0, 0, 0});
        return *this;
    }
    const Bytes& File() const { return file_; }

private:
    Bytes file_;
};

} // namespace refplayer_test
