#pragma once

// Reference clips and pictures of the video and sound tests (tests/refplayer/data, made by
// scripts/make-video-reference.sh) and the measures the tests compare with.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace videotest {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadData(const std::string& name) {
    std::string path = std::string(REFPLAYER_TEST_DATA) + "/" + name;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path);
    Bytes bytes;
    uint8_t buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + count);
    std::fclose(file);
    return bytes;
}

struct Tag {
    uint8_t type = 0;
    uint32_t timestamp = 0;
    Bytes data;
};

// The tags of a well-formed FLV file, in order.
inline std::vector<Tag> ReadTags(const Bytes& flv) {
    std::vector<Tag> tags;
    size_t pos = size_t(flv.at(5)) << 24 | size_t(flv.at(6)) << 16 | size_t(flv.at(7)) << 8 | flv.at(8);
    pos += 4;
    while (pos + 11 <= flv.size()) {
        Tag tag;
        tag.type = flv[pos] & 0x1F;
        size_t size = size_t(flv[pos + 1]) << 16 | size_t(flv[pos + 2]) << 8 | flv[pos + 3];
        tag.timestamp = uint32_t(flv[pos + 4]) << 16 | uint32_t(flv[pos + 5]) << 8 | flv[pos + 6] | uint32_t(flv[pos + 7]) << 24;
        if (pos + 11 + size > flv.size()) break;
        tag.data.assign(flv.begin() + long(pos + 11), flv.begin() + long(pos + 11 + size));
        tags.push_back(std::move(tag));
        pos += 11 + size + 4;
    }
    return tags;
}

inline std::vector<Tag> TagsOfType(const std::vector<Tag>& tags, uint8_t type) {
    std::vector<Tag> out;
    for (const Tag& tag : tags)
        if (tag.type == type) out.push_back(tag);
    return out;
}

// Peak signal-to-noise ratio of two 8-bit sample sets in dB (infinite when equal).
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++) {
        double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return INFINITY;
    double mse = sum / double(a.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

inline std::vector<int16_t> ReadSamples(const std::string& name) {
    Bytes bytes = ReadData(name);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); i++) samples[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

} // namespace videotest
