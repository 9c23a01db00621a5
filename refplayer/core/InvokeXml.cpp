#include "refplayer/core/InvokeXml.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/TextCodec.h"

namespace refplayer {

namespace {

constexpr int kMaxDepth = 64;

struct Element {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    bool empty = false; // written as <name/>

    const std::wstring* Attribute(const wchar_t* key) const {
        for (const auto& attribute : attributes)
            if (attribute.first == key) return &attribute.second;
        return nullptr;
    }
};

// A reader for the small XML subset of the invoke format: elements, attributes, text and
// the predefined and numeric character references. No comments, CDATA or declarations.
class XmlReader {
public:
    explicit XmlReader(const std::wstring& xml) : xml_(xml) {}

    void SkipSpace() {
        while (pos_ < xml_.size() && (xml_[pos_] == L' ' || xml_[pos_] == L'\t' || xml_[pos_] == L'\r' || xml_[pos_] == L'\n'))
            pos_++;
    }
    bool AtEnd() { return pos_ == xml_.size(); }
    bool AtCloseTag() {
        SkipSpace();
        return xml_.compare(pos_, 2, L"</") == 0;
    }

    Element OpenTag() {
        SkipSpace();
        Expect(L'<');
        Element element;
        element.name = Name();
        for (;;) {
            SkipSpace();
            if (Accept(L'/')) {
                Expect(L'>');
                element.empty = true;
                return element;
            }
            if (Accept(L'>')) return element;
            std::wstring key = Name();
            SkipSpace();
            Expect(L'=');
            SkipSpace();
            wchar_t quote = Peek();
            if (quote != L'"' && quote != L'\'') Fail("attribute value is not quoted");
            pos_++;
            element.attributes.emplace_back(std::move(key), Text(quote));
            Expect(quote);
        }
    }

    void CloseTag(const std::wstring& name) {
        SkipSpace();
        size_t start = pos_;
        Expect(L'<');
        Expect(L'/');
        if (Name() != name) {
            pos_ = start;
            Fail("closing tag does not match <" + ToUtf8(name) + ">");
        }
        SkipSpace();
        Expect(L'>');
    }

    // Character data up to `stop`, references decoded.
    std::wstring Text(wchar_t stop = L'<') {
        std::wstring text;
        while (Peek() != stop) {
            wchar_t c = xml_[pos_++];
            if (c == L'<') Fail("unexpected '<'");
            if (c == L'&') {
                Reference(text);
            } else {
                text += c;
            }
        }
        return text;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw FormatError("invoke XML: " + what + " at offset " + std::to_string(pos_));
    }

private:
    wchar_t Peek() {
        if (pos_ == xml_.size()) Fail("unexpected end");
        return xml_[pos_];
    }
    bool Accept(wchar_t c) {
        if (pos_ < xml_.size() && xml_[pos_] == c) {
            pos_++;
            return true;
        }
        return false;
    }
    void Expect(wchar_t c) {
        if (!Accept(c)) Fail(std::string("expected '") + char(c) + "'");
    }
    std::wstring Name() {
        size_t start = pos_;
        while (pos_ < xml_.size()) {
            wchar_t c = xml_[pos_];
            if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
                  c == L'-' || c == L':' || c == L'.'))
                break;
            pos_++;
        }
        if (pos_ == start) Fail("expected a name");
        return xml_.substr(start, pos_ - start);
    }
    void Reference(std::wstring& text) {
        size_t end = xml_.find(L';', pos_);
        if (end == std::wstring::npos || end - pos_ > 10) Fail("unterminated character reference");
        std::wstring name = xml_.substr(pos_, end - pos_);
        pos_ = end + 1;
        static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
            {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
        for (const auto& entity : kEntities)
            if (name == entity.first) {
                text += entity.second;
                return;
            }
        if (name.size() < 2 || name[0] != L'#') Fail("unknown entity &" + ToUtf8(name) + ";");
        bool hex = name[1] == L'x' || name[1] == L'X';
        std::string digits = ToUtf8(name.substr(hex ? 2 : 1));
        uint32_t code = 0;
        auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
            code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            Fail("invalid character reference &" + ToUtf8(name) + ";");
        AppendCodePoint(text, code);
    }

    const std::wstring& xml_;
    size_t pos_ = 0;
};

double ParseNumber(XmlReader& reader, const std::wstring& text) {
    std::string digits = ToUtf8(text);
    size_t first = digits.find_first_not_of(" \t\r\n"), last = digits.find_last_not_of(" \t\r\n");
    if (first == std::string::npos) reader.Fail("empty <number>");
    digits = digits.substr(first, last - first + 1);
    double value = 0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
        reader.Fail("invalid <number> \"" + digits + "\"");
    return value;
}

InvokeValue ReadValue(XmlReader& reader, int depth) {
    if (depth > kMaxDepth) reader.Fail("values nested too deeply");
    Element element = reader.OpenTag();
    InvokeValue value;
    const std::wstring& name = element.name;
    if (name == L"true" || name == L"false" || name == L"null" || name == L"undefined") {
        value.kind = name == L"true"    ? InvokeValue::Kind::True
                     : name == L"false" ? InvokeValue::Kind::False
                     : name == L"null"  ? InvokeValue::Kind::Null
                                        : InvokeValue::Kind::Undefined;
        if (!element.empty) reader.CloseTag(name);
    } else if (name == L"string" || name == L"number") {
        std::wstring text = element.empty ? std::wstring() : reader.Text();
        if (!element.empty) reader.CloseTag(name);
        if (name == L"string") {
            value.kind = InvokeValue::Kind::String;
            value.text = std::move(text);
        } else {
            value.kind = InvokeValue::Kind::Number;
            value.number = ParseNumber(reader, text);
        }
    } else if (name == L"array" || name == L"object") {
        value.kind = name == L"array" ? InvokeValue::Kind::Array : InvokeValue::Kind::Object;
        if (!element.empty) {
            while (!reader.AtCloseTag()) {
                Element property = reader.OpenTag();
                const std::wstring* id = property.Attribute(L"id");
                if (property.name != L"property" || !id || property.empty)
                    reader.Fail("expected <property id=\"...\"> with a value");
                InvokeProperty entry{*id, ReadValue(reader, depth + 1)};
                value.properties.push_back(std::move(entry));
                reader.CloseTag(L"property");
            }
            reader.CloseTag(name);
        }
    } else {
        reader.Fail("unknown value element <" + ToUtf8(name) + ">");
    }
    return value;
}

void ExpectEnd(XmlReader& reader) {
    reader.SkipSpace();
    if (!reader.AtEnd()) reader.Fail("unexpected content after the end");
}

std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        case L'\'': out += L"&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

std::wstring FormatNumber(double number) {
    // The script's own spelling of the special values; otherwise the shortest exact form.
    if (std::isnan(number)) return L"NaN";
    if (std::isinf(number)) return number > 0 ? L"Infinity" : L"-Infinity";
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::wstring(buffer, result.ptr);
}

InvokeValue InvokeValue::String(std::wstring text) {
    InvokeValue value;
    value.kind = Kind::String;
    value.text = std::move(text);
    return value;
}

InvokeValue InvokeValue::Number(double number) {
    InvokeValue value;
    value.kind = Kind::Number;
    value.number = number;
    return value;
}

InvokeValue InvokeValue::Boolean(bool flag) {
    InvokeValue value;
    value.kind = flag ? Kind::True : Kind::False;
    return value;
}

InvokeValue InvokeValue::Null() {
    InvokeValue value;
    value.kind = Kind::Null;
    return value;
}

bool operator==(const InvokeValue& a, const InvokeValue& b) {
    if (a.kind != b.kind || a.properties.size() != b.properties.size()) return false;
    if (a.kind == InvokeValue::Kind::Number && a.number != b.number) return false;
    if (a.kind == InvokeValue::Kind::String && a.text != b.text) return false;
    for (size_t i = 0; i < a.properties.size(); i++)
        if (a.properties[i].id != b.properties[i].id || a.properties[i].value != b.properties[i].value) return false;
    return true;
}

InvokeRequest ParseInvoke(const std::wstring& xml) {
    XmlReader reader(xml);
    Element invoke = reader.OpenTag();
    const std::wstring* name = invoke.Attribute(L"name");
    if (invoke.name != L"invoke" || !name) reader.Fail("expected <invoke name=\"...\">");
    InvokeRequest request;
    request.name = *name;
    if (const std::wstring* returnType = invoke.Attribute(L"returntype")) request.returnType = *returnType;
    if (!invoke.empty) {
        if (!reader.AtCloseTag()) {
            Element arguments = reader.OpenTag();
            if (arguments.name != L"arguments") reader.Fail("expected <arguments>");
            if (!arguments.empty) {
                while (!reader.AtCloseTag()) request.arguments.push_back(ReadValue(reader, 0));
                reader.CloseTag(L"arguments");
            }
        }
        reader.CloseTag(L"invoke");
    }
    ExpectEnd(reader);
    return request;
}

InvokeValue ParseInvokeValue(const std::wstring& xml) {
    XmlReader reader(xml);
    InvokeValue value = ReadValue(reader, 0);
    ExpectEnd(reader);
    return value;
}

std::wstring SerializeInvokeValue(const InvokeValue& value) {
    switch (value.kind) {
    case InvokeValue::Kind::Undefined: return L"<undefined/>";
    case InvokeValue::Kind::Null: return L"<null/>";
    case InvokeValue::Kind::False: return L"<false/>";
    case InvokeValue::Kind::True: return L"<true/>";
    case InvokeValue::Kind::Number: return L"<number>" + FormatNumber(value.number) + L"</number>";
    case InvokeValue::Kind::String: return L"<string>" + Escape(value.text) + L"</string>";
    case InvokeValue::Kind::Array:
    case InvokeValue::Kind::Object: {
        const wchar_t* tag = value.kind == InvokeValue::Kind::Array ? L"array" : L"object";
        std::wstring out = std::wstring(L"<") + tag + L">";
        for (const InvokeProperty& property : value.properties)
            out += L"<property id=\"" + Escape(property.id) + L"\">" + SerializeInvokeValue(property.value) +
                   L"</property>";
        return out + L"</" + tag + L">";
    }
    }
    return std::wstring();
}

std::wstring SerializeInvoke(const InvokeRequest& request) {
    std::wstring out = L"<invoke name=\"" + Escape(request.name) + L"\" returntype=\"" +
                       Escape(request.returnType.empty() ? L"xml" : request.returnType) + L"\"><arguments>";
    for (const InvokeValue& argument : request.arguments) out += SerializeInvokeValue(argument);
    return out + L"</arguments></invoke>";
}

} // namespace refplayer
