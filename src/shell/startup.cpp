#include "ui/configwindow.h"

namespace valumat::ui {

void ConfigWindow::Form_Load() {}
void ConfigWindow::cEnde_Click() {}
void ConfigWindow::Form_Unload() {}

} // namespace valumat::ui
