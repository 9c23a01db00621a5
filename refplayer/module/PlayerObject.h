#pragma once

// The player object: an OLE control that plays one movie, windowed or (with WMode
// "Transparent" in a site that allows it) windowless. Its scripting interface is a function
// table of its own (FlashTable.cpp) that calls the operations below.

#include <windows.h>
#include <ocidl.h>
#include <ole2.h>

#include <cstdint>
#include <map>
#include <string>

#include "framework/ComPtr.h"
#include "refplayer/core/Playback.h"
#include "refplayer/module/ClickSound.h"
#include "refplayer/module/ConnectionPoint.h"
#include "refplayer/module/MovieBinding.h"
#include "refplayer/module/MovieSounds.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/module/GdiTextRenderer.h"
#include "refplayer/module/PlayerWindows.h"
#include "refplayer/module/UrlOpener.h"
#include "refplayer/module/VideoRoute.h"
#include "refplayer/module/WicImageDecoder.h"

class TPlayerObject;

// The scripting interface as the object hands it out: the function table and its object.
struct TFlashInterface {
    const void* const* table;
    TPlayerObject* owner;
};

// The stored values of the scripting properties that have no further effect here.
struct TFlashProperties {
    int quality = 1;
    int scaleMode = 0;
    int alignMode = 0;
    long backgroundColor = -1;  // -1: the movie's own background
    bool loop = true;
    std::wstring movie;
    std::wstring wmode = L"Window";
    std::wstring salign;
    bool menu = true;
    std::wstring base;
    std::wstring scale = L"ShowAll";
    bool deviceFont = false;
    bool embedMovie = false;
    std::wstring bgcolor;
    std::wstring quality2 = L"High";
    std::wstring swRemote;
    std::wstring flashVars;
    std::wstring allowScriptAccess = L"sameDomain";
    std::wstring movieData;
    TComPtr<IUnknown> inlineData;
    bool seamlessTabbing = true;
    bool profile = false;
    std::wstring profileAddress;
    long profilePort = 0;
    std::wstring allowNetworking = L"all";
    std::wstring allowFullScreen = L"false";
    std::map<int, std::wstring> clipProperties;  // TSetProperty values, by property number
};

class TPlayerObject final : public IOleObject,
                            public IOleControl,
                            public IOleInPlaceObjectWindowless,
                            public IOleInPlaceActiveObject,
                            public IViewObjectEx,
                            public IConnectionPointContainer,
                            public IObjectWithSite,
                            private refplayer::PlaybackHost,
                            private TBindingReceiver,
                            private TWindowOwner {
public:
    // A new object holding one reference for the caller.
    static IOleObject* Create();

    // Scripting operations, called from the function table on the object's thread.
    TFlashProperties& Properties() { return properties_; }
    long ReadyState() const { return readyState_; }
    long TotalFrames() const { return playback_.TotalFrames(); }
    bool Playing() const { return playback_.Playing(); }
    void SetPlaying(bool playing);
    void SetLoop(bool loop);
    void SetBackgroundColor(long color);
    void LoadMovie(int layer, const std::wstring& url);
    void Rewind();
    void Step(int frames);
    void GotoFrame(long frame);
    long CurrentFrame() const { return playback_.CurrentFrame() < 0 ? 0 : playback_.CurrentFrame(); }
    long PercentLoaded() const;
    bool FrameLoaded(long frame) const { return frame >= 0 && frame < playback_.LoadedFrames(); }
    void SetVariable(const std::wstring& name, const std::wstring& value);
    bool GetVariable(const std::wstring& name, std::wstring& value) const;
    // FormatError for a malformed request, UnknownFunctionError for a function not offered.
    std::wstring CallFunction(const std::wstring& request);
    void SetReturnValue(const std::wstring& value) { returnValue_ = value; }
    void SetWMode(const std::wstring& mode) { properties_.wmode = mode; }

    // IUnknown (shared by every interface of the object)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* userType) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** target) override;

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // IViewObject, IViewObject2, IViewObjectEx
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                   HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL windowBounds,
                                   BOOL(STDMETHODCALLTYPE* carryOn)(ULONG_PTR), ULONG_PTR carryOnArgument) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;
    HRESULT STDMETHODCALLTYPE GetRect(DWORD, LPRECTL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) override;
    HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint,
                                            DWORD* hitResult) override;
    HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint,
                                           DWORD* hitResult) override;
    HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override {
        return E_NOTIMPL;
    }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IObjectWithSite
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** site) override;

private:
    TPlayerObject();
    ~TPlayerObject();

    // PlaybackHost
    void FsCommand(const std::wstring& command, const std::wstring& args) override;
    std::wstring FlashCall(const std::wstring& request) override;
    void LoadClip(refplayer::DisplayObject* clip, const std::wstring& url) override;
    void LoadLevel(int level, const std::wstring& url) override;
    void OpenUrl(const std::wstring& url, const std::wstring& window) override;
    bool OpenStream(uint64_t transfer, const std::wstring& url) override;
    std::unique_ptr<refplayer::AudioSink> CreateAudioSink() override;
    void ReceiveStreamData(size_t index, TBindingNews& news);
    void StartClipLoads();
    void StartSounds();
    // TBindingReceiver
    void BindingChanged(TMovieBinding* binding) override;
    // TWindowOwner
    LRESULT HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    // Activation
    HRESULT InPlaceActivate(IOleClientSite* site, HWND parent, LPCRECT position, bool uiActivate);
    HRESULT UIActivate();
    // Loading
    void StartMovie(const std::wstring& url);
    void ReceiveMovieData(TBindingNews& news);
    void StartVideo(const std::wstring& path);
    void ReceiveVideoData(TBindingNews& news);
    void FailLoad();
    void MovieBroken();
    void SetReadyState(long state);
    void FireProgress(long percent);
    void MovieStarted();
    // Events
    void FireEvent(DISPID dispid, VARIANT* arguments, UINT count);
    void NotifyPropertyChanged(DISPID dispid);
    // Frames and drawing
    void UpdateClock();
    void Tick();
    void Invalidate();
    refplayer::ViewOptions View(int width, int height, bool opaque) const;
    // The current frame drawn at the size given (cached until the next change).
    const refplayer::RasterSurface& RenderFrame(int width, int height, bool opaque);
    void PaintWindow(HDC dc, const RECT& client);
    void Compose(HDC dc, const RECT& area);
    RECT StageBounds() const;
    bool HitsContent(POINT stagePoint);
    // Buttons under the mouse: states and condition actions. True when a button is there.
    bool MouseInput(UINT message, POINT stagePoint);
    bool TrackButtons(UINT message, POINT stagePoint);
    refplayer::DisplayObject* LiveButton(refplayer::DisplayObject* button) const;
    void SetButtonState(refplayer::DisplayObject* button, uint8_t state);
    bool OpensContextMenu(UINT message, LPARAM lParam);
    void ShowContextMenu(POINT screenPoint, HWND owner);
    HCURSOR HandCursor();

    LONG refs_ = 0;
    TFlashInterface flash_;
    TConnectionPoint events_;
    TConnectionPoint propertyNotify_;
    TFlashProperties properties_;
    refplayer::Playback playback_;
    TVideoRoute video_;
    bool videoReceived_ = false;  // the video's binding delivered data
    bool videoActive_ = false;
    long readyState_ = 4;
    long lastProgress_ = -1;
    std::wstring movieUrl_;
    TComPtr<TMovieBinding> movieBinding_;
    TComPtr<TMovieBinding> videoBinding_;
    std::wstring returnValue_;
    int eventsFrozen_ = 0;

    TComPtr<IOleClientSite> clientSite_;
    TComPtr<IOleInPlaceSite> inPlaceSite_;
    TComPtr<IOleInPlaceSiteWindowless> windowlessSite_;
    TComPtr<IOleInPlaceFrame> frame_;
    TComPtr<IOleInPlaceUIWindow> uiWindow_;
    TComPtr<IUnknown> site_;
    TComPtr<IAdviseSink> viewSink_;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    bool windowless_ = false;
    HWND stageWindow_ = nullptr;
    HWND clockWindow_ = nullptr;
    RECT position_ = {0, 0, 0, 0};
    SIZEL extent_ = {0, 0};
    UINT_PTR clockInterval_ = 0;
    ULONGLONG lastTick_ = 0;
    HCURSOR handCursor_ = nullptr;
    HMENU contextMenu_ = nullptr;
    bool rightPressed_ = false;  // a right press reached the player and no menu opened since
    TClickSound click_;

    // loadMovie requests: queued while scripts run, then fetched through the moniker route.
    struct TClipLoad {
        refplayer::DisplayObject* clip;  // null for a level
        int level;                       // above 0: into that level
        std::wstring url;
        TComPtr<TMovieBinding> binding;
        std::vector<uint8_t> data;
    };
    std::vector<TClipLoad> clipLoads_;
    static constexpr size_t MaxClipLoads = 32;  // loads under way at once
    // NetStream.play transfers fetched through the moniker route.
    struct TStreamLoad {
        uint64_t transfer;
        TComPtr<TMovieBinding> binding;
    };
    std::vector<TStreamLoad> streamLoads_;
    double frameElapsed_ = 0;
    bool movieBroken_ = false;  // a frame could not be shown: the timeline stays where it is  // milliseconds towards the next frame while streams set the clock
    TMovieSounds sounds_;
    TUrlOpener urlOpener_;
    TWicImageDecoder imageDecoder_;
    TGdiTextRenderer deviceText_;
    refplayer::StageRenderer renderer_;
    refplayer::RasterSurface surface_;
    bool surfaceValid_ = false;
    refplayer::ViewOptions surfaceView_;  // what the cached surface was drawn for
    refplayer::DisplayObject* hoverButton_ = nullptr;
    refplayer::DisplayObject* pressedButton_ = nullptr;
};
