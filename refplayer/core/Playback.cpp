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
    if (value.kind == InvokeValue::Kind::Number) {
        std::wstring text = std::to_wstring(value.number);
        // Whole numbers read as integers, as the movie's own string conversion gives them.
        if (value.number == static_cast<double>(static_cast<long long>(value.number)))
            text = std::to_wstring(static_cast<long long>(value.number));
        return text;
    }
    if (value.kind == InvokeValue::Kind::True) return L"true";
    if (value.kind == InvokeValue::Kind::False) return L"false";
    return std::wstring();
}

} // namespace

Playback::Playback(PlaybackHost& host) : host_(host), parser_(std::make_unique<SwfParser>()) {}

Playback::~Playback() {
    // The timeline's objects go without telling anyone.
    rootObject_.clip.reset();
}

void Playback::Reset(const std::wstring& flashVars) {
    if (runningClip_) runningClipGone_ = true;
    if (rootObject_.clip) rootObject_.clip->Clear();
    rootObject_.clip.reset();
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
    // Sprites move on whether or not the movie's own timeline plays.
    bool childrenMoved = rootObject_.clip->TickChildren();
    RunPendingActions();
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
    current_ = frame;
    rootObject_.clip->GotoFrame(frame);
    RunPendingActions();
    UpdateBoundFields();
}

void Playback::FrameActions(MovieClip& clip, const SwfFrame& frame) {
    if (!frame.actions.empty()) pending_.push_back(PendingActions{&clip, frame.actions});
}

void Playback::ObjectRemoved(DisplayObject& object) {
    // Actions queued for a clip that is gone are dropped.
    if (!object.clip) return;
    MovieClip* clip = object.clip.get();
    if (clip == runningClip_) runningClipGone_ = true;
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const PendingActions& p) { return p.clip == clip; }),
                   pending_.end());
}

void Playback::RunPendingActions() {
    if (runningActions_) return;  // the outer call drains what this one would
    runningActions_ = true;
    // Bounded: actions that keep jumping between frames cannot hold the player.
    for (int guard = 0; !pending_.empty() && guard < 10000; guard++) {
        PendingActions next = std::move(pending_.front());
        pending_.erase(pending_.begin());
        RunActions(*next.clip, next.actions);
        runningClip_ = nullptr;
    }
    pending_.clear();
    runningActions_ = false;
}

namespace {

bool UpdateFields(MovieClip& clip, VariableTable& variables) {
    bool changed = false;
    for (const auto& [depth, object] : clip.Objects()) {
        if (object->clip) changed = UpdateFields(*object->clip, variables) || changed;
        if (!object->character || !object->character->editText) continue;
        const std::string& variable = object->character->editText->variable;
        if (variable.empty()) continue;
        std::optional<std::wstring> value = variables.Get(FromUtf8(variable));
        if (!value) continue;
        std::string text = ToUtf8(*value);
        if (text != object->text) {
            object->text = text;
            changed = true;
        }
    }
    return changed;
}

} // namespace

bool Playback::UpdateBoundFields() {
    return rootObject_.clip ? UpdateFields(*rootObject_.clip, variables_) : false;
}

void Playback::ButtonEvent(DisplayObject& button, uint16_t conditions) {
    if (!button.character || !button.character->button || !button.parent) return;
    // A copy: the actions may remove the button.
    std::shared_ptr<SwfButton> definition = button.character->button;
    MovieClip* clip = button.parent;
    for (const SwfButtonAction& action : definition->actions) {
        if (!(action.conditions & conditions)) continue;
        std::vector<SwfAction> actions;
        try {
            actions = ParseActions(action.actions.data(), action.actions.size());
        } catch (const FormatError&) {
            continue;  // a malformed list runs as far as it parsed: here, not at all
        }
        pending_.push_back(PendingActions{clip, std::move(actions)});
    }
    RunPendingActions();
}

void Playback::RunActions(MovieClip& clip, const std::vector<SwfAction>& actions) {
    runningClip_ = &clip;
    runningClipGone_ = false;
    bool isRoot = &clip == rootObject_.clip.get();
    auto setPlaying = [&](bool playing) {
        if (isRoot)
            playing_ = playing;
        else
            clip.SetPlaying(playing);
    };
    auto gotoFrame = [&](int frame) {
        if (isRoot) {
            if (LoadedFrames() == 0) return;
            current_ = std::clamp(frame, 0, LoadedFrames() - 1);
            clip.GotoFrame(current_);
        } else {
            clip.GotoFrame(frame);
        }
    };
    // A copy of the list is what runs: an action may reach the host, which may load another movie.
    for (const SwfAction& action : actions) {
        switch (action.code) {
        case SwfActionGetUrl:
            if (action.getUrl)
                if (std::optional<SwfFsCommand> command = ToFsCommand(*action.getUrl))
                    host_.FsCommand(FromUtf8(command->command), FromUtf8(command->args));
            break;
        case SwfActionStop: setPlaying(false); break;
        case SwfActionPlay: setPlaying(true); break;
        case SwfActionNextFrame: gotoFrame((isRoot ? current_ : clip.CurrentFrame()) + 1); setPlaying(false); break;
        case SwfActionPreviousFrame: gotoFrame((isRoot ? current_ : clip.CurrentFrame()) - 1); setPlaying(false); break;
        case SwfActionGotoFrame:
            if (action.data.size() >= 2) gotoFrame(action.data[0] | action.data[1] << 8);
            break;
        case SwfActionGotoLabel: {
            std::string label(action.data.begin(), std::find(action.data.begin(), action.data.end(), uint8_t(0)));
            int frame = clip.LabelFrame(label);
            if (frame >= 0) gotoFrame(frame);
            break;
        }
        default:
            break;
        }
        if (runningClipGone_) return;
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
        std::optional<std::wstring> value = variables_.Get(ArgumentText(request, 0));
        return SerializeInvokeValue(value ? InvokeValue::String(*value) : InvokeValue::Null());
    }
    if (request.name == L"setVariable") {
        variables_.Set(ArgumentText(request, 0), ArgumentText(request, 1));
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
