#include <gtest/gtest.h>

#include <cmath>

#include "refplayer/core/ScriptEngine.h"
#include "refplayer/core/ScriptValue.h"
#include "tests/refplayer/ScriptTestFixture.h"

using namespace refplayer;
using namespace refplayer_test;

namespace {

// -- Values ------------------------------------------------------------------------------

TEST(ScriptValues, NumbersPrintLikeThePlayer) {
    EXPECT_EQ(NumberToString(1), "1");
    EXPECT_EQ(NumberToString(-2.5), "-2.5");
    EXPECT_EQ(NumberToString(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberToString(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(NumberToString(1e21), "1e+21");
    EXPECT_EQ(NumberToString(1e-7), "1e-7");
    EXPECT_EQ(NumberToString(123456789012345678.0), "1.23456789012346e+17");
    EXPECT_EQ(NumberToString(100000000000000), "100000000000000");
    EXPECT_EQ(NumberToString(NAN), "NaN");
    EXPECT_EQ(NumberToString(INFINITY), "Infinity");
    EXPECT_EQ(NumberToString(-INFINITY), "-Infinity");
    EXPECT_EQ(NumberToString(-0.0), "0");
}

TEST(ScriptValues, TextToNumber) {
    EXPECT_EQ(StringToNumber(" 12.5 "), 12.5);
    EXPECT_EQ(StringToNumber("0x1F"), 31);
    EXPECT_EQ(StringToNumber("-.5e1"), -5);
    EXPECT_EQ(StringToNumber("-Infinity"), -INFINITY);
    EXPECT_EQ(StringToNumber("1e999"), INFINITY);
    EXPECT_TRUE(std::isnan(StringToNumber("")));
    EXPECT_TRUE(std::isnan(StringToNumber("12px")));
    EXPECT_TRUE(std::isnan(StringToNumber("1e")));
    EXPECT_TRUE(std::isnan(StringToNumber("nan")));
    EXPECT_TRUE(std::isnan(StringToNumber("0x")));
}

TEST(ScriptValues, IntegerConversionsWrapWithoutOverflow) {
    EXPECT_EQ(ToInt32(4294967297.0), 1);
    EXPECT_EQ(ToInt32(2147483648.0), INT32_MIN);
    EXPECT_EQ(ToInt32(-1.9), -1);
    EXPECT_EQ(ToInt32(1e300), 0);
    EXPECT_EQ(ToInt32(NAN), 0);
    EXPECT_EQ(ToUint32(-1), 4294967295u);
    EXPECT_EQ(ClampToInt(1e300), INT32_MAX);
    EXPECT_EQ(ClampToInt(-1e300), INT32_MIN);
    EXPECT_EQ(ClampToInt(NAN), 0);
}

// -- Stack --------------------------------------------------------------------------------

TEST_F(Script, PushesEveryValueType) {
    Run(Asm().constants({"zero", "one"})
             .push({Str("s"), Flt(1.5f), Null(), Undef(), Bool(true), Dbl(0.25), Int(-7), C8(1), C16(0)})
             .setTop("c16").setTop("c8").setTop("int").setTop("dbl").setTop("bool")
             .setTop("undef").setTop("null").setTop("flt").setTop("str"));
    EXPECT_EQ(Var("str"), "s");
    EXPECT_EQ(Var("flt"), "1.5");
    EXPECT_EQ(Var("null"), "null");
    EXPECT_EQ(Var("undef"), "<undefined>");
    EXPECT_EQ(Var("bool"), "true");
    EXPECT_EQ(Var("dbl"), "0.25");
    EXPECT_EQ(Var("int"), "-7");
    EXPECT_EQ(Var("c8"), "one");
    EXPECT_EQ(Var("c16"), "zero");
    EXPECT_EQ(engine->LastError(), "");
}

TEST_F(Script, RegistersDuplicateSwapAndPop) {
    EXPECT_EQ(Eval(Asm().push(5.0).storeRegister(2).op(Asm::Pop).push({Reg(2)}).op(Asm::PushDuplicate).op(Asm::Add2)), "10");
    EXPECT_EQ(Eval(Asm().push({Int(1), Int(2)}).op(Asm::StackSwap).op(Asm::Subtract)), "1");
    EXPECT_EQ(Eval(Asm().push({Int(1), Int(2)}).op(Asm::Pop)), "1");
    // Popping an empty stack yields undefined, not a failure.
    EXPECT_EQ(TypeOfResult(Asm().op(Asm::Pop)), "undefined");
    EXPECT_EQ(engine->LastError(), "");
}

// -- Operators: one row per case ------------------------------------------------------------

struct BinaryCase { PushItem a, b; uint8_t op; const char* expected; };

TEST_F(Script, BinaryOperators) {
    const BinaryCase cases[] = {
        {Int(7), Int(2), Asm::Add, "9"}, {Int(7), Int(2), Asm::Subtract, "5"},
        {Int(7), Int(2), Asm::Multiply, "14"}, {Int(7), Int(2), Asm::Divide, "3.5"},
        {Int(7), Int(0), Asm::Divide, "Infinity"}, {Int(7), Int(2), Asm::Modulo, "1"},
        {Int(-7), Int(2), Asm::Modulo, "-1"}, {Str("3"), Int(4), Asm::Add2, "34"},
        {Int(3), Int(4), Asm::Add2, "7"}, {Bool(true), Int(4), Asm::Add2, "5"},
        {Str("a"), Undef(), Asm::Add2, "aundefined"}, {Int(2), Str("10"), Asm::Less2, "true"},
        {Str("2"), Str("10"), Asm::Less2, "false"}, {Int(3), Int(2), Asm::Greater, "true"},
        {Str("1"), Int(1), Asm::Equals2, "true"}, {Null(), Undef(), Asm::Equals2, "true"},
        {Null(), Int(0), Asm::Equals2, "false"}, {Bool(true), Str("1"), Asm::Equals2, "true"},
        {Str("1"), Int(1), Asm::StrictEquals, "false"}, {Int(1), Dbl(1.0), Asm::StrictEquals, "true"},
        {Int(2), Int(2), Asm::Equals, "true"}, {Int(1), Int(2), Asm::Less, "true"},
        {Int(1), Int(0), Asm::And, "false"}, {Int(1), Int(0), Asm::Or, "true"},
        {Int(12), Int(10), Asm::BitAnd, "8"}, {Int(12), Int(3), Asm::BitOr, "15"},
        {Int(12), Int(10), Asm::BitXor, "6"}, {Int(1), Int(31), Asm::BitLShift, "-2147483648"},
        {Int(-8), Int(1), Asm::BitRShift, "-4"}, {Int(-1), Int(28), Asm::BitURShift, "15"},
        {Dbl(4294967296.0 + 5), Int(0), Asm::BitOr, "5"}, {Int(1), Int(33), Asm::BitLShift, "2"},
        {Str("ab"), Str("cd"), Asm::StringAdd, "abcd"}, {Str("ab"), Str("ab"), Asm::StringEquals, "true"},
        {Str("ab"), Str("b"), Asm::StringLess, "true"}, {Str("b"), Str("ab"), Asm::StringGreater, "true"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("op ") + std::to_string(c.op) + " expecting " + c.expected);
        EXPECT_EQ(Eval(Asm().push({c.a, c.b}).op(c.op)), c.expected);
    }
}

TEST_F(Script, UnaryOperatorsAndConversions) {
    EXPECT_EQ(Eval(Asm().push({Int(5)}).op(Asm::Increment)), "6");
    EXPECT_EQ(Eval(Asm().push({Int(5)}).op(Asm::Decrement)), "4");
    EXPECT_EQ(Eval(Asm().push({Int(0)}).op(Asm::Not)), "true");
    EXPECT_EQ(Eval(Asm().push({Dbl(-3.7)}).op(Asm::ToInteger)), "-3");
    EXPECT_EQ(Eval(Asm().push({Str("0x10")}).op(Asm::ToNumber)), "16");
    EXPECT_EQ(Eval(Asm().push({Str("abc")}).op(Asm::ToNumber)), "NaN");
    EXPECT_EQ(Eval(Asm().push({Dbl(2.5)}).op(Asm::ToString)), "2.5");
    EXPECT_EQ(TypeOfResult(Asm().push({Dbl(2.5)}).op(Asm::ToString)), "string");
    for (int i = 0; i < 20; i++) {
        double pick = std::stod(Eval(Asm().push({Int(10)}).op(0x30)));   // RandomNumber
        EXPECT_TRUE(pick >= 0 && pick < 10 && pick == std::floor(pick)) << pick;
    }
    EXPECT_EQ(Eval(Asm().push({Dbl(-5)}).op(0x30)), "0");
    EXPECT_EQ(TypeOfResult(Asm().push({Null()})), "null");
    EXPECT_EQ(TypeOfResult(Asm().push({Bool(false)})), "boolean");
    EXPECT_EQ(TypeOfResult(Asm().push({Str("_root")}).op(Asm::GetVariable)), "movieclip");
    EXPECT_EQ(TypeOfResult(Asm().push({Int(0), Str("Object")}).op(Asm::NewObject)), "object");
    EXPECT_EQ(TypeOfResult(Asm().push("Math").op(Asm::GetVariable).push("max").op(Asm::GetMember)), "function");
}

TEST_F(Script, StringActions) {
    EXPECT_EQ(Eval(Asm().push({Str("h\xC3\xA9llo")}).op(Asm::StringLength)), "5");
    EXPECT_EQ(Eval(Asm().push({Str("h\xC3\xA9llo")}).op(Asm::MBStringLength)), "5");
    EXPECT_EQ(Eval(Asm().push({Str("hello"), Int(2), Int(3)}).op(Asm::StringExtract)), "ell");
    EXPECT_EQ(Eval(Asm().push({Str("hello"), Int(0), Int(2)}).op(Asm::MBStringExtract)), "he");
    EXPECT_EQ(Eval(Asm().push({Str("hello"), Int(4), Int(-1)}).op(Asm::StringExtract)), "lo");
    EXPECT_EQ(Eval(Asm().push({Str("hello"), Int(99), Int(3)}).op(Asm::StringExtract)), "");
    EXPECT_EQ(Eval(Asm().push({Str("A")}).op(Asm::CharToAscii)), "65");
    EXPECT_EQ(Eval(Asm().push({Int(0xE9)}).op(Asm::AsciiToChar)), "\xC3\xA9");
    EXPECT_EQ(Eval(Asm().push({Int(0xD800)}).op(Asm::AsciiToChar)), "");
}

TEST_F(Script, UndefinedTextDependsOnVersion) {
    UseVersion(6);
    EXPECT_EQ(Eval(Asm().push({Str("a"), Undef()}).op(Asm::Add2)), "a");
    EXPECT_EQ(Eval(Asm().push({Undef(), Int(1)}).op(Asm::Add2)), "1");   // undefined is 0 below 7
    EXPECT_EQ(Eval(Asm().push({Str("yes")}).op(Asm::Not)), "true");      // text is a number below 7
    UseVersion(7);
    EXPECT_EQ(Eval(Asm().push({Str("a"), Undef()}).op(Asm::Add2)), "aundefined");
    EXPECT_EQ(Eval(Asm().push({Undef(), Int(1)}).op(Asm::Add2)), "NaN");
    EXPECT_EQ(Eval(Asm().push({Str("yes")}).op(Asm::Not)), "false");
}

TEST_F(Script, NamesAreCaseInsensitiveBelowVersion7) {
    UseVersion(6);
    Run(Asm().set("Score", Int(3)));
    EXPECT_EQ(Var("score"), "3");
    UseVersion(7);
    Run(Asm().set("Score", Int(3)));
    EXPECT_EQ(Var("score"), "<undefined>");
    EXPECT_EQ(Var("Score"), "3");
}

// -- Control flow ------------------------------------------------------------------------

TEST_F(Script, IfAndJumpMakeALoop) {
    // i = 0; sum = 0; while (i < 5) { sum += i; i++; }
    Run(Asm().set("i", Int(0)).set("sum", Int(0))
             .label("top").get("i").push({Int(5)}).op(Asm::Less2).op(Asm::Not).ifTrue("end")
             .push("sum").get("sum").get("i").op(Asm::Add2).op(Asm::SetVariable)
             .push("i").get("i").op(Asm::Increment).op(Asm::SetVariable)
             .jump("top").label("end"));
    EXPECT_EQ(Var("sum"), "10");
    EXPECT_EQ(Var("i"), "5");
}

TEST_F(Script, AnEndlessLoopStopsAtTheStepBudgetAndTheEngineGoesOn) {
    engine->SetLimits(10000, 64);
    Run(Asm().set("before", Int(1)).label("top").jump("top").set("after", Int(1)));
    EXPECT_EQ(engine->LastError(), "step budget exhausted");
    EXPECT_EQ(Var("before"), "1");
    EXPECT_EQ(Var("after"), "<undefined>");
    Run(Asm().set("next", Int(2)));
    EXPECT_EQ(engine->LastError(), "");
    EXPECT_EQ(Var("next"), "2");
}

TEST_F(Script, EndlessRecursionStopsAtTheDepthLimit) {
    // function f() { depth++; f(); }  f();
    Run(Asm().set("depth", Int(0))
             .defineFunction("f", {}, Asm().push("depth").get("depth").op(Asm::Increment).op(Asm::SetVariable)
                                           .push({Int(0), Str("f")}).op(Asm::CallFunction).op(Asm::Pop))
             .push({Int(0), Str("f")}).op(Asm::CallFunction).op(Asm::Pop).set("after", Int(1)));
    EXPECT_EQ(engine->LastError(), "call depth limit reached");
    EXPECT_EQ(Var("depth"), std::to_string(ScriptEngine::DefaultCallDepth - 1));
    EXPECT_EQ(Var("after"), "<undefined>");
}

TEST_F(Script, ThrowStopsTheListUnlessCaught) {
    Run(Asm().set("a", Int(1)).push({Str("boom")}).op(Asm::Throw).set("b", Int(1)));
    EXPECT_EQ(engine->LastError(), "uncaught script exception");
    EXPECT_EQ(Var("a"), "1");
    EXPECT_EQ(Var("b"), "<undefined>");
    Run(Asm().tryCatch(Asm().set("c", Int(1)).push({Str("oops")}).op(Asm::Throw).set("d", Int(1)),
                       "e", Asm().push("caught").get("e").op(Asm::SetVariable))
             .set("after", Int(1)));
    EXPECT_EQ(engine->LastError(), "");
    EXPECT_EQ(Var("c"), "1");
    EXPECT_EQ(Var("d"), "<undefined>");
    EXPECT_EQ(Var("caught"), "oops");
    EXPECT_EQ(Var("after"), "1");
    // Without a throw the catch block is skipped.
    Run(Asm().tryCatch(Asm().set("x", Int(1)), "e", Asm().set("x", Int(2))));
    EXPECT_EQ(Var("x"), "1");
}

// -- Malformed records ---------------------------------------------------------------------

TEST_F(Script, MalformedRecordsEndTheListCleanly) {
    struct Case { const char* what; Bytes code; const char* error; };
    const Case cases[] = {
        {"length past the end", {0x96, 0x10, 0x00, 0x00, 'a'}, "malformed action record"},
        {"length cut short", {0x96, 0x05}, "malformed action record"},
        {"string without terminator", {0x96, 0x02, 0x00, 0x00, 'a'}, "malformed action record"},
        {"double cut short", {0x96, 0x03, 0x00, 0x06, 1, 2}, "malformed action record"},
        {"unknown push type", {0x96, 0x01, 0x00, 0x0B}, "malformed action record"},
        {"constant without pool", {0x96, 0x02, 0x00, 0x08, 0x00}, "constant index out of range"},
        {"jump before the start", {0x99, 0x02, 0x00, 0x00, 0x80}, "jump out of the action list"},
        {"jump past the end", {0x99, 0x02, 0x00, 0x00, 0x10}, "jump out of the action list"},
        {"function body past the end", {0x9B, 0x05, 0x00, 'f', 0, 0, 0, 0x40, 0x00}, "malformed action record"},
        {"with body past the end", {0x96, 0x02, 0x00, 0x02, 0x00, 0x94, 0x02, 0x00, 0x10, 0x00}, "malformed action record"},
        {"constant pool count too high", {0x88, 0x04, 0x00, 0x05, 0x00, 'a', 0}, "malformed action record"},
        {"goto record cut short", {0x81, 0x01, 0x00, 0x05}, "malformed action record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        engine->Run(host.root.Ref(), c.code.data(), c.code.size());
        EXPECT_EQ(engine->LastError(), c.error);
    }
    // A jump exactly to the end is a normal way out.
    Bytes toEnd{0x99, 0x02, 0x00, 0x00, 0x00};
    engine->Run(host.root.Ref(), toEnd.data(), toEnd.size());
    EXPECT_EQ(engine->LastError(), "");
    engine->Run(host.root.Ref(), nullptr, 0);
    EXPECT_EQ(engine->LastError(), "");
}

TEST_F(Script, RunawayGrowthIsStopped) {
    // s = "x"; loop: s = s + s
    Run(Asm().set("s", Str("xxxxxxxxxxxxxxxx")).label("top")
             .push("s").get("s").get("s").op(Asm::Add2).op(Asm::SetVariable).jump("top"));
    EXPECT_EQ(engine->LastError(), "string too long");
    Run(Asm().push({Int(0), Str("Array")}).op(Asm::NewObject).push({Str("length"), Dbl(1e12)}).op(Asm::SetMember));
    EXPECT_EQ(engine->LastError(), "array too long");
}

} // namespace
