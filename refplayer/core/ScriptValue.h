#pragma once

#include <cstdint>
#include <string>

namespace refplayer {

struct ScriptObject;

// A script value with the loose typing of the movie's scripts. Objects are owned by the
// interpreter's heap; a value only points at one.
struct ScriptValue {
    enum class Type { Undefined, Null, Boolean, Number, String, Object };

    Type type = Type::Undefined;
    bool boolean = false;
    double number = 0;
    std::string text;
    ScriptObject* object = nullptr;

    static ScriptValue Undefined() { return {}; }
    static ScriptValue Null() { ScriptValue v; v.type = Type::Null; return v; }
    static ScriptValue Bool(bool b) { ScriptValue v; v.type = Type::Boolean; v.boolean = b; return v; }
    static ScriptValue Number(double n) { ScriptValue v; v.type = Type::Number; v.number = n; return v; }
    static ScriptValue String(std::string s) { ScriptValue v; v.type = Type::String; v.text = std::move(s); return v; }
    static ScriptValue Object(ScriptObject* o) {
        if (!o) return Null();
        ScriptValue v; v.type = Type::Object; v.object = o; return v;
    }

    bool IsUndefined() const { return type == Type::Undefined; }
    bool IsNull() const { return type == Type::Null; }
    bool IsNullish() const { return type == Type::Undefined || type == Type::Null; }
    bool IsString() const { return type == Type::String; }
    bool IsNumber() const { return type == Type::Number; }
    bool IsObject() const { return type == Type::Object; }
};

// Numbers as the player prints them: 15 significant digits, "NaN", "Infinity", "-Infinity",
// integers without a fraction, exponents without leading zeros ("1e-7", "1e+21").
std::string NumberToString(double value);
// Text to number: decimal (sign, fraction, exponent), "0x" hexadecimal, "Infinity";
// surrounding white space ignored; anything else, the empty text included, is NaN.
double StringToNumber(const std::string& text);
// ECMAScript ToInt32 / ToUint32: NaN and infinities are 0, the rest wraps modulo 2^32.
int32_t ToInt32(double value);
uint32_t ToUint32(double value);
// For host arguments (frame numbers, levels): NaN is 0, the rest truncated and clamped.
int ClampToInt(double value);

} // namespace refplayer
