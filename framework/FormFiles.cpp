#include "framework/FormFiles.h"

#include <cctype>
#include <functional>
#include <map>
#include <stdexcept>
#include <memory>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/GraphicControl.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"

namespace {

std::map<std::string, TComponentFactory>& ClassRegistry() {
    static std::map<std::string, TComponentFactory> registry = [] {
        std::map<std::string, TComponentFactory> r;
        auto add = [&r](const char* name, TComponentFactory factory) { r[name] = factory; };
        add("TButton", [](TComponent* o) -> TComponent* { return new TButton(o); });
        add("TCheckBox", [](TComponent* o) -> TComponent* { return new TCheckBox(o); });
        add("TLabel", [](TComponent* o) -> TComponent* { return new TLabel(o); });
        add("TPaintBox", [](TComponent* o) -> TComponent* { return new TPaintBox(o); });
        add("TMainMenu", [](TComponent* o) -> TComponent* { return new TMainMenu(o); });
        add("TPopupMenu", [](TComponent* o) -> TComponent* { return new TPopupMenu(o); });
        add("TMenuItem", [](TComponent* o) -> TComponent* { return new TMenuItem(o); });
        add("TOpenDialog", [](TComponent* o) -> TComponent* { return new TOpenDialog(o); });
        add("TTimer", [](TComponent* o) -> TComponent* { return new TTimer(o); });
        return r;
    }();
    return registry;
}

enum class TTokenKind { End, Identifier, Integer, String, Symbol };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    std::string Text;
    int64_t Number = 0;
    int Line = 1;
};

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
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = pos_;
            while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                           text_[pos_] == '_' || text_[pos_] == '.'))
                ++pos_;
            token_.Kind = TTokenKind::Identifier;
            token_.Text = text_.substr(start, pos_ - start);
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
                   (c == '-' && pos_ + 1 < text_.size() &&
                    (std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])) || text_[pos_ + 1] == '$'))) {
            ReadNumber();
        } else if (c == '\'' || c == '#') {
            ReadString();
        } else {
            token_.Kind = TTokenKind::Symbol;
            token_.Text = std::string(1, c);
            ++pos_;
        }
    }

    void Expect(const char* symbol) {
        if (token_.Kind != TTokenKind::Symbol || token_.Text != symbol) Fail(std::string("'") + symbol + "' expected");
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

    void ReadNumber() {
        bool negative = text_[pos_] == '-';
        if (negative) ++pos_;
        int base = 10;
        if (text_[pos_] == '$') {
            base = 16;
            ++pos_;
        }
        size_t start = pos_;
        while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        std::string digits = text_.substr(start, pos_ - start);
        if (digits.empty()) Fail("number expected");
        try {
            uint64_t value = std::stoull(digits, nullptr, base);
            if (value > 0xFFFFFFFFull) Fail("number out of range: " + digits);
            token_.Number = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        } catch (const std::logic_error&) {
            Fail("invalid number " + digits);
        }
        token_.Kind = TTokenKind::Integer;
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
                size_t start = pos_;
                while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
                if (start == pos_) Fail("character number expected after #");
                int code = std::stoi(text_.substr(start, pos_ - start));
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

struct TValue {
    TTokenKind Kind = TTokenKind::End;  // Identifier, Integer, String; Symbol for a set
    std::string Text;
    int64_t Number = 0;
    std::vector<std::string> Elements;
};

struct TFixup {
    TComponent* Instance;
    TPersistent* Target;
    const TPropertyInfo* Property;
    std::string Name;
    int Line;
};

class TReader {
public:
    TReader(TComponent* root, const std::string& text) : root_(root), lexer_(text) {}

    void Read() {
        ReadObject(nullptr);
        if (lexer_.Current().Kind != TTokenKind::End) lexer_.Fail("text after the end of the root object");
        for (TFixup& fixup : fixups_) {
            TComponent* target = root_->FindComponent(fixup.Name);
            if (!target && SameText(fixup.Name, root_->Name())) target = root_;
            if (!target)
                throw EFormFileError("Form file line " + std::to_string(fixup.Line) + ": component '" +
                                     fixup.Name + "' not found");
            fixup.Property->SetReference(*fixup.Target, target);
        }
        for (TComponent* c : loaded_) c->Loaded();
    }

private:
    void ReadObject(TComponent* parent) {
        int line = lexer_.Current().Line;
        std::string keyword = lexer_.ExpectIdentifier();
        if (!SameText(keyword, "object")) lexer_.Fail("'object' expected");
        std::string name = lexer_.ExpectIdentifier();
        lexer_.Expect(":");
        std::string className = lexer_.ExpectIdentifier();
        TComponent* instance;
        if (!parent) {
            if (!SameText(className, root_->ClassName()))
                lexer_.Fail("the file describes a " + className + ", not a " + root_->ClassName(), line);
            instance = root_;
            instance->BeginLoading();
            loaded_.push_back(instance);
            if (!root_->Owner() || !root_->Owner()->FindComponent(name)) SetName(instance, name, line);
        } else {
            auto it = ClassRegistry().find(className);
            if (it == ClassRegistry().end()) lexer_.Fail("class " + className + " not found", line);
            instance = it->second(root_);
            instance->BeginLoading();
            loaded_.push_back(instance);
            SetName(instance, name, line);
            instance->SetParentComponent(parent);
        }
        lists_.push_back(std::make_unique<TPropertyList>(instance->Properties()));
        const TPropertyList& properties = *lists_.back();
        for (;;) {
            const TToken& token = lexer_.Current();
            if (token.Kind != TTokenKind::Identifier) lexer_.Fail("property name, 'object' or 'end' expected");
            if (SameText(token.Text, "end")) {
                lexer_.Next();
                return;
            }
            if (SameText(token.Text, "object")) {
                ReadObject(instance);
                continue;
            }
            ReadProperty(instance, properties);
        }
    }

    void SetName(TComponent* instance, const std::string& name, int line) {
        try {
            instance->SetName(name);
        } catch (const Exception& e) {
            lexer_.Fail(e.Message, line);
        }
    }

    void ReadProperty(TComponent* instance, const TPropertyList& properties) {
        int line = lexer_.Current().Line;
        std::string path = lexer_.ExpectIdentifier();
        lexer_.Expect("=");
        TValue value = ReadValue();
        // Walk dotted names through sub-objects (Font.Height).
        TPersistent* target = instance;
        const TPropertyList* list = &properties;
        size_t start = 0;
        for (;;) {
            size_t dot = path.find('.', start);
            std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            const TPropertyInfo* p = list->Find(part);
            if (!p) lexer_.Fail("property " + path + " of " + instance->ClassName() + " not found", line);
            if (dot == std::string::npos) {
                Assign(instance, target, *p, value, line);
                return;
            }
            if (p->Kind != TPropertyKind::Object) lexer_.Fail("property " + part + " has no sub-properties", line);
            target = p->GetSubObject(*target);
            if (!target) lexer_.Fail("property " + part + " is empty", line);
            lists_.push_back(std::make_unique<TPropertyList>(target->Properties()));
            list = lists_.back().get();
            start = dot + 1;
        }
    }

    TValue ReadValue() {
        const TToken& token = lexer_.Current();
        TValue value;
        value.Kind = token.Kind;
        value.Text = token.Text;
        value.Number = token.Number;
        if (token.Kind == TTokenKind::Symbol && token.Text == "[") {
            lexer_.Next();
            while (!(lexer_.Current().Kind == TTokenKind::Symbol && lexer_.Current().Text == "]")) {
                value.Elements.push_back(lexer_.ExpectIdentifier());
                if (lexer_.Current().Kind == TTokenKind::Symbol && lexer_.Current().Text == ",") lexer_.Next();
                else if (!(lexer_.Current().Kind == TTokenKind::Symbol && lexer_.Current().Text == "]"))
                    lexer_.Fail("',' or ']' expected");
            }
            lexer_.Next();
            return value;
        }
        if (token.Kind == TTokenKind::End || token.Kind == TTokenKind::Symbol) lexer_.Fail("value expected");
        lexer_.Next();
        return value;
    }

    void Assign(TComponent* instance, TPersistent* target, const TPropertyInfo& p, const TValue& value, int line) {
        auto invalid = [&]() { lexer_.Fail("invalid value for property " + p.Name, line); };
        try {
            switch (p.Kind) {
                case TPropertyKind::Integer: {
                    int64_t number = value.Number;
                    if (value.Kind == TTokenKind::Identifier) {
                        if (!p.Idents || !IdentToValue(*p.Idents, value.Text, number)) invalid();
                    } else if (value.Kind != TTokenKind::Integer) {
                        invalid();
                    }
                    p.SetOrdinal(*target, number);
                    break;
                }
                case TPropertyKind::Boolean:
                    if (value.Kind != TTokenKind::Identifier) invalid();
                    if (SameText(value.Text, "True")) p.SetOrdinal(*target, 1);
                    else if (SameText(value.Text, "False")) p.SetOrdinal(*target, 0);
                    else invalid();
                    break;
                case TPropertyKind::Enum: {
                    int64_t number = 0;
                    if (value.Kind != TTokenKind::Identifier || !IdentToValue(*p.Idents, value.Text, number)) invalid();
                    p.SetOrdinal(*target, number);
                    break;
                }
                case TPropertyKind::Set: {
                    if (value.Kind != TTokenKind::Symbol) invalid();
                    int64_t mask = 0;
                    for (const std::string& element : value.Elements) {
                        int64_t bit = 0;
                        if (!IdentToValue(*p.Idents, element, bit)) lexer_.Fail("unknown set element " + element, line);
                        mask |= int64_t(1) << bit;
                    }
                    p.SetOrdinal(*target, mask);
                    break;
                }
                case TPropertyKind::String:
                    if (value.Kind != TTokenKind::String) invalid();
                    p.SetString(*target, value.Text);
                    break;
                case TPropertyKind::Event: {
                    if (value.Kind != TTokenKind::Identifier) invalid();
                    TAnyMethod method;
                    if (!root_->FindMethod(value.Text, method))
                        lexer_.Fail("event handler " + value.Text + " not found", line);
                    p.SetEvent(*target, method);
                    break;
                }
                case TPropertyKind::Component:
                    if (value.Kind != TTokenKind::Identifier) invalid();
                    fixups_.push_back({instance, target, &p, value.Text, line});
                    break;
                case TPropertyKind::Object:
                    lexer_.Fail("property " + p.Name + " takes sub-properties only", line);
            }
        } catch (const EFormFileError&) {
            throw;
        } catch (const Exception& e) {
            throw EFormFileError("Form file line " + std::to_string(line) + ": " + e.Message);
        }
    }

    TComponent* root_;
    TLexer lexer_;
    std::vector<TComponent*> loaded_;
    std::vector<TFixup> fixups_;
    // Property lists stay alive while fixups point into them.
    std::vector<std::unique_ptr<TPropertyList>> lists_;
};

std::string QuoteString(const std::string& text) {
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

class TWriter {
public:
    explicit TWriter(TComponent* root) : root_(root) {}

    std::string Write() {
        WriteObject(root_, 0);
        return out_;
    }

private:
    void Line(int depth, const std::string& text) {
        out_.append(static_cast<size_t>(depth) * 2, ' ');
        out_ += text;
        out_ += "\r\n";
    }

    void WriteObject(TComponent* component, int depth) {
        Line(depth, "object " + component->Name() + ": " + component->ClassName());
        WriteProperties(*component, "", depth + 1);
        std::vector<TComponent*> children;
        component->GetChildren(children, root_);
        for (TComponent* child : children) WriteObject(child, depth + 1);
        Line(depth, "end");
    }

    void WriteProperties(TPersistent& object, const std::string& prefix, int depth) {
        TPropertyList list = object.Properties();
        for (const TPropertyInfo& p : list.Items()) {
            if (p.Name == "Name") continue;
            if (p.Stored && !p.Stored(object)) continue;
            std::string name = prefix + p.Name;
            switch (p.Kind) {
                case TPropertyKind::Integer: {
                    int64_t v = p.GetOrdinal(object);
                    if (p.HasDefault && v == p.DefaultValue) break;
                    const char* ident = p.Idents ? ValueToIdent(*p.Idents, v) : nullptr;
                    Line(depth, name + " = " + (ident ? std::string(ident) : std::to_string(v)));
                    break;
                }
                case TPropertyKind::Boolean: {
                    int64_t v = p.GetOrdinal(object);
                    if (p.HasDefault && v == p.DefaultValue) break;
                    Line(depth, name + (v ? " = True" : " = False"));
                    break;
                }
                case TPropertyKind::Enum: {
                    int64_t v = p.GetOrdinal(object);
                    if (p.HasDefault && v == p.DefaultValue) break;
                    const char* ident = ValueToIdent(*p.Idents, v);
                    if (ident) Line(depth, name + " = " + ident);
                    break;
                }
                case TPropertyKind::Set: {
                    int64_t v = p.GetOrdinal(object);
                    if (p.HasDefault && v == p.DefaultValue) break;
                    std::string text;
                    for (const TIdentEntry& e : *p.Idents) {
                        if (!(v & (int64_t(1) << e.Value))) continue;
                        if (!text.empty()) text += ", ";
                        text += e.Name;
                    }
                    Line(depth, name + " = [" + text + "]");
                    break;
                }
                case TPropertyKind::String:
                    Line(depth, name + " = " + QuoteString(p.GetString(object)));
                    break;
                case TPropertyKind::Event: {
                    TAnyMethod method = p.GetEvent(object);
                    if (!method) break;
                    std::string handler = root_->MethodName(method);
                    if (!handler.empty()) Line(depth, name + " = " + handler);
                    break;
                }
                case TPropertyKind::Component: {
                    auto target = dynamic_cast<TComponent*>(p.GetReference(object));
                    if (target && !target->Name().empty()) Line(depth, name + " = " + target->Name());
                    break;
                }
                case TPropertyKind::Object:
                    if (TPersistent* sub = p.GetSubObject(object)) WriteProperties(*sub, name + ".", depth);
                    break;
            }
        }
    }

    TComponent* root_;
    std::string out_;
};

}  // namespace

void RegisterComponentClass(const char* className, TComponentFactory factory) {
    ClassRegistry()[className] = factory;
}

void ReadComponentText(TComponent* root, const std::string& text) {
    TReader reader(root, text);
    reader.Read();
}

void ReadComponent(TComponent* root, TStream& stream) {
    std::string text(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
    if (!text.empty()) stream.ReadBuffer(&text[0], static_cast<int32_t>(text.size()));
    ReadComponentText(root, text);
}

bool ReadComponentResource(TComponent* root, const char* resourceName, HINSTANCE module) {
    if (!FindResourceA(module, resourceName, reinterpret_cast<LPCSTR>(RT_RCDATA))) return false;
    TResourceStream stream(module, resourceName, reinterpret_cast<const char*>(RT_RCDATA));
    ReadComponent(root, stream);
    return true;
}

std::string WriteComponentText(TComponent* root) { return TWriter(root).Write(); }

void WriteComponent(TComponent* root, TStream& stream) {
    std::string text = WriteComponentText(root);
    stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}
