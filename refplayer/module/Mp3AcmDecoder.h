#pragma once

// MP3 sound decoded by the system's audio compression manager (its MPEG layer-3 codec).
// Frames may arrive split anywhere; what a call cannot decode yet waits for the next one.

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class TMp3AcmDecoder {
public:
    TMp3AcmDecoder() = default;
    ~TMp3AcmDecoder();
    TMp3AcmDecoder(const TMp3AcmDecoder&) = delete;
    TMp3AcmDecoder& operator=(const TMp3AcmDecoder&) = delete;

    // Decodes what it can of the data into 16-bit samples (interleaved). The stream opens on
    // the first frame header; false when the system has no codec that takes it (the caller
    // then goes without sound).
    bool Decode(const uint8_t* data, size_t size, std::vector<int16_t>& samples);
    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }
    // Drops data not yet decoded (a seek): the next call starts at a new frame.
    void Flush();
    void Close();

private:
    bool Open(const uint8_t* frameHeader);

    HACMSTREAM stream_ = nullptr;
    bool failed_ = false;
    int rate_ = 0;
    int channels_ = 0;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> output_;
};

// Sample rate and channel count of an MP3 frame header (4 bytes); false when it is none.
bool ReadMp3FrameHeader(const uint8_t* header, int& sampleRate, int& channels, int& frameBytes);
