#pragma once

// The text of a form file as a tree, before any component is made from it: objects with
// their name, class, and properties and nested objects in file order. Platform-free, so the
// parser is tested and fuzzed on its own; FormFiles.h turns the tree into components.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Exceptions.h"

// Every fault of a form file, with the line it was found on ("Form file line 3: ...").
class EFormFileError : public Exception {
public:
    using Exception::Exception;
};

struct TFormValue {
    enum class TKind { Integer, String, Identifier, Set };
    TKind Kind = TKind::Integer;
    int64_t Number = 0;                 // Integer: -0xFFFFFFFF .. 0xFFFFFFFF
    std::string Text;                   // String (bytes as written) or Identifier
    std::vector<std::string> Elements;  // Set: its identifiers in order

    bool operator==(const TFormValue& other) const;
};

struct TFormObject;

// One line of an object: a property assignment, or a nested object.
struct TFormEntry {
    std::string Property;                 // the dotted name ("Font.Height"); empty for an object
    TFormValue Value;
    std::unique_ptr<TFormObject> Object;  // set for a nested object
    int Line = 1;
};

struct TFormObject {
    std::string Name;
    std::string ClassName;
    int Line = 1;
    std::vector<TFormEntry> Entries;

    bool operator==(const TFormObject& other) const;
};

// Objects may nest this deep; deeper text is refused rather than exhausting the stack.
constexpr int MaxFormNesting = 64;

// Parses one root object and nothing after it; any fault raises EFormFileError.
TFormObject ParseFormText(const std::string& text);

// Writes the tree back as form-file text that ParseFormText reads as an equal tree.
std::string FormatFormText(const TFormObject& root);

// A string value as the form file writes it: quoted runs, control characters as #n.
std::string QuoteFormString(const std::string& text);
