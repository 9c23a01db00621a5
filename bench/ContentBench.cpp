// Delivery of a movie through a content provider to an attached receiver, against copying
// the same bytes once in memory: after attachment each write is copied once into its own
// chunk and handed on, so the ratio stays small and does not grow with the movie.
#include <windows.h>
#include <urlmon.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Bench.h"
#include "FlashPlayerControl/content/ContentProvider.h"
#include "FlashPlayerControl/content/SynchronizedStreams.h"
#include "framework/Streams.h"

namespace {

// A receiver that reads every chunk it is given, as the player does.
class TDrainingReceiver final : public IBindStatusCallback {
public:
    size_t Received = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
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
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD size, FORMATETC*, STGMEDIUM* medium) override {
        static char sink[65536];
        ULONG read = 0;
        while (medium->pstm->Read(sink, sizeof(sink), &read) == S_OK && read > 0) Received += read;
        (void)size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

}  // namespace

void RunContentBenchmarks() {
    const size_t total = 16 << 20, chunk = 64 << 10;
    std::vector<char> movie(total, 'x'), copy(total);

    double baseline = BestMilliseconds([&] {
        for (size_t at = 0; at < total; at += chunk) std::memcpy(copy.data() + at, movie.data() + at, chunk);
    });
    double delivered = BestMilliseconds([&] {
        TDrainingReceiver receiver;
        TComPtr<IStream> stream;
        TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
        provider->SetBindStatusCallback(&receiver);
        std::unique_ptr<TStream> writer(NewSynchronizedStream(stream.Get()));
        stream = nullptr;
        for (size_t at = 0; at < total; at += chunk) writer->WriteBuffer(movie.data() + at, chunk);
    });
    Report("16 MiB movie, 64 KiB writes", delivered, "memcpy of the same bytes", baseline);

    double buffered = BestMilliseconds([&] {
        TDrainingReceiver receiver;
        TComPtr<IStream> stream;
        TComPtr<IContentProvider> provider = TContentProvider::Create(stream);
        for (size_t at = 0; at < total; at += chunk) stream->Write(movie.data() + at, chunk, nullptr);
        provider->SetBindStatusCallback(&receiver);  // replayed as one block
    });
    // Buffering needs fresh memory; so does any stream the application fills.
    double memoryStream = BestMilliseconds([&] {
        TMemoryStream stream;
        for (size_t at = 0; at < total; at += chunk) stream.WriteBuffer(movie.data() + at, chunk);
    });
    Report("16 MiB written before the bind", buffered, "TMemoryStream, same writes", memoryStream);
}
