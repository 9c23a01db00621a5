#include "refplayer/core/VariableTable.h"

#include "refplayer/core/TextCodec.h"

namespace refplayer {

std::vector<std::pair<std::wstring, std::wstring>> ParseFlashVars(const std::wstring& flashVars) {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    size_t start = 0;
    while (start <= flashVars.size()) {
        size_t end = flashVars.find(L'&', start);
        if (end == std::wstring::npos) end = flashVars.size();
        std::wstring piece = flashVars.substr(start, end - start);
        if (!piece.empty()) {
            size_t equals = piece.find(L'=');
            if (equals == std::wstring::npos)
                pairs.emplace_back(UrlDecode(piece), std::wstring());
            else
                pairs.emplace_back(UrlDecode(piece.substr(0, equals)), UrlDecode(piece.substr(equals + 1)));
        }
        start = end + 1;
    }
    return pairs;
}

std::optional<std::wstring> VariableTable::Get(const std::wstring& name) const {
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

void VariableTable::LoadFlashVars(const std::wstring& flashVars) {
    for (auto& [name, value] : ParseFlashVars(flashVars)) values_[name] = value;
}

} // namespace refplayer
