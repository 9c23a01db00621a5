// A small program built from a form file: buttons, check boxes, labels and a painted bar.
#include "framework/Application.h"
#include "samples/frameworkdemo/MainForm.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TDemoForm* form = nullptr;
    Application()->Initialize();
    Application()->SetTitle("frameworkdemo");
    Application()->CreateForm(form);
    Application()->Run();
    return 0;
}
