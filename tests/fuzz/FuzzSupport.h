#pragma once

// Helpers shared by the fuzz targets: each target checks a property of its parser (whole and
// piecewise input agree, a written form reads back the same, a model agrees), and reports a
// broken property by aborting, which libFuzzer records as a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define FUZZ_CHECK(condition)                                                         \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

// Cuts [0, size) into pieces whose lengths come from a small generator seeded by the input
// itself, so a finding replays exactly. Pieces include empty ones, single bytes and long runs.
inline std::vector<size_t> PieceLengths(const uint8_t* data, size_t size) {
    uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(size);
    for (size_t i = 0; i < size && i < 16; ++i) state = state * 31u + data[i];
    std::vector<size_t> lengths;
    size_t left = size;
    while (left > 0) {
        state = state * 1664525u + 1013904223u;
        size_t length;
        switch ((state >> 28) & 3) {
            case 0: length = 0; break;
            case 1: length = 1; break;
            case 2: length = (state >> 8) % 17; break;
            default: length = (state >> 4) % 4096; break;
        }
        if (length > left) length = left;
        lengths.push_back(length);
        left -= length;
    }
    return lengths;
}

// Feeds the input to a parser's Append whole (pieces null) or in the given pieces.
template <typename TParser>
void AppendInPieces(TParser& parser, const uint8_t* data, size_t size, const std::vector<size_t>* pieces) {
    if (!pieces) {
        parser.Append(data, size);
        return;
    }
    size_t at = 0;
    for (size_t length : *pieces) {
        parser.Append(data + at, length);
        at += length;
    }
}
