#include <gtest/gtest.h>

#include "refplayer/core/ScriptEngine.h"
#include "tests/refplayer/ScriptTestFixture.h"

using namespace refplayer;
using namespace refplayer_test;

namespace {

enum : uint16_t {
    PreloadThis = 0x0001, PreloadArguments = 0x0004, PreloadRoot = 0x0040, PreloadParent = 0x0080,
    PreloadGlobal = 0x0100, SuppressArguments = 0x0008,
};

class ScriptClips : public Script {
protected:
    ScriptClips() {
        menu = host.root.Add("menu");
        item = menu->Add("item");
        picture = host.root.Add("picture");
        video = host.root.Add("my_video", ScriptObjectKind::Video);
        label = host.root.Add("label", ScriptObjectKind::TextField);
    }
    FakeObject* menu;
    FakeObject* item;
    FakeObject* picture;
    FakeObject* video;
    FakeObject* label;
};

// -- Timelines ---------------------------------------------------------------------------

TEST_F(ScriptClips, TimelineActionsReachTheTargetClip) {
    Run(Asm().op(Asm::Stop).op(Asm::Play).op(Asm::NextFrame).op(Asm::PrevFrame).gotoFrame(4).gotoLabel("intro"));
    EXPECT_EQ(Calls(), "Stop /\nPlay /\nNextFrame /\nPreviousFrame /\nGotoFrame / 4 stop\nGotoLabel / intro stop\n");
    host.calls.clear();
    Run(Asm().push({Int(3)}).gotoFrame2(true)
             .push({Str("menu:5")}).gotoFrame2(false)
             .push({Str("start")}).gotoFrame2(true)
             .push({Int(2)}).gotoFrame2(false, 10)
             .push({Str("/menu/item:done")}).gotoFrame2(false));
    EXPECT_EQ(Calls(), "GotoFrame / 2 play\nGotoFrame /menu 4 stop\nGotoLabel / start play\nGotoFrame / 11 stop\n"
                       "GotoLabel /menu/item done stop\n");
}

TEST_F(ScriptClips, SetTargetRedirectsTimelineActions) {
    Run(Asm().setTarget("menu/item").op(Asm::Play).setTarget("").op(Asm::Stop)
             .setTarget("nothing").op(Asm::Play)
             .push("_root.menu").op(Asm::SetTarget2).op(Asm::NextFrame)
             .push("picture").op(Asm::GetVariable).op(Asm::SetTarget2).op(Asm::Stop));
    EXPECT_EQ(Calls(), "Play /menu/item\nStop /\nNextFrame /menu\nStop /picture\n");
    host.calls.clear();
    Run(Asm().setTarget("..").op(Asm::Stop).setTarget("/menu").op(Asm::Play).setTarget("_parent/item").op(Asm::Stop), item);
    EXPECT_EQ(Calls(), "Stop /menu\nPlay /menu\nStop /menu/item\n");
}

TEST_F(ScriptClips, ClipMethodsAndProperties) {
    host.root.numbers[ClipProperty::X] = 10;
    menu->numbers[ClipProperty::Visible] = 1;
    EXPECT_EQ(Eval(Asm().get("_root._x")), "10");
    EXPECT_EQ(Eval(Asm().get("menu._visible")), "true");
    EXPECT_EQ(Eval(Asm().get("menu.item._name")), "item");
    EXPECT_EQ(Eval(Asm().get("menu.item._target")), "/menu/item");
    EXPECT_EQ(Eval(Asm().get("menu.item")), "_level0.menu.item");
    EXPECT_EQ(Eval(Asm().get("menu").op(Asm::TargetPath)), "_level0.menu");
    host.calls.clear();
    Run(Asm().get("menu").push({Str("_alpha"), Int(50)}).op(Asm::SetMember)
             .push({Str("menu._xscale"), Int(200)}).op(Asm::SetVariable)
             .push({Str("menu"), Int(7), Bool(false)}).op(Asm::SetProperty)
             .push({Str("menu._x"), Str("not a number")}).op(Asm::SetVariable)
             .push({Int(1)}).get("menu").callMethod("gotoAndPlay", 1).op(Asm::Pop)
             .get("menu").callMethod("gotoAndPlay", 0).op(Asm::Pop)
             .push({Int(3)}).get("menu").callMethod("gotoAndStop", 1).op(Asm::Pop)
             .push({Str("intro")}).get("menu").callMethod("gotoAndPlay", 1).op(Asm::Pop)
             .push({Int(0)}).get("menu.item").push("stop").op(Asm::CallMethod).op(Asm::Pop));
    EXPECT_EQ(Calls(), "SetNumber /menu 6 50\nSetNumber /menu 2 200\nSetNumber /menu 7 0\n"
                       "GotoFrame /menu 0 play\nGotoFrame /menu 2 stop\nGotoLabel /menu intro play\nStop /menu/item\n");
    EXPECT_EQ(Eval(Asm().push({Str("menu"), Int(6)}).op(Asm::GetProperty)), "50");
    EXPECT_EQ(Eval(Asm().push({Str("menu"), Int(13)}).op(Asm::GetProperty)), "menu");
    EXPECT_EQ(Eval(Asm().push({Str("menu"), Int(99)}).op(Asm::GetProperty).op(Asm::TypeOf)), "undefined");
}

TEST_F(ScriptClips, TextFieldText) {
    Run(Asm().push({Str("label.text"), Str("Hello")}).op(Asm::SetVariable));
    EXPECT_EQ(Calls(), "SetFieldText /label Hello\n");
    label->fieldText = "Shown";
    EXPECT_EQ(Eval(Asm().get("label").member("text")), "Shown");
}

// -- URLs and loading --------------------------------------------------------------------

TEST_F(ScriptClips, GetUrlWindowsLevelsAndCommands) {
    Run(Asm().getUrl("http://example.com/", "_blank")
             .getUrl("FSCommand:quit", "true")
             .getUrl("a.swf", "_level1")
             .push({Str("page.html"), Str("frame1")}).getUrl2(0x80)
             .push({Str("fscommand:fullscreen"), Str("false")}).getUrl2(0)
             .push({Str("b.swf"), Str("_level2")}).getUrl2(0)
             .push({Str("cmd"), Str("args")}).op(Asm::StackSwap).push({Int(2)}).op(Asm::StackSwap) // args, cmd, 2 ...
             .op(Asm::Pop).op(Asm::Pop).op(Asm::Pop)
             .push({Str("arg"), Str("save")}).call("fscommand", 2).op(Asm::Pop));
    EXPECT_EQ(Calls(), "GetUrl http://example.com/ _blank 0\nFsCommand quit true\nLoadMovieNum 1 a.swf\n"
                       "GetUrl page.html frame1 2\nFsCommand fullscreen false\nLoadMovieNum 2 b.swf\nFsCommand save arg\n");
}

TEST_F(ScriptClips, ButtonsLoadImagesIntoAClip) {
    // on (release) { loadMovie("images/image1.jpg", "_root.picture"); }
    Run(Asm().push({Str("images/image1.jpg"), Str("_root.picture")}).getUrl2(0x42), menu);
    // on (release) { _root.picture.loadMovie("images/image2.jpg"); }
    Run(Asm().push({Str("images/image2.jpg")}).get("_root").member("picture").callMethod("loadMovie", 1).op(Asm::Pop), menu);
    // loadMovie with a clip value as target, and unloadMovie("picture")
    Run(Asm().push({Str("images/image3.jpg")}).get("picture").getUrl2(0x02)
             .push({Str(""), Str("picture")}).getUrl2(0x02)
             .push({Int(0)}).get("picture").callMethod("unloadMovie", 0).op(Asm::Pop)
             .push({Str("x.jpg"), Str("no_such_clip")}).getUrl2(0x02));
    EXPECT_EQ(Calls(), "LoadMovie /picture images/image1.jpg\nLoadMovie /picture images/image2.jpg\n"
                       "LoadMovie /picture images/image3.jpg\nLoadMovie /picture \nLoadMovie /picture \n");
}

// -- Variables -----------------------------------------------------------------------------

TEST_F(ScriptClips, VariablePaths) {
    Run(Asm().set("/menu:v", Int(5)).set("_root.menu.item.w", Str("deep")).set("top", Int(1)), item);
    EXPECT_EQ(Var("menu.v"), "5");
    EXPECT_EQ(Var("/menu:v"), "5");
    EXPECT_EQ(Var("_root.menu.v"), "5");
    EXPECT_EQ(Var("_level0.menu.v"), "5");
    EXPECT_EQ(Var("../:v", item), "5");
    EXPECT_EQ(Var("w", item), "deep");
    EXPECT_EQ(Var("top", item), "1");
    EXPECT_EQ(Var("top"), "<undefined>");                  // set on the item's own timeline
    engine->SetVariable(host.root.Ref(), "menu.item.fromHost", "7");
    EXPECT_EQ(Eval(Asm().get("menu.item.fromHost").push({Int(1)}).op(Asm::Add2)), "71");   // text from outside
    EXPECT_EQ(Eval(Asm().get("menu.item.fromHost").op(Asm::ToNumber).push({Int(1)}).op(Asm::Add2)), "8");
    EXPECT_EQ(Var("_parent", item), "_level0.menu");
    EXPECT_EQ(Var("_root", item), "_level0");
    EXPECT_EQ(Var("this", item), "_level0.menu.item");
    EXPECT_EQ(Var("_level1"), "<undefined>");
    EXPECT_EQ(Var("nothing.at.all"), "<undefined>");
    // The display object's own name wins over nothing, but a variable shadows nothing else.
    EXPECT_EQ(Var("picture"), "_level0.picture");
}

TEST_F(ScriptClips, GlobalsAndLocals) {
    Run(Asm().get("_global").push({Str("shared"), Int(9)}).op(Asm::SetMember)
             .push({Str("local"), Int(1)}).op(Asm::DefineLocal)
             .push("declared").op(Asm::DefineLocal2));
    EXPECT_EQ(Var("shared", item), "9");                  // _global is seen from every timeline
    EXPECT_EQ(Var("local"), "1");
    EXPECT_EQ(Eval(Asm().get("declared").op(Asm::TypeOf)), "undefined");
    Run(Asm().push("local").op(Asm::Delete2).setTop("deleted"));
    EXPECT_EQ(Var("deleted"), "true");
    EXPECT_EQ(Var("local"), "<undefined>");
}

// -- Functions -----------------------------------------------------------------------------

TEST_F(Script, RecursiveFunction) {
    // function fact(n) { if (n <= 1) return 1; return n * fact(n - 1); }
    Asm fact;
    fact.get("n").push({Int(1)}).op(Asm::Greater).ifTrue("recurse").push({Int(1)}).op(Asm::Return)
        .label("recurse").get("n").get("n").op(Asm::Decrement).call("fact", 1).op(Asm::Multiply).op(Asm::Return);
    Run(Asm().defineFunction("fact", {"n"}, fact).push({Int(10)}).call("fact", 1).setTop("r"));
    EXPECT_EQ(Var("r"), "3628800");
}

TEST_F(Script, ClosuresKeepTheirOwnScope) {
    // function makeCounter() { var c = 0; return function () { c++; return c; }; }
    Asm inner;
    inner.push("c").get("c").op(Asm::Increment).op(Asm::SetVariable).get("c").op(Asm::Return);
    Asm outer;
    outer.push({Str("c"), Int(0)}).op(Asm::DefineLocal).defineFunction("", {}, inner).op(Asm::Return);
    Run(Asm().defineFunction("makeCounter", {}, outer)
             .push("a").call("makeCounter", 0).op(Asm::SetVariable)
             .push("b").call("makeCounter", 0).op(Asm::SetVariable)
             .call("a", 0).op(Asm::Pop).call("a", 0).setTop("ra").call("b", 0).setTop("rb"));
    EXPECT_EQ(Var("ra"), "2");
    EXPECT_EQ(Var("rb"), "1");
    EXPECT_EQ(Var("c"), "<undefined>");                   // the local never leaked to the timeline
}

TEST_F(ScriptClips, DefineFunction2RegistersAndPreloads) {
    // function f(a /* r3 */, b) { return a + b + arguments.length; }  with this in r1, arguments in r2
    Asm body;
    body.push({Reg(3)}).get("b").op(Asm::Add2).push({Reg(2)}).member("length").op(Asm::Add2).op(Asm::Return);
    Run(Asm().defineFunction2("f", 4, PreloadThis | PreloadArguments, {{3, "a"}, {0, "b"}}, body)
             .push({Int(5), Int(10)}).call("f", 2).setTop("r"));
    EXPECT_EQ(Var("r"), "17");
    // Root, parent and _global preload in that order after the others.
    Asm places;
    places.push({Reg(1)}).op(Asm::TargetPath).push({Str(" ")}).op(Asm::Add2)
          .push({Reg(2)}).op(Asm::TargetPath).op(Asm::Add2).push({Str(" ")}).op(Asm::Add2)
          .push({Reg(3)}).member("Math").op(Asm::TypeOf).op(Asm::Add2).op(Asm::Return);
    Run(Asm().defineFunction2("where", 4, PreloadRoot | PreloadParent | PreloadGlobal | SuppressArguments, {}, places)
             .call("where", 0).setTop("r"), item);
    EXPECT_EQ(Var("r", item), "_level0 _level0.menu object");
    // Registers of one call do not leak into the next.
    Asm reg;
    reg.push({Reg(1)}).op(Asm::TypeOf).push({Int(1)}).storeRegister(1).op(Asm::Pop).op(Asm::Return);
    Run(Asm().defineFunction2("fresh", 2, 0, {}, reg).call("fresh", 0).op(Asm::Pop).call("fresh", 0).setTop("r"));
    EXPECT_EQ(Var("r"), "undefined");
}

TEST_F(ScriptClips, MethodsSeeThisAndFunctionsActOnTheirTimeline) {
    // o = { v: 3, m: function () { return this.v; } }; r = o.m();
    Asm m;
    m.get("this").member("v").op(Asm::Return);
    Run(Asm().push({Str("o"), Str("v"), Int(3), Str("m")}).defineFunction("", {}, m).push({Int(2)}).op(Asm::InitObject)
             .op(Asm::SetVariable).push({Int(0)}).get("o").callMethod("m", 0).setTop("r"));
    EXPECT_EQ(Var("r"), "3");
    // A function defined on menu and called from the root still stops menu's timeline.
    Run(Asm().defineFunction("halt", {}, Asm().op(Asm::Stop)), menu);
    host.calls.clear();
    Run(Asm().push({Int(0)}).get("menu").callMethod("halt", 0).op(Asm::Pop));
    EXPECT_EQ(Calls(), "Stop /menu\n");
}

// -- Objects -------------------------------------------------------------------------------

TEST_F(Script, ObjectsArraysAndEnumeration) {
    Run(Asm().push({Str("o"), Str("a"), Int(1), Str("b"), Str("x")}).push({Int(2)}).op(Asm::InitObject).op(Asm::SetVariable)
             .push({Str("list"), Int(3), Int(2), Int(1), Int(3)}).op(Asm::InitArray).op(Asm::SetVariable)
             .get("o").push({Str("c"), Bool(true)}).op(Asm::SetMember));
    EXPECT_EQ(Var("o.a"), "1");
    EXPECT_EQ(Var("o.b"), "x");
    EXPECT_EQ(Var("list"), "1,2,3");
    EXPECT_EQ(Var("list.length"), "3");
    EXPECT_EQ(Eval(Asm().get("list").member("1")), "2");
    // for (k in o) names += k;
    Run(Asm().set("names", Str("")).get("o").op(Asm::Enumerate2)
             .label("next").op(Asm::PushDuplicate).push({Null()}).op(Asm::Equals2).ifTrue("done")
             .push("names").op(Asm::StackSwap).get("names").op(Asm::StackSwap).op(Asm::Add2).op(Asm::SetVariable)
             .jump("next").label("done").op(Asm::Pop));
    EXPECT_EQ(Var("names"), "cba");                       // the newest name comes first
    Run(Asm().get("o").push("a").op(Asm::Delete).setTop("removed"));
    EXPECT_EQ(Var("removed"), "true");
    EXPECT_EQ(Var("o.a"), "<undefined>");
    Run(Asm().get("list").push({Str("5"), Str("six")}).op(Asm::SetMember));
    EXPECT_EQ(Var("list.length"), "6");
    EXPECT_EQ(Var("list"), "1,2,3,,,six");
}

TEST_F(Script, ConstructorsPrototypesAndInheritance) {
    // function Base(v) { this.v = v; }  Base.prototype.get = function () { return this.v; };
    // function Sub() {}  Sub extends Base;  s = new Sub();  s.v = 4;
    Run(Asm().defineFunction("Base", {"v"}, Asm().get("this").push("v").get("v").op(Asm::SetMember))
             .get("Base").member("prototype").push("get")
             .defineFunction("", {}, Asm().get("this").member("v").op(Asm::Return)).op(Asm::SetMember)
             .defineFunction("Sub", {}, Asm())
             .get("Sub").get("Base").op(Asm::Extends)
             .push({Str("b"), Int(7), Int(1), Str("Base")}).op(Asm::NewObject).op(Asm::SetVariable)
             .push({Str("s"), Int(0), Str("Sub")}).op(Asm::NewObject).op(Asm::SetVariable)
             .get("s").push({Str("v"), Int(4)}).op(Asm::SetMember));
    EXPECT_EQ(Eval(Asm().push({Int(0)}).get("b").callMethod("get", 0)), "7");
    EXPECT_EQ(Eval(Asm().push({Int(0)}).get("s").callMethod("get", 0)), "4");
    EXPECT_EQ(Eval(Asm().get("s").get("Base").op(Asm::InstanceOf)), "true");
    EXPECT_EQ(Eval(Asm().get("b").get("Sub").op(Asm::InstanceOf)), "false");
    EXPECT_EQ(Eval(Asm().get("Sub").get("b").op(Asm::CastOp)), "null");
    // new on something that is not a function gives undefined, not a failure
    EXPECT_EQ(Eval(Asm().push({Int(0), Str("NoSuchClass")}).op(Asm::NewObject).op(Asm::TypeOf)), "undefined");
    EXPECT_EQ(engine->LastError(), "");
}

TEST_F(Script, WithAddsAScope) {
    Run(Asm().push({Str("o"), Str("x"), Int(1)}).push({Int(1)}).op(Asm::InitObject).op(Asm::SetVariable)
             .get("o").with(Asm().push({Str("x"), Int(5)}).op(Asm::SetVariable).push({Str("y"), Int(6)}).op(Asm::SetVariable)
                                  .get("x").setTop("seen")));
    EXPECT_EQ(Var("o.x"), "5");
    EXPECT_EQ(Var("y"), "6");                             // not on o: goes to the timeline
    EXPECT_EQ(Var("seen"), "5");
    EXPECT_EQ(Var("x"), "<undefined>");
}

// -- Built-ins -----------------------------------------------------------------------------

TEST_F(Script, StringMethods) {
    auto method = [&](const char* text, const char* name, std::initializer_list<PushItem> args) {
        Asm code;
        code.push(args);                                  // already last first
        code.push({Str(text)}).callMethod(name, int(args.size()));
        return Eval(code);
    };
    EXPECT_EQ(Eval(Asm().push({Str("hello")}).member("length")), "5");
    EXPECT_EQ(method("hello", "charAt", {Int(1)}), "e");
    EXPECT_EQ(method("hello", "charCodeAt", {Int(0)}), "104");
    EXPECT_EQ(method("hello", "substr", {Int(3), Int(1)}), "ell");
    EXPECT_EQ(method("hello", "substr", {Int(-3)}), "llo");
    EXPECT_EQ(method("hello", "substring", {Int(1), Int(4)}), "ell");
    EXPECT_EQ(method("hello", "substring", {Int(1), Int(4)}), method("hello", "substring", {Int(4), Int(1)}));
    EXPECT_EQ(method("hello", "indexOf", {Str("l")}), "2");
    EXPECT_EQ(method("hello", "indexOf", {Int(3), Str("l")}), "3");
    EXPECT_EQ(method("hello", "indexOf", {Str("z")}), "-1");
    EXPECT_EQ(method("hello", "lastIndexOf", {Str("l")}), "3");
    EXPECT_EQ(method("Hello", "toUpperCase", {}), "HELLO");
    EXPECT_EQ(method("Hello", "toLowerCase", {}), "hello");
    EXPECT_EQ(method("a,b,,c", "split", {Str(",")}), "a,b,,c");
    EXPECT_EQ(Eval(Asm().push({Int(2), Str(",")}).push({Str("a,b,,c")}).callMethod("split", 2)), "a,b");
    EXPECT_EQ(Eval(Asm().push({Str(",")}).push({Str("a,b,,c")}).callMethod("split", 1).member("length")), "4");
    EXPECT_EQ(Eval(Asm().push({Str("x")}).call("String", 1).member("length")), "1");
}

TEST_F(Script, ArrayMethods) {
    Run(Asm().push({Str("a"), Int(0), Str("Array")}).op(Asm::NewObject).op(Asm::SetVariable)
             .push({Int(2), Int(1)}).get("a").callMethod("push", 2).setTop("pushed")
             .push({Int(3)}).get("a").callMethod("push", 1).op(Asm::Pop));
    EXPECT_EQ(Var("pushed"), "2");
    EXPECT_EQ(Eval(Asm().push({Str("-")}).get("a").callMethod("join", 1)), "1-2-3");
    EXPECT_EQ(Eval(Asm().push({Int(0)}).get("a").callMethod("pop", 0)), "3");
    EXPECT_EQ(Eval(Asm().push({Int(0)}).get("a").callMethod("reverse", 0)), "2,1");
    EXPECT_EQ(Eval(Asm().push({Int(9)}).get("a").callMethod("concat", 1).member("length")), "3");
    EXPECT_EQ(Eval(Asm().push({Int(1)}).get("a").callMethod("slice", 1)), "1");
    EXPECT_EQ(Eval(Asm().push({Int(3)}).call("Array", 1).member("length")), "3");
    // An array that contains itself prints without running away.
    Run(Asm().get("a").push({Str("0")}).get("a").op(Asm::SetMember).get("a").op(Asm::ToString).setTop("selfish"));
    EXPECT_EQ(engine->LastError(), "call depth limit reached");
    EXPECT_EQ(Var("selfish"), "<undefined>");
}

TEST_F(Script, MathNumberAndGlobalFunctions) {
    auto call = [&](const char* object, const char* name, std::initializer_list<PushItem> args) {
        Asm code;
        code.push(args).get(object).callMethod(name, int(args.size()));
        return Eval(code);
    };
    EXPECT_EQ(call("Math", "abs", {Int(-4)}), "4");
    EXPECT_EQ(call("Math", "floor", {Dbl(2.7)}), "2");
    EXPECT_EQ(call("Math", "ceil", {Dbl(2.1)}), "3");
    EXPECT_EQ(call("Math", "round", {Dbl(-2.5)}), "-2");
    EXPECT_EQ(call("Math", "min", {Int(3), Int(1), Int(2)}), "1");
    EXPECT_EQ(call("Math", "max", {Int(3), Int(1), Int(2)}), "3");
    EXPECT_EQ(call("Math", "sqrt", {Int(16)}), "4");
    EXPECT_EQ(call("Math", "sin", {Int(0)}), "0");
    EXPECT_EQ(call("Math", "cos", {Int(0)}), "1");
    EXPECT_EQ(Eval(Asm().get("Math.PI")), "3.14159265358979");
    std::string random = call("Math", "random", {});
    double r = std::stod(random);
    EXPECT_TRUE(r >= 0 && r < 1) << random;
    auto global = [&](const char* name, std::initializer_list<PushItem> args) {
        Asm code;
        code.push(args).call(name, int(args.size()));
        return Eval(code);
    };
    EXPECT_EQ(global("parseInt", {Str("42px")}), "42");
    EXPECT_EQ(global("parseInt", {Str("0x1A")}), "26");
    EXPECT_EQ(global("parseInt", {Int(2), Str("101")}), "5");
    EXPECT_EQ(global("parseInt", {Str("px")}), "NaN");
    EXPECT_EQ(global("parseFloat", {Str(" 3.5e2xyz")}), "350");
    EXPECT_EQ(global("isNaN", {Str("abc")}), "true");
    EXPECT_EQ(global("isNaN", {Str("12")}), "false");
    EXPECT_EQ(global("Number", {Str("12.5")}), "12.5");
    EXPECT_EQ(global("getTimer", {}), "1234");
    EXPECT_EQ(Eval(Asm().op(0x34)), "1234.5");             // GetTime
    EXPECT_EQ(global("escape", {Str("a b&\xC3\xA9")}), "a%20b%26%C3%A9");
    EXPECT_EQ(global("unescape", {Str("a%20b%26%C3%A9%zz%4")}), "a b&\xC3\xA9%zz%4");
    EXPECT_EQ(Eval(Asm().push({Int(16)}).push({Int(255)}).callMethod("toString", 1)), "ff");
}

// -- The samples' scripts ----------------------------------------------------------------

// var nc = new NetConnection(); nc.connect(null); var ns = new NetStream(nc);
// my_video.attachVideo(ns); ns.setBufferTime(0); ns.play(FLVPath);
Asm FlvPlayerScript() {
    Asm code;
    code.push({Str("nc"), Int(0), Str("NetConnection")}).op(Asm::NewObject).op(Asm::DefineLocal)
        .push({Null()}).get("nc").callMethod("connect", 1).op(Asm::Pop)
        .push("ns").get("nc").push({Int(1), Str("NetStream")}).op(Asm::NewObject).op(Asm::DefineLocal)
        .get("ns").get("my_video").callMethod("attachVideo", 1).op(Asm::Pop)
        .push({Int(0)}).get("ns").callMethod("setBufferTime", 1).op(Asm::Pop)
        .get("FLVPath").get("ns").callMethod("play", 1).op(Asm::Pop);
    return code;
}

TEST_F(ScriptClips, FlvPlayerScriptPlaysTheVideoFromFlashVars) {
    engine->SetVariable(host.root.Ref(), "FLVPath", "media/clip.flv");
    Run(FlvPlayerScript());
    EXPECT_EQ(engine->LastError(), "");
    EXPECT_EQ(Calls(), "CreateNetStream 1\nAttachVideo /my_video 1\nNetStreamSetBufferTime 1 0\nNetStreamPlay 1 media/clip.flv\n");
    EXPECT_EQ(Var("nc.isConnected"), "true");
    host.streamTimes[1] = 2.5;
    EXPECT_EQ(Var("ns.time"), "2.5");
    EXPECT_EQ(Var("ns.bufferTime"), "0");
    host.calls.clear();
    Run(Asm().push({Int(0)}).get("ns").callMethod("pause", 0).op(Asm::Pop)
             .push({Bool(true)}).get("ns").callMethod("pause", 1).op(Asm::Pop)
             .push({Bool(false)}).get("ns").callMethod("pause", 1).op(Asm::Pop)
             .push({Int(3)}).get("ns").callMethod("seek", 1).op(Asm::Pop)
             .push({Int(0)}).get("ns").callMethod("close", 0).op(Asm::Pop));
    EXPECT_EQ(Calls(), "NetStreamPause 1 -1\nNetStreamPause 1 1\nNetStreamPause 1 0\nNetStreamSeek 1 3\nNetStreamClose 1\n");
}

TEST_F(ScriptClips, NetStreamStatusCallsOnStatus) {
    engine->SetVariable(host.root.Ref(), "FLVPath", "v.flv");
    // ns.onStatus = function (info) { last = info.code + "/" + info.level; count++; };
    Asm handler;
    handler.push("last").get("info").member("code").push({Str("/")}).op(Asm::Add2).get("info").member("level").op(Asm::Add2)
           .op(Asm::SetVariable).push("count").get("count").op(Asm::Increment).op(Asm::SetVariable);
    Run(FlvPlayerScript().set("count", Int(0)).get("ns").push("onStatus").defineFunction("", {"info"}, handler).op(Asm::SetMember));
    engine->NetStreamStatus(1, "NetStream.Play.Start", "status");
    engine->NetStreamStatus(1, "NetStream.Play.Stop", "status");
    engine->NetStreamStatus(7, "NetStream.Play.Start", "status");   // no such stream: nothing happens
    EXPECT_EQ(Var("last"), "NetStream.Play.Stop/status");
    EXPECT_EQ(Var("count"), "2");
    EXPECT_EQ(engine->LastError(), "");
}

TEST_F(ScriptClips, ClipEventsCallHandlers) {
    // _root.onEnterFrame = function () { frames++; };  menu.onRelease = function () { _root.picture.loadMovie("a.jpg"); }
    Run(Asm().set("frames", Int(0))
             .get("_root").push("onEnterFrame")
             .defineFunction("", {}, Asm().push("frames").get("frames").op(Asm::Increment).op(Asm::SetVariable)).op(Asm::SetMember)
             .get("menu").push("onRelease")
             .defineFunction("", {}, Asm().push({Str("a.jpg")}).get("_root.picture").callMethod("loadMovie", 1).op(Asm::Pop))
             .op(Asm::SetMember));
    engine->ClipEvent(host.root.Ref(), "onEnterFrame");
    engine->ClipEvent(host.root.Ref(), "onEnterFrame");
    engine->ClipEvent(menu->Ref(), "onRelease");
    engine->ClipEvent(menu->Ref(), "onPress");              // not defined: nothing
    EXPECT_EQ(Var("frames"), "2");
    EXPECT_EQ(Calls(), "LoadMovie /picture a.jpg\n");
    EXPECT_EQ(engine->LastError(), "");
}

TEST_F(Script, ExternalInterfaceCallBuildsTheInvokeRequest) {
    host.externalAnswer = "<string>ok</string>";
    EXPECT_EQ(Eval(Asm().push({Int(2), Str("a"), Str("getValue")}).get("flash.external.ExternalInterface").callMethod("call", 3)), "ok");
    EXPECT_EQ(host.lastInvoke, "<invoke name=\"getValue\" returntype=\"xml\"><arguments><string>a</string><number>2</number></arguments></invoke>");
    host.externalAnswer = "<object><property id=\"n\"><number>5</number></property></object>";
    EXPECT_EQ(Eval(Asm().push({Str("f")}).get("ExternalInterface").callMethod("call", 1).member("n")), "5");
    host.externalAnswer = "<broken";
    EXPECT_EQ(Eval(Asm().push({Str("f")}).get("ExternalInterface").callMethod("call", 1)), "null");
    host.externalAnswer = "";
    EXPECT_EQ(Eval(Asm().push({Str("f")}).get("ExternalInterface").callMethod("call", 1)), "null");
    EXPECT_EQ(engine->LastError(), "");
}

// -- Lifetime --------------------------------------------------------------------------------

TEST_F(ScriptClips, RemovedClipsAreForgotten) {
    Run(Asm().set("saved", Undef()).push("saved").get("picture").op(Asm::SetVariable).set("picture.v", Int(1)));
    EXPECT_EQ(Var("picture.v"), "1");
    engine->ObjectRemoved(picture->Ref());
    host.root.children.erase(host.root.children.begin() + 1);   // the display object is gone
    host.calls.clear();
    Run(Asm().get("saved").push({Str("_x"), Int(5)}).op(Asm::SetMember)
             .push({Int(0)}).get("saved").callMethod("play", 0).op(Asm::Pop)
             .push({Str("a.jpg"), Str("picture")}).getUrl2(0x02)
             .get("saved").member("v").setTop("v"));
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(Var("v"), "<undefined>");
    EXPECT_EQ(Var("picture"), "<undefined>");
}

TEST_F(Script, GarbageIsCollectedAndLiveObjectsSurvive) {
    // function churn() { var keep = {v: 42}; for (i = 0; i < 20000; i++) { t = {}; t.self = t; } return keep.v; }
    Asm churn;
    churn.push({Str("keep"), Str("v"), Int(42), Int(1)}).op(Asm::InitObject).op(Asm::DefineLocal)
         .set("i", Int(0)).label("top").get("i").push({Int(20000)}).op(Asm::Less2).op(Asm::Not).ifTrue("end")
         .push({Str("t"), Int(0)}).op(Asm::InitObject).op(Asm::SetVariable)
         .get("t").push("self").get("t").op(Asm::SetMember)
         .push("i").get("i").op(Asm::Increment).op(Asm::SetVariable).jump("top")
         .label("end").get("keep").member("v").op(Asm::Return);
    Run(Asm().defineFunction("churn", {"unused"}, churn).call("churn", 0).setTop("r"));
    EXPECT_EQ(engine->LastError(), "");
    EXPECT_EQ(Var("r"), "42");
    EXPECT_LT(engine->LiveObjects(), 10000u);
    EXPECT_EQ(Eval(Asm().get("t").member("self").member("self").op(Asm::TypeOf)), "object");
}

TEST_F(ScriptClips, ReentrantFrameScriptsAreBounded) {
    // The host runs a frame's script during GotoFrame, and that script jumps again.
    Bytes again = Asm().push({Int(1)}).gotoFrame2(true).Build();
    int runs = 0;
    host.onGotoFrame = [&](ScriptObjectRef* clip) {
        runs++;
        engine->Run(clip, again.data(), again.size());
    };
    Run(Asm().push({Int(1)}).gotoFrame2(true).set("after", Int(1)));
    EXPECT_EQ(runs, ScriptEngine::DefaultCallDepth);
    EXPECT_EQ(Var("after"), "1");                         // the outermost list went on
}

} // namespace
