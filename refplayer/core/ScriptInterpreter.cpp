#include "refplayer/core/ScriptInterpreter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "refplayer/core/ScriptEngine.h"
#include "refplayer/core/ScriptText.h"

namespace refplayer {

namespace {

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

// "_level7" -> 7; -1 for anything else.
int LevelNumber(const std::string& name) {
    if (!StartsWithNoCase(name, "_level") || name.size() == 6 || name.size() > 12) return -1;
    int level = 0;
    for (size_t i = 6; i < name.size(); i++) {
        if (name[i] < '0' || name[i] > '9') return -1;
        level = level * 10 + (name[i] - '0');
    }
    return level;
}

struct ClipPropertyName { const char* name; ClipProperty property; };
const ClipPropertyName kClipProperties[] = {
    {"_x", ClipProperty::X}, {"_y", ClipProperty::Y}, {"_xscale", ClipProperty::XScale},
    {"_yscale", ClipProperty::YScale}, {"_currentframe", ClipProperty::CurrentFrame},
    {"_totalframes", ClipProperty::TotalFrames}, {"_alpha", ClipProperty::Alpha},
    {"_visible", ClipProperty::Visible}, {"_width", ClipProperty::Width},
    {"_height", ClipProperty::Height}, {"_rotation", ClipProperty::Rotation},
    {"_target", ClipProperty::Target}, {"_framesloaded", ClipProperty::FramesLoaded},
    {"_name", ClipProperty::Name}, {"_droptarget", ClipProperty::DropTarget},
    {"_url", ClipProperty::Url}, {"_highquality", ClipProperty::HighQuality},
    {"_focusrect", ClipProperty::FocusRect}, {"_soundbuftime", ClipProperty::SoundBufTime},
    {"_quality", ClipProperty::Quality}, {"_xmouse", ClipProperty::XMouse},
    {"_ymouse", ClipProperty::YMouse},
};

bool FindClipProperty(const std::string& name, ClipProperty& property) {
    if (name.empty() || name[0] != '_') return false;
    std::string lower = Lower(name);
    for (const auto& entry : kClipProperties) {
        if (lower == entry.name) { property = entry.property; return true; }
    }
    return false;
}

bool IsTextProperty(ClipProperty p) {
    return p == ClipProperty::Target || p == ClipProperty::Name || p == ClipProperty::DropTarget ||
           p == ClipProperty::Url;
}

// "12" -> 12 for array indexes; false for anything that is not a canonical index.
bool ArrayIndex(const std::string& name, size_t& index) {
    if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0')) return false;
    size_t value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + size_t(c - '0');
    }
    index = value;
    return true;
}

// Flags of DefineFunction2, as stored little-endian.
enum : uint16_t {
    PreloadThis = 0x0001, SuppressThis = 0x0002, PreloadArguments = 0x0004, SuppressArguments = 0x0008,
    PreloadSuper = 0x0010, SuppressSuper = 0x0020, PreloadRoot = 0x0040, PreloadParent = 0x0080,
    PreloadGlobal = 0x0100,
};

} // namespace

// Keeps the frame visible to the collector while it runs.
struct FrameRegistration {
    FrameRegistration(ScriptInterpreter& interpreter, ScriptInterpreter::Frame& frame)
        : frames(interpreter.frames_) { frames.push_back(&frame); }
    ~FrameRegistration() { frames.pop_back(); }
    std::vector<ScriptInterpreter::Frame*>& frames;
};

struct DepthGuard {
    DepthGuard(int& depth, int limit) : depth(depth) {
        if (depth >= limit) throw ScriptError("call depth limit reached");
        depth++;
    }
    ~DepthGuard() { depth--; }
    int& depth;
};

ScriptInterpreter::ScriptInterpreter(ScriptHost& host, int swfVersion)
    : host_(host), version_(swfVersion), stepBudget_(ScriptEngine::DefaultStepBudget),
      maxDepth_(ScriptEngine::DefaultCallDepth) {
    // Seeded from the clock and the engine's address: varied enough for movies, and free of
    // the system's random device.
    auto ticks = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    random.seed(uint32_t(ticks ^ (ticks >> 32) ^ uint64_t(reinterpret_cast<uintptr_t>(this))));
    InstallBuiltins();
}

ScriptInterpreter::~ScriptInterpreter() = default;

// -- Entry points ----------------------------------------------------------------------

template <class Body>
void ScriptInterpreter::Enter(Body body) {
    bool outermost = entries_ == 0;
    if (outermost) {
        steps_ = 0;
        lastError_.clear();
    }
    entries_++;
    try {
        body();
    } catch (const std::exception& e) {
        lastError_ = e.what();
    } catch (...) {
        lastError_ = "unexpected failure";
    }
    entries_--;
    if (outermost && heap_.size() >= collectAt_) {
        try { Collect(); } catch (...) {}
    }
}

void ScriptInterpreter::Run(ScriptObjectRef* clip, const uint8_t* actions, size_t size) {
    Enter([&] {
        DepthGuard depth(depth_, maxDepth_);
        Frame frame;
        frame.original = frame.target = ClipObject(clip);
        frame.self = ScriptValue::Object(frame.original);
        frame.registers.resize(4);
        FrameRegistration registration(*this, frame);
        if (actions) Execute(frame, actions, size);
    });
}

void ScriptInterpreter::SetVariable(ScriptObjectRef* clip, const std::string& name, const std::string& value) {
    Enter([&] {
        Frame frame;
        frame.original = frame.target = ClipObject(clip);
        frame.self = ScriptValue::Object(frame.original);
        FrameRegistration registration(*this, frame);
        SetVariablePath(frame, name, ScriptValue::String(value));
    });
}

std::optional<std::string> ScriptInterpreter::GetVariable(ScriptObjectRef* clip, const std::string& path) {
    std::optional<std::string> result;
    Enter([&] {
        Frame frame;
        frame.original = frame.target = ClipObject(clip);
        frame.self = ScriptValue::Object(frame.original);
        FrameRegistration registration(*this, frame);
        ScriptValue value = GetVariablePath(frame, path);
        if (!value.IsUndefined()) result = ToString(value);
    });
    return result;
}

void ScriptInterpreter::NetStreamStatus(NetStreamId stream, const std::string& code, const std::string& level) {
    Enter([&] {
        auto found = streams.find(stream);
        if (found == streams.end()) return;
        ScriptValue self = ScriptValue::Object(found->second);
        ScriptValue handler = Get(self, "onStatus");
        if (!handler.IsObject() || handler.object->cls != ScriptObject::Class::Function) return;
        ScriptObject* info = NewObject();
        Define(info, "code", ScriptValue::String(code));
        Define(info, "level", ScriptValue::String(level));
        Call(handler, self, {ScriptValue::Object(info)});
    });
}

void ScriptInterpreter::ObjectRemoved(ScriptObjectRef* object) {
    auto found = clips_.find(object);
    if (found == clips_.end()) return;
    found->second->display = nullptr;
    found->second->properties.clear();
    clips_.erase(found);
}

void ScriptInterpreter::ClipEvent(ScriptObjectRef* clip, const std::string& name) {
    Enter([&] {
        ScriptObject* object = ClipObject(clip);
        if (!object) return;
        ScriptValue self = ScriptValue::Object(object);
        ScriptValue handler = Get(self, name);
        if (!handler.IsObject() || handler.object->cls != ScriptObject::Class::Function) return;
        Call(handler, self, {});
    });
}

// -- Heap --------------------------------------------------------------------------------

ScriptObject* ScriptInterpreter::NewObject() { return NewObject(objectProto); }

ScriptObject* ScriptInterpreter::NewObject(ScriptObject* proto) {
    if (heap_.size() >= collectAt_ && SafeToCollect()) Collect();
    if (heap_.size() >= MaxObjects) throw ScriptError("too many script objects");
    heap_.push_back(std::make_unique<ScriptObject>());
    heap_.back()->proto = proto;
    return heap_.back().get();
}

ScriptObject* ScriptInterpreter::NewArray(std::vector<ScriptValue> elements) {
    if (elements.size() > MaxArrayLength) throw ScriptError("array too long");
    ScriptObject* array = NewObject(arrayProto);
    array->cls = ScriptObject::Class::Array;
    array->elements = std::move(elements);
    return array;
}

ScriptObject* ScriptInterpreter::NewNative(ScriptNativeFunction function) {
    ScriptObject* object = NewObject(functionProto);
    object->cls = ScriptObject::Class::Function;
    object->native = std::move(function);
    return object;
}

ScriptObject* ScriptInterpreter::ClipObject(ScriptObjectRef* display) {
    if (!display) return nullptr;
    auto found = clips_.find(display);
    if (found != clips_.end()) return found->second;
    ScriptObject* proto = clipProto;
    switch (host_.Kind(display)) {
    case ScriptObjectKind::Video: proto = videoProto; break;
    case ScriptObjectKind::TextField: proto = textFieldProto; break;
    case ScriptObjectKind::Button: proto = buttonProto; break;
    case ScriptObjectKind::Other: proto = objectProto; break;
    case ScriptObjectKind::MovieClip: break;
    }
    ScriptObject* object = NewObject(proto);
    object->cls = ScriptObject::Class::Clip;
    object->display = display;
    clips_[display] = object;
    return object;
}

bool ScriptInterpreter::SafeToCollect() const {
    if (entries_ > 1 || nativeDepth_ > 0) return false;
    for (const Frame* frame : frames_) if (!frame->safe) return false;
    return true;
}

void ScriptInterpreter::MarkValue(const ScriptValue& value) {
    if (value.type == ScriptValue::Type::Object) Mark(value.object);
}

void ScriptInterpreter::Mark(ScriptObject* root) {
    // Iterative, so deep object chains cannot overflow the stack.
    std::vector<ScriptObject*> pending;
    if (root && !root->marked) { root->marked = true; pending.push_back(root); }
    auto push = [&](ScriptObject* o) {
        if (o && !o->marked) { o->marked = true; pending.push_back(o); }
    };
    while (!pending.empty()) {
        ScriptObject* o = pending.back();
        pending.pop_back();
        push(o->proto);
        push(o->definingClip);
        for (ScriptObject* s : o->scope) push(s);
        for (auto& entry : o->properties) if (entry.second.value.IsObject()) push(entry.second.value.object);
        for (auto& element : o->elements) if (element.IsObject()) push(element.object);
    }
}

void ScriptInterpreter::Collect() {
    for (auto& object : heap_) object->marked = false;
    for (ScriptObject* root : roots_) Mark(root);
    Mark(global);
    for (auto& entry : clips_) Mark(entry.second);
    for (auto& entry : streams) Mark(entry.second);
    for (Frame* frame : frames_) {
        MarkValue(frame->self);
        Mark(frame->original);
        Mark(frame->target);
        Mark(frame->activation);
        Mark(frame->callee);
        for (ScriptObject* s : frame->scope) Mark(s);
        for (auto& v : frame->args) MarkValue(v);
        for (auto& v : frame->registers) MarkValue(v);
        for (auto& v : frame->stack) MarkValue(v);
        for (auto& w : frame->withs) Mark(w.object);
        MarkValue(frame->result);
    }
    heap_.erase(std::remove_if(heap_.begin(), heap_.end(), [](const std::unique_ptr<ScriptObject>& o) { return !o->marked; }),
                heap_.end());
    collectAt_ = std::max<size_t>(4096, heap_.size() * 2);
}

// -- Properties --------------------------------------------------------------------------

std::string ScriptInterpreter::Key(const std::string& name) const {
    return version_ >= 7 ? name : Lower(name);
}

ScriptProperty* ScriptInterpreter::FindOwn(ScriptObject* object, const std::string& name) {
    auto found = object->properties.find(Key(name));
    return found == object->properties.end() ? nullptr : &found->second;
}

void ScriptInterpreter::Define(ScriptObject* object, const std::string& name, ScriptValue value) {
    auto& property = object->properties[Key(name)];
    if (property.name.empty()) {
        property.name = name;
        property.order = nextOrder_++;
    }
    property.value = std::move(value);
}

ScriptObject* ScriptInterpreter::Parent(ScriptObject* clip) {
    if (!clip || !clip->display) return nullptr;
    return ClipObject(host_.Parent(clip->display));
}

ScriptObject* ScriptInterpreter::Root(ScriptObject* clip) {
    if (!clip || !clip->display) return ClipObject(host_.Level(0));
    ScriptObjectRef* display = clip->display;
    for (int i = 0; i < 10000; i++) {
        ScriptObjectRef* parent = host_.Parent(display);
        if (!parent) break;
        display = parent;
    }
    return ClipObject(display);
}

bool ScriptInterpreter::GetClipBuiltin(ScriptObject* clip, const std::string& name, ScriptValue& out) {
    ScriptObjectRef* display = clip->display;
    ClipProperty property;
    if (FindClipProperty(name, property)) {
        if (IsTextProperty(property)) out = ScriptValue::String(host_.GetText(display, property));
        else if (property == ClipProperty::Visible) out = ScriptValue::Bool(host_.GetNumber(display, property) != 0);
        else out = ScriptValue::Number(host_.GetNumber(display, property));
        return true;
    }
    std::string lower = Lower(name);
    if (lower == "_parent") { out = ScriptValue::Object(Parent(clip)); if (out.IsNull()) out = {}; return true; }
    if (lower == "_root") { out = ScriptValue::Object(Root(clip)); return true; }
    int level = LevelNumber(name);
    if (level >= 0) { out = ScriptValue::Object(ClipObject(host_.Level(level))); if (out.IsNull()) out = {}; return true; }
    if (host_.Kind(display) == ScriptObjectKind::TextField && name == "text") {
        out = ScriptValue::String(host_.FieldText(display));
        return true;
    }
    return false;
}

bool ScriptInterpreter::SetClipBuiltin(ScriptObject* clip, const std::string& name, const ScriptValue& value) {
    ScriptObjectRef* display = clip->display;
    ClipProperty property;
    if (FindClipProperty(name, property)) {
        if (IsTextProperty(property)) {
            host_.SetText(display, property, ToString(value));
        } else if (property == ClipProperty::Visible) {
            host_.SetNumber(display, property, ToBoolean(value) ? 1 : 0);
        } else {
            double number = ToNumber(value);
            if (std::isfinite(number)) host_.SetNumber(display, property, number); // NaN leaves it
        }
        return true;
    }
    if (host_.Kind(display) == ScriptObjectKind::TextField && name == "text") {
        host_.SetFieldText(display, ToString(value));
        return true;
    }
    return false;
}

ScriptValue ScriptInterpreter::Get(const ScriptValue& target, const std::string& name) {
    ScriptObject* object = nullptr;
    switch (target.type) {
    case ScriptValue::Type::Undefined:
    case ScriptValue::Type::Null:
        return {};
    case ScriptValue::Type::String:
        if (name == "length") return ScriptValue::Number(double(TextLength(target.text)));
        object = stringProto;
        break;
    case ScriptValue::Type::Number: object = numberProto; break;
    case ScriptValue::Type::Boolean: object = booleanProto; break;
    case ScriptValue::Type::Object: object = target.object; break;
    }
    if (object->cls == ScriptObject::Class::Array) {
        size_t index;
        if (name == "length") return ScriptValue::Number(double(object->elements.size()));
        if (ArrayIndex(name, index)) return index < object->elements.size() ? object->elements[index] : ScriptValue();
    }
    if (object->cls == ScriptObject::Class::Clip && object->display) {
        ScriptValue builtin;
        if (GetClipBuiltin(object, name, builtin)) return builtin;
    }
    if (object->cls == ScriptObject::Class::NetStream && name == "time")
        return ScriptValue::Number(object->stream ? host_.NetStreamTime(object->stream) : 0);
    if (name == "__proto__") return ScriptValue::Object(object->proto);
    if (ScriptProperty* own = FindOwn(object, name)) return own->value;
    if (object->cls == ScriptObject::Class::Clip && object->display) {
        if (ScriptObjectRef* child = host_.Child(object->display, name)) return ScriptValue::Object(ClipObject(child));
    }
    ScriptObject* proto = object->proto;
    for (int hops = 0; proto && hops < 256; hops++, proto = proto->proto) {
        if (ScriptProperty* inherited = FindOwn(proto, name)) return inherited->value;
    }
    return {};
}

bool ScriptInterpreter::Has(ScriptObject* object, const std::string& name) {
    if (!object) return false;
    if (object->cls == ScriptObject::Class::Clip && object->display) {
        ScriptValue ignored;
        if (GetClipBuiltin(object, name, ignored)) return true;
        if (host_.Child(object->display, name)) return true;
    }
    if (object->cls == ScriptObject::Class::Array) {
        size_t index;
        if (name == "length") return true;
        if (ArrayIndex(name, index)) return index < object->elements.size();
    }
    for (int hops = 0; object && hops < 256; hops++, object = object->proto) {
        if (FindOwn(object, name)) return true;
    }
    return false;
}

void ScriptInterpreter::Set(const ScriptValue& target, const std::string& name, ScriptValue value) {
    if (!target.IsObject()) return; // primitives keep no properties
    ScriptObject* object = target.object;
    if (object->cls == ScriptObject::Class::Clip && object->display && SetClipBuiltin(object, name, value)) return;
    if (object->cls == ScriptObject::Class::Array) {
        size_t index;
        if (name == "length") {
            double length = ToNumber(value);
            if (!(length >= 0)) return;
            if (length > double(MaxArrayLength)) throw ScriptError("array too long");
            object->elements.resize(size_t(length));
            return;
        }
        if (ArrayIndex(name, index)) {
            if (index >= MaxArrayLength) throw ScriptError("array too long");
            if (index >= object->elements.size()) object->elements.resize(index + 1);
            object->elements[index] = std::move(value);
            return;
        }
    }
    if (name == "__proto__") {
        if (value.IsObject()) object->proto = value.object;
        return;
    }
    Define(object, name, std::move(value));
}

// -- Conversions -------------------------------------------------------------------------

ScriptValue ScriptInterpreter::ToPrimitive(const ScriptValue& value, bool preferString) {
    if (!value.IsObject()) return value;
    ScriptObject* object = value.object;
    if (object->cls == ScriptObject::Class::Clip) return ScriptValue::String(ClipPath(object));
    const char* order[2] = {preferString ? "toString" : "valueOf", preferString ? "valueOf" : "toString"};
    for (const char* name : order) {
        ScriptValue method = Get(value, name);
        if (method.IsObject() && method.object->cls == ScriptObject::Class::Function) {
            ScriptValue result = Call(method, value, {});
            if (!result.IsObject()) return result;
        }
    }
    if (object->cls == ScriptObject::Class::Function) return ScriptValue::String("[type Function]");
    return ScriptValue::String("[object Object]");
}

std::string ScriptInterpreter::ToString(const ScriptValue& value) {
    switch (value.type) {
    case ScriptValue::Type::Undefined: return version_ >= 7 ? "undefined" : "";
    case ScriptValue::Type::Null: return "null";
    case ScriptValue::Type::Boolean: return value.boolean ? "true" : "false";
    case ScriptValue::Type::Number: return NumberToString(value.number);
    case ScriptValue::Type::String: return value.text;
    case ScriptValue::Type::Object: break;
    }
    ScriptValue primitive = ToPrimitive(value, true);
    if (primitive.IsObject()) return "[object Object]";
    return ToString(primitive);
}

double ScriptInterpreter::ToNumber(const ScriptValue& value) {
    switch (value.type) {
    case ScriptValue::Type::Undefined:
    case ScriptValue::Type::Null: return version_ >= 7 ? NAN : 0;
    case ScriptValue::Type::Boolean: return value.boolean ? 1 : 0;
    case ScriptValue::Type::Number: return value.number;
    case ScriptValue::Type::String: {
        double number = StringToNumber(value.text);
        // Movies before version 5 read text that is not a number as 0.
        return version_ < 5 && std::isnan(number) ? 0 : number;
    }
    case ScriptValue::Type::Object: break;
    }
    if (value.object->cls == ScriptObject::Class::Clip) return NAN;
    ScriptValue primitive = ToPrimitive(value, false);
    if (primitive.IsObject()) return NAN;
    return ToNumber(primitive);
}

bool ScriptInterpreter::ToBoolean(const ScriptValue& value) {
    switch (value.type) {
    case ScriptValue::Type::Undefined:
    case ScriptValue::Type::Null: return false;
    case ScriptValue::Type::Boolean: return value.boolean;
    case ScriptValue::Type::Number: return value.number != 0 && !std::isnan(value.number);
    case ScriptValue::Type::String:
        if (version_ >= 7) return !value.text.empty();
        { double number = StringToNumber(value.text); return number != 0 && !std::isnan(number); }
    case ScriptValue::Type::Object: return true;
    }
    return false;
}

std::string ScriptInterpreter::TypeOf(const ScriptValue& value) {
    switch (value.type) {
    case ScriptValue::Type::Undefined: return "undefined";
    case ScriptValue::Type::Null: return "null";
    case ScriptValue::Type::Boolean: return "boolean";
    case ScriptValue::Type::Number: return "number";
    case ScriptValue::Type::String: return "string";
    case ScriptValue::Type::Object: break;
    }
    ScriptObject* object = value.object;
    if (object->cls == ScriptObject::Class::Function) return "function";
    if (object->cls == ScriptObject::Class::Clip && object->display &&
        host_.Kind(object->display) == ScriptObjectKind::MovieClip) return "movieclip";
    return "object";
}

bool ScriptInterpreter::StrictEquals(const ScriptValue& a, const ScriptValue& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
    case ScriptValue::Type::Undefined:
    case ScriptValue::Type::Null: return true;
    case ScriptValue::Type::Boolean: return a.boolean == b.boolean;
    case ScriptValue::Type::Number: return a.number == b.number;
    case ScriptValue::Type::String: return a.text == b.text;
    case ScriptValue::Type::Object: return a.object == b.object;
    }
    return false;
}

bool ScriptInterpreter::LooseEquals(const ScriptValue& a, const ScriptValue& b) {
    using T = ScriptValue::Type;
    if (a.type == b.type) return StrictEquals(a, b);
    if (a.IsNullish() && b.IsNullish()) return true;
    if (a.IsNullish() || b.IsNullish()) return false;
    if (a.type == T::Boolean) return LooseEquals(ScriptValue::Number(a.boolean ? 1 : 0), b);
    if (b.type == T::Boolean) return LooseEquals(a, ScriptValue::Number(b.boolean ? 1 : 0));
    if ((a.type == T::Number && b.type == T::String) || (a.type == T::String && b.type == T::Number))
        return ToNumber(a) == ToNumber(b);
    if (a.type == T::Object) {
        ScriptValue primitive = ToPrimitive(a, false);
        return !primitive.IsObject() && LooseEquals(primitive, b);
    }
    if (b.type == T::Object) {
        ScriptValue primitive = ToPrimitive(b, false);
        return !primitive.IsObject() && LooseEquals(a, primitive);
    }
    return false;
}

bool ScriptInterpreter::InstanceOf(const ScriptValue& value, const ScriptValue& constructor) {
    if (!value.IsObject() || !constructor.IsObject()) return false;
    ScriptValue prototype = Get(constructor, "prototype");
    if (!prototype.IsObject()) return false;
    ScriptObject* proto = value.object->proto;
    for (int hops = 0; proto && hops < 256; hops++, proto = proto->proto) {
        if (proto == prototype.object) return true;
    }
    return false;
}

std::string ScriptInterpreter::ClipPath(ScriptObject* clip) {
    if (!clip->display) return "";
    std::string slash = host_.TargetPath(clip->display);
    std::string dotted;
    if (!slash.empty() && slash[0] == '/') {
        dotted = "_level0";
        if (slash.size() > 1) dotted += slash;
    } else {
        dotted = slash;
    }
    std::replace(dotted.begin(), dotted.end(), '/', '.');
    return dotted;
}

void ScriptInterpreter::Charge(size_t steps) {
    if (steps >= stepBudget_ || steps_ > stepBudget_ - steps) {
        steps_ = stepBudget_;
        throw ScriptError("step budget exhausted");
    }
    steps_ += uint32_t(steps);
}

void ScriptInterpreter::CheckLength(size_t bytes) {
    if (bytes > MaxStringBytes) throw ScriptError("string too long");
}

// -- Calls -------------------------------------------------------------------------------

ScriptValue ScriptInterpreter::Call(const ScriptValue& function, const ScriptValue& self, std::vector<ScriptValue> args) {
    if (!function.IsObject() || function.object->cls != ScriptObject::Class::Function) return {};
    ScriptObject* object = function.object;
    if (object->code) return CallScript(object, self, std::move(args));
    return CallNative(object, self, args);
}

ScriptValue ScriptInterpreter::CallNative(ScriptObject* function, const ScriptValue& self, std::vector<ScriptValue>& args) {
    if (!function->native) return {};
    DepthGuard depth(depth_, maxDepth_);
    nativeDepth_++;
    struct Leave { int& n; ~Leave() { n--; } } leave{nativeDepth_};
    return function->native(*this, self, args);
}

ScriptValue ScriptInterpreter::CallScript(ScriptObject* function, const ScriptValue& self, std::vector<ScriptValue> args) {
    DepthGuard depth(depth_, maxDepth_);
    const ScriptFunctionCode& code = *function->code;
    Frame frame;
    frame.self = self;
    frame.callee = function;
    frame.original = frame.target = function->definingClip;
    frame.scope = function->scope;
    frame.constants = code.constants;
    frame.args = std::move(args);
    FrameRegistration registration(*this, frame);
    frame.activation = NewObject(nullptr);

    uint16_t flags = code.v2 ? code.flags : 0;
    ScriptObject* arguments = nullptr;
    if (!(flags & SuppressArguments)) {
        arguments = NewArray(frame.args);
        Define(arguments, "callee", ScriptValue::Object(function));
        Define(frame.activation, "arguments", ScriptValue::Object(arguments));
    }
    if (!code.v2) {
        frame.registers.resize(4);
    } else {
        size_t count = code.registerCount;
        for (auto& parameter : code.parameters) count = std::max<size_t>(count, size_t(parameter.first) + 1);
        frame.registers.resize(std::max<size_t>(count, 8));
        size_t next = 1;
        auto preload = [&](ScriptValue value) {
            if (next < frame.registers.size()) frame.registers[next] = std::move(value);
            next++;
        };
        if (flags & PreloadThis) preload(self);
        if (flags & PreloadArguments) preload(arguments ? ScriptValue::Object(arguments) : ScriptValue::Object(NewArray(frame.args)));
        if (flags & PreloadSuper) preload(self.IsObject() && self.object->proto ? Get(ScriptValue::Object(self.object->proto), "__constructor__") : ScriptValue());
        if (flags & PreloadRoot) preload(ScriptValue::Object(Root(frame.original)));
        if (flags & PreloadParent) { ScriptObject* parent = Parent(frame.original); preload(parent ? ScriptValue::Object(parent) : ScriptValue()); }
        if (flags & PreloadGlobal) preload(ScriptValue::Object(global));
    }
    for (size_t i = 0; i < code.parameters.size(); i++) {
        ScriptValue value = i < frame.args.size() ? frame.args[i] : ScriptValue();
        uint8_t reg = code.parameters[i].first;
        if (code.v2 && reg != 0) frame.registers[reg] = std::move(value);
        else Define(frame.activation, code.parameters[i].second, std::move(value));
    }
    Execute(frame, code.code.data(), code.code.size());
    return frame.result;
}

ScriptValue ScriptInterpreter::Construct(const ScriptValue& constructor, std::vector<ScriptValue> args) {
    if (!constructor.IsObject() || constructor.object->cls != ScriptObject::Class::Function) return {};
    ScriptValue prototype = Get(constructor, "prototype");
    ScriptObject* object = NewObject(prototype.IsObject() ? prototype.object : objectProto);
    Define(object, "__constructor__", constructor);
    ScriptValue self = ScriptValue::Object(object);
    ScriptValue result = Call(constructor, self, std::move(args));
    return result.IsObject() ? result : self;
}

ScriptObject* ScriptInterpreter::MakeFunction(Frame& frame, std::shared_ptr<ScriptFunctionCode> code) {
    ScriptObject* function = NewObject(functionProto);
    function->cls = ScriptObject::Class::Function;
    function->code = std::move(code);
    function->scope = frame.scope;
    if (frame.activation) function->scope.push_back(frame.activation);
    for (auto& with : frame.withs) function->scope.push_back(with.object);
    function->definingClip = frame.original;
    ScriptObject* prototype = NewObject();
    Define(prototype, "constructor", ScriptValue::Object(function));
    Define(function, "prototype", ScriptValue::Object(prototype));
    return function;
}

// -- Variables and targets --------------------------------------------------------------

std::vector<ScriptObject*> ScriptInterpreter::ScopeChain(Frame& frame) {
    std::vector<ScriptObject*> chain;
    for (auto w = frame.withs.rbegin(); w != frame.withs.rend(); ++w) chain.push_back(w->object);
    if (frame.activation) chain.push_back(frame.activation);
    for (auto s = frame.scope.rbegin(); s != frame.scope.rend(); ++s) chain.push_back(*s);
    ScriptObject* timeline = frame.targetValid && frame.target ? frame.target : frame.original;
    if (timeline) chain.push_back(timeline);
    if (frame.original && frame.original != timeline) chain.push_back(frame.original);
    chain.push_back(global);
    return chain;
}

ScriptValue ScriptInterpreter::Lookup(Frame& frame, const std::string& name) {
    std::string lower = Lower(name);
    if (lower == "this") return frame.self;
    if (lower == "_global") return ScriptValue::Object(global);
    if (lower == "_root") return ScriptValue::Object(Root(frame.original));
    if (lower == "_parent") {
        ScriptObject* parent = Parent(frame.targetValid && frame.target ? frame.target : frame.original);
        return parent ? ScriptValue::Object(parent) : ScriptValue();
    }
    int level = LevelNumber(name);
    if (level >= 0) {
        ScriptObject* clip = ClipObject(host_.Level(level));
        return clip ? ScriptValue::Object(clip) : ScriptValue();
    }
    for (ScriptObject* object : ScopeChain(frame)) {
        if (Has(object, name)) return Get(ScriptValue::Object(object), name);
    }
    return {};
}

ScriptObject* ScriptInterpreter::ResolveTarget(ScriptObject* base, const std::string& path) {
    Frame frame;
    frame.original = frame.target = base;
    FrameRegistration registration(*this, frame);
    return FrameTarget(frame, path);
}

ScriptObject* ScriptInterpreter::FrameTarget(Frame& frame, const std::string& path) {
    ScriptObject* base = frame.targetValid && frame.target ? frame.target : frame.original;
    if (path.empty()) return base;
    ScriptObject* current = base;
    size_t i = 0;
    if (path[0] == '/') {
        current = Root(base);
        i = 1;
    }
    bool first = true;
    while (i <= path.size()) {
        size_t end = path.find_first_of("/.", i);
        if (end == std::string::npos) end = path.size();
        // ".." is one segment (the parent), not two dots.
        if (path.compare(i, 2, "..") == 0 && (i + 2 == path.size() || path[i + 2] == '/')) end = i + 2;
        std::string segment = path.substr(i, end - i);
        i = end + 1;
        if (segment.empty() || segment == ".") continue;
        if (!current) return nullptr;
        std::string lower = Lower(segment);
        ScriptValue next;
        if (segment == ".." || lower == "_parent") next = ScriptValue::Object(Parent(current));
        else if (lower == "_root") next = ScriptValue::Object(Root(current));
        else if (lower == "_global") next = ScriptValue::Object(global);
        else if (lower == "this") next = first ? (frame.self.IsObject() ? frame.self : ScriptValue::Object(current)) : Get(ScriptValue::Object(current), segment);
        else if (LevelNumber(segment) >= 0) next = ScriptValue::Object(ClipObject(host_.Level(LevelNumber(segment))));
        else {
            next = Get(ScriptValue::Object(current), segment);
            if (first && !next.IsObject()) next = Lookup(frame, segment);
        }
        first = false;
        current = next.IsObject() ? next.object : nullptr;
    }
    return current;
}

ScriptValue ScriptInterpreter::GetVariablePath(Frame& frame, const std::string& name) {
    size_t colon = name.rfind(':');
    if (colon != std::string::npos) {
        ScriptObject* holder = FrameTarget(frame, name.substr(0, colon));
        return holder ? Get(ScriptValue::Object(holder), name.substr(colon + 1)) : ScriptValue();
    }
    if (name.find('/') != std::string::npos) {
        ScriptObject* clip = FrameTarget(frame, name);
        return clip ? ScriptValue::Object(clip) : ScriptValue();
    }
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) {
        ScriptObject* holder = FrameTarget(frame, name.substr(0, dot));
        return holder ? Get(ScriptValue::Object(holder), name.substr(dot + 1)) : ScriptValue();
    }
    return Lookup(frame, name);
}

void ScriptInterpreter::SetScoped(Frame& frame, const std::string& name, ScriptValue value) {
    for (auto w = frame.withs.rbegin(); w != frame.withs.rend(); ++w) {
        if (Has(w->object, name)) { Set(ScriptValue::Object(w->object), name, std::move(value)); return; }
    }
    if (frame.activation && FindOwn(frame.activation, name)) { Define(frame.activation, name, std::move(value)); return; }
    for (auto s = frame.scope.rbegin(); s != frame.scope.rend(); ++s) {
        if (FindOwn(*s, name)) { Set(ScriptValue::Object(*s), name, std::move(value)); return; }
    }
    ScriptObject* timeline = frame.targetValid && frame.target ? frame.target : frame.original;
    Set(ScriptValue::Object(timeline ? timeline : global), name, std::move(value));
}

void ScriptInterpreter::SetVariablePath(Frame& frame, const std::string& name, ScriptValue value) {
    size_t split = name.rfind(':');
    if (split == std::string::npos) {
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) split = dot;
    }
    if (split != std::string::npos) {
        ScriptObject* holder = FrameTarget(frame, name.substr(0, split));
        if (holder) Set(ScriptValue::Object(holder), name.substr(split + 1), std::move(value));
        return;
    }
    SetScoped(frame, name, std::move(value));
}

ScriptObjectRef* ScriptInterpreter::Timeline(Frame& frame) {
    if (!frame.targetValid || !frame.target) return nullptr;
    return frame.target->display;
}

// -- Actions with the outside world -----------------------------------------------------

void ScriptInterpreter::GetUrl(Frame& frame, const std::string& url, const std::string& target, int method, bool intoClip) {
    if (StartsWithNoCase(url, "fscommand:")) {
        host_.FsCommand(url.substr(10), target);
        return;
    }
    if (intoClip) {
        ScriptObject* clip = FrameTarget(frame, target);
        if (clip && clip->display) host_.LoadMovie(clip->display, url);
        return;
    }
    int level = LevelNumber(target);
    if (level >= 0) {
        host_.LoadMovieNum(level, url);
        return;
    }
    host_.GetUrl(url, target, method);
}

void ScriptInterpreter::GotoFrameValue(Frame& frame, const ScriptValue& value, bool play, int bias) {
    ScriptObjectRef* clip = Timeline(frame);
    ScriptValue frameValue = value;
    if (value.IsString()) {
        // "path:frame" addresses another timeline.
        size_t colon = value.text.rfind(':');
        if (colon != std::string::npos) {
            ScriptObject* target = FrameTarget(frame, value.text.substr(0, colon));
            clip = target ? target->display : nullptr;
            frameValue = ScriptValue::String(value.text.substr(colon + 1));
        }
        if (!clip) return;
        double number = StringToNumber(frameValue.text);
        if (std::isnan(number)) {
            host_.GotoLabel(clip, frameValue.text, play);
            return;
        }
        frameValue = ScriptValue::Number(number);
    }
    if (!clip) return;
    double number = ToNumber(frameValue);
    if (std::isnan(number)) return;
    int frameNumber = ClampToInt(number);
    if (bias > 0 && frameNumber < INT32_MAX - bias) frameNumber += bias;
    host_.GotoFrame(clip, frameNumber > 0 ? frameNumber - 1 : 0, play);
}

ScriptValue ScriptInterpreter::GetPropertyByIndex(ScriptObject* clip, int index) {
    if (!clip || !clip->display || index < 0 || index > 21) return {};
    auto property = ClipProperty(index);
    if (IsTextProperty(property)) return ScriptValue::String(host_.GetText(clip->display, property));
    return ScriptValue::Number(host_.GetNumber(clip->display, property));
}

void ScriptInterpreter::SetPropertyByIndex(ScriptObject* clip, int index, const ScriptValue& value) {
    if (!clip || !clip->display || index < 0 || index > 21) return;
    SetClipBuiltin(clip, kClipProperties[index].name, value);
}

} // namespace refplayer
