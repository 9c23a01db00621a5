#pragma once

// The display list: what each timeline (the movie's and every sprite instance's) shows at
// its current frame, built by replaying the frames' placement tags.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "refplayer/core/SwfCharacters.h"

namespace refplayer {

// What scripts hold of a display object (see ScriptHost.h).
class ScriptObjectRef {
public:
    virtual ~ScriptObjectRef() = default;
};

class MovieClip;

// A movie loaded into a clip or a level: its own frames and characters, kept alive by the
// timelines that show it.
struct LoadedMovie {
    SwfHeader header;
    std::vector<SwfFrame> frames;
    CharacterDictionary dictionary;
    uint64_t serial = 0;  // unique per load: tells its sprites' init actions from the parent's
};

class DisplayObject : public ScriptObjectRef {
public:
    uint16_t characterId = 0;
    int depth = 0;
    SwfMatrix matrix;
    SwfColorTransform transform;
    std::string name;
    uint16_t ratio = 0;
    int clipDepth = 0;  // a clipping layer masks the depths above it up to this one
    bool visible = true;
    const SwfCharacter* character = nullptr;  // owned by the dictionary
    std::unique_ptr<MovieClip> clip;          // the timeline of a sprite instance
    uint8_t buttonState = ButtonUp;           // the shown state of a button instance
    // The sprite parts of a button's shown state, each with its own timeline (depth: the
    // index of its button record), and the state they were made for.
    std::vector<std::unique_ptr<DisplayObject>> stateParts;
    uint8_t partsState = 0;
    std::string text;                         // the shown text of a text field (UTF-8)
    uint32_t videoStream = 0;                 // the NetStream a Video object shows (0: none)
    MovieClip* parent = nullptr;
};

// What the timelines report while they move.
class TimelineListener {
public:
    virtual ~TimelineListener() = default;
    // A frame's actions are due (after its display tags have been applied).
    virtual void FrameActions(MovieClip& clip, const SwfFrame& frame) = 0;
    virtual void ObjectRemoved(DisplayObject& object) = 0;
};

// A timeline: the movie's own or a sprite instance's, owned by its display object.
class MovieClip {
public:
    // frames: the timeline's frames, owned by the movie or the sprite definition.
    MovieClip(DisplayObject* owner, const std::vector<SwfFrame>* frames, CharacterDictionary& dictionary,
              TimelineListener* listener, const std::map<std::string, int>* labels = nullptr);
    ~MovieClip();
    MovieClip(const MovieClip&) = delete;
    MovieClip& operator=(const MovieClip&) = delete;

    DisplayObject* Owner() const { return owner_; }

    int CurrentFrame() const { return current_; }
    int FrameCount() const { return static_cast<int>(frames_->size()); }
    bool Playing() const { return playing_; }
    void SetPlaying(bool playing) { playing_ = playing; }

    // Shows the frame (clamped); its actions are due when runActions. A frame behind the current one
    // is reached by replaying from the first frame.
    void GotoFrame(int frame, bool runActions = true);
    // One tick of the sprite children (theirs first, recursively); true when any moved.
    bool TickChildren();
    // One tick: the children, then this timeline while playing (sprites loop). True when
    // anything shown may have changed.
    bool Tick();
    // Shows a state of a button instance on this timeline: its sprite parts start afresh.
    void ShowButtonState(DisplayObject& button, uint8_t state);
    // Timelines nest at most this deep (a sprite placing itself, a button state showing the
    // sprite that holds the button); deeper sprites are shown empty.
    static constexpr int kMaxNesting = 64;
    // Frame of a label, -1 when there is none (labels are matched ignoring case).
    int LabelFrame(const std::string& label) const;

    // Replaces the timeline with one frame of these tags, whose characters are in dictionary
    // (content loaded into a clip); no tags leave the clip empty.
    void ReplaceContent(std::vector<SwfTag> tags, CharacterDictionary& dictionary);
    // Replaces the timeline with a loaded movie's, which then plays from its first frame.
    void ReplaceMovie(std::shared_ptr<LoadedMovie> movie);
    // The movie loaded into this timeline, if any.
    const LoadedMovie* Loaded() const { return loaded_.get(); }
    // Where the characters this timeline places are defined.
    const CharacterDictionary& Dictionary() const { return *dictionary_; }

    const std::map<int, std::unique_ptr<DisplayObject>>& Objects() const { return objects_; }
    DisplayObject* ObjectAt(int depth) const;
    DisplayObject* ObjectNamed(const std::string& name) const;
    void Clear();

private:
    void ApplyFrame(int frame);
    void Place(const SwfTag& tag);
    void Remove(int depth);
    std::unique_ptr<DisplayObject> Instantiate(uint16_t characterId);
    void StartTimeline(DisplayObject& object);
    void Forget(DisplayObject& object);
    int nesting_ = 0;  // timelines above this one

    DisplayObject* owner_;
    const std::vector<SwfFrame>* frames_;
    std::vector<SwfFrame> ownFrames_;  // content that replaced the timeline
    const std::map<std::string, int>* labels_;
    CharacterDictionary* dictionary_;
    TimelineListener* listener_;
    // Declared before the objects, which point into its dictionary and so must go first.
    std::shared_ptr<LoadedMovie> loaded_;
    std::map<int, std::unique_ptr<DisplayObject>> objects_;
    int current_ = -1;
    bool playing_ = true;
};

} // namespace refplayer
