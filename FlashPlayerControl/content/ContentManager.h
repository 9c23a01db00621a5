#pragma once

// The one place that decides who answers each request of the player module for data: a
// movie the application handed over as a stream, the requesting control's events, the
// library-wide handlers, or the system. URL binds arrive through the library's moniker, file
// opens through the file replacements.

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FlashPlayerControl/content/ContentProvider.h"
#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "framework/ComPtr.h"
#include "framework/CriticalSection.h"
#include "framework/Object.h"
#include "framework/Streams.h"

class TURLContentProviderPair : public TObject {
public:
    TURLContentProviderPair(std::wstring url, IContentProvider* provider)
        : URL(std::move(url)), Provider(provider) {}
    std::wstring URL;
    TComPtr<IContentProvider> Provider;
};

class TFlashPlayerControlIdPair : public TObject {
public:
    TFlashPlayerControlIdPair(int32_t id, IFlashPlayerControlBase* control) : Id(id), Control(control) {}
    int32_t Id;
    TComPtr<IFlashPlayerControlBase> Control;
};

// An open fake file handle: an unnamed event standing for the file, and the stream behind it.
// Shared by the registry and every file call in progress on the handle, so a close on one
// thread frees the stream only after a read, seek or size query on another has finished;
// Lock lets one such call use the stream at a time.
class TFakeHandleStreamPair : public TObject {
public:
    TFakeHandleStreamPair(HANDLE handle, TStream* stream) : Handle(handle), Stream(stream) {}
    ~TFakeHandleStreamPair() override;
    HANDLE Handle;
    TStream* Stream;
    TCriticalSection Lock;
};

class TContentManager : public TObject {
public:
    TContentManager() = default;

    // Fake movie paths and the registries.
    std::wstring NewMoviePath();
    TStream* RegisterMovieStream(IFlashPlayerControlBase* control, bool useLayer, int32_t layer);
    void LoadMovieFromStream(IFlashPlayerControlBase* control, bool useLayer, TStream& source, int32_t layer);
    void RegisterControlId(int32_t id, IFlashPlayerControlBase* control);
    TComPtr<IFlashPlayerControlBase> FindControlById(int32_t id);
    void UnregisterControl(IFlashPlayerControlBase* control);
    TComPtr<IContentProvider> TakeMovieProvider(const std::wstring& url);

    // The URL route: one BindToStorage of the player module.
    HRESULT HandleBindToStorage(IBindCtx* bindContext, IMoniker* toLeft, REFIID iid, IMoniker* context,
                                IBindStatusCallback* callback, const std::wstring& url, void** result);
    bool AskControlForResource(IFlashPlayerControlBase* control, std::wstring relativePath, IStream* data);
    HRESULT CreateMoniker(IMoniker* context, const wchar_t* url, IMoniker** moniker);
    std::wstring GetControlBase(IFlashPlayerControlBase* control);

    // The file route.
    HANDLE CreateFile(LPCWSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                      DWORD disposition, DWORD flags, HANDLE templateFile);
    HANDLE CreateFileAnsi(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
    HANDLE OpenStreamForPath(const std::wstring& name);
    void AddFakeHandle(HANDLE handle, TStream* stream);
    // The entry of a fake handle (kept alive by the caller's reference), or null.
    std::shared_ptr<TFakeHandleStreamPair> FindFakeHandle(HANDLE handle);
    bool CloseFakeHandle(HANDLE handle);

    int32_t MovieCounter() const { return movieCounter_; }

private:
    // A new movie registration; the player is told its path. Returns the provider and, in
    // data, its writing end.
    TComPtr<IContentProvider> RegisterMovie(IFlashPlayerControlBase* control, bool useLayer, int32_t layer,
                                            TComPtr<IStream>& data);

    int32_t movieCounter_ = 1;
    // The player binds URLs and opens files from several threads: the movie and id
    // registries have a lock of their own, as the fake-handle registry has.
    std::recursive_mutex registryLock_;
    std::vector<std::unique_ptr<TURLContentProviderPair>> movies_;
    TCriticalSection fakeHandleLock_;
    std::vector<std::unique_ptr<TFlashPlayerControlIdPair>> controlIds_;
    std::vector<std::shared_ptr<TFakeHandleStreamPair>> fakeHandles_;
};

// The library-wide instance, from library start-up to shut-down.
extern TContentManager* ContentManager;
