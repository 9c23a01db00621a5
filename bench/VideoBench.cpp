// Decoding the 320x240 clip (2 s, 12 frames per second) with the stand-in player's decoders,
// against the clip's own duration: the ratio is the share of real time decoding takes, so
// its inverse is how many times faster than real time it runs.
#include <cstdio>
#include <string>
#include <vector>

#include "Bench.h"
#include "refplayer/core/AdpcmDecoder.h"
#include "refplayer/core/H263Decoder.h"
#include "refplayer/core/VideoImage.h"
#include "refplayer/module/Mp3AcmDecoder.h"

namespace {

struct Tag {
    uint8_t type;
    uint32_t timestamp;
    std::vector<uint8_t> data;
};

std::vector<Tag> ReadTags(const char* name) {
    std::vector<Tag> tags;
    std::string path = std::string(FPC_BENCH_VIDEO_DATA) + "/" + name;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return tags;
    std::vector<uint8_t> flv;
    int c;
    while ((c = std::fgetc(file)) != EOF) flv.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    for (size_t pos = 13; pos + 11 <= flv.size();) {
        size_t size = size_t(flv[pos + 1]) << 16 | size_t(flv[pos + 2]) << 8 | flv[pos + 3];
        if (pos + 11 + size > flv.size()) break;
        uint32_t time = uint32_t(flv[pos + 4]) << 16 | uint32_t(flv[pos + 5]) << 8 | flv[pos + 6];
        tags.push_back(Tag{uint8_t(flv[pos] & 0x1F), time, std::vector<uint8_t>(flv.begin() + long(pos + 11), flv.begin() + long(pos + 11 + size))});
        pos += 11 + size + 4;
    }
    return tags;
}

// Decodes every picture (shown as BGRA) and, when asked, every sound tag of the clip.
size_t DecodeClip(const std::vector<Tag>& tags, bool sound) {
    refplayer::H263Decoder video;
    refplayer::BgraImage picture;
    TMp3AcmDecoder mp3;
    std::vector<int16_t> samples;
    size_t work = 0;
    for (const Tag& tag : tags) {
        if (tag.data.size() < 2) continue;
        if (tag.type == 9 && (tag.data[0] & 0x0F) == 2) {
            video.Decode(tag.data.data() + 1, tag.data.size() - 1);
            refplayer::ConvertYuvToBgra(video.Picture(), picture);
            work += picture.pixels[0];
        } else if (tag.type == 8 && sound) {
            int format = tag.data[0] >> 4, channels = (tag.data[0] & 1) + 1;
            if (format == 1) {
                samples = refplayer::DecodeAdpcm(tag.data.data() + 1, tag.data.size() - 1, channels);
            } else if (format == 2) {
                samples.clear();
                mp3.Decode(tag.data.data() + 1, tag.data.size() - 1, samples);
            }
            work += samples.size();
        }
    }
    return work;
}

}  // namespace

void RunVideoBenchmarks() {
    std::vector<Tag> mp3Clip = ReadTags("clip-320x240-mp3.flv");
    std::vector<Tag> adpcmClip = ReadTags("clip-320x240-adpcm.flv");
    if (mp3Clip.empty() || adpcmClip.empty()) {
        std::printf("video benchmark skipped: clips not found\n");
        return;
    }
    double clipMs = (mp3Clip.back().timestamp + 1000.0 / 12);
    volatile size_t sink = 0;
    struct Case {
        const char* name;
        const std::vector<Tag>* tags;
        bool sound;
    } cases[] = {{"decode 320x240 H.263 video", &mp3Clip, false},
                 {"  with MP3 sound (ACM)", &mp3Clip, true},
                 {"  with ADPCM sound", &adpcmClip, true}};
    for (const Case& c : cases) {
        double ms = BestMilliseconds([&] { sink = sink + DecodeClip(*c.tags, c.sound); }, 1.0);
        Report(c.name, ms, "the clip's duration", clipMs);
        std::printf("%-34s %.1f x real time\n", "", clipMs / ms);
    }
}
