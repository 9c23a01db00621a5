#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "refplayer/core/ScriptHost.h"
#include "refplayer/core/ScriptValue.h"

namespace refplayer {

class ScriptInterpreter;

// The body of a function defined by DefineFunction or DefineFunction2, copied out of the
// action list (which need not outlive the call that ran it).
struct ScriptFunctionCode {
    std::string name;
    std::vector<uint8_t> code;
    std::vector<std::string> constants;              // the constant pool where it was defined
    std::vector<std::pair<uint8_t, std::string>> parameters; // register (0: none) and name
    bool v2 = false;                                 // DefineFunction2: registers and preload flags
    uint8_t registerCount = 0;
    uint16_t flags = 0;
};

using ScriptNativeFunction =
    std::function<ScriptValue(ScriptInterpreter&, const ScriptValue& self, std::vector<ScriptValue>& args)>;

// One property of an object; the name as first written, for enumeration.
struct ScriptProperty {
    std::string name;
    ScriptValue value;
    uint64_t order = 0;
};

// Every object of the movie's scripts: plain objects, arrays, functions, and the script side
// of display objects and net streams. Garbage collection is mark and sweep over the
// interpreter's heap, so cycles (a clip holding a closure that holds the clip) are freed.
struct ScriptObject {
    enum class Class { Plain, Array, Function, Clip, NetConnection, NetStream };

    Class cls = Class::Plain;
    ScriptObject* proto = nullptr;
    std::map<std::string, ScriptProperty> properties; // keyed by the name as lookups compare it
    std::vector<ScriptValue> elements;               // Array

    // Function: native code, or a script body with the scope it closes over.
    ScriptNativeFunction native;
    std::shared_ptr<const ScriptFunctionCode> code;
    std::vector<ScriptObject*> scope;                // outer activations and with-objects
    ScriptObject* definingClip = nullptr;            // the timeline it was defined on

    ScriptObjectRef* display = nullptr;              // Clip: null once the object is removed
    NetStreamId stream = 0;                          // NetStream

    bool marked = false;
};

} // namespace refplayer
