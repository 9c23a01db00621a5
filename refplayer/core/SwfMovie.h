#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace refplayer {

// Tag codes the player looks at; every other tag is kept as it is for later stages.
enum SwfTagCode : uint16_t {
    SwfTagEnd = 0,
    SwfTagShowFrame = 1,
    SwfTagSetBackgroundColor = 9,
    SwfTagDoAction = 12,
};

enum SwfActionCode : uint8_t {
    SwfActionEnd = 0x00,
    SwfActionNextFrame = 0x04,
    SwfActionPreviousFrame = 0x05,
    SwfActionPlay = 0x06,
    SwfActionStop = 0x07,
    SwfActionGotoFrame = 0x81,
    SwfActionGotoLabel = 0x8C,
    SwfActionGetUrl = 0x83,
};

// Stage bounds in twips (1/20 pixel).
struct SwfRect {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct SwfHeader {
    bool compressed = false;
    uint8_t version = 0;
    uint32_t fileLength = 0; // uncompressed length of the whole file, header included
    SwfRect frameSize;
    double frameRate = 0;    // frames per second
    uint16_t frameCount = 0; // as the header declares it

    int Width() const { return frameSize.xMax > frameSize.xMin ? (frameSize.xMax - frameSize.xMin) / 20 : 0; }
    int Height() const { return frameSize.yMax > frameSize.yMin ? (frameSize.yMax - frameSize.yMin) / 20 : 0; }
};

struct SwfTag {
    uint16_t code = 0;
    std::vector<uint8_t> body;
};

// Strings in movies of version 6 and later are UTF-8, in older ones the system code page.
struct SwfGetUrl {
    std::string url;
    std::string target;
};

struct SwfAction {
    uint8_t code = 0;
    std::vector<uint8_t> data;
    std::optional<SwfGetUrl> getUrl; // decoded for ActionGetURL
};

// A getURL to "FSCommand:<command>" is how a movie calls its host; the target is the argument.
struct SwfFsCommand {
    std::string command;
    std::string args;
};
std::optional<SwfFsCommand> ToFsCommand(const SwfGetUrl& getUrl);

// The tags of one frame in file order (ShowFrame excluded) and the actions of its DoAction tags.
struct SwfFrame {
    std::vector<SwfTag> tags;
    std::vector<SwfAction> actions;
};

struct SwfMovie {
    SwfHeader header;
    std::optional<uint32_t> backgroundColor; // 0xRRGGBB
    std::vector<SwfFrame> frames;            // each one closed by a ShowFrame tag
    SwfFrame openFrame;                      // tags read since the last ShowFrame
};

} // namespace refplayer
