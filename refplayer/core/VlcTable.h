#pragma once

#include <cstdint>
#include <vector>

#include "refplayer/core/BitReader.h"
#include "refplayer/core/FormatError.h"

namespace refplayer {

// A variable-length code as one lookup table indexed by the next `maxBits` bits: each entry
// holds the symbol and the length of its code. Bit patterns that start no code decode to a
// FormatError naming the code.
class VlcTable {
public:
    struct Code {
        uint32_t bits;
        uint8_t length;
        int16_t symbol;
    };

    VlcTable(const Code* codes, size_t count, const char* what) : what_(what) {
        for (size_t i = 0; i < count; i++)
            if (codes[i].length > maxBits_) maxBits_ = codes[i].length;
        entries_.assign(size_t(1) << maxBits_, Entry{0, 0});
        for (size_t i = 0; i < count; i++) {
            const Code& code = codes[i];
            if (code.length == 0) continue;
            unsigned spare = maxBits_ - code.length;
            size_t first = size_t(code.bits) << spare;
            for (size_t j = 0; j < (size_t(1) << spare); j++) entries_[first + j] = Entry{code.symbol, code.length};
        }
    }

    int Decode(BitReader& reader) const {
        const Entry& entry = entries_[reader.Peek(maxBits_)];
        if (entry.length == 0) throw FormatError(std::string("invalid ") + what_ + " code");
        reader.Skip(entry.length);
        return entry.symbol;
    }

    // Sum of 2^-length over the codes, for checking that a table is a sound prefix code.
    unsigned MaxBits() const { return maxBits_; }
    size_t CoveredEntries() const {
        size_t covered = 0;
        for (const Entry& entry : entries_) covered += entry.length != 0;
        return covered;
    }

private:
    struct Entry {
        int16_t symbol;
        uint8_t length;
    };
    std::vector<Entry> entries_;
    unsigned maxBits_ = 0;
    const char* what_;
};

} // namespace refplayer
