#pragma once

/// \file
/// TFlashPlayerSurface: the properties, methods and events both player controls share.

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

#include "FlashPlayerControl/content/FlashPlayerControlBase.h"
#include "FlashPlayerControl/controls/PlayerEvents.h"
#include "framework/ComPtr.h"
#include "framework/Streams.h"

/// {D27CDB6C-AE6D-11CF-96B8-444553540000}: the player object's scripting interface.
extern const IID IID_IShockwaveFlash;
/// {D27CDB6D-AE6D-11CF-96B8-444553540000}: the player object's event interface.
extern const IID DIID_DShockwaveFlashEvents;

/// What both player controls offer of the player object: its properties (cached in the
/// control, passed on to the object when its version allows), its methods, its events, the
/// library's external-resource events, and movies loaded from streams. A control derives from
/// its framework base and from this class, and tells it where its player object is.
///
/// The object is driven through IShockwaveFlash's function table by slot, never through
/// IDispatch: the table differs between major versions, and the version class (the object's
/// major version capped at 8, -1 without an object) decides which slots are asked at all.
///
/// Threads: everything here is called on the main thread (the thread that made the control),
/// except the streams OpenMovieStream and OpenLayerStream hand out, and the streams the
/// OnLoadExternalResourceEx event hands out, which may be written from any thread.
class TFlashPlayerSurface : public IFlashPlayerControlBase {
public:
    /// Frees nothing of the object; the deriving control tears its object down.
    virtual ~TFlashPlayerSurface() = default;

    /// The object's major version capped at 8; -1 without an object. Asks the object; raises
    /// EOleError with the object's HRESULT when it fails.
    int PlayerVersionClass();

    /// \name Properties
    /// Getters ask the player object when its version class supports the property and
    /// return the control's cached value otherwise (no object, unsupported version, or a
    /// failure of the object); setters cache the value, then pass it on when the version
    /// class supports it. Neither raises for a failure of the object. Main thread (the
    /// thread that made the control).
    ///@{
    /// The movie's URL or path. Set to load a movie; a movie from a stream reads back as the
    /// library's own path for it.
    virtual std::wstring Movie();
    /// Sets Movie (see Movie()).
    virtual void SetMovie(const std::wstring& value);
    /// The current frame (0-based).
    virtual int32_t FrameNum();
    /// Sets FrameNum (see FrameNum()).
    virtual void SetFrameNum(int32_t value);
    /// Whether the movie plays.
    virtual WordBool Playing();
    /// Sets Playing (see Playing()).
    virtual void SetPlaying(WordBool value);
    /// Rendering quality as a number (0 low, 1 high, 2 auto low, 3 auto high).
    virtual int32_t Quality();
    /// Sets Quality (see Quality()).
    virtual void SetQuality(int32_t value);
    /// How the movie is scaled as a number (0 show all, 1 no border, 2 exact fit).
    virtual int32_t ScaleMode();
    /// Sets ScaleMode (see ScaleMode()).
    virtual void SetScaleMode(int32_t value);
    /// Alignment of the movie in the control, as bit flags (1 left, 2 right, 4 top, 8 bottom).
    virtual int32_t AlignMode();
    /// Sets AlignMode (see AlignMode()).
    virtual void SetAlignMode(int32_t value);
    /// Background colour as 0xRRGGBB; -1 uses the movie's own.
    virtual int32_t BackgroundColor();
    /// Sets BackgroundColor (see BackgroundColor()).
    virtual void SetBackgroundColor(int32_t value);
    /// Whether the movie starts again after its last frame.
    virtual WordBool Loop();
    /// Sets Loop (see Loop()).
    virtual void SetLoop(WordBool value);
    /// Window mode: "Window", "Opaque" or "Transparent" (the windowless control uses
    /// "Transparent").
    virtual std::wstring WMode();
    /// Sets WMode (see WMode()).
    virtual void SetWMode(const std::wstring& value);
    /// Alignment as text ("L", "T", "R", "B", "TL", "TR", "BL", "BR").
    virtual std::wstring SAlign();
    /// Sets SAlign (see SAlign()).
    virtual void SetSAlign(const std::wstring& value);
    /// Whether the player's context menu offers the full set of commands.
    virtual WordBool Menu();
    /// Sets Menu (see Menu()).
    virtual void SetMenu(WordBool value);
    /// Folder or URL under which requests of a movie from a stream are looked up when no handler
    /// serves them (empty: the current directory).
    virtual std::wstring Base();
    /// Sets Base (see Base()).
    virtual void SetBase(const std::wstring& value);
    /// Scale mode as text ("ShowAll", "NoBorder", "ExactFit").
    virtual std::wstring Scale();
    /// Sets Scale (see Scale()).
    virtual void SetScale(const std::wstring& value);
    /// Whether device fonts replace uninstalled fonts.
    virtual WordBool DeviceFont();
    /// Sets DeviceFont (see DeviceFont()).
    virtual void SetDeviceFont(WordBool value);
    /// Whether the movie is kept with the control's saved state.
    virtual WordBool EmbedMovie();
    /// Sets EmbedMovie (see EmbedMovie()).
    virtual void SetEmbedMovie(WordBool value);
    /// Background colour as text ("#RRGGBB").
    virtual std::wstring BGColor();
    /// Sets BGColor (see BGColor()).
    virtual void SetBGColor(const std::wstring& value);
    /// Rendering quality as text ("Low", "Medium", "High", "AutoLow", "AutoHigh", "Best").
    virtual std::wstring Quality2();
    /// Sets Quality2 (see Quality2()).
    virtual void SetQuality2(const std::wstring& value);
    /// Remote-debugging parameters passed to the player; never asked of the player while designing.
    virtual std::wstring SWRemote();
    /// Sets SWRemote (see SWRemote()).
    virtual void SetSWRemote(const std::wstring& value);
    /// Stacking order of the player's layers ("below" or "above").
    virtual std::wstring Stacking();
    /// Sets Stacking (see Stacking()).
    virtual void SetStacking(const std::wstring& value);
    /// Variables handed to the movie's root ("name=value&name=value").
    virtual std::wstring FlashVars();
    /// Sets FlashVars (see FlashVars()).
    virtual void SetFlashVars(const std::wstring& value);
    /// Whether the movie may script its container ("always", "sameDomain", "never").
    virtual std::wstring AllowScriptAccess();
    /// Sets AllowScriptAccess (see AllowScriptAccess()).
    virtual void SetAllowScriptAccess(const std::wstring& value);
    /// Movie data kept with the control's saved state.
    virtual std::wstring MovieData();
    /// Sets MovieData (see MovieData()).
    virtual void SetMovieData(const std::wstring& value);
    /// Whether the movie may switch to full screen; passed only to players of code version 9.0.28.0
    /// or later (FullScreenMinimumVersion).
    virtual WordBool AllowFullscreen();
    /// Sets AllowFullscreen (see AllowFullscreen()).
    virtual void SetAllowFullscreen(WordBool value);

    ///@}

    /// \name Movies from application streams
    /// Main thread. Raise Exception ("The player library is not started") before library
    /// start-up; a failing source stream raises its own error (EReadError and the like).
    ///@{
    /// Loads the movie in \p stream (read from its start to its end at once; the stream may be
    /// freed on return) into the player's \p layer.
    virtual void AssignLayerStream(int32_t layer, TStream& stream);
    /// Loads the movie in \p stream (read at once; the stream may be freed on return) as the
    /// control's movie; its relative requests go to the resource events.
    virtual void AssignMovieStream(TStream& stream);
    /// Starts a movie in \p layer that the application writes progressively: \p stream
    /// receives a stream to write from any thread (the main thread must keep processing messages
    /// meanwhile); free it when the movie is complete.
    virtual void OpenLayerStream(int32_t layer, TStream*& stream);
    /// Like OpenLayerStream, for the control's movie.
    virtual void OpenMovieStream(TStream*& stream);
    ///@}

    /// \name Methods
    /// Passed on to the player object when its version class supports them; without an
    /// object or support they do nothing and return zero or empty. A failure of the object
    /// raises EOleError with its HRESULT. Main thread.
    ///@{
    /// Shows the movie's rectangle (in twips) in the whole control.
    virtual void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    /// Zooms by \p factor percent (0: back to the whole movie).
    virtual void Zoom(int32_t factor);
    /// Pans a zoomed movie by \p x, \p y (\p mode 0: pixels, 1: percent of the window).
    virtual void Pan(int32_t x, int32_t y, int32_t mode);
    /// Starts playing.
    virtual void Play();
    /// Stops playing.
    virtual void Stop();
    /// Goes to the previous frame.
    virtual void Back();
    /// Goes to the next frame.
    virtual void Forward();
    /// Goes to the first frame.
    virtual void Rewind();
    /// Stops playing (the scripting form of Stop).
    virtual void StopPlay();
    /// Goes to frame \p frameNum (0-based).
    virtual void GotoFrame(int32_t frameNum);
    /// The current frame (0-based).
    virtual int32_t CurrentFrame();
    /// Whether the movie plays.
    virtual WordBool IsPlaying();
    /// How much of the movie has loaded, in percent.
    virtual int32_t PercentLoaded();
    /// Whether frame \p frameNum has loaded.
    virtual WordBool FrameLoaded(int32_t frameNum);
    /// The player's version (major in the high word).
    virtual int32_t FlashVersion();
    /// Loads \p url into the player's \p layer.
    virtual void LoadMovie(int32_t layer, const std::wstring& url);
    /// Sends the timeline \p target to frame \p frameNum.
    virtual void TGotoFrame(const std::wstring& target, int32_t frameNum);
    /// Sends the timeline \p target to the frame labelled \p label.
    virtual void TGotoLabel(const std::wstring& target, const std::wstring& label);
    /// The current frame of the timeline \p target.
    virtual int32_t TCurrentFrame(const std::wstring& target);
    /// The current frame label of the timeline \p target.
    virtual std::wstring TCurrentLabel(const std::wstring& target);
    /// Plays the timeline \p target.
    virtual void TPlay(const std::wstring& target);
    /// Stops the timeline \p target.
    virtual void TStopPlay(const std::wstring& target);
    /// Sets the movie variable \p name.
    virtual void SetVariable(const std::wstring& name, const std::wstring& value);
    /// The value of the movie variable \p name.
    virtual std::wstring GetVariable(const std::wstring& name);
    /// Sets property number \p property of the timeline \p target from text.
    virtual void TSetProperty(const std::wstring& target, int32_t property, const std::wstring& value);
    /// Property number \p property of the timeline \p target as text.
    virtual std::wstring TGetProperty(const std::wstring& target, int32_t property);
    /// Runs the actions of frame \p frameNum of the timeline \p target.
    virtual void TCallFrame(const std::wstring& target, int32_t frameNum);
    /// Runs the actions of the frame labelled \p label of the timeline \p target.
    virtual void TCallLabel(const std::wstring& target, const std::wstring& label);
    /// Sets property number \p property of the timeline \p target to a number.
    virtual void TSetPropertyNum(const std::wstring& target, int32_t property, double value);
    /// Property number \p property of the timeline \p target as a number.
    virtual double TGetPropertyNum(const std::wstring& target, int32_t property);
    /// Like TGetPropertyNum (the later players' form).
    virtual double TGetPropertyAsNumber(const std::wstring& target, int32_t property);
    /// Calls a function the movie exposes; \p request and the result are XML invoke texts.
    virtual std::wstring CallFunction(const std::wstring& request);
    /// The answer to the OnFlashCall being handled, as XML.
    virtual void SetReturnValue(const std::wstring& returnValue);
    /// The ready state (0 loading, 1 uninitialized, 2 loaded, 3 interactive, 4 complete).
    virtual int32_t ReadyState();
    /// The movie's number of frames.
    virtual int32_t TotalFrames();
    ///@}

    /// \name Events
    /// Assign a TMethod to handle one. An error a handler raises is reported to the
    /// application (its error handler) and never unwinds into the player.
    ///@{
    /// The ready state changed (player's thread).
    TFlashPlayerControlOnReadyStateChange OnReadyStateChange;
    /// Loading progress in percent (player's thread).
    TFlashPlayerControlOnProgress OnProgress;
    /// The movie ran fscommand (player's thread).
    TFlashPlayerControlFSCommand OnFSCommand;
    /// The movie called its container; answer with SetReturnValue (player's thread).
    TFlashPlayerControlFlashCall OnFlashCall;
    /// A movie from a stream asks for a relative URL; write it into the stream given (player's
    /// thread). Asked after OnLoadExternalResourceEx; unserved requests fall back to the file
    /// under Base.
    TFlashPlayerControlOnLoadExternalResource OnLoadExternalResource;
    /// A movie from a stream asks for a relative URL; set handled to keep the stream and write it
    /// later from any thread (raised on the player's thread, asked first).
    TFlashPlayerControlOnLoadExternalResourceEx OnLoadExternalResourceEx;
    /// The player opens a file relative to a movie from a stream; return a stream the library
    /// reads and frees (raised on the thread that opens the file, the player's).
    TFlashPlayerControlOnLoadExternalResourceAsync OnLoadExternalResourceAsync;

    ///@}

    /// Raises the control event for one event of the player object (an Invoke on the
    /// control's event sink). Returns S_OK for the four player events, and
    /// DISP_E_MEMBERNOTFOUND for any other DISPID. An error a handler raises is reported to
    /// the application and does not unwind into the player.
    HRESULT DispatchPlayerEvent(DISPID dispid, const DISPPARAMS* params);

    /// \name IFlashPlayerControlBase
    /// What the content manager asks of the control; see IFlashPlayerControlBase.
    ///@{
    HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) override;
    HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t layer, const std::wstring& url) override;
    HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring& url, TStream* stream) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring& url, TStream* stream,
                                                         bool& handled) override;
    HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring& path, TStream*& stream) override;
    ///@}

protected:
    /// The control's player object (any of its interfaces), or null without one.
    virtual IUnknown* PlayerObject() = 0;
    /// Whether the control is being designed (a form designer, not a running program).
    virtual bool PlayerDesigning() = 0;
    /// The sender of the control's events.
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
