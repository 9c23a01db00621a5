#pragma once

// Root of the framework's class tree. Objects are created with new and destroyed through a
// virtual destructor; copying is never meaningful for them.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};
