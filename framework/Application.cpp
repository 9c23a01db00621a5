#include "framework/Application.h"

#include <ole2.h>

#include "framework/ErrorHandling.h"
#include "framework/FormFiles.h"
#include "framework/Forms.h"
#include "framework/Hints.h"
#include "framework/MainThread.h"

namespace {

void ApplicationErrorHandler(std::exception_ptr error) { Application()->HandleException(error); }

}  // namespace

TApplication* Application() {
    static TApplication* application = new TApplication;
    return application;
}

TApplication::TApplication() : TComponent(nullptr) {
    SetApplicationErrorHandler(&ApplicationErrorHandler);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    size_t dot = name.rfind('.');
    title_ = dot == std::string::npos ? name : name.substr(0, dot);
}

TApplication::~TApplication() {
    DestroyComponents();
    if (oleInitialized_) OleUninitialize();
}

void TApplication::Initialize() {
    if (oleInitialized_) return;
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
}

HINSTANCE TApplication::Instance() const { return GetModuleHandleA(nullptr); }

void TApplication::InitializeForm(TCustomForm* form) {
    try {
        ReadComponentResource(form, form->ClassName(), Instance());
    } catch (...) {
        delete form;
        throw;
    }
    form->DoCreate();
    if (!mainForm_) mainForm_ = form;
}

void TApplication::Run() {
    if (mainForm_ && !terminated_) mainForm_->Show();
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    mainForm_ = nullptr;
    DestroyComponents();
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

void TApplication::HandleMessage() {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
}

void TApplication::Idle() {
    RunPendingMainThreadCalls();
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    HintMessage(msg);
    if (!IsKeyMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

bool TApplication::IsKeyMessage(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    // Keys reach the control they are for first (CN_KEYDOWN ...), also when the focus lies
    // in a window inside it that the framework does not know.
    HWND window = msg.hwnd;
    TWinControl* control = nullptr;
    while (window && !(control = TWinControl::FindControl(window))) window = GetParent(window);
    if (!control) return false;
    try {
        return control->Perform(CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
    } catch (...) {
        HandleException(std::current_exception());
        return true;
    }
}

void TApplication::HandleException(std::exception_ptr error) {
    if (onException_) onException_(this, error);
    else ShowException(error);
}

std::string TApplication::ErrorMessage(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown error";
}

void TApplication::ShowException(std::exception_ptr error) {
    std::string message = ErrorMessage(error);
    if (!message.empty() && message.back() > '.') message += '.';
    MessageBoxA(GetActiveWindow(), message.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == mainForm_) mainForm_ = nullptr;
}
