#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "refplayer/core/BitReader.h"
#include "refplayer/core/VideoImage.h"

namespace refplayer {

enum class H263PictureType { Intra = 0, Predicted = 1, DisposablePredicted = 2 };

struct H263PictureHeader {
    int version = 0;            // 0: 8-bit escaped levels; 1: 7- or 11-bit escaped levels
    int temporalReference = 0;
    int width = 0, height = 0;
    H263PictureType type = H263PictureType::Intra;
    bool deblocking = false;    // the encoder's hint to smooth block edges; not acted upon
    int quantiser = 0;
};

// Decoder of Sorenson H.263 pictures as FLV carries them (video codec 2). Each call decodes
// one video tag's payload after its codec byte. Intra pictures restart decoding; predicted
// pictures refer to the last intra or predicted picture; disposable predicted pictures are
// shown but never referred to. The deblocking hint is read and ignored (the picture is shown
// as decoded), as other decoders of this format do.
//
// Malformed data raises FormatError; the picture shown stays the last one decoded whole, and
// the next predicted picture still refers to the last good reference.
class H263Decoder {
public:
    static constexpr int kMaxDimension = 4096;
    static constexpr long kMaxPixels = 1L << 22;

    // The header of a picture; raises FormatError for one that cannot be decoded.
    static H263PictureHeader ReadHeader(const uint8_t* data, size_t size);

    void Decode(const uint8_t* data, size_t size);
    void Reset();

    bool HasPicture() const { return shown_ != Shown::None; }
    // The last picture decoded whole; valid until the next Decode or Reset.
    YuvPlanes Picture() const;
    // The header of the last picture whose decoding began.
    const H263PictureHeader& LastHeader() const { return header_; }

private:
    struct Plane {
        std::vector<uint8_t> data;
        int stride = 0;
        int rows = 0;
        uint8_t* Origin() { return data.data() + kPad * stride + kPad; }
        const uint8_t* Origin() const { return data.data() + kPad * stride + kPad; }
    };
    struct Frame {
        Plane y, u, v;
    };
    struct Vector {
        int x = 0, y = 0;
    };
    static constexpr int kPad = 32;

    static H263PictureHeader ReadHeaderBits(BitReader& bits);
    void DecodePicture(const uint8_t* data, size_t size);
    void Allocate(int width, int height);
    void AllocateFrame(Frame& frame);
    void ExtendEdges(Frame& frame) const;

    void DecodeMacroblock(BitReader& bits, Frame& target, int mbX, int mbY, bool predictedPicture);
    void DecodeBlock(BitReader& bits, int32_t* block, bool intra, bool coded);
    Vector PredictVector(int mbX, int mbY, int block) const;
    Vector& StoredVector(int mbX, int mbY, int block);
    int DecodeMotion(BitReader& bits, int predictor);
    void PredictMacroblock(Frame& target, int mbX, int mbY, const Vector vectors[4], bool four);

    H263PictureHeader header_;
    int width_ = 0, height_ = 0, mbWidth_ = 0, mbHeight_ = 0;
    int quantiser_ = 0;
    Frame reference_, current_, disposable_;
    bool hasReference_ = false;
    enum class Shown { None, Reference, Disposable } shown_ = Shown::None;
    std::vector<Vector> vectors_; // per 8x8 luma block, with a zero border
    int vectorStride_ = 0;
};

} // namespace refplayer
