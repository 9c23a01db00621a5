// A memory stream driven by an arbitrary sequence of operations against a plain model: size,
// position and every byte agree after each step, and invalid requests (negative counts,
// positions and sizes) change nothing and never touch memory.
#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/Streams.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

class TReader {
public:
    TReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return pos_ < size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int32_t Number() {
        // Mostly small, sometimes negative or huge.
        uint8_t kind = Byte();
        int32_t small = int32_t(Byte()) | (int32_t(Byte()) << 8);
        switch (kind & 7) {
            case 0: return -small - 1;
            case 1: return INT32_MAX - small;
            case 2: return INT32_MIN + small;
            default: return small % 3000;
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

constexpr int64_t MaxModelSize = 1 << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReader in(data, size);
    TMemoryStream stream;
    std::vector<uint8_t> model;
    int64_t position = 0;
    std::vector<uint8_t> buffer(70000, 0xCD);
    for (int step = 0; step < 200 && in.More(); ++step) {
        int32_t n = in.Number();
        switch (in.Byte() % 6) {
            case 0: {  // Write
                if (n < 0 || n > 65536 || position + n > MaxModelSize) {
                    if (n < 0) FUZZ_CHECK(stream.Write(buffer.data(), n) == 0);
                    break;
                }
                for (int32_t i = 0; i < n; ++i) buffer[size_t(i)] = uint8_t(step + i);
                FUZZ_CHECK(stream.Write(buffer.data(), n) == n);
                if (n == 0) break;  // nothing written: a position past the end stays a gap
                if (size_t(position + n) > model.size()) model.resize(size_t(position + n), 0);
                std::copy(buffer.begin(), buffer.begin() + n, model.begin() + position);
                position += n;
                break;
            }
            case 1: {  // Read
                if (n > 65536) break;
                int32_t expected = n <= 0 ? 0 : int32_t(std::max<int64_t>(0, std::min<int64_t>(n, int64_t(model.size()) - position)));
                std::fill(buffer.begin(), buffer.begin() + std::max(expected, 0), 0xCD);
                FUZZ_CHECK(stream.Read(buffer.data(), n) == expected);
                if (expected > 0)
                    FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + expected, model.begin() + position));
                position += expected;
                break;
            }
            case 2: {  // Seek from the beginning
                bool valid = n >= 0;
                try {
                    FUZZ_CHECK(stream.Seek(n, soFromBeginning) == n);
                    FUZZ_CHECK(valid);
                    position = n;
                } catch (const EStreamError&) {
                    FUZZ_CHECK(!valid);
                }
                break;
            }
            case 3: {  // Seek from the end or the current position
                uint16_t origin = (n & 1) ? soFromEnd : soFromCurrent;
                int64_t target = (origin == soFromEnd ? int64_t(model.size()) : position) + n;
                try {
                    int32_t result = stream.Seek(n, origin);
                    FUZZ_CHECK(target >= 0 && target <= INT32_MAX && result == target);
                    position = target;
                } catch (const EStreamError&) {
                    FUZZ_CHECK(target < 0 || target > INT32_MAX);
                }
                break;
            }
            case 4: {  // SetSize
                if (n > MaxModelSize) break;
                try {
                    stream.SetSize(n);
                    FUZZ_CHECK(n >= 0);
                    model.resize(size_t(n), 0);
                    position = std::min<int64_t>(position, n);
                } catch (const EStreamError&) {
                    FUZZ_CHECK(n < 0);
                }
                break;
            }
            default:  // ReadBuffer with whatever count: a short or negative one raises
                try {
                    if (n > 65536) break;
                    stream.ReadBuffer(buffer.data(), n);
                    FUZZ_CHECK(n == 0 || (n > 0 && position + n <= int64_t(model.size())));
                    position += n;
                } catch (const EReadError&) {
                    FUZZ_CHECK(n < 0 || (n > 0 && position + n > int64_t(model.size())));
                    position = stream.Position();
                }
                break;
        }
        FUZZ_CHECK(stream.Size() == int32_t(model.size()));
        FUZZ_CHECK(stream.Position() == position);
        FUZZ_CHECK(model.empty() || std::memcmp(stream.Memory(), model.data(), model.size()) == 0);
    }
    return 0;
}
