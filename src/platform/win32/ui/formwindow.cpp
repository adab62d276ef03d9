#include "platform/win32/ui/formwindow.h"

#include "platform/win32/res/resource.h"
#include "platform/win32/ui/wintext.h"

#include <cstdlib>
#include <vector>

namespace valumat::win32ui {

namespace {

constexpr const wchar_t* kSelfProperty = L"Valumat.FormWindow";

void registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, name, &existing) != 0) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VALUMAT), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VALUMAT), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

} // namespace

FormWindow::FormWindow(ui::Form& form, HINSTANCE instance, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                       HWND owner)
    : form_(form), style_(style | WS_CLIPCHILDREN), exStyle_(exStyle | WS_EX_CONTROLPARENT) {
    registerClass(instance, windowClass, &FormWindow::windowProc);
    CreateWindowExW(exStyle_, windowClass, widen(form.caption()).c_str(), style_, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        return;
    }
    context_.instance = instance;
    context_.root = hwnd_;
    context_.dpi = dpiOf(hwnd_);
    fonts_ = std::make_unique<WindowFonts>(context_.dpi);
    context_.fonts = fonts_.get();
    context_.tooltip = createTooltip(instance, hwnd_);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->text()), FALSE);
}

FormWindow::~FormWindow() {
    views_.clear();
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        DestroyWindow(hwnd_); // its controls go with it
    }
    if (context_.tooltip != nullptr && IsWindow(context_.tooltip)) {
        DestroyWindow(context_.tooltip);
    }
}

ControlWnd* FormWindow::add(ui::Control& model, HWND parent, POINT origin) {
    CreateArgs args;
    args.context = &context_;
    args.parent = parent != nullptr ? parent : hwnd_;
    args.origin = origin;
    return views_.add(model, args);
}

void FormWindow::fitCaptions() {
    const ui::PixelRect client = ui::pixelRect(form_.rect(), context_.dpi);
    views_.fitCaptions(SIZE{client.width, client.height});
}

void FormWindow::syncFrame() {
    if (hwnd_ == nullptr) {
        return;
    }
    const std::wstring caption = widen(form_.caption());
    if (windowText(hwnd_) != caption) {
        SetWindowTextW(hwnd_, caption.c_str());
    }
    if (!(form_.rect() == applied_)) {
        applied_ = form_.rect();
        // The form's position is the frame's, its size the client area's.
        RECT frame{0, 0, twipsToPixels(applied_.width, context_.dpi), twipsToPixels(applied_.height, context_.dpi)};
        AdjustWindowRectEx(&frame, style_, FALSE, exStyle_);
        placing_ = true;
        SetWindowPos(hwnd_, nullptr, twipsToPixels(applied_.left, context_.dpi),
                     twipsToPixels(applied_.top, context_.dpi), frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        placing_ = false;
    }
    const int enabled = form_.enabled() ? 1 : 0;
    if (enabled != enabledApplied_) {
        enabledApplied_ = enabled;
        EnableWindow(hwnd_, enabled != 0 ? TRUE : FALSE);
    }
}

void FormWindow::focusFirst() {
    // A dialog's controls stand in their keyboard order: the first one that takes the focus gets it, whatever the
    // stacking order of the windows (which the system's own search follows, and which the renderer changes for
    // frames and tab strips).
    for (const ui::Control* model : focusInFormOrder ? form_.controls : std::vector<ui::Control*>{}) {
        HWND h = views_.hwndOf(*model);
        if (h != nullptr && (GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) != 0 && IsWindowVisible(h) != 0 &&
            IsWindowEnabled(h) != 0) {
            SetFocus(h);
            return;
        }
    }
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) {
        SetFocus(first);
    }
}

void FormWindow::feedMove() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    const int left = pixelsToTwips(r.left, context_.dpi);
    const int top = pixelsToTwips(r.top, context_.dpi);
    // Within a pixel of what was applied: the window is where the model says.
    const int pixel = pixelsToTwips(1, context_.dpi);
    if (std::abs(left - applied_.left) < pixel && std::abs(top - applied_.top) < pixel) {
        return;
    }
    applied_.left = left;
    applied_.top = top;
    movedByUser_ = true;
    form_.move(left, top);
    movedByUser_ = false;
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // The object comes with the creation; the window finds it again through a property (its procedure may be
        // replaced by others, its user data is theirs).
        auto* created = static_cast<FormWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetPropW(hwnd, kSelfProperty, created);
        created->hwnd_ = hwnd;
    }
    auto* self = static_cast<FormWindow*>(GetPropW(hwnd, kSelfProperty));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(hwnd, kSelfProperty);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT FormWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (onMessage && onMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
    case WM_CLOSE:
        if (onClose) {
            onClose();
        }
        return 0;
    case WM_COMMAND:
        if (views_.route(message, wParam, lParam, result)) {
            return result;
        }
        return 0; // Escape asks for IDCANCEL: these windows have no cancel key
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        if (views_.route(message, wParam, lParam, result)) {
            return result;
        }
        break;
    case WM_ACTIVATE:
        // Like a dialog: the focus stays with the control that had it when the window was left.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd_, focus)) {
                savedFocus_ = focus;
            }
        } else if (HIWORD(wParam) == 0) {
            if (savedFocus_ != nullptr && IsWindow(savedFocus_) && IsChild(hwnd_, savedFocus_) &&
                IsWindowVisible(savedFocus_) && IsWindowEnabled(savedFocus_)) {
                SetFocus(savedFocus_);
            } else {
                focusFirst();
            }
        }
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen of another resolution: the same twips at the new one, where the system suggests.
        context_.dpi = HIWORD(wParam);
        auto fonts = std::make_unique<WindowFonts>(context_.dpi);
        context_.fonts = fonts.get();
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->text()), FALSE);
        for (const auto& view : views_.views()) {
            view->rescale();
        }
        fitCaptions();
        fonts_ = std::move(fonts); // the old fonts go once no control uses them
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        placing_ = true;
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        placing_ = false;
        return 0;
    }
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!placing_ && (pos->flags & SWP_NOMOVE) == 0 && IsWindowVisible(hwnd_) && !IsIconic(hwnd_)) {
            feedMove();
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

} // namespace valumat::win32ui
