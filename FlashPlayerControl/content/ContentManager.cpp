#include "FlashPlayerControl/content/ContentManager.h"

#include <algorithm>

#include "FlashPlayerControl/content/ContentBlock.h"
#include "FlashPlayerControl/content/MemoryPaths.h"
#include "FlashPlayerControl/content/SynchronizedStreams.h"
#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "FlashPlayerControl/loader/SystemCalls.h"
#include "framework/ErrorHandling.h"
#include "framework/MainThread.h"

TContentManager* ContentManager = nullptr;

namespace {

// Runs application code (an event or a handler); an error it raises is reported through the
// application's error handling and the call counts as not having served the request.
template <typename Call>
bool RunApplicationCode(Call call) {
    try {
        call();
        return true;
    } catch (...) {
        HandleApplicationException();
        return false;
    }
}

TComPtr<IMoniker> SystemMoniker(const std::wstring& url) {
    TComPtr<IMoniker> moniker;
    CreateSystemURLMoniker(nullptr, url, moniker.Put());
    return moniker;
}

std::wstring Widen(LPCSTR text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

}  // namespace

TFakeHandleStreamPair::~TFakeHandleStreamPair() {
    SystemCalls().CloseHandle(Handle);
    delete Stream;
}

std::wstring TContentManager::NewMoviePath() {
    std::lock_guard<std::recursive_mutex> guard(registryLock_);
    return FormatMoviePath(movieCounter_++);
}

TComPtr<IContentProvider> TContentManager::RegisterMovie(IFlashPlayerControlBase* control, bool useLayer,
                                                        int32_t layer, TComPtr<IStream>& data) {
    TComPtr<IContentProvider> provider = TContentProvider::Create(data);
    std::wstring path = NewMoviePath();
    int32_t id = 0;
    std::wstring relative;
    ParseMemoryPath(path, id, relative);
    {
        std::lock_guard<std::recursive_mutex> guard(registryLock_);
        movies_.push_back(std::make_unique<TURLContentProviderPair>(path, provider.Get()));
    }
    RegisterControlId(id, control);
    // The player may bind to the path inside these calls, before any data exists.
    if (useLayer) {
        control->LoadMovieURL(layer, ResetMovieURL);
        control->LoadMovieURL(layer, path);
    } else {
        control->SetMovieURL(ResetMovieURL);
        control->SetMovieURL(path);
    }
    return provider;
}

TStream* TContentManager::RegisterMovieStream(IFlashPlayerControlBase* control, bool useLayer, int32_t layer) {
    TComPtr<IStream> data;
    RegisterMovie(control, useLayer, layer, data);
    return NewSynchronizedStream(data.Get());
}

void TContentManager::LoadMovieFromStream(IFlashPlayerControlBase* control, bool useLayer, TStream& source,
                                          int32_t layer) {
    TComPtr<IStream> data;
    TComPtr<IContentProvider> provider = RegisterMovie(control, useLayer, layer, data);
    // Releasing the writing end ends the content; like every call into the provider it
    // happens on the main thread, also when reading the source fails.
    struct TEndOfContent {
        TComPtr<IStream>& Data;
        ~TEndOfContent() {
            try {
                Synchronize([this] { Data = nullptr; });
            } catch (...) {
                // Nothing is left to tell: the content simply ends.
            }
        }
    } endOfContent{data};

    // One write from the start: the player gets the whole movie in one notification. A stream
    // that keeps its bytes in memory lends them; any other is read once into a block that the
    // provider takes over.
    ULONG written = 0;
    ULONG count = 0;
    if (const void* bytes = source.ContentMemory()) {
        const int32_t size = source.Size();
        count = static_cast<ULONG>(std::max(size, 0));
        if (count) Synchronize([&] { provider->Write(bytes, count, &written); });
        source.Seek(0, soFromEnd);
    } else {
        TContentBlock content = ReadStreamIntoBlock(source);
        count = content.Size;
        if (count) Synchronize([&] { provider->WriteBlock(content.Release(), count, &written); });
    }
    if (written != count) throw EWriteError(ErrorText::StreamWrite);
}

void TContentManager::RegisterControlId(int32_t id, IFlashPlayerControlBase* control) {
    std::lock_guard<std::recursive_mutex> guard(registryLock_);
    controlIds_.push_back(std::make_unique<TFlashPlayerControlIdPair>(id, control));
}

TComPtr<IFlashPlayerControlBase> TContentManager::FindControlById(int32_t id) {
    std::lock_guard<std::recursive_mutex> guard(registryLock_);
    for (const auto& entry : controlIds_)
        if (entry->Id == id) return entry->Control;
    return nullptr;
}

void TContentManager::UnregisterControl(IFlashPlayerControlBase* control) {
    std::vector<std::unique_ptr<TFlashPlayerControlIdPair>> removed;
    {
        std::lock_guard<std::recursive_mutex> guard(registryLock_);
        for (auto it = controlIds_.begin(); it != controlIds_.end();) {
            if ((*it)->Control.Get() == control) {
                removed.push_back(std::move(*it));
                it = controlIds_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // The references are released after the lock is left.
}

TComPtr<IContentProvider> TContentManager::TakeMovieProvider(const std::wstring& url) {
    std::lock_guard<std::recursive_mutex> guard(registryLock_);
    for (auto it = movies_.begin(); it != movies_.end(); ++it) {
        if (SameResourcePath((*it)->URL, url)) {
            TComPtr<IContentProvider> provider = (*it)->Provider;
            movies_.erase(it);
            return provider;
        }
    }
    return nullptr;
}

HRESULT TContentManager::HandleBindToStorage(IBindCtx* bindContext, IMoniker* toLeft, REFIID iid, IMoniker*,
                                             IBindStatusCallback* callback, const std::wstring& url,
                                             void** result) {
    if (result) *result = nullptr;
    bool handled = false;
    if (TComPtr<IContentProvider> movie = TakeMovieProvider(url)) {
        movie->SetBindStatusCallback(callback);
        return MK_S_ASYNCHRONOUS;
    }

    TComPtr<IStream> data;
    TComPtr<IContentProvider> provider = TContentProvider::Create(data);
    provider->SetBindStatusCallback(callback);

    int32_t id = 0;
    std::wstring relativePath;
    if (ParseMemoryPath(url, id, relativePath)) {
        TComPtr<IFlashPlayerControlBase> control = FindControlById(id);
        if (!control) return E_FAIL;
        handled = AskControlForResource(control.Get(), relativePath, data.Get());
        if (!handled && provider->HasData() == S_OK) handled = true;
        if (!handled) {
            TComPtr<IMoniker> moniker = SystemMoniker(GetControlBase(control.Get()) + L"/" + relativePath);
            if (moniker) {
                HRESULT bound = moniker->BindToStorage(bindContext, toLeft, iid, result);
                handled = bound == S_OK || bound == MK_S_ASYNCHRONOUS;
            }
        }
    } else {
        if (GlobalLoadExternalResourceExHandler) {
            std::unique_ptr<TStream> stream(NewSynchronizedStream(data.Get()));
            bool served = false;
            if (RunApplicationCode([&] { GlobalLoadExternalResourceExHandler(url, stream.get(), served); }) && served) {
                stream.release();  // the handler's side frees it when all data is written
                handled = true;
            }
        }
        if (!handled && GlobalLoadExternalResourceHandler) {
            TMemoryStream content;
            if (RunApplicationCode([&] { GlobalLoadExternalResourceHandler(url, &content); }) && content.Size() != 0) {
                handled = true;
                TStreamBasedOnIStream target(data.Get());
                target.Write(content.Memory(), content.Size());
            }
        }
        if (!handled) {
            TComPtr<IMoniker> moniker = SystemMoniker(url);
            if (moniker) handled = moniker->BindToStorage(bindContext, toLeft, iid, result) == S_OK;
        }
    }
    // Releasing the last reference to the writing end tells the player the data is complete.
    return handled ? MK_S_ASYNCHRONOUS : MK_E_NOSTORAGE;
}

bool TContentManager::AskControlForResource(IFlashPlayerControlBase* control, std::wstring relativePath,
                                            IStream* data) {
    if (!relativePath.empty() && relativePath[0] == L'/') relativePath.erase(0, 1);
    std::unique_ptr<TStream> stream(NewSynchronizedStream(data));
    bool handled = false;
    if (RunApplicationCode([&] { control->FireLoadExternalResourceEx(relativePath, stream.get(), handled); }) &&
        handled) {
        stream.release();  // the application writes into it, now or later, and frees it
        return true;
    }
    TMemoryStream content;
    if (!RunApplicationCode([&] { control->FireLoadExternalResource(relativePath, &content); })) return false;
    handled = content.Size() > 0;
    if (handled) stream->Write(content.Memory(), content.Size());
    return handled;
}

HRESULT TContentManager::CreateMoniker(IMoniker* context, const wchar_t* url, IMoniker** moniker) {
    TComPtr<IMoniker> created(new TMyMoniker(context, url ? url : L""));
    *moniker = created.Detach();
    return S_OK;
}

std::wstring TContentManager::GetControlBase(IFlashPlayerControlBase* control) {
    std::wstring base;
    control->GetBaseURL(base);
    if (!base.empty()) return base;
    DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(length + 1, L'\0');
    DWORD written = GetCurrentDirectoryW(length + 1, &directory[0]);
    directory.resize(written <= length ? written : 0);
    return directory;
}

HANDLE TContentManager::CreateFile(LPCWSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (!name) return SystemCalls().CreateFileW(name, access, shareMode, security, disposition, flags, templateFile);
    if (!AcceptableSystemPath(name)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = OpenStreamForPath(name);
    int32_t id = 0;
    std::wstring relativePath;
    if (handle == INVALID_HANDLE_VALUE && ParseMemoryPath(name, id, relativePath)) {
        if (TComPtr<IFlashPlayerControlBase> control = FindControlById(id)) {
            std::wstring path = GetControlBase(control.Get()) + L"\\" + relativePath;
            std::replace(path.begin(), path.end(), L'/', L'\\');
            if (!AcceptableSystemPath(path)) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return INVALID_HANDLE_VALUE;
            }
            handle = SystemCalls().CreateFileW(path.c_str(), access, shareMode, security, disposition, flags,
                                               templateFile);
        }
    }
    if (handle == INVALID_HANDLE_VALUE)
        handle = SystemCalls().CreateFileW(name, access, shareMode, security, disposition, flags, templateFile);
    return handle;
}

HANDLE TContentManager::CreateFileAnsi(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                       DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (!name) return SystemCalls().CreateFileA(name, access, shareMode, security, disposition, flags, templateFile);
    std::wstring wide = Widen(name);
    return CreateFile(wide.c_str(), access, shareMode, security, disposition, flags, templateFile);
}

HANDLE TContentManager::OpenStreamForPath(const std::wstring& name) {
    TStream* stream = nullptr;
    int32_t id = 0;
    std::wstring relativePath;
    // A handler that assigned a stream and then raised has not served the request; the
    // stream it handed over is the library's to free.
    auto failed = [&stream] {
        delete stream;
        return INVALID_HANDLE_VALUE;
    };
    if (ParseMemoryPath(name, id, relativePath)) {
        if (TComPtr<IFlashPlayerControlBase> control = FindControlById(id)) {
            if (!RunApplicationCode([&] { control->FireLoadExternalResourceAsync(relativePath, stream); }))
                return failed();
        }
    }
    if (!stream && GlobalLoadExternalResourceAsyncHandler) {
        if (!RunApplicationCode([&] { GlobalLoadExternalResourceAsyncHandler(name, stream); }))
            return failed();
    }
    if (!stream) return INVALID_HANDLE_VALUE;
    std::unique_ptr<TStream> owned(stream);  // the library's from here on
    if (!RunApplicationCode([&] { owned->SetPosition(0); })) return INVALID_HANDLE_VALUE;
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!handle) return INVALID_HANDLE_VALUE;
    AddFakeHandle(handle, owned.release());
    return handle;
}

void TContentManager::AddFakeHandle(HANDLE handle, TStream* stream) {
    auto entry = std::make_shared<TFakeHandleStreamPair>(handle, stream);
    TCriticalSectionGuard guard(fakeHandleLock_);
    fakeHandles_.push_back(std::move(entry));
}

std::shared_ptr<TFakeHandleStreamPair> TContentManager::FindFakeHandle(HANDLE handle) {
    TCriticalSectionGuard guard(fakeHandleLock_);
    for (const auto& entry : fakeHandles_)
        if (entry->Handle == handle) return entry;
    return nullptr;
}

bool TContentManager::CloseFakeHandle(HANDLE handle) {
    std::shared_ptr<TFakeHandleStreamPair> closed;
    {
        TCriticalSectionGuard guard(fakeHandleLock_);
        auto it = std::find_if(fakeHandles_.begin(), fakeHandles_.end(),
                               [handle](const auto& entry) { return entry->Handle == handle; });
        if (it == fakeHandles_.end()) return false;
        closed = std::move(*it);
        fakeHandles_.erase(it);
    }
    return true;  // the entry closes its event and frees the stream outside the lock
}
