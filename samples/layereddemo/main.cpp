// A form that shows nothing but its movie: the transparent player control turns it into a
// layered window. Drag it with the left button where the movie leaves the click to the form;
// Escape closes it. "layereddemo /autoclose" renders a few frames, reports the shares of
// fully transparent, partly transparent and opaque pixels of the last frame and ends with 0
// only when all three are present.
#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Application.h"
#include "samples/layereddemo/MainForm.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TLayeredForm* form = nullptr;
    Application()->Initialize();
    Application()->SetTitle("layereddemo");
    Application()->CreateForm(form);
    Application()->Run();
    return TLayeredForm::ExitCode();
}
