#pragma once

// What both player controls offer of the player object: its properties (cached in the
// control, passed on to the object when its version allows), its methods, its events, the
// library's external-resource events, and movies loaded from streams. A control derives from
// its framework base and from this class, and tells it where its player object is.
//
// The object is driven through IShockwaveFlash's function table by slot, never through
// IDispatch: the table differs between major versions, and the version class (the object's
// major version capped at 8, -1 without an object) decides which slots are asked at all.

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "FlashPlayerControl/controls/PlayerEvents.h"
#include "framework/ComPtr.h"
#include "framework/Streams.h"

// {D27CDB6C-AE6D-11CF-96B8-444553540000}
extern const IID IID_IShockwaveFlash;
// {D27CDB6D-AE6D-11CF-96B8-444553540000}
extern const IID DIID_DShockwaveFlashEvents;

class TFlashPlayerSurface : public IFlashPlayerControlBase {
public:
    virtual ~TFlashPlayerSurface() = default;

    // The object's major version capped at 8; -1 without an object. Asks the object.
    int PlayerVersionClass();

    // Properties. Getters return the cached value unless the object is asked; setters cache,
    // then pass the value on. Neither raises for a failure of the object. Accessors, stream
    // loaders and methods are virtual so that a descendant control can override them.
    virtual std::wstring Movie();
    virtual void SetMovie(const std::wstring& value);
    virtual int32_t FrameNum();
    virtual void SetFrameNum(int32_t value);
    virtual WordBool Playing();
    virtual void SetPlaying(WordBool value);
    virtual int32_t Quality();
    virtual void SetQuality(int32_t value);
    virtual int32_t ScaleMode();
    virtual void SetScaleMode(int32_t value);
    virtual int32_t AlignMode();
    virtual void SetAlignMode(int32_t value);
    virtual int32_t BackgroundColor();
    virtual void SetBackgroundColor(int32_t value);
    virtual WordBool Loop();
    virtual void SetLoop(WordBool value);
    virtual std::wstring WMode();
    virtual void SetWMode(const std::wstring& value);
    virtual std::wstring SAlign();
    virtual void SetSAlign(const std::wstring& value);
    virtual WordBool Menu();
    virtual void SetMenu(WordBool value);
    virtual std::wstring Base();
    virtual void SetBase(const std::wstring& value);
    virtual std::wstring Scale();
    virtual void SetScale(const std::wstring& value);
    virtual WordBool DeviceFont();
    virtual void SetDeviceFont(WordBool value);
    virtual WordBool EmbedMovie();
    virtual void SetEmbedMovie(WordBool value);
    virtual std::wstring BGColor();
    virtual void SetBGColor(const std::wstring& value);
    virtual std::wstring Quality2();
    virtual void SetQuality2(const std::wstring& value);
    virtual std::wstring SWRemote();
    virtual void SetSWRemote(const std::wstring& value);
    virtual std::wstring Stacking();
    virtual void SetStacking(const std::wstring& value);
    virtual std::wstring FlashVars();
    virtual void SetFlashVars(const std::wstring& value);
    virtual std::wstring AllowScriptAccess();
    virtual void SetAllowScriptAccess(const std::wstring& value);
    virtual std::wstring MovieData();
    virtual void SetMovieData(const std::wstring& value);
    virtual WordBool AllowFullscreen();
    virtual void SetAllowFullscreen(WordBool value);

    // Movies from application streams: copied at once (Assign), or written by the
    // application through the returned stream, from any thread, and freed when complete (Open).
    virtual void AssignLayerStream(int32_t layer, TStream& stream);
    virtual void AssignMovieStream(TStream& stream);
    virtual void OpenLayerStream(int32_t layer, TStream*& stream);
    virtual void OpenMovieStream(TStream*& stream);

    // Methods, passed on when the version class allows; a failure of the object raises
    // EOleError with its HRESULT.
    virtual void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    virtual void Zoom(int32_t factor);
    virtual void Pan(int32_t x, int32_t y, int32_t mode);
    virtual void Play();
    virtual void Stop();
    virtual void Back();
    virtual void Forward();
    virtual void Rewind();
    virtual void StopPlay();
    virtual void GotoFrame(int32_t frameNum);
    virtual int32_t CurrentFrame();
    virtual WordBool IsPlaying();
    virtual int32_t PercentLoaded();
    virtual WordBool FrameLoaded(int32_t frameNum);
    virtual int32_t FlashVersion();
    virtual void LoadMovie(int32_t layer, const std::wstring& url);
    virtual void TGotoFrame(const std::wstring& target, int32_t frameNum);
    virtual void TGotoLabel(const std::wstring& target, const std::wstring& label);
    virtual int32_t TCurrentFrame(const std::wstring& target);
    virtual std::wstring TCurrentLabel(const std::wstring& target);
    virtual void TPlay(const std::wstring& target);
    virtual void TStopPlay(const std::wstring& target);
    virtual void SetVariable(const std::wstring& name, const std::wstring& value);
    virtual std::wstring GetVariable(const std::wstring& name);
    virtual void TSetProperty(const std::wstring& target, int32_t property, const std::wstring& value);
    virtual std::wstring TGetProperty(const std::wstring& target, int32_t property);
    virtual void TCallFrame(const std::wstring& target, int32_t frameNum);
    virtual void TCallLabel(const std::wstring& target, const std::wstring& label);
    virtual void TSetPropertyNum(const std::wstring& target, int32_t property, double value);
    virtual double TGetPropertyNum(const std::wstring& target, int32_t property);
    virtual double TGetPropertyAsNumber(const std::wstring& target, int32_t property);
    virtual std::wstring CallFunction(const std::wstring& request);
    virtual void SetReturnValue(const std::wstring& returnValue);
    virtual int32_t ReadyState();
    virtual int32_t TotalFrames();

    // Event slots.
    TFlashPlayerControlOnReadyStateChange OnReadyStateChange;
    TFlashPlayerControlOnProgress OnProgress;
    TFlashPlayerControlFSCommand OnFSCommand;
    TFlashPlayerControlFlashCall OnFlashCall;
    TFlashPlayerControlOnLoadExternalResource OnLoadExternalResource;
    TFlashPlayerControlOnLoadExternalResourceEx OnLoadExternalResourceEx;
    TFlashPlayerControlOnLoadExternalResourceAsync OnLoadExternalResourceAsync;

    // Raises the control event for one event of the player object (an Invoke on the
    // control's event sink). Returns S_OK for the four player events, and
    // DISP_E_MEMBERNOTFOUND for any other DISPID. An error a handler raises is reported to
    // the application and does not unwind into the player.
    HRESULT DispatchPlayerEvent(DISPID dispid, const DISPPARAMS* params);

    // What the content manager asks of the control.
    HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) override;
    HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t layer, const std::wstring& url) override;
    HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring& url, TStream* stream) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring& url, TStream* stream,
                                                         bool& handled) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring& path, TStream*& stream) override;

protected:
    // The control's player object (any of its interfaces), or null without one.
    virtual IUnknown* PlayerObject() = 0;
    // Whether the control is being designed (a form designer, not a running program).
    virtual bool PlayerDesigning() = 0;
    // The sender of the control's events.
    virtual TObject* PlayerEventSender() = 0;

private:
    struct TSlots;
    template <typename T>
    T GetProperty(const T& cache, const TSlots& slots);
    template <typename T>
    void SetProperty(T& cache, const T& value, const TSlots& slots);
    bool ClassAllows(const TSlots& slots, int versionClass, int& getSlot, int& putSlot);
    TComPtr<IUnknown> ShockwaveFlash();
    template <typename... Args>
    void CallSlot(int slot, Args... args);

    std::wstring movie_, wMode_, sAlign_, base_, scale_, bgColor_, quality2_, swRemote_, stacking_,
        flashVars_, allowScriptAccess_, movieData_;
    int32_t frameNum_ = 0, quality_ = 0, scaleMode_ = 0, alignMode_ = 0, backgroundColor_ = 0;
    WordBool playing_ = 0, loop_ = 0, menu_ = 0, deviceFont_ = 0, embedMovie_ = 0, allowFullscreen_ = 0;
};
