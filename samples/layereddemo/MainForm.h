#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "FlashPlayerControl/FlashPlayerControl.h"
#include "framework/Forms.h"
#include "framework/Timer.h"

// The demonstration form (MainForm.fpcform): one transparent player covering the form, with
// MakeParentTransparent, so the desktop shows wherever the movie is transparent.
class TLayeredForm : public TForm {
public:
    // What an unattended run (/autoclose) waits for: this many frames shown.
    static constexpr int FramesToRender = 5;
    static constexpr uint32_t AutoCloseTimeoutMs = 10000;

    explicit TLayeredForm(TComponent* owner);
    ~TLayeredForm() override;
    const char* ClassName() const override { return "TLayeredForm"; }

    void FormCreate(TObject* sender);
    void PlayerFlashPaint(TObject* sender, void* pixels);
    void PlayerMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    void PlayerMouseMove(TObject* sender, TShiftState shift, int x, int y);
    void PlayerMouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    void AutoCloseTimer(TObject* sender);
    void UnattendedError(TObject* sender, std::exception_ptr error);

    // The program's exit code: 0 once an unattended run saw all three kinds of pixels.
    static int ExitCode() { return exitCode_; }

protected:
    void Dispatch(TMessage& message) override;

private:
    // Whether the movie has content under (x, y) of the player: there the click is the movie's.
    bool MovieHit(int x, int y);
    void FinishUnattended();

    static int exitCode_;
    TTransparentFlashPlayerControl* player_ = nullptr;
    TTimer* autoClose_ = nullptr;
    uint32_t autoCloseStart_ = 0;
    // The last frame OnFlashPaint showed (a copy: the pixels are the player's).
    std::vector<uint32_t> lastFrame_;
    int framesSeen_ = 0;
    bool dragging_ = false;
    POINT dragStart_ = {0, 0};
    POINT formStart_ = {0, 0};
};
