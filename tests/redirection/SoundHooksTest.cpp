// The sound path: silencing, volume scaling, the wave-format records and the handler slots.
// Wine has no sound device here, so the system's wave-out functions are stood in for.
#include "RedirectionTestSupport.h"

#include <cstring>
#include <thread>
#include <vector>

#include "FlashPlayerControl/loader/SoundHooks.h"
#include "framework/ErrorHandling.h"

namespace {

struct TFakeWaveOut {
    MMRESULT OpenResult = MMSYSERR_NOERROR;
    HWAVEOUT NextHandle = reinterpret_cast<HWAVEOUT>(uintptr_t{0x51});
    std::vector<char> Written;      // the buffer as the device received it
    int Opens = 0, Writes = 0, Closes = 0;
};
TFakeWaveOut fake;

MMRESULT WINAPI FakeOpen(LPHWAVEOUT handle, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD flags) {
    ++fake.Opens;
    if (fake.OpenResult == MMSYSERR_NOERROR && handle && !(flags & WAVE_FORMAT_QUERY))
        *handle = fake.NextHandle;
    return fake.OpenResult;
}
MMRESULT WINAPI FakeWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    ++fake.Writes;
    fake.Written.assign(header->lpData, header->lpData + header->dwBufferLength);
    return 33;  // any value: the replacement must hand it back unchanged
}
MMRESULT WINAPI FakeClose(HWAVEOUT) {
    ++fake.Closes;
    return MMSYSERR_NOERROR;
}

WAVEFORMATEX Format(WORD bitsPerSample) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 22050;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(bitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

class SoundHooks : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        fake = TFakeWaveOut();
        SystemCalls().waveOutOpen = FakeOpen;
        SystemCalls().waveOutWrite = FakeWrite;
        SystemCalls().waveOutClose = FakeClose;
    }

    HWAVEOUT Open(WORD bits) {
        HWAVEOUT handle = nullptr;
        WAVEFORMATEX format = Format(bits);
        EXPECT_EQ(MyWaveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        return handle;
    }

    std::vector<char> Write(HWAVEOUT handle, std::vector<char> data) {
        WAVEHDR header = {};
        header.lpData = data.data();
        header.dwBufferLength = static_cast<DWORD>(data.size());
        EXPECT_EQ(MyWaveOutWrite(handle, &header, sizeof(header)), 33u);
        return fake.Written;
    }

    TSystemCallsScope calls_;
};

std::vector<char> Samples16(std::initializer_list<int16_t> samples) {
    std::vector<char> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.begin(), bytes.size());
    return bytes;
}

}  // namespace

TEST_F(SoundHooks, DisabledSoundsReachTheDeviceAsSilenceAndTheResultPassesThrough) {
    HWAVEOUT handle = Open(16);
    SetSoundsEnabled(false);
    EXPECT_FALSE(GetSoundsEnabled());
    EXPECT_EQ(Write(handle, Samples16({1000, -1000, 7})), std::vector<char>(6, 0));
    // Unsigned 8-bit samples are silent at their midpoint.
    HWAVEOUT eightBit = Open(8);
    EXPECT_EQ(Write(eightBit, {'\x01', '\xFF'}), std::vector<char>(2, '\x80'));
    // A device opened elsewhere has no known format: zero bytes.
    EXPECT_EQ(Write(reinterpret_cast<HWAVEOUT>(uintptr_t{0x99}), {5, 6, 7}), std::vector<char>(3, 0));
}

TEST_F(SoundHooks, FullVolumeLeavesBuffersByteForByte) {
    HWAVEOUT sixteen = Open(16);
    auto samples = Samples16({12345, -32768, 32767, 0});
    EXPECT_EQ(Write(sixteen, samples), samples);
    fake.NextHandle = reinterpret_cast<HWAVEOUT>(uintptr_t{0x52});
    HWAVEOUT eight = Open(8);
    std::vector<char> bytes = {'\x00', '\x7F', '\x80', '\xFF'};
    EXPECT_EQ(Write(eight, bytes), bytes);
}

TEST_F(SoundHooks, VolumeScalesSixteenBitSamplesAndLeavesAnOddTrailingByte) {
    HWAVEOUT handle = Open(16);
    SetSoundVolume(50);
    auto samples = Samples16({1000, -1001, 3});
    samples.push_back('\x7E');
    auto expected = Samples16({500, -500, 1});
    expected.push_back('\x7E');
    EXPECT_EQ(Write(handle, samples), expected);
}

TEST_F(SoundHooks, VolumeScalesEightBitSamplesAroundTheirMidpoint) {
    HWAVEOUT handle = Open(8);
    SetSoundVolume(50);
    // 0 is the most negative sample, 255 the most positive, 128 silence.
    std::vector<char> expected = {'\x40', '\x80', '\xBF'};
    EXPECT_EQ(Write(handle, {'\x00', '\x80', '\xFF'}), expected);
}

TEST_F(SoundHooks, UnknownDeviceIsPassedOnUnscaled) {
    SetSoundVolume(10);
    auto samples = Samples16({1000, 2000});
    EXPECT_EQ(Write(reinterpret_cast<HWAVEOUT>(uintptr_t{0x77}), samples), samples);
}

TEST_F(SoundHooks, FailedOpenRecordsNothingAndCloseForgetsTheFormat) {
    SetSoundVolume(50);
    fake.OpenResult = MMSYSERR_NODRIVER;
    HWAVEOUT handle = nullptr;
    WAVEFORMATEX format = Format(16);
    EXPECT_EQ(MyWaveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    auto samples = Samples16({1000});
    EXPECT_EQ(Write(fake.NextHandle, samples), samples);

    // The same handle value opened as 16-bit, closed, then reopened as 8-bit takes the new format.
    fake.OpenResult = MMSYSERR_NOERROR;
    HWAVEOUT reused = Open(16);
    EXPECT_EQ(MyWaveOutClose(reused), MMSYSERR_NOERROR);
    EXPECT_EQ(Open(8), reused);
    std::vector<char> expected = {'\x40', '\x40'};
    EXPECT_EQ(Write(reused, {'\x00', '\x00'}), expected);
}

TEST_F(SoundHooks, HandlersSeeEveryCallAndTheirErrorsDoNotEscapeOrKeepTheLock) {
    struct Seen { int Opens = 0, Writes = 0, Closes = 0; } seen;
    SetWaveOpenHandler(TWaveOpenHandler([](void* s, LPCWAVEFORMATEX format) {
        ++static_cast<Seen*>(s)->Opens;
        if (format->wBitsPerSample == 8) throw std::runtime_error("handler failed");
    }, &seen));
    SetWaveWriteHandler(TWaveWriteHandler([](void* s, LPWAVEHDR, UINT) { ++static_cast<Seen*>(s)->Writes; }, &seen));
    SetWaveCloseHandler(TWaveCloseHandler([](void* s) {
        ++static_cast<Seen*>(s)->Closes;
        throw std::runtime_error("close handler failed");
    }, &seen));
    static int reported = 0;
    reported = 0;
    SetApplicationErrorHandler([](std::exception_ptr) { ++reported; });

    HWAVEOUT handle = Open(8);  // the handler raises; the device is still opened
    EXPECT_EQ(fake.Opens, 1);
    Write(handle, {1, 2});
    EXPECT_EQ(MyWaveOutClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(fake.Closes, 1);
    EXPECT_EQ(seen.Opens, 1);
    EXPECT_EQ(seen.Writes, 1);
    EXPECT_EQ(seen.Closes, 1);
    EXPECT_EQ(reported, 2);
    SetApplicationErrorHandler(nullptr);

    // The sound lock was released on the way out: another thread can take it.
    bool switched = false;
    std::thread other([&] { SetSoundsEnabled(false); switched = true; });
    other.join();
    EXPECT_TRUE(switched);
    EXPECT_FALSE(GetSoundsEnabled());
}
