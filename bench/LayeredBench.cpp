// The layered mode's frame: one RenderLayered at 1280 x 720 with the whole picture to update
// (an object that draws nothing, so the player's own drawing is left out), and the alpha pass
// alone, each against copying the same three pictures with memcpy.
#include <windows.h>

#include <cstring>
#include <vector>

#include "Bench.h"
#include "FlashPlayerControl/controls/LayeredAlpha.h"
#include "FlashPlayerControl/controls/TransparentFlashPlayerControl.h"
#include "FlashPlayerControl/loader/LibraryState.h"
#include "framework/Forms.h"

namespace {

constexpr int FrameWidth = 1280, FrameHeight = 720;

// A view that leaves the picture as it is: only the control's own work is measured.
class TBlankView final : public IViewObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IViewObject) {
            *out = static_cast<IViewObject*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD, DWORD, IAdviseSink*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }
};

BOOL WINAPI NoUpdateLayeredWindow(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) {
    return TRUE;
}

}  // namespace

class TLayeredRenderingBench {
public:
    static void Run() {
        const size_t pixels = static_cast<size_t>(FrameWidth) * FrameHeight;
        std::vector<uint32_t> white(pixels, 0x00FFFFFF), black(pixels, 0), result(pixels);
        std::vector<uint32_t> copyWhite(pixels), copyBlack(pixels), copyResult(pixels);
        for (size_t i = 0; i < pixels; i += 7) white[i] = 0x00C0C0C0, black[i] = 0x00404040;
        double copy = BestMilliseconds([&] {
            std::memcpy(copyWhite.data(), white.data(), pixels * 4);
            std::memcpy(copyBlack.data(), black.data(), pixels * 4);
            std::memcpy(copyResult.data(), result.data(), pixels * 4);
        });
        double pass = BestMilliseconds([&] {
            ComputeLayeredAlpha(white.data(), black.data(), result.data(), FrameWidth, FrameHeight,
                                TLayeredRect{0, 0, FrameWidth, FrameHeight});
        });
        Report("alpha pass 1280x720", pass, "memcpy of the three pictures", copy);

        TForm form(nullptr);
        form.SetBorderStyle(TFormBorderStyle::bsNone);
        form.SetBounds(0, 0, FrameWidth, FrameHeight);
        form.Show();
        auto* player = new TTransparentFlashPlayerControl(&form);
        player->SetParent(&form);
        TBlankView view;
        player->ViewObject = TComPtr<IViewObject>(&view);
        player->TakeOverParent(&form);
        if (player->Width() != FrameWidth || player->Height() != FrameHeight) {
            std::printf("layered frame benchmark skipped: the form is %dx%d\n", player->Width(), player->Height());
        } else {
            HWND window = form.Handle();
            double frame = BestMilliseconds([&] {
                InvalidateRect(window, nullptr, FALSE);  // the whole picture is to be updated
                player->RenderLayered();
            });
            ValidateRect(window, nullptr);
            Report("RenderLayered frame 1280x720", frame, "memcpy of the three pictures", copy);
            // The share of the system's own work: the same frame without handing it over.
            TUpdateLayeredWindowProc system = UpdateLayeredWindowProc;
            UpdateLayeredWindowProc = &NoUpdateLayeredWindow;
            double own = BestMilliseconds([&] {
                InvalidateRect(window, nullptr, FALSE);
                player->RenderLayered();
            });
            UpdateLayeredWindowProc = system;
            ValidateRect(window, nullptr);
            Report("  of it without UpdateLayeredWindow", own, "memcpy of the three pictures", copy);
            std::printf("  %.0f frames per second without the player's drawing; alpha pass at %.2f x memcpy\n",
                        frame > 0 ? 1000.0 / frame : 0.0, copy > 0 ? pass / copy : 0.0);
        }
        player->RestoreParent();
        player->ViewObject = nullptr;
        delete player;
    }
};

void RunLayeredBenchmarks() { TLayeredRenderingBench::Run(); }
