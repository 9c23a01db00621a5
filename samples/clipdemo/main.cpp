// clipdemo: a movie and a video kept inside the program, played in a windowed or a
// windowless player control.
#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Application.h"
#include "samples/clipdemo/MainUnit.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TMainForm* MainForm = nullptr;
    Application()->Initialize();
    Application()->SetTitle("clipdemo");
    Application()->CreateForm(MainForm);
    Application()->Run();
    return 0;
}
