// What the player's callback sees of a content provider, in every order of attachment and
// writing.
#include "ContentTestSupport.h"

#include "FlashPlayerControl/content/BlockCopy.h"
#include "FlashPlayerControl/content/ContentProvider.h"

#include <algorithm>

namespace {

using Events = std::vector<std::string>;

const std::string Header = "response 200 HTTP/1.1 200 OK\r\nContent-Length: -1\r\n";

struct TProviderPair {
    TComPtr<IStream> Stream;
    TComPtr<IContentProvider> Provider = TContentProvider::Create(Stream);

    ULONG Write(const std::string& bytes) {
        ULONG written = 99;
        EXPECT_EQ(Stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
        return written;
    }
};

}  // namespace

TEST(ContentProvider, ReceiverFirstThenWritesThenRelease) {
    TRecordingCallback player;
    TProviderPair pair;
    pair.Provider->SetBindStatusCallback(&player);
    EXPECT_TRUE(player.Events.empty());
    pair.Write("abc");
    pair.Write("de");
    pair.Stream = nullptr;  // the writing end is released: the data is complete
    EXPECT_EQ(player.Events, (Events{Header, "start", "data 3 abc", "data 2 de", "stop 0"}));
}

TEST(ContentProvider, EarlyWritesAreReplayedAsOneNotificationAndLaterOnesPassOnAtOnce) {
    TRecordingCallback player;
    TProviderPair pair;
    pair.Write("ab");
    pair.Write("cd");
    pair.Provider->SetBindStatusCallback(&player);
    pair.Write("e");
    pair.Stream = nullptr;
    EXPECT_EQ(player.Events, (Events{Header, "start", "data 4 abcd", "data 1 e", "stop 0"}));
}

TEST(ContentProvider, EverythingBeforeAttachmentIsDeliveredAtAttachment) {
    TRecordingCallback player;
    TProviderPair pair;
    pair.Write("xyz");
    pair.Stream = nullptr;
    EXPECT_EQ(pair.Provider->HasData(), S_OK);
    pair.Provider->SetBindStatusCallback(&player);
    EXPECT_EQ(player.Events, (Events{Header, "start", "data 3 xyz", "stop 0"}));
}

TEST(ContentProvider, NothingWrittenMeansNothingSaid) {
    TRecordingCallback player;
    TProviderPair pair;
    EXPECT_EQ(pair.Provider->HasData(), S_FALSE);
    pair.Provider->SetBindStatusCallback(&player);
    pair.Stream = nullptr;
    EXPECT_TRUE(player.Events.empty());
}

TEST(ContentProvider, ZeroByteWriteCountsAsData) {
    TProviderPair pair;
    pair.Write("");
    EXPECT_EQ(pair.Provider->HasData(), S_OK);
}

TEST(ContentProvider, WithoutHttpNegotiateTheStartComesFirst) {
    TRecordingCallback player(false);
    TProviderPair pair;
    pair.Provider->SetBindStatusCallback(&player);
    pair.Write("q");
    pair.Stream = nullptr;
    EXPECT_EQ(player.Events, (Events{"start", "data 1 q", "stop 0"}));
}

TEST(ContentProvider, ContentLengthGoesIntoTheHeaderAndIsResentWhileAttached) {
    TRecordingCallback player;
    TProviderPair pair;
    ULARGE_INTEGER size;
    size.QuadPart = 1234;
    pair.Stream->SetSize(size);
    pair.Provider->SetBindStatusCallback(&player);
    pair.Write("a");
    size.QuadPart = 5;
    pair.Stream->SetSize(size);
    EXPECT_EQ(player.Events, (Events{"response 200 HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n", "start", "data 1 a",
                                     "response 200 HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"}));
}

TEST(ContentProvider, RefusedChunkReportsNothingWrittenAndLaterWritesAreOfferedAgain) {
    TRecordingCallback player;
    TProviderPair pair;
    pair.Provider->SetBindStatusCallback(&player);
    player.DataAnswer = E_FAIL;
    EXPECT_EQ(pair.Write("no"), 0u);
    player.DataAnswer = S_OK;
    EXPECT_EQ(pair.Write("yes"), 3u);
    EXPECT_EQ(player.Data, "noyes");
}

TEST(ContentProvider, UnsupportedStreamOperationsChangeNothing) {
    TProviderPair pair;
    char buffer[4];
    ULONG read = 7;
    EXPECT_EQ(pair.Stream->Read(buffer, 4, &read), E_NOTIMPL);
    LARGE_INTEGER zero = {};
    EXPECT_EQ(pair.Stream->Seek(zero, STREAM_SEEK_SET, nullptr), E_NOTIMPL);
    IStream* clone = reinterpret_cast<IStream*>(uintptr_t{1});
    EXPECT_EQ(pair.Stream->Clone(&clone), E_NOTIMPL);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(pair.Provider->HasData(), S_FALSE);
}

TEST(ContentProvider, ReleasesTheReceiverWithTheProvider) {
    TRecordingCallback player;
    {
        TProviderPair pair;
        pair.Provider->SetBindStatusCallback(&player);
        EXPECT_GT(player.References(), 1);
    }
    EXPECT_EQ(player.References(), 1);
}

TEST(CopyIntoNewMemory, EverySizeAroundTheSplitCopiesExactlyItsBytes) {
    // Large copies are split between two threads at a page boundary of the target: each size
    // and target alignment must still give exactly the source bytes, and nothing beyond them.
    const size_t split = size_t(8) << 20;
    std::vector<uint8_t> source(split * 2 + 64);
    uint32_t seed = 7;
    for (uint8_t& byte : source) byte = uint8_t((seed = seed * 1103515245 + 12345) >> 24);
    for (size_t count : {size_t(0), size_t(1), split - 1, split, split + 4097, split * 2 + 3}) {
        for (size_t offset : {size_t(0), size_t(13), size_t(4095)}) {
            SCOPED_TRACE(std::to_string(count) + " bytes at offset " + std::to_string(offset));
            std::vector<uint8_t> target(count + offset + 16, 0xEE);
            CopyIntoNewMemory(target.data() + offset, source.data() + 1, count);
            EXPECT_TRUE(std::equal(source.begin() + 1, source.begin() + 1 + std::ptrdiff_t(count),
                                   target.begin() + std::ptrdiff_t(offset)));
            for (size_t i = 0; i < offset; ++i) ASSERT_EQ(target[i], 0xEE);
            for (size_t i = offset + count; i < target.size(); ++i) ASSERT_EQ(target[i], 0xEE);
        }
    }
}
