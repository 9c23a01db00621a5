#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace refplayer {

// "a=1&b=hello%20world" as (name, value) pairs in order, both URL-decoded. Empty pieces are
// skipped; a piece without "=" is a name with an empty value.
std::vector<std::pair<std::wstring, std::wstring>> ParseFlashVars(const std::wstring& flashVars);

// The movie's variables as SetVariable / GetVariable see them. Names are case-sensitive.
class VariableTable {
public:
    void Set(const std::wstring& name, const std::wstring& value) { values_[name] = value; }
    std::optional<std::wstring> Get(const std::wstring& name) const;
    // Adds the FlashVars to the table; a later assignment to a name wins.
    void LoadFlashVars(const std::wstring& flashVars);
    void Clear() { values_.clear(); }
    size_t Count() const { return values_.size(); }
    const std::map<std::wstring, std::wstring>& Values() const { return values_; }

private:
    std::map<std::wstring, std::wstring> values_;
};

} // namespace refplayer
