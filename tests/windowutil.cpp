#include "windowutil.h"

namespace valumat::test {

void FakeModal::runModal(ui::Form& dialog) {
    shown.push_back(dialog.name());
    if (!scripts.empty()) {
        auto script = std::move(scripts.front());
        scripts.pop_front();
        script(dialog);
    }
    if (dialog.visible()) {
        dialog.setVisible(false);
        if (dialog.onUnload) {
            dialog.onUnload();
        }
    }
}

WindowHarness::WindowHarness() : program(state, modal), window(program.window), tray(program.tray) {
    // The program lives in the temporary folder: start-up takes its directory from the program's path.
    desktop.setProgramPath(temp.dir() + "valumat.exe", '/');
}

void WindowHarness::startWithShippedData() {
    copyShippedData();
    program.Form_Load();
}

} // namespace valumat::test
