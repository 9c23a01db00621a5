#pragma once

#include <string>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

// The clipdemo window (MainUnit.fpcform): a movie and a video kept as resources of the
// program, played in either of two player controls on the same spot of the form, with the
// switches for the player's context menu, sound and the windowless control.
class TMainForm : public TForm {
public:
    // The address under which the player movie asks for the video; no server has this
    // name, and the library-wide handler answers it from the program's resources.
    static const wchar_t* const VideoURL;
    static const char* const InfoPage;
    static const char* const PurchasePage;

    explicit TMainForm(TComponent* owner);
    const char* ClassName() const override { return "TMainForm"; }

    void FormCreate(TObject* sender);
    void ButtonPlaySWFClick(TObject* sender);
    void ButtonPlayFLVClick(TObject* sender);
    void CheckBoxEnableStandartFlashMenuClick(TObject* sender);
    void CheckBoxEnableSoundsClick(TObject* sender);
    void CheckBoxTransparentClick(TObject* sender);
    void ButtonSiteClick(TObject* sender);
    void ButtonOrderClick(TObject* sender);

private:
    void GlobalLoadExternalResource(const std::wstring& url, TStream* stream);
    // The control that is shown, as the surface both controls share.
    TFlashPlayerSurface& VisiblePlayer();

    TTransparentFlashPlayerControl* TransparentFlashPlayerControl1 = nullptr;
    TFlashPlayerControl* FlashPlayerControl1 = nullptr;
    TButton* ButtonPlayFLV = nullptr;
    TButton* ButtonPlaySWF = nullptr;
    TCheckBox* CheckBoxEnableStandartFlashMenu = nullptr;
    TCheckBox* CheckBoxEnableSounds = nullptr;
    TCheckBox* CheckBoxTransparent = nullptr;
    bool FPlayingSWF = true;
};
