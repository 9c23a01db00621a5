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

Playback::~Playback() = default;

void Playback::Reset(const std::wstring& flashVars) {
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
    if (!playing_ || current_ < 0) return false;
    int next = current_ + 1;
    if (next >= LoadedFrames()) {
        // The next frame has not arrived yet: wait on this one.
        if (!Complete()) return false;
        if (!loop_) {
            playing_ = false;
            return false;
        }
        next = 0;
    }
    // A one-frame movie that loops stays where it is.
    if (next == current_) return false;
    EnterFrame(next);
    return true;
}

void Playback::EnterFrame(int frame) {
    current_ = frame;
    // A copy: an action may reach the host, which may load another movie into this one.
    std::vector<SwfAction> actions = parser_->Movie().frames[static_cast<size_t>(frame)].actions;
    for (const SwfAction& action : actions) {
        if (!action.getUrl) continue;
        if (std::optional<SwfFsCommand> command = ToFsCommand(*action.getUrl))
            host_.FsCommand(FromUtf8(command->command), FromUtf8(command->args));
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
