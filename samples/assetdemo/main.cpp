// assetdemo: a movie kept inside the program whose images are answered by the program, from
// its own resources or from a JPEG file the user picks.
#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Application.h"
#include "samples/assetdemo/MainUnit.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TMainForm* MainForm = nullptr;
    Application()->Initialize();
    Application()->SetTitle("assetdemo");
    Application()->CreateForm(MainForm);
    Application()->Run();
    return 0;
}
