// Window tests: the configuration window on the fake desktop, with modal dialogs worked by test scripts.
#pragma once

#include "shell/startup.h"
#include "testutil.h"
#include "ui/configwindow.h"

#include <deque>
#include <functional>

namespace valumat::test {

// Runs modal dialogs: each runModal hands the dialog to the next queued script, which works it like a user
// (select, type, press "Speichern"). A dialog still shown after its script (or without one) is closed through its
// close box.
class FakeModal : public ui::ModalHost {
public:
    void runModal(ui::Form& dialog) override;
    int screenWidth() override { return 1024 * 15; }
    int screenHeight() override { return 768 * 15; }

    void queue(std::function<void(ui::Form&)> script) { scripts.push_back(std::move(script)); }
    std::deque<std::function<void(ui::Form&)>> scripts;
    std::vector<std::string> shown; // names of the dialogs shown, in order
};

// The program state, the fake desktop and the configuration window.
struct WindowHarness : Harness {
    WindowHarness();
    FakeModal modal;
    shell::Program program;
    ui::ConfigWindow& window;
    shell::Tray& tray;

    // Copies the shipped data and runs the start-up (Form_Load).
    void startWithShippedData();
};

} // namespace valumat::test
