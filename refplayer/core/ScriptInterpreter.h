#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "refplayer/core/ScriptHost.h"
#include "refplayer/core/ScriptObject.h"
#include "refplayer/core/ScriptValue.h"

namespace refplayer {

// Stops the running action list: malformed records, exhausted limits, failed built-ins.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value thrown by the Throw action; Try blocks catch it, otherwise it stops the list.
class ScriptThrow : public ScriptError {
public:
    explicit ScriptThrow(ScriptValue thrown) : ScriptError("uncaught script exception"), value(std::move(thrown)) {}
    ScriptValue value;
};

// The engine behind ScriptEngine: the action-record interpreter, the object heap with its
// collector, value conversions and the built-in objects. Built-ins (ScriptBuiltins.cpp) use
// the public helpers below.
class ScriptInterpreter {
public:
    ScriptInterpreter(ScriptHost& host, int swfVersion);
    ~ScriptInterpreter();

    // -- Entry points: never throw --------------------------------------------------------
    void Run(ScriptObjectRef* clip, const uint8_t* actions, size_t size);
    void SetVariable(ScriptObjectRef* clip, const std::string& name, const std::string& value);
    std::optional<std::string> GetVariable(ScriptObjectRef* clip, const std::string& path);
    void NetStreamStatus(NetStreamId stream, const std::string& code, const std::string& level);
    void ObjectRemoved(ScriptObjectRef* object);
    void ClipEvent(ScriptObjectRef* clip, const std::string& name);
    void SetLimits(uint32_t stepBudget, int callDepth) { stepBudget_ = stepBudget; maxDepth_ = callDepth; }
    const std::string& LastError() const { return lastError_; }
    size_t LiveObjects() const { return heap_.size(); }

    // -- For the built-ins ----------------------------------------------------------------
    ScriptHost& Host() { return host_; }
    int Version() const { return version_; }

    ScriptObject* NewObject();
    ScriptObject* NewObject(ScriptObject* proto);
    ScriptObject* NewArray(std::vector<ScriptValue> elements = {});
    ScriptObject* NewNative(ScriptNativeFunction function);
    // The script object of a display object, made on first use; null for null.
    ScriptObject* ClipObject(ScriptObjectRef* display);

    ScriptValue Get(const ScriptValue& target, const std::string& name);
    void Set(const ScriptValue& target, const std::string& name, ScriptValue value);
    bool Has(ScriptObject* object, const std::string& name);
    // Own property only: set without looking at clip built-ins or arrays.
    void Define(ScriptObject* object, const std::string& name, ScriptValue value);
    ScriptValue Call(const ScriptValue& function, const ScriptValue& self, std::vector<ScriptValue> args);
    ScriptValue Construct(const ScriptValue& constructor, std::vector<ScriptValue> args);

    std::string ToString(const ScriptValue& value);
    double ToNumber(const ScriptValue& value);
    bool ToBoolean(const ScriptValue& value);
    std::string TypeOf(const ScriptValue& value);
    ScriptValue ToPrimitive(const ScriptValue& value, bool preferString);
    bool LooseEquals(const ScriptValue& a, const ScriptValue& b);
    bool StrictEquals(const ScriptValue& a, const ScriptValue& b);
    bool InstanceOf(const ScriptValue& value, const ScriptValue& constructor);
    // Dotted path of a clip as scripts print it ("_level0.menu.item").
    std::string ClipPath(ScriptObject* clip);
    // Resolves a target given as text ("_root.picture", "/menu", "../x") from `base`.
    ScriptObject* ResolveTarget(ScriptObject* base, const std::string& path);
    ScriptObject* Root(ScriptObject* clip);
    ScriptObject* Parent(ScriptObject* clip);

    // Charges work done inside a built-in (joins, splits) against the step budget.
    void Charge(size_t steps);
    // Fails when a string would grow past the limit.
    void CheckLength(size_t bytes);

    static constexpr size_t MaxStringBytes = 8u << 20;
    static constexpr size_t MaxArrayLength = 1u << 20;
    static constexpr size_t MaxObjects = 300000;
    static constexpr size_t MaxStack = 100000;

    ScriptObject* objectProto = nullptr;
    ScriptObject* functionProto = nullptr;
    ScriptObject* arrayProto = nullptr;
    ScriptObject* stringProto = nullptr;
    ScriptObject* numberProto = nullptr;
    ScriptObject* booleanProto = nullptr;
    ScriptObject* clipProto = nullptr;
    ScriptObject* videoProto = nullptr;
    ScriptObject* textFieldProto = nullptr;
    ScriptObject* buttonProto = nullptr;
    ScriptObject* netConnectionProto = nullptr;
    ScriptObject* netStreamProto = nullptr;
    ScriptObject* global = nullptr;
    std::unordered_map<NetStreamId, ScriptObject*> streams; // for NetStreamStatus
    // Math.random and RandomNumber; one per engine, so the module needs no thread-local state.
    std::mt19937 random;

public:
    // One activation of an action list: the top-level list of Run, or a function body.
    struct Frame {
        ScriptValue self;                        // this
        ScriptObject* original = nullptr;        // the clip the code belongs to
        ScriptObject* target = nullptr;          // the timeline SetTarget chose (null: invalid)
        bool targetValid = true;
        ScriptObject* activation = nullptr;      // locals; null at the top level
        ScriptObject* callee = nullptr;
        std::vector<ScriptObject*> scope;        // closed-over scope, outermost first
        std::vector<ScriptValue> args;
        std::vector<ScriptValue> registers;
        std::vector<std::string> constants;
        std::vector<ScriptValue> stack;
        struct With { size_t start, end; ScriptObject* object; };
        std::vector<With> withs;
        struct Try {
            size_t tryStart, tryEnd, catchEnd, finallyEnd;
            bool hasCatch, catchInRegister;
            uint8_t catchRegister;
            std::string catchName;
        };
        std::vector<Try> tries;
        bool returned = false;
        ScriptValue result;
        bool safe = false;                       // between actions: every value lives in the frame
    };


private:
    friend struct FrameRegistration;

    template <class Body> void Enter(Body body);
    void Execute(Frame& frame, const uint8_t* code, size_t size);
    void Step(Frame& frame, const uint8_t* code, size_t size, size_t& pc);
    ScriptValue CallScript(ScriptObject* function, const ScriptValue& self, std::vector<ScriptValue> args);
    ScriptValue CallNative(ScriptObject* function, const ScriptValue& self, std::vector<ScriptValue>& args);
    ScriptObject* MakeFunction(Frame& frame, std::shared_ptr<ScriptFunctionCode> code);

    ScriptValue Lookup(Frame& frame, const std::string& name);
    ScriptValue GetVariablePath(Frame& frame, const std::string& name);
    void SetVariablePath(Frame& frame, const std::string& name, ScriptValue value);
    void SetScoped(Frame& frame, const std::string& name, ScriptValue value);
    ScriptObject* FrameTarget(Frame& frame, const std::string& path);
    ScriptObjectRef* Timeline(Frame& frame);
    std::vector<ScriptObject*> ScopeChain(Frame& frame); // innermost first

    void GetUrl(Frame& frame, const std::string& url, const std::string& target, int method, bool intoClip);
    void GotoFrameValue(Frame& frame, const ScriptValue& value, bool play, int bias);
    ScriptValue GetPropertyByIndex(ScriptObject* clip, int index);
    void SetPropertyByIndex(ScriptObject* clip, int index, const ScriptValue& value);
    bool GetClipBuiltin(ScriptObject* clip, const std::string& name, ScriptValue& out);
    bool SetClipBuiltin(ScriptObject* clip, const std::string& name, const ScriptValue& value);

    std::string Key(const std::string& name) const;
    ScriptProperty* FindOwn(ScriptObject* object, const std::string& name);
    void Collect();
    void Mark(ScriptObject* object);
    void MarkValue(const ScriptValue& value);
    bool SafeToCollect() const;
    void InstallBuiltins();

    ScriptHost& host_;
    int version_;
    std::vector<std::unique_ptr<ScriptObject>> heap_;
    size_t collectAt_ = 4096;
    uint64_t nextOrder_ = 0;
    std::unordered_map<ScriptObjectRef*, ScriptObject*> clips_;
    std::vector<ScriptObject*> roots_;  // prototypes and other permanent objects
    std::vector<Frame*> frames_;         // the running frames, for the collector
    uint32_t stepBudget_;
    int maxDepth_;
    uint32_t steps_ = 0;
    int depth_ = 0;
    int entries_ = 0;
    int nativeDepth_ = 0;
    std::string lastError_;
};

} // namespace refplayer
