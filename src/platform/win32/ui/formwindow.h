// Top-level windows of form models (the configuration window and the dialogs): the window with the form's caption,
// position and client size, the controls' wrappers, and the routing of the controls' notifications to them.
#pragma once

#include "platform/win32/ui/controlwnd.h"
#include "platform/win32/ui/metrics.h"
#include "ui/controls.h"

#include <windows.h>

#include <functional>
#include <memory>

namespace valumat::win32ui {

class FormWindow {
public:
    // Creates the window hidden; `windowClass` is registered on first use with the program icon.
    FormWindow(ui::Form& form, HINSTANCE instance, const wchar_t* windowClass, DWORD style, DWORD exStyle,
               HWND owner = nullptr);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    ui::Form& form() const { return form_; }
    HINSTANCE instance() const { return context_.instance; }
    int dpi() const { return context_.dpi; }
    ViewSet& views() { return views_; }
    const ViewSet& views() const { return views_; }

    // Lays the controls out so that every caption fits (after all were added, and again at a new resolution).
    void fitCaptions();
    // Adds the wrapper of a control under `parent` (nullptr: the window itself); `origin` as in CreateArgs.
    ControlWnd* add(ui::Control& model, HWND parent = nullptr, POINT origin = {});

    // Shows the form's caption; its position and client size when the model's rectangle differs from the one
    // applied last (a window the user moved stays where it is); its enabled state when the model's changed (the
    // modal host disables an owner window itself).
    void syncFrame();
    // True while the window follows a move by the user (the form model hears about it).
    bool movedByUser() const { return movedByUser_; }
    // Puts the focus on the first control that takes it: with focusInFormOrder (dialogs, whose list of controls is
    // their keyboard order) the first of the form's list, else the first in the windows' stacking order.
    void focusFirst();
    bool focusInFormOrder = false;

    // Handling before the standard one: returns true (and the result) when it took the message.
    std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)> onMessage;
    // The close box (WM_CLOSE); the window itself stays.
    std::function<void()> onClose;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void feedMove();

    ui::Form& form_;
    DWORD style_;
    DWORD exStyle_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<WindowFonts> fonts_;
    WindowContext context_;
    ViewSet views_; // cleared before the window goes
    ui::Twips applied_{-1, -1, -1, -1};
    int enabledApplied_ = -1;
    bool placing_ = false;
    bool movedByUser_ = false;
    HWND savedFocus_ = nullptr;
};

} // namespace valumat::win32ui
