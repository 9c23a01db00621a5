#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/Properties.h"

// State flags of a component.
enum : uint32_t {
    csLoading = 1u << 0,     // being read from a form file; Loaded clears it
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,   // shown in a designer, not running
};
// Style flags of a component class.
enum : uint32_t {
    csInheritable = 1u << 0,
    csCheckPropAvail = 1u << 1,  // its properties are asked whether they are available
};

enum class TOperation { opInsert, opRemove };


// A component has an owner that frees it, a name unique among its owner's components, and
// may be read from and written to form files. Components a form file names as event
// handlers are published by the root component (the form) with PublishMethod.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    const char* ClassName() const override { return "TComponent"; }
    void DefineProperties(TPropertyList& list) override;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    // Raises Exception for a name that is not an identifier or that another component of
    // the owner already has.
    void SetName(const std::string& name);

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;
    // The owned component of that name and class; raises Exception when there is none.
    template <typename T>
    T* Find(const std::string& name) const {
        T* found = dynamic_cast<T*>(FindComponent(name));
        if (!found) throw Exception("Component '" + name + "' not found");
        return found;
    }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees the owned components, the last one first.
    void DestroyComponents();

    uint32_t ComponentState() const { return state_; }
    uint32_t ComponentStyle() const { return style_; }
    bool Designing() const { return (state_ & csDesigning) != 0; }
    // Switches design mode for this component and everything it owns.
    void SetDesigning(bool value);

    // Form file hooks: the component that holds this one in a file (a control's parent, a
    // menu item's menu), and the children written inside it.
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent* parent);
    virtual void GetChildren(std::vector<TComponent*>& children, TComponent* root);
    // Runs once every value of a form file has been assigned.
    virtual void Loaded();
    void BeginLoading() { state_ |= csLoading | csReading; }

    // Event handlers that form files bind by name.
    template <auto Member>
    void PublishMethod(const char* name);
    bool FindMethod(const std::string& name, TAnyMethod& method) const;
    std::string MethodName(const TAnyMethod& method) const;

protected:
    // Called for every component inserted into or removed from the owner and its owned
    // components, so that references to a removed component are cleared.
    virtual void Notification(TComponent* component, TOperation operation);
    void SetComponentStyle(uint32_t style) { style_ = style; }
    void IncludeState(uint32_t flags) { state_ |= flags; }
    void ExcludeState(uint32_t flags) { state_ &= ~flags; }

private:
    struct TNamedMethod {
        std::string Name;
        TAnyMethod Method;
    };
    void AddMethod(const char* name, const TAnyMethod& method);

    TComponent* owner_ = nullptr;
    std::string name_;
    std::vector<TComponent*> components_;
    uint32_t state_ = 0;
    uint32_t style_ = csInheritable;
    std::unique_ptr<std::vector<TNamedMethod>> methods_;
};

namespace detail {
template <typename M>
struct MemberFunction;
template <typename T, typename R, typename... Args>
struct MemberFunction<R (T::*)(Args...)> {
    using Class = T;
    using Signature = R(Args...);
};
}  // namespace detail

template <auto Member>
void TComponent::PublishMethod(const char* name) {
    using Traits = detail::MemberFunction<decltype(Member)>;
    using Class = typename Traits::Class;
    static_assert(std::is_base_of_v<TComponent, Class>, "handlers are methods of a component");
    AddMethod(name, TMethod<typename Traits::Signature>::template Of<Member>(static_cast<Class*>(this)));
}
