// A player control on a form read from a form file, playing a movie kept as a resource.
// "playerdemo /autoclose" waits for the movie to load, reports one line on stdout and ends
// with 0 when the movie arrived complete, 1 otherwise.
#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Application.h"
#include "samples/playerdemo/MainForm.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TPlayerForm* form = nullptr;
    Application()->Initialize();
    Application()->SetTitle("playerdemo");
    Application()->CreateForm(form);
    Application()->Run();
    return TPlayerForm::ExitCode();
}
