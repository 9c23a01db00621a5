#include "refplayer/module/PlayerObject.h"

#include <olectl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <map>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/TextCodec.h"
#include "refplayer/core/UrlResolver.h"
#include "refplayer/module/FlashInterfaces.h"
#include "refplayer/module/LocalFiles.h"
#include "refplayer/module/ModuleState.h"
#include "refplayer/module/Resources.h"

// The function table of the scripting interface for this module's version (FlashTable.cpp).
const void* const* FlashFunctionTable();

namespace {

constexpr UINT_PTR ClockTimerId = 1;
constexpr UINT VideoTickMilliseconds = 40;
constexpr int DefaultClickLevel = 30;
constexpr SIZE DefaultStageSize = {550, 400};

using TTickCount64 = ULONGLONG(WINAPI*)();

// Looked up by name when first needed: older systems lack it.
ULONGLONG Milliseconds() {
    static TTickCount64 tickCount64 = reinterpret_cast<TTickCount64>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    return tickCount64 ? tickCount64() : GetTickCount();
}

LONG PixelsToHimetric(LONG pixels, int pixelsPerInch) { return MulDiv(pixels, 2540, pixelsPerInch); }

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t length = wcslen(prefix);
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

// "file:///C:/dir/a.flv" as the local path it names.
std::wstring LocalPathOf(const std::wstring& url) {
    if (!StartsWithNoCase(url, L"file:")) return url;
    std::wstring path = url.substr(5);
    while (path.size() > 2 && path[0] == L'/' && path[1] == L'/') path.erase(0, 2);
    if (path.size() > 2 && path[0] == L'/' && path[2] == L':') path.erase(0, 1);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

VARIANT IntegerArgument(long value) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    return argument;
}

VARIANT StringArgument(const std::wstring& text) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return argument;
}

}  // namespace

IOleObject* TPlayerObject::Create() {
    auto* object = new TPlayerObject;
    object->AddRef();
    return static_cast<IOleObject*>(object);
}

TPlayerObject::TPlayerObject()
    : flash_{FlashFunctionTable(), this},
      events_(this, DIID_DShockwaveFlashEvents),
      propertyNotify_(this, IID_IPropertyNotifySink),
      playback_(*this) {
    ObjectCreated();
    playback_.SetImageDecoder(&imageDecoder_);
    renderer_.SetDeviceText(&deviceText_);
    renderer_.SetVideoSource(&playback_);
    HDC screen = GetDC(nullptr);
    int perInchX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    int perInchY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    extent_.cx = PixelsToHimetric(DefaultStageSize.cx, perInchX > 0 ? perInchX : 96);
    extent_.cy = PixelsToHimetric(DefaultStageSize.cy, perInchY > 0 ? perInchY : 96);
    readyState_ = 0;
    clockWindow_ = CreateClockWindow(this);
}

TPlayerObject::~TPlayerObject() {
    // No calls into sites from here: the object is gone for them already.
    if (movieBinding_) movieBinding_->Detach();
    for (TClipLoad& load : clipLoads_)
        if (load.binding) load.binding->Detach();
    for (TStreamLoad& load : streamLoads_) load.binding->Detach();
    if (videoBinding_) videoBinding_->Detach();
    if (stageWindow_) DestroyWindow(stageWindow_);
    if (clockWindow_) DestroyWindow(clockWindow_);
    if (contextMenu_) DestroyMenu(contextMenu_);
    ObjectDestroyed();
}

HRESULT TPlayerObject::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleObject) {
        *object = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleControl) {
        *object = static_cast<IOleControl*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject || iid == IID_IOleInPlaceObjectWindowless) {
        *object = static_cast<IOleInPlaceObjectWindowless*>(this);
    } else if (iid == IID_IOleInPlaceActiveObject) {
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (iid == IID_IViewObject || iid == IID_IViewObject2 || iid == IID_IViewObjectEx) {
        *object = static_cast<IViewObjectEx*>(this);
    } else if (iid == IID_IConnectionPointContainer) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else if (iid == IID_IObjectWithSite) {
        *object = static_cast<IObjectWithSite*>(this);
    } else if (iid == IID_IDispatch || iid == IID_IShockwaveFlash) {
        *object = &flash_;
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TPlayerObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TPlayerObject::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) {
        // References taken and dropped while the object tears down must not free it twice.
        refs_ = 1;
        delete this;
    }
    return static_cast<ULONG>(refs);
}

// --- IOleObject ---------------------------------------------------------------------------

HRESULT TPlayerObject::SetClientSite(IOleClientSite* site) {
    clientSite_ = TComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT TPlayerObject::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = clientSite_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

HRESULT TPlayerObject::Close(DWORD) {
    TComPtr<IOleObject> self(this);
    InPlaceDeactivate();
    return S_OK;
}

HRESULT TPlayerObject::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT TPlayerObject::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT TPlayerObject::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    TComPtr<IOleObject> self(this);
    switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
        return InPlaceActivate(site, parent, position, false);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(site, parent, position, true);
    case OLEIVERB_HIDE:
        if (stageWindow_) ShowWindow(stageWindow_, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT TPlayerObject::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs) *verbs = nullptr;
    return OLEOBJ_E_NOVERBS;
}

HRESULT TPlayerObject::GetUserClassID(CLSID* classId) {
    if (!classId) return E_POINTER;
    *classId = CLSID_RefPlayer;
    return S_OK;
}

HRESULT TPlayerObject::GetUserType(DWORD, LPOLESTR* userType) {
    if (userType) *userType = nullptr;
    return OLE_S_USEREG;
}

HRESULT TPlayerObject::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

HRESULT TPlayerObject::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

HRESULT TPlayerObject::Advise(IAdviseSink*, DWORD* connection) {
    if (connection) *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TPlayerObject::EnumAdvise(IEnumSTATDATA** advise) {
    if (advise) *advise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TPlayerObject::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                               OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST
                                         : 0;
    return S_OK;
}

// --- IOleControl --------------------------------------------------------------------------

HRESULT TPlayerObject::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    // cb is the caller's: containers disagree on the record's size.
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT TPlayerObject::FreezeEvents(BOOL freeze) {
    eventsFrozen_ += freeze ? 1 : -1;
    if (eventsFrozen_ < 0) eventsFrozen_ = 0;
    return S_OK;
}

// --- Activation ---------------------------------------------------------------------------

HRESULT TPlayerObject::InPlaceActivate(IOleClientSite* site, HWND parent, LPCRECT position, bool uiActivate) {
    if (!inPlaceActive_) {
        IOleClientSite* activeSite = site ? site : clientSite_.Get();
        if (!activeSite) return E_UNEXPECTED;
        TComPtr<IOleInPlaceSite> inPlaceSite;
        activeSite->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.PutVoid());
        TComPtr<IOleInPlaceSiteWindowless> windowlessSite;
        if (_wcsicmp(properties_.wmode.c_str(), L"Transparent") == 0)
            activeSite->QueryInterface(IID_IOleInPlaceSiteWindowless, windowlessSite.PutVoid());
        if (windowlessSite && !inPlaceSite) inPlaceSite = TComPtr<IOleInPlaceSite>(windowlessSite.Get());
        if (!inPlaceSite) return E_NOINTERFACE;
        if (inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
        windowless_ = windowlessSite && windowlessSite->CanWindowlessActivate() == S_OK;
        inPlaceSite_ = inPlaceSite;
        windowlessSite_ = windowless_ ? windowlessSite : nullptr;
        inPlaceActive_ = true;

        BOOL noRedraw = FALSE;
        if (windowless_) {
            windowlessSite_->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
        } else if (auto siteEx = inPlaceSite_.As<IOleInPlaceSiteEx>()) {
            siteEx->OnInPlaceActivateEx(&noRedraw, 0);
        } else {
            inPlaceSite_->OnInPlaceActivate();
        }
        if (!inPlaceSite_) return E_FAIL;  // the site deactivated us while activating

        RECT sitePosition = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof frameInfo;
        inPlaceSite_->GetWindowContext(frame_.Put(), uiWindow_.Put(), &sitePosition, &clip, &frameInfo);
        position_ = position ? *position : sitePosition;

        // The hand cursor and the context menu come from this module's own resources.
        if (!handCursor_) handCursor_ = LoadCursorA(ModuleInstance(), MAKEINTRESOURCEA(REFPLAYER_HAND_CURSOR));
        if (!contextMenu_) contextMenu_ = LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(REFPLAYER_CONTEXT_MENU));

        if (!windowless_) {
            HWND parentWindow = parent;
            if (!parentWindow) inPlaceSite_->GetWindow(&parentWindow);
            stageWindow_ = CreateStageWindow(this, parentWindow, position_);
            if (!stageWindow_) {
                InPlaceDeactivate();
                return E_FAIL;
            }
        }
        if (clientSite_) clientSite_->ShowObject();
        Invalidate();
    } else if (position) {
        SetObjectRects(position, position);
    }
    if (stageWindow_ && !IsWindowVisible(stageWindow_)) ShowWindow(stageWindow_, SW_SHOWNA);
    return uiActivate ? UIActivate() : S_OK;
}

HRESULT TPlayerObject::UIActivate() {
    if (!inPlaceActive_) return E_UNEXPECTED;
    if (uiActive_) return S_OK;
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (stageWindow_) SetFocus(stageWindow_);
    if (frame_) frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"Player");
    if (uiWindow_) uiWindow_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"Player");
    return S_OK;
}

HRESULT TPlayerObject::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT TPlayerObject::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    TComPtr<IOleObject> self(this);
    UIDeactivate();
    inPlaceActive_ = false;
    if (stageWindow_) {
        HWND window = std::exchange(stageWindow_, nullptr);
        DestroyWindow(window);
    }
    TComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    TComPtr<IOleInPlaceSiteWindowless> windowlessSite = std::move(windowlessSite_);
    if (windowlessSite)
        windowlessSite->OnInPlaceDeactivateEx(TRUE);
    else if (site)
        site->OnInPlaceDeactivate();
    frame_ = nullptr;
    uiWindow_ = nullptr;
    windowless_ = false;
    return S_OK;
}

HRESULT TPlayerObject::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = stageWindow_;
    return stageWindow_ ? S_OK : E_FAIL;
}

HRESULT TPlayerObject::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    position_ = *position;
    if (stageWindow_)
        MoveWindow(stageWindow_, position_.left, position_.top, position_.right - position_.left,
                   position_.bottom - position_.top, TRUE);
    else
        Invalidate();
    return S_OK;
}

HRESULT TPlayerObject::OnWindowMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    if (!windowless_) return E_UNEXPECTED;
    if (result) *result = 0;
    POINT point = {GET_X_LPARAM(lParam) - position_.left, GET_Y_LPARAM(lParam) - position_.top};
    HWND container = nullptr;
    if (windowlessSite_) windowlessSite_->GetWindow(&container);
    switch (message) {
    case WM_SETCURSOR: {
        POINT cursor;
        GetCursorPos(&cursor);
        if (container) ScreenToClient(container, &cursor);
        POINT stagePoint = {cursor.x - position_.left, cursor.y - position_.top};
        if (!HitsContent(stagePoint)) return S_FALSE;
        if (!LiveButton(hoverButton_)) return S_FALSE;
        SetCursor(HandCursor());
        if (result) *result = TRUE;
        return S_OK;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        TComPtr<IOleObject> self(this);
        bool onButton = MouseInput(message, point);
        return onButton || HitsContent(point) ? S_OK : S_FALSE;
    }
    case WM_RBUTTONDOWN:
        if (!HitsContent(point)) return S_FALSE;
        rightPressed_ = true;
        return S_OK;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: {
        if (!OpensContextMenu(message, lParam)) return S_FALSE;
        POINT screen = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (message == WM_RBUTTONUP && container) ClientToScreen(container, &screen);
        if (lParam == -1) {
            screen = {position_.left, position_.top};
            if (container) ClientToScreen(container, &screen);
        }
        ShowContextMenu(screen, container);
        return S_OK;
    }
    default:
        return S_FALSE;
    }
}

HRESULT TPlayerObject::GetDropTarget(IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

HRESULT TPlayerObject::TranslateAccelerator(LPMSG message) {
    if (!message || message->message != WM_KEYDOWN) return S_FALSE;
    if (message->wParam == VK_RETURN) {
        SetPlaying(!Playing());
        return S_OK;
    }
    if (message->wParam == VK_HOME) {
        Rewind();
        return S_OK;
    }
    return S_FALSE;
}

// --- IViewObjectEx ------------------------------------------------------------------------

HRESULT TPlayerObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                            BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc) return E_INVALIDARG;
    RECT area;
    if (bounds) {
        area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    } else if (windowless_) {
        area = position_;  // a windowless object in place draws at its own rectangle
    } else {
        return E_INVALIDARG;
    }
    // The transparent stage leaves everything but the movie's content as it was.
    if (windowless_)
        Compose(dc, area);
    else
        PaintWindow(dc, area);
    if (videoActive_) video_.Draw(dc, area);
    return S_OK;
}

HRESULT TPlayerObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

HRESULT TPlayerObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    viewSink_ = TComPtr<IAdviseSink>(sink);
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
}

HRESULT TPlayerObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) {
        *sink = viewSink_.Get();
        if (*sink) (*sink)->AddRef();
    }
    return S_OK;
}

HRESULT TPlayerObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

HRESULT TPlayerObject::GetViewStatus(DWORD* status) {
    if (!status) return E_POINTER;
    *status = windowless_ ? 0 : VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

HRESULT TPlayerObject::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* hitResult) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!bounds || !hitResult) return E_POINTER;
    POINT point = {location.x - bounds->left, location.y - bounds->top};
    const refplayer::RasterSurface& surface =
        RenderFrame(bounds->right - bounds->left, bounds->bottom - bounds->top, !windowless_);
    bool inside = point.x >= 0 && point.y >= 0 && point.x < surface.width && point.y < surface.height;
    *hitResult = inside && (surface.At(point.x, point.y) >> 24) != 0 ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

HRESULT TPlayerObject::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* hitResult) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!bounds || !location || !hitResult) return E_POINTER;
    const refplayer::RasterSurface& surface =
        RenderFrame(bounds->right - bounds->left, bounds->bottom - bounds->top, !windowless_);
    RECT part = {std::max<LONG>(0, location->left - bounds->left), std::max<LONG>(0, location->top - bounds->top),
                 std::min<LONG>(surface.width, location->right - bounds->left),
                 std::min<LONG>(surface.height, location->bottom - bounds->top)};
    bool hit = false;
    for (LONG y = part.top; y < part.bottom && !hit; y++)
        for (LONG x = part.left; x < part.right && !hit; x++) hit = (surface.At(x, y) >> 24) != 0;
    *hitResult = hit ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

// --- Connection points and site -------------------------------------------------------------

HRESULT TPlayerObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT TPlayerObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid == events_.Iid())
        *point = &events_;
    else if (iid == propertyNotify_.Iid())
        *point = &propertyNotify_;
    else
        return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
}

HRESULT TPlayerObject::SetSite(IUnknown* site) {
    site_ = TComPtr<IUnknown>(site);
    return S_OK;
}

HRESULT TPlayerObject::GetSite(REFIID iid, void** site) {
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(iid, site);
}

// --- Events ---------------------------------------------------------------------------------

void TPlayerObject::FireEvent(DISPID dispid, VARIANT* arguments, UINT count) {
    if (eventsFrozen_ == 0) {
        DISPPARAMS parameters = {arguments, nullptr, count, 0};
        for (const TComPtr<IUnknown>& sink : events_.Sinks()) {
            if (auto dispatch = sink.As<IDispatch>())
                dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                                 nullptr, nullptr);
        }
    }
    for (UINT i = 0; i < count; i++) VariantClear(&arguments[i]);
}

void TPlayerObject::NotifyPropertyChanged(DISPID dispid) {
    for (const TComPtr<IUnknown>& sink : propertyNotify_.Sinks())
        if (auto notify = sink.As<IPropertyNotifySink>()) notify->OnChanged(dispid);
}

void TPlayerObject::FsCommand(const std::wstring& command, const std::wstring& args) {
    // Argument 0 is the last parameter: the arguments, then the command.
    VARIANT arguments[2] = {StringArgument(args), StringArgument(command)};
    FireEvent(DispidFSCommand, arguments, 2);
}

std::wstring TPlayerObject::FlashCall(const std::wstring& request) {
    returnValue_.clear();
    VARIANT arguments[1] = {StringArgument(request)};
    FireEvent(DispidFlashCall, arguments, 1);
    return std::exchange(returnValue_, std::wstring());
}

void TPlayerObject::LoadClip(refplayer::DisplayObject* clip, const std::wstring& url) {
    // Started later: a load may replace the movie whose script is running now.
    if (clipLoads_.size() >= MaxClipLoads) return;
    clipLoads_.push_back(TClipLoad{clip, 0, url, nullptr, {}});
    if (clockWindow_) PostMessageW(clockWindow_, WM_REFPLAYER_CLIPLOADS, 0, 0);
}

void TPlayerObject::OpenUrl(const std::wstring& url, const std::wstring&) {
    // Every window target opens the system's handler: there is no browser frame to aim at.
    HWND owner = stageWindow_;
    if (!owner && windowlessSite_) windowlessSite_->GetWindow(&owner);
    urlOpener_.Open(owner, refplayer::ResolveUrl(movieUrl_, url));
}

void TPlayerObject::LoadLevel(int level, const std::wstring& url) {
    if (clipLoads_.size() >= MaxClipLoads) return;
    clipLoads_.push_back(TClipLoad{nullptr, level, url, nullptr, {}});
    if (clockWindow_) PostMessageW(clockWindow_, WM_REFPLAYER_CLIPLOADS, 0, 0);
}

bool TPlayerObject::OpenStream(uint64_t transfer, const std::wstring& url) {
    // The movie's own routes: a URL through the moniker, anything else as a local file.
    std::wstring resolved = refplayer::ResolveUrl(movieUrl_, url);
    if (refplayer::HasUrlScheme(resolved) && !StartsWithNoCase(resolved, L"file:")) {
        TComPtr<TMovieBinding> binding(new TMovieBinding(this, clockWindow_));
        streamLoads_.push_back(TStreamLoad{transfer, binding});
        binding->Bind(resolved);
        UpdateClock();
        return true;
    }
    std::vector<uint8_t> data;
    if (!ReadLocalFile(LocalPathOf(resolved), data)) return false;
    if (playback_.StreamData(transfer, data.data(), data.size())) playback_.StreamEnd(transfer, false);
    UpdateClock();
    return true;
}

std::unique_ptr<refplayer::AudioSink> TPlayerObject::CreateAudioSink() { return std::make_unique<TWaveOutSink>(); }

void TPlayerObject::ReceiveStreamData(size_t index, TBindingNews& news) {
    uint64_t transfer = streamLoads_[index].transfer;
    bool wanted = playback_.StreamData(transfer, news.data.data(), news.data.size());
    // Scripts ran meanwhile: the list may have changed, so the load is found again.
    auto it = std::find_if(streamLoads_.begin(), streamLoads_.end(),
                           [&](const TStreamLoad& load) { return load.transfer == transfer; });
    if (it == streamLoads_.end()) return;
    if (!wanted || news.finished) {
        TStreamLoad done = std::move(*it);
        streamLoads_.erase(it);
        done.binding->Detach();
        if (wanted) playback_.StreamEnd(transfer, FAILED(news.result));
    }
    Invalidate();
}

void TPlayerObject::StartSounds() {
    for (const refplayer::Playback::SoundStart& start : playback_.TakeSoundStarts()) {
        if (start.stop)
            sounds_.Stop(start.sound);
        else
            sounds_.Start(start.sound, start.loops, start.noMultiple);
    }
}

void TPlayerObject::StartClipLoads() {
    TComPtr<IOleObject> self(this);
    for (size_t i = 0; i < clipLoads_.size(); i++) {
        if (clipLoads_[i].binding) continue;
        refplayer::DisplayObject* clip = clipLoads_[i].clip;
        std::wstring url = clipLoads_[i].url;
        if (clipLoads_[i].level == 0 && !playback_.Holds(clip)) {
            clipLoads_.erase(clipLoads_.begin() + static_cast<std::ptrdiff_t>(i--));
            continue;
        }
        if (clip && playback_.Root() && clip->clip.get() == playback_.Root()) {
            // Into level 0: a new movie replaces this one, and every other load with it.
            clipLoads_.clear();
            StartMovie(url);
            return;
        }
        // Relative URLs are resolved as the movie's own and fetched through the moniker.
        std::wstring resolved = refplayer::ResolveUrl(movieUrl_, url);
        TComPtr<TMovieBinding> binding(new TMovieBinding(this, clockWindow_));
        clipLoads_[i].binding = binding;
        binding->Bind(resolved);
    }
}

void TPlayerObject::SetReadyState(long state) {
    if (state == readyState_) return;
    readyState_ = state;
    VARIANT arguments[1] = {IntegerArgument(state)};
    FireEvent(DispidReadyStateChange, arguments, 1);
    NotifyPropertyChanged(DispidReadyState);
}

void TPlayerObject::FireProgress(long percent) {
    if (percent == lastProgress_) return;
    lastProgress_ = percent;
    VARIANT arguments[1] = {IntegerArgument(percent)};
    FireEvent(DispidProgress, arguments, 1);
}

// --- Loading --------------------------------------------------------------------------------

void TPlayerObject::LoadMovie(int layer, const std::wstring& url) {
    // A layer above 0 plays over the running movie (an empty URL unloads it); layer 0, or any
    // layer while no movie runs yet, replaces the movie.
    if (layer > 0 && playback_.Root()) {
        if (url.empty()) {
            playback_.UnloadLevel(layer);
            Invalidate();
        } else {
            LoadLevel(layer, url);
        }
        return;
    }
    StartMovie(url);
}

void TPlayerObject::StartMovie(const std::wstring& url) {
    TComPtr<IOleObject> self(this);
    if (movieBinding_) std::exchange(movieBinding_, nullptr)->Detach();
    if (videoBinding_) std::exchange(videoBinding_, nullptr)->Detach();
    video_.Stop();
    videoActive_ = false;
    videoReceived_ = false;
    hoverButton_ = pressedButton_ = nullptr;
    sounds_.StopAll();
    for (TClipLoad& load : clipLoads_)
        if (load.binding) load.binding->Detach();
    clipLoads_.clear();
    for (TStreamLoad& load : streamLoads_) load.binding->Detach();
    streamLoads_.clear();
    frameElapsed_ = 0;
    movieBroken_ = false;
    properties_.movie = url;
    playback_.Reset(properties_.flashVars);
    playback_.SetLoop(properties_.loop);
    lastProgress_ = -1;
    std::wstring previousUrl = movieUrl_;
    movieUrl_ = url;
    // A relative movie URL is relative to Base (a folder or folder URL), or without one to
    // the movie playing until now.
    bool relative = !url.empty() && !refplayer::HasUrlScheme(url) && !refplayer::IsAbsoluteLocalPath(url);
    if (relative && !properties_.base.empty()) {
        std::wstring base = properties_.base;
        if (base.back() != L'/' && base.back() != L'\\') base += refplayer::HasUrlScheme(base) ? L"/" : L"\\";
        movieUrl_ = refplayer::ResolveUrl(base, url);
    } else if (relative && !previousUrl.empty()) {
        movieUrl_ = refplayer::ResolveUrl(previousUrl, url);
    }
    UpdateClock();
    Invalidate();
    if (url.empty()) return;
    readyState_ = -1;  // a new load always reports "loading", even after a failed one
    SetReadyState(0);
    TComPtr<TMovieBinding> binding(new TMovieBinding(this, clockWindow_));
    movieBinding_ = binding;
    binding->Bind(movieUrl_);
}

void TPlayerObject::BindingChanged(TMovieBinding* binding) {
    TComPtr<IOleObject> self(this);
    TComPtr<TMovieBinding> held(binding);
    TBindingNews news = binding->TakeNews();
    if (binding == movieBinding_.Get()) {
        ReceiveMovieData(news);
    } else if (binding == videoBinding_.Get()) {
        ReceiveVideoData(news);
    } else {
        for (size_t i = 0; i < streamLoads_.size(); i++)
            if (streamLoads_[i].binding.Get() == binding) {
                ReceiveStreamData(i, news);
                return;
            }
        for (size_t i = 0; i < clipLoads_.size(); i++) {
            TClipLoad& load = clipLoads_[i];
            if (load.binding.Get() != binding) continue;
            load.data.insert(load.data.end(), news.data.begin(), news.data.end());
            if (load.data.size() > refplayer::SwfParser::MaxFileLength) news.finished = true, news.result = E_FAIL;
            if (!news.finished) return;
            TClipLoad done = std::move(load);
            clipLoads_.erase(clipLoads_.begin() + static_cast<std::ptrdiff_t>(i));
            done.binding->Detach();
            if (FAILED(news.result)) return;
            bool intoLevel = done.level > 0;
            if (!intoLevel && !playback_.Holds(done.clip)) return;
            // A movie replaces the clip's content or fills the level; a malformed one fails
            // this load only. So does a picture.
            if (refplayer::Playback::IsMovie(done.data.data(), done.data.size())) {
                try {
                    if (intoLevel)
                        playback_.ShowMovieInLevel(done.level, done.data.data(), done.data.size());
                    else
                        playback_.ShowMovieInClip(*done.clip, done.data.data(), done.data.size());
                } catch (const refplayer::FormatError&) {
                }
                StartSounds();
                Invalidate();
                return;
            }
            refplayer::SwfBitmap bitmap;
            if (imageDecoder_.Decode(done.data.data(), done.data.size(), bitmap)) {
                if (intoLevel)
                    playback_.ShowBitmapInLevel(done.level, std::move(bitmap));
                else
                    playback_.ShowBitmapInClip(*done.clip, std::move(bitmap));
                Invalidate();
            }
            return;
        }
    }
}

void TPlayerObject::ReceiveMovieData(TBindingNews& news) {
    TMovieBinding* binding = movieBinding_.Get();
    // Every event may run host code that loads another movie: stop when it did.
    auto replaced = [&] { return movieBinding_.Get() != binding; };
    if (news.started && readyState_ < 1) SetReadyState(1);
    if (replaced()) return;
    if (!news.data.empty()) {
        try {
            playback_.Append(news.data.data(), news.data.size());
        } catch (const refplayer::FormatError&) {
            FailLoad();
            return;
        }
    }
    if (playback_.HeaderParsed() && readyState_ < 2) {
        if (readyState_ < 1) SetReadyState(1);
        if (replaced()) return;
        SetReadyState(2);
        UpdateClock();
        if (replaced()) return;
    }
    bool started = false;
    try {
        started = playback_.StartIfReady();
    } catch (const refplayer::FormatError&) {
        MovieBroken();
    }
    if (started) {
        if (replaced()) return;
        StartSounds();
        MovieStarted();
        if (replaced()) return;
    }
    if (playback_.CurrentFrame() >= 0 && readyState_ < 3) {
        SetReadyState(3);
        if (replaced()) return;
    }
    long percent = news.contentLength > 0
                       ? static_cast<long>(std::min<long long>(100, binding->ReceivedBytes() * 100 / news.contentLength))
                       : playback_.PercentLoaded();
    if (playback_.Complete()) percent = 100;
    FireProgress(percent);
    if (replaced()) return;
    if (playback_.Complete() && readyState_ < 4) {
        SetReadyState(4);
        if (replaced()) return;
    }
    if (news.finished) {
        if (!playback_.Complete())
            FailLoad();
        else
            movieBinding_ = nullptr;
    }
    Invalidate();
}

void TPlayerObject::MovieBroken() {
    // A frame that cannot be shown stops the movie where it is; what arrives still counts.
    movieBroken_ = true;
    playback_.SetPlaying(false);
    Invalidate();
}

void TPlayerObject::FailLoad() {
    // The movie stays as far as it got; nothing more arrives for it.
    if (movieBinding_) std::exchange(movieBinding_, nullptr)->Detach();
    Invalidate();
}

void TPlayerObject::MovieStarted() {
    std::map<std::string, std::string> settings = ReadPlayerSettings();
    if (settings["SilentClick"] != "1") {
        int level = DefaultClickLevel;
        auto configured = settings.find("ClickLevel");
        if (configured != settings.end()) level = std::clamp(atoi(configured->second.c_str()), 0, 100);
        click_.Play(level);
    }
    std::optional<std::wstring> videoPath = playback_.Variables().Get(L"FLVPath");
    // A movie that plays its own NetStreams shows the video itself.
    if (videoPath && !videoPath->empty() && !playback_.HasStreams()) StartVideo(refplayer::ResolveUrl(movieUrl_, *videoPath));
    lastTick_ = Milliseconds();
    UpdateClock();
}

void TPlayerObject::StartVideo(const std::wstring& path) {
    video_.Start();
    videoActive_ = true;
    videoReceived_ = false;
    if (refplayer::HasUrlScheme(path) && !StartsWithNoCase(path, L"file:")) {
        TComPtr<TMovieBinding> binding(new TMovieBinding(this, clockWindow_));
        videoBinding_ = binding;
        binding->Bind(path);
    } else {
        std::vector<uint8_t> data;
        if (ReadLocalFile(LocalPathOf(path), data)) {
            video_.Append(data.data(), data.size());
            video_.End();
        } else {
            video_.NotFound();
            videoActive_ = false;
        }
    }
    UpdateClock();
}

void TPlayerObject::ReceiveVideoData(TBindingNews& news) {
    if (!news.data.empty()) {
        video_.Append(news.data.data(), news.data.size());
        videoReceived_ = true;
    }
    if (news.finished) {
        if (FAILED(news.result) && !videoReceived_) video_.NotFound();
        else video_.End();
        if (videoBinding_) std::exchange(videoBinding_, nullptr)->Detach();
    }
    Invalidate();
}

long TPlayerObject::PercentLoaded() const {
    return playback_.Complete() ? 100 : playback_.PercentLoaded();
}

// --- Scripting ------------------------------------------------------------------------------

void TPlayerObject::SetPlaying(bool playing) {
    playback_.SetPlaying(playing);
    lastTick_ = Milliseconds();
    Invalidate();
}

void TPlayerObject::SetLoop(bool loop) {
    properties_.loop = loop;
    playback_.SetLoop(loop);
}

void TPlayerObject::SetBackgroundColor(long color) {
    properties_.backgroundColor = color;
    Invalidate();
}

void TPlayerObject::Rewind() {
    playback_.GotoFrame(0);
    Invalidate();
}

void TPlayerObject::Step(int frames) {
    playback_.SetPlaying(false);
    playback_.GotoFrame(std::max(0, playback_.CurrentFrame()) + frames);
    Invalidate();
}

void TPlayerObject::GotoFrame(long frame) {
    playback_.GotoFrame(static_cast<int>(frame));
    Invalidate();
}

void TPlayerObject::SetVariable(const std::wstring& name, const std::wstring& value) {
    TComPtr<IOleObject> self(this);
    playback_.SetVariable(refplayer::ToUtf8(name), refplayer::ToUtf8(value));
    Invalidate();
}

bool TPlayerObject::GetVariable(const std::wstring& name, std::wstring& value) const {
    std::optional<std::string> found = const_cast<refplayer::Playback&>(playback_).GetVariable(refplayer::ToUtf8(name));
    if (!found) return false;
    value = refplayer::FromUtf8(*found);
    return true;
}

std::wstring TPlayerObject::CallFunction(const std::wstring& request) {
    TComPtr<IOleObject> self(this);
    return playback_.CallFunction(request);
}

// --- Frames, drawing, input -----------------------------------------------------------------

void TPlayerObject::UpdateClock() {
    if (!clockWindow_) return;
    UINT interval = 0;
    if (videoActive_ || playback_.HasStreams()) {
        interval = VideoTickMilliseconds;
    } else if (playback_.HeaderParsed()) {
        double rate = playback_.Header().frameRate;
        interval = rate > 0 ? static_cast<UINT>(std::clamp(1000.0 / rate, 10.0, 1000.0)) : 83;
    }
    if (interval == clockInterval_) return;
    clockInterval_ = interval;
    if (interval)
        SetTimer(clockWindow_, ClockTimerId, interval, nullptr);
    else
        KillTimer(clockWindow_, ClockTimerId);
}

void TPlayerObject::Tick() {
    TComPtr<IOleObject> self(this);
    ULONGLONG now = Milliseconds();
    auto elapsed = static_cast<uint32_t>(std::min<ULONGLONG>(now - lastTick_, 1000));
    lastTick_ = now;
    click_.Poll();
    sounds_.Poll();
    bool changed = false;
    if (videoActive_ && playback_.Playing()) changed = video_.Advance(elapsed);
    if (playback_.HasStreams() && playback_.AdvanceStreams(elapsed)) changed = true;
    if (playback_.UpdateBoundFields()) changed = true;
    playback_.AddTime(elapsed);
    // While streams tick the clock faster than the movie's frame rate, frames wait their turn.
    bool frameDue = true;
    if (playback_.HasStreams() && playback_.HeaderParsed() && playback_.Header().frameRate > 0) {
        double frameMilliseconds = std::clamp(1000.0 / playback_.Header().frameRate, 10.0, 1000.0);
        frameElapsed_ = std::min(frameElapsed_ + elapsed, 2 * frameMilliseconds);
        frameDue = frameElapsed_ >= frameMilliseconds;
        if (frameDue) frameElapsed_ -= frameMilliseconds;
    }
    try {
        if (!movieBroken_ && frameDue && playback_.Advance()) changed = true;
        if (!movieBroken_ && frameDue && playback_.CurrentFrame() >= 0) {
            // Handlers run every tick and may move anything: the frame is drawn again.
            playback_.EnterFrameEvents();
            changed = true;
        }
    } catch (const refplayer::FormatError&) {
        MovieBroken();
    }
    StartSounds();
    if (changed) Invalidate();
}

void TPlayerObject::Invalidate() {
    surfaceValid_ = false;
    if (windowless_ && windowlessSite_) {
        RECT area = position_;
        windowlessSite_->InvalidateRect(&area, FALSE);
    } else if (stageWindow_) {
        InvalidateRect(stageWindow_, nullptr, FALSE);
    }
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

refplayer::ViewOptions TPlayerObject::View(int width, int height, bool opaque) const {
    refplayer::ViewOptions view;
    view.width = std::max(0, width);
    view.height = std::max(0, height);
    view.opaque = opaque;
    const std::wstring& scale = properties_.scale;
    view.scaleMode = static_cast<refplayer::StageScaleMode>(std::clamp(properties_.scaleMode, 0, 3));
    if (properties_.scaleMode == 0) {
        if (_wcsicmp(scale.c_str(), L"NoBorder") == 0) view.scaleMode = refplayer::StageScaleMode::NoBorder;
        if (_wcsicmp(scale.c_str(), L"ExactFit") == 0) view.scaleMode = refplayer::StageScaleMode::ExactFit;
        if (_wcsicmp(scale.c_str(), L"NoScale") == 0) view.scaleMode = refplayer::StageScaleMode::NoScale;
    }
    view.align = properties_.alignMode & 0x0F;
    for (wchar_t c : properties_.salign) {
        switch (towupper(c)) {
        case L'L': view.align |= refplayer::AlignLeft; break;
        case L'R': view.align |= refplayer::AlignRight; break;
        case L'T': view.align |= refplayer::AlignTop; break;
        case L'B': view.align |= refplayer::AlignBottom; break;
        default: break;
        }
    }
    view.antiAlias = properties_.quality != 0 && _wcsicmp(properties_.quality2.c_str(), L"Low") != 0 &&
                     _wcsicmp(properties_.quality2.c_str(), L"AutoLow") != 0;
    uint32_t rgb = 0xFFFFFF;
    if (properties_.backgroundColor >= 0)
        rgb = static_cast<uint32_t>(properties_.backgroundColor);
    else if (playback_.BackgroundColor())
        rgb = *playback_.BackgroundColor();
    view.background = rgb;
    return view;
}

const refplayer::RasterSurface& TPlayerObject::RenderFrame(int width, int height, bool opaque) {
    width = std::clamp(width, 0, 8192);
    height = std::clamp(height, 0, 8192);
    refplayer::ViewOptions view = View(width, height, opaque);
    const refplayer::ViewOptions& last = surfaceView_;
    if (surfaceValid_ && surface_.width == width && surface_.height == height && last.opaque == opaque &&
        last.scaleMode == view.scaleMode && last.align == view.align && last.antiAlias == view.antiAlias &&
        last.background == view.background)
        return surface_;
    if (playback_.HeaderParsed()) {
        renderer_.Render(playback_.Root(), playback_.Dictionary(), playback_.Header(), view, surface_);
        for (const refplayer::MovieClip* level : playback_.Levels())
            renderer_.RenderOver(*level, playback_.Header(), view, surface_);
    } else {
        surface_.Resize(width, height);
        surface_.Fill(opaque ? 0xFF000000 | view.background : 0);
    }
    surfaceValid_ = true;
    surfaceView_ = view;
    return surface_;
}

namespace {

BITMAPINFO TopDownInfo(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

void TPlayerObject::PaintWindow(HDC dc, const RECT& client) {
    // One copy of the finished frame: nothing is drawn in steps that could flicker.
    int width = client.right - client.left, height = client.bottom - client.top;
    const refplayer::RasterSurface& surface = RenderFrame(width, height, true);
    if (surface.pixels.empty()) return;
    BITMAPINFO info = TopDownInfo(surface.width, surface.height);
    SetDIBitsToDevice(dc, client.left, client.top, static_cast<DWORD>(surface.width),
                      static_cast<DWORD>(surface.height), 0, 0, 0, static_cast<UINT>(surface.height),
                      surface.pixels.data(), &info, DIB_RGB_COLORS);
}

void TPlayerObject::Compose(HDC dc, const RECT& area) {
    int width = area.right - area.left, height = area.bottom - area.top;
    const refplayer::RasterSurface& surface = RenderFrame(width, height, false);
    if (surface.pixels.empty()) return;
    // The premultiplied frame blended over what the container drew.
    BITMAPINFO info = TopDownInfo(surface.width, surface.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return;
    memcpy(bits, surface.pixels.data(), surface.pixels.size() * 4);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, area.left, area.top, surface.width, surface.height, memory, 0, 0, surface.width, surface.height,
                  blend);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

RECT TPlayerObject::StageBounds() const {
    return {0, 0, position_.right - position_.left, position_.bottom - position_.top};
}

bool TPlayerObject::HitsContent(POINT stagePoint) {
    RECT bounds = StageBounds();
    const refplayer::RasterSurface& surface = RenderFrame(bounds.right, bounds.bottom, !windowless_);
    if (stagePoint.x < 0 || stagePoint.y < 0 || stagePoint.x >= surface.width || stagePoint.y >= surface.height)
        return false;
    return (surface.At(stagePoint.x, stagePoint.y) >> 24) != 0;
}

refplayer::DisplayObject* TPlayerObject::LiveButton(refplayer::DisplayObject* button) const {
    return button && playback_.Holds(button) ? button : nullptr;
}

void TPlayerObject::SetButtonState(refplayer::DisplayObject* button, uint8_t state) {
    if (!button || button->buttonState == state) return;
    playback_.SetButtonState(*button, state);
    Invalidate();
}

bool TPlayerObject::MouseInput(UINT message, POINT stagePoint) {
    // A button's state may start sprites whose frames are malformed.
    try {
        return TrackButtons(message, stagePoint);
    } catch (const refplayer::FormatError&) {
        MovieBroken();
        return false;
    }
}

bool TPlayerObject::TrackButtons(UINT message, POINT stagePoint) {
    if (!playback_.HeaderParsed() || !playback_.Root()) return false;
    RECT bounds = StageBounds();
    refplayer::ViewOptions view = View(bounds.right, bounds.bottom, !windowless_);
    // The levels above the movie take the mouse first, topmost first.
    refplayer::DisplayObject* hit = nullptr;
    std::vector<const refplayer::MovieClip*> levels = playback_.Levels();
    for (auto it = levels.rbegin(); it != levels.rend() && !hit; ++it)
        hit = renderer_.ButtonAt(*it, playback_.Dictionary(), playback_.Header(), view, stagePoint.x + 0.5,
                                 stagePoint.y + 0.5);
    if (!hit)
        hit = renderer_.ButtonAt(playback_.Root(), playback_.Dictionary(), playback_.Header(), view,
                                 stagePoint.x + 0.5, stagePoint.y + 0.5);
    hoverButton_ = LiveButton(hoverButton_);
    pressedButton_ = LiveButton(pressedButton_);
    // Each event may run actions that change the display list: buttons are looked up again after.
    if (hit != hoverButton_) {
        if (hoverButton_) {
            refplayer::DisplayObject* left = hoverButton_;
            hoverButton_ = nullptr;
            SetButtonState(left, refplayer::ButtonUp);
            playback_.ButtonEvent(*left, left == pressedButton_ ? refplayer::ButtonDragOut : refplayer::ButtonRollOut);
        }
        hit = LiveButton(hit);
        if (hit) {
            hoverButton_ = hit;
            bool dragging = hit == LiveButton(pressedButton_);
            SetButtonState(hit, dragging ? refplayer::ButtonDown : refplayer::ButtonOver);
            playback_.ButtonEvent(*hit, dragging ? refplayer::ButtonDragOver : refplayer::ButtonRollOver);
        }
    }
    hit = LiveButton(hit);
    if (message == WM_LBUTTONDOWN && hit) {
        pressedButton_ = hit;
        SetButtonState(hit, refplayer::ButtonDown);
        playback_.ButtonEvent(*hit, refplayer::ButtonPress);
    } else if (message == WM_LBUTTONUP) {
        refplayer::DisplayObject* pressed = LiveButton(pressedButton_);
        pressedButton_ = nullptr;
        if (pressed && pressed == hit) {
            SetButtonState(pressed, refplayer::ButtonOver);
            playback_.ButtonEvent(*pressed, refplayer::ButtonRelease);
        } else if (pressed) {
            SetButtonState(pressed, refplayer::ButtonUp);
            playback_.ButtonEvent(*pressed, refplayer::ButtonReleaseOutside);
        }
    }
    StartSounds();  // the buttons' own sounds, at once
    Invalidate();
    return hit != nullptr;
}

HCURSOR TPlayerObject::HandCursor() {
    if (!handCursor_) handCursor_ = LoadCursorA(ModuleInstance(), MAKEINTRESOURCEA(REFPLAYER_HAND_CURSOR));
    return handCursor_;
}

// The menu opens for a right press this player saw followed by its release (or by the context
// menu request the release turns into), and for a request from the keyboard. A release or a
// request after a press that never reached the player opens nothing: that is how a container
// keeps the menu away.
bool TPlayerObject::OpensContextMenu(UINT message, LPARAM lParam) {
    if (message == WM_CONTEXTMENU && lParam == -1) return true;
    const bool pressed = rightPressed_;
    rightPressed_ = false;
    return pressed;
}

void TPlayerObject::ShowContextMenu(POINT screenPoint, HWND owner) {
    if (!contextMenu_) contextMenu_ = LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(REFPLAYER_CONTEXT_MENU));
    // With the Menu property off only the short menu (the player's name) is offered.
    HMENU popup = contextMenu_ ? GetSubMenu(contextMenu_, properties_.menu ? 0 : 1) : nullptr;
    if (!popup) return;
    TComPtr<IOleObject> self(this);
    CheckMenuItem(popup, REFPLAYER_MENU_PLAY, Playing() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(popup, REFPLAYER_MENU_LOOP, properties_.loop ? MF_CHECKED : MF_UNCHECKED);
    UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                    screenPoint.x, screenPoint.y, 0,
                                                    owner ? owner : stageWindow_, nullptr));
    if (command == REFPLAYER_MENU_PLAY) SetPlaying(!Playing());
    if (command == REFPLAYER_MENU_REWIND) Rewind();
    if (command == REFPLAYER_MENU_LOOP) SetLoop(!properties_.loop);
}

LRESULT TPlayerObject::HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    if (window == clockWindow_) {
        if (message == WM_TIMER && wParam == ClockTimerId) {
            Tick();
            return 0;
        }
        if (message == WM_REFPLAYER_BINDING) {
            if (movieBinding_) BindingChanged(movieBinding_.Get());
            if (videoBinding_) BindingChanged(videoBinding_.Get());
            std::vector<TComPtr<TMovieBinding>> clipBindings;
            for (const TClipLoad& load : clipLoads_)
                if (load.binding) clipBindings.push_back(load.binding);
            for (const TComPtr<TMovieBinding>& binding : clipBindings) BindingChanged(binding.Get());
            return 0;
        }
        if (message == WM_REFPLAYER_CLIPLOADS) {
            StartClipLoads();
            return 0;
        }
    } else if (window == stageWindow_) {
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            PaintWindow(dc, client);
            if (videoActive_) video_.Draw(dc, client);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR: {
            POINT cursor;
            GetCursorPos(&cursor);
            ScreenToClient(window, &cursor);
            if (LOWORD(lParam) != HTCLIENT || !LiveButton(hoverButton_)) break;
            SetCursor(HandCursor());
            return TRUE;
        }
        case WM_MOUSEMOVE:
            MouseInput(message, point);
            return 0;
        case WM_LBUTTONDOWN: {
            TComPtr<IOleObject> self(this);
            UIActivate();
            SetCapture(window);
            MouseInput(message, point);
            return 0;
        }
        case WM_LBUTTONUP: {
            TComPtr<IOleObject> self(this);
            if (GetCapture() == window) ReleaseCapture();
            MouseInput(message, point);
            return 0;
        }
        case WM_KEYDOWN: {
            MSG key = {window, message, wParam, lParam, 0, {0, 0}};
            if (TranslateAccelerator(&key) == S_OK) return 0;
            break;
        }
        case WM_RBUTTONDOWN:
            rightPressed_ = true;
            return 0;
        case WM_RBUTTONUP:
            if (!OpensContextMenu(message, lParam)) break;
            ClientToScreen(window, &point);
            ShowContextMenu(point, window);
            return 0;
        case WM_CONTEXTMENU:
            if (!OpensContextMenu(message, lParam)) break;
            if (lParam == -1) {
                point = {0, 0};
                ClientToScreen(window, &point);
            }
            ShowContextMenu(point, window);
            return 0;
        default:
            break;
        }
    }
    handled = false;
    return 0;
}
