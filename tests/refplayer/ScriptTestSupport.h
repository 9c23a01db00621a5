#pragma once

// A recording stand-in for the display list and a small assembler of action records, for
// the script engine's tests.

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "refplayer/core/ScriptHost.h"

namespace refplayer_test {

using Bytes = std::vector<uint8_t>;

// A display object of the fake display list.
struct FakeObject {
    std::string name;
    refplayer::ScriptObjectKind kind = refplayer::ScriptObjectKind::MovieClip;
    FakeObject* parent = nullptr;
    std::vector<std::unique_ptr<FakeObject>> children;
    std::map<refplayer::ClipProperty, double> numbers;
    std::string fieldText;
    int level = -1;

    refplayer::ScriptObjectRef* Ref() { return reinterpret_cast<refplayer::ScriptObjectRef*>(this); }
    FakeObject* Add(const std::string& childName, refplayer::ScriptObjectKind childKind = refplayer::ScriptObjectKind::MovieClip) {
        children.push_back(std::make_unique<FakeObject>());
        FakeObject* child = children.back().get();
        child->name = childName;
        child->kind = childKind;
        child->parent = this;
        return child;
    }
};

inline FakeObject* Fake(refplayer::ScriptObjectRef* ref) { return reinterpret_cast<FakeObject*>(ref); }

// Records every call that changes something, one line each ("GotoFrame /menu 3 play").
class FakeScriptHost : public refplayer::ScriptHost {
public:
    FakeScriptHost() {
        root.level = 0;
        root.numbers[refplayer::ClipProperty::TotalFrames] = 10;
        root.numbers[refplayer::ClipProperty::FramesLoaded] = 10;
    }

    FakeObject root;
    FakeObject level1;
    bool level1Loaded = false;
    std::vector<std::string> calls;
    std::string externalAnswer;
    std::string lastInvoke;
    refplayer::NetStreamId nextStream = 1;
    std::map<refplayer::NetStreamId, double> streamTimes;
    double clock = 1234.5;

    std::string Path(refplayer::ScriptObjectRef* ref) { return TargetPath(ref); }

    refplayer::ScriptObjectRef* Level(int level) override {
        if (level == 0) return root.Ref();
        if (level == 1 && level1Loaded) { level1.level = 1; return level1.Ref(); }
        return nullptr;
    }
    refplayer::ScriptObjectRef* Parent(refplayer::ScriptObjectRef* o) override {
        FakeObject* parent = Fake(o)->parent;
        return parent ? parent->Ref() : nullptr;
    }
    refplayer::ScriptObjectRef* Child(refplayer::ScriptObjectRef* clip, const std::string& name) override {
        for (auto& child : Fake(clip)->children) if (child->name == name) return child->Ref();
        return nullptr;
    }
    refplayer::ScriptObjectKind Kind(refplayer::ScriptObjectRef* o) override { return Fake(o)->kind; }
    std::string TargetPath(refplayer::ScriptObjectRef* o) override {
        FakeObject* object = Fake(o);
        if (!object->parent) return object->level == 0 ? "/" : "_level" + std::to_string(object->level);
        std::string parent = TargetPath(object->parent->Ref());
        return (parent == "/" ? "" : parent) + "/" + object->name;
    }
    double GetNumber(refplayer::ScriptObjectRef* o, refplayer::ClipProperty p) override {
        auto found = Fake(o)->numbers.find(p);
        return found == Fake(o)->numbers.end() ? 0 : found->second;
    }
    std::string GetText(refplayer::ScriptObjectRef* o, refplayer::ClipProperty p) override {
        if (p == refplayer::ClipProperty::Name) return Fake(o)->name;
        if (p == refplayer::ClipProperty::Target) return TargetPath(o);
        return "";
    }
    void SetNumber(refplayer::ScriptObjectRef* o, refplayer::ClipProperty p, double value) override {
        Fake(o)->numbers[p] = value;
        calls.push_back("SetNumber " + Path(o) + " " + std::to_string(int(p)) + " " + Number(value));
    }
    void SetText(refplayer::ScriptObjectRef* o, refplayer::ClipProperty p, const std::string& value) override {
        if (p == refplayer::ClipProperty::Name) Fake(o)->name = value;
        calls.push_back("SetText " + Path(o) + " " + std::to_string(int(p)) + " " + value);
    }
    // Runs while GotoFrame is called, as a display list that runs frame scripts at once would.
    std::function<void(refplayer::ScriptObjectRef*)> onGotoFrame;

    void GotoFrame(refplayer::ScriptObjectRef* clip, int frame, bool play) override {
        calls.push_back("GotoFrame " + Path(clip) + " " + std::to_string(frame) + (play ? " play" : " stop"));
        if (onGotoFrame) onGotoFrame(clip);
    }
    bool GotoLabel(refplayer::ScriptObjectRef* clip, const std::string& label, bool play) override {
        calls.push_back("GotoLabel " + Path(clip) + " " + label + (play ? " play" : " stop"));
        return true;
    }
    void SetPlaying(refplayer::ScriptObjectRef* clip, bool playing) override {
        calls.push_back(std::string(playing ? "Play " : "Stop ") + Path(clip));
    }
    void NextFrame(refplayer::ScriptObjectRef* clip) override { calls.push_back("NextFrame " + Path(clip)); }
    void PreviousFrame(refplayer::ScriptObjectRef* clip) override { calls.push_back("PreviousFrame " + Path(clip)); }
    void SetFieldText(refplayer::ScriptObjectRef* field, const std::string& text) override {
        Fake(field)->fieldText = text;
        calls.push_back("SetFieldText " + Path(field) + " " + text);
    }
    std::string FieldText(refplayer::ScriptObjectRef* field) override { return Fake(field)->fieldText; }
    void GetUrl(const std::string& url, const std::string& window, int method) override {
        calls.push_back("GetUrl " + url + " " + window + " " + std::to_string(method));
    }
    void LoadMovie(refplayer::ScriptObjectRef* clip, const std::string& url) override {
        calls.push_back("LoadMovie " + Path(clip) + " " + url);
    }
    void LoadMovieNum(int level, const std::string& url) override {
        calls.push_back("LoadMovieNum " + std::to_string(level) + " " + url);
    }
    void FsCommand(const std::string& command, const std::string& args) override {
        calls.push_back("FsCommand " + command + " " + args);
    }
    std::string ExternalCall(const std::string& invokeXml) override {
        lastInvoke = invokeXml;
        calls.push_back("ExternalCall");
        return externalAnswer;
    }
    refplayer::NetStreamId CreateNetStream() override {
        calls.push_back("CreateNetStream " + std::to_string(nextStream));
        return nextStream++;
    }
    void NetStreamPlay(refplayer::NetStreamId s, const std::string& url) override {
        calls.push_back("NetStreamPlay " + std::to_string(s) + " " + url);
    }
    void NetStreamPause(refplayer::NetStreamId s, int mode) override {
        calls.push_back("NetStreamPause " + std::to_string(s) + " " + std::to_string(mode));
    }
    void NetStreamSeek(refplayer::NetStreamId s, double seconds) override {
        calls.push_back("NetStreamSeek " + std::to_string(s) + " " + Number(seconds));
    }
    void NetStreamClose(refplayer::NetStreamId s) override { calls.push_back("NetStreamClose " + std::to_string(s)); }
    void NetStreamSetBufferTime(refplayer::NetStreamId s, double seconds) override {
        calls.push_back("NetStreamSetBufferTime " + std::to_string(s) + " " + Number(seconds));
    }
    double NetStreamTime(refplayer::NetStreamId s) override { return streamTimes[s]; }
    void AttachVideo(refplayer::ScriptObjectRef* video, refplayer::NetStreamId s) override {
        calls.push_back("AttachVideo " + Path(video) + " " + std::to_string(s));
    }
    double Milliseconds() override { return clock; }

    static std::string Number(double value) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", value);
        return buffer;
    }
};

// Value kinds of the Push action.
struct PushItem {
    uint8_t type;
    Bytes data;
};
inline PushItem Str(const std::string& s) { Bytes b(s.begin(), s.end()); b.push_back(0); return {0, b}; }
inline PushItem Flt(float f) { Bytes b(4); std::memcpy(b.data(), &f, 4); return {1, b}; }
inline PushItem Null() { return {2, {}}; }
inline PushItem Undef() { return {3, {}}; }
inline PushItem Reg(uint8_t r) { return {4, {r}}; }
inline PushItem Bool(bool v) { return {5, {uint8_t(v ? 1 : 0)}}; }
inline PushItem Dbl(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    Bytes b;
    uint32_t high = uint32_t(bits >> 32), low = uint32_t(bits);
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(high >> (8 * i)));
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(low >> (8 * i)));
    return {6, b};
}
inline PushItem Int(int32_t v) {
    Bytes b;
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return {7, b};
}
inline PushItem C8(uint8_t i) { return {8, {i}}; }
inline PushItem C16(uint16_t i) { return {9, {uint8_t(i), uint8_t(i >> 8)}}; }

// Action-record assembler. Labels are resolved when Build() is called.
class Asm {
public:
    enum Op : uint8_t {
        NextFrame = 0x04, PrevFrame = 0x05, Play = 0x06, Stop = 0x07, Add = 0x0A, Subtract = 0x0B,
        Multiply = 0x0C, Divide = 0x0D, Equals = 0x0E, Less = 0x0F, And = 0x10, Or = 0x11, Not = 0x12,
        StringEquals = 0x13, StringLength = 0x14, StringExtract = 0x15, Pop = 0x17, ToInteger = 0x18,
        GetVariable = 0x1C, SetVariable = 0x1D, SetTarget2 = 0x20, StringAdd = 0x21, GetProperty = 0x22,
        SetProperty = 0x23, Trace = 0x26, StringLess = 0x29, Throw = 0x2A, CastOp = 0x2B,
        MBStringLength = 0x31, CharToAscii = 0x32, AsciiToChar = 0x33, GetTime = 0x34,
        MBStringExtract = 0x35, Delete = 0x3A, Delete2 = 0x3B, DefineLocal = 0x3C, CallFunction = 0x3D,
        Return = 0x3E, Modulo = 0x3F, NewObject = 0x40, DefineLocal2 = 0x41, InitArray = 0x42,
        InitObject = 0x43, TypeOf = 0x44, TargetPath = 0x45, Enumerate = 0x46, Add2 = 0x47, Less2 = 0x48,
        Equals2 = 0x49, ToNumber = 0x4A, ToString = 0x4B, PushDuplicate = 0x4C, StackSwap = 0x4D,
        GetMember = 0x4E, SetMember = 0x4F, Increment = 0x50, Decrement = 0x51, CallMethod = 0x52,
        NewMethod = 0x53, InstanceOf = 0x54, Enumerate2 = 0x55, BitAnd = 0x60, BitOr = 0x61, BitXor = 0x62,
        BitLShift = 0x63, BitRShift = 0x64, BitURShift = 0x65, StrictEquals = 0x66, Greater = 0x67,
        StringGreater = 0x68, Extends = 0x69,
    };

    Asm& op(uint8_t code) { bytes_.push_back(code); return *this; }
    Asm& record(uint8_t code, const Bytes& data) {
        bytes_.push_back(code);
        bytes_.push_back(uint8_t(data.size()));
        bytes_.push_back(uint8_t(data.size() >> 8));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    Asm& push(std::initializer_list<PushItem> items) {
        Bytes data;
        for (auto& item : items) { data.push_back(item.type); data.insert(data.end(), item.data.begin(), item.data.end()); }
        return record(0x96, data);
    }
    Asm& push(const std::string& s) { return push({Str(s)}); }
    Asm& push(double d) { return push({Dbl(d)}); }
    Asm& constants(std::initializer_list<std::string> pool) {
        Bytes data{uint8_t(pool.size()), uint8_t(pool.size() >> 8)};
        for (auto& s : pool) { data.insert(data.end(), s.begin(), s.end()); data.push_back(0); }
        return record(0x88, data);
    }
    Asm& gotoFrame(uint16_t frame) { return record(0x81, {uint8_t(frame), uint8_t(frame >> 8)}); }
    Asm& gotoLabel(const std::string& label) { return record(0x8C, Z(label)); }
    Asm& gotoFrame2(bool play, int bias = -1) {
        Bytes data{uint8_t((play ? 1 : 0) | (bias >= 0 ? 2 : 0))};
        if (bias >= 0) { data.push_back(uint8_t(bias)); data.push_back(uint8_t(bias >> 8)); }
        return record(0x9F, data);
    }
    Asm& setTarget(const std::string& target) { return record(0x8B, Z(target)); }
    Asm& getUrl(const std::string& url, const std::string& target) {
        Bytes data = Z(url);
        Bytes t = Z(target);
        data.insert(data.end(), t.begin(), t.end());
        return record(0x83, data);
    }
    Asm& getUrl2(uint8_t flags) { return record(0x9A, {flags}); }
    Asm& storeRegister(uint8_t r) { return record(0x87, {r}); }
    Asm& jump(const std::string& label) { return branch(0x99, label); }
    Asm& ifTrue(const std::string& label) { return branch(0x9D, label); }
    Asm& label(const std::string& name) { labels_[name] = bytes_.size(); return *this; }

    // Variable helpers: name = <pushed value>.
    Asm& set(const std::string& name, PushItem value) { return push({Str(name), value}).op(SetVariable); }
    Asm& setTop(const std::string& name) { return push(name).op(StackSwap).op(SetVariable); }
    Asm& get(const std::string& name) { return push(name).op(GetVariable); }

    Asm& defineFunction(const std::string& name, std::initializer_list<std::string> params, const Asm& body) {
        Bytes data = Z(name);
        data.push_back(uint8_t(params.size()));
        data.push_back(uint8_t(params.size() >> 8));
        for (auto& p : params) { Bytes z = Z(p); data.insert(data.end(), z.begin(), z.end()); }
        Bytes code = body.Code();
        data.push_back(uint8_t(code.size()));
        data.push_back(uint8_t(code.size() >> 8));
        record(0x9B, data);
        bytes_.insert(bytes_.end(), code.begin(), code.end());
        return *this;
    }
    Asm& defineFunction2(const std::string& name, uint8_t registers, uint16_t flags,
                         std::initializer_list<std::pair<uint8_t, std::string>> params, const Asm& body) {
        Bytes data = Z(name);
        data.push_back(uint8_t(params.size()));
        data.push_back(uint8_t(params.size() >> 8));
        data.push_back(registers);
        data.push_back(uint8_t(flags));
        data.push_back(uint8_t(flags >> 8));
        for (auto& p : params) { data.push_back(p.first); Bytes z = Z(p.second); data.insert(data.end(), z.begin(), z.end()); }
        Bytes code = body.Code();
        data.push_back(uint8_t(code.size()));
        data.push_back(uint8_t(code.size() >> 8));
        record(0x8E, data);
        bytes_.insert(bytes_.end(), code.begin(), code.end());
        return *this;
    }
    Asm& with(const Asm& body) {
        Bytes code = body.Code();
        record(0x94, {uint8_t(code.size()), uint8_t(code.size() >> 8)});
        bytes_.insert(bytes_.end(), code.begin(), code.end());
        return *this;
    }
    // try { tryBody } catch (name) { catchBody }
    Asm& tryCatch(const Asm& tryBody, const std::string& name, const Asm& catchBody) {
        Bytes t = tryBody.Code(), c = catchBody.Code();
        Bytes data{1, uint8_t(t.size()), uint8_t(t.size() >> 8), uint8_t(c.size()), uint8_t(c.size() >> 8), 0, 0};
        Bytes z = Z(name);
        data.insert(data.end(), z.begin(), z.end());
        record(0x8F, data);
        bytes_.insert(bytes_.end(), t.begin(), t.end());
        bytes_.insert(bytes_.end(), c.begin(), c.end());
        return *this;
    }
    // name(args): the arguments are already pushed, last first.
    Asm& call(const std::string& name, int argc) { return push({Int(argc), Str(name)}).op(CallFunction); }
    // object.method(args): the arguments are pushed, then the object; count and name follow.
    Asm& callMethod(const std::string& method, int argc) {
        return push({Int(argc)}).op(StackSwap).push(method).op(CallMethod);
    }
    Asm& member(const std::string& name) { return push(name).op(GetMember); }
    Asm& raw(const Bytes& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); return *this; }

    // The records without the End action (for function bodies).
    Bytes Code() const {
        Bytes out = bytes_;
        for (auto& fix : fixups_) {
            auto target = labels_.find(fix.second);
            if (target == labels_.end()) throw std::logic_error("undefined label " + fix.second);
            int offset = int(target->second) - int(fix.first + 2);
            out[fix.first] = uint8_t(offset);
            out[fix.first + 1] = uint8_t(offset >> 8);
        }
        return out;
    }
    Bytes Build() const { Bytes out = Code(); out.push_back(0); return out; }

private:
    static Bytes Z(const std::string& s) { Bytes b(s.begin(), s.end()); b.push_back(0); return b; }
    Asm& branch(uint8_t code, const std::string& label) {
        record(code, {0, 0});
        fixups_.emplace_back(bytes_.size() - 2, label);
        return *this;
    }

    Bytes bytes_;
    std::map<std::string, size_t> labels_;
    std::vector<std::pair<size_t, std::string>> fixups_;
};

} // namespace refplayer_test
