#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/Method.h"
#include "framework/Object.h"

// The plain event: something happened to sender.
using TNotifyEvent = TMethod<void(TObject* sender)>;

// An event handler with its signature erased, as form files bind them by name. It converts
// back only to a method reference of the same signature.
class TAnyMethod {
public:
    TAnyMethod() = default;
    template <typename R, typename... Args>
    TAnyMethod(const TMethod<R(Args...)>& method)  // NOLINT: implicit by design
        : code_(reinterpret_cast<void (*)()>(method.Code)), data_(method.Data),
          signature_(&typeid(R(Args...))) {}

    explicit operator bool() const { return code_ != nullptr; }
    bool operator==(const TAnyMethod& other) const {
        return code_ == other.code_ && data_ == other.data_;
    }
    const std::type_info* Signature() const { return signature_; }

    // Raises Exception when the handler has another signature.
    template <typename S>
    TMethod<S> As() const {
        if (!code_) return TMethod<S>();
        if (*signature_ != typeid(S)) throw Exception("Event handler has the wrong parameter list");
        return TMethod<S>(reinterpret_cast<typename TMethod<S>::CodePointer>(code_), data_);
    }

private:
    void (*code_)() = nullptr;
    void* data_ = nullptr;
    const std::type_info* signature_ = nullptr;
};

// Names for the values of an enumeration, a set's elements (bit numbers) or special
// integers (colours).
// ASCII comparison without regard to case, as names in form files are compared.
bool SameText(const std::string& a, const std::string& b);

struct TIdentEntry {
    const char* Name;
    int64_t Value;
};
using TIdentMap = std::vector<TIdentEntry>;
bool IdentToValue(const TIdentMap& map, const std::string& name, int64_t& value);
const char* ValueToIdent(const TIdentMap& map, int64_t value);

class TPersistent;

enum class TPropertyKind { Integer, Boolean, String, Enum, Set, Event, Object, Component };

// One published property: how form files read and write it. Setters are the class's own,
// so reading a form file goes through the same code as assigning from a program.
struct TPropertyInfo {
    std::string Name;
    TPropertyKind Kind = TPropertyKind::Integer;
    const TIdentMap* Idents = nullptr;  // Enum and Set: required; Integer: optional names
    std::function<int64_t(TPersistent&)> GetOrdinal;  // Integer, Boolean, Enum, Set (mask)
    std::function<void(TPersistent&, int64_t)> SetOrdinal;
    std::function<std::string(TPersistent&)> GetString;
    std::function<void(TPersistent&, const std::string&)> SetString;
    std::function<TAnyMethod(TPersistent&)> GetEvent;
    std::function<void(TPersistent&, const TAnyMethod&)> SetEvent;
    std::function<TPersistent*(TPersistent&)> GetSubObject;
    // Component: a reference to another component, written by name.
    std::function<TPersistent*(TPersistent&)> GetReference;
    std::function<void(TPersistent&, TPersistent*)> SetReference;
    bool HasDefault = false;  // ordinal properties equal to DefaultValue are not written
    int64_t DefaultValue = 0;
    std::function<bool(TPersistent&)> Stored;  // empty: always stored

    TPropertyInfo& WithDefault(int64_t value) {
        HasDefault = true;
        DefaultValue = value;
        return *this;
    }
    TPropertyInfo& StoredWhen(std::function<bool(TPersistent&)> predicate) {
        Stored = std::move(predicate);
        return *this;
    }
};

// The published properties of a class, built by DefineProperties of each class in turn
// (base class first, so files list inherited properties first).
class TPropertyList {
public:
    const std::vector<TPropertyInfo>& Items() const { return items_; }
    const TPropertyInfo* Find(const std::string& name) const;

    // Integer-valued: int, colours, sizes. idents may name special values.
    template <typename T, typename G, typename S>
    TPropertyInfo& Integer(const char* name, G (T::*get)() const, void (T::*set)(S)) {
        TPropertyInfo& p = Add(name, TPropertyKind::Integer);
        p.GetOrdinal = [get](TPersistent& o) { return static_cast<int64_t>((static_cast<T&>(o).*get)()); };
        p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(static_cast<S>(v)); };
        return p;
    }
    template <typename T>
    TPropertyInfo& Boolean(const char* name, bool (T::*get)() const, void (T::*set)(bool)) {
        TPropertyInfo& p = Add(name, TPropertyKind::Boolean);
        p.GetOrdinal = [get](TPersistent& o) { return static_cast<int64_t>((static_cast<T&>(o).*get)()); };
        p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(v != 0); };
        return p;
    }
    template <typename T, typename E>
    TPropertyInfo& Enum(const char* name, E (T::*get)() const, void (T::*set)(E), const TIdentMap& idents) {
        TPropertyInfo& p = Add(name, TPropertyKind::Enum);
        p.Idents = &idents;
        p.GetOrdinal = [get](TPersistent& o) { return static_cast<int64_t>((static_cast<T&>(o).*get)()); };
        p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(static_cast<E>(v)); };
        return p;
    }
    // A set stored as a bit mask; idents give the bit number of each element.
    template <typename T, typename M>
    TPropertyInfo& Set(const char* name, M (T::*get)() const, void (T::*set)(M), const TIdentMap& idents) {
        TPropertyInfo& p = Add(name, TPropertyKind::Set);
        p.Idents = &idents;
        p.GetOrdinal = [get](TPersistent& o) { return static_cast<int64_t>((static_cast<T&>(o).*get)()); };
        p.SetOrdinal = [set](TPersistent& o, int64_t v) { (static_cast<T&>(o).*set)(static_cast<M>(v)); };
        return p;
    }
    template <typename T>
    TPropertyInfo& String(const char* name, const std::string& (T::*get)() const,
                          void (T::*set)(const std::string&)) {
        TPropertyInfo& p = Add(name, TPropertyKind::String);
        p.GetString = [get](TPersistent& o) { return (static_cast<T&>(o).*get)(); };
        p.SetString = [set](TPersistent& o, const std::string& v) { (static_cast<T&>(o).*set)(v); };
        return p;
    }
    template <typename T, typename S>
    TPropertyInfo& Event(const char* name, const TMethod<S>& (T::*get)() const, void (T::*set)(const TMethod<S>&)) {
        TPropertyInfo& p = Add(name, TPropertyKind::Event);
        p.GetEvent = [get](TPersistent& o) { return TAnyMethod((static_cast<T&>(o).*get)()); };
        p.SetEvent = [set](TPersistent& o, const TAnyMethod& m) {
            (static_cast<T&>(o).*set)(m.template As<S>());
        };
        return p;
    }
    template <typename T, typename C>
    TPropertyInfo& Object(const char* name, C* (T::*get)() const) {
        TPropertyInfo& p = Add(name, TPropertyKind::Object);
        p.GetSubObject = [get](TPersistent& o) -> TPersistent* { return (static_cast<T&>(o).*get)(); };
        return p;
    }

    // A property whose accessors the caller fills in (types the helpers above do not cover).
    TPropertyInfo& Custom(const char* name, TPropertyKind kind) { return Add(name, kind); }

    // A reference to another component of the same root; a value of another class raises.
    template <typename T, typename C>
    TPropertyInfo& Component(const char* name, C* (T::*get)() const, void (T::*set)(C*)) {
        TPropertyInfo& p = Add(name, TPropertyKind::Component);
        p.GetReference = [get](TPersistent& o) -> TPersistent* { return (static_cast<T&>(o).*get)(); };
        p.SetReference = [set, name](TPersistent& o, TPersistent* v) {
            C* target = dynamic_cast<C*>(v);
            if (v && !target) throw Exception(std::string("Invalid value for property ") + name);
            (static_cast<T&>(o).*set)(target);
        };
        return p;
    }

private:
    TPropertyInfo& Add(const char* name, TPropertyKind kind);
    std::vector<TPropertyInfo> items_;
};

// Objects with published properties: components, and the objects they own as property
// values (a font).
class TPersistent : public TObject {
public:
    virtual const char* ClassName() const { return "TPersistent"; }
    virtual void DefineProperties(TPropertyList& list);
    TPropertyList Properties();
};
