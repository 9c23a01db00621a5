#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "framework/Component.h"

// Options of TOpenDialog (bit numbers of the set).
using TOpenOptions = uint32_t;
enum : uint32_t {
    ofReadOnly = 1u << 0, ofOverwritePrompt = 1u << 1, ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3, ofAllowMultiSelect = 1u << 4, ofPathMustExist = 1u << 5,
    ofFileMustExist = 1u << 6, ofCreatePrompt = 1u << 7, ofShareAware = 1u << 8,
    ofNoReadOnlyReturn = 1u << 9, ofNoTestFileCreate = 1u << 10, ofNoValidate = 1u << 11,
    ofEnableSizing = 1u << 12,
};

// The system's file-open dialog. Filter lists description|patterns pairs separated by
// '|' ("Text (*.txt)|*.txt|All Files (*.*)|*.*").
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* owner);
    const char* ClassName() const override { return "TOpenDialog"; }
    void DefineProperties(TPropertyList& list) override;

    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& value) { filter_ = value; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int value) { filterIndex_ = value; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& value) { initialDir_ = value; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value) { title_ = value; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& value) { defaultExt_ = value; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions value) { options_ = value; }

    // Shows the dialog; true when the user chose a file (then in FileName).
    virtual bool Execute();

    // The system's form of Filter: pairs separated by NUL, ending in two NULs.
    static std::string SystemFilter(const std::string& filter);
    // The OFN_ flags for Options.
    static DWORD SystemFlags(TOpenOptions options);

protected:
    // Runs the system dialog over ofn; the default calls GetOpenFileNameA.
    virtual bool RunDialog(OPENFILENAMEA& ofn);

private:
    std::string filter_, initialDir_, fileName_, title_, defaultExt_;
    int filterIndex_ = 1;
    TOpenOptions options_ = 0;
};

// The standard message box with the application's title.
int MessageDlg(const std::string& text, UINT flags);
// A message with an OK button.
void ShowMessage(const std::string& text);
