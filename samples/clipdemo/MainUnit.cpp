#include "samples/clipdemo/MainUnit.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "framework/Application.h"
#include "framework/Dialogs.h"
#include "framework/Streams.h"

const wchar_t* const TMainForm::VideoURL = L"http://embeddedvideo/FlashVideo.flv";
const char* const TMainForm::InfoPage = "https://www.velmora.example/flashplayercontrol/?from_program=1";
const char* const TMainForm::PurchasePage = "https://www.velmora.example/flashplayercontrol/buy/?from_program=1";

TMainForm::TMainForm(TComponent* owner) : TForm(owner) {
    PublishMethod<&TMainForm::FormCreate>("FormCreate");
    PublishMethod<&TMainForm::ButtonPlaySWFClick>("ButtonPlaySWFClick");
    PublishMethod<&TMainForm::ButtonPlayFLVClick>("ButtonPlayFLVClick");
    PublishMethod<&TMainForm::CheckBoxEnableStandartFlashMenuClick>("CheckBoxEnableStandartFlashMenuClick");
    PublishMethod<&TMainForm::CheckBoxEnableSoundsClick>("CheckBoxEnableSoundsClick");
    PublishMethod<&TMainForm::CheckBoxTransparentClick>("CheckBoxTransparentClick");
    PublishMethod<&TMainForm::ButtonSiteClick>("ButtonSiteClick");
    PublishMethod<&TMainForm::ButtonOrderClick>("ButtonOrderClick");
}

void TMainForm::FormCreate(TObject*) {
    TransparentFlashPlayerControl1 = Find<TTransparentFlashPlayerControl>("TransparentFlashPlayerControl1");
    FlashPlayerControl1 = Find<TFlashPlayerControl>("FlashPlayerControl1");
    ButtonPlayFLV = Find<TButton>("ButtonPlayFLV");
    ButtonPlaySWF = Find<TButton>("ButtonPlaySWF");
    CheckBoxEnableStandartFlashMenu = Find<TCheckBox>("CheckBoxEnableStandartFlashMenu");
    CheckBoxEnableSounds = Find<TCheckBox>("CheckBoxEnableSounds");
    CheckBoxTransparent = Find<TCheckBox>("CheckBoxTransparent");

    if (!FlashObjectAvailable()) {
        ShowMessage("The application needs Flash\r\nFlash is not installed");
        // The program ends when the message loop next runs; the form is still set up.
        Application()->Terminate();
    }
    RegisterLibraryResourceHandler(TLoadExternalResourceHandler::Of<&TMainForm::GlobalLoadExternalResource>(this));
    // Each box's click handler copies its state back where it came from, so these are nil.
    CheckBoxEnableStandartFlashMenu->SetChecked(FlashPlayerControl1->StandartMenu() != 0);
    CheckBoxEnableSounds->SetChecked(GetSoundsEnabled());
    CheckBoxTransparent->SetChecked(TransparentFlashPlayerControl1->Visible());
    ButtonPlaySWFClick(ButtonPlaySWF);
}

TFlashPlayerSurface& TMainForm::VisiblePlayer() {
    if (FlashPlayerControl1->Visible()) return *FlashPlayerControl1;
    return *TransparentFlashPlayerControl1;
}

void TMainForm::ButtonPlaySWFClick(TObject*) {
    FPlayingSWF = true;
    TResourceStream stream(Application()->Instance(), "Movie", "SWF");
    TFlashPlayerSurface& player = VisiblePlayer();
    // The control copies the whole stream while loading; the stream can go afterwards.
    player.AssignLayerStream(0, stream);
    player.Play();
}

void TMainForm::ButtonPlayFLVClick(TObject*) {
    uint32_t version = QueryFlashCodeVersion();
    if (((version >> 24) & 0xFF) < 7) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "The Sample needs Flash 7 or higher to play Flash Video\rCurrent version of Flash: %u.%u.%u.%u",
                      (version >> 24) & 0xFF, (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
        ShowMessage(message);
        return;
    }
    FPlayingSWF = false;
    TResourceStream stream(Application()->Instance(), "FLVPlayer", "SWF");
    TFlashPlayerSurface& player = VisiblePlayer();
    // The movie reads the video's address from its flash variables as it starts.
    player.SetFlashVars(std::wstring(L"FLVPath=") + VideoURL);
    player.AssignLayerStream(0, stream);
    player.Play();
}

void TMainForm::GlobalLoadExternalResource(const std::wstring& url, TStream* stream) {
    if (url != VideoURL) return;   // left empty: the request takes its ordinary course
    TResourceStream video(Application()->Instance(), "FlashVideo", "FLV");
    stream->CopyFrom(video, 0);
}

void TMainForm::CheckBoxTransparentClick(TObject*) {
    FlashPlayerControl1->SetVisible(!CheckBoxTransparent->Checked());
    TransparentFlashPlayerControl1->SetVisible(CheckBoxTransparent->Checked());
    // The content starts afresh in the control just shown; the hidden one keeps its own.
    if (FPlayingSWF)
        ButtonPlaySWFClick(ButtonPlaySWF);
    else
        ButtonPlayFLVClick(ButtonPlayFLV);
}

void TMainForm::CheckBoxEnableStandartFlashMenuClick(TObject*) {
    WordBool enabled = CheckBoxEnableStandartFlashMenu->Checked() ? WordTrue : WordFalse;
    FlashPlayerControl1->SetStandartMenu(enabled);
    TransparentFlashPlayerControl1->SetStandartMenu(enabled);
}

void TMainForm::CheckBoxEnableSoundsClick(TObject*) { SetSoundsEnabled(CheckBoxEnableSounds->Checked()); }

void TMainForm::ButtonSiteClick(TObject*) { ShellExecuteA(nullptr, nullptr, InfoPage, nullptr, nullptr, SW_SHOW); }

void TMainForm::ButtonOrderClick(TObject*) { ShellExecuteA(nullptr, nullptr, PurchasePage, nullptr, nullptr, SW_SHOW); }
