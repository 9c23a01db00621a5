#include "refplayer/core/H263Decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/H263Tables.h"
#include "refplayer/core/Idct.h"

namespace refplayer {

namespace {

const int kStandardSizes[8][2] = {{0, 0}, {0, 0}, {352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}, {0, 0}};

inline int Median(int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Reconstruction level of a quantised coefficient, limited to the transform's input range.
inline int32_t Dequantise(int level, int quantiser) {
    if (level == 0) return 0;
    int magnitude = (level < 0 ? -level : level) * 2 * quantiser + ((quantiser - 1) | 1);
    magnitude = std::min(magnitude, 2048);
    return level < 0 ? -magnitude : std::min(magnitude, 2047);
}

// Half-sample prediction of a size x size block: dxy bit 0 halves horizontally, bit 1
// vertically, averages rounded up.
void PredictBlock(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int size, int dxy) {
    switch (dxy) {
    case 0:
        for (int y = 0; y < size; y++) std::memcpy(dst + y * dstStride, src + y * srcStride, size_t(size));
        break;
    case 1:
        for (int y = 0; y < size; y++, dst += dstStride, src += srcStride)
            for (int x = 0; x < size; x++) dst[x] = uint8_t((src[x] + src[x + 1] + 1) >> 1);
        break;
    case 2:
        for (int y = 0; y < size; y++, dst += dstStride, src += srcStride)
            for (int x = 0; x < size; x++) dst[x] = uint8_t((src[x] + src[x + srcStride] + 1) >> 1);
        break;
    default:
        for (int y = 0; y < size; y++, dst += dstStride, src += srcStride)
            for (int x = 0; x < size; x++)
                dst[x] = uint8_t((src[x] + src[x + 1] + src[x + srcStride] + src[x + srcStride + 1] + 2) >> 2);
        break;
    }
}

// A block without AC coefficients is flat: its value is the DC term over 8, rounded.
bool OnlyDc(const int32_t* block) {
    for (int i = 1; i < 64; i++)
        if (block[i] != 0) return false;
    return true;
}

void FillBlock(uint8_t* dest, int stride, int value) {
    uint8_t pixel = uint8_t(std::clamp(value, 0, 255));
    for (int y = 0; y < 8; y++) std::memset(dest + y * stride, pixel, 8);
}

void AddDc(uint8_t* dest, int stride, int value) {
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) dest[y * stride + x] = uint8_t(std::clamp(dest[y * stride + x] + value, 0, 255));
}

// Chroma vector (half chroma samples) of a macroblock with four luma vectors, from their sum.
inline int ChromaFromSum(int sum) {
    static const int kRound[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
    return kRound[sum & 15] + ((sum >> 3) & ~1);
}

} // namespace

H263PictureHeader H263Decoder::ReadHeader(const uint8_t* data, size_t size) {
    BitReader bits(data, size, "H.263 picture header");
    return ReadHeaderBits(bits);
}

H263PictureHeader H263Decoder::ReadHeaderBits(BitReader& bits) {
    H263PictureHeader header;
    if (bits.Read(17) != 1) throw FormatError("H.263 picture has no start code");
    header.version = static_cast<int>(bits.Read(5));
    if (header.version > 1) throw FormatError("H.263 picture has unknown version " + std::to_string(header.version));
    header.temporalReference = static_cast<int>(bits.Read(8));
    uint32_t sizeCode = bits.Read(3);
    if (sizeCode == 7) throw FormatError("H.263 picture has an invalid size code");
    header.width = kStandardSizes[sizeCode][0];
    header.height = kStandardSizes[sizeCode][1];
    if (sizeCode <= 1) {
        unsigned fieldBits = sizeCode == 0 ? 8 : 16;
        header.width = static_cast<int>(bits.Read(fieldBits));
        header.height = static_cast<int>(bits.Read(fieldBits));
    }
    if (header.width == 0 || header.height == 0 || header.width > kMaxDimension || header.height > kMaxDimension ||
        long(header.width) * header.height > kMaxPixels)
        throw FormatError("H.263 picture size " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                          " is not supported");
    uint32_t type = bits.Read(2);
    if (type == 3) throw FormatError("H.263 picture has an invalid type");
    header.type = static_cast<H263PictureType>(type);
    header.deblocking = bits.Bit();
    header.quantiser = static_cast<int>(bits.Read(5));
    if (header.quantiser == 0) throw FormatError("H.263 picture has quantiser 0");
    while (bits.Bit()) bits.Skip(8); // extra information the decoder may ignore
    return header;
}

void H263Decoder::Reset() {
    *this = H263Decoder();
}

YuvPlanes H263Decoder::Picture() const {
    YuvPlanes planes;
    if (shown_ == Shown::None) return planes;
    const Frame& shown = shown_ == Shown::Reference ? reference_ : disposable_;
    planes.width = width_;
    planes.height = height_;
    planes.y = shown.y.Origin();
    planes.u = shown.u.Origin();
    planes.v = shown.v.Origin();
    planes.yStride = shown.y.stride;
    planes.chromaStride = shown.u.stride;
    return planes;
}

void H263Decoder::AllocateFrame(Frame& frame) {
    auto plane = [](Plane& p, int width, int height) {
        p.stride = width + 2 * kPad;
        p.rows = height + 2 * kPad;
        p.data.assign(size_t(p.stride) * size_t(p.rows), 0);
    };
    plane(frame.y, mbWidth_ * 16, mbHeight_ * 16);
    plane(frame.u, mbWidth_ * 8, mbHeight_ * 8);
    plane(frame.v, mbWidth_ * 8, mbHeight_ * 8);
}

void H263Decoder::Allocate(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    mbWidth_ = (width + 15) / 16;
    mbHeight_ = (height + 15) / 16;
    AllocateFrame(reference_);
    AllocateFrame(current_);
    AllocateFrame(disposable_);
    vectorStride_ = mbWidth_ * 2 + 2;
    vectors_.assign(size_t(vectorStride_) * size_t(mbHeight_ * 2 + 1), Vector());
    hasReference_ = false;
    shown_ = Shown::None;
}

// Motion may point outside the picture: the border repeats the picture's outermost samples
// (of the visible size, not the macroblock-aligned one) far enough for any vector.
void H263Decoder::ExtendEdges(Frame& frame) const {
    auto extend = [](Plane& p, int width, int height) {
        uint8_t* origin = p.Origin();
        int right = p.stride - kPad - width;
        for (int y = 0; y < height; y++) {
            uint8_t* row = origin + y * p.stride;
            std::memset(row - kPad, row[0], kPad);
            std::memset(row + width, row[width - 1], size_t(right));
        }
        uint8_t* first = origin - kPad;
        for (int y = -kPad; y < 0; y++) std::memcpy(first + y * p.stride, first, size_t(p.stride));
        uint8_t* last = first + (height - 1) * p.stride;
        for (int y = height; y < p.rows - kPad; y++) std::memcpy(first + y * p.stride, last, size_t(p.stride));
    };
    extend(frame.y, width_, height_);
    extend(frame.u, std::max(1, width_ >> 1), std::max(1, height_ >> 1));
    extend(frame.v, std::max(1, width_ >> 1), std::max(1, height_ >> 1));
}

void H263Decoder::Decode(const uint8_t* data, size_t size) {
    H263PictureHeader header = ReadHeader(data, size);
    bool predicted = header.type != H263PictureType::Intra;
    if (predicted && (!hasReference_ || header.width != width_ || header.height != height_))
        throw FormatError("H.263 predicted picture has no picture to refer to");
    if (predicted || (header.width == width_ && header.height == height_)) {
        DecodePicture(data, size);
        return;
    }
    // A new size: the old pictures stay until the new one has decoded whole.
    H263Decoder saved = std::move(*this);
    *this = H263Decoder();
    try {
        DecodePicture(data, size);
    } catch (...) {
        *this = std::move(saved);
        throw;
    }
}

void H263Decoder::DecodePicture(const uint8_t* data, size_t size) {
    BitReader bits(data, size, "H.263 picture");
    H263PictureHeader header = ReadHeaderBits(bits);
    bool predicted = header.type != H263PictureType::Intra;
    if (!predicted) Allocate(header.width, header.height);
    Frame& target = header.type == H263PictureType::DisposablePredicted ? disposable_ : current_;
    header_ = header;
    quantiser_ = header.quantiser;
    std::fill(vectors_.begin(), vectors_.end(), Vector());
    for (int mbY = 0; mbY < mbHeight_; mbY++)
        for (int mbX = 0; mbX < mbWidth_; mbX++) DecodeMacroblock(bits, target, mbX, mbY, predicted);

    if (header.type == H263PictureType::DisposablePredicted) {
        shown_ = Shown::Disposable;
    } else {
        std::swap(reference_, current_);
        ExtendEdges(reference_);
        hasReference_ = true;
        shown_ = Shown::Reference;
    }
}

H263Decoder::Vector& H263Decoder::StoredVector(int mbX, int mbY, int block) {
    int x = mbX * 2 + (block & 1), y = mbY * 2 + (block >> 1);
    return vectors_[size_t((y + 1) * vectorStride_ + x + 1)];
}

// Median of the vectors left, above and above right of the block; the top row of the picture
// has only the left one. Outside the picture and in intra macroblocks vectors are zero.
H263Decoder::Vector H263Decoder::PredictVector(int mbX, int mbY, int block) const {
    static const int kAboveRight[4] = {2, 1, 1, -1};
    int x = mbX * 2 + (block & 1), y = mbY * 2 + (block >> 1);
    size_t index = size_t((y + 1) * vectorStride_ + x + 1);
    const Vector& left = vectors_[index - 1];
    if (mbY == 0 && block < 2) return left;
    const Vector& above = vectors_[index - size_t(vectorStride_)];
    const Vector& aboveRight = vectors_[index - size_t(vectorStride_) + size_t(kAboveRight[block])];
    return Vector{Median(left.x, above.x, aboveRight.x), Median(left.y, above.y, aboveRight.y)};
}

// A vector component: a difference from the predictor, wrapped into -32..31 half samples.
int H263Decoder::DecodeMotion(BitReader& bits, int predictor) {
    int code = H263Tables::Get().motionVector.Decode(bits);
    if (code == 0) return predictor;
    int value = predictor + (bits.Bit() ? -code : code);
    return ((value + 32) & 63) - 32;
}

void H263Decoder::PredictMacroblock(Frame& target, int mbX, int mbY, const Vector vectors[4], bool four) {
    const Plane& refY = reference_.y;
    int x0 = mbX * 16, y0 = mbY * 16;
    uint8_t* dstY = target.y.Origin() + y0 * target.y.stride + x0;
    if (!four) {
        const Vector& v = vectors[0];
        const uint8_t* src = refY.Origin() + (y0 + (v.y >> 1)) * refY.stride + x0 + (v.x >> 1);
        PredictBlock(dstY, target.y.stride, src, refY.stride, 16, (v.x & 1) | (v.y & 1) << 1);
    } else {
        for (int block = 0; block < 4; block++) {
            const Vector& v = vectors[block];
            int bx = x0 + (block & 1) * 8, by = y0 + (block >> 1) * 8;
            const uint8_t* src = refY.Origin() + (by + (v.y >> 1)) * refY.stride + bx + (v.x >> 1);
            PredictBlock(target.y.Origin() + by * target.y.stride + bx, target.y.stride, src, refY.stride, 8,
                         (v.x & 1) | (v.y & 1) << 1);
        }
    }
    // Chroma moves half as far; quarter positions round to the half position.
    int cx, cy, dxy;
    if (!four) {
        cx = vectors[0].x >> 2;
        cy = vectors[0].y >> 2;
        dxy = ((vectors[0].x & 3) != 0) | ((vectors[0].y & 3) != 0) << 1;
    } else {
        int sx = ChromaFromSum(vectors[0].x + vectors[1].x + vectors[2].x + vectors[3].x);
        int sy = ChromaFromSum(vectors[0].y + vectors[1].y + vectors[2].y + vectors[3].y);
        cx = sx >> 1;
        cy = sy >> 1;
        dxy = (sx & 1) | (sy & 1) << 1;
    }
    int c0x = mbX * 8, c0y = mbY * 8;
    const Plane* refs[2] = {&reference_.u, &reference_.v};
    Plane* dsts[2] = {&target.u, &target.v};
    for (int i = 0; i < 2; i++) {
        const uint8_t* src = refs[i]->Origin() + (c0y + cy) * refs[i]->stride + c0x + cx;
        PredictBlock(dsts[i]->Origin() + c0y * dsts[i]->stride + c0x, dsts[i]->stride, src, refs[i]->stride, 8, dxy);
    }
}

void H263Decoder::DecodeMacroblock(BitReader& bits, Frame& target, int mbX, int mbY, bool predictedPicture) {
    const H263Tables& tables = H263Tables::Get();
    bool intra = true, four = false, quantChange = false;
    int chromaPattern = 0;
    if (predictedPicture) {
        int type;
        do {
            if (bits.Bit()) { // not coded: the reference's macroblock, unmoved
                Vector zero[4];
                PredictMacroblock(target, mbX, mbY, zero, false);
                return;
            }
            type = tables.interMcbpc.Decode(bits);
        } while (type == H263Tables::kInterStuffing);
        intra = (type & 4) != 0;
        quantChange = (type & 8) != 0;
        four = (type & 16) != 0;
        chromaPattern = type & 3;
    } else {
        int type;
        do type = tables.intraMcbpc.Decode(bits);
        while (type == H263Tables::kIntraStuffing);
        quantChange = (type & 4) != 0;
        chromaPattern = type & 3;
    }
    int lumaPattern = tables.cbpy.Decode(bits);
    if (!intra) lumaPattern ^= 15;
    if (quantChange) {
        static const int kChange[4] = {-1, -2, 1, 2};
        quantiser_ = std::clamp(quantiser_ + kChange[bits.Read(2)], 1, 31);
    }

    Vector vectors[4];
    if (!intra) {
        for (int block = 0; block < (four ? 4 : 1); block++) {
            Vector predictor = PredictVector(mbX, mbY, block);
            vectors[block].x = DecodeMotion(bits, predictor.x);
            vectors[block].y = DecodeMotion(bits, predictor.y);
            if (four) StoredVector(mbX, mbY, block) = vectors[block];
        }
        if (!four)
            for (int block = 0; block < 4; block++) StoredVector(mbX, mbY, block) = vectors[0];
        PredictMacroblock(target, mbX, mbY, vectors, four);
    }

    int pattern = lumaPattern << 2 | chromaPattern;
    int32_t block[64];
    for (int i = 0; i < 6; i++) {
        bool coded = (pattern & (32 >> i)) != 0;
        if (!intra && !coded) continue;
        DecodeBlock(bits, block, intra, coded);
        uint8_t* dest;
        int stride;
        if (i < 4) {
            stride = target.y.stride;
            dest = target.y.Origin() + (mbY * 16 + (i >> 1) * 8) * stride + mbX * 16 + (i & 1) * 8;
        } else {
            Plane& plane = i == 4 ? target.u : target.v;
            stride = plane.stride;
            dest = plane.Origin() + mbY * 8 * stride + mbX * 8;
        }
        bool flat = OnlyDc(block);
        if (intra) {
            if (flat) FillBlock(dest, stride, (block[0] + 4) >> 3);
            else InverseDctPut(block, dest, stride);
        } else {
            if (flat) AddDc(dest, stride, (block[0] + 4) >> 3);
            else InverseDctAdd(block, dest, stride);
        }
    }
}

void H263Decoder::DecodeBlock(BitReader& bits, int32_t* block, bool intra, bool coded) {
    const H263Tables& tables = H263Tables::Get();
    std::fill(block, block + 64, 0);
    int index = 0;
    if (intra) {
        uint32_t dc = bits.Read(8);
        if (dc == 0 || dc == 128) throw FormatError("H.263 block has an invalid intra DC level");
        block[0] = int32_t(dc == 255 ? 128 : dc) * 8;
        index = 1;
    }
    if (!coded) return;
    for (;;) {
        int symbol = tables.coefficient.Decode(bits);
        int last, run, level;
        if (symbol == H263Tables::kEscape) {
            if (header_.version == 1) {
                bool wide = bits.Bit();
                last = bits.Read(1);
                run = static_cast<int>(bits.Read(6));
                level = bits.ReadSigned(wide ? 11 : 7);
            } else {
                last = bits.Read(1);
                run = static_cast<int>(bits.Read(6));
                level = bits.ReadSigned(8);
                if (level == 0 || level == -128) throw FormatError("H.263 block has an invalid escaped level");
            }
        } else {
            last = H263Tables::CoefficientLast(symbol);
            run = H263Tables::CoefficientRun(symbol);
            level = H263Tables::CoefficientLevel(symbol);
            if (bits.Bit()) level = -level;
        }
        index += run;
        if (index >= 64) throw FormatError("H.263 block has coefficients past its end");
        block[tables.zigzag[index]] = Dequantise(level, quantiser_);
        index++;
        if (last) return;
    }
}

} // namespace refplayer
