// The built-in objects of the movie's scripts: Object, Array, String, Number, Boolean, Math,
// the global functions, the movie clip, video and net stream methods, ExternalInterface.

#include <algorithm>
#include <cmath>
#include <random>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/InvokeXml.h"
#include "refplayer/core/ScriptInterpreter.h"
#include "refplayer/core/ScriptText.h"

namespace refplayer {

namespace {

using Args = std::vector<ScriptValue>;

ScriptValue Arg(const Args& args, size_t i) { return i < args.size() ? args[i] : ScriptValue(); }

ScriptObjectRef* DisplayOf(const ScriptValue& self) {
    return self.IsObject() && self.object->cls == ScriptObject::Class::Clip ? self.object->display : nullptr;
}

NetStreamId StreamOf(const ScriptValue& self) {
    return self.IsObject() && self.object->cls == ScriptObject::Class::NetStream ? self.object->stream : 0;
}

double RelativeIndex(double index, double length) {
    if (std::isnan(index)) return 0;
    index = std::trunc(index);
    if (index < 0) index = std::max(0.0, length + index);
    return std::min(index, length);
}

std::string Join(ScriptInterpreter& in, ScriptObject* array, const std::string& separator) {
    in.Charge(array->elements.size());
    std::string text;
    std::vector<ScriptValue> elements = array->elements; // a toString may change the array
    for (size_t i = 0; i < elements.size(); i++) {
        if (i) text += separator;
        const ScriptValue& e = elements[i];
        // Holes and undefined join as empty text, as the player writes them.
        if (!e.IsUndefined()) text += in.ToString(e);
        in.CheckLength(text.size());
    }
    return text;
}

InvokeValue ToInvoke(ScriptInterpreter& in, const ScriptValue& value, int depth) {
    switch (value.type) {
    case ScriptValue::Type::Undefined: return InvokeValue{};
    case ScriptValue::Type::Null: return InvokeValue::Null();
    case ScriptValue::Type::Boolean: return InvokeValue::Boolean(value.boolean);
    case ScriptValue::Type::Number: return InvokeValue::Number(value.number);
    case ScriptValue::Type::String: return InvokeValue::String(FromUtf8(value.text));
    case ScriptValue::Type::Object: break;
    }
    ScriptObject* object = value.object;
    if (depth > 16) return InvokeValue::Null();             // cyclic structures end here
    if (object->cls == ScriptObject::Class::Clip) return InvokeValue::String(FromUtf8(in.ClipPath(object)));
    if (object->cls == ScriptObject::Class::Function) return InvokeValue::Null();
    InvokeValue result;
    if (object->cls == ScriptObject::Class::Array) {
        result.kind = InvokeValue::Kind::Array;
        for (size_t i = 0; i < object->elements.size(); i++)
            result.properties.push_back({std::to_wstring(i), ToInvoke(in, object->elements[i], depth + 1)});
        return result;
    }
    result.kind = InvokeValue::Kind::Object;
    std::vector<const ScriptProperty*> properties;
    for (auto& entry : object->properties)
        if (entry.second.name != "__constructor__") properties.push_back(&entry.second);
    std::sort(properties.begin(), properties.end(), [](auto a, auto b) { return a->order < b->order; });
    for (auto* p : properties) result.properties.push_back({FromUtf8(p->name), ToInvoke(in, p->value, depth + 1)});
    return result;
}

ScriptValue FromInvoke(ScriptInterpreter& in, const InvokeValue& value) {
    switch (value.kind) {
    case InvokeValue::Kind::Undefined: return {};
    case InvokeValue::Kind::Null: return ScriptValue::Null();
    case InvokeValue::Kind::False: return ScriptValue::Bool(false);
    case InvokeValue::Kind::True: return ScriptValue::Bool(true);
    case InvokeValue::Kind::Number: return ScriptValue::Number(value.number);
    case InvokeValue::Kind::String: return ScriptValue::String(ToUtf8(value.text));
    case InvokeValue::Kind::Array: {
        ScriptObject* array = in.NewArray();
        ScriptValue self = ScriptValue::Object(array);
        for (auto& p : value.properties) in.Set(self, ToUtf8(p.id), FromInvoke(in, p.value));
        return self;
    }
    case InvokeValue::Kind::Object: {
        ScriptObject* object = in.NewObject();
        for (auto& p : value.properties) in.Define(object, ToUtf8(p.id), FromInvoke(in, p.value));
        return ScriptValue::Object(object);
    }
    }
    return {};
}

} // namespace

void ScriptInterpreter::InstallBuiltins() {
    auto method = [this](ScriptObject* owner, const char* name, ScriptNativeFunction function) {
        ScriptObject* object = NewNative(std::move(function));
        Define(owner, name, ScriptValue::Object(object));
        return object;
    };
    auto constructor = [this](ScriptObject* prototype, ScriptNativeFunction function) {
        ScriptObject* object = NewNative(std::move(function));
        Define(object, "prototype", ScriptValue::Object(prototype));
        Define(prototype, "constructor", ScriptValue::Object(object));
        return object;
    };
    auto value = [](const ScriptValue& v) { return v; };
    (void)value;

    objectProto = NewObject(nullptr);
    functionProto = NewObject(objectProto);
    arrayProto = NewObject(objectProto);
    stringProto = NewObject(objectProto);
    numberProto = NewObject(objectProto);
    booleanProto = NewObject(objectProto);
    clipProto = NewObject(objectProto);
    videoProto = NewObject(objectProto);
    textFieldProto = NewObject(objectProto);
    buttonProto = NewObject(objectProto);
    netConnectionProto = NewObject(objectProto);
    netStreamProto = NewObject(objectProto);
    global = NewObject(objectProto);
    roots_ = {objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto, clipProto,
              videoProto, textFieldProto, buttonProto, netConnectionProto, netStreamProto, global};

    // -- Object ----------------------------------------------------------------------------
    method(objectProto, "toString", [](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        if (self.IsObject() && self.object->cls == ScriptObject::Class::Clip) return ScriptValue::String(in.ClipPath(self.object));
        return ScriptValue::String("[object Object]");
    });
    method(objectProto, "valueOf", [](ScriptInterpreter&, const ScriptValue& self, Args&) { return self; });
    method(objectProto, "hasOwnProperty", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        if (!self.IsObject()) return ScriptValue::Bool(false);
        std::string name = in.ToString(Arg(args, 0));
        return ScriptValue::Bool(in.Version() >= 7 ? self.object->properties.count(name) > 0
                                                  : self.object->properties.count(TextToLower(name)) > 0);
    });
    Define(global, "Object", ScriptValue::Object(constructor(objectProto, [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        if (!args.empty() && args[0].IsObject()) return args[0];
        return self.IsObject() ? self : ScriptValue::Object(in.NewObject());
    })));

    // -- Function --------------------------------------------------------------------------
    method(functionProto, "call", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        Args rest(args.size() > 1 ? args.begin() + 1 : args.end(), args.end());
        return in.Call(self, Arg(args, 0), std::move(rest));
    });
    method(functionProto, "apply", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        Args list;
        ScriptValue array = Arg(args, 1);
        if (array.IsObject() && array.object->cls == ScriptObject::Class::Array) list = array.object->elements;
        return in.Call(self, Arg(args, 0), std::move(list));
    });

    // -- Array -----------------------------------------------------------------------------
    auto arrayOf = [](const ScriptValue& self) -> ScriptObject* {
        if (!self.IsObject() || self.object->cls != ScriptObject::Class::Array) throw ScriptError("not an array");
        return self.object;
    };
    Define(global, "Array", ScriptValue::Object(constructor(arrayProto, [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        if (args.size() == 1 && args[0].IsNumber()) {
            double length = args[0].number;
            if (!(length >= 0) || length > double(ScriptInterpreter::MaxArrayLength)) throw ScriptError("bad array length");
            return ScriptValue::Object(in.NewArray(std::vector<ScriptValue>(size_t(length))));
        }
        return ScriptValue::Object(in.NewArray(args));
    })));
    method(arrayProto, "push", [arrayOf](ScriptInterpreter&, const ScriptValue& self, Args& args) {
        ScriptObject* array = arrayOf(self);
        if (array->elements.size() + args.size() > ScriptInterpreter::MaxArrayLength) throw ScriptError("array too long");
        for (auto& a : args) array->elements.push_back(a);
        return ScriptValue::Number(double(array->elements.size()));
    });
    method(arrayProto, "pop", [arrayOf](ScriptInterpreter&, const ScriptValue& self, Args&) {
        ScriptObject* array = arrayOf(self);
        if (array->elements.empty()) return ScriptValue();
        ScriptValue last = array->elements.back();
        array->elements.pop_back();
        return last;
    });
    method(arrayProto, "shift", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        ScriptObject* array = arrayOf(self);
        if (array->elements.empty()) return ScriptValue();
        in.Charge(array->elements.size());
        ScriptValue first = array->elements.front();
        array->elements.erase(array->elements.begin());
        return first;
    });
    method(arrayProto, "unshift", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        ScriptObject* array = arrayOf(self);
        if (array->elements.size() + args.size() > ScriptInterpreter::MaxArrayLength) throw ScriptError("array too long");
        in.Charge(array->elements.size());
        array->elements.insert(array->elements.begin(), args.begin(), args.end());
        return ScriptValue::Number(double(array->elements.size()));
    });
    method(arrayProto, "join", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::string separator = args.empty() || args[0].IsUndefined() ? "," : in.ToString(args[0]);
        return ScriptValue::String(Join(in, arrayOf(self), separator));
    });
    method(arrayProto, "toString", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        return ScriptValue::String(Join(in, arrayOf(self), ","));
    });
    method(arrayProto, "reverse", [arrayOf](ScriptInterpreter&, const ScriptValue& self, Args&) {
        ScriptObject* array = arrayOf(self);
        std::reverse(array->elements.begin(), array->elements.end());
        return self;
    });
    method(arrayProto, "slice", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        ScriptObject* array = arrayOf(self);
        double length = double(array->elements.size());
        double start = RelativeIndex(args.empty() ? 0 : in.ToNumber(args[0]), length);
        double end = args.size() < 2 || args[1].IsUndefined() ? length : RelativeIndex(in.ToNumber(args[1]), length);
        std::vector<ScriptValue> part;
        if (end > start) part.assign(array->elements.begin() + size_t(start), array->elements.begin() + size_t(end));
        in.Charge(part.size());
        return ScriptValue::Object(in.NewArray(std::move(part)));
    });
    method(arrayProto, "concat", [arrayOf](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::vector<ScriptValue> all = arrayOf(self)->elements;
        for (auto& a : args) {
            if (a.IsObject() && a.object->cls == ScriptObject::Class::Array) all.insert(all.end(), a.object->elements.begin(), a.object->elements.end());
            else all.push_back(a);
            if (all.size() > ScriptInterpreter::MaxArrayLength) throw ScriptError("array too long");
        }
        in.Charge(all.size());
        return ScriptValue::Object(in.NewArray(std::move(all)));
    });

    // -- String ----------------------------------------------------------------------------
    auto text = [](ScriptInterpreter& in, const ScriptValue& self) { return FromUtf8(in.ToString(self)); };
    Define(global, "String", ScriptValue::Object(constructor(stringProto, [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        return ScriptValue::String(args.empty() ? "" : in.ToString(args[0]));
    })));
    method(stringProto, "toString", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::String(in.ToString(self)); });
    method(stringProto, "valueOf", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::String(in.ToString(self)); });
    method(stringProto, "charAt", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        double i = std::trunc(in.ToNumber(Arg(args, 0)));
        if (!(i >= 0) || i >= double(s.size())) return ScriptValue::String("");
        return ScriptValue::String(ToUtf8(s.substr(size_t(i), 1)));
    });
    method(stringProto, "charCodeAt", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        double i = std::trunc(in.ToNumber(Arg(args, 0)));
        if (!(i >= 0) || i >= double(s.size())) return ScriptValue::Number(NAN);
        return ScriptValue::Number(double(uint32_t(s[size_t(i)])));
    });
    method(stringProto, "substr", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        double length = double(s.size());
        double start = RelativeIndex(in.ToNumber(Arg(args, 0)), length);
        double count = args.size() < 2 || args[1].IsUndefined() ? length : std::trunc(in.ToNumber(args[1]));
        if (!(count > 0)) return ScriptValue::String("");
        count = std::min(count, length - start);
        return ScriptValue::String(ToUtf8(s.substr(size_t(start), size_t(count))));
    });
    method(stringProto, "substring", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        double length = double(s.size());
        auto clamp = [&](double d) { return std::isnan(d) ? 0.0 : std::min(std::max(std::trunc(d), 0.0), length); };
        double start = clamp(in.ToNumber(Arg(args, 0)));
        double end = args.size() < 2 || args[1].IsUndefined() ? length : clamp(in.ToNumber(args[1]));
        if (start > end) std::swap(start, end);
        return ScriptValue::String(ToUtf8(s.substr(size_t(start), size_t(end - start))));
    });
    method(stringProto, "slice", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        double length = double(s.size());
        double start = RelativeIndex(in.ToNumber(Arg(args, 0)), length);
        double end = args.size() < 2 || args[1].IsUndefined() ? length : RelativeIndex(in.ToNumber(args[1]), length);
        if (end <= start) return ScriptValue::String("");
        return ScriptValue::String(ToUtf8(s.substr(size_t(start), size_t(end - start))));
    });
    method(stringProto, "indexOf", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self), what = FromUtf8(in.ToString(Arg(args, 0)));
        double from = args.size() < 2 ? 0 : RelativeIndex(in.ToNumber(args[1]), double(s.size()));
        size_t found = s.find(what, size_t(from));
        return ScriptValue::Number(found == std::wstring::npos ? -1.0 : double(found));
    });
    method(stringProto, "lastIndexOf", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self), what = FromUtf8(in.ToString(Arg(args, 0)));
        size_t from = std::wstring::npos;
        if (args.size() >= 2) { double d = in.ToNumber(args[1]); if (d >= 0 && d < double(s.size())) from = size_t(d); else if (d < 0) return ScriptValue::Number(-1); }
        size_t found = s.rfind(what, from);
        return ScriptValue::Number(found == std::wstring::npos ? -1.0 : double(found));
    });
    method(stringProto, "toUpperCase", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::String(TextToUpper(in.ToString(self))); });
    method(stringProto, "toLowerCase", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::String(TextToLower(in.ToString(self))); });
    method(stringProto, "concat", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::string s = in.ToString(self);
        for (auto& a : args) { s += in.ToString(a); in.CheckLength(s.size()); }
        return ScriptValue::String(s);
    });
    method(stringProto, "split", [text](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        std::wstring s = text(in, self);
        std::vector<ScriptValue> parts;
        if (args.empty() || args[0].IsUndefined()) {
            parts.push_back(ScriptValue::String(ToUtf8(s)));
        } else {
            std::wstring separator = FromUtf8(in.ToString(args[0]));
            in.Charge(s.size());
            if (separator.empty()) {
                for (wchar_t c : s) parts.push_back(ScriptValue::String(ToUtf8(std::wstring(1, c))));
            } else {
                size_t start = 0;
                for (;;) {
                    size_t found = s.find(separator, start);
                    parts.push_back(ScriptValue::String(ToUtf8(s.substr(start, found == std::wstring::npos ? std::wstring::npos : found - start))));
                    if (found == std::wstring::npos) break;
                    start = found + separator.size();
                }
            }
        }
        if (args.size() >= 2 && !args[1].IsUndefined()) {
            double limit = in.ToNumber(args[1]);
            if (limit >= 0 && limit < double(parts.size())) parts.resize(size_t(limit));
        }
        if (parts.size() > ScriptInterpreter::MaxArrayLength) throw ScriptError("array too long");
        return ScriptValue::Object(in.NewArray(std::move(parts)));
    });
    Define(global, "Number", ScriptValue::Object(constructor(numberProto, [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        return ScriptValue::Number(args.empty() ? 0 : in.ToNumber(args[0]));
    })));
    {
        ScriptValue number = Get(ScriptValue::Object(global), "Number");
        Define(number.object, "NaN", ScriptValue::Number(NAN));
        Define(number.object, "POSITIVE_INFINITY", ScriptValue::Number(INFINITY));
        Define(number.object, "NEGATIVE_INFINITY", ScriptValue::Number(-INFINITY));
        Define(number.object, "MAX_VALUE", ScriptValue::Number(1.79769313486231e+308));
        Define(number.object, "MIN_VALUE", ScriptValue::Number(4.9406564584124654e-324));
    }
    method(numberProto, "toString", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        double n = in.ToNumber(self);
        double radix = args.empty() || args[0].IsUndefined() ? 10 : in.ToNumber(args[0]);
        if (!(radix >= 2 && radix <= 36) || radix == 10 || !std::isfinite(n)) return ScriptValue::String(NumberToString(n));
        // Other radixes print the integer part, as the player does.
        int base = int(radix);
        int64_t whole = n < -9e15 ? -9000000000000000ll : n > 9e15 ? 9000000000000000ll : int64_t(n);
        bool negative = whole < 0;
        uint64_t u = negative ? uint64_t(-whole) : uint64_t(whole);
        std::string digits;
        do { digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[u % base]); u /= base; } while (u);
        return ScriptValue::String(negative ? "-" + digits : digits);
    });
    method(numberProto, "valueOf", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::Number(in.ToNumber(self)); });
    Define(global, "Boolean", ScriptValue::Object(constructor(booleanProto, [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        return ScriptValue::Bool(in.ToBoolean(Arg(args, 0)));
    })));
    method(booleanProto, "toString", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::String(in.ToBoolean(self) ? "true" : "false"); });
    method(booleanProto, "valueOf", [](ScriptInterpreter& in, const ScriptValue& self, Args&) { return ScriptValue::Bool(in.ToBoolean(self)); });

    // -- Math ------------------------------------------------------------------------------
    ScriptObject* math = NewObject();
    Define(global, "Math", ScriptValue::Object(math));
    Define(math, "PI", ScriptValue::Number(3.141592653589793));
    Define(math, "E", ScriptValue::Number(2.718281828459045));
    Define(math, "SQRT2", ScriptValue::Number(1.4142135623730951));
    Define(math, "LN2", ScriptValue::Number(0.6931471805599453));
    Define(math, "LN10", ScriptValue::Number(2.302585092994046));
    auto unary = [&](const char* name, double (*f)(double)) {
        method(math, name, [f](ScriptInterpreter& in, const ScriptValue&, Args& args) { return ScriptValue::Number(f(in.ToNumber(Arg(args, 0)))); });
    };
    unary("abs", [](double x) { return std::fabs(x); });
    unary("floor", [](double x) { return std::floor(x); });
    unary("ceil", [](double x) { return std::ceil(x); });
    unary("round", [](double x) { return std::floor(x + 0.5); });
    unary("sin", [](double x) { return std::sin(x); });
    unary("cos", [](double x) { return std::cos(x); });
    unary("tan", [](double x) { return std::tan(x); });
    unary("asin", [](double x) { return std::asin(x); });
    unary("acos", [](double x) { return std::acos(x); });
    unary("atan", [](double x) { return std::atan(x); });
    unary("sqrt", [](double x) { return std::sqrt(x); });
    unary("exp", [](double x) { return std::exp(x); });
    unary("log", [](double x) { return std::log(x); });
    method(math, "atan2", [](ScriptInterpreter& in, const ScriptValue&, Args& args) { return ScriptValue::Number(std::atan2(in.ToNumber(Arg(args, 0)), in.ToNumber(Arg(args, 1)))); });
    method(math, "pow", [](ScriptInterpreter& in, const ScriptValue&, Args& args) { return ScriptValue::Number(std::pow(in.ToNumber(Arg(args, 0)), in.ToNumber(Arg(args, 1)))); });
    method(math, "min", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        double result = INFINITY;
        for (auto& a : args) { double x = in.ToNumber(a); if (std::isnan(x)) return ScriptValue::Number(NAN); result = std::min(result, x); }
        return ScriptValue::Number(result);
    });
    method(math, "max", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        double result = -INFINITY;
        for (auto& a : args) { double x = in.ToNumber(a); if (std::isnan(x)) return ScriptValue::Number(NAN); result = std::max(result, x); }
        return ScriptValue::Number(result);
    });
    method(math, "random", [](ScriptInterpreter& in, const ScriptValue&, Args&) {
        return ScriptValue::Number(std::uniform_real_distribution<double>(0.0, 1.0)(in.random));
    });

    // -- Global functions ------------------------------------------------------------------
    method(global, "parseInt", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        std::string s = in.ToString(Arg(args, 0));
        size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) i++;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        int radix = args.size() >= 2 && !args[1].IsUndefined() ? ToInt32(in.ToNumber(args[1])) : 0;
        if (radix == 0) {
            if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) { radix = 16; i += 2; }
            else radix = 10;
        } else if (radix == 16 && (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0)) {
            i += 2;
        }
        if (radix < 2 || radix > 36) return ScriptValue::Number(NAN);
        double total = 0;
        size_t digits = 0;
        for (; i < s.size(); i++, digits++) {
            char c = s[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'z' ? c - 'a' + 10 : c >= 'A' && c <= 'Z' ? c - 'A' + 10 : 99;
            if (d >= radix) break;
            total = total * radix + d;
        }
        if (digits == 0) return ScriptValue::Number(NAN);
        return ScriptValue::Number(negative ? -total : total);
    });
    method(global, "parseFloat", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        std::string s = in.ToString(Arg(args, 0));
        size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) i++;
        // The longest prefix that reads as a decimal number.
        size_t end = i, best = std::string::npos;
        if (end < s.size() && (s[end] == '+' || s[end] == '-')) end++;
        bool digits = false, dot = false;
        for (; end < s.size(); end++) {
            char c = s[end];
            if (c >= '0' && c <= '9') { digits = true; best = end + 1; }
            else if (c == '.' && !dot) dot = true;
            else if ((c == 'e' || c == 'E') && digits) {
                size_t e = end + 1;
                if (e < s.size() && (s[e] == '+' || s[e] == '-')) e++;
                size_t start = e;
                while (e < s.size() && s[e] >= '0' && s[e] <= '9') e++;
                if (e > start) best = e;
                break;
            } else break;
        }
        if (best == std::string::npos) return ScriptValue::Number(NAN);
        return ScriptValue::Number(StringToNumber(s.substr(i, best - i)));
    });
    method(global, "isNaN", [](ScriptInterpreter& in, const ScriptValue&, Args& args) { return ScriptValue::Bool(std::isnan(in.ToNumber(Arg(args, 0)))); });
    method(global, "isFinite", [](ScriptInterpreter& in, const ScriptValue&, Args& args) { return ScriptValue::Bool(std::isfinite(in.ToNumber(Arg(args, 0)))); });
    method(global, "getTimer", [](ScriptInterpreter& in, const ScriptValue&, Args&) { return ScriptValue::Number(std::floor(in.Host().Milliseconds())); });
    method(global, "trace", [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); });
    method(global, "fscommand", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        in.Host().FsCommand(in.ToString(Arg(args, 0)), args.size() >= 2 ? in.ToString(args[1]) : "");
        return ScriptValue();
    });
    method(global, "escape", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        // Every byte of the UTF-8 text but letters and digits as %XX, as URLs built by movies expect.
        std::string text = in.ToString(Arg(args, 0)), out;
        in.CheckLength(text.size() * 3);
        for (unsigned char c : text) {
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) out += char(c);
            else { out += '%'; out += "0123456789ABCDEF"[c >> 4]; out += "0123456789ABCDEF"[c & 15]; }
        }
        return ScriptValue::String(out);
    });
    method(global, "unescape", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        std::string text = in.ToString(Arg(args, 0)), out;
        auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
        for (size_t i = 0; i < text.size(); i++) {
            if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
                out += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return ScriptValue::String(ToUtf8(FromUtf8(out)));   // stray bytes read as Latin-1
    });
    Define(global, "NaN", ScriptValue::Number(NAN));
    Define(global, "Infinity", ScriptValue::Number(INFINITY));

    // -- Movie clips -----------------------------------------------------------------------
    Define(global, "MovieClip", ScriptValue::Object(constructor(clipProto, [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); })));
    Define(global, "TextField", ScriptValue::Object(constructor(textFieldProto, [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); })));
    Define(global, "Button", ScriptValue::Object(constructor(buttonProto, [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); })));
    Define(global, "Video", ScriptValue::Object(constructor(videoProto, [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); })));
    auto clipMethod = [&](const char* name, std::function<void(ScriptInterpreter&, ScriptObjectRef*, Args&)> body) {
        method(clipProto, name, [body](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
            if (ScriptObjectRef* display = DisplayOf(self)) body(in, display, args);
            return ScriptValue();
        });
    };
    clipMethod("play", [](ScriptInterpreter& in, ScriptObjectRef* c, Args&) { in.Host().SetPlaying(c, true); });
    clipMethod("stop", [](ScriptInterpreter& in, ScriptObjectRef* c, Args&) { in.Host().SetPlaying(c, false); });
    clipMethod("nextFrame", [](ScriptInterpreter& in, ScriptObjectRef* c, Args&) { in.Host().NextFrame(c); });
    clipMethod("prevFrame", [](ScriptInterpreter& in, ScriptObjectRef* c, Args&) { in.Host().PreviousFrame(c); });
    auto gotoFrame = [](ScriptInterpreter& in, ScriptObjectRef* c, Args& args, bool play) {
        ScriptValue frame = Arg(args, 0);
        double number = frame.IsString() ? StringToNumber(frame.text) : in.ToNumber(frame);
        if (frame.IsString() && std::isnan(number)) { in.Host().GotoLabel(c, frame.text, play); return; }
        if (std::isnan(number)) return;
        int index = ClampToInt(number);
        in.Host().GotoFrame(c, index > 0 ? index - 1 : 0, play);
    };
    clipMethod("gotoAndPlay", [gotoFrame](ScriptInterpreter& in, ScriptObjectRef* c, Args& args) { gotoFrame(in, c, args, true); });
    clipMethod("gotoAndStop", [gotoFrame](ScriptInterpreter& in, ScriptObjectRef* c, Args& args) { gotoFrame(in, c, args, false); });
    clipMethod("loadMovie", [](ScriptInterpreter& in, ScriptObjectRef* c, Args& args) { in.Host().LoadMovie(c, in.ToString(Arg(args, 0))); });
    clipMethod("unloadMovie", [](ScriptInterpreter& in, ScriptObjectRef* c, Args&) { in.Host().LoadMovie(c, ""); });
    clipMethod("getURL", [](ScriptInterpreter& in, ScriptObjectRef*, Args& args) {
        std::string url = in.ToString(Arg(args, 0));
        std::string window = args.size() >= 2 ? in.ToString(args[1]) : "";
        std::string method = args.size() >= 3 ? TextToLower(in.ToString(args[2])) : "";
        if (url.size() >= 10 && TextToLower(url.substr(0, 10)) == "fscommand:") { in.Host().FsCommand(url.substr(10), window); return; }
        in.Host().GetUrl(url, window, method == "get" ? 1 : method == "post" ? 2 : 0);
    });
    method(clipProto, "getBytesLoaded", [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue::Number(1); });
    method(clipProto, "getBytesTotal", [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue::Number(1); });
    method(videoProto, "attachVideo", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        if (ScriptObjectRef* display = DisplayOf(self)) in.Host().AttachVideo(display, StreamOf(Arg(args, 0)));
        return ScriptValue();
    });
    method(videoProto, "clear", [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue(); });

    // -- NetConnection, NetStream ----------------------------------------------------------
    Define(global, "NetConnection", ScriptValue::Object(constructor(netConnectionProto, [](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        if (self.IsObject()) {
            self.object->cls = ScriptObject::Class::NetConnection;
            in.Define(self.object, "isConnected", ScriptValue::Bool(false));
        }
        return ScriptValue();
    })));
    method(netConnectionProto, "connect", [](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
        // Only local playback: connect(null) succeeds, servers are not offered.
        bool local = Arg(args, 0).IsNullish();
        if (self.IsObject()) in.Define(self.object, "isConnected", ScriptValue::Bool(local));
        return ScriptValue::Bool(local);
    });
    method(netConnectionProto, "close", [](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        if (self.IsObject()) in.Define(self.object, "isConnected", ScriptValue::Bool(false));
        return ScriptValue();
    });
    Define(global, "NetStream", ScriptValue::Object(constructor(netStreamProto, [](ScriptInterpreter& in, const ScriptValue& self, Args&) {
        if (!self.IsObject() || self.object->cls != ScriptObject::Class::Plain) return ScriptValue();
        NetStreamId id = in.Host().CreateNetStream();
        self.object->cls = ScriptObject::Class::NetStream;
        self.object->stream = id;
        in.Define(self.object, "bufferTime", ScriptValue::Number(0.1));
        if (id != 0) in.streams[id] = self.object;
        return ScriptValue();
    })));
    auto streamMethod = [&](const char* name, std::function<void(ScriptInterpreter&, NetStreamId, const ScriptValue&, Args&)> body) {
        method(netStreamProto, name, [body](ScriptInterpreter& in, const ScriptValue& self, Args& args) {
            if (NetStreamId id = StreamOf(self)) body(in, id, self, args);
            return ScriptValue();
        });
    };
    streamMethod("play", [](ScriptInterpreter& in, NetStreamId id, const ScriptValue&, Args& args) { in.Host().NetStreamPlay(id, in.ToString(Arg(args, 0))); });
    streamMethod("pause", [](ScriptInterpreter& in, NetStreamId id, const ScriptValue&, Args& args) {
        ScriptValue flag = Arg(args, 0);
        in.Host().NetStreamPause(id, flag.IsUndefined() ? -1 : in.ToBoolean(flag) ? 1 : 0);
    });
    streamMethod("seek", [](ScriptInterpreter& in, NetStreamId id, const ScriptValue&, Args& args) {
        double seconds = in.ToNumber(Arg(args, 0));
        in.Host().NetStreamSeek(id, std::isfinite(seconds) && seconds > 0 ? seconds : 0);
    });
    streamMethod("close", [](ScriptInterpreter& in, NetStreamId id, const ScriptValue&, Args&) { in.Host().NetStreamClose(id); });
    streamMethod("setBufferTime", [](ScriptInterpreter& in, NetStreamId id, const ScriptValue& self, Args& args) {
        double seconds = in.ToNumber(Arg(args, 0));
        if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
        in.Host().NetStreamSetBufferTime(id, seconds);
        in.Define(self.object, "bufferTime", ScriptValue::Number(seconds));
    });

    // -- ExternalInterface -----------------------------------------------------------------
    ScriptObject* external = NewObject();
    Define(external, "available", ScriptValue::Bool(true));
    method(external, "call", [](ScriptInterpreter& in, const ScriptValue&, Args& args) {
        InvokeRequest request;
        request.name = FromUtf8(in.ToString(Arg(args, 0)));
        request.returnType = L"xml";
        for (size_t i = 1; i < args.size(); i++) request.arguments.push_back(ToInvoke(in, args[i], 0));
        std::string answer = in.Host().ExternalCall(ToUtf8(SerializeInvoke(request)));
        if (answer.empty()) return ScriptValue::Null();
        try {
            return FromInvoke(in, ParseInvokeValue(FromUtf8(answer)));
        } catch (const FormatError&) {
            return ScriptValue::Null();                      // an answer we cannot read is no answer
        }
    });
    method(external, "addCallback", [](ScriptInterpreter&, const ScriptValue&, Args&) { return ScriptValue::Bool(false); });
    Define(global, "ExternalInterface", ScriptValue::Object(external));
    ScriptObject* flash = NewObject();
    ScriptObject* externalPackage = NewObject();
    Define(global, "flash", ScriptValue::Object(flash));
    Define(flash, "external", ScriptValue::Object(externalPackage));
    Define(externalPackage, "ExternalInterface", ScriptValue::Object(external));
}

} // namespace refplayer
