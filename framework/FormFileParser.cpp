#include "framework/FormFileParser.h"

#include <cctype>

namespace {

enum class TTokenKind { End, Identifier, Integer, String, Symbol };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    std::string Text;
    int64_t Number = 0;
    int Line = 1;
};

bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
int DigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (std::tolower(static_cast<unsigned char>(c)) - 'a') + 10;
}

bool SameTextAscii(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

class TLexer {
public:
    explicit TLexer(const std::string& text) : text_(text) { Next(); }

    const TToken& Current() const { return token_; }

    [[noreturn]] void Fail(const std::string& message) const { Fail(message, token_.Line); }
    [[noreturn]] void Fail(const std::string& message, int line) const {
        throw EFormFileError("Form file line " + std::to_string(line) + ": " + message);
    }

    void Next() {
        SkipSpace();
        token_ = TToken();
        token_.Line = line_;
        if (pos_ >= text_.size()) return;
        char c = text_[pos_];
        if (IsAlpha(c)) {
            size_t start = pos_;
            while (pos_ < text_.size() &&
                   (IsAlpha(text_[pos_]) || IsDigit(text_[pos_]) || text_[pos_] == '.'))
                ++pos_;
            token_.Kind = TTokenKind::Identifier;
            token_.Text = text_.substr(start, pos_ - start);
        } else if (IsDigit(c) || c == '$' ||
                   (c == '-' && pos_ + 1 < text_.size() && (IsDigit(text_[pos_ + 1]) || text_[pos_ + 1] == '$'))) {
            ReadNumber();
        } else if (c == '\'' || c == '#') {
            ReadString();
        } else {
            token_.Kind = TTokenKind::Symbol;
            token_.Text = std::string(1, c);
            ++pos_;
        }
    }

    bool IsSymbol(const char* symbol) const { return token_.Kind == TTokenKind::Symbol && token_.Text == symbol; }

    void Expect(const char* symbol) {
        if (!IsSymbol(symbol)) Fail(std::string("'") + symbol + "' expected");
        Next();
    }

    std::string ExpectIdentifier() {
        if (token_.Kind != TTokenKind::Identifier) Fail("identifier expected");
        std::string text = token_.Text;
        Next();
        return text;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') ++line_;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') ++pos_;
            else break;
        }
    }

    // Decimal or $hexadecimal, at most 32 bits of magnitude; digits are accumulated with an
    // overflow check rather than through the library's throwing conversions.
    void ReadNumber() {
        bool negative = text_[pos_] == '-';
        if (negative) ++pos_;
        bool hex = pos_ < text_.size() && text_[pos_] == '$';
        if (hex) ++pos_;
        size_t start = pos_;
        uint64_t value = 0;
        bool tooLarge = false;
        while (pos_ < text_.size() && (hex ? IsHexDigit(text_[pos_]) : IsDigit(text_[pos_]))) {
            value = value * (hex ? 16 : 10) + uint64_t(DigitValue(text_[pos_]));
            if (value > 0xFFFFFFFFull) {
                tooLarge = true;
                value = 0xFFFFFFFFull + 1;  // stays put: no wrap-around however long the digits run
            }
            ++pos_;
        }
        std::string digits = text_.substr(start, pos_ - start);
        if (digits.empty()) Fail("number expected");
        if (tooLarge) Fail("number out of range: " + digits.substr(0, 40));
        token_.Kind = TTokenKind::Integer;
        token_.Number = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    }

    // One string value: quoted parts and #n characters, joined directly or by '+'.
    void ReadString() {
        token_.Kind = TTokenKind::String;
        for (;;) {
            if (pos_ < text_.size() && text_[pos_] == '\'') {
                ++pos_;
                for (;;) {
                    if (pos_ >= text_.size() || text_[pos_] == '\n') Fail("unterminated string");
                    char c = text_[pos_++];
                    if (c == '\'') {
                        if (pos_ < text_.size() && text_[pos_] == '\'') {
                            token_.Text += '\'';
                            ++pos_;
                        } else {
                            break;
                        }
                    } else {
                        token_.Text += c;
                    }
                }
            } else if (pos_ < text_.size() && text_[pos_] == '#') {
                ++pos_;
                int code = 0;
                size_t start = pos_;
                while (pos_ < text_.size() && IsDigit(text_[pos_])) {
                    if (code <= 255) code = code * 10 + DigitValue(text_[pos_]);
                    ++pos_;
                }
                if (start == pos_) Fail("character number expected after #");
                if (code > 255) Fail("character number out of range");
                token_.Text += static_cast<char>(code);
            } else {
                // A '+' continues the string, possibly on the next line.
                size_t save = pos_;
                int saveLine = line_;
                SkipSpace();
                if (pos_ < text_.size() && text_[pos_] == '+') {
                    ++pos_;
                    SkipSpace();
                    if (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '#')) continue;
                    Fail("string expected after '+'");
                }
                pos_ = save;
                line_ = saveLine;
                return;
            }
        }
    }

    const std::string& text_;
    size_t pos_ = 0;
    int line_ = 1;
    TToken token_;
};

class TParser {
public:
    explicit TParser(const std::string& text) : lexer_(text) {}

    TFormObject Parse() {
        TFormObject root;
        ReadObject(root, 1);
        if (lexer_.Current().Kind != TTokenKind::End) lexer_.Fail("text after the end of the root object");
        return root;
    }

private:
    void ReadObject(TFormObject& object, int depth) {
        object.Line = lexer_.Current().Line;
        if (depth > MaxFormNesting) lexer_.Fail("objects nested too deeply");
        std::string keyword = lexer_.ExpectIdentifier();
        if (!SameTextAscii(keyword, "object")) lexer_.Fail("'object' expected", object.Line);
        object.Name = lexer_.ExpectIdentifier();
        lexer_.Expect(":");
        object.ClassName = lexer_.ExpectIdentifier();
        for (;;) {
            const TToken& token = lexer_.Current();
            if (token.Kind != TTokenKind::Identifier) lexer_.Fail("property name, 'object' or 'end' expected");
            if (SameTextAscii(token.Text, "end")) {
                lexer_.Next();
                return;
            }
            TFormEntry entry;
            entry.Line = token.Line;
            if (SameTextAscii(token.Text, "object")) {
                entry.Object = std::make_unique<TFormObject>();
                ReadObject(*entry.Object, depth + 1);
            } else {
                entry.Property = lexer_.ExpectIdentifier();
                lexer_.Expect("=");
                entry.Value = ReadValue();
            }
            object.Entries.push_back(std::move(entry));
        }
    }

    TFormValue ReadValue() {
        const TToken& token = lexer_.Current();
        TFormValue value;
        if (lexer_.IsSymbol("[")) {
            value.Kind = TFormValue::TKind::Set;
            lexer_.Next();
            while (!lexer_.IsSymbol("]")) {
                value.Elements.push_back(lexer_.ExpectIdentifier());
                if (lexer_.IsSymbol(",")) lexer_.Next();
                else if (!lexer_.IsSymbol("]")) lexer_.Fail("',' or ']' expected");
            }
            lexer_.Next();
            return value;
        }
        switch (token.Kind) {
            case TTokenKind::Integer:
                value.Kind = TFormValue::TKind::Integer;
                value.Number = token.Number;
                break;
            case TTokenKind::String:
                value.Kind = TFormValue::TKind::String;
                value.Text = token.Text;
                break;
            case TTokenKind::Identifier:
                value.Kind = TFormValue::TKind::Identifier;
                value.Text = token.Text;
                break;
            default:
                lexer_.Fail("value expected");
        }
        lexer_.Next();
        return value;
    }

    TLexer lexer_;
};

void FormatObject(const TFormObject& object, int depth, std::string& out) {
    auto line = [&](int indent, const std::string& text) {
        out.append(static_cast<size_t>(indent) * 2, ' ');
        out += text;
        out += "\r\n";
    };
    line(depth, "object " + object.Name + ": " + object.ClassName);
    for (const TFormEntry& entry : object.Entries) {
        if (entry.Object) {
            FormatObject(*entry.Object, depth + 1, out);
            continue;
        }
        const TFormValue& v = entry.Value;
        std::string text;
        switch (v.Kind) {
            case TFormValue::TKind::Integer: text = std::to_string(v.Number); break;
            case TFormValue::TKind::String: text = QuoteFormString(v.Text); break;
            case TFormValue::TKind::Identifier: text = v.Text; break;
            case TFormValue::TKind::Set:
                for (const std::string& element : v.Elements) text += (text.empty() ? "" : ", ") + element;
                text = "[" + text + "]";
                break;
        }
        line(depth + 1, entry.Property + " = " + text);
    }
    line(depth, "end");
}

}  // namespace

bool TFormValue::operator==(const TFormValue& other) const {
    return Kind == other.Kind && Number == other.Number && Text == other.Text && Elements == other.Elements;
}

bool TFormObject::operator==(const TFormObject& other) const {
    if (Name != other.Name || ClassName != other.ClassName || Entries.size() != other.Entries.size()) return false;
    for (size_t i = 0; i < Entries.size(); ++i) {
        const TFormEntry& a = Entries[i];
        const TFormEntry& b = other.Entries[i];
        if (bool(a.Object) != bool(b.Object)) return false;
        if (a.Object ? !(*a.Object == *b.Object) : (a.Property != b.Property || !(a.Value == b.Value))) return false;
    }
    return true;
}

TFormObject ParseFormText(const std::string& text) { return TParser(text).Parse(); }

std::string FormatFormText(const TFormObject& root) {
    std::string out;
    FormatObject(root, 0, out);
    return out;
}

std::string QuoteFormString(const std::string& text) {
    if (text.empty()) return "''";
    std::string out;
    bool quoted = false;
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 32) {
            if (quoted) out += '\'';
            quoted = false;
            out += '#' + std::to_string(c);
        } else {
            if (!quoted) out += '\'';
            quoted = true;
            out += ch;
            if (ch == '\'') out += '\'';
        }
    }
    if (quoted) out += '\'';
    return out;
}
