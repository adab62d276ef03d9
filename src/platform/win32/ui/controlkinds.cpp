// The wrappers of the kinds of control: static texts and links, buttons, check boxes, option buttons, text boxes,
// list boxes, drop-down lists, tab strips and panels.
#include "platform/win32/res/resource.h"
#include "platform/win32/ui/controlwnd.h"
#include "platform/win32/ui/wintext.h"

#include <uxtheme.h>

#include <vector>

namespace valumat::win32ui {

namespace {

// Whether a window is drawn by the visual-styles engine. uxtheme.dll is loaded when needed, so that the program
// imports nothing beyond the core system libraries.
bool themed(HWND window) {
    using GetWindowThemeFn = HTHEME(WINAPI*)(HWND);
    static const auto getWindowTheme = [] {
        HMODULE module = LoadLibraryW(L"uxtheme.dll");
        return module != nullptr ? reinterpret_cast<GetWindowThemeFn>(
                                       reinterpret_cast<void (*)()>(GetProcAddress(module, "GetWindowTheme")))
                                 : nullptr;
    }();
    return getWindowTheme != nullptr && getWindowTheme(window) != nullptr;
}

} // namespace

namespace {

// Sets a control's text when it differs from what it shows; true when it did.
bool setText(HWND hwnd, const std::wstring& text) {
    if (windowText(hwnd) == text) {
        return false;
    }
    SetWindowTextW(hwnd, text.c_str());
    return true;
}

// The colour of links: the system's, unless a theme made it too pale to read on a light page.
COLORREF linkColour() {
    const COLORREF system = GetSysColor(COLOR_HOTLIGHT);
    const int lightness = (GetRValue(system) * 299 + GetGValue(system) * 587 + GetBValue(system) * 114) / 1000;
    return lightness < 160 ? system : RGB(0, 102, 204);
}

// ---------------------------------------------------------------------------------------------------------------

// A label: a static text, a link (a static in the link colour, underlined, with the hand cursor) when the model
// reacts to clicks, or a picture once it was given an icon.
// A caption beside a check box's or an option button's box: the box (13 pixels at 96 dpi), the gap after it and the
// text.
ui::CaptionNeed indicatorCaptionNeed(HFONT font, const std::string& caption, int dpi) {
    const SIZE size = textExtent(font, widen(caption));
    return {MulDiv(13 + 6, dpi, 96) + size.cx, size.cy};
}

class LabelWnd : public ControlWnd {
public:
    LabelWnd(ui::Label& model, const CreateArgs& args)
        : ControlWnd(model, args), label_(model), link_(static_cast<bool>(model.onClick)) {
        DWORD style = SS_NOTIFY | SS_NOPREFIX;
        switch (model.alignment) {
        case ui::Alignment::Center:
            style |= SS_CENTER;
            break;
        case ui::Alignment::Right:
            style |= SS_RIGHT;
            break;
        case ui::Alignment::Left:
            style |= SS_LEFT;
            break;
        }
        create(L"STATIC", style);
        if (oneLine()) {
            // A label one line high shows its text on one line (a word that does not fit is cut, not wrapped out
            // of sight), centred in the height.
            SetWindowLongPtrW(hwnd(), GWL_STYLE, GetWindowLongPtrW(hwnd(), GWL_STYLE) | SS_CENTERIMAGE);
        }
        if (link_) {
            SetWindowSubclass(hwnd(), linkProc, 1, 0);
        }
    }

    ~LabelWnd() override {
        if (link_) {
            RemoveWindowSubclass(hwnd(), linkProc, 1);
        }
        if (icon_ != nullptr) {
            DestroyIcon(icon_);
        }
    }

    void setIcon(HICON icon) {
        if (icon_ != nullptr) {
            DestroyIcon(icon_);
        }
        icon_ = icon;
        // A static shows an icon only with the icon style; centred, it keeps its size.
        LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
        style = (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_ICON | SS_CENTERIMAGE;
        SetWindowLongPtrW(hwnd(), GWL_STYLE, style);
        SendMessageW(hwnd(), STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon_));
        sync();
    }

    bool command(UINT code) override {
        if (code == STN_CLICKED && link_) {
            input([this] { label_.click(); });
            return true;
        }
        return false;
    }

    // One line, or wrapped text for a label high enough for two lines.
    ui::CaptionNeed captionNeed(int width) const override {
        if (icon_ != nullptr || label_.caption().empty()) {
            return {};
        }
        const std::wstring text = widen(label_.caption());
        if (oneLine()) {
            const SIZE size = textExtent(shownFont(), text);
            return {size.cx, size.cy};
        }
        const SIZE size = textExtent(shownFont(), text, width);
        return {std::min<int>(size.cx, width), size.cy};
    }

    HBRUSH colour(HDC dc) override {
        if (!link_) {
            return nullptr;
        }
        SetTextColor(dc, linkColour());
        SetBkMode(dc, TRANSPARENT);
        return backgroundOf(hwnd());
    }

private:
    HFONT chooseFont() const override {
        if (link_) {
            return args().context->fonts->link();
        }
        if (!label_.fontName.empty() || label_.fontSizePoints > 0) {
            return args().context->fonts->variant(label_.fontName, label_.fontSizePoints);
        }
        return font();
    }

    bool oneLine() const {
        HDC dc = GetDC(hwnd());
        HGDIOBJ before = SelectObject(dc, chooseFont());
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, before);
        ReleaseDC(hwnd(), dc);
        const RECT r = placement();
        return r.bottom - r.top < 2 * metrics.tmHeight;
    }

    static LRESULT CALLBACK linkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
        if (message == WM_SETCURSOR) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649))); // IDC_HAND
            return TRUE;
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }

    void syncContent() override {
        if (icon_ == nullptr) {
            setText(hwnd(), widen(label_.caption()));
        }
    }

    ui::Label& label_;
    bool link_;
    HICON icon_ = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------

// A push button. The focus is part of the model (the window puts it on a button after "Übernehmen").
class ButtonWnd : public ControlWnd {
public:
    ButtonWnd(ui::Button& model, const CreateArgs& args) : ControlWnd(model, args), button_(model) {
        create(L"BUTTON", BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP);
    }

    bool command(UINT code) override {
        switch (code) {
        case BN_CLICKED:
            input([this] { button_.click(); });
            return true;
        case BN_SETFOCUS:
        case BN_KILLFOCUS:
            if (!syncing() && button_.hasFocus() != (code == BN_SETFOCUS)) {
                feedingFocus_ = true;
                button_.setFocus(code == BN_SETFOCUS);
                feedingFocus_ = false;
            }
            return true;
        default:
            return false;
        }
    }

    bool returnKey() override {
        input([this] { button_.click(); });
        return true;
    }

    // The text between the button's edges and margins.
    ui::CaptionNeed captionNeed(int) const override {
        const SIZE size = textExtent(shownFont(), widen(button_.caption()));
        return {size.cx + MulDiv(10, args().context->dpi, 96), size.cy};
    }

private:
    void syncContent() override {
        setText(hwnd(), widen(button_.caption()));
        if (button_.hasFocus() && !feedingFocus_ && GetFocus() != hwnd()) {
            SetFocus(hwnd());
        }
    }

    ui::Button& button_;
    bool feedingFocus_ = false;
};

// ---------------------------------------------------------------------------------------------------------------

// A text box. Typed characters are taken away from the edit control and typed into the model, which runs the
// KeyPress filter and decides what the text becomes; the control then shows the model's text with the caret at the
// end. Everything else the user does to the text (paste, cut, Delete, undo) arrives as a change of the whole text.
class TextBoxWnd : public ControlWnd {
public:
    TextBoxWnd(ui::TextBox& model, const CreateArgs& args) : ControlWnd(model, args), box_(model) {
        DWORD style = WS_TABSTOP;
        if (model.multiLine) {
            style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
        } else {
            style |= ES_AUTOHSCROLL;
        }
        create(L"EDIT", style, WS_EX_CLIENTEDGE);
        SetWindowSubclass(hwnd(), editProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }

    ~TextBoxWnd() override { RemoveWindowSubclass(hwnd(), editProc, 1); }

    bool command(UINT code) override {
        if (code == EN_CHANGE && !syncing() && !typing_) {
            userInput_ = true;
            input([this] { box_.edit(fromShown(windowText(hwnd()))); });
            userInput_ = false;
            return true;
        }
        return code == EN_CHANGE;
    }

    HBRUSH colour(HDC dc) override {
        const int index = box_.backColor() == ui::BackColor::ButtonFace ? COLOR_BTNFACE : COLOR_WINDOW;
        SetBkColor(dc, GetSysColor(index));
        SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd()) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        return GetSysColorBrush(index);
    }

private:
    static LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
        auto* self = reinterpret_cast<TextBoxWnd*>(data);
        switch (message) {
        case WM_CHAR:
            if (self->character(static_cast<wchar_t>(wParam))) {
                return 0;
            }
            break;
        case WM_KEYDOWN:
            // A multi-line edit closes its parent on Escape; the windows here have no cancel key.
            if (wParam == VK_ESCAPE && self->box_.multiLine) {
                return 0;
            }
            break;
        case WM_GETDLGCODE: {
            LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
            // Tab moves on to the next control, also out of a multi-line box.
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
                code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
            }
            return code;
        }
        case WM_KILLFOCUS: {
            const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
            // Focus that goes to another window (a menu, a dialog, another program) is not lost by the control.
            HWND to = reinterpret_cast<HWND>(wParam);
            if (to != nullptr && GetAncestor(to, GA_ROOT) == GetAncestor(hwnd, GA_ROOT)) {
                self->input([self] { self->box_.loseFocus(); });
            }
            return result;
        }
        default:
            break;
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }

    // A character key; true when the model took it (the edit control must not insert it itself).
    bool character(wchar_t c) {
        if (IS_HIGH_SURROGATE(c)) {
            pendingHigh_ = c;
            return true;
        }
        std::wstring typed(1, c);
        if (IS_LOW_SURROGATE(c)) {
            if (pendingHigh_ == 0) {
                return true;
            }
            typed.insert(typed.begin(), pendingHigh_);
        }
        pendingHigh_ = 0;
        if (c == L'\b') {
            if (hasSelection() || !caretAtEnd()) {
                return false; // the control removes what the user means; the result comes back as a change
            }
            type("\b");
            return true;
        }
        if (c == L'\r' || c == L'\n') {
            if (box_.multiLine) {
                type("\r\n");
            }
            return true;
        }
        if (c == 27) {
            return true;
        }
        if (c < 0x20 || c == 0x7F) {
            return false; // the control's own commands: copy, paste, cut, undo, select all
        }
        type(narrow(typed));
        return true;
    }

    std::pair<DWORD, DWORD> selection() const {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    bool hasSelection() const {
        const auto [start, end] = selection();
        return start != end;
    }
    bool caretAtEnd() const { return selection().second == static_cast<DWORD>(GetWindowTextLengthW(hwnd())); }

    // Typing replaces the selection, like in any text box: the selected text goes first as a change.
    void type(const std::string& typed) {
        userInput_ = true;
        input([this, typed] {
            const auto [start, end] = selection();
            if (start != end) {
                std::wstring text = windowText(hwnd());
                text.erase(start, end - start);
                box_.edit(fromShown(text));
            }
            typing_ = true;
            box_.type(typed);
            typing_ = false;
        });
        userInput_ = false;
        caretToEnd();
    }

    void caretToEnd() {
        const int length = GetWindowTextLengthW(hwnd());
        SendMessageW(hwnd(), EM_SETSEL, static_cast<WPARAM>(length), length);
        SendMessageW(hwnd(), EM_SCROLLCARET, 0, 0);
    }

    // A multi-line control breaks lines at CR LF only; lone CR or LF of the model are shown as line breaks too.
    std::wstring shown(const std::string& text) const {
        std::wstring wide = widen(text);
        if (!box_.multiLine) {
            return wide;
        }
        std::wstring out;
        out.reserve(wide.size());
        for (std::size_t i = 0; i < wide.size(); ++i) {
            if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') {
                out += L"\r\n";
                ++i;
            } else if (wide[i] == L'\r' || wide[i] == L'\n') {
                out += L"\r\n";
            } else {
                out += wide[i];
            }
        }
        return out;
    }
    static std::string fromShown(const std::wstring& text) { return narrow(text); }

    void syncContent() override {
        SendMessageW(hwnd(), EM_LIMITTEXT, box_.maxLength > 0 ? static_cast<WPARAM>(box_.maxLength) : 0, 0);
        if (setText(hwnd(), shown(box_.text()))) {
            // After the user's input the caret stands behind the model's text; a text set by the program is shown
            // from its beginning.
            if (userInput_) {
                caretToEnd();
            } else {
                SendMessageW(hwnd(), EM_SETSEL, 0, 0);
                SendMessageW(hwnd(), EM_SCROLLCARET, 0, 0);
            }
        }
        InvalidateRect(hwnd(), nullptr, TRUE); // the background colour may have changed
    }

    ui::TextBox& box_;
    wchar_t pendingHigh_ = 0;
    bool typing_ = false;
    bool userInput_ = false; // the text changes because of what the user did
};

// ---------------------------------------------------------------------------------------------------------------

// A check box: the control toggles itself on a click, the model decides, and the control shows the model again.
class CheckBoxWnd : public ControlWnd {
public:
    CheckBoxWnd(ui::CheckBox& model, const CreateArgs& args) : ControlWnd(model, args), check_(model) {
        create(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
    }

    bool command(UINT code) override {
        if (code == BN_CLICKED) {
            input([this] { check_.click(); });
            return true;
        }
        return false;
    }

    ui::CaptionNeed captionNeed(int) const override {
        return indicatorCaptionNeed(shownFont(), check_.caption(), args().context->dpi);
    }

private:
    void syncContent() override {
        setText(hwnd(), widen(check_.caption()));
        SendMessageW(hwnd(), BM_SETCHECK, check_.value() != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    ui::CheckBox& check_;
};

// An option button. The controls do not switch each other off: the model's group does, and the wrappers of the
// other buttons follow it (ViewSet re-syncs them after each click).
class OptionButtonWnd : public ControlWnd {
public:
    OptionButtonWnd(ui::OptionButton& model, const CreateArgs& args) : ControlWnd(model, args), option_(model) {
        create(L"BUTTON", BS_RADIOBUTTON | WS_TABSTOP);
    }

    bool command(UINT code) override {
        if (code == BN_CLICKED) {
            input([this] { option_.click(); });
            return true;
        }
        return false;
    }

    ui::CaptionNeed captionNeed(int) const override {
        return indicatorCaptionNeed(shownFont(), option_.caption(), args().context->dpi);
    }

private:
    void syncContent() override {
        setText(hwnd(), widen(option_.caption()));
        SendMessageW(hwnd(), BM_SETCHECK, option_.value() ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    ui::OptionButton& option_;
};

// ---------------------------------------------------------------------------------------------------------------

// The items of a list model; the control is refilled only when they differ from what it shows.
bool sameItems(const ui::ListBox& list, const std::vector<std::string>& shown) {
    const int n = list.count();
    if (static_cast<std::size_t>(n) != shown.size()) {
        return false;
    }
    for (int i = 0; i < n; ++i) {
        if (list.item(i) != shown[static_cast<std::size_t>(i)]) {
            return false;
        }
    }
    return true;
}

// A list box. The models give the order of the rows (bound to the program's tables): the control never sorts.
class ListBoxWnd : public ControlWnd {
public:
    ListBoxWnd(ui::ListBox& model, const CreateArgs& args) : ControlWnd(model, args), list_(model) {
        create(L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
    }

    bool command(UINT code) override {
        if (code != LBN_SELCHANGE) {
            return false;
        }
        const int row = static_cast<int>(SendMessageW(hwnd(), LB_GETCURSEL, 0, 0));
        input([this, row] {
            if (row >= 0) {
                list_.select(row);
            }
        });
        return true;
    }

private:
    void syncContent() override {
        if (!sameItems(list_, shown_)) {
            shown_ = list_.items();
            SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
            SendMessageW(hwnd(), LB_RESETCONTENT, 0, 0);
            for (const std::string& item : shown_) {
                const std::wstring wide = widen(item);
                SendMessageW(hwnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
            }
            SendMessageW(hwnd(), WM_SETREDRAW, TRUE, 0);
            InvalidateRect(hwnd(), nullptr, TRUE);
        }
        const int row = list_.listIndex();
        if (static_cast<int>(SendMessageW(hwnd(), LB_GETCURSEL, 0, 0)) != row) {
            SendMessageW(hwnd(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        }
    }

    ui::ListBox& list_;
    std::vector<std::string> shown_;
};

// A drop-down list: the user picks, never types. The height given to the control is that of the open list.
class ComboBoxWnd : public ControlWnd {
public:
    ComboBoxWnd(ui::ListBox& model, const CreateArgs& args) : ControlWnd(model, args), list_(model) {
        create(L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
        SendMessageW(hwnd(), CB_SETMINVISIBLE, kVisibleRows, 0);
    }

    bool command(UINT code) override {
        if (code != CBN_SELCHANGE) {
            return false;
        }
        const int row = static_cast<int>(SendMessageW(hwnd(), CB_GETCURSEL, 0, 0));
        input([this, row] {
            if (row >= 0) {
                list_.select(row);
            }
        });
        return true;
    }

private:
    static constexpr int kVisibleRows = 16;

    RECT placement() const override {
        RECT r = ControlWnd::placement();
        r.bottom += twipsToPixels(kVisibleRows * 210, args().context->dpi);
        return r;
    }

    void syncContent() override {
        if (!sameItems(list_, shown_)) {
            shown_ = list_.items();
            SendMessageW(hwnd(), CB_RESETCONTENT, 0, 0);
            for (const std::string& item : shown_) {
                const std::wstring wide = widen(item);
                SendMessageW(hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
            }
        }
        const int row = list_.listIndex();
        if (static_cast<int>(SendMessageW(hwnd(), CB_GETCURSEL, 0, 0)) != row) {
            SendMessageW(hwnd(), CB_SETCURSEL, static_cast<WPARAM>(row), 0);
        }
    }

    ui::ListBox& list_;
    std::vector<std::string> shown_;
};

// ---------------------------------------------------------------------------------------------------------------

// The resource of a tab icon by its image name ("tab1" to "tab4"); 0 for any other name.
int tabIconResource(const std::string& name) {
    static const char* const names[] = {"tab1", "tab2", "tab3", "tab4"};
    static const int ids[] = {IDI_TAB1, IDI_TAB2, IDI_TAB3, IDI_TAB4};
    for (int i = 0; i < 4; ++i) {
        if (name == names[i]) {
            return ids[i];
        }
    }
    return 0;
}

// A tab strip: the tab control is the frame; the panels that belong to the tabs are separate controls that lie over
// it (the strip stays below its siblings).
class TabStripWnd : public ControlWnd {
public:
    TabStripWnd(ui::TabStrip& model, const CreateArgs& args) : ControlWnd(model, args), strip_(model) {
        create(WC_TABCONTROLW, WS_TABSTOP);
        SetWindowSubclass(hwnd(), stripProc, 1, 0);
        if (!model.images.empty()) {
            const int size = MulDiv(16, args.context->dpi, 96);
            images_ = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(model.images.size()), 0);
            for (const std::string& name : model.images) {
                const int id = tabIconResource(name);
                auto* icon = id != 0 ? static_cast<HICON>(LoadImageW(args.context->instance, MAKEINTRESOURCEW(id),
                                                                     IMAGE_ICON, size, size, LR_DEFAULTCOLOR))
                                     : nullptr;
                imageIndex_.push_back(icon != nullptr ? ImageList_AddIcon(images_, icon) : -1);
                if (icon != nullptr) {
                    DestroyIcon(icon);
                }
            }
            SendMessageW(hwnd(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
        }
        const auto& captions = model.captions();
        for (std::size_t i = 0; i < captions.size(); ++i) {
            std::wstring text = widen(captions[i]);
            TCITEMW item{};
            item.mask = TCIF_TEXT | TCIF_IMAGE;
            item.pszText = text.data();
            item.iImage = i < imageIndex_.size() ? imageIndex_[i] : -1;
            SendMessageW(hwnd(), TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        shown_ = captions;
    }

    ~TabStripWnd() override {
        RemoveWindowSubclass(hwnd(), stripProc, 1);
        if (images_ != nullptr) {
            SendMessageW(hwnd(), TCM_SETIMAGELIST, 0, 0);
            ImageList_Destroy(images_);
        }
    }

    void settle() override { SetWindowPos(hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE); }

    bool notify(const NMHDR& header, LRESULT& result) override {
        if (header.code != static_cast<UINT>(TCN_SELCHANGE)) {
            return false;
        }
        const int index = static_cast<int>(SendMessageW(hwnd(), TCM_GETCURSEL, 0, 0));
        input([this, index] { strip_.select(index + 1); });
        result = 0;
        return true;
    }

private:
    // Beside and behind its tabs the strip shows the background of what it lies on (a tab strip on a page).
    static LRESULT CALLBACK stripProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
        if (message == WM_ERASEBKGND) {
            RECT r{};
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, backgroundOf(hwnd));
            return 1;
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }

    void syncContent() override {
        const auto& captions = strip_.captions();
        for (std::size_t i = 0; i < captions.size() && i < shown_.size(); ++i) {
            if (captions[i] != shown_[i]) {
                std::wstring text = widen(captions[i]);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text.data();
                SendMessageW(hwnd(), TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
                shown_[i] = captions[i];
            }
        }
        const int index = strip_.selected() - 1;
        if (static_cast<int>(SendMessageW(hwnd(), TCM_GETCURSEL, 0, 0)) != index) {
            SendMessageW(hwnd(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }

    ui::TabStrip& strip_;
    HIMAGELIST images_ = nullptr;
    std::vector<int> imageIndex_;
    std::vector<std::string> shown_;
};

// A panel: a plain child window that holds controls, with a group box as its frame when it has a caption.
class PanelWnd : public ControlWnd {
public:
    PanelWnd(ui::Panel& model, const CreateArgs& args) : ControlWnd(model, args), panel_(model) {
        create(panelClass(args.context->instance), WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
        SetWindowLongPtrW(hwnd(), 0, reinterpret_cast<LONG_PTR>(background()));
        if (!model.caption().empty()) {
            RECT client{};
            GetClientRect(hwnd(), &client);
            frame_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, client.right,
                                     client.bottom, hwnd(), nullptr, args.context->instance, nullptr);
            SendMessageW(frame_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
        }
    }

    void settle() override {
        if (frame_ != nullptr) {
            SetWindowPos(frame_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    void rescale() override {
        if (frame_ != nullptr) {
            SendMessageW(frame_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE);
        }
        ControlWnd::rescale();
    }

private:
    // A panel on a themed tab strip takes the strip's page colour; one inside another panel takes that one's.
    HBRUSH background() const {
        HWND parent = args().parent;
        wchar_t name[32] = {};
        if (GetClassNameW(parent, name, 32) > 0 && lstrcmpW(name, panelClass(args().context->instance)) == 0) {
            return backgroundOf(hwnd());
        }
        RECT mine{};
        GetWindowRect(hwnd(), &mine);
        for (HWND sibling = GetWindow(parent, GW_CHILD); sibling != nullptr;
             sibling = GetWindow(sibling, GW_HWNDNEXT)) {
            RECT theirs{};
            RECT common{};
            GetWindowRect(sibling, &theirs);
            if (sibling != hwnd() && GetClassNameW(sibling, name, 32) > 0 && lstrcmpiW(name, WC_TABCONTROLW) == 0 &&
                IntersectRect(&common, &mine, &theirs) != 0 && EqualRect(&common, &mine) != 0) {
                return themed(sibling) ? GetSysColorBrush(COLOR_WINDOW) : GetSysColorBrush(COLOR_BTNFACE);
            }
        }
        return GetSysColorBrush(COLOR_BTNFACE);
    }

    void syncContent() override {
        if (frame_ != nullptr) {
            RECT client{};
            GetClientRect(hwnd(), &client);
            SetWindowPos(frame_, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
            setText(frame_, widen(panel_.caption()));
        }
    }

    ui::Panel& panel_;
    HWND frame_ = nullptr;
};

} // namespace

std::unique_ptr<ControlWnd> makeControl(ui::Control& model, const CreateArgs& args) {
    std::unique_ptr<ControlWnd> view;
    if (auto* label = dynamic_cast<ui::Label*>(&model)) {
        view = std::make_unique<LabelWnd>(*label, args);
    } else if (auto* button = dynamic_cast<ui::Button*>(&model)) {
        view = std::make_unique<ButtonWnd>(*button, args);
    } else if (auto* box = dynamic_cast<ui::TextBox*>(&model)) {
        view = std::make_unique<TextBoxWnd>(*box, args);
    } else if (auto* check = dynamic_cast<ui::CheckBox*>(&model)) {
        view = std::make_unique<CheckBoxWnd>(*check, args);
    } else if (auto* option = dynamic_cast<ui::OptionButton*>(&model)) {
        view = std::make_unique<OptionButtonWnd>(*option, args);
    } else if (auto* list = dynamic_cast<ui::ListBox*>(&model)) {
        if (list->name().starts_with("Combo")) {
            view = std::make_unique<ComboBoxWnd>(*list, args);
        } else {
            view = std::make_unique<ListBoxWnd>(*list, args);
        }
    } else if (auto* strip = dynamic_cast<ui::TabStrip*>(&model)) {
        view = std::make_unique<TabStripWnd>(*strip, args);
    } else if (auto* panel = dynamic_cast<ui::Panel*>(&model)) {
        view = std::make_unique<PanelWnd>(*panel, args);
    }
    if (view) {
        view->attach();
    }
    return view;
}

void setLabelIcon(ControlWnd& label, HICON icon) {
    if (auto* wrapper = dynamic_cast<LabelWnd*>(&label)) {
        wrapper->setIcon(icon);
    } else if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

} // namespace valumat::win32ui
