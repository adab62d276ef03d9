// The application shell: start-up (the window's load), the tray icon and its menu, leaving the program and
// unloading the window. It builds on the configuration window and hooks itself into it; the window knows nothing
// of the shell beyond ui::WindowShell.
#pragma once

#include "shell/tray.h"
#include "ui/configwindow.h"

#include <functional>
#include <string>

namespace valumat::shell {

class Program final : public ui::WindowShell {
public:
    Program(AppState& state, ui::ModalHost& host);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ui::ConfigWindow window;
    Tray tray;

    // Start-up: reads the tables, registers the hot keys, then shows the window or hides it behind the tray icon.
    void Form_Load();
    // "Beenden" (button and tray menu): offers to save pending changes, then unloads the window.
    void cEnde_Click() override;
    // Unloading the window: hot keys and tray icon away; the program ends.
    void Form_Unload() override;
    // Hides the window behind the tray icon; a refusal announced meanwhile is shown there once.
    void ShowTray() override;
    void announceRefusedHotKeys() override;
    void modeCaptionChanged() override { tray.modeCaptionChanged(); }

    bool unloaded() const { return unloaded_; }
    // Set by the backend: ends the program's event loop once the window is unloaded.
    std::function<void()> quit;

private:
    bool unloaded_ = false;
    std::string refusalMessage_; // waits for the tray icon
};

} // namespace valumat::shell
