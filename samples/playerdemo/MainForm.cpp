#include "samples/playerdemo/MainForm.h"

#include <windows.h>

#include <exception>
#include <string>

#include "framework/Application.h"
#include "framework/Streams.h"

namespace {

bool Unattended() { return std::string(GetCommandLineA()).find("/autoclose") != std::string::npos; }

// A window program has a standard output only when its starter gave it one (a pipe, a
// redirection); started by hand from a console it borrows that console.
void WriteLine(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    bool borrowed = false;
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        borrowed = out != INVALID_HANDLE_VALUE;
    }
    if (!out || out == INVALID_HANDLE_VALUE) return;
    std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (borrowed) CloseHandle(out);
}

std::string StateText(int32_t readyState, int32_t totalFrames) {
    std::string text = "ready state " + std::to_string(readyState);
    if (totalFrames >= 0) text += ", " + std::to_string(totalFrames) + (totalFrames == 1 ? " frame" : " frames");
    return text;
}

}  // namespace

int TPlayerForm::exitCode_ = 0;

TPlayerForm::TPlayerForm(TComponent* owner) : TForm(owner) {
    PublishMethod<&TPlayerForm::FormCreate>("FormCreate");
    PublishMethod<&TPlayerForm::ButtonReloadClick>("ButtonReloadClick");
    PublishMethod<&TPlayerForm::PlayerReadyStateChange>("PlayerReadyStateChange");
    PublishMethod<&TPlayerForm::AutoCloseTimer>("AutoCloseTimer");
}

TPlayerForm::~TPlayerForm() {
    // The application outlives its forms: it must not call a handler of a freed one.
    if (Application()->OnException() == TExceptionEvent::Of<&TPlayerForm::UnattendedError>(this))
        Application()->SetOnException(TExceptionEvent());
}

void TPlayerForm::FormCreate(TObject*) {
    player_ = Find<TFlashPlayerControl>("Player");
    labelState_ = Find<TLabel>("LabelState");
    autoClose_ = Find<TTimer>("TimerAutoClose");
    if (Unattended()) {
        // Nobody is there to close a message box: an error ends the run as a failure.
        exitCode_ = 1;
        Application()->SetOnException(TExceptionEvent::Of<&TPlayerForm::UnattendedError>(this));
        autoCloseStart_ = GetTickCount();
        autoClose_->SetEnabled(true);
    }
    try {
        LoadEmbeddedMovie();
    } catch (...) {
        Application()->HandleException(std::current_exception());
    }
}

void TPlayerForm::ButtonReloadClick(TObject*) { LoadEmbeddedMovie(); }

void TPlayerForm::PlayerReadyStateChange(TObject*, int newState) {
    reportedState_ = newState;
    ShowState();
}

void TPlayerForm::AutoCloseTimer(TObject*) {
    if (player_->ReadyState() == 4) {
        // The label follows the events: a complete movie the events never reported fails too.
        FinishUnattended(player_->TotalFrames() == ExpectedFrames && reportedState_ == 4);
    } else if (GetTickCount() - autoCloseStart_ >= AutoCloseTimeoutMs) {
        FinishUnattended(false);
    }
}

void TPlayerForm::UnattendedError(TObject*, std::exception_ptr error) {
    WriteLine("playerdemo: error: " + TApplication::ErrorMessage(error));
    exitCode_ = 1;
    autoClose_->SetEnabled(false);
    Application()->Terminate();
}

void TPlayerForm::LoadEmbeddedMovie() {
    // The player reads the movie from the stream while it is loaded; the stream can go then.
    TResourceStream movie(Application()->Instance(), "MOVIE", reinterpret_cast<const char*>(RT_RCDATA));
    player_->AssignMovieStream(movie);
    player_->Play();
    ShowState();
}

void TPlayerForm::ShowState() {
    int32_t readyState = player_->ReadyState();
    // The frame count is known once the movie's header has arrived.
    int32_t totalFrames = readyState >= 2 ? player_->TotalFrames() : -1;
    labelState_->SetCaption("Movie: " + StateText(readyState, totalFrames));
}

void TPlayerForm::FinishUnattended(bool succeeded) {
    autoClose_->SetEnabled(false);
    int32_t readyState = player_->ReadyState();
    std::string line = "playerdemo: " + StateText(readyState, readyState >= 2 ? player_->TotalFrames() : -1);
    if (!player_->OleObject())
        line += " (no player object: no usable player module registered)";
    else if (!succeeded)
        line += " (expected ready state 4, " + std::to_string(ExpectedFrames) +
                " frames; last OnReadyStateChange: " + std::to_string(reportedState_) + ")";
    WriteLine(line);
    exitCode_ = succeeded ? 0 : 1;
    Close();
}
