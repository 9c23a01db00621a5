#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "framework/Component.h"

class TCustomForm;

using TExceptionEvent = TMethod<void(TObject* sender, std::exception_ptr error)>;

// The program: its forms, its title and its message loop. Errors that leave event handlers
// (caught where the system called into the framework) end in HandleException, which shows
// them and lets the program go on.
class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    const char* ClassName() const override { return "TApplication"; }

    // Prepares COM and OLE for the thread (OleInitialize).
    void Initialize();
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value) { title_ = value; }
    HINSTANCE Instance() const;

    // Creates a form owned by the application, reads its form file (the resource named
    // after its class, when the program has one), raises OnCreate, and makes the first
    // form created the main form. reference is set before the form file is read.
    template <typename T>
    void CreateForm(T*& reference) {
        T* form = new T(this);
        reference = form;
        InitializeForm(form);
    }
    void InitializeForm(TCustomForm* form);
    TCustomForm* MainForm() const { return mainForm_; }

    // Shows the main form and processes messages until Terminate; then frees the forms.
    void Run();
    // Ends Run once the messages already queued are handled.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Handles all waiting messages and returns.
    void ProcessMessages();
    // Handles one message, or waits for one after running the idle work.
    void HandleMessage();

    // The default error handling: OnException when assigned, ShowException otherwise.
    void HandleException(std::exception_ptr error);
    void ShowException(std::exception_ptr error);
    const TExceptionEvent& OnException() const { return onException_; }
    void SetOnException(const TExceptionEvent& e) { onException_ = e; }

    // The message text of an error.
    static std::string ErrorMessage(std::exception_ptr error);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    bool ProcessMessage(MSG& msg);
    bool IsKeyMessage(MSG& msg);
    void Idle();

    std::string title_;
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool oleInitialized_ = false;
    TExceptionEvent onException_;
};

// The one application object; made on first use, which also installs its error handler.
TApplication* Application();
