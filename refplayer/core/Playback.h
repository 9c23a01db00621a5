#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string>

#include <map>
#include <tuple>
#include <vector>

#include "refplayer/core/DisplayList.h"
#include "refplayer/core/FlvParser.h"
#include "refplayer/core/FlvStreamPlayer.h"
#include "refplayer/core/StageRenderer.h"
#include "refplayer/core/ScriptEngine.h"
#include "refplayer/core/ScriptHost.h"
#include "refplayer/core/FormatError.h"
#include "refplayer/core/SwfParser.h"
#include "refplayer/core/VariableTable.h"

namespace refplayer {

// What a playing movie asks of the object that hosts it.
class PlaybackHost {
public:
    virtual ~PlaybackHost() = default;
    // A getURL to "FSCommand:<command>" with the target as argument.
    virtual void FsCommand(const std::wstring& command, const std::wstring& args) = 0;
    // An external call out of the movie: the <invoke> request; the answer is the XML value
    // the host gave back (empty when it gave none).
    virtual std::wstring FlashCall(const std::wstring& request) = 0;
    // getURL to a window ("_blank", "_self", a frame name).
    virtual void OpenUrl(const std::wstring& url, const std::wstring& window) { (void)url; (void)window; }
    // loadMovie / loadMovieNum: the content at url is to replace the clip's (level 0: the movie).
    virtual void LoadClip(DisplayObject* clip, const std::wstring& url) { (void)clip; (void)url; }
    // loadMovieNum into a level above 0: the movie at url is to play there (ShowMovieInLevel).
    virtual void LoadLevel(int level, const std::wstring& url) { (void)level; (void)url; }
    // NetStream.play: the bytes at url are to reach Playback::StreamData and StreamEnd under
    // this transfer number, now or later. False when the url cannot be opened at all.
    virtual bool OpenStream(uint64_t transfer, const std::wstring& url) { (void)transfer; (void)url; return false; }
    // Where a new NetStream's sound goes; null leaves it silent.
    virtual std::unique_ptr<AudioSink> CreateAudioSink() { return nullptr; }
};

// Raised by CallFunction for a function the movie does not offer.
class UnknownFunctionError : public FormatError {
public:
    using FormatError::FormatError;
};

// The timeline of one movie as it loads and plays: frames are entered in order, each one's
// actions run when it is entered, and playing stops at the last frame unless looping.
// Frames are only entered once their data is complete. The movie's variables, FlashVars
// included, and the built-in functions that CallFunction reaches live here too.
class Playback : public VideoPictureSource, private TimelineListener, private ScriptHost {
public:
    explicit Playback(PlaybackHost& host);
    ~Playback() override;

    // Forgets the movie and its variables; FlashVars are loaded again from the text given.
    void Reset(const std::wstring& flashVars);
    // Movie data as it arrives; malformed data raises FormatError and stops the movie.
    void Append(const uint8_t* data, size_t size);

    bool HeaderParsed() const;
    bool Complete() const;
    const SwfHeader& Header() const;
    std::optional<uint32_t> BackgroundColor() const;
    int PercentLoaded() const;
    // Frames as the header declares them, and frames whose data is complete.
    int TotalFrames() const;
    int LoadedFrames() const;

    // 0-based; -1 until the first frame has been entered.
    int CurrentFrame() const { return current_; }
    bool Playing() const { return playing_; }
    void SetPlaying(bool playing) { playing_ = playing; }
    bool Loop() const { return loop_; }
    void SetLoop(bool loop) { loop_ = loop; }

    // Enters the first frame once it is complete (a movie starts by itself); true when it
    // was entered by this call.
    bool StartIfReady();
    // Moves to frame (0-based, clamped to the loaded frames) and runs its actions; false
    // when no frame is loaded yet.
    bool GotoFrame(int frame);
    // One tick of the frame clock: the next frame while playing. True when the frame changed.
    bool Advance();

    VariableTable& Variables() { return variables_; }

    // What the movie shows: the root timeline (null before the first frame) and its characters.
    const MovieClip* Root() const { return rootObject_.clip.get(); }
    MovieClip* Root() { return rootObject_.clip.get(); }
    const CharacterDictionary& Dictionary() const { return dictionary_; }
    // Decodes JPEG bitmaps; without one they draw nothing.
    void SetImageDecoder(ImageDecoder* decoder) {
        decoder_ = decoder;
        dictionary_.SetDecoder(decoder);
    }
    // A mouse event of a button instance: runs the actions of its conditions (SwfButtonCondition)
    // and starts the sound of the state change they make (DefineButtonSound).
    void ButtonEvent(DisplayObject& button, uint16_t conditions);
    // Shows a state of a button instance (SwfButtonState); the sprites of that state start.
    void SetButtonState(DisplayObject& button, uint8_t state);
    // Text fields bound to a variable show its value (FlashVars included); true when any changed.
    bool UpdateBoundFields();
    // A text field's shown text (UTF-8).
    void SetFieldText(DisplayObject& field, const std::string& text) { field.text = text; }
    std::string FieldText(const DisplayObject& field) const { return field.text; }
    // Runs an action list (raw action records) in a clip through the script engine.
    void RunActions(DisplayObject& clip, const std::vector<uint8_t>& actions);
    // The movie's variables as the container reaches them (the script engine's, once it runs).
    void SetVariable(const std::string& name, const std::string& value);
    std::optional<std::string> GetVariable(const std::string& name);
    // Event sounds started by the frames entered since the last call (StartSound).
    struct SoundStart {
        std::shared_ptr<SwfSound> sound;
        bool stop = false;    // stops the sound's playing instances instead
        int loops = 1;
        bool noMultiple = false;
    };
    std::vector<SoundStart> TakeSoundStarts() { return std::exchange(soundStarts_, {}); }
    // A picture loaded into a clip (loadMovie of a JPEG) replaces the clip's content.
    void ShowBitmapInClip(DisplayObject& clip, SwfBitmap bitmap);
    // Whether loaded bytes are a movie (else a picture is assumed).
    static bool IsMovie(const uint8_t* data, size_t size);
    // A movie loaded into a clip replaces its content: its own characters and timeline, played
    // at this movie's frame rate inside the clip's transform. A malformed movie raises
    // FormatError and leaves the clip as it was; so does one nested too deep in loaded movies.
    void ShowMovieInClip(DisplayObject& clip, const uint8_t* data, size_t size);
    // A movie loaded into a level above 0 plays over the levels below it (FormatError as above).
    void ShowMovieInLevel(int level, const uint8_t* data, size_t size);
    // A picture loaded into a level above 0 shows at the stage's top left over the levels below.
    void ShowBitmapInLevel(int level, SwfBitmap bitmap);
    void UnloadLevel(int level);
    // The root timelines of the levels above 0, lowest first (drawn in that order over level 0).
    std::vector<const MovieClip*> Levels() const;
    // The level (above 0) whose root this is, or -1.
    int LevelOf(const DisplayObject* root) const;
    // Loads a movie may ask for: levels 1..kMaxLevel, at most kMaxLevels of them at a time,
    // movies nested in clips at most kMaxLoadNesting deep, and kMaxLoadRequests loads per movie
    // (a movie that loads itself again and again stops there).
    static constexpr int kMaxLevel = 9999;
    static constexpr size_t kMaxLevels = 16;
    static constexpr int kMaxLoadNesting = 8;
    static constexpr int kMaxLoadRequests = 500;
    // Whether the object is still on the display list (pointers held across script runs).
    bool Holds(const DisplayObject* object) const;
    // Calls the movie's onEnterFrame handlers of every clip (after a frame was entered).
    void EnterFrameEvents();
    // Milliseconds the movie has played (getTimer); the owner moves it on.
    void AddTime(double milliseconds) { clock_ += milliseconds; }

    // Bytes of a NetStream's transfer (PlaybackHost::OpenStream); false when the stream no
    // longer wants them (closed, playing something else, the movie gone): the host may stop.
    bool StreamData(uint64_t transfer, const uint8_t* data, size_t size);
    // The transfer ended: complete, or failed (the stream is then not found unless data came).
    void StreamEnd(uint64_t transfer, bool failed);
    // Ticks the NetStreams' clocks; true when a picture changed.
    bool AdvanceStreams(uint32_t elapsedMilliseconds);
    bool HasStreams() const { return !streams_.empty(); }
    // Streams live as long as the movie (scripts do not say when they are dropped), so a
    // movie gets this many; further ones are inert.
    static constexpr size_t kMaxNetStreams = 64;
    // The picture of the stream attached to a Video object.
    bool VideoPicture(const DisplayObject& video, VideoFrame& frame) override;

    // Answers an <invoke> request with the XML of the result. Built-ins: "echo" returns its
    // first argument, "callHost" sends an <invoke> named by its first argument with the rest
    // as arguments out through FlashCall and returns the host's answer, "getVariable" and
    // "setVariable" reach the variable table, "getTotalFrames" the frame count.
    std::wstring CallFunction(const std::wstring& request);

private:
    void EnterFrame(int frame);
    void FrameActions(MovieClip& clip, const SwfFrame& frame) override;
    void ObjectRemoved(DisplayObject& object) override;
    void RunPendingActions();
    void EnsureEngine();
    std::shared_ptr<LoadedMovie> ParseLoadedMovie(const uint8_t* data, size_t size);
    bool MayLoad();
    void ForEachTimeline(const std::function<void(DisplayObject&)>& visit);
    DisplayObject* Object(ScriptObjectRef* ref) const { return static_cast<DisplayObject*>(ref); }
    MovieClip* Timeline(ScriptObjectRef* ref) const;

    // ScriptHost
    ScriptObjectRef* Level(int level) override;
    ScriptObjectRef* Parent(ScriptObjectRef* object) override;
    ScriptObjectRef* Child(ScriptObjectRef* clip, const std::string& name) override;
    ScriptObjectKind Kind(ScriptObjectRef* object) override;
    std::string TargetPath(ScriptObjectRef* object) override;
    double GetNumber(ScriptObjectRef* object, ClipProperty property) override;
    std::string GetText(ScriptObjectRef* object, ClipProperty property) override;
    void SetNumber(ScriptObjectRef* object, ClipProperty property, double value) override;
    void SetText(ScriptObjectRef* object, ClipProperty property, const std::string& value) override;
    void GotoFrame(ScriptObjectRef* clip, int frame, bool play) override;
    bool GotoLabel(ScriptObjectRef* clip, const std::string& label, bool play) override;
    void SetPlaying(ScriptObjectRef* clip, bool playing) override;
    void NextFrame(ScriptObjectRef* clip) override;
    void PreviousFrame(ScriptObjectRef* clip) override;
    void SetFieldText(ScriptObjectRef* field, const std::string& text) override;
    std::string FieldText(ScriptObjectRef* field) override;
    void GetUrl(const std::string& url, const std::string& window, int method) override;
    void LoadMovie(ScriptObjectRef* clip, const std::string& url) override;
    void LoadMovieNum(int level, const std::string& url) override;
    void FsCommand(const std::string& command, const std::string& args) override;
    std::string ExternalCall(const std::string& invokeXml) override;
    NetStreamId CreateNetStream() override;
    void NetStreamPlay(NetStreamId stream, const std::string& url) override;
    void NetStreamPause(NetStreamId stream, int mode) override;
    void NetStreamSeek(NetStreamId stream, double seconds) override;
    void NetStreamClose(NetStreamId stream) override;
    void NetStreamSetBufferTime(NetStreamId stream, double seconds) override;
    double NetStreamTime(NetStreamId stream) override;
    void AttachVideo(ScriptObjectRef* video, NetStreamId stream) override;
    double Milliseconds() override { return clock_; }

    PlaybackHost& host_;
    std::unique_ptr<SwfParser> parser_;
    VariableTable variables_;
    CharacterDictionary dictionary_;
    DisplayObject rootObject_;
    struct PendingActions {
        DisplayObject* clip;
        std::vector<uint8_t> actions;
    };
    std::unique_ptr<ScriptEngine> engine_;
    std::vector<SoundStart> soundStarts_;
    // Sprites whose DoInitAction has run: the serial of their movie (0: this one) and their id.
    std::vector<std::pair<uint64_t, uint16_t>> initActionsRun_;
    ImageDecoder* decoder_ = nullptr;
    std::map<int, std::unique_ptr<DisplayObject>> levels_;  // levels above 0, by number
    std::vector<std::unique_ptr<DisplayObject>> retiredLevels_;  // unloaded while a script ran
    uint64_t lastLoadSerial_ = 0;
    int loadRequests_ = 0;
    // One NetStream: the sink outlives the player that holds it.
    struct Stream {
        std::unique_ptr<AudioSink> sink;
        std::unique_ptr<FlvStreamPlayer> player;
        uint64_t transfer = 0;         // the transfer feeding it, 0: none
        bool receivedData = false;
        std::vector<uint32_t> pixels;  // the picture as the renderer takes it
        uint64_t convertedSerial = 0;
    };
    Stream* FindStream(NetStreamId id);
    Stream* StreamOfTransfer(uint64_t transfer);
    std::map<NetStreamId, Stream> streams_;
    uint64_t lastTransfer_ = 0;  // never reused, so a stale transfer finds no stream
    bool openingStream_ = false;  // inside a script's play(): its events wait for the script to end
    std::vector<std::tuple<NetStreamId, std::string, std::string>> pendingStatus_;  // code, level
    NetStreamId lastStream_ = 0;
    double clock_ = 0;
    std::vector<PendingActions> pending_;
    bool runningActions_ = false;
    DisplayObject* runningClip_ = nullptr;  // whose actions run now
    bool runningClipGone_ = false;      // ... and it has been removed meanwhile
    int current_ = -1;
    bool playing_ = true;
    bool loop_ = true;
};

// A video played through its tag timestamps: the clock runs from the first tick; a tag is
// shown once the clock has passed its timestamp.
class VideoPlayback {
public:
    FlvParser& Parser() { return parser_; }
    const FlvParser& Parser() const { return parser_; }
    void Reset() { *this = VideoPlayback(); }
    // Moves the clock on; true when another tag has become due.
    bool Advance(uint32_t elapsedMilliseconds);
    uint32_t Clock() const { return clock_; }
    size_t TagsShown() const { return shown_; }

private:
    FlvParser parser_;
    uint32_t clock_ = 0;
    size_t shown_ = 0;
};

} // namespace refplayer
