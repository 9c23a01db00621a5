#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "refplayer/core/ScriptEngine.h"
#include "tests/refplayer/ScriptTestSupport.h"

namespace refplayer_test {

// An engine (version 8) on a fake display list whose root is _level0.
class Script : public ::testing::Test {
protected:
    FakeScriptHost host;
    std::unique_ptr<refplayer::ScriptEngine> engine = std::make_unique<refplayer::ScriptEngine>(host, 8);

    void UseVersion(int version) { engine = std::make_unique<refplayer::ScriptEngine>(host, version); }
    void Run(const Asm& code, FakeObject* clip = nullptr) {
        Bytes bytes = code.Build();
        engine->Run((clip ? clip : &host.root)->Ref(), bytes.data(), bytes.size());
    }
    std::string Var(const std::string& path, FakeObject* clip = nullptr) {
        auto value = engine->GetVariable((clip ? clip : &host.root)->Ref(), path);
        return value ? *value : "<undefined>";
    }
    // Runs code that leaves one value on the stack; answers its text.
    std::string Eval(Asm code) {
        Run(code.setTop("result"));
        return Var("result");
    }
    std::string TypeOfResult(Asm code) { return Eval(code.op(Asm::TypeOf)); }
    std::string Calls() {
        std::string all;
        for (auto& call : host.calls) all += call + "\n";
        return all;
    }
};

} // namespace refplayer_test
