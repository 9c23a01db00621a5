// A movie handed over as a finished stream: one write from its start whatever kind of stream
// it is, exactly its bytes, in every order of binding, and the application's stream free to
// go when the call returns.
#include "ContentTestSupport.h"

#include <cstring>
#include <memory>

#include "FlashPlayerControl/content/ContentBlock.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/ContentProvider.h"
#include "FlashPlayerControl/content/MemoryPaths.h"

namespace {

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

// A stream that keeps its bytes to itself. Its size may be told wrong; it may refuse to seek.
class TOpaqueStream : public TStream {
public:
    explicit TOpaqueStream(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t ToldSize = -1;      // what Seek from the end answers; -1: the truth
    bool Seekable = true;
    bool FailReads = false;
    int Reads = 0;

    int32_t Read(void* buffer, int32_t count) override {
        ++Reads;
        if (FailReads) throw EReadError("the source cannot be read");
        const int32_t n = std::max(0, std::min(count, int32_t(bytes_.size()) - position_));
        std::memcpy(buffer, bytes_.data() + position_, size_t(n));
        position_ += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        if (!Seekable) return -1;   // as a handle stream over a pipe answers
        const int32_t size = ToldSize >= 0 ? ToldSize : int32_t(bytes_.size());
        position_ = ResolveSeek(position_, size, offset, origin);
        return position_;
    }

private:
    std::string bytes_;
    int32_t position_ = 0;
};

// A player callback that keeps the stream of each notification and reads it only later, as
// a player that pulls its data may.
class TLateReader final : public IBindStatusCallback {
public:
    std::vector<TComPtr<IStream>> Kept;
    std::string ReadAll() {
        std::string data;
        for (auto& stream : Kept) {
            char buffer[4096];
            ULONG read = 0;
            while (stream->Read(buffer, sizeof buffer, &read) == S_OK && read > 0) data.append(buffer, read);
        }
        return data;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
            *object = static_cast<IBindStatusCallback*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
        Kept.emplace_back(medium->pstm);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

class MovieDelivery : public ContentTest {
protected:
    // Loads source as control_'s movie; the player binds inside the call or after it.
    void Load(TStream& source, bool bindFirst, IBindStatusCallback& player) {
        control_.OnMovie = [&](const std::wstring& url) {
            if (url != ResetMovieURL) path_ = url;
            if (bindFirst && url != ResetMovieURL) ContentManager->TakeMovieProvider(url)->SetBindStatusCallback(&player);
        };
        ContentManager->LoadMovieFromStream(&control_, false, source, -1);
        if (!bindFirst) Bind(player);
    }
    void Bind(IBindStatusCallback& player) {
        if (TComPtr<IContentProvider> provider = ContentManager->TakeMovieProvider(path_))
            provider->SetBindStatusCallback(&player);
    }
    void TearDown() override {
        ContentManager->UnregisterControl(&control_);
        ContentTest::TearDown();
    }

    TTestControl control_;
    std::wstring path_;
};

const std::string Header = "response 200 HTTP/1.1 200 OK\r\nContent-Length: -1\r\n";

std::vector<std::string> OneNotification(const std::string& bytes) {
    return {Header, "start", "data " + std::to_string(bytes.size()) + " " + bytes, "stop 0"};
}

}  // namespace

TEST_F(MovieDelivery, MemoryStreamDeliversExactlyItsBytesInOneWriteBoundFirstOrAfter) {
    for (bool bindFirst : {true, false}) {
        SCOPED_TRACE(bindFirst ? "bound first" : "bound after");
        const std::string movie = Pattern(70000);
        TRecordingCallback player;
        auto source = std::make_unique<TMemoryStream>();
        source->WriteBuffer(movie.data(), int32_t(movie.size()));
        source->SetPosition(123);   // where it stands does not matter
        if (bindFirst) {
            Load(*source, true, player);
            EXPECT_EQ(source->Position(), int32_t(movie.size())) << "read to its end";
        } else {
            control_.OnMovie = [&](const std::wstring& url) { path_ = url; };
            ContentManager->LoadMovieFromStream(&control_, false, *source, -1);
            // The application frees and overwrites its stream before the player binds.
            std::memset(source->Memory(), 'X', movie.size());
            source.reset();
            Bind(player);
        }
        EXPECT_EQ(player.Events, OneNotification(movie));
    }
}

TEST_F(MovieDelivery, PlayerKeepingTheChunkStillReadsTheBytesAfterTheStreamIsFreed) {
    const std::string movie = Pattern(5000);
    TLateReader player;
    {
        TMemoryStream source;
        source.WriteBuffer(movie.data(), int32_t(movie.size()));
        Load(source, true, player);
        std::memset(source.Memory(), 'X', movie.size());
    }
    ASSERT_EQ(player.Kept.size(), 1u);
    EXPECT_EQ(player.ReadAll(), movie);
}

TEST_F(MovieDelivery, OpaqueAndNonSeekableStreamsAreReadOnceIntoOneWrite) {
    const std::string movie = Pattern(200000);
    for (bool seekable : {true, false}) {
        for (bool bindFirst : {true, false}) {
            SCOPED_TRACE(std::string(seekable ? "seekable" : "not seekable") + (bindFirst ? ", bound first" : ", bound after"));
            TOpaqueStream source(movie);
            source.Seekable = seekable;
            TRecordingCallback player;
            Load(source, bindFirst, player);
            EXPECT_EQ(player.Events, OneNotification(movie));
            if (seekable) {
                EXPECT_LE(source.Reads, 2) << "one read of the told size and one that finds the end";
            }
        }
    }
}

TEST_F(MovieDelivery, StreamWhoseSizeIsWrongDeliversWhatItHasAndNothingMore) {
    const std::string movie = Pattern(70000);
    for (int32_t told : {100000, 60000, 10, 0}) {
        SCOPED_TRACE("size told " + std::to_string(told));
        TOpaqueStream source(movie);
        source.ToldSize = told;
        TRecordingCallback player;
        Load(source, true, player);
        EXPECT_EQ(player.Data, movie);
        EXPECT_EQ(player.Events.size(), 4u) << "one notification";
    }
}

TEST_F(MovieDelivery, UnreadableSourceRaisesAndLeavesTheMovieEmpty) {
    TOpaqueStream source(Pattern(100));
    source.FailReads = true;
    TRecordingCallback player;
    EXPECT_THROW(Load(source, true, player), EReadError);
    EXPECT_TRUE(player.Events.empty());
}

TEST_F(MovieDelivery, EmptySourceDeliversNothing) {
    for (bool memory : {true, false}) {
        TMemoryStream empty;
        TOpaqueStream opaque("");
        TRecordingCallback player;
        Load(memory ? static_cast<TStream&>(empty) : opaque, true, player);
        EXPECT_TRUE(player.Events.empty());
    }
}

TEST_F(MovieDelivery, RefusedMovieRaisesTheWriteError) {
    for (bool memory : {true, false}) {
        TMemoryStream source;
        source.WriteBuffer("FWS", 3);
        TOpaqueStream opaque("FWS");
        TRecordingCallback player;
        player.DataAnswer = E_FAIL;
        EXPECT_THROW(Load(memory ? static_cast<TStream&>(source) : opaque, true, player), EWriteError);
    }
}

TEST(ContentBlock, HonestStreamIsReadIntoABlockOfItsSize) {
    TOpaqueStream source(Pattern(10000));
    TContentBlock block = ReadStreamIntoBlock(source);
    EXPECT_EQ(block.Size, 10000u);
    EXPECT_EQ(GlobalSize(block.Block()), 10000u) << "no growth";
    const char* bytes = static_cast<const char*>(GlobalLock(block.Block()));
    EXPECT_EQ(std::string(bytes, block.Size), Pattern(10000));
    GlobalUnlock(block.Block());
}

TEST(ContentProviderBlock, BlockBecomesTheBufferOrTheChunkAndJoinsEarlierWrites) {
    auto blockWith = [](const std::string& bytes) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 16);   // larger than the content
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        return block;
    };
    {
        TComPtr<IStream> stream;
        TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
        ULONG written = 9;
        // No block, or one shorter than the count, is refused before it counts as data.
        EXPECT_EQ(provider->WriteBlock(nullptr, 3, &written), E_INVALIDARG);
        EXPECT_EQ(provider->WriteBlock(blockWith("ab"), 100, &written), E_INVALIDARG);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(provider->HasData(), S_FALSE);
        EXPECT_EQ(provider->WriteBlock(blockWith("early"), 5, &written), S_OK);
        EXPECT_EQ(written, 5u);
        stream->Write("+more", 5, nullptr);
        TRecordingCallback player;
        provider->SetBindStatusCallback(&player);
        EXPECT_EQ(provider->WriteBlock(blockWith("late"), 4, &written), S_OK);
        stream = nullptr;
        EXPECT_EQ(player.Events, (std::vector<std::string>{Header, "start", "data 10 early+more", "data 4 late", "stop 0"}));
    }
    {
        TComPtr<IStream> stream;
        TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
        stream->Write("ab", 2, nullptr);
        ULONG written = 0;
        provider->WriteBlock(blockWith("cd"), 2, &written);
        TRecordingCallback player;
        provider->SetBindStatusCallback(&player);
        EXPECT_EQ(player.Data, "abcd");
    }
}
