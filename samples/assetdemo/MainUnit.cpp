#include "samples/assetdemo/MainUnit.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "framework/Application.h"
#include "framework/Streams.h"

const char* const TMainForm::InfoPage = "https://www.velmora.example/flashplayercontrol/?from_program=1";
const char* const TMainForm::PurchasePage = "https://www.velmora.example/flashplayercontrol/buy/?from_program=1";

namespace {

// Everything up to and including the last path delimiter.
std::string DirectoryOf(const std::string& path) {
    size_t last = path.find_last_of("\\:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string ProgramPath() {
    char path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

}  // namespace

TMainForm::TMainForm(TComponent* owner) : TForm(owner) {
    PublishMethod<&TMainForm::FormCreate>("FormCreate");
    PublishMethod<&TMainForm::ButtonSiteClick>("ButtonSiteClick");
    PublishMethod<&TMainForm::ButtonOrderClick>("ButtonOrderClick");
    PublishMethod<&TMainForm::FlashPlayerControl1LoadExternalResource>("FlashPlayerControl1LoadExternalResource");
}

void TMainForm::FormCreate(TObject*) {
    FlashPlayerControl1 = Find<TFlashPlayerControl>("FlashPlayerControl1");
    OpenJPEGDialog = Find<TOpenDialog>("OpenJPEGDialog");

    if (!FlashObjectAvailable()) {
        ShowMessage("The application needs Flash\r\nFlash is not installed");
        // The program ends when the message loop next runs; the form is still set up.
        Application()->Terminate();
    }
    uint32_t version = QueryFlashCodeVersion();
    if (((version >> 24) & 0xFF) < 7) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "The Sample needs Flash 7 to play embedded movie\rCurrent version of Flash: %u.%u.%u.%u",
                      (version >> 24) & 0xFF, (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
        ShowMessage(message);
    }
    {
        // The control copies the whole stream while loading it.
        TResourceStream movie(Application()->Instance(), "Movie", "SWF");
        FlashPlayerControl1->AssignLayerStream(0, movie);
    }
    OpenJPEGDialog->SetInitialDir(DirectoryOf(ProgramPath()));
}

void TMainForm::FlashPlayerControl1LoadExternalResource(TObject*, const std::wstring& url, TStream* stream) {
    for (int n = 1; n <= 5; ++n) {
        if (url == L"images/embedded_image" + std::to_wstring(n) + L".jpg") {
            TResourceStream image(Application()->Instance(), ("image" + std::to_string(n)).c_str(), "IMAGE");
            stream->CopyFrom(image, 0);
        }
    }
    if (url == L"images/external_image.jpg") {
        // Whatever file is picked is handed over as it is; the movie decides what it shows.
        if (OpenJPEGDialog->Execute()) {
            TMemoryStream file;
            file.LoadFromFile(OpenJPEGDialog->FileName());
            stream->CopyFrom(file, 0);
        }
    }
}

void TMainForm::ButtonSiteClick(TObject*) { ShellExecuteA(nullptr, nullptr, InfoPage, nullptr, nullptr, SW_SHOW); }

void TMainForm::ButtonOrderClick(TObject*) { ShellExecuteA(nullptr, nullptr, PurchasePage, nullptr, nullptr, SW_SHOW); }
