#include "platform/win32/ui/controlwnd.h"

#include "platform/win32/ui/wintext.h"

#include <utility>

namespace valumat::win32ui {

namespace {

constexpr const wchar_t* kPanelClass = L"ValumatPanel";

bool isPanel(HWND hwnd) {
    wchar_t name[32] = {};
    return hwnd != nullptr && GetClassNameW(hwnd, name, 32) > 0 && lstrcmpW(name, kPanelClass) == 0;
}

HBRUSH panelBrush(HWND panel) {
    auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrW(panel, 0));
    return brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

// Panels pass what their children tell the parent on to the top-level window, where the wrappers are found.
LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
    case WM_MEASUREITEM: {
        HWND root = GetAncestor(hwnd, GA_ROOT);
        if (root != nullptr && root != hwnd) {
            return SendMessageW(root, message, wParam, lParam);
        }
        break;
    }
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: {
        // Themed controls ask their parent for the background behind them through both messages.
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, panelBrush(hwnd));
        return message == WM_ERASEBKGND ? 1 : 0;
    }
    case WM_CLOSE:
        return 0; // a panel is never closed on its own (a multi-line edit asks its parent on Escape)
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

const wchar_t* panelClass(HINSTANCE instance) {
    const wchar_t* const name = kPanelClass;
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, name, &existing) == 0) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = panelProc;
        wc.cbWndExtra = sizeof(LONG_PTR); // the background brush
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = name;
        RegisterClassExW(&wc);
    }
    return name;
}

HBRUSH backgroundOf(HWND control) {
    HWND parent = GetParent(control);
    return isPanel(parent) ? panelBrush(parent) : GetSysColorBrush(COLOR_BTNFACE);
}

HWND createTooltip(HINSTANCE instance, HWND root) {
    HWND tip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, root, nullptr, instance, nullptr);
    if (tip != nullptr) {
        // Long tips wrap instead of running across the screen.
        SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, twipsToPixels(5400, dpiOf(root)));
    }
    return tip;
}

ControlWnd::ControlWnd(ui::Control& model, const CreateArgs& args) : model_(model), args_(args) {}

ControlWnd::~ControlWnd() {
    model_.observe(nullptr);
    if (hasTool_ && args_.context->tooltip != nullptr && IsWindow(args_.context->tooltip)) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = args_.context->root;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
        SendMessageW(args_.context->tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void ControlWnd::create(const wchar_t* windowClass, DWORD style, DWORD exStyle) {
    id_ = args_.context->nextId++;
    const RECT r = placement();
    placed_ = r;
    hwnd_ = CreateWindowExW(exStyle, windowClass, L"", style | WS_CHILD | WS_CLIPSIBLINGS, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, args_.parent,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id_)), args_.context->instance, nullptr);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(chooseFont()), FALSE);
}

void ControlWnd::rescale() {
    shrunk_ = nullptr;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(chooseFont()), TRUE);
    placed_ = RECT{};
    sync();
}

RECT ControlWnd::placement() const {
    const RECT plain = pixelRect(model_.rect(), args_.context->dpi, args_.origin);
    if (fitted_ == nullptr) {
        return plain;
    }
    const ui::PixelRect r =
        fitted_->of(model_, {plain.left, plain.top, plain.right - plain.left, plain.bottom - plain.top});
    return {r.left, r.top, r.right(), r.bottom()};
}

ui::CaptionNeed ControlWnd::captionNeed(int) const {
    return {};
}

void ControlWnd::shrinkFontToFit() {
    if (chooseFont() != font()) {
        return; // a face or size of its own
    }
    const RECT r = placement();
    const auto fits = [&] {
        const ui::CaptionNeed need = captionNeed(r.right - r.left);
        return need.width <= r.right - r.left && need.height <= r.bottom - r.top;
    };
    for (int tenths = args_.context->fonts->tenths() - 5; !fits() && tenths >= 60; tenths -= 5) {
        shrunk_ = args_.context->fonts->sized(tenths);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(shrunk_), TRUE);
    }
}

void ControlWnd::attach() {
    model_.observe([this](ui::Control&) { sync(); });
    sync();
}

void ControlWnd::sync() {
    if (syncing_ || hwnd_ == nullptr) {
        return; // the update in progress reads the model after this change
    }
    syncing_ = true;
    const RECT r = placement();
    if (!EqualRect(&placed_, &r)) {
        placed_ = r;
        SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    syncTooltip();
    syncContent();
    syncing_ = false;
    // Last: disabling or hiding the focused control moves the focus, which the models hear about like any other
    // loss of the focus.
    EnableWindow(hwnd_, model_.enabled() ? TRUE : FALSE);
    const bool shown = (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != model_.visible()) {
        ShowWindow(hwnd_, model_.visible() ? SW_SHOWNA : SW_HIDE);
    }
}

void ControlWnd::syncTooltip() {
    HWND tip = args_.context->tooltip;
    if (tip == nullptr) {
        return;
    }
    std::wstring text = widen(model_.tooltip());
    if (text == tip_ && (hasTool_ || text.empty())) {
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = args_.context->root;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    tool.lpszText = text.data();
    if (text.empty()) {
        SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        hasTool_ = false;
    } else if (!hasTool_) {
        hasTool_ = SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
    } else {
        SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    tip_ = std::move(text);
}

bool ControlWnd::command(UINT) {
    return false;
}

bool ControlWnd::notify(const NMHDR&, LRESULT&) {
    return false;
}

HBRUSH ControlWnd::colour(HDC) {
    return nullptr;
}

void ControlWnd::input(const std::function<void()>& feed) {
    if (syncing_) {
        return;
    }
    feed();
    sync();
    if (afterInput) {
        afterInput();
    }
}

ViewSet::~ViewSet() {
    clear();
}

ControlWnd* ViewSet::add(ui::Control& model, const CreateArgs& args) {
    ControlWnd* view = views_.add(makeControl(model, args));
    if (view != nullptr) {
        byHwnd_[view->hwnd()] = view;
    }
    return view;
}

ControlWnd* ViewSet::viewOf(const ui::Control& model) const {
    return views_.viewOf(model);
}

ControlWnd* ViewSet::viewOf(HWND control) const {
    const auto it = byHwnd_.find(control);
    return it == byHwnd_.end() ? nullptr : it->second;
}

HWND ViewSet::hwndOf(const ui::Control& model) const {
    ControlWnd* view = viewOf(model);
    return view != nullptr ? view->hwnd() : nullptr;
}

bool ViewSet::route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lParam);
        if (from == nullptr) {
            // Return outside a control that takes it: the keyboard navigation asks for the default button, which
            // these windows do not have; the focused button is pressed instead.
            if (LOWORD(wParam) == IDOK) {
                if (ControlWnd* focused = viewOf(GetFocus()); focused != nullptr && focused->returnKey()) {
                    result = 0;
                    return true;
                }
            }
            return false;
        }
        if (ControlWnd* view = viewOf(from); view != nullptr && view->command(HIWORD(wParam))) {
            result = 0;
            return true;
        }
        return false;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (ControlWnd* view = viewOf(header->hwndFrom)) {
            return view->notify(*header, result);
        }
        return false;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HWND control = reinterpret_cast<HWND>(lParam);
        auto* dc = reinterpret_cast<HDC>(wParam);
        if (ControlWnd* view = viewOf(control)) {
            if (HBRUSH brush = view->colour(dc)) {
                result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
        }
        if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
            // Texts, check boxes and frames on the background of their panel.
            HBRUSH brush = backgroundOf(control);
            LOGBRUSH colour{};
            GetObjectW(brush, sizeof(colour), &colour);
            SetBkColor(dc, colour.lbColor);
            result = reinterpret_cast<LRESULT>(brush);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

void ViewSet::syncAll() {
    for (const auto& view : views_.views()) {
        view->sync();
    }
}

void ViewSet::settle() {
    for (const auto& view : views_.views()) {
        view->settle();
    }
}

void ViewSet::fitCaptions(SIZE client) {
    const auto& views = views_.views();
    fitted_.clear();
    for (const auto& view : views) {
        view->setFitted(nullptr);
    }
    std::vector<ui::PlacedControl> placed;
    for (const auto& view : views) {
        // The control's own box: a drop-down list's window reaches further down, over its list.
        const RECT r = view->ControlWnd::placement();
        placed.push_back(
            {&view->model(), GetParent(view->hwnd()), {r.left, r.top, r.right - r.left, r.bottom - r.top}});
    }
    const auto fitted = ui::fitCaptionsByParent(
        placed,
        [&](std::size_t i) {
            if (ControlWnd* owner = viewOf(GetParent(views[i]->hwnd()))) {
                const RECT r = owner->ControlWnd::placement();
                return ui::PixelSize{r.right - r.left, r.bottom - r.top};
            }
            return ui::PixelSize{client.cx, client.cy};
        },
        [&](std::size_t i, int width) { return views[i]->captionNeed(width); });
    for (std::size_t i = 0; i < views.size(); ++i) {
        fitted_.set(views[i]->model(), fitted[i]);
    }
    for (const auto& view : views) {
        view->setFitted(&fitted_);
        view->shrinkFontToFit();
    }
    syncAll();
}

void ViewSet::clear() {
    byHwnd_.clear();
    views_.clear();
}

} // namespace valumat::win32ui
