// The windowless control's layered mode: the parent form becomes a borderless layered window
// whose every pixel carries the movie's own transparency, and the control takes over the
// form's window procedure to render each frame and to hand the form's input to the object.

#include "FlashPlayerControl/controls/LayeredAlpha.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/Library.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/ErrorHandling.h"

namespace {

constexpr UINT FrameChanged = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED;
// Key messages the framework reflects to the control they are for (CN_KEYDOWN ... CN_SYSDEADCHAR).
constexpr UINT ReflectedKeysFirst = CN_BASE + WM_KEYDOWN;
constexpr UINT ReflectedKeysLast = CN_BASE + WM_SYSDEADCHAR;

bool IsImeMessage(UINT msg) {
    return (msg >= WM_IME_STARTCOMPOSITION && msg <= WM_IME_COMPOSITION) ||
           (msg >= WM_IME_SETCONTEXT && msg <= WM_IME_CHAR) || (msg >= WM_IME_KEYDOWN && msg <= WM_IME_KEYUP);
}

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void DeleteBitmap(HBITMAP& bitmap) {
    if (bitmap) DeleteObject(bitmap);
    bitmap = nullptr;
}

bool Destroying(const TComponent* component) { return (component->ComponentState() & csDestroying) != 0; }

}  // namespace

// Switching

void TTransparentFlashPlayerControl::SetMakeParentTransparent(WordBool value) {
    bool on = value != 0;
    if (on == (makeParentTransparent_ != 0)) return;
    // Only switching on needs the system's layered windows: a form in the mode can always be
    // given back its own window.
    if (on && !TransparencyAvailable()) return;
    makeParentTransparent_ = on ? WordTrue : WordFalse;
    // A form file sets the value before the form around the control is complete: Loaded
    // switches then.
    if ((ComponentState() & csLoading) || !Parent()) return;
    SwitchParent(on);
}

void TTransparentFlashPlayerControl::Loaded() {
    TGraphicControl::Loaded();
    if (makeParentTransparent_ && Parent() && !layeredParent_) SwitchParent(true);
}

void TTransparentFlashPlayerControl::SwitchParent(bool on) {
    TWinControl* parent = Parent();
    // The form disappears while its styles change.
    bool wasVisible = parent->Visible();
    parent->SetVisible(false);
    // A designed form keeps its window; one taken over is always given back.
    if (on && !Designing()) TakeOverParent(parent);
    else if (!on) RestoreParent();
    parent->SetVisible(wasVisible);
    // The mode's window style carries WS_VISIBLE; a hidden form stays hidden.
    if (!wasVisible && parent->HandleAllocated() && IsWindowVisible(parent->Handle()))
        ShowWindow(parent->Handle(), SW_HIDE);
}

void TTransparentFlashPlayerControl::TakeOverParent(TWinControl* parent) {
    HWND window = parent->Handle();
    SavedParentExStyle = GetWindowLongA(window, GWL_EXSTYLE);
    SavedParentStyle = GetWindowLongA(window, GWL_STYLE);
    if (auto form = dynamic_cast<TCustomForm*>(parent)) {
        SavedBorderStyle = form->BorderStyle();
        form->SetBorderStyle(TFormBorderStyle::bsNone);  // re-creates the form's window
        window = parent->Handle();
    }
    SetWindowLongA(window, GWL_EXSTYLE, SavedParentExStyle | WS_EX_LAYERED);
    SetWindowLongA(window, GWL_STYLE, WS_VISIBLE);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, FrameChanged);
    SavedAlign = Align();
    SavedBounds = BoundsRect();
    SetBounds(0, 0, parent->ClientWidth(), parent->ClientHeight());
    // The next frame makes the over-white and over-black pictures anew.
    BufferWidth = BufferHeight = 0;
    WhiteBits = BlackBits = nullptr;
    DeleteBitmap(WhiteBitmap);
    DeleteBitmap(BlackBitmap);
    SavedParentWindowProc = parent->WindowProc;
    parent->WindowProc = TWndMethod::Of<&TTransparentFlashPlayerControl::ParentWindowProc>(this);
    layeredParent_ = parent;
}

void TTransparentFlashPlayerControl::RestoreParent() {
    TWinControl* parent = layeredParent_;
    if (!parent) return;
    layeredParent_ = nullptr;
    parent->WindowProc = SavedParentWindowProc;
    // A parent on its way out keeps no window to restore, and must not get a new one.
    if (!Destroying(parent)) {
        // The layered window's size is the form's client size, which the form keeps when its
        // frame comes back.
        const int clientWidth = parent->ClientWidth(), clientHeight = parent->ClientHeight();
        if (parent->HandleAllocated()) {
            HWND window = parent->Handle();
            SetWindowLongA(window, GWL_EXSTYLE, SavedParentExStyle);
            SetWindowLongA(window, GWL_STYLE, SavedParentStyle);
            SetWindowPos(window, nullptr, 0, 0, 0, 0, FrameChanged);
        }
        if (auto form = dynamic_cast<TCustomForm*>(parent)) {
            form->SetBorderStyle(SavedBorderStyle);
            form->SetClientWidth(clientWidth);
            form->SetClientHeight(clientHeight);
        }
    }
    if (!Destroying(this)) {
        SetAlign(SavedAlign);
        SetBoundsRect(SavedBounds);
    }
}

// The parent's messages

bool TTransparentFlashPlayerControl::PassToObject(TMessage& message) {
    // Only the windowless interface takes window messages.
    IOleInPlaceObjectWindowless* object = WindowlessObject();
    if (!object) return false;
    LRESULT result = 0;
    object->OnWindowMessage(message.Msg, message.WParam, message.LParam, &result);
    message.Result = result;
    return true;
}

void TTransparentFlashPlayerControl::ParentWindowProc(TMessage& message) {
    const UINT msg = message.Msg;
    if (msg >= ReflectedKeysFirst && msg <= ReflectedKeysLast && InPlaceObject) {
        TComPtr<IOleInPlaceActiveObject> active = InPlaceObject.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
        if (active) {
            MSG key = {layeredParent_->Handle(), msg - CN_BASE, message.WParam, message.LParam, 0, {0, 0}};
            if (active->TranslateAccelerator(&key) == S_OK) {
                message.Result = 1;
                return;
            }
        }
    }
    // IME input and the cursor belong to the object; without one the form handles them.
    if ((HasFocus && IsImeMessage(msg)) || msg == WM_SETCURSOR) {
        if (PassToObject(message)) return;
        SavedParentWindowProc(message);
        return;
    }
    if (msg == WM_PAINT) RenderLayered();
    if (msg == WM_LBUTTONDOWN) {
        HasFocus = true;
        layeredParent_->SetFocus();
    } else if (msg == CM_FOCUSCHANGED) {
        HasFocus = true;
    }
    // Without the player's own menu neither the menu key nor a right press reaches anyone.
    if (!standartMenu_ && ((msg == WM_KEYDOWN && message.WParam == VK_APPS) || msg == WM_RBUTTONDOWN)) return;
    PassToObject(message);
    SavedParentWindowProc(message);
}

// Rendering

void TTransparentFlashPlayerControl::MakeLayeredBuffers(HDC memory, int width, int height) {
    BITMAPINFO description = {};
    description.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    description.bmiHeader.biWidth = width;
    description.bmiHeader.biHeight = height;  // positive: rows bottom-up
    description.bmiHeader.biPlanes = 1;
    description.bmiHeader.biBitCount = 32;
    description.bmiHeader.biCompression = BI_RGB;
    auto make = [&](HBITMAP& bitmap, uint32_t*& bits) {
        DeleteBitmap(bitmap);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(memory, &description, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = bitmap ? static_cast<uint32_t*>(pixels) : nullptr;
    };
    make(WhiteBitmap, WhiteBits);
    make(BlackBitmap, BlackBits);
    make(ResultBitmap, ResultBits);
    BufferWidth = width;
    BufferHeight = height;
}

void TTransparentFlashPlayerControl::RenderLayered() {
    if (!ViewObject || !layeredParent_) return;
    const int width = Width(), height = Height();
    if (width <= 0 || height <= 0) return;  // no picture of no size
    HWND window = layeredParent_->Handle();
    const RECT all = {0, 0, width, height};
    RECT update = {0, 0, 0, 0};
    GetUpdateRect(window, &update, FALSE);  // before the form's own procedure validates it
    if (update.right > width) update.right = width;
    if (update.bottom > height) update.bottom = height;

    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    HDC memory = CreateCompatibleDC(screen);
    if (width != BufferWidth || height != BufferHeight) MakeLayeredBuffers(memory, width, height);
    if (!WhiteBits || !BlackBits || !ResultBits) {
        // Out of memory for this size: try again with the next frame.
        ReleaseLayeredBuffers();
        DeleteDC(memory);
        DeleteDC(screen);
        return;
    }
    HGDIOBJ previous = SelectObject(memory, WhiteBitmap);
    FillSolid(memory, all, RGB(255, 255, 255));
    HRGN region = CreateRectRgnIndirect(&update);
    SelectClipRgn(memory, region);
    const RECTL bounds = {0, 0, width, height};
    ViewObject->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0);
    SelectObject(memory, BlackBitmap);
    FillSolid(memory, all, RGB(0, 0, 0));
    ViewObject->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0);
    GdiFlush();  // the pixels are read directly: the drawing must have reached them
    ComputeLayeredAlpha(WhiteBits, BlackBits, ResultBits, width, height,
                        TLayeredRect{update.left, update.top, update.right, update.bottom});
    SelectObject(memory, ResultBitmap);
    if (OnFlashPaint) {
        try {
            OnFlashPaint(this, ResultBits);
        } catch (...) {
            // The frame is shown all the same; the form's paint must still validate.
            HandleApplicationException();
        }
        GdiFlush();
    }
    if (UpdateLayeredWindowProc) {
        POINT position = {layeredParent_->Left(), layeredParent_->Top()};
        SIZE size = {width, height};
        POINT origin = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindowProc(window, screen, &position, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteDC(screen);
    DeleteObject(region);
}

void TTransparentFlashPlayerControl::ReleaseLayeredBuffers() {
    BufferWidth = BufferHeight = 0;
    WhiteBits = BlackBits = ResultBits = nullptr;
    DeleteBitmap(WhiteBitmap);
    DeleteBitmap(BlackBitmap);
    DeleteBitmap(ResultBitmap);
}
