#include "platform/win32/ui/modalhost.h"

#include "platform/win32/ui/metrics.h"
#include "ui/viewregistry.h"

namespace valumat::win32ui {

namespace {

constexpr const wchar_t* kDialogClass = L"ValumatDialog";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

} // namespace

void Win32ModalHost::runModal(ui::Form& form) {
    {
        FormWindow dialog(form, instance_, kDialogClass, kStyle, kExStyle, owner_);
        if (dialog.hwnd() == nullptr) {
            ui::closeByCloseBox(form);
            return;
        }
        for (ui::Control* c : form.controls) { // also the keyboard order
            dialog.add(*c);
        }
        dialog.focusInFormOrder = true;
        dialog.fitCaptions();
        dialog.views().settle();
        dialog.onClose = [&form] { ui::closeByCloseBox(form); };
        const ui::FormObserverGuard guard{form};
        form.observe([&dialog, &form](ui::Control&) {
            dialog.syncFrame();
            if (!form.visible()) {
                PostMessageW(dialog.hwnd(), WM_NULL, 0, 0); // wakes the loop, which sees the form hidden
            }
        });
        dialog.syncFrame();

        const bool ownerEnabled = owner_ != nullptr && IsWindowEnabled(owner_) != 0;
        if (ownerEnabled) {
            EnableWindow(owner_, FALSE);
        }
        if (form.visible()) {
            ShowWindow(dialog.hwnd(), SW_SHOW);
            SetForegroundWindow(dialog.hwnd());
            dialog.focusFirst();
            if (onTopWindow) {
                onTopWindow(dialog.hwnd());
            }
            if (onShown) {
                onShown(form, dialog);
            }
        }
        MSG msg{};
        while (form.visible()) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam)); // the program ends: the outer loop sees it too
                break;
            }
            if (got == -1) {
                break;
            }
            if (IsDialogMessageW(dialog.hwnd(), &msg) != 0) {
                continue;
            }
            if (dispatch) {
                dispatch(msg);
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        form.observe(nullptr);
        if (onTopWindow) {
            onTopWindow(owner_);
        }
        // The owner first: enabled before the dialog goes, it becomes the active window again.
        if (ownerEnabled) {
            EnableWindow(owner_, TRUE);
        }
        ShowWindow(dialog.hwnd(), SW_HIDE);
    }
    // The loop also ends when the program quits: the dialog goes the way of its close box.
    if (form.visible()) {
        ui::closeByCloseBox(form);
    }
}

int Win32ModalHost::screenWidth() {
    return pixelsToTwips(GetSystemMetrics(SM_CXSCREEN), systemDpi());
}

int Win32ModalHost::screenHeight() {
    return pixelsToTwips(GetSystemMetrics(SM_CYSCREEN), systemDpi());
}

} // namespace valumat::win32ui
