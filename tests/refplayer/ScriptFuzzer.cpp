// libFuzzer target: arbitrary bytes as action records, run against a small fake display
// list. The first byte picks the movie version. Built by scripts/fuzz.sh (target "script").

#include <cstddef>
#include <cstdint>

#include "refplayer/core/ScriptEngine.h"
#include "tests/refplayer/ScriptTestSupport.h"

using namespace refplayer;
using namespace refplayer_test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FakeScriptHost host;
    FakeObject* menu = host.root.Add("menu");
    menu->Add("item");
    host.root.Add("my_video", ScriptObjectKind::Video);
    host.root.Add("label", ScriptObjectKind::TextField);
    ScriptEngine engine(host, 4 + data[0] % 7);
    engine.SetLimits(20000, 32);
    engine.SetVariable(host.root.Ref(), "FLVPath", "v.flv");
    engine.Run(host.root.Ref(), data + 1, size - 1);
    engine.Run(menu->Ref(), data + 1, size - 1);
    engine.ClipEvent(host.root.Ref(), "onEnterFrame");
    engine.NetStreamStatus(1, "NetStream.Play.Start", "status");
    engine.GetVariable(host.root.Ref(), "a");
    engine.ObjectRemoved(menu->Ref());
    engine.Run(host.root.Ref(), data + 1, size - 1);
    return 0;
}
