#include "refplayer/core/Playback.h"

#include <algorithm>

#include "refplayer/core/InvokeXml.h"
#include "refplayer/core/TextCodec.h"

namespace refplayer {

namespace {

std::wstring ArgumentText(const InvokeRequest& request, size_t index) {
    if (index >= request.arguments.size()) return std::wstring();
    const InvokeValue& value = request.arguments[index];
    if (value.kind == InvokeValue::Kind::String) return value.text;
    // Whole numbers read as integers ("5"), others in their shortest exact form; any double,
    // however large, converts without passing through an integer type.
    if (value.kind == InvokeValue::Kind::Number) return FormatNumber(value.number);
    if (value.kind == InvokeValue::Kind::True) return L"true";
    if (value.kind == InvokeValue::Kind::False) return L"false";
    return std::wstring();
}

} // namespace

Playback::Playback(PlaybackHost& host) : host_(host), parser_(std::make_unique<SwfParser>()) {}

Playback::~Playback() {
    // The timeline's objects go without telling anyone.
    engine_.reset();
    streams_.clear();
    rootObject_.clip.reset();
    levels_.clear();
    retiredLevels_.clear();
}

void Playback::Reset(const std::wstring& flashVars) {
    if (runningClip_) runningClipGone_ = true;
    if (rootObject_.clip) rootObject_.clip->Clear();
    rootObject_.clip.reset();
    for (auto& [number, level] : levels_) level->clip->Clear();
    for (auto& [number, level] : levels_) retiredLevels_.push_back(std::move(level));
    levels_.clear();
    loadRequests_ = 0;
    engine_.reset();
    soundStarts_.clear();
    initActionsRun_.clear();
    pendingStatus_.clear();
    streams_.clear();
    clock_ = 0;
    pending_.clear();
    dictionary_.Clear();
    parser_ = std::make_unique<SwfParser>();
    variables_.Clear();
    variables_.LoadFlashVars(flashVars);
    current_ = -1;
    playing_ = true;
}

void Playback::Append(const uint8_t* data, size_t size) { parser_->Append(data, size); }

bool Playback::HeaderParsed() const { return parser_->HeaderParsed(); }
bool Playback::Complete() const { return parser_->Complete(); }
const SwfHeader& Playback::Header() const { return parser_->Movie().header; }
std::optional<uint32_t> Playback::BackgroundColor() const { return parser_->Movie().backgroundColor; }
int Playback::PercentLoaded() const { return parser_->HeaderParsed() ? parser_->PercentLoaded() : 0; }

int Playback::TotalFrames() const {
    if (!parser_->HeaderParsed()) return 0;
    // A complete movie may hold more frames than its header admits; the frames count.
    return std::max<int>(parser_->Movie().header.frameCount, LoadedFrames());
}

int Playback::LoadedFrames() const { return static_cast<int>(parser_->Movie().frames.size()); }

bool Playback::StartIfReady() {
    if (current_ >= 0 || LoadedFrames() == 0) return false;
    EnterFrame(0);
    return true;
}

bool Playback::GotoFrame(int frame) {
    if (LoadedFrames() == 0) return false;
    EnterFrame(std::clamp(frame, 0, LoadedFrames() - 1));
    return true;
}

bool Playback::Advance() {
    if (StartIfReady()) return true;
    if (current_ < 0) return false;
    if (!runningActions_) retiredLevels_.clear();
    // Sprites move on whether or not the movie's own timeline plays.
    bool childrenMoved = rootObject_.clip->TickChildren();
    RunPendingActions();
    // The levels above play at this movie's frame rate; their scripts may unload levels.
    std::vector<int> numbers;
    for (const auto& [number, level] : levels_) numbers.push_back(number);
    for (int number : numbers) {
        auto it = levels_.find(number);
        if (it == levels_.end()) continue;
        if (it->second->clip->Tick()) childrenMoved = true;
        RunPendingActions();
    }
    if (!playing_) return childrenMoved;
    int next = current_ + 1;
    if (next >= LoadedFrames()) {
        // The next frame has not arrived yet: wait on this one.
        if (!Complete()) return childrenMoved;
        if (!loop_) {
            playing_ = false;
            return childrenMoved;
        }
        next = 0;
    }
    // A one-frame movie that loops stays where it is.
    if (next == current_) return childrenMoved;
    EnterFrame(next);
    return true;
}

void Playback::EnterFrame(int frame) {
    if (!rootObject_.clip)
        rootObject_.clip = std::make_unique<MovieClip>(&rootObject_, &parser_->Movie().frames, dictionary_,
                                                       static_cast<TimelineListener*>(this));
    EnsureEngine();
    current_ = frame;
    rootObject_.clip->GotoFrame(frame);
    RunPendingActions();
    UpdateBoundFields();
}

void Playback::EnsureEngine() {
    if (engine_) return;
    engine_ = std::make_unique<ScriptEngine>(static_cast<ScriptHost&>(*this), parser_->Movie().header.version);
    // FlashVars are the root's variables before its first frame runs.
    for (const auto& [name, value] : variables_.Values()) engine_->SetVariable(&rootObject_, ToUtf8(name), ToUtf8(value));
}

void Playback::FrameActions(MovieClip& clip, const SwfFrame& frame) {
    DisplayObject* owner = clip.Owner();
    const CharacterDictionary& dictionary = clip.Dictionary();
    for (const SwfTag& tag : frame.tags) {
        if (tag.code == SwfTagDoInitAction && tag.body.size() >= 2) {
            // Once per sprite of each movie, before the frame's own actions.
            std::pair<uint64_t, uint16_t> sprite(clip.Loaded() ? clip.Loaded()->serial : 0,
                                                 uint16_t(tag.body[0] | tag.body[1] << 8));
            if (std::find(initActionsRun_.begin(), initActionsRun_.end(), sprite) != initActionsRun_.end()) continue;
            initActionsRun_.push_back(sprite);
            pending_.push_back(PendingActions{owner, std::vector<uint8_t>(tag.body.begin() + 2, tag.body.end())});
        }
    }
    for (const SwfTag& tag : frame.tags) {
        if (tag.code == SwfTagDoAction) pending_.push_back(PendingActions{owner, tag.body});
        if (tag.code == SwfTagStartSound && tag.body.size() >= 3) {
            const SwfCharacter* character = dictionary.Find(uint16_t(tag.body[0] | tag.body[1] << 8));
            if (!character || !character->sound) continue;
            SoundStart start;
            start.sound = character->sound;
            uint8_t flags = tag.body[2];
            start.stop = flags & 0x20;
            start.noMultiple = flags & 0x10;
            // Loops follow the in and out points when the flags give them.
            size_t at = 3 + (flags & 0x01 ? 4 : 0) + (flags & 0x02 ? 4 : 0);
            if ((flags & 0x04) && at + 2 <= tag.body.size()) start.loops = std::max(1, tag.body[at] | tag.body[at + 1] << 8);
            soundStarts_.push_back(std::move(start));
        }
    }
}

void Playback::ObjectRemoved(DisplayObject& object) {
    // Actions queued for an object that is gone are dropped, and scripts forget it.
    if (&object == runningClip_) runningClipGone_ = true;
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const PendingActions& p) { return p.clip == &object; }),
                   pending_.end());
    if (engine_) engine_->ObjectRemoved(&object);
}

void Playback::RunPendingActions() {
    if (runningActions_) return;  // the outer call drains what this one would
    runningActions_ = true;
    // Bounded: actions that keep jumping between frames cannot hold the player.
    for (int guard = 0; (!pending_.empty() || !pendingStatus_.empty()) && guard < 10000; guard++) {
        if (!pending_.empty()) {
            PendingActions next = std::move(pending_.front());
            pending_.erase(pending_.begin());
            RunActions(*next.clip, next.actions);
            runningClip_ = nullptr;
            continue;
        }
        auto [stream, code, level] = pendingStatus_.front();
        pendingStatus_.erase(pendingStatus_.begin());
        if (engine_) engine_->NetStreamStatus(stream, code, level);
    }
    pending_.clear();
    pendingStatus_.clear();
    runningActions_ = false;
}

namespace {

template <typename Lookup>
bool UpdateFields(MovieClip& clip, const Lookup& lookup) {
    bool changed = false;
    for (const auto& [depth, object] : clip.Objects()) {
        if (object->clip) changed = UpdateFields(*object->clip, lookup) || changed;
        if (!object->character || !object->character->editText) continue;
        const std::string& variable = object->character->editText->variable;
        if (variable.empty()) continue;
        std::optional<std::string> value = lookup(clip.Owner(), variable);
        if (!value) continue;
        const std::string& text = *value;
        if (text != object->text) {
            object->text = text;
            changed = true;
        }
    }
    return changed;
}

} // namespace

bool Playback::UpdateBoundFields() {
    if (!rootObject_.clip) return false;
    bool changed = false;
    for (const auto& [number, level] : levels_)
        changed = UpdateFields(*level->clip, [this](DisplayObject* clip, const std::string& name) {
            return engine_ ? engine_->GetVariable(clip, name) : std::nullopt;
        }) || changed;
    // A field's variable lives on the clip that holds the field.
    return UpdateFields(*rootObject_.clip, [this](DisplayObject* clip, const std::string& name) {
        std::optional<std::string> value;
        if (engine_) value = engine_->GetVariable(clip, name);
        if (!value && clip == &rootObject_) {
            if (std::optional<std::wstring> table = variables_.Get(FromUtf8(name))) value = ToUtf8(*table);
        }
        return value;
    }) || changed;
}

void Playback::ButtonEvent(DisplayObject& button, uint16_t conditions) {
    if (!button.character || !button.character->button || !button.parent) return;
    // A copy: the actions may remove the button.
    std::shared_ptr<SwfButton> definition = button.character->button;
    DisplayObject* clip = button.parent->Owner();
    static const std::pair<uint16_t, SwfButtonTransition> transitions[] = {
        {ButtonRollOut, ButtonOverToUp}, {ButtonRollOver, ButtonUpToOver}, {ButtonPress, ButtonOverToDown},
        {ButtonRelease, ButtonDownToOver}};
    for (const auto& [condition, transition] : transitions) {
        const SwfButtonSound& sound = definition->sounds[transition];
        if (!(conditions & condition) || !sound.soundId) continue;
        const SwfCharacter* character = button.parent->Dictionary().Find(sound.soundId);
        if (!character || !character->sound) continue;
        SoundStart start;
        start.sound = character->sound;
        start.stop = sound.info.stop;
        start.loops = sound.info.loops;
        start.noMultiple = sound.info.noMultiple;
        soundStarts_.push_back(std::move(start));
    }
    for (const SwfButtonAction& action : definition->actions)
        if (action.conditions & conditions) pending_.push_back(PendingActions{clip, action.actions});
    RunPendingActions();
    static const std::pair<uint16_t, const char*> events[] = {
        {ButtonPress, "onPress"}, {ButtonRelease, "onRelease"}, {ButtonRollOver, "onRollOver"},
        {ButtonRollOut, "onRollOut"}, {ButtonReleaseOutside, "onReleaseOutside"}};
    for (const auto& [condition, name] : events) {
        if (!(conditions & condition) || !engine_) continue;
        engine_->ClipEvent(&button, name);
        RunPendingActions();
    }
}

void Playback::SetButtonState(DisplayObject& button, uint8_t state) {
    if (!button.parent) {
        button.buttonState = state;
        return;
    }
    button.parent->ShowButtonState(button, state);
    RunPendingActions();
}

void Playback::RunActions(DisplayObject& clip, const std::vector<uint8_t>& actions) {
    EnsureEngine();
    runningClip_ = &clip;
    runningClipGone_ = false;
    engine_->Run(&clip, actions.data(), actions.size());
}

void Playback::SetVariable(const std::string& name, const std::string& value) {
    variables_.Set(FromUtf8(name), FromUtf8(value));
    if (engine_) engine_->SetVariable(&rootObject_, name, value);
    UpdateBoundFields();
}

std::optional<std::string> Playback::GetVariable(const std::string& name) {
    if (engine_) {
        if (std::optional<std::string> value = engine_->GetVariable(&rootObject_, name)) return value;
    }
    std::optional<std::wstring> value = variables_.Get(FromUtf8(name));
    if (!value) return std::nullopt;
    return ToUtf8(*value);
}

namespace {

void CollectClips(MovieClip& clip, std::vector<DisplayObject*>& clips) {
    for (const auto& [depth, object] : clip.Objects()) {
        if (!object->clip) continue;
        clips.push_back(object.get());
        CollectClips(*object->clip, clips);
    }
}

} // namespace

void Playback::EnterFrameEvents() {
    if (!engine_ || !rootObject_.clip) return;
    std::vector<DisplayObject*> clips{&rootObject_};
    CollectClips(*rootObject_.clip, clips);
    for (const auto& [number, level] : levels_) {
        clips.push_back(level.get());
        CollectClips(*level->clip, clips);
    }
    for (DisplayObject* clip : clips) {
        // Handlers may remove clips listed after them: only those still shown are called.
        if (clip != &rootObject_ && !Holds(clip)) continue;
        engine_->ClipEvent(clip, "onEnterFrame");
        RunPendingActions();
    }
}

std::wstring Playback::CallFunction(const std::wstring& requestXml) {
    InvokeRequest request = ParseInvoke(requestXml);
    if (request.name == L"echo")
        return SerializeInvokeValue(request.arguments.empty() ? InvokeValue() : request.arguments[0]);
    if (request.name == L"callHost") {
        if (request.arguments.empty() || request.arguments[0].kind != InvokeValue::Kind::String)
            throw FormatError("callHost needs the name of the host function");
        InvokeRequest call;
        call.name = request.arguments[0].text;
        call.returnType = L"xml";
        call.arguments.assign(request.arguments.begin() + 1, request.arguments.end());
        std::wstring answer = host_.FlashCall(SerializeInvoke(call));
        return answer.empty() ? SerializeInvokeValue(InvokeValue()) : answer;
    }
    if (request.name == L"getVariable") {
        std::optional<std::string> value = GetVariable(ToUtf8(ArgumentText(request, 0)));
        return SerializeInvokeValue(value ? InvokeValue::String(FromUtf8(*value)) : InvokeValue::Null());
    }
    if (request.name == L"setVariable") {
        SetVariable(ToUtf8(ArgumentText(request, 0)), ToUtf8(ArgumentText(request, 1)));
        return SerializeInvokeValue(InvokeValue());
    }
    if (request.name == L"getTotalFrames") return SerializeInvokeValue(InvokeValue::Number(TotalFrames()));
    throw UnknownFunctionError("the movie has no function " + ToUtf8(request.name));
}

bool VideoPlayback::Advance(uint32_t elapsedMilliseconds) {
    clock_ += elapsedMilliseconds;
    size_t before = shown_;
    const std::vector<FlvTag>& tags = parser_.Tags();
    while (shown_ < tags.size() && tags[shown_].timestamp <= clock_) shown_++;
    return shown_ != before;
}

} // namespace refplayer
