#include "refplayer/core/ScriptEngine.h"

#include "refplayer/core/ScriptInterpreter.h"

namespace refplayer {

ScriptEngine::ScriptEngine(ScriptHost& host, int swfVersion)
    : interpreter_(std::make_unique<ScriptInterpreter>(host, swfVersion)) {}

ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::Run(ScriptObjectRef* clip, const uint8_t* actions, size_t size) {
    interpreter_->Run(clip, actions, size);
}

void ScriptEngine::SetVariable(ScriptObjectRef* clip, const std::string& name, const std::string& value) {
    interpreter_->SetVariable(clip, name, value);
}

std::optional<std::string> ScriptEngine::GetVariable(ScriptObjectRef* clip, const std::string& path) {
    return interpreter_->GetVariable(clip, path);
}

void ScriptEngine::NetStreamStatus(NetStreamId stream, const std::string& code, const std::string& level) {
    interpreter_->NetStreamStatus(stream, code, level);
}

void ScriptEngine::ObjectRemoved(ScriptObjectRef* object) { interpreter_->ObjectRemoved(object); }

void ScriptEngine::ClipEvent(ScriptObjectRef* clip, const std::string& name) {
    interpreter_->ClipEvent(clip, name);
}

void ScriptEngine::SetLimits(uint32_t stepBudget, int callDepth) { interpreter_->SetLimits(stepBudget, callDepth); }

const std::string& ScriptEngine::LastError() const { return interpreter_->LastError(); }

size_t ScriptEngine::LiveObjects() const { return interpreter_->LiveObjects(); }

} // namespace refplayer
