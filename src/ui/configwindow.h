// The configuration window FConfig: the tab strip with its four panels, the button row and the pending-changes flag.
// Start-up, the tray icon and leaving the program belong to the application shell (src/shell), which builds on the
// window and hooks itself in through WindowShell.
#pragma once

#include "runtime/tables.h"
#include "ui/controls.h"
#include "ui/currencytab.h"
#include "ui/infotab.h"
#include "ui/keystab.h"
#include "ui/optionstab.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace valumat::ui {

// "Valumat V1.2 - " and the maker's web domain.
std::string windowCaption();

// What the window leaves to the application shell: hiding behind the tray icon (Ok, Abbrechen), the tray menu's
// mode caption, leaving the program ("Beenden") and unloading the window.
class WindowShell {
public:
    virtual ~WindowShell() = default;
    virtual void ShowTray() = 0;
    virtual void modeCaptionChanged() = 0;
    virtual void cEnde_Click() = 0;
    virtual void Form_Unload() = 0;
    // The hot keys were registered anew by "Ok": combinations other programs hold are announced once.
    virtual void announceRefusedHotKeys() = 0;
};

class ConfigWindow {
public:
    ConfigWindow(AppState& state, ModalHost& host);
    ~ConfigWindow();
    ConfigWindow(const ConfigWindow&) = delete;
    ConfigWindow& operator=(const ConfigWindow&) = delete;

    AppState& state;
    ModalHost& host;

    Form form;
    TabStrip Tabstrip; // "Tasten", "Währungen", "Optionen", "Info"
    Panel tTabs1, tTabs2, tTabs3, tTabs4;
    Button cEnde, cOK2, CCancel, CApply;

    KeysTab keys;
    CurrencyTab currencies;
    OptionsTab options;
    InfoTab info;
    // Set by the shell; without one (a window on its own) its actions do nothing.
    WindowShell* shell = nullptr;

    Panel& tTabs(int k); // 1..4

    // Where a control of the window lies: on which panel (nullptr: on the form itself), and the offset in twips of
    // that panel when it is a frame or a sub-panel inside a tab panel (the positions of a tab's controls are all
    // relative to the tab panel, so a renderer subtracts it for a control placed inside the inner panel).
    struct Placement {
        Panel* panel = nullptr;
        int offsetLeft = 0;
        int offsetTop = 0;
    };
    Placement placementOf(const Control& control) const;

    // Mark changed: ChangesPending set and "Übernehmen" enabled.
    void markChanged();
    // ChangesPending cleared and "Übernehmen" disabled.
    void clearChanges();
    // Selects tab n (1..4) as a click would.
    void selectTab(int n);
    // A message box through the platform.
    platform::MessageAnswer message(const std::string& text, const std::string& title, platform::MessageIcon icon,
                                    platform::MessageButtons buttons = platform::MessageButtons::Ok,
                                    platform::DefaultButton defaultButton = platform::DefaultButton::First);

    // Handlers of the frame.
    void Tabstrip_Click();
    void CApply_Click();
    void cOK2_Click();
    void CCancel_Click();

    // The user closes the window through the system: only the unload runs.
    void closeBySystem();

private:
    void stateChanged(Changed what);
    std::vector<std::pair<const Control*, Placement>> placements_;
};

} // namespace valumat::ui
