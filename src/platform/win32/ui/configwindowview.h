// The configuration window in Win32: a top-level window for ConfigWindow::form with the tab strip, the four tab
// panels with their controls and the button row. It mirrors the models and feeds the user's input back.
#pragma once

#include "platform/win32/ui/formwindow.h"
#include "ui/configwindow.h"

#include <windows.h>

namespace valumat::win32ui {

// The window class of the configuration window: a second start of the program finds the running one by it.
inline constexpr const wchar_t* kConfigWindowClass = L"ValumatConfigWindow";

class ConfigWindowView {
public:
    // Builds the window hidden; it shows itself when the form model becomes visible (start-up). Destroy the view
    // before the ConfigWindow.
    ConfigWindowView(ui::ConfigWindow& window, HINSTANCE instance);
    ~ConfigWindowView();
    ConfigWindowView(const ConfigWindowView&) = delete;
    ConfigWindowView& operator=(const ConfigWindowView&) = delete;

    // The top-level window: gets the hot keys, owns the dialogs and the tray menu.
    HWND hwnd() const { return frame_.hwnd(); }
    // The control that shows a model of the window; nullptr for models it does not show.
    HWND hwndOf(const ui::Control& model) const { return frame_.views().hwndOf(model); }
    // Messages for the program (e.g. the request of a second start to show the window), before the window's own.
    std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>& onMessage() {
        return frame_.onMessage;
    }

private:
    void syncForm();

    ui::ConfigWindow& window_;
    FormWindow frame_;
    bool inTaskbar_ = true;
};

} // namespace valumat::win32ui
