// The Win32 renderer over the real configuration window on the fake desktop: the controls show the models, and the
// user's input (sent to the controls as the system would send it) reaches the models and through them the
// program's state.
#include "platform/win32/ui/configwindowview.h"
#include "platform/win32/ui/metrics.h"
#include "platform/win32/ui/modalhost.h"
#include "platform/win32/ui/traymenu.h"
#include "platform/win32/ui/wintext.h"
#include "shell/startup.h"
#include "testutil.h"
#include "ui/configwindow.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace valumat::test {
namespace {

using win32ui::narrow;
using win32ui::twipsToPixels;
using win32ui::widen;
using win32ui::windowText;

// The program state on the fake desktop, the configuration window with the Win32 dialog host, and its view;
// started with the shipped data (the window opens on the key-bindings tab).
struct Win32Window : Harness {
    Win32Window() : host(GetModuleHandleW(nullptr)), program(state, host), window(program.window) {
        desktop.setProgramPath(temp.dir() + "valumat.exe", '/');
        copyShippedData();
        view = std::make_unique<win32ui::ConfigWindowView>(window, GetModuleHandleW(nullptr));
        host.setOwner(view->hwnd());
        program.quit = [this] { ++quits; };
        program.Form_Load();
    }
    ~Win32Window() {
        program.quit = nullptr;
        view.reset();
    }

    HWND hwnd(const ui::Control& model) const {
        HWND h = view->hwndOf(model);
        EXPECT_NE(h, nullptr) << model.name();
        return h;
    }
    std::string text(const ui::Control& model) const { return narrow(windowText(hwnd(model))); }
    void type(const ui::Control& box, const std::wstring& characters) const {
        for (const wchar_t c : characters) {
            SendMessageW(hwnd(box), WM_CHAR, c, 1);
        }
    }
    void click(const ui::Control& button) const { SendMessageW(hwnd(button), BM_CLICK, 0, 0); }
    bool checked(const ui::Control& button) const {
        return SendMessageW(hwnd(button), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    // A click with the mouse on a tab of a tab control.
    void clickTab(const ui::Control& strip, int index) const {
        RECT r{};
        SendMessageW(hwnd(strip), TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(hwnd(strip), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hwnd(strip), WM_LBUTTONUP, 0, at);
    }
    // A click with the mouse on a row of a list box.
    void clickRow(const ui::Control& list, int row) const {
        RECT r{};
        SendMessageW(hwnd(list), LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
        SendMessageW(hwnd(list), LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2);
        SendMessageW(hwnd(list), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hwnd(list), WM_LBUTTONUP, 0, at);
    }
    std::vector<std::string> listItems(const ui::Control& list) const {
        std::vector<std::string> out;
        const int n = static_cast<int>(SendMessageW(hwnd(list), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            std::wstring item(static_cast<std::size_t>(SendMessageW(hwnd(list), LB_GETTEXTLEN, i, 0)), L'\0');
            SendMessageW(hwnd(list), LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            out.push_back(narrow(item));
        }
        return out;
    }
    bool shown(const ui::Control& model) const { return IsWindowVisible(hwnd(model)) != 0; }
    bool enabled(const ui::Control& model) const { return IsWindowEnabled(hwnd(model)) != 0; }
    // The background brush the window gives a control.
    HBRUSH background(const ui::Control& model, UINT message) const {
        HWND control = hwnd(model);
        HDC dc = GetDC(control);
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(GetParent(control), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        ReleaseDC(control, dc);
        return brush;
    }

    win32ui::Win32ModalHost host;
    shell::Program program;
    ui::ConfigWindow& window;
    std::unique_ptr<win32ui::ConfigWindowView> view;
    int quits = 0;
};

// --- sizes and texts -------------------------------------------------------------------------------------------

TEST(Win32Metrics, TwipsBecomePixelsAtTheResolution) {
    EXPECT_EQ(win32ui::twipsToPixels(1440, 96), 96);
    EXPECT_EQ(win32ui::twipsToPixels(15, 96), 1);
    EXPECT_EQ(win32ui::twipsToPixels(1440, 144), 144);
    EXPECT_EQ(win32ui::pixelsToTwips(96, 96), 1440);
    // Controls that adjoin in twips adjoin in pixels, whatever the rounding of each edge.
    const RECT a = win32ui::pixelRect({125, 100, 1003, 300}, 120);
    const RECT b = win32ui::pixelRect({125 + 1003, 100, 777, 300}, 120);
    EXPECT_EQ(a.right, b.left);
    // Positions inside a container are relative to it.
    const RECT inner = win32ui::pixelRect({1560, 720, 960, 960}, 96, POINT{120, 120});
    EXPECT_EQ(inner.left, 96);
    EXPECT_EQ(inner.top, 40);
    EXPECT_EQ(inner.right - inner.left, 64);
}

TEST(Win32Text, Utf8AndUtf16RoundTrip) {
    const std::string german = "Währung € – Größe";
    EXPECT_EQ(widen(german), L"W\u00e4hrung \u20ac \u2013 Gr\u00f6\u00dfe");
    EXPECT_EQ(narrow(widen(german)), german);
    const std::string clef = "\xF0\x9D\x84\x9E"; // outside the basic plane: a surrogate pair
    EXPECT_EQ(widen(clef).size(), 2u);
    EXPECT_EQ(narrow(widen(clef)), clef);
    EXPECT_EQ(narrow(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

// --- the configuration window ----------------------------------------------------------------------------------

TEST(Win32ConfigWindow, StartUpShowsTheFormCentredWithItsClientSize) {
    Win32Window w;
    HWND top = w.view->hwnd();
    ASSERT_TRUE(IsWindowVisible(top));
    EXPECT_EQ(narrow(windowText(top)), "Valumat V1.2 - www.valumat.example");
    const int dpi = win32ui::dpiOf(top);
    RECT client{};
    GetClientRect(top, &client);
    EXPECT_EQ(client.right, win32ui::twipsToPixels(7215, dpi));
    EXPECT_EQ(client.bottom, win32ui::twipsToPixels(5280, dpi));
    RECT frame{};
    GetWindowRect(top, &frame);
    EXPECT_NEAR(frame.left, win32ui::twipsToPixels(w.window.form.rect().left, dpi), 1);
    EXPECT_NEAR(frame.top, win32ui::twipsToPixels(w.window.form.rect().top, dpi), 1);
    wchar_t className[64] = {};
    GetClassNameW(top, className, 64);
    EXPECT_STREQ(className, win32ui::kConfigWindowClass);
}

TEST(Win32ConfigWindow, ControlsLieOnTheirPanelsAtTheirTwips) {
    Win32Window w;
    const int dpi = win32ui::dpiOf(w.view->hwnd());
    ui::KeysTab& keys = w.window.keys;
    EXPECT_EQ(GetParent(w.hwnd(keys.KeyList)), w.hwnd(w.window.tTabs1));
    EXPECT_EQ(GetParent(w.hwnd(w.window.cOK2)), w.view->hwnd());
    RECT r{};
    GetWindowRect(w.hwnd(keys.KeyList), &r);
    MapWindowPoints(HWND_DESKTOP, w.hwnd(w.window.tTabs1), reinterpret_cast<POINT*>(&r), 2);
    const RECT expected = win32ui::pixelRect(keys.KeyList.rect(), dpi);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);

    // The buttons of the options frame are placed inside it: their tab-panel positions minus the frame's.
    ui::OptionsTab& options = w.window.options;
    EXPECT_EQ(GetParent(w.hwnd(options.Command5)), w.hwnd(options.Frame1));
    GetWindowRect(w.hwnd(options.Command5), &r);
    MapWindowPoints(HWND_DESKTOP, w.hwnd(options.Frame1), reinterpret_cast<POINT*>(&r), 2);
    const RECT inFrame =
        win32ui::pixelRect(options.Command5.rect(), dpi, POINT{options.Frame1.rect().left, options.Frame1.rect().top});
    EXPECT_EQ(r.left, inFrame.left);
    EXPECT_EQ(r.top, inFrame.top);
    EXPECT_EQ(GetParent(w.hwnd(w.window.info.Label19)), w.hwnd(w.window.info.Info1));
}

TEST(Win32ConfigWindow, ATabClickShowsItsPanel) {
    Win32Window w;
    EXPECT_TRUE(w.shown(w.window.tTabs1));
    EXPECT_FALSE(w.shown(w.window.tTabs2));
    w.clickTab(w.window.Tabstrip, 1);
    EXPECT_EQ(w.window.Tabstrip.selected(), 2);
    EXPECT_FALSE(w.shown(w.window.tTabs1));
    EXPECT_TRUE(w.shown(w.window.tTabs2));
    // From code (the tray menu): the control follows.
    w.window.selectTab(4);
    EXPECT_EQ(SendMessageW(w.hwnd(w.window.Tabstrip), TCM_GETCURSEL, 0, 0), 3);
    EXPECT_TRUE(w.shown(w.window.tTabs4));
    EXPECT_TRUE(w.shown(w.window.info.labelProduct));
    w.clickTab(w.window.info.TabInfo, 2);
    EXPECT_TRUE(w.shown(w.window.info.tNachricht));
    EXPECT_FALSE(w.shown(w.window.info.labelProduct));
}

TEST(Win32ConfigWindow, ListsKeepTheModelsOrderAndTakeClicks) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    ASSERT_GE(keys.KeyList.count(), 3);
    EXPECT_EQ(w.listItems(keys.KeyList), keys.KeyList.items());
    EXPECT_EQ((GetWindowLongPtrW(w.hwnd(keys.KeyList), GWL_STYLE) & LBS_SORT), 0);
    w.clickRow(keys.KeyList, 2);
    EXPECT_EQ(keys.KeyList.listIndex(), 2);
    // Selecting a binding loads it into the editor: the drop-down lists show the model's choice.
    EXPECT_EQ(SendMessageW(w.hwnd(keys.Combo3), CB_GETCURSEL, 0, 0), keys.Combo3.listIndex());
    EXPECT_EQ(SendMessageW(w.hwnd(keys.Combo2), CB_GETCURSEL, 0, 0), keys.Combo2.listIndex());
    EXPECT_EQ(w.text(keys.Text3), keys.Text3.text());
}

TEST(Win32ConfigWindow, ADropDownChoiceReachesTheBinding) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    const int before = keys.Combo4.listIndex();
    ASSERT_GE(before, 0);
    ASSERT_LT(before + 1, keys.Combo4.count());
    SendMessageW(w.hwnd(keys.Combo4), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(keys.Combo4.listIndex(), before + 1);
    EXPECT_EQ(w.state.bindings[keys.KeyList.listIndex()].targetCurrency, keys.Combo4.text());
    EXPECT_TRUE(w.enabled(w.window.CApply)); // a change is pending
}

// --- text boxes ------------------------------------------------------------------------------------------------

TEST(Win32TextBox, TypedCharactersPassTheKeyFilter) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    EXPECT_FALSE(w.enabled(w.window.CApply));
    // A text set by the program is shown from its beginning; the user puts the caret behind it.
    DWORD start = 9;
    DWORD end = 9;
    SendMessageW(w.hwnd(keys.Text2), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end, 0u);
    SendMessageW(w.hwnd(keys.Text2), EM_SETSEL, 1, 1);
    w.type(keys.Text2, L"\b");
    EXPECT_EQ(keys.Text2.text(), "");
    w.type(keys.Text2, L"x"); // decimals: digits only
    EXPECT_EQ(keys.Text2.text(), "");
    EXPECT_EQ(w.text(keys.Text2), "");
    w.type(keys.Text2, L"34"); // one character at most
    EXPECT_EQ(keys.Text2.text(), "3");
    EXPECT_EQ(w.text(keys.Text2), "3");
    EXPECT_TRUE(w.enabled(w.window.CApply));
    // The caret stands behind the model's text.
    SendMessageW(w.hwnd(keys.Text2), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 1u);
}

TEST(Win32TextBox, TypingReplacesTheSelectionAndKeepsUmlauts) {
    Win32Window w;
    w.window.selectTab(2);
    ui::CurrencyTab& tab = w.window.currencies;
    ASSERT_FALSE(tab.tName.text().empty());
    SendMessageW(w.hwnd(tab.tName), EM_SETSEL, 0, -1);
    w.type(tab.tName, L"K\u00f6rperw\u00e4hrung;");
    EXPECT_EQ(tab.tName.text(), "Körperwährung"); // ";" separates the fields of the record line
    EXPECT_EQ(w.text(tab.tName), "Körperwährung");
    w.type(tab.tName, L"\b");
    EXPECT_EQ(tab.tName.text(), "Körperwährun");
}

TEST(Win32TextBox, APasteArrivesAsAChangeOfTheWholeText) {
    Win32Window w;
    w.window.selectTab(2);
    ui::CurrencyTab& tab = w.window.currencies;
    SendMessageW(w.hwnd(tab.tLand), EM_SETSEL, 0, -1);
    SendMessageW(w.hwnd(tab.tLand), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"Neu;land"));
    EXPECT_EQ(tab.tLand.text(), "Neuland");
    EXPECT_EQ(w.text(tab.tLand), "Neuland");
    EXPECT_TRUE(w.window.state.ChangesPending);
}

TEST(Win32TextBox, MultiLineBoxTakesReturnAndIgnoresEscape) {
    Win32Window w;
    w.window.selectTab(4);
    w.clickTab(w.window.info.TabInfo, 2);
    ui::TextBox& message = w.window.info.tNachricht;
    message.setText("Hallo");
    w.type(message, L"\r");
    w.type(message, L"Welt");
    EXPECT_EQ(message.text(), "Hallo\r\nWelt");
    EXPECT_EQ(w.text(message), "Hallo\r\nWelt");
    HWND panel = w.hwnd(w.window.info.Info3);
    SendMessageW(w.hwnd(message), WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageW(w.hwnd(message), WM_CHAR, 27, 0);
    MSG pending{};
    while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&pending);
    }
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_EQ(message.text(), "Hallo\r\nWelt");
}

TEST(Win32TextBox, BackgroundAndEnabledStateFollowTheModel) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    keys.Check1.setValue(0);
    EXPECT_FALSE(w.enabled(keys.Text1));
    EXPECT_EQ(w.background(keys.Text1, WM_CTLCOLORSTATIC), GetSysColorBrush(COLOR_BTNFACE));
    w.click(keys.Check1);
    EXPECT_EQ(keys.Check1.value(), 1);
    EXPECT_TRUE(w.checked(keys.Check1));
    EXPECT_TRUE(w.enabled(keys.Text1));
    EXPECT_EQ(w.background(keys.Text1, WM_CTLCOLOREDIT), GetSysColorBrush(COLOR_WINDOW));
}

TEST(Win32TextBox, LeavingABoxForAnotherControlIsALossOfFocus) {
    Win32Window w;
    w.window.selectTab(2);
    ui::CurrencyTab& tab = w.window.currencies;
    SetFocus(w.hwnd(tab.t1Euro));
    SendMessageW(w.hwnd(tab.t1Euro), EM_SETSEL, 0, -1);
    w.type(tab.t1Euro, L"4");
    SetFocus(w.hwnd(tab.tName));
    // t1Euro's lost focus computes the other rate.
    EXPECT_EQ(tab.t1Waehrung.text(), "0,25");
    EXPECT_EQ(w.text(tab.t1Waehrung), "0,25");
}

// --- buttons ---------------------------------------------------------------------------------------------------

TEST(Win32Buttons, OptionButtonsFollowTheirGroup) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    keys.Check1.setValue(1);
    w.click(keys.Option1);
    EXPECT_TRUE(keys.Option1.value());
    EXPECT_TRUE(w.checked(keys.Option1));
    w.click(keys.Option2);
    EXPECT_TRUE(keys.Option2.value());
    EXPECT_FALSE(keys.Option1.value());
    EXPECT_TRUE(w.checked(keys.Option2));
    EXPECT_FALSE(w.checked(keys.Option1));
}

TEST(Win32Buttons, ReturnPressesTheFocusedButton) {
    Win32Window w;
    w.window.selectTab(2);
    ui::CurrencyTab& tab = w.window.currencies;
    const int row = tab.List1.listIndex();
    ASSERT_LT(row + 1, tab.List1.count());
    SetFocus(w.hwnd(tab.cNext));
    // What the keyboard navigation sends for Return when no control takes the key.
    SendMessageW(w.view->hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(tab.List1.listIndex(), row + 1);
    EXPECT_EQ(SendMessageW(w.hwnd(tab.List1), LB_GETCURSEL, 0, 0), row + 1);
}

BOOL CALLBACK findTooltip(HWND hwnd, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

TEST(Win32Buttons, TooltipsCarryTheModelsTexts) {
    Win32Window w;
    HWND tip = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findTooltip, reinterpret_cast<LPARAM>(&tip));
    ASSERT_NE(tip, nullptr);
    wchar_t text[256] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = w.view->hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(w.hwnd(w.window.currencies.cAdd));
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(narrow(text), "Neue Währung hinzufügen");
    // A tooltip that changes: the key list's tells the selected binding.
    ui::KeysTab& keys = w.window.keys;
    w.clickRow(keys.KeyList, 1);
    text[0] = L'\0';
    tool.uId = reinterpret_cast<UINT_PTR>(w.hwnd(keys.KeyList));
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(narrow(text), keys.KeyList.item(1));
    // Controls without a tooltip have no tool.
    tool.uId = reinterpret_cast<UINT_PTR>(w.hwnd(keys.Label10));
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)), 0);
}

// --- the window's frame ----------------------------------------------------------------------------------------

TEST(Win32ConfigWindow, TheCloseBoxUnloadsTheProgram) {
    Win32Window w;
    SendMessageW(w.view->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(w.program.unloaded());
    EXPECT_EQ(w.quits, 1);
    EXPECT_FALSE(IsWindowVisible(w.view->hwnd()));
    EXPECT_TRUE(IsWindow(w.view->hwnd())); // the window stays until the program ends
}

TEST(Win32ConfigWindow, BehindTheTrayIconTheWindowHasNoTaskbarButton) {
    Win32Window w;
    HWND top = w.view->hwnd();
    w.program.tray.ShowTray();
    EXPECT_FALSE(IsWindowVisible(top));
    EXPECT_NE(GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    w.program.tray.HideTray(false);
    EXPECT_TRUE(IsWindowVisible(top));
    EXPECT_EQ(GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    // The client area is the form's again.
    RECT client{};
    GetClientRect(top, &client);
    EXPECT_EQ(client.bottom, win32ui::twipsToPixels(5280, win32ui::dpiOf(top)));
}

TEST(Win32ConfigWindow, MovingTheWindowMovesTheForm) {
    Win32Window w;
    HWND top = w.view->hwnd();
    SetWindowPos(top, nullptr, 30, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int dpi = win32ui::dpiOf(top);
    EXPECT_EQ(w.window.form.rect().left, win32ui::pixelsToTwips(30, dpi));
    EXPECT_EQ(w.window.form.rect().top, win32ui::pixelsToTwips(45, dpi));
    RECT frame{};
    GetWindowRect(top, &frame);
    EXPECT_EQ(frame.left, 30); // the model's echo does not move it again
}

// --- the tray menu ---------------------------------------------------------------------------------------------

TEST(Win32TrayMenu, MirrorsTheTraysItems) {
    Win32Window w;
    win32ui::TrayMenu menu(w.program.tray, w.view->hwnd());
    HMENU built = menu.build();
    // The entries shown, with their commands ("Letztes Ergebnis kopieren" shows once a result was not pasted).
    std::vector<std::pair<const ui::MenuItem*, UINT>> shown;
    const std::vector<ui::MenuItem*> all = w.program.tray.menu();
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (all[k]->visible()) {
            shown.emplace_back(all[k], static_cast<UINT>(k + 1));
        }
    }
    ASSERT_EQ(GetMenuItemCount(built), static_cast<int>(shown.size()));
    for (int i = 0; i < GetMenuItemCount(built); ++i) {
        MENUITEMINFOW info{};
        wchar_t caption[128] = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID;
        info.dwTypeData = caption;
        info.cch = 128;
        GetMenuItemInfoW(built, static_cast<UINT>(i), TRUE, &info);
        const ui::MenuItem& item = *shown[static_cast<std::size_t>(i)].first;
        EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, item.separator()) << i;
        if (!item.separator()) {
            EXPECT_EQ(narrow(caption), item.caption());
            EXPECT_EQ(info.wID, shown[static_cast<std::size_t>(i)].second);
        }
    }
    DestroyMenu(built);

    w.program.tray.ShowTray();
    menu.choose(2); // "Währungen"
    EXPECT_TRUE(IsWindowVisible(w.view->hwnd()));
    EXPECT_EQ(w.window.Tabstrip.selected(), 2);
    menu.choose(0); // closed without a choice
    EXPECT_EQ(w.window.Tabstrip.selected(), 2);
}

// --- dialogs ---------------------------------------------------------------------------------------------------

TEST(Win32Dialogs, ANewCurrencyIsEnteredInTheDialog) {
    Win32Window w;
    w.window.selectTab(2);
    ui::CurrencyTab& tab = w.window.currencies;
    const int before = tab.List1.count();
    bool ownerDisabled = false;
    bool dialogOverOwner = false;
    w.host.onShown = [&](ui::Form& form, win32ui::FormWindow& dialog) {
        ownerDisabled = IsWindowEnabled(w.view->hwnd()) == 0;
        dialogOverOwner = GetWindow(dialog.hwnd(), GW_OWNER) == w.view->hwnd();
        EXPECT_EQ(narrow(windowText(dialog.hwnd())), form.caption());
        const auto box = [&](const char* name) {
            return dialog.views().hwndOf(ui::controlOf<ui::TextBox>(form, name));
        };
        for (const auto& [name, typed] :
             std::vector<std::pair<const char*, std::wstring>>{{"tName", L"Testw\u00e4hrung"},
                                                               {"tLand", L"Testland"},
                                                               {"tKurz", L"TST"},
                                                               {"t1Euro", L"2"},
                                                               {"t1Waehrung", L"0,5"}}) {
            for (const wchar_t c : typed) {
                SendMessageW(box(name), WM_CHAR, c, 1);
            }
        }
        SendMessageW(dialog.views().hwndOf(ui::controlOf<ui::Button>(form, "Command1")), BM_CLICK, 0, 0);
    };
    SendMessageW(w.hwnd(tab.cAdd), BM_CLICK, 0, 0);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(dialogOverOwner);
    EXPECT_TRUE(IsWindowEnabled(w.view->hwnd()));
    EXPECT_EQ(FindWindowW(L"ValumatDialog", nullptr), nullptr);
    ASSERT_EQ(tab.List1.count(), before + 1);
    const std::vector<std::string> items = w.listItems(tab.List1);
    EXPECT_NE(std::find(items.begin(), items.end(), "Testwährung"), items.end());
}

TEST(Win32Dialogs, TheCloseBoxHidesTheDialogAndUnloadsIt) {
    Win32Window w;
    ui::KeysTab& keys = w.window.keys;
    const int before = keys.KeyList.count();
    bool closed = false;
    HWND dialogWindow = nullptr;
    std::vector<HWND> tops;
    w.host.onTopWindow = [&tops](HWND top) { tops.push_back(top); };
    w.host.onShown = [&](ui::Form& form, win32ui::FormWindow& dialog) {
        EXPECT_EQ(form.name(), "FNeuKey");
        dialogWindow = dialog.hwnd();
        SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
        closed = !form.visible();
    };
    w.click(keys.Command1);
    EXPECT_TRUE(closed);
    EXPECT_EQ(keys.KeyList.count(), before);
    EXPECT_TRUE(IsWindowEnabled(w.view->hwnd()));
    // Message boxes belong to the dialog while it is open, to the window again afterwards.
    EXPECT_EQ(tops, (std::vector<HWND>{dialogWindow, w.view->hwnd()}));
}

// --- every caption fits its control ------------------------------------------------------------------------------
// Measured with the system's text metrics on the controls as shown, at the resolution the test runs at
// (run_tests.sh runs it at 96 and, with WINE_DPI=144, at 144 dpi): no caption wider (or, wrapped, higher) than its
// control, no two controls of one parent overlapping.

// What is wrong with the shown controls among `models` (their windows found by `hwndOf`), one line each.
void checkLayout(const std::vector<ui::Control*>& models, const std::function<HWND(const ui::Control&)>& hwndOf,
                 int dpi, std::vector<std::string>& faults) {
    std::vector<std::pair<const ui::Control*, HWND>> shown;
    for (const ui::Control* model : models) {
        HWND h = hwndOf(*model);
        if (h == nullptr || IsWindowVisible(h) == 0) {
            continue;
        }
        shown.emplace_back(model, h);
        RECT client{};
        GetClientRect(h, &client);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        const std::wstring text = windowText(h);
        const LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
        SIZE need{};
        if (dynamic_cast<const ui::Label*>(model) != nullptr && (style & SS_TYPEMASK) != SS_ICON && !text.empty()) {
            const SIZE line = win32ui::textExtent(font, text);
            if (client.bottom >= 2 * line.cy) {
                need.cy = win32ui::textExtent(font, text, client.right).cy;
            } else {
                need = line;
            }
        } else if (dynamic_cast<const ui::CheckBox*>(model) != nullptr ||
                   dynamic_cast<const ui::OptionButton*>(model) != nullptr) {
            need = win32ui::textExtent(font, text);
            need.cx += MulDiv(13 + 6, dpi, 96);
        } else if (dynamic_cast<const ui::Button*>(model) != nullptr) {
            need = win32ui::textExtent(font, text);
            need.cx += MulDiv(10, dpi, 96);
        }
        // Controls give way to each other by a pixel or two where the design overlaps, never more.
        RECT outer{};
        GetWindowRect(h, &outer);
        if (outer.right - outer.left < twipsToPixels(model->rect().width, dpi) - 2) {
            faults.push_back(model->name() + ": narrower than designed (" + std::to_string(outer.right - outer.left) +
                             ")");
        }
        if (need.cx > client.right || need.cy > client.bottom) {
            faults.push_back(model->name() + ": caption needs " + std::to_string(need.cx) + "x" +
                             std::to_string(need.cy) + ", has " + std::to_string(client.right) + "x" +
                             std::to_string(client.bottom));
        }
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            if (ui::isContainer(*shown[i].first) || ui::isContainer(*shown[j].first) ||
                GetParent(shown[i].second) != GetParent(shown[j].second)) {
                continue;
            }
            RECT a{};
            RECT b{};
            RECT both{};
            GetWindowRect(shown[i].second, &a);
            GetWindowRect(shown[j].second, &b);
            // A drop-down list's window reaches down over its list; only its box counts.
            for (const auto& [model, rect] : {std::pair{shown[i].first, &a}, std::pair{shown[j].first, &b}}) {
                if (model->name().starts_with("Combo")) {
                    RECT box{};
                    GetClientRect(model == shown[i].first ? shown[i].second : shown[j].second, &box);
                    const int height =
                        static_cast<int>(SendMessageW(model == shown[i].first ? shown[i].second : shown[j].second,
                                                      CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
                    rect->bottom = rect->top + height + 6;
                }
            }
            if (IntersectRect(&both, &a, &b) != 0) {
                faults.push_back(shown[i].first->name() + " overlaps " + shown[j].first->name());
            }
        }
    }
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) {
        all += line + "\n";
    }
    return all;
}

TEST(Win32Layout, EveryCaptionFitsOnEveryTabAndInBothDialogs) {
    Win32Window w;
    const int dpi = win32ui::dpiOf(w.view->hwnd());
    std::vector<std::string> faults;
    const auto check = [&](const std::string& where) {
        std::vector<std::string> found;
        checkLayout(
            w.window.form.controls, [&w](const ui::Control& c) { return w.view->hwndOf(c); }, dpi, found);
        for (const auto& f : found) {
            faults.push_back(where + ": " + f);
        }
    };
    for (int tab = 1; tab <= 4; ++tab) {
        w.window.selectTab(tab);
        check("tab " + std::to_string(tab));
    }
    for (int sub = 2; sub <= 3; ++sub) {
        w.window.info.TabInfo.select(sub);
        check("info " + std::to_string(sub));
    }
    w.window.selectTab(1);
    w.state.hotKeys[0].refused = true;
    w.window.keys.showRefusal();
    check("refusal");

    w.host.onShown = [&](ui::Form& form, win32ui::FormWindow& dialog) {
        std::vector<std::string> found;
        checkLayout(
            form.controls, [&dialog](const ui::Control& c) { return dialog.views().hwndOf(c); }, dpi, found);
        for (const auto& f : found) {
            faults.push_back(form.name() + ": " + f);
        }
        SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
    };
    w.click(w.window.keys.Command1);
    w.window.selectTab(2);
    w.click(w.window.currencies.cAdd);
    std::printf("layout checked at %d dpi\n", dpi);
    EXPECT_TRUE(faults.empty()) << dpi << " dpi:\n" << joined(faults);
}

// The new key-binding dialog opens with the focus in the separator box, the first control of its keyboard order,
// and gets it there again when it is activated without a control that had the focus.
TEST(Win32Dialogs, TheNewKeyBindingDialogStartsInTheSeparatorBox) {
    Win32Window w;
    std::string focused;
    std::string focusedAfterActivation;
    w.host.onShown = [&](ui::Form& form, win32ui::FormWindow& dialog) {
        const auto nameOf = [&](HWND h) {
            for (ui::Control* c : form.controls) {
                if (dialog.views().hwndOf(*c) == h || (h != nullptr && GetParent(h) == dialog.views().hwndOf(*c))) {
                    return c->name();
                }
            }
            return std::string(h == nullptr ? "(none)" : "(other)");
        };
        focused = nameOf(GetFocus());
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // The start does not hang on the windows' stacking order (which renderers change for frames and tab
        // strips, and which the system's own search for the first control follows).
        SetWindowPos(dialog.views().hwndOf(ui::controlOf<ui::TextBox>(form, "Text3")), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetFocus(nullptr);
        SendMessageW(dialog.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
        focusedAfterActivation = nameOf(GetFocus());
        SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
    };
    w.click(w.window.keys.Command1);
    EXPECT_EQ(focused, "Text3");
    EXPECT_EQ(focusedAfterActivation, "Text3");
}

TEST(Win32Dialogs, TheProgramsEndClosesTheDialogAndReachesTheOuterLoop) {
    Win32Window w;
    std::string shown;
    w.host.onShown = [&shown](ui::Form& form, win32ui::FormWindow&) {
        shown = form.name();
        PostQuitMessage(7);
    };
    w.window.selectTab(2);
    w.click(w.window.currencies.cAdd);
    EXPECT_EQ(shown, "FNeu");
    EXPECT_TRUE(IsWindowEnabled(w.view->hwnd()));
    MSG quit{};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 7u);
}

} // namespace
} // namespace valumat::test
