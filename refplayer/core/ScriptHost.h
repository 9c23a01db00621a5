#pragma once

// The meeting point of the movie's script engine and the rest of the player. The display
// list (the movie's clips, timelines and drawing) implements ScriptHost; the script engine
// (action records, values, objects, built-ins) calls it and never sees a clip's insides.
// Tests of either side use a recording fake of the other.

#include <cstdint>
#include <string>

namespace refplayer {

// A display object as scripts see it: a movie clip (the root of a level included), a video
// object, a text field or a button instance. Owned by the display list; the pointer stays
// valid and unique while the object lives. The host tells the engine when one goes
// (ScriptEngine::ObjectRemoved) so that nothing dangles.
class ScriptObjectRef;

enum class ScriptObjectKind { MovieClip, Video, TextField, Button, Other };

// The indexes of GetProperty / SetProperty (0..21), which the named members (_x, _alpha, ...)
// map onto as well.
enum class ClipProperty : int {
    X = 0, Y = 1, XScale = 2, YScale = 3, CurrentFrame = 4, TotalFrames = 5, Alpha = 6,
    Visible = 7, Width = 8, Height = 9, Rotation = 10, Target = 11, FramesLoaded = 12,
    Name = 13, DropTarget = 14, Url = 15, HighQuality = 16, FocusRect = 17,
    SoundBufTime = 18, Quality = 19, XMouse = 20, YMouse = 21,
};

// A NetStream as the host plays it; 0 is never a valid stream.
using NetStreamId = uint32_t;

// Strings are UTF-8 (movies of version 6 and later; older movies are converted on load).
class ScriptHost {
public:
    virtual ~ScriptHost() = default;

    // -- The object tree --------------------------------------------------------------
    // The root clip of a level (_level0 is _root); null when nothing is loaded there.
    virtual ScriptObjectRef* Level(int level) = 0;
    virtual ScriptObjectRef* Parent(ScriptObjectRef* object) = 0;          // null at a root
    // The child display object with this instance name (case-insensitive below version 7).
    virtual ScriptObjectRef* Child(ScriptObjectRef* clip, const std::string& name) = 0;
    virtual ScriptObjectKind Kind(ScriptObjectRef* object) = 0;
    // Slash path of an object ("/", "/menu/item") as _target reports it.
    virtual std::string TargetPath(ScriptObjectRef* object) = 0;

    // -- Properties (numbers; _name, _target, _url and _droptarget as text) -------------
    // Values as scripts see them: _currentframe, _totalframes and _framesloaded count from 1,
    // _visible is 1 or 0, _alpha, _xscale and _yscale are percentages, _rotation degrees.
    // The script engine never writes NaN or infinities.
    virtual double GetNumber(ScriptObjectRef* object, ClipProperty property) = 0;
    virtual std::string GetText(ScriptObjectRef* object, ClipProperty property) = 0;
    // Read-only properties ignore the write.
    virtual void SetNumber(ScriptObjectRef* object, ClipProperty property, double value) = 0;
    virtual void SetText(ScriptObjectRef* object, ClipProperty property, const std::string& value) = 0;

    // -- Timelines (frames are 0-based here) -------------------------------------------
    // Moves the clip to the frame (clamped to its frames) and plays or stops there.
    virtual void GotoFrame(ScriptObjectRef* clip, int frame, bool play) = 0;
    // False when the clip has no such label; the clip then stays where it is.
    virtual bool GotoLabel(ScriptObjectRef* clip, const std::string& label, bool play) = 0;
    virtual void SetPlaying(ScriptObjectRef* clip, bool playing) = 0;
    virtual void NextFrame(ScriptObjectRef* clip) = 0;
    virtual void PreviousFrame(ScriptObjectRef* clip) = 0;

    // -- Text fields -------------------------------------------------------------------
    // A text field's shown text (dynamic text set from a script).
    virtual void SetFieldText(ScriptObjectRef* field, const std::string& text) = 0;
    virtual std::string FieldText(ScriptObjectRef* field) = 0;

    // -- The world outside the movie ---------------------------------------------------
    // getURL to a window target ("_blank", "_self", a frame name); method 0 none, 1 GET, 2 POST.
    virtual void GetUrl(const std::string& url, const std::string& window, int method) = 0;
    // loadMovie: the content at url (a movie or a JPEG) replaces the clip's content.
    virtual void LoadMovie(ScriptObjectRef* clip, const std::string& url) = 0;
    // loadMovieNum: into a level, replacing what is there ("" unloads it).
    virtual void LoadMovieNum(int level, const std::string& url) = 0;
    // fscommand() and getURL("FSCommand:...") both arrive here.
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
    // ExternalInterface.call: the <invoke> request; the answer is the XML value the
    // container gave back, empty when it gave none.
    virtual std::string ExternalCall(const std::string& invokeXml) = 0;

    // -- Video -------------------------------------------------------------------------
    virtual NetStreamId CreateNetStream() = 0;
    virtual void NetStreamPlay(NetStreamId stream, const std::string& url) = 0;
    // mode: -1 toggles, 0 resumes, 1 pauses.
    virtual void NetStreamPause(NetStreamId stream, int mode) = 0;
    virtual void NetStreamSeek(NetStreamId stream, double seconds) = 0;
    virtual void NetStreamClose(NetStreamId stream) = 0;
    virtual void NetStreamSetBufferTime(NetStreamId stream, double seconds) = 0;
    virtual double NetStreamTime(NetStreamId stream) = 0;
    // Video.attachVideo(stream); stream 0 detaches.
    virtual void AttachVideo(ScriptObjectRef* video, NetStreamId stream) = 0;

    // -- Clock -------------------------------------------------------------------------
    // Milliseconds since the movie started (getTimer).
    virtual double Milliseconds() = 0;
};

}  // namespace refplayer
