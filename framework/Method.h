#pragma once

#include <utility>

// A method reference: code plus the object it runs on, the framework's form of events and
// handler slots. It is empty when its code is null; the object is handed to the code as its
// first argument. Raise an event only when it is assigned:
//
//     if (OnClick) OnClick(this);
//
// Bind a member function with TMethod<...>::Of<&TForm1::ButtonClick>(form), or any function
// taking the object first with TMethod(code, object).
template <typename Signature>
class TMethod;

template <typename R, typename... Args>
class TMethod<R(Args...)> {
public:
    using CodePointer = R (*)(void* object, Args...);

    TMethod() = default;
    TMethod(CodePointer code, void* object) : Code(code), Data(object) {}

    template <auto Member, typename T>
    static TMethod Of(T* object) {
        return TMethod(
            [](void* self, Args... args) -> R {
                return (static_cast<T*>(self)->*Member)(std::forward<Args>(args)...);
            },
            object);
    }

    explicit operator bool() const { return Code != nullptr; }
    R operator()(Args... args) const { return Code(Data, std::forward<Args>(args)...); }

    bool operator==(const TMethod& other) const { return Code == other.Code && Data == other.Data; }
    bool operator!=(const TMethod& other) const { return !(*this == other); }

    CodePointer Code = nullptr;
    void* Data = nullptr;
};
