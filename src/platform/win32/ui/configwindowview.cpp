#include "platform/win32/ui/configwindowview.h"

#include "platform/win32/res/resource.h"

#include <algorithm>

namespace valumat::win32ui {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

} // namespace

ConfigWindowView::ConfigWindowView(ui::ConfigWindow& window, HINSTANCE instance)
    : window_(window), frame_(window.form, instance, kConfigWindowClass, kStyle, 0) {
    for (ui::Control* c : window.form.controls) {
        HWND parent = nullptr;
        POINT origin{};
        if (const auto placement = window.placementOf(*c); placement.panel != nullptr) {
            if (HWND panel = frame_.views().hwndOf(*placement.panel)) {
                parent = panel;
                origin = POINT{placement.offsetLeft, placement.offsetTop};
            }
        }
        frame_.add(*c, parent, origin);
    }
    frame_.fitCaptions();
    frame_.views().settle();

    if (ControlWnd* picture = frame_.views().viewOf(window.info.Image1)) {
        RECT r{};
        GetClientRect(picture->hwnd(), &r);
        const int size = std::min(r.right, r.bottom);
        setLabelIcon(*picture, static_cast<HICON>(
                                   LoadImageW(instance, MAKEINTRESOURCEW(IDI_VALUMAT), IMAGE_ICON, size, size, 0)));
    }

    frame_.onClose = [this] { window_.closeBySystem(); };
    window.form.observe([this](ui::Control&) { syncForm(); });
    syncForm();
}

ConfigWindowView::~ConfigWindowView() {
    window_.form.observe(nullptr);
    frame_.views().clear();
}

void ConfigWindowView::syncForm() {
    HWND hwnd = frame_.hwnd();
    if (hwnd == nullptr) {
        return;
    }
    const ui::Form& form = window_.form;
    frame_.syncFrame();

    // Without a task-bar button the window is a tool window. The logic changes this only while the window is
    // hidden; a shown window is hidden for the change and shown again.
    if (form.showInTaskbar() != inTaskbar_) {
        inTaskbar_ = form.showInTaskbar();
        const bool shown = IsWindowVisible(hwnd) != 0;
        if (shown) {
            ShowWindow(hwnd, SW_HIDE);
        }
        LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
        exStyle = inTaskbar_ ? (exStyle & ~static_cast<LONG_PTR>(WS_EX_TOOLWINDOW)) | WS_EX_APPWINDOW
                             : (exStyle & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW;
        SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (shown) {
            ShowWindow(hwnd, SW_SHOW);
        }
    }

    // A shown window comes to the front whenever the logic touches it (showing it from the tray, a second start),
    // but not while the user moves it.
    if (form.visible()) {
        if (IsIconic(hwnd)) {
            ShowWindow(hwnd, SW_RESTORE);
        } else if (!IsWindowVisible(hwnd)) {
            ShowWindow(hwnd, SW_SHOW);
        }
        if (!frame_.movedByUser() && GetForegroundWindow() != hwnd && IsWindowEnabled(hwnd)) {
            SetForegroundWindow(hwnd);
        }
    } else if (IsWindowVisible(hwnd)) {
        ShowWindow(hwnd, SW_HIDE);
    }
}

} // namespace valumat::win32ui
