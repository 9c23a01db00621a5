#include "framework/Component.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsIdentifier(const std::string& name) {
    if (name.empty()) return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

}  // namespace

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    state_ |= csDestroying;
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DefineProperties(TPropertyList& list) {
    TPersistent::DefineProperties(list);
    list.String("Name", &TComponent::Name, &TComponent::SetName);
}

void TComponent::SetName(const std::string& name) {
    if (name == name_) return;
    if (!name.empty() && !IsIdentifier(name))
        throw Exception("'" + name + "' is not a valid component name");
    if (owner_ && !name.empty()) {
        TComponent* other = owner_->FindComponent(name);
        if (other && other != this) throw Exception("A component named " + name + " already exists");
    }
    name_ = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (component->owner_) component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
    if (state_ & csDesigning) component->SetDesigning(true);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    components_.erase(it);
    component->owner_ = nullptr;
    Notification(component, TOperation::opRemove);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        RemoveComponent(last);
        delete last;
    }
}

void TComponent::SetDesigning(bool value) {
    if (value) state_ |= csDesigning;
    else state_ &= ~csDesigning;
    for (TComponent* c : components_) c->SetDesigning(value);
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::GetChildren(std::vector<TComponent*>&, TComponent*) {}

void TComponent::Loaded() {
    state_ &= ~(csLoading | csReading);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (state_ & csDestroying) return;
    for (TComponent* c : components_)
        if (c != component) c->Notification(component, operation);
}

void TComponent::AddMethod(const char* name, const TAnyMethod& method) {
    if (!methods_) methods_ = std::make_unique<std::vector<TNamedMethod>>();
    for (TNamedMethod& m : *methods_) {
        if (SameText(m.Name, name)) {
            m.Method = method;
            return;
        }
    }
    methods_->push_back({name, method});
}

bool TComponent::FindMethod(const std::string& name, TAnyMethod& method) const {
    if (!methods_) return false;
    for (const TNamedMethod& m : *methods_) {
        if (SameText(m.Name, name)) {
            method = m.Method;
            return true;
        }
    }
    return false;
}

std::string TComponent::MethodName(const TAnyMethod& method) const {
    if (methods_)
        for (const TNamedMethod& m : *methods_)
            if (m.Method == method) return m.Name;
    return std::string();
}
