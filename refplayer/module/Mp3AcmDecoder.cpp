#include "refplayer/module/Mp3AcmDecoder.h"

#include <cstring>

namespace {

constexpr size_t MaxPendingBytes = 1 << 20;

}  // namespace

bool ReadMp3FrameHeader(const uint8_t* h, int& sampleRate, int& channels, int& frameBytes) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = (h[1] >> 1) & 3;    // 1 layer III
    int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static const int Rates[3] = {44100, 48000, 32000};
    static const int Mpeg1Kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int Mpeg2Kbps[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    sampleRate = Rates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    channels = (h[3] >> 6) == 3 ? 1 : 2;
    int kbps = version == 3 ? Mpeg1Kbps[bitrateIndex] : Mpeg2Kbps[bitrateIndex];
    int padding = (h[2] >> 1) & 1;
    frameBytes = (version == 3 ? 144000 : 72000) * kbps / sampleRate + padding;
    return true;
}

TMp3AcmDecoder::~TMp3AcmDecoder() { Close(); }

void TMp3AcmDecoder::Close() {
    if (stream_) acmStreamClose(stream_, 0);
    stream_ = nullptr;
    failed_ = false;
    pending_.clear();
}

void TMp3AcmDecoder::Flush() {
    // The codec keeps state between frames; a fresh stream starts cleanly at the new place.
    Close();
}

bool TMp3AcmDecoder::Open(const uint8_t* frameHeader) {
    int rate, channels, frameBytes;
    if (!ReadMp3FrameHeader(frameHeader, rate, channels, frameBytes)) return false;
    MPEGLAYER3WAVEFORMAT mp3 = {};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = static_cast<WORD>(channels);
    mp3.wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(frameBytes * rate / (rate >= 32000 ? 1152 : 576));
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3.nBlockSize = static_cast<WORD>(frameBytes);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = static_cast<WORD>(channels);
    pcm.nSamplesPerSec = static_cast<DWORD>(rate);
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(2 * channels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    if (acmStreamOpen(&stream_, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
        stream_ = nullptr;
        return false;
    }
    rate_ = rate;
    channels_ = channels;
    return true;
}

bool TMp3AcmDecoder::Decode(const uint8_t* data, size_t size, std::vector<int16_t>& samples) {
    if (failed_) return false;
    if (pending_.size() + size > MaxPendingBytes) pending_.clear();
    pending_.insert(pending_.end(), data, data + size);
    if (!stream_) {
        // Start at the first frame header.
        size_t start = 0;
        int rate, channels, frameBytes;
        while (start + 4 <= pending_.size() && !ReadMp3FrameHeader(&pending_[start], rate, channels, frameBytes)) start++;
        if (start + 4 > pending_.size()) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
            return true;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
        if (!Open(pending_.data())) {
            failed_ = true;
            pending_.clear();
            return false;
        }
    }
    if (pending_.empty()) return true;
    DWORD outputBytes = 0;
    if (acmStreamSize(stream_, static_cast<DWORD>(pending_.size()), &outputBytes, ACM_STREAMSIZEF_SOURCE) != 0 ||
        outputBytes == 0)
        outputBytes = static_cast<DWORD>(pending_.size() * 48 + 65536);
    output_.resize(outputBytes);
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof header;
    header.pbSrc = pending_.data();
    header.cbSrcLength = static_cast<DWORD>(pending_.size());
    header.pbDst = output_.data();
    header.cbDstLength = outputBytes;
    if (acmStreamPrepareHeader(stream_, &header, 0) != 0) return true;
    MMRESULT converted = acmStreamConvert(stream_, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    DWORD used = header.cbSrcLengthUsed, produced = header.cbDstLengthUsed;
    header.cbSrcLength = static_cast<DWORD>(pending_.size());
    header.cbDstLength = outputBytes;
    acmStreamUnprepareHeader(stream_, &header, 0);
    if (converted != 0) {
        pending_.clear();
        return true;
    }
    size_t first = samples.size();
    samples.resize(first + produced / 2);
    std::memcpy(samples.data() + first, output_.data(), produced / 2 * 2);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(used, pending_.size())));
    return true;
}
