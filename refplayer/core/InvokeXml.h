#pragma once

#include <string>
#include <vector>

namespace refplayer {

struct InvokeProperty;

// A value of the XML format that external calls use: <string>, <number>, <true/>, <false/>,
// <null/>, <undefined/>, <array> and <object> of <property id="..."> elements.
struct InvokeValue {
    enum class Kind { Undefined, Null, False, True, Number, String, Array, Object };

    Kind kind = Kind::Undefined;
    double number = 0;
    std::wstring text;
    std::vector<InvokeProperty> properties; // Array: ids "0", "1", ...; Object: member names

    static InvokeValue String(std::wstring text);
    static InvokeValue Number(double number);
    static InvokeValue Boolean(bool value);
    static InvokeValue Null();
};

struct InvokeProperty {
    std::wstring id;
    InvokeValue value;
};

bool operator==(const InvokeValue& a, const InvokeValue& b);
inline bool operator!=(const InvokeValue& a, const InvokeValue& b) { return !(a == b); }

// <invoke name="..." returntype="xml"><arguments>values</arguments></invoke>
struct InvokeRequest {
    std::wstring name;
    std::wstring returnType;
    std::vector<InvokeValue> arguments;
};

// Malformed XML and unknown elements raise FormatError.
InvokeRequest ParseInvoke(const std::wstring& xml);
InvokeValue ParseInvokeValue(const std::wstring& xml);

std::wstring SerializeInvokeValue(const InvokeValue& value);
std::wstring SerializeInvoke(const InvokeRequest& request);
// A number as the movie spells it: "NaN", "Infinity", "-Infinity", or the shortest text that
// reads back as the same double ("5", "0.1", "1e+300").
std::wstring FormatNumber(double number);

} // namespace refplayer
