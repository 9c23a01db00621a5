#include "samples/layereddemo/MainForm.h"

#include <windows.h>
#include <ocidl.h>

#include <cstdio>
#include <string>

#include "framework/Application.h"
#include "framework/ComPtr.h"
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

std::string Share(const char* name, size_t count, size_t total) {
    char text[96];
    std::snprintf(text, sizeof(text), "%s %zu (%.1f%%)", name, count, total ? 100.0 * count / total : 0.0);
    return text;
}

}  // namespace

int TLayeredForm::exitCode_ = 0;

TLayeredForm::TLayeredForm(TComponent* owner) : TForm(owner) {
    PublishMethod<&TLayeredForm::FormCreate>("FormCreate");
    PublishMethod<&TLayeredForm::PlayerFlashPaint>("PlayerFlashPaint");
    PublishMethod<&TLayeredForm::PlayerMouseDown>("PlayerMouseDown");
    PublishMethod<&TLayeredForm::PlayerMouseMove>("PlayerMouseMove");
    PublishMethod<&TLayeredForm::PlayerMouseUp>("PlayerMouseUp");
    PublishMethod<&TLayeredForm::AutoCloseTimer>("AutoCloseTimer");
}

TLayeredForm::~TLayeredForm() {
    // The application outlives its forms: it must not call a handler of a freed one.
    if (Application()->OnException() == TExceptionEvent::Of<&TLayeredForm::UnattendedError>(this))
        Application()->SetOnException(TExceptionEvent());
}

void TLayeredForm::FormCreate(TObject*) {
    player_ = Find<TTransparentFlashPlayerControl>("Player");
    autoClose_ = Find<TTimer>("TimerAutoClose");
    if (Unattended()) {
        // Nobody is there to close a message box: an error ends the run as a failure.
        exitCode_ = 1;
        Application()->SetOnException(TExceptionEvent::Of<&TLayeredForm::UnattendedError>(this));
        autoCloseStart_ = GetTickCount();
        autoClose_->SetEnabled(true);
    }
    try {
        TResourceStream movie(Application()->Instance(), "MOVIE", reinterpret_cast<const char*>(RT_RCDATA));
        player_->AssignMovieStream(movie);
        player_->Play();
    } catch (...) {
        Application()->HandleException(std::current_exception());
    }
}

void TLayeredForm::Dispatch(TMessage& message) {
    if (message.Msg == CM_DIALOGKEY && message.WParam == VK_ESCAPE) {
        message.Result = 1;
        Close();
        return;
    }
    TForm::Dispatch(message);
}

void TLayeredForm::PlayerFlashPaint(TObject*, void* pixels) {
    const auto* bits = static_cast<const uint32_t*>(pixels);
    lastFrame_.assign(bits, bits + static_cast<size_t>(player_->Width()) * static_cast<size_t>(player_->Height()));
    ++framesSeen_;
}

bool TLayeredForm::MovieHit(int x, int y) {
    TComPtr<IViewObjectEx> view;
    if (!player_->FlashObject() ||
        FAILED(player_->FlashObject()->QueryInterface(IID_IViewObjectEx, view.PutVoid())) || !view)
        return false;
    RECT bounds = player_->BoundsRect();
    DWORD hit = HITRESULT_OUTSIDE;
    POINT point = {player_->Left() + x, player_->Top() + y};
    return SUCCEEDED(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, point, 0, &hit)) && hit == HITRESULT_HIT;
}

void TLayeredForm::PlayerMouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
    if (button != TMouseButton::mbLeft || MovieHit(x, y)) return;
    dragging_ = true;
    GetCursorPos(&dragStart_);
    formStart_ = {Left(), Top()};
}

void TLayeredForm::PlayerMouseMove(TObject*, TShiftState, int, int) {
    if (!dragging_) return;
    POINT now;
    GetCursorPos(&now);
    SetBounds(formStart_.x + now.x - dragStart_.x, formStart_.y + now.y - dragStart_.y, Width(), Height());
}

void TLayeredForm::PlayerMouseUp(TObject*, TMouseButton button, TShiftState, int, int) {
    if (button == TMouseButton::mbLeft) dragging_ = false;
}

void TLayeredForm::AutoCloseTimer(TObject*) {
    if (framesSeen_ >= FramesToRender && player_->ReadyState() == 4) {
        FinishUnattended();
    } else if (GetTickCount() - autoCloseStart_ >= AutoCloseTimeoutMs) {
        autoClose_->SetEnabled(false);
        std::string why = !player_->FlashObject() ? "no player object: no usable player module registered"
                          : !player_->MakeParentTransparent() ? "no layered windows on this display"
                                                              : "too few frames shown";
        WriteLine("layereddemo: " + std::to_string(framesSeen_) + " frames (" + why + ")");
        exitCode_ = 1;
        Close();
    }
}

void TLayeredForm::UnattendedError(TObject*, std::exception_ptr error) {
    WriteLine("layereddemo: error: " + TApplication::ErrorMessage(error));
    exitCode_ = 1;
    autoClose_->SetEnabled(false);
    Application()->Terminate();
}

void TLayeredForm::FinishUnattended() {
    autoClose_->SetEnabled(false);
    size_t transparent = 0, partly = 0, opaque = 0;
    for (uint32_t pixel : lastFrame_) {
        uint32_t alpha = pixel >> 24;
        if (alpha == 0) ++transparent;
        else if (alpha == 255) ++opaque;
        else ++partly;
    }
    size_t total = lastFrame_.size();
    WriteLine("layereddemo: " + std::to_string(framesSeen_) + " frames of " + std::to_string(player_->Width()) + "x" +
              std::to_string(player_->Height()) + ", last: " + Share("fully transparent", transparent, total) + ", " +
              Share("partly transparent", partly, total) + ", " + Share("opaque", opaque, total));
    exitCode_ = transparent && partly && opaque ? 0 : 1;
    Close();
}
