#include "refplayer/core/H263Tables.h"

namespace refplayer {

namespace {

using Code = VlcTable::Code;

const Code kIntraMcbpc[] = {
    {1, 1, 0}, {1, 3, 1}, {2, 3, 2}, {3, 3, 3},
    {1, 4, 4}, {1, 6, 5}, {2, 6, 6}, {3, 6, 7},
    {1, 9, H263Tables::kIntraStuffing},
};

const Code kInterMcbpc[] = {
    {1, 1, 0},   {3, 4, 1},   {2, 4, 2},   {5, 6, 3},    // inter
    {3, 5, 4},   {4, 8, 5},   {3, 8, 6},   {3, 7, 7},    // intra
    {3, 3, 8},   {7, 7, 9},   {6, 7, 10},  {5, 9, 11},   // inter, quantiser change
    {4, 6, 12},  {4, 9, 13},  {3, 9, 14},  {2, 9, 15},   // intra, quantiser change
    {2, 3, 16},  {5, 7, 17},  {4, 7, 18},  {5, 8, 19},   // four vectors
    {1, 9, H263Tables::kInterStuffing},
    {2, 11, 24}, {12, 13, 25}, {14, 13, 26}, {15, 13, 27}, // four vectors, quantiser change
};

const Code kCbpy[] = {
    {3, 4, 0},  {5, 5, 1},  {4, 5, 2},  {9, 4, 3},  {3, 5, 4},  {7, 4, 5},  {2, 6, 6},  {11, 4, 7},
    {2, 5, 8},  {3, 6, 9},  {5, 4, 10}, {10, 4, 11}, {4, 4, 12}, {8, 4, 13}, {6, 4, 14}, {3, 2, 15},
};

const uint8_t kMotionVectorCodes[33][2] = {
    {1, 1},   {1, 2},   {1, 3},   {1, 4},   {3, 6},   {5, 7},   {4, 7},   {3, 7},
    {11, 9},  {10, 9},  {9, 9},   {17, 10}, {16, 10}, {15, 10}, {14, 10}, {13, 10},
    {12, 10}, {11, 10}, {10, 10}, {9, 10},  {8, 10},  {7, 10},  {6, 10},  {5, 10},
    {4, 10},  {7, 11},  {6, 11},  {5, 11},  {4, 11},  {3, 11},  {2, 11},  {3, 12},
    {2, 12},
};

// Coefficient codes in order of (last, run, level) below; the escape code follows them.
const uint16_t kCoefficientCodes[102][2] = {
    {0x2, 2},   {0xf, 4},   {0x15, 6},  {0x17, 7},  {0x1f, 8},  {0x25, 9},  {0x24, 9},  {0x21, 10},
    {0x20, 10}, {0x7, 11},  {0x6, 11},  {0x20, 11}, {0x6, 3},   {0x14, 6},  {0x1e, 8},  {0xf, 10},
    {0x21, 11}, {0x50, 12}, {0xe, 4},   {0x1d, 8},  {0xe, 10},  {0x51, 12}, {0xd, 5},   {0x23, 9},
    {0xd, 10},  {0xc, 5},   {0x22, 9},  {0x52, 12}, {0xb, 5},   {0xc, 10},  {0x53, 12}, {0x13, 6},
    {0xb, 10},  {0x54, 12}, {0x12, 6},  {0xa, 10},  {0x11, 6},  {0x9, 10},  {0x10, 6},  {0x8, 10},
    {0x16, 7},  {0x55, 12}, {0x15, 7},  {0x14, 7},  {0x1c, 8},  {0x1b, 8},  {0x21, 9},  {0x20, 9},
    {0x1f, 9},  {0x1e, 9},  {0x1d, 9},  {0x1c, 9},  {0x1b, 9},  {0x1a, 9},  {0x22, 11}, {0x23, 11},
    {0x56, 12}, {0x57, 12}, {0x7, 4},   {0x19, 9},  {0x5, 11},  {0xf, 6},   {0x4, 11},  {0xe, 6},
    {0xd, 6},   {0xc, 6},   {0x13, 7},  {0x12, 7},  {0x11, 7},  {0x10, 7},  {0x1a, 8},  {0x19, 8},
    {0x18, 8},  {0x17, 8},  {0x16, 8},  {0x15, 8},  {0x14, 8},  {0x13, 8},  {0x18, 9},  {0x17, 9},
    {0x16, 9},  {0x15, 9},  {0x14, 9},  {0x13, 9},  {0x12, 9},  {0x11, 9},  {0x7, 10},  {0x6, 10},
    {0x5, 10},  {0x4, 10},  {0x24, 11}, {0x25, 11}, {0x26, 11}, {0x27, 11}, {0x58, 12}, {0x59, 12},
    {0x5a, 12}, {0x5b, 12}, {0x5c, 12}, {0x5d, 12}, {0x5e, 12}, {0x5f, 12},
};
const uint8_t kCoefficientRun[102] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  1,  1,  1,  1,  1,  1,  2,  2,  2,  2,  3,  3,
    3,  4,  4,  4,  5,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10, 11, 12, 13, 14, 15, 16,
    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 0,  0,  0,  1,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
    11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
    35, 36, 37, 38, 39, 40,
};
const uint8_t kCoefficientLevel[102] = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 1, 2, 3, 1,
    2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 2, 3, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
};
constexpr int kFirstLastCoefficient = 58;

std::vector<Code> MotionVectorCodes() {
    std::vector<Code> codes;
    for (int i = 0; i < 33; i++)
        codes.push_back(Code{kMotionVectorCodes[i][0], kMotionVectorCodes[i][1], int16_t(i)});
    return codes;
}

std::vector<Code> CoefficientCodes() {
    std::vector<Code> codes;
    for (int i = 0; i < 102; i++) {
        int last = i >= kFirstLastCoefficient ? 1 : 0;
        codes.push_back(Code{kCoefficientCodes[i][0], uint8_t(kCoefficientCodes[i][1]),
                             int16_t(last << 12 | kCoefficientRun[i] << 6 | kCoefficientLevel[i])});
    }
    codes.push_back(Code{0x3, 7, H263Tables::kEscape});
    return codes;
}

} // namespace

H263Tables::H263Tables()
    : intraMcbpc(kIntraMcbpc, sizeof kIntraMcbpc / sizeof kIntraMcbpc[0], "intra macroblock type"),
      interMcbpc(kInterMcbpc, sizeof kInterMcbpc / sizeof kInterMcbpc[0], "macroblock type"),
      cbpy(kCbpy, sizeof kCbpy / sizeof kCbpy[0], "coded block pattern"),
      motionVector(MotionVectorCodes().data(), 33, "motion vector"),
      coefficient(CoefficientCodes().data(), 103, "transform coefficient") {
    // Zigzag order: walk the anti-diagonals, alternating direction.
    int index = 0;
    for (int sum = 0; sum < 15; sum++) {
        for (int k = 0; k <= sum; k++) {
            int row = sum % 2 == 0 ? sum - k : k;
            int col = sum - row;
            if (row < 8 && col < 8) zigzag[index++] = uint8_t(row * 8 + col);
        }
    }
}

const H263Tables& H263Tables::Get() {
    static const H263Tables tables;
    return tables;
}

} // namespace refplayer
