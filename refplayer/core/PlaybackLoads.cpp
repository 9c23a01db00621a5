// Movies a script loads into a clip or into a level above the movie.

#include "refplayer/core/Playback.h"
#include "refplayer/core/TextCodec.h"

namespace refplayer {

namespace {

// How many loaded movies hold the object (its own clip's included).
int LoadNesting(const DisplayObject* object) {
    int nesting = 0;
    for (const DisplayObject* o = object; o; o = o->parent ? o->parent->Owner() : nullptr)
        if (o->clip && o->clip->Loaded()) nesting++;
    return nesting;
}

} // namespace

bool Playback::IsMovie(const uint8_t* data, size_t size) {
    return size >= 3 && (data[0] == 'F' || data[0] == 'C') && data[1] == 'W' && data[2] == 'S';
}

bool Playback::MayLoad() {
    if (loadRequests_ >= kMaxLoadRequests) return false;
    loadRequests_++;
    return true;
}

std::shared_ptr<LoadedMovie> Playback::ParseLoadedMovie(const uint8_t* data, size_t size) {
    if (!IsMovie(data, size)) throw FormatError("the loaded file is not a movie");
    SwfParser parser;
    parser.Append(data, size);
    // All of it has arrived: a movie that is not complete now never will be.
    if (!parser.Complete()) throw FormatError("the loaded movie ends early");
    const SwfMovie& movie = parser.Movie();
    if (movie.frames.empty()) throw FormatError("the loaded movie has no frames");
    // Every frame is placed once, without its actions, so that a malformed tag fails this
    // load now rather than the parent's frame clock later.
    {
        CharacterDictionary scratch;
        DisplayObject owner;
        owner.clip = std::make_unique<MovieClip>(&owner, &movie.frames, scratch, nullptr);
        owner.clip->GotoFrame(static_cast<int>(movie.frames.size()) - 1, false);
    }
    auto loaded = std::make_shared<LoadedMovie>();
    loaded->header = movie.header;
    loaded->frames = movie.frames;
    loaded->dictionary.SetDecoder(decoder_);
    loaded->serial = ++lastLoadSerial_;
    return loaded;
}

void Playback::LoadMovie(ScriptObjectRef* clip, const std::string& url) {
    DisplayObject* o = Object(clip);
    if (!o) return;
    int level = LevelOf(o);
    if (level >= 0) {
        LoadMovieNum(level, url);
        return;
    }
    if (url.empty() && o->clip) {
        // unloadMovie: the clip stays, empty.
        o->clip->ReplaceContent({}, dictionary_);
        return;
    }
    // A movie that loads itself into its own clips is not asked for beyond this depth.
    if (LoadNesting(o) - (o->clip && o->clip->Loaded() ? 1 : 0) >= kMaxLoadNesting) return;
    if (MayLoad()) host_.LoadClip(o, FromUtf8(url));
}

void Playback::LoadMovieNum(int level, const std::string& url) {
    // A movie loaded into level 0 replaces this one.
    if (level == 0) {
        host_.LoadClip(&rootObject_, FromUtf8(url));
        return;
    }
    if (level < 0 || level > kMaxLevel) return;
    if (url.empty()) {
        UnloadLevel(level);
        return;
    }
    if (!levels_.count(level) && levels_.size() >= kMaxLevels) return;
    if (MayLoad()) host_.LoadLevel(level, FromUtf8(url));
}

void Playback::ShowMovieInClip(DisplayObject& clip, const uint8_t* data, size_t size) {
    if (!clip.clip || &clip == &rootObject_ || !Holds(&clip)) return;
    // A movie that loads itself into its own clips stops at this depth.
    if (LoadNesting(&clip) - (clip.clip->Loaded() ? 1 : 0) >= kMaxLoadNesting)
        throw FormatError("movies are loaded into each other too deep");
    std::shared_ptr<LoadedMovie> loaded = ParseLoadedMovie(data, size);
    EnsureEngine();
    clip.clip->ReplaceMovie(std::move(loaded));
    RunPendingActions();
    UpdateBoundFields();
}

void Playback::ShowMovieInLevel(int level, const uint8_t* data, size_t size) {
    if (level <= 0 || level > kMaxLevel || !rootObject_.clip) return;
    if (!levels_.count(level) && levels_.size() >= kMaxLevels) throw FormatError("too many levels are loaded");
    std::shared_ptr<LoadedMovie> loaded = ParseLoadedMovie(data, size);
    EnsureEngine();
    UnloadLevel(level);
    auto root = std::make_unique<DisplayObject>();
    root->depth = level;
    LoadedMovie& movie = *loaded;
    root->clip = std::make_unique<MovieClip>(root.get(), &movie.frames, movie.dictionary,
                                             static_cast<TimelineListener*>(this));
    MovieClip& timeline = *root->clip;
    levels_[level] = std::move(root);
    timeline.ReplaceMovie(std::move(loaded));
    RunPendingActions();
    UpdateBoundFields();
}

void Playback::ShowBitmapInLevel(int level, SwfBitmap bitmap) {
    if (level <= 0 || level > kMaxLevel || !rootObject_.clip) return;
    if (!levels_.count(level) && levels_.size() >= kMaxLevels) return;
    UnloadLevel(level);
    static const std::vector<SwfFrame> noFrames;
    auto root = std::make_unique<DisplayObject>();
    root->depth = level;
    root->clip = std::make_unique<MovieClip>(root.get(), &noFrames, dictionary_, static_cast<TimelineListener*>(this));
    DisplayObject& placed = *root;
    levels_[level] = std::move(root);
    ShowBitmapInClip(placed, std::move(bitmap));
}

void Playback::UnloadLevel(int level) {
    auto it = levels_.find(level);
    if (it == levels_.end()) return;
    std::unique_ptr<DisplayObject> root = std::move(it->second);
    levels_.erase(it);
    root->clip->Clear();
    ObjectRemoved(*root);
    // A script of that level may be running: the object goes once it has ended.
    retiredLevels_.push_back(std::move(root));
}

std::vector<const MovieClip*> Playback::Levels() const {
    std::vector<const MovieClip*> clips;
    for (const auto& [number, level] : levels_) clips.push_back(level->clip.get());
    return clips;
}

int Playback::LevelOf(const DisplayObject* root) const {
    if (!root) return -1;
    if (root == &rootObject_) return 0;
    for (const auto& [number, level] : levels_)
        if (level.get() == root) return number;
    return -1;
}

} // namespace refplayer
