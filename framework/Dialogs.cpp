#include "framework/Dialogs.h"

#include "framework/Application.h"

namespace {
const TIdentMap& OpenOptionIdents() {
    static const TIdentMap idents = {
        {"ofReadOnly", 0},       {"ofOverwritePrompt", 1}, {"ofHideReadOnly", 2},    {"ofNoChangeDir", 3},
        {"ofAllowMultiSelect", 4}, {"ofPathMustExist", 5}, {"ofFileMustExist", 6},  {"ofCreatePrompt", 7},
        {"ofShareAware", 8},     {"ofNoReadOnlyReturn", 9}, {"ofNoTestFileCreate", 10}, {"ofNoValidate", 11},
        {"ofEnableSizing", 12},
    };
    return idents;
}
}  // namespace

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

void TOpenDialog::DefineProperties(TPropertyList& list) {
    TComponent::DefineProperties(list);
    list.String("DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt)
        .StoredWhen([](TPersistent& o) { return !static_cast<TOpenDialog&>(o).defaultExt_.empty(); });
    list.String("FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName)
        .StoredWhen([](TPersistent& o) { return !static_cast<TOpenDialog&>(o).fileName_.empty(); });
    list.String("Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter)
        .StoredWhen([](TPersistent& o) { return !static_cast<TOpenDialog&>(o).filter_.empty(); });
    list.Integer("FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex).WithDefault(1);
    list.String("InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir)
        .StoredWhen([](TPersistent& o) { return !static_cast<TOpenDialog&>(o).initialDir_.empty(); });
    list.Set("Options", &TOpenDialog::Options, &TOpenDialog::SetOptions, OpenOptionIdents()).WithDefault(0);
    list.String("Title", &TOpenDialog::Title, &TOpenDialog::SetTitle)
        .StoredWhen([](TPersistent& o) { return !static_cast<TOpenDialog&>(o).title_.empty(); });
}

std::string TOpenDialog::SystemFilter(const std::string& filter) {
    if (filter.empty()) return std::string();
    std::string result = filter;
    for (char& c : result)
        if (c == '|') c = '\0';
    result.push_back('\0');
    result.push_back('\0');
    return result;
}

DWORD TOpenDialog::SystemFlags(TOpenOptions options) {
    static const struct {
        TOpenOptions option;
        DWORD flag;
    } map[] = {
        {ofReadOnly, OFN_READONLY},           {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
        {ofHideReadOnly, OFN_HIDEREADONLY},   {ofNoChangeDir, OFN_NOCHANGEDIR},
        {ofAllowMultiSelect, OFN_ALLOWMULTISELECT}, {ofPathMustExist, OFN_PATHMUSTEXIST},
        {ofFileMustExist, OFN_FILEMUSTEXIST}, {ofCreatePrompt, OFN_CREATEPROMPT},
        {ofShareAware, OFN_SHAREAWARE},       {ofNoReadOnlyReturn, OFN_NOREADONLYRETURN},
        {ofNoTestFileCreate, OFN_NOTESTFILECREATE}, {ofNoValidate, OFN_NOVALIDATE},
        {ofEnableSizing, OFN_ENABLESIZING},
    };
    DWORD flags = OFN_EXPLORER;
    for (const auto& entry : map)
        if (options & entry.option) flags |= entry.flag;
    return flags;
}

bool TOpenDialog::Execute() {
    std::string filter = SystemFilter(filter_);
    std::vector<char> file(MAX_PATH * 4, '\0');
    fileName_.copy(file.data(), file.size() - 1);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex_);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initialDir_.empty() ? nullptr : initialDir_.c_str();
    ofn.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn.lpstrDefExt = defaultExt_.empty() ? nullptr : defaultExt_.c_str();
    ofn.Flags = SystemFlags(options_);
    if (!RunDialog(ofn)) return false;
    fileName_ = file.data();
    filterIndex_ = static_cast<int>(ofn.nFilterIndex);
    return true;
}

bool TOpenDialog::RunDialog(OPENFILENAMEA& ofn) { return GetOpenFileNameA(&ofn) != 0; }

int MessageDlg(const std::string& text, UINT flags) {
    return MessageBoxA(GetActiveWindow(), text.c_str(), Application()->Title().c_str(), flags);
}

void ShowMessage(const std::string& text) { MessageDlg(text, MB_OK); }
