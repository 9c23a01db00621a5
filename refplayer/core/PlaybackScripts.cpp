// The display list as the script engine sees it: Playback's side of ScriptHost.

#include <algorithm>
#include <cmath>

#include "refplayer/core/Playback.h"
#include "refplayer/core/TextCodec.h"

namespace refplayer {

namespace {

constexpr double Pi = 3.14159265358979323846;

// The box (twips, in the space of m) of what a character draws; false when it draws nothing.
bool Bounds(const SwfCharacter* character, const DisplayObject* instance, const SwfMatrix& m,
            const CharacterDictionary& dictionary, double box[4], int depth = 0) {
    if (!character || depth > 32) return false;
    auto add = [&](const SwfRect& r, const SwfMatrix& t) {
        const double xs[2] = {double(r.xMin), double(r.xMax)}, ys[2] = {double(r.yMin), double(r.yMax)};
        for (double x : xs)
            for (double y : ys) {
                double px = t.MapX(x, y), py = t.MapY(x, y);
                box[0] = std::min(box[0], px);
                box[1] = std::min(box[1], py);
                box[2] = std::max(box[2], px);
                box[3] = std::max(box[3], py);
            }
    };
    bool any = false;
    if (character->shape) {
        add(character->shape->bounds, m);
        any = true;
    } else if (character->morph) {
        add(character->morph->At(instance ? instance->ratio : 0).bounds, m);
        any = true;
    } else if (character->editText) {
        add(character->editText->bounds, m);
        any = true;
    } else if (character->video) {
        add(SwfRect{0, int32_t(character->video->width * 20), 0, int32_t(character->video->height * 20)}, m);
        any = true;
    } else if (instance && instance->clip) {
        for (const auto& [d, child] : instance->clip->Objects())
            any = Bounds(child->character, child.get(), m * child->matrix, instance->clip->Dictionary(), box,
                         depth + 1) || any;
    } else if (character->button) {
        for (const SwfButtonRecord& record : character->button->records)
            if (record.states & ButtonUp)
                any = Bounds(dictionary.Find(record.characterId), nullptr, m * record.matrix, dictionary, box,
                             depth + 1) || any;
    }
    return any;
}

} // namespace

MovieClip* Playback::Timeline(ScriptObjectRef* ref) const {
    DisplayObject* object = Object(ref);
    return object ? object->clip.get() : nullptr;
}

ScriptObjectRef* Playback::Level(int level) {
    if (level == 0) return rootObject_.clip ? &rootObject_ : nullptr;
    auto it = levels_.find(level);
    return it == levels_.end() ? nullptr : it->second.get();
}

ScriptObjectRef* Playback::Parent(ScriptObjectRef* object) {
    DisplayObject* o = Object(object);
    return o && o->parent ? o->parent->Owner() : nullptr;
}

ScriptObjectRef* Playback::Child(ScriptObjectRef* clip, const std::string& name) {
    MovieClip* timeline = Timeline(clip);
    return timeline ? timeline->ObjectNamed(name) : nullptr;
}

ScriptObjectKind Playback::Kind(ScriptObjectRef* object) {
    DisplayObject* o = Object(object);
    if (!o) return ScriptObjectKind::Other;
    if (o->clip) return ScriptObjectKind::MovieClip;
    if (o->character && o->character->editText) return ScriptObjectKind::TextField;
    if (o->character && o->character->button) return ScriptObjectKind::Button;
    if (o->character && o->character->video) return ScriptObjectKind::Video;
    return ScriptObjectKind::Other;
}

std::string Playback::TargetPath(ScriptObjectRef* object) {
    std::vector<std::string> names;
    DisplayObject* o = Object(object);
    for (; o && o != &rootObject_ && o->parent; o = o->parent->Owner()) names.push_back(o->name);
    // Paths in the levels above 0 start at their level.
    int level = LevelOf(o);
    std::string path = level > 0 ? "_level" + std::to_string(level) : std::string();
    if (names.empty()) return level > 0 ? path : "/";
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
    return path;
}

double Playback::GetNumber(ScriptObjectRef* object, ClipProperty property) {
    DisplayObject* o = Object(object);
    if (!o) return 0;
    const SwfMatrix& m = o->matrix;
    MovieClip* timeline = o->clip.get();
    bool root = o == &rootObject_;
    switch (property) {
    case ClipProperty::X: return m.tx / 20;
    case ClipProperty::Y: return m.ty / 20;
    case ClipProperty::XScale: return std::sqrt(m.a * m.a + m.b * m.b) * 100;
    case ClipProperty::YScale: return std::sqrt(m.c * m.c + m.d * m.d) * 100;
    case ClipProperty::CurrentFrame:
        return root ? current_ + 1 : timeline ? timeline->CurrentFrame() + 1 : 1;
    case ClipProperty::TotalFrames: return root ? TotalFrames() : timeline ? timeline->FrameCount() : 1;
    case ClipProperty::FramesLoaded: return root ? LoadedFrames() : timeline ? timeline->FrameCount() : 1;
    case ClipProperty::Alpha: return o->transform.mult[3] * 100.0 / 256;
    case ClipProperty::Visible: return o->visible ? 1 : 0;
    case ClipProperty::Rotation: return std::atan2(m.b, m.a) * 180 / Pi;
    case ClipProperty::Width:
    case ClipProperty::Height: {
        double box[4] = {1e300, 1e300, -1e300, -1e300};
        const SwfCharacter* character = o->character;
        bool any = root ? false : Bounds(character, o, m, dictionary_, box);
        if (root && o->clip)
            for (const auto& [d, child] : o->clip->Objects())
                any = Bounds(child->character, child.get(), child->matrix, dictionary_, box) || any;
        if (!any) return 0;
        return (property == ClipProperty::Width ? box[2] - box[0] : box[3] - box[1]) / 20;
    }
    case ClipProperty::HighQuality: return 1;
    case ClipProperty::FocusRect: return 1;
    case ClipProperty::SoundBufTime: return 5;
    default: return 0;
    }
}

std::string Playback::GetText(ScriptObjectRef* object, ClipProperty property) {
    DisplayObject* o = Object(object);
    if (!o) return std::string();
    switch (property) {
    case ClipProperty::Name: return o->name;
    case ClipProperty::Target: return TargetPath(object);
    case ClipProperty::Quality: return "HIGH";
    default: return std::string();
    }
}

void Playback::SetNumber(ScriptObjectRef* object, ClipProperty property, double value) {
    DisplayObject* o = Object(object);
    if (!o || !std::isfinite(value)) return;
    SwfMatrix& m = o->matrix;
    switch (property) {
    case ClipProperty::X: m.tx = value * 20; break;
    case ClipProperty::Y: m.ty = value * 20; break;
    case ClipProperty::XScale: {
        double angle = std::atan2(m.b, m.a);
        m.a = std::cos(angle) * value / 100;
        m.b = std::sin(angle) * value / 100;
        break;
    }
    case ClipProperty::YScale: {
        double angle = std::atan2(-m.c, m.d);
        m.c = -std::sin(angle) * value / 100;
        m.d = std::cos(angle) * value / 100;
        break;
    }
    case ClipProperty::Rotation: {
        double sx = std::sqrt(m.a * m.a + m.b * m.b), sy = std::sqrt(m.c * m.c + m.d * m.d);
        double angle = value * Pi / 180;
        m.a = std::cos(angle) * sx;
        m.b = std::sin(angle) * sx;
        m.c = -std::sin(angle) * sy;
        m.d = std::cos(angle) * sy;
        break;
    }
    case ClipProperty::Alpha:
        o->transform.mult[3] = static_cast<int16_t>(std::clamp(value * 256 / 100, -32768.0, 32767.0));
        break;
    case ClipProperty::Visible: o->visible = value != 0; break;
    case ClipProperty::Width:
    case ClipProperty::Height: {
        double current = GetNumber(object, property);
        if (current <= 0) break;
        double factor = value / current;
        if (property == ClipProperty::Width) {
            m.a *= factor;
            m.b *= factor;
        } else {
            m.c *= factor;
            m.d *= factor;
        }
        break;
    }
    default: break;
    }
}

void Playback::SetText(ScriptObjectRef* object, ClipProperty property, const std::string& value) {
    DisplayObject* o = Object(object);
    if (o && property == ClipProperty::Name && o != &rootObject_) o->name = value;
}

void Playback::GotoFrame(ScriptObjectRef* clip, int frame, bool play) {
    DisplayObject* o = Object(clip);
    if (!o || !o->clip) return;
    if (o == &rootObject_) {
        if (LoadedFrames() == 0) return;
        current_ = std::clamp(frame, 0, LoadedFrames() - 1);
        o->clip->GotoFrame(current_);
        playing_ = play;
    } else {
        o->clip->GotoFrame(frame);
        o->clip->SetPlaying(play);
    }
}

bool Playback::GotoLabel(ScriptObjectRef* clip, const std::string& label, bool play) {
    MovieClip* timeline = Timeline(clip);
    if (!timeline) return false;
    int frame = timeline->LabelFrame(label);
    if (frame < 0) return false;
    GotoFrame(clip, frame, play);
    return true;
}

void Playback::SetPlaying(ScriptObjectRef* clip, bool playing) {
    DisplayObject* o = Object(clip);
    if (!o || !o->clip) return;
    if (o == &rootObject_)
        playing_ = playing;
    else
        o->clip->SetPlaying(playing);
}

void Playback::NextFrame(ScriptObjectRef* clip) {
    DisplayObject* o = Object(clip);
    if (!o || !o->clip) return;
    int now = o == &rootObject_ ? current_ : o->clip->CurrentFrame();
    GotoFrame(clip, now + 1, false);
}

void Playback::PreviousFrame(ScriptObjectRef* clip) {
    DisplayObject* o = Object(clip);
    if (!o || !o->clip) return;
    int now = o == &rootObject_ ? current_ : o->clip->CurrentFrame();
    GotoFrame(clip, std::max(0, now - 1), false);
}

void Playback::SetFieldText(ScriptObjectRef* field, const std::string& text) {
    if (DisplayObject* o = Object(field)) o->text = text;
}

std::string Playback::FieldText(ScriptObjectRef* field) {
    DisplayObject* o = Object(field);
    return o ? o->text : std::string();
}

void Playback::GetUrl(const std::string& url, const std::string& window, int) {
    if (std::optional<SwfFsCommand> command = ToFsCommand(SwfGetUrl{url, window})) {
        host_.FsCommand(FromUtf8(command->command), FromUtf8(command->args));
        return;
    }
    host_.OpenUrl(FromUtf8(url), FromUtf8(window));
}

void Playback::FsCommand(const std::string& command, const std::string& args) {
    host_.FsCommand(FromUtf8(command), FromUtf8(args));
}

std::string Playback::ExternalCall(const std::string& invokeXml) {
    return ToUtf8(host_.FlashCall(FromUtf8(invokeXml)));
}

namespace {

bool Contains(const MovieClip* clip, const DisplayObject* object) {
    if (!clip) return false;
    for (const auto& [depth, child] : clip->Objects())
        if (child.get() == object || (child->clip && Contains(child->clip.get(), object))) return true;
    return false;
}

} // namespace

bool Playback::Holds(const DisplayObject* object) const {
    if (!object) return false;
    if (object == &rootObject_) return rootObject_.clip != nullptr;
    if (Contains(rootObject_.clip.get(), object)) return true;
    for (const auto& [number, level] : levels_)
        if (level.get() == object || Contains(level->clip.get(), object)) return true;
    return false;
}

void Playback::ShowBitmapInClip(DisplayObject& clip, SwfBitmap bitmap) {
    if (!clip.clip || &clip == &rootObject_) return;
    int width = bitmap.width, height = bitmap.height;
    SwfCharacter picture;
    picture.kind = SwfCharacter::Kind::Bitmap;
    picture.bitmap = std::make_shared<SwfBitmap>(std::move(bitmap));
    uint16_t bitmapId = dictionary_.AddCharacter(std::move(picture));
    // A rectangle of the picture's size filled with it, pixel for pixel.
    auto shape = std::make_shared<SwfShape>();
    SwfFillStyle fill;
    fill.kind = SwfFillStyle::Kind::Bitmap;
    fill.bitmapId = bitmapId;
    fill.matrix.a = fill.matrix.d = 20;
    fill.smooth = true;
    shape->fills.push_back(fill);
    double w = width * 20.0, h = height * 20.0;
    SwfFillPath path;
    auto edge = [](double x0, double y0, double x1, double y1) {
        return SwfEdge{x0, y0, (x0 + x1) / 2, (y0 + y1) / 2, x1, y1, false};
    };
    path.edges = {edge(0, 0, w, 0), edge(w, 0, w, h), edge(w, h, 0, h), edge(0, h, 0, 0)};
    shape->fillPaths.push_back(std::move(path));
    shape->bounds = SwfRect{0, int32_t(w), 0, int32_t(h)};
    SwfCharacter holder;
    holder.kind = SwfCharacter::Kind::Shape;
    holder.shape = std::move(shape);
    uint16_t shapeId = dictionary_.AddCharacter(std::move(holder));
    if (!bitmapId || !shapeId) return;
    // PlaceObject2 of the shape at depth 1 with no matrix.
    SwfTag place{SwfTagPlaceObject2, {0x02, 1, 0, uint8_t(shapeId), uint8_t(shapeId >> 8)}};
    clip.clip->ReplaceContent({place}, dictionary_);
}

NetStreamId Playback::CreateNetStream() {
    if (streams_.size() >= kMaxNetStreams) return 0;
    NetStreamId id = ++lastStream_;
    Stream& stream = streams_[id];
    stream.sink = host_.CreateAudioSink();
    stream.player = std::make_unique<FlvStreamPlayer>(stream.sink.get());
    // Events wait for the script engine's next turn: the player may be mid-call.
    stream.player->SetStatusCallback([this, id](const std::string& code, const std::string& level) {
        pendingStatus_.emplace_back(id, code, level);
    });
    return id;
}

Playback::Stream* Playback::FindStream(NetStreamId id) {
    auto it = streams_.find(id);
    return it == streams_.end() ? nullptr : &it->second;
}

Playback::Stream* Playback::StreamOfTransfer(uint64_t transfer) {
    if (transfer == 0) return nullptr;
    for (auto& [id, stream] : streams_)
        if (stream.transfer == transfer) return &stream;
    return nullptr;
}

void Playback::NetStreamPlay(NetStreamId id, const std::string& url) {
    Stream* stream = FindStream(id);
    if (!stream) return;
    stream->player->Play();
    stream->transfer = ++lastTransfer_;
    stream->receivedData = false;
    uint64_t transfer = stream->transfer;
    // The host may feed the whole stream before it returns; the stream is found again after.
    openingStream_ = true;
    bool opened = host_.OpenStream(transfer, FromUtf8(url));
    openingStream_ = false;
    if (!opened)
        if (Stream* still = StreamOfTransfer(transfer)) {
            still->transfer = 0;
            still->player->NotFound();
        }
}

void Playback::NetStreamPause(NetStreamId id, int mode) {
    if (Stream* stream = FindStream(id)) stream->player->Pause(mode);
}

void Playback::NetStreamSeek(NetStreamId id, double seconds) {
    if (Stream* stream = FindStream(id)) stream->player->Seek(seconds);
}

void Playback::NetStreamClose(NetStreamId id) {
    if (Stream* stream = FindStream(id)) {
        stream->transfer = 0;
        stream->player->Close();
    }
}

void Playback::NetStreamSetBufferTime(NetStreamId id, double seconds) {
    if (Stream* stream = FindStream(id)) stream->player->SetBufferTime(seconds);
}

double Playback::NetStreamTime(NetStreamId id) {
    Stream* stream = FindStream(id);
    return stream ? stream->player->Time() : 0;
}

void Playback::AttachVideo(ScriptObjectRef* video, NetStreamId id) {
    DisplayObject* o = Object(video);
    if (o && o->character && o->character->video) o->videoStream = FindStream(id) ? id : 0;
}

bool Playback::StreamData(uint64_t transfer, const uint8_t* data, size_t size) {
    Stream* stream = StreamOfTransfer(transfer);
    if (!stream) return false;
    if (size == 0) return true;
    stream->receivedData = true;
    stream->player->Append(data, size);
    // Not from inside the script that is playing the stream: the engine is busy there.
    if (!openingStream_) RunPendingActions();
    return StreamOfTransfer(transfer) != nullptr;
}

void Playback::StreamEnd(uint64_t transfer, bool failed) {
    Stream* stream = StreamOfTransfer(transfer);
    if (!stream) return;
    stream->transfer = 0;
    if (failed && !stream->receivedData)
        stream->player->NotFound();
    else
        stream->player->EndOfData();
    if (!openingStream_) RunPendingActions();
}

bool Playback::AdvanceStreams(uint32_t elapsedMilliseconds) {
    bool changed = false;
    for (auto& [id, stream] : streams_) changed = stream.player->Advance(elapsedMilliseconds) || changed;
    RunPendingActions();
    return changed;
}

bool Playback::VideoPicture(const DisplayObject& video, VideoFrame& frame) {
    Stream* stream = video.videoStream ? FindStream(video.videoStream) : nullptr;
    if (!stream || !stream->player->HasPicture()) return false;
    const BgraImage& picture = stream->player->Picture();
    size_t count = size_t(picture.width) * size_t(picture.height);
    if (count == 0 || picture.pixels.size() < count * 4) return false;
    // Converted once per shown picture, not once per paint.
    if (stream->convertedSerial != stream->player->PictureSerial() || stream->pixels.size() != count) {
        stream->pixels.resize(count);
        const uint8_t* p = picture.pixels.data();
        for (size_t i = 0; i < count; i++, p += 4)
            stream->pixels[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        stream->convertedSerial = stream->player->PictureSerial();
    }
    frame.pixels = stream->pixels.data();
    frame.width = picture.width;
    frame.height = picture.height;
    return true;
}

} // namespace refplayer
