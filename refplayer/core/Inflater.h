#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refplayer {

// Decoder for a zlib stream (a deflate stream with the zlib header and adler32 trailer).
// Input may arrive in pieces: Append decodes as far as the data goes and keeps the rest.
// A Huffman block whose input runs out is decoded again from its start on the next Append;
// stored blocks continue where they stopped. The whole output stays in memory, which also
// serves as the back-reference window. Malformed data raises FormatError.
class ZlibInflater {
public:
    explicit ZlibInflater(size_t maxOutput);

    void Append(const uint8_t* data, size_t size);
    // True once the final block and a matching adler32 have been read.
    bool Finished() const { return stage_ == Stage::Done; }
    const std::vector<uint8_t>& Output() const { return output_; }
    // Input bytes after the end of the zlib stream are left unread.
    size_t UnusedInput() const { return Finished() ? input_.size() - bytePos_ : 0; }

    // Inflates a complete stream; a stream that ends early is an error.
    static std::vector<uint8_t> InflateAll(const uint8_t* data, size_t size, size_t maxOutput);

    struct Huffman {
        uint16_t count[16];   // number of codes of each length
        uint16_t symbol[288]; // symbols ordered by code
    };

private:
    enum class Stage { Header, BlockStart, Stored, Checksum, Done };
    struct NeedInput {};

    void Run();
    void ReadHeader();
    void BeginBlock();
    void CopyStored();
    void DecodeHuffmanBlock(const Huffman& lengths, const Huffman& distances);
    void ReadDynamicTables(Huffman& lengths, Huffman& distances);
    void ReadChecksum();

    unsigned Bits(unsigned count);
    unsigned Decode(const Huffman& code);
    void Emit(uint8_t byte);
    void ReserveOutput(size_t count);

    std::vector<uint8_t> input_;
    size_t bytePos_ = 0;
    uint32_t bitBuffer_ = 0;
    unsigned bitCount_ = 0;

    std::vector<uint8_t> output_;
    size_t maxOutput_;
    Stage stage_ = Stage::Header;
    bool lastBlock_ = false;
    size_t storedLeft_ = 0;
    Huffman fixedLengths_, fixedDistances_;
};

} // namespace refplayer
