#pragma once

#include <cstdint>
#include <exception>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"

// The demonstration form (MainForm.fpcform): a player that loads the program's own movie
// resource through a stream, and a label that follows the player's ready state.
class TPlayerForm : public TForm {
public:
    // What an unattended run (/autoclose) waits for: the embedded movie complete.
    static constexpr int32_t ExpectedFrames = 12;
    static constexpr uint32_t AutoCloseTimeoutMs = 10000;

    explicit TPlayerForm(TComponent* owner);
    ~TPlayerForm() override;
    const char* ClassName() const override { return "TPlayerForm"; }

    void FormCreate(TObject* sender);
    void ButtonReloadClick(TObject* sender);
    void PlayerReadyStateChange(TObject* sender, int newState);
    void AutoCloseTimer(TObject* sender);
    void UnattendedError(TObject* sender, std::exception_ptr error);

    // The program's exit code: 0 once an unattended run saw the movie complete.
    static int ExitCode() { return exitCode_; }

private:
    void LoadEmbeddedMovie();
    void ShowState();
    void FinishUnattended(bool succeeded);

    static int exitCode_;
    TFlashPlayerControl* player_ = nullptr;
    TLabel* labelState_ = nullptr;
    TTimer* autoClose_ = nullptr;
    uint32_t autoCloseStart_ = 0;
    int reportedState_ = -1;   // the state the last OnReadyStateChange carried
};
