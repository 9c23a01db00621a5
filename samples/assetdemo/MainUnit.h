#pragma once

#include <string>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

// The assetdemo window (MainUnit.fpcform): a movie kept as a resource of the program whose
// images, asked for by relative path, are answered from the program's resources or from a
// JPEG file the user picks.
class TMainForm : public TForm {
public:
    static const char* const InfoPage;
    static const char* const PurchasePage;

    explicit TMainForm(TComponent* owner);
    const char* ClassName() const override { return "TMainForm"; }

    void FormCreate(TObject* sender);
    void ButtonSiteClick(TObject* sender);
    void ButtonOrderClick(TObject* sender);
    void FlashPlayerControl1LoadExternalResource(TObject* sender, const std::wstring& url, TStream* stream);

private:
    TFlashPlayerControl* FlashPlayerControl1 = nullptr;
    TOpenDialog* OpenJPEGDialog = nullptr;
};
