// Modal dialogs in Win32: each dialog form becomes a dialog window over the configuration window, its controls
// placed by their positions, and runs in a nested message loop until the form model is hidden.
#pragma once

#include "platform/win32/ui/formwindow.h"
#include "ui/controls.h"

#include <windows.h>

#include <functional>

namespace valumat::win32ui {

class Win32ModalHost : public ui::ModalHost {
public:
    explicit Win32ModalHost(HINSTANCE instance) : instance_(instance) {}

    // The window the dialogs are modal over (the configuration window); may be set after construction, since the
    // window logic needs the host first.
    void setOwner(HWND owner) { owner_ = owner; }

    // Builds the dialog from the form's controls (positions relative to its client area), disables the owner and
    // runs a message loop until the form is hidden, then enables the owner again. The dialog's close box works as
    // the form's: the form is hidden and its unload runs.
    void runModal(ui::Form& dialog) override;
    // The primary screen in twips.
    int screenWidth() override;
    int screenHeight() override;

    // Called with the dialog's window once it is shown, before its message loop (tests work the dialog from here).
    std::function<void(ui::Form& form, FormWindow& dialog)> onShown;
    // The window on top changes: the dialog's when it opens, the owner's again when it closes (message boxes
    // belong to it).
    std::function<void(HWND window)> onTopWindow;
    // How the dialog's loop hands on the messages that are not its keyboard navigation; by default translated and
    // dispatched (the program logs its hot keys here, as in its own loop).
    std::function<void(MSG& message)> dispatch;

private:
    HINSTANCE instance_;
    HWND owner_ = nullptr;
};

} // namespace valumat::win32ui
