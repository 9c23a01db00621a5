// The movie path (a movie handed over as a stream, through the content manager to an attached
// receiver) and delivery through a content provider, each against copying the same bytes
// once in memory.
#include <windows.h>
#include <urlmon.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Bench.h"
#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/content/ContentProvider.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/content/SynchronizedStreams.h"
#include "framework/Streams.h"

namespace {

// A control as the content manager sees it: the player binds to the movie's path either at
// once (inside the load call) or when told to, after the call.
class TBindingControl final : public IFlashPlayerControlBase {
public:
    TDrainingReceiver Receiver;
    bool BindAtOnce = true;
    std::wstring Path;

    void Bind() {
        if (TComPtr<IContentProvider> provider = ContentManager->TakeMovieProvider(Path))
            provider->SetBindStatusCallback(&Receiver);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == __uuidof(IFlashPlayerControlBase)) {
            *object = static_cast<IFlashPlayerControlBase*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) override {
        if (url == ResetMovieURL) return S_OK;
        Path = url;
        if (BindAtOnce) Bind();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t, const std::wstring& url) override { return SetMovieURL(url); }
    HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) override {
        base.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring&, TStream*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring&, TStream*, bool&) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring&, TStream*&) override {
        return S_FALSE;
    }
};

// A stream that keeps its bytes to itself: the movie path must read it like any stream.
class TOpaqueStream final : public TStream {
public:
    explicit TOpaqueStream(const std::vector<char>& bytes) : bytes_(bytes) {}
    int32_t Read(void* buffer, int32_t count) override {
        const int32_t n = std::max(0, std::min(count, int32_t(bytes_.size()) - position_));
        std::memcpy(buffer, bytes_.data() + position_, size_t(n));
        position_ += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        position_ = ResolveSeek(position_, int32_t(bytes_.size()), offset, origin);
        return position_;
    }

private:
    const std::vector<char>& bytes_;
    int32_t position_ = 0;
};

double MemcpyOf(const std::vector<char>& bytes, std::vector<char>& touched) {
    return BestMilliseconds([&] { std::memcpy(touched.data(), bytes.data(), bytes.size()); });
}

TMeasurement MoviePath(bool bindAtOnce, bool memorySource) {
    const size_t total = 64 << 20;
    std::vector<char> movie(total, 'm'), touched(total, 0);
    TMemoryStream memory;
    memory.WriteBuffer(movie.data(), int32_t(total));
    TOpaqueStream opaque(movie);
    TStream& source = memorySource ? static_cast<TStream&>(memory) : opaque;
    const double baseline = MemcpyOf(movie, touched);
    const double library = BestMilliseconds([&] {
        TBindingControl control;
        control.BindAtOnce = bindAtOnce;
        ContentManager->LoadMovieFromStream(&control, false, source, -1);
        if (!bindAtOnce) control.Bind();
        ContentManager->UnregisterControl(&control);
        if (control.Receiver.Received != total) std::printf("movie path lost bytes\n");
    });
    return {library, baseline};
}

}  // namespace

void AddContentBenchmarks() {
    AddBenchmark("64 MiB movie, memory stream, bound first", "memcpy of the same bytes",
                 [] { return MoviePath(true, true); });
    AddBenchmark("64 MiB movie, memory stream, bound after", "memcpy of the same bytes",
                 [] { return MoviePath(false, true); });
    AddBenchmark("64 MiB movie, opaque stream, bound first", "memcpy of the same bytes",
                 [] { return MoviePath(true, false); });
    AddBenchmark("64 MiB movie, opaque stream, bound after", "memcpy of the same bytes",
                 [] { return MoviePath(false, false); });

    // Where the movie must outlive the application's stream it is copied once into new memory;
    // this is what that one copy costs.
    AddBenchmark("64 MiB copied into newly allocated memory", "memcpy of the same bytes", [] {
        const size_t total = 64 << 20;
        std::vector<char> movie(total, 'm'), touched(total, 0);
        const double baseline = MemcpyOf(movie, touched);
        const double library = BestMilliseconds([&] {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, total);
            std::memcpy(GlobalLock(block), movie.data(), total);
            GlobalUnlock(block);
            GlobalFree(block);
        });
        return TMeasurement{library, baseline};
    });

    AddBenchmark("16 MiB in 64 KiB writes to a bound provider", "memcpy of the same bytes", [] {
        const size_t total = 16 << 20, chunk = 64 << 10;
        std::vector<char> movie(total, 'x'), copy(total);
        const double baseline = BestMilliseconds([&] {
            for (size_t at = 0; at < total; at += chunk) std::memcpy(copy.data() + at, movie.data() + at, chunk);
        });
        const double library = BestMilliseconds([&] {
            TDrainingReceiver receiver;
            TComPtr<IStream> stream;
            TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
            provider->SetBindStatusCallback(&receiver);
            std::unique_ptr<TStream> writer(NewSynchronizedStream(stream.Get()));
            stream = nullptr;
            for (size_t at = 0; at < total; at += chunk) writer->WriteBuffer(movie.data() + at, chunk);
        });
        return TMeasurement{library, baseline};
    });
    AddBenchmark("16 MiB in 64 KiB writes before the bind", "TMemoryStream, same writes", [] {
        const size_t total = 16 << 20, chunk = 64 << 10;
        std::vector<char> movie(total, 'x');
        const double library = BestMilliseconds([&] {
            TDrainingReceiver receiver;
            TComPtr<IStream> stream;
            TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
            for (size_t at = 0; at < total; at += chunk) stream->Write(movie.data() + at, chunk, nullptr);
            provider->SetBindStatusCallback(&receiver);  // replayed as one block
        });
        // Buffering needs fresh memory; so does any stream the application fills.
        const double baseline = BestMilliseconds([&] {
            TMemoryStream stream;
            for (size_t at = 0; at < total; at += chunk) stream.WriteBuffer(movie.data() + at, chunk);
        });
        return TMeasurement{library, baseline};
    });
}
