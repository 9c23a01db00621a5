#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "refplayer/core/ScriptHost.h"

namespace refplayer {

class ScriptInterpreter;

// Runs a movie's action records (DoAction, DoInitAction, button actions) against the display
// list behind ScriptHost. One engine per player: it owns every script object and variable;
// display objects are reached only through the host. Nothing thrown by a script, by
// malformed action data or by the host leaves these methods: a failing action list simply
// stops. Every entry point runs under a step budget and a call depth limit, so a hostile
// movie cannot hang or overflow the player's thread.
class ScriptEngine {
public:
    ScriptEngine(ScriptHost& host, int swfVersion);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs one action list with `clip` as this/_target. A script error stops that list only.
    void Run(ScriptObjectRef* clip, const uint8_t* actions, size_t size);

    // A variable as the player's outside sees it (FlashVars, SetVariable from the container,
    // variables bound to text fields). `name` may be a path like GetVariable's.
    void SetVariable(ScriptObjectRef* clip, const std::string& name, const std::string& value);
    // "a", "a.b", "/clip:var", "_root.x"; nullopt when the variable is undefined.
    std::optional<std::string> GetVariable(ScriptObjectRef* clip, const std::string& path);

    // Calls the NetStream's onStatus({code, level}) when the script defined one.
    void NetStreamStatus(NetStreamId stream, const std::string& code, const std::string& level);
    // The display object is gone: its variables and script object are forgotten, and
    // references to it held by scripts no longer reach it.
    void ObjectRemoved(ScriptObjectRef* object);
    // Calls clip.onEnterFrame / onPress / onRelease / ... when the script defined it.
    void ClipEvent(ScriptObjectRef* clip, const std::string& name);

    // Limits of one entry point (Run, ClipEvent, NetStreamStatus); tests lower them.
    static constexpr uint32_t DefaultStepBudget = 1000000;
    static constexpr int DefaultCallDepth = 64;
    void SetLimits(uint32_t stepBudget, int callDepth);

    // How the last entry point ended: empty when it ran to its end, otherwise why it stopped
    // ("step budget exhausted", "malformed action record", ...). For tests and diagnostics
    // the player may show; the engine itself never logs.
    const std::string& LastError() const;
    // Script objects alive on the engine's heap (tests check that garbage is collected).
    size_t LiveObjects() const;

private:
    std::unique_ptr<ScriptInterpreter> interpreter_;
};

}  // namespace refplayer
