// The action-record loop of the interpreter: one record at a time, every read bounds-checked.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

#include "refplayer/core/ScriptInterpreter.h"
#include "refplayer/core/ScriptText.h"

namespace refplayer {

namespace {

[[noreturn]] void Malformed() { throw ScriptError("malformed action record"); }

// Bounds-checked reads of one record's data.
class RecordReader {
public:
    RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return pos_ >= size_; }
    uint8_t U8() { Need(1); return data_[pos_++]; }
    uint16_t U16() { Need(2); uint16_t v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8); pos_ += 2; return v; }
    int16_t S16() { return int16_t(U16()); }
    uint32_t U32() { Need(4); uint32_t v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 |
                     uint32_t(data_[pos_ + 2]) << 16 | uint32_t(data_[pos_ + 3]) << 24; pos_ += 4; return v; }
    float F32() { uint32_t bits = U32(); float f; std::memcpy(&f, &bits, 4); return f; }
    // Doubles are stored as two little-endian halves, the high half first.
    double F64() {
        uint64_t high = U32(), low = U32();
        uint64_t bits = high << 32 | low;
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    std::string String() {
        size_t start = pos_;
        while (pos_ < size_ && data_[pos_] != 0) pos_++;
        if (pos_ >= size_) Malformed();
        std::string text(reinterpret_cast<const char*>(data_ + start), pos_ - start);
        pos_++;
        return text;
    }

private:
    void Need(size_t n) { if (n > size_ - pos_) Malformed(); }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

std::wstring Wide(const std::string& s) { return FromUtf8(s); }

// Characters [start, start + count) of the wide text, clamped to it.
std::string Substring(const std::string& text, double start, double count) {
    std::wstring wide = Wide(text);
    double length = double(wide.size());
    if (std::isnan(start) || start < 0) start = 0;
    if (start > length) start = length;
    if (std::isnan(count) || count < 0 || count > length - start) count = length - start;
    return ToUtf8(wide.substr(size_t(start), size_t(count)));
}

} // namespace

void ScriptInterpreter::Execute(Frame& frame, const uint8_t* code, size_t size) {
    enum { InTry, InCatch, InFinally };
    std::vector<int> tryStates;
    size_t pc = 0;
    while (pc < size && !frame.returned) {
        while (!frame.withs.empty() && (pc < frame.withs.back().start || pc >= frame.withs.back().end))
            frame.withs.pop_back();
        while (!frame.tries.empty()) {
            auto& t = frame.tries.back();
            int& state = tryStates.back();
            if (state == InTry && pc == t.tryEnd) { pc = t.catchEnd; state = InFinally; continue; }
            if (state == InCatch && pc == t.catchEnd) { state = InFinally; continue; }
            if (pc < t.tryStart || pc >= t.finallyEnd) { frame.tries.pop_back(); tryStates.pop_back(); continue; }
            break;
        }
        if (pc >= size) break;
        Charge(1);
        frame.safe = true;
        if (heap_.size() >= collectAt_ && SafeToCollect()) Collect();
        frame.safe = false;
        if (code[pc] == 0) break; // End
        size_t actionStart = pc;
        size_t triesBefore = frame.tries.size();
        try {
            Step(frame, code, size, pc);
            if (frame.tries.size() > triesBefore) tryStates.resize(frame.tries.size(), InTry);
        } catch (ScriptThrow& thrown) {
            bool caught = false;
            while (!frame.tries.empty()) {
                auto t = frame.tries.back();
                if (tryStates.back() == InTry && t.hasCatch && actionStart >= t.tryStart && actionStart < t.tryEnd) {
                    if (t.catchInRegister) {
                        if (t.catchRegister < frame.registers.size()) frame.registers[t.catchRegister] = thrown.value;
                    } else {
                        SetScoped(frame, t.catchName, thrown.value);
                    }
                    pc = t.tryEnd;
                    tryStates.back() = InCatch;
                    caught = true;
                    break;
                }
                frame.tries.pop_back();
                tryStates.pop_back();
            }
            if (!caught) throw;
        }
    }
}

void ScriptInterpreter::Step(Frame& frame, const uint8_t* code, size_t size, size_t& pc) {
    uint8_t op = code[pc];
    const uint8_t* data = nullptr;
    size_t length = 0;
    size_t next = pc + 1;
    if (op >= 0x80) {
        if (size - pc < 3) Malformed();
        length = size_t(code[pc + 1] | code[pc + 2] << 8);
        if (length > size - pc - 3) Malformed();
        data = code + pc + 3;
        next = pc + 3 + length;
    }
    pc = next;
    RecordReader record(data, length);

    auto& stack = frame.stack;
    auto pop = [&]() -> ScriptValue {
        if (stack.empty()) return {};
        ScriptValue v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    auto push = [&](ScriptValue v) {
        if (stack.size() >= MaxStack) throw ScriptError("stack overflow");
        stack.push_back(std::move(v));
    };
    auto num = [&](double d) { push(ScriptValue::Number(d)); };
    auto boolean = [&](bool b) {
        // Movies of version 4 compute with numbers only.
        push(version_ < 5 ? ScriptValue::Number(b ? 1 : 0) : ScriptValue::Bool(b));
    };
    auto popArgs = [&]() {
        double count = ToNumber(pop());
        std::vector<ScriptValue> args;
        if (!(count > 0)) return args;
        if (count > double(stack.size())) count = double(stack.size());
        args.reserve(size_t(count));
        for (size_t i = 0; i < size_t(count); i++) args.push_back(pop());
        return args;
    };
    auto jump = [&](int16_t offset) {
        long long target = static_cast<long long>(next) + offset;
        if (target < 0 || target > static_cast<long long>(size)) throw ScriptError("jump out of the action list");
        pc = size_t(target);
    };
    auto block = [&](size_t blockSize) {
        if (blockSize > size - next) Malformed();
        return next + blockSize;
    };
    auto skipActions = [&](unsigned count) {
        for (unsigned i = 0; i < count && pc < size; i++) {
            if (code[pc] >= 0x80) {
                if (size - pc < 3) Malformed();
                size_t n = size_t(code[pc + 1] | code[pc + 2] << 8);
                if (n > size - pc - 3) Malformed();
                pc += 3 + n;
            } else {
                pc++;
            }
        }
    };
    ScriptObjectRef* timeline = nullptr;
    auto clip = [&]() { return timeline = Timeline(frame); };

    switch (op) {
    // -- Timeline ---------------------------------------------------------------------
    case 0x04: if (clip()) host_.NextFrame(timeline); break;
    case 0x05: if (clip()) host_.PreviousFrame(timeline); break;
    case 0x06: if (clip()) host_.SetPlaying(timeline, true); break;
    case 0x07: if (clip()) host_.SetPlaying(timeline, false); break;
    case 0x08: case 0x09: case 0x28: break;                  // quality toggle, stop sounds, end drag
    case 0x81: { int frameIndex = record.U16(); if (clip()) host_.GotoFrame(timeline, frameIndex, false); break; }
    case 0x8C: { std::string label = record.String(); if (clip()) host_.GotoLabel(timeline, label, false); break; }
    case 0x9F: {
        uint8_t flags = record.U8();
        int bias = (flags & 2) ? record.U16() : 0;
        GotoFrameValue(frame, pop(), flags & 1, bias);
        break;
    }
    case 0x8A: {                                             // WaitForFrame
        int frameIndex = record.U16();
        unsigned skip = record.U8();
        if (clip() && host_.GetNumber(timeline, ClipProperty::FramesLoaded) < frameIndex + 1) skipActions(skip);
        break;
    }
    case 0x8D: {                                             // WaitForFrame2
        unsigned skip = record.U8();
        double frameNumber = ToNumber(pop());
        if (clip() && host_.GetNumber(timeline, ClipProperty::FramesLoaded) < frameNumber) skipActions(skip);
        break;
    }
    case 0x8B: {                                             // SetTarget
        std::string path = record.String();
        // Paths are relative to the list's own timeline, not to the previous target.
        frame.target = frame.original;
        frame.targetValid = true;
        if (path.empty()) break;
        frame.target = FrameTarget(frame, path);
        frame.targetValid = frame.target != nullptr;
        break;
    }
    case 0x20: {                                             // SetTarget2
        ScriptValue value = pop();
        if (value.IsObject()) { frame.target = value.object; frame.targetValid = true; break; }
        std::string path = ToString(value);
        frame.target = frame.original;
        frame.targetValid = true;
        if (path.empty()) break;
        frame.target = FrameTarget(frame, path);
        frame.targetValid = frame.target != nullptr;
        break;
    }
    case 0x83: {                                             // GetURL
        std::string url = record.String();
        std::string target = record.String();
        GetUrl(frame, url, target, 0, false);
        break;
    }
    case 0x9A: {                                             // GetURL2
        uint8_t flags = record.U8();
        ScriptValue target = pop();
        std::string url = ToString(pop());
        if (flags & 1) break;                                // loadVariables: no variable loading here
        bool intoClip = (flags & 2) != 0;
        std::string where = target.IsObject() && target.object->cls == ScriptObject::Class::Clip
                                ? ClipPath(target.object) : ToString(target);
        if (intoClip && target.IsObject() && target.object->cls == ScriptObject::Class::Clip) {
            if (target.object->display) host_.LoadMovie(target.object->display, url);
            break;
        }
        GetUrl(frame, url, where, flags >> 6, intoClip);
        break;
    }
    case 0x9E: pop(); break;                                 // Call (frame actions): not offered
    case 0x24: pop(); pop(); pop(); break;                   // CloneSprite
    case 0x25: pop(); break;                                 // RemoveSprite
    case 0x27: {                                             // StartDrag
        pop(); pop();
        if (ToBoolean(pop())) { pop(); pop(); pop(); pop(); }
        break;
    }
    case 0x26: pop(); break;                                 // Trace

    // -- Stack and values -------------------------------------------------------------
    case 0x96: {                                             // Push
        while (!record.AtEnd()) {
            uint8_t type = record.U8();
            switch (type) {
            case 0: push(ScriptValue::String(record.String())); break;
            case 1: num(record.F32()); break;
            case 2: push(ScriptValue::Null()); break;
            case 3: push({}); break;
            case 4: {
                uint8_t reg = record.U8();
                push(reg < frame.registers.size() ? frame.registers[reg] : ScriptValue());
                break;
            }
            case 5: push(ScriptValue::Bool(record.U8() != 0)); break;
            case 6: num(record.F64()); break;
            case 7: num(double(int32_t(record.U32()))); break;
            case 8: case 9: {
                size_t index = type == 8 ? record.U8() : record.U16();
                if (index >= frame.constants.size()) throw ScriptError("constant index out of range");
                push(ScriptValue::String(frame.constants[index]));
                break;
            }
            default: Malformed();
            }
        }
        break;
    }
    case 0x17: pop(); break;
    case 0x4C: { ScriptValue v = stack.empty() ? ScriptValue() : stack.back(); push(std::move(v)); break; }
    case 0x4D: { ScriptValue a = pop(), b = pop(); push(std::move(a)); push(std::move(b)); break; }
    case 0x88: {                                             // ConstantPool
        unsigned count = record.U16();
        std::vector<std::string> constants;
        constants.reserve(count);
        for (unsigned i = 0; i < count; i++) constants.push_back(record.String());
        frame.constants = std::move(constants);
        break;
    }
    case 0x87: {                                             // StoreRegister
        uint8_t reg = record.U8();
        if (reg < frame.registers.size()) frame.registers[reg] = stack.empty() ? ScriptValue() : stack.back();
        break;
    }

    // -- Variables and members --------------------------------------------------------
    case 0x1C: { std::string name = ToString(pop()); push(GetVariablePath(frame, name)); break; }
    case 0x1D: { ScriptValue value = pop(); std::string name = ToString(pop()); SetVariablePath(frame, name, std::move(value)); break; }
    case 0x3C: {                                             // DefineLocal
        ScriptValue value = pop();
        std::string name = ToString(pop());
        if (frame.activation) Define(frame.activation, name, std::move(value));
        else SetVariablePath(frame, name, std::move(value));
        break;
    }
    case 0x41: {                                             // DefineLocal2
        std::string name = ToString(pop());
        if (frame.activation) { if (!FindOwn(frame.activation, name)) Define(frame.activation, name, {}); }
        else { ScriptObject* t = frame.original ? frame.original : global; if (!Has(t, name)) Set(ScriptValue::Object(t), name, {}); }
        break;
    }
    case 0x4E: { std::string name = ToString(pop()); ScriptValue object = pop(); push(Get(object, name)); break; }
    case 0x4F: {
        ScriptValue value = pop();
        std::string name = ToString(pop());
        ScriptValue object = pop();
        Set(object, name, std::move(value));
        break;
    }
    case 0x3A: {                                             // Delete
        std::string name = ToString(pop());
        ScriptValue object = pop();
        bool removed = object.IsObject() && object.object->properties.erase(Key(name)) > 0;
        push(ScriptValue::Bool(removed));
        break;
    }
    case 0x3B: {                                             // Delete2
        std::string name = ToString(pop());
        bool removed = false;
        for (ScriptObject* object : ScopeChain(frame)) {
            if (object->properties.erase(Key(name)) > 0) { removed = true; break; }
        }
        push(ScriptValue::Bool(removed));
        break;
    }
    case 0x43: {                                             // InitObject
        double count = ToNumber(pop());
        ScriptObject* object = NewObject();
        // Popped last pair first; defined in source order so enumeration sees that order.
        std::vector<std::pair<std::string, ScriptValue>> pairs;
        if (count > 0) {
            size_t available = stack.size() / 2;
            for (size_t i = 0; i < size_t(std::min(count, double(available))); i++) {
                ScriptValue value = pop();
                pairs.emplace_back(ToString(pop()), std::move(value));
            }
        }
        for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) Define(object, pair->first, std::move(pair->second));
        push(ScriptValue::Object(object));
        break;
    }
    case 0x42: { std::vector<ScriptValue> elements = popArgs(); push(ScriptValue::Object(NewArray(std::move(elements)))); break; }
    case 0x46: case 0x55: {                                  // Enumerate, Enumerate2
        ScriptValue value = op == 0x46 ? GetVariablePath(frame, ToString(pop())) : pop();
        push(ScriptValue::Null());
        if (!value.IsObject()) break;
        ScriptObject* object = value.object;
        std::vector<const ScriptProperty*> properties;
        for (auto& entry : object->properties)
            if (entry.second.name != "__constructor__") properties.push_back(&entry.second);
        std::sort(properties.begin(), properties.end(), [](auto a, auto b) { return a->order < b->order; });
        std::vector<std::string> names;
        for (auto* property : properties) names.push_back(property->name);
        for (size_t i = 0; i < object->elements.size(); i++) names.push_back(std::to_string(i));
        Charge(names.size());
        for (auto& name : names) push(ScriptValue::String(name));
        break;
    }

    // -- Functions ----------------------------------------------------------------------
    case 0x9B: case 0x8E: {                                  // DefineFunction, DefineFunction2
        auto function = std::make_shared<ScriptFunctionCode>();
        function->name = record.String();
        unsigned parameters = record.U16();
        if (op == 0x8E) {
            function->v2 = true;
            function->registerCount = record.U8();
            function->flags = record.U16();
            for (unsigned i = 0; i < parameters; i++) {
                uint8_t reg = record.U8();
                function->parameters.emplace_back(reg, record.String());
            }
        } else {
            for (unsigned i = 0; i < parameters; i++) function->parameters.emplace_back(0, record.String());
        }
        size_t end = block(record.U16());
        function->code.assign(code + next, code + end);
        function->constants = frame.constants;
        pc = end;
        ScriptObject* object = MakeFunction(frame, std::move(function));
        const std::string& name = object->code->name;
        if (name.empty()) push(ScriptValue::Object(object));
        else if (frame.activation) Define(frame.activation, name, ScriptValue::Object(object));
        else SetScoped(frame, name, ScriptValue::Object(object));
        break;
    }
    case 0x3D: {                                             // CallFunction
        std::string name = ToString(pop());
        std::vector<ScriptValue> args = popArgs();
        ScriptValue function = GetVariablePath(frame, name);
        ScriptObject* timelineObject = frame.targetValid && frame.target ? frame.target : frame.original;
        frame.safe = true;                                   // the callee's frame holds what it needs
        ScriptValue result = Call(function, timelineObject ? ScriptValue::Object(timelineObject) : ScriptValue(), std::move(args));
        frame.safe = false;
        push(std::move(result));
        break;
    }
    case 0x52: {                                             // CallMethod
        ScriptValue nameValue = pop();
        ScriptValue object = pop();
        std::vector<ScriptValue> args = popArgs();
        std::string name = ToString(nameValue);
        ScriptValue function = nameValue.IsUndefined() || name.empty() ? object : Get(object, name);
        ScriptValue self = nameValue.IsUndefined() || name.empty() ? ScriptValue() : object;
        stack.push_back(object);                             // keep it reachable during the call
        frame.safe = true;
        ScriptValue result = Call(function, self, std::move(args));
        frame.safe = false;
        stack.pop_back();
        push(std::move(result));
        break;
    }
    case 0x40: case 0x53: {                                  // NewObject, NewMethod
        ScriptValue constructor;
        if (op == 0x40) {
            constructor = GetVariablePath(frame, ToString(pop()));
        } else {
            ScriptValue nameValue = pop();
            ScriptValue object = pop();
            std::string name = ToString(nameValue);
            constructor = nameValue.IsUndefined() || name.empty() ? object : Get(object, name);
        }
        std::vector<ScriptValue> args = popArgs();
        stack.push_back(constructor);
        frame.safe = true;
        ScriptValue result = Construct(constructor, std::move(args));
        frame.safe = false;
        stack.pop_back();
        push(std::move(result));
        break;
    }
    case 0x3E: frame.result = pop(); frame.returned = true; break;
    case 0x94: {                                             // With
        size_t end = block(record.U16());
        ScriptValue object = pop();
        if (object.IsObject()) {
            if (frame.withs.size() >= 16) throw ScriptError("too many nested with blocks");
            frame.withs.push_back({next, end, object.object});
        }
        break;
    }
    case 0x8F: {                                             // Try
        uint8_t flags = record.U8();
        size_t trySize = record.U16(), catchSize = record.U16(), finallySize = record.U16();
        Frame::Try t;
        t.catchInRegister = (flags & 4) != 0;
        t.hasCatch = (flags & 1) != 0;
        t.catchRegister = 0;
        if (t.catchInRegister) t.catchRegister = record.U8();
        else t.catchName = record.String();
        t.tryStart = next;
        t.tryEnd = block(trySize);
        if (catchSize > size - t.tryEnd) Malformed();
        t.catchEnd = t.tryEnd + catchSize;
        if (finallySize > size - t.catchEnd) Malformed();
        t.finallyEnd = t.catchEnd + finallySize;
        if (frame.tries.size() >= 64) throw ScriptError("too many nested try blocks");
        frame.tries.push_back(std::move(t));
        break;
    }
    case 0x2A: throw ScriptThrow(pop());

    // -- Control flow -----------------------------------------------------------------
    case 0x99: jump(record.S16()); break;
    case 0x9D: { int16_t offset = record.S16(); if (ToBoolean(pop())) jump(offset); break; }

    // -- Arithmetic -------------------------------------------------------------------
    case 0x0A: { double b = ToNumber(pop()), a = ToNumber(pop()); num(a + b); break; }
    case 0x0B: { double b = ToNumber(pop()), a = ToNumber(pop()); num(a - b); break; }
    case 0x0C: { double b = ToNumber(pop()), a = ToNumber(pop()); num(a * b); break; }
    case 0x0D: { double b = ToNumber(pop()), a = ToNumber(pop()); num(a / b); break; }
    case 0x3F: { double b = ToNumber(pop()), a = ToNumber(pop()); num(std::fmod(a, b)); break; }
    case 0x50: num(ToNumber(pop()) + 1); break;
    case 0x51: num(ToNumber(pop()) - 1); break;
    case 0x47: {                                             // Add2
        ScriptValue b = pop(), a = pop();
        stack.push_back(a); stack.push_back(b);              // reachable while converting
        ScriptValue pa = ToPrimitive(a, false), pb = ToPrimitive(b, false);
        stack.pop_back(); stack.pop_back();
        if (pa.IsString() || pb.IsString()) {
            std::string text = ToString(pa);
            std::string right = ToString(pb);
            CheckLength(text.size() + right.size());
            push(ScriptValue::String(text + right));
        } else {
            num(ToNumber(pa) + ToNumber(pb));
        }
        break;
    }
    case 0x0E: { double b = ToNumber(pop()), a = ToNumber(pop()); boolean(a == b); break; }
    case 0x0F: { double b = ToNumber(pop()), a = ToNumber(pop()); boolean(a < b); break; }
    case 0x49: {                                             // Equals2
        ScriptValue b = pop(), a = pop();
        stack.push_back(a); stack.push_back(b);
        bool equal = LooseEquals(a, b);
        stack.pop_back(); stack.pop_back();
        push(ScriptValue::Bool(equal));
        break;
    }
    case 0x66: { ScriptValue b = pop(), a = pop(); push(ScriptValue::Bool(StrictEquals(a, b))); break; }
    case 0x48: case 0x67: {                                  // Less2, Greater
        ScriptValue b = pop(), a = pop();
        if (op == 0x67) std::swap(a, b);                     // a > b is b < a
        stack.push_back(a); stack.push_back(b);
        ScriptValue pa = ToPrimitive(a, false), pb = ToPrimitive(b, false);
        stack.pop_back(); stack.pop_back();
        if (pa.IsString() && pb.IsString()) {
            push(ScriptValue::Bool(pa.text < pb.text));
        } else {
            double x = ToNumber(pa), y = ToNumber(pb);
            if (std::isnan(x) || std::isnan(y)) push({});
            else push(ScriptValue::Bool(x < y));
        }
        break;
    }
    case 0x10: { bool b = ToBoolean(pop()), a = ToBoolean(pop()); boolean(a && b); break; }
    case 0x11: { bool b = ToBoolean(pop()), a = ToBoolean(pop()); boolean(a || b); break; }
    case 0x12: boolean(!ToBoolean(pop())); break;
    case 0x60: { int32_t b = ToInt32(ToNumber(pop())), a = ToInt32(ToNumber(pop())); num(a & b); break; }
    case 0x61: { int32_t b = ToInt32(ToNumber(pop())), a = ToInt32(ToNumber(pop())); num(a | b); break; }
    case 0x62: { int32_t b = ToInt32(ToNumber(pop())), a = ToInt32(ToNumber(pop())); num(a ^ b); break; }
    case 0x63: {
        uint32_t count = ToUint32(ToNumber(pop())) & 31;
        uint32_t a = ToUint32(ToNumber(pop()));
        num(ToInt32(double(uint32_t(a << count))));
        break;
    }
    case 0x64: {
        uint32_t count = ToUint32(ToNumber(pop())) & 31;
        int32_t a = ToInt32(ToNumber(pop()));
        // Arithmetic shift written without shifting a negative value.
        num(a >= 0 ? double(a >> count) : -1.0 - double((~a) >> count));
        break;
    }
    case 0x65: {
        uint32_t count = ToUint32(ToNumber(pop())) & 31;
        uint32_t a = ToUint32(ToNumber(pop()));
        num(double(a >> count));
        break;
    }

    // -- Strings and conversions ------------------------------------------------------
    case 0x13: { std::string b = ToString(pop()), a = ToString(pop()); boolean(a == b); break; }
    case 0x29: { std::string b = ToString(pop()), a = ToString(pop()); boolean(a < b); break; }
    case 0x68: { std::string b = ToString(pop()), a = ToString(pop()); boolean(a > b); break; }
    case 0x14: case 0x31: num(double(TextLength(ToString(pop())))); break;
    case 0x15: case 0x35: {                                  // StringExtract, MBStringExtract (1-based)
        double count = ToNumber(pop());
        double index = ToNumber(pop());
        std::string text = ToString(pop());
        if (std::isnan(index) || index < 1) index = 1;
        push(ScriptValue::String(Substring(text, std::trunc(index) - 1, std::trunc(count))));
        break;
    }
    case 0x21: {
        std::string b = ToString(pop()), a = ToString(pop());
        CheckLength(a.size() + b.size());
        push(ScriptValue::String(a + b));
        break;
    }
    case 0x18: { double d = ToNumber(pop()); num(std::isnan(d) ? 0 : std::trunc(d)); break; }
    case 0x4A: num(ToNumber(pop())); break;
    case 0x4B: push(ScriptValue::String(ToString(pop()))); break;
    case 0x44: push(ScriptValue::String(TypeOf(pop()))); break;
    case 0x32: case 0x36: {
        std::wstring wide = Wide(ToString(pop()));
        num(wide.empty() ? 0 : double(static_cast<uint32_t>(wide[0])));
        break;
    }
    case 0x33: case 0x37: {
        uint32_t c = ToUint32(ToNumber(pop()));
        std::wstring wide;
        if (c != 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) AppendCodePoint(wide, char32_t(c));
        push(ScriptValue::String(ToUtf8(wide)));
        break;
    }
    case 0x30: {                                             // RandomNumber
        double max = ToNumber(pop());
        if (!(max >= 1)) { num(0); break; }
        if (max > 2147483647.0) max = 2147483647.0;
        std::uniform_int_distribution<int32_t> pick(0, int32_t(max) - 1);
        num(pick(random));
        break;
    }
    case 0x34: num(host_.Milliseconds()); break;
    case 0x22: {                                             // GetProperty
        int index = ClampToInt(ToNumber(pop()));
        ScriptValue target = pop();
        ScriptObject* object = target.IsObject() ? target.object : FrameTarget(frame, ToString(target));
        push(GetPropertyByIndex(object, index));
        break;
    }
    case 0x23: {                                             // SetProperty
        ScriptValue value = pop();
        int index = ClampToInt(ToNumber(pop()));
        ScriptValue target = pop();
        ScriptObject* object = target.IsObject() ? target.object : FrameTarget(frame, ToString(target));
        SetPropertyByIndex(object, index, value);
        break;
    }
    case 0x45: {                                             // TargetPath
        ScriptValue value = pop();
        if (value.IsObject() && value.object->cls == ScriptObject::Class::Clip) push(ScriptValue::String(ClipPath(value.object)));
        else push({});
        break;
    }
    case 0x54: { ScriptValue constructor = pop(), value = pop(); push(ScriptValue::Bool(InstanceOf(value, constructor))); break; }
    case 0x2B: {                                             // CastOp
        ScriptValue value = pop(), constructor = pop();
        push(InstanceOf(value, constructor) ? value : ScriptValue::Null());
        break;
    }
    case 0x2C: { pop(); popArgs(); break; }                  // ImplementsOp
    case 0x69: {                                             // Extends
        ScriptValue superclass = pop(), subclass = pop();
        if (!subclass.IsObject() || !superclass.IsObject()) break;
        ScriptValue superPrototype = Get(superclass, "prototype");
        ScriptObject* prototype = NewObject(superPrototype.IsObject() ? superPrototype.object : objectProto);
        Define(prototype, "__constructor__", superclass);
        Define(prototype, "constructor", subclass);
        Define(subclass.object, "prototype", ScriptValue::Object(prototype));
        break;
    }
    default: break;                                          // unknown actions are skipped
    }
}

} // namespace refplayer
