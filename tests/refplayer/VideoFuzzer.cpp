// libFuzzer entry for the video decoders and the stream player. Inputs starting with "FLV"
// go to the stream player in pieces, with ticks, a seek and a pause along the way; other
// inputs are two H.263 pictures (split in the middle) decoded one after the other, the
// second possibly predicted from the first.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "refplayer/core/AdpcmDecoder.h"
#include "refplayer/core/FlvStreamPlayer.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/H263Decoder.h"
#include "refplayer/core/ScreenVideoDecoder.h"

namespace {

class NullSink : public refplayer::AudioSink {
public:
    void PlaySamples(const int16_t* samples, size_t frames, int, int channels) override {
        for (size_t i = 0; i < frames * size_t(channels); i++) sum += samples[i];
    }
    bool PlayMp3(const uint8_t*, size_t, int, int) override { return false; }
    int64_t PlayedMilliseconds() override { return -1; }
    void SetPaused(bool) override {}
    void Flush() override {}
    int64_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 3 && std::memcmp(data, "FLV", 3) == 0) {
        NullSink sink;
        refplayer::FlvStreamPlayer player(&sink);
        player.SetBufferTime(0);
        player.Play();
        size_t piece = 1 + (size > 8 ? data[size - 1] % 200 : 7);
        for (size_t at = 0; at < size; at += piece) {
            player.Append(data + at, size - at < piece ? size - at : piece);
            player.Advance(30);
            if (player.HasPicture()) (void)player.Picture();
        }
        player.EndOfData();
        player.Seek(0.5);
        player.Pause(-1);
        player.Pause(-1);
        for (int i = 0; i < 200 && !player.Finished(); i++) player.Advance(50);
        if (player.HasPicture()) (void)player.Picture();
        return 0;
    }
    size_t half = size / 2;
    refplayer::H263Decoder decoder;
    for (int i = 0; i < 2; i++) {
        try {
            decoder.Decode(i == 0 ? data : data + half, i == 0 ? half : size - half);
        } catch (const refplayer::FormatError&) {
        }
    }
    refplayer::ScreenVideoDecoder screen;
    try {
        screen.Decode(data, size);
    } catch (const refplayer::FormatError&) {
    }
    refplayer::DecodeAdpcm(data, size, 1 + (size & 1));
    return 0;
}
