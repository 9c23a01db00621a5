#include "framework/FormFiles.h"

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

struct TFixup {
    TComponent* Instance;
    TPersistent* Target;
    const TPropertyInfo* Property;
    std::string Name;
    int Line;
};

[[noreturn]] void Fail(const std::string& message, int line) {
    throw EFormFileError("Form file line " + std::to_string(line) + ": " + message);
}

// Makes components from a parsed form file: each nested object through its registered class,
// given its parent before its values, which are assigned in file order.
class TReader {
public:
    TReader(TComponent* root, const TFormObject& tree) : root_(root), tree_(tree) {}

    void Read() {
        ReadObject(tree_, nullptr);
        for (TFixup& fixup : fixups_) {
            TComponent* target = root_->FindComponent(fixup.Name);
            if (!target && SameText(fixup.Name, root_->Name())) target = root_;
            if (!target) Fail("component '" + fixup.Name + "' not found", fixup.Line);
            fixup.Property->SetReference(*fixup.Target, target);
        }
        for (TComponent* c : loaded_) c->Loaded();
    }

private:
    void ReadObject(const TFormObject& object, TComponent* parent) {
        TComponent* instance;
        if (!parent) {
            if (!SameText(object.ClassName, root_->ClassName()))
                Fail("the file describes a " + object.ClassName + ", not a " + root_->ClassName(), object.Line);
            instance = root_;
            instance->BeginLoading();
            loaded_.push_back(instance);
            if (!root_->Owner() || !root_->Owner()->FindComponent(object.Name)) SetName(instance, object.Name, object.Line);
        } else {
            auto it = ClassRegistry().find(object.ClassName);
            if (it == ClassRegistry().end()) Fail("class " + object.ClassName + " not found", object.Line);
            instance = it->second(root_);
            instance->BeginLoading();
            loaded_.push_back(instance);
            SetName(instance, object.Name, object.Line);
            instance->SetParentComponent(parent);
        }
        lists_.push_back(std::make_unique<TPropertyList>(instance->Properties()));
        const TPropertyList& properties = *lists_.back();
        for (const TFormEntry& entry : object.Entries) {
            if (entry.Object) ReadObject(*entry.Object, instance);
            else ReadProperty(instance, properties, entry);
        }
    }

    void SetName(TComponent* instance, const std::string& name, int line) {
        try {
            instance->SetName(name);
        } catch (const Exception& e) {
            Fail(e.Message, line);
        }
    }

    void ReadProperty(TComponent* instance, const TPropertyList& properties, const TFormEntry& entry) {
        const std::string& path = entry.Property;
        // Walk dotted names through sub-objects (Font.Height).
        TPersistent* target = instance;
        const TPropertyList* list = &properties;
        size_t start = 0;
        for (;;) {
            size_t dot = path.find('.', start);
            std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            const TPropertyInfo* p = list->Find(part);
            if (!p) Fail("property " + path + " of " + instance->ClassName() + " not found", entry.Line);
            if (dot == std::string::npos) {
                Assign(instance, target, *p, entry.Value, entry.Line);
                return;
            }
            if (p->Kind != TPropertyKind::Object) Fail("property " + part + " has no sub-properties", entry.Line);
            target = p->GetSubObject(*target);
            if (!target) Fail("property " + part + " is empty", entry.Line);
            lists_.push_back(std::make_unique<TPropertyList>(target->Properties()));
            list = lists_.back().get();
            start = dot + 1;
        }
    }

    void Assign(TComponent* instance, TPersistent* target, const TPropertyInfo& p, const TFormValue& value, int line) {
        using TKind = TFormValue::TKind;
        auto invalid = [&]() { Fail("invalid value for property " + p.Name, line); };
        try {
            switch (p.Kind) {
                case TPropertyKind::Integer: {
                    int64_t number = value.Number;
                    if (value.Kind == TKind::Identifier) {
                        if (!p.Idents || !IdentToValue(*p.Idents, value.Text, number)) invalid();
                    } else if (value.Kind != TKind::Integer) {
                        invalid();
                    }
                    p.SetOrdinal(*target, number);
                    break;
                }
                case TPropertyKind::Boolean:
                    if (value.Kind != TKind::Identifier) invalid();
                    if (SameText(value.Text, "True")) p.SetOrdinal(*target, 1);
                    else if (SameText(value.Text, "False")) p.SetOrdinal(*target, 0);
                    else invalid();
                    break;
                case TPropertyKind::Enum: {
                    int64_t number = 0;
                    if (value.Kind != TKind::Identifier || !IdentToValue(*p.Idents, value.Text, number)) invalid();
                    p.SetOrdinal(*target, number);
                    break;
                }
                case TPropertyKind::Set: {
                    if (value.Kind != TKind::Set) invalid();
                    int64_t mask = 0;
                    for (const std::string& element : value.Elements) {
                        int64_t bit = 0;
                        if (!IdentToValue(*p.Idents, element, bit) || bit < 0 || bit > 62)
                            Fail("unknown set element " + element, line);
                        mask |= int64_t(1) << bit;
                    }
                    p.SetOrdinal(*target, mask);
                    break;
                }
                case TPropertyKind::String:
                    if (value.Kind != TKind::String) invalid();
                    p.SetString(*target, value.Text);
                    break;
                case TPropertyKind::Event: {
                    if (value.Kind != TKind::Identifier) invalid();
                    TAnyMethod method;
                    if (!root_->FindMethod(value.Text, method)) Fail("event handler " + value.Text + " not found", line);
                    p.SetEvent(*target, method);
                    break;
                }
                case TPropertyKind::Component:
                    if (value.Kind != TKind::Identifier) invalid();
                    fixups_.push_back({instance, target, &p, value.Text, line});
                    break;
                case TPropertyKind::Object:
                    Fail("property " + p.Name + " takes sub-properties only", line);
            }
        } catch (const EFormFileError&) {
            throw;
        } catch (const Exception& e) {
            Fail(e.Message, line);
        } catch (const std::exception& e) {
            // A setter's own failure (a conversion, an allocation) becomes the reader's error.
            Fail(e.what(), line);
        }
    }

    TComponent* root_;
    const TFormObject& tree_;
    std::vector<TComponent*> loaded_;
    std::vector<TFixup> fixups_;
    // Property lists stay alive while fixups point into them.
    std::vector<std::unique_ptr<TPropertyList>> lists_;
};

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
                    Line(depth, name + " = " + QuoteFormString(p.GetString(object)));
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
    TFormObject tree = ParseFormText(text);
    TReader(root, tree).Read();
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
