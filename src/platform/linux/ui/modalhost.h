// Modal dialogs in Qt Widgets: each dialog form is shown as a QDialog over the configuration window, its
// controls placed by their positions, until the form model is hidden.
#pragma once

#include "ui/controls.h"

#include <QPointer>
#include <QWidget>

namespace valumat::qtui {

class QtModalHost : public ui::ModalHost {
public:
    // The window the dialogs are modal over (the configuration window); may be set after construction, since the
    // window logic needs the host first.
    void setOwner(QWidget* owner) { owner_ = owner; }

    // Builds the dialog from the form's controls and runs it in a nested event loop until the form is hidden.
    // The dialog's close box works as the form's: the form is hidden and its unload runs.
    void runModal(ui::Form& dialog) override;
    // The primary screen in twips.
    int screenWidth() override;
    int screenHeight() override;

private:
    QPointer<QWidget> owner_;
};

} // namespace valumat::qtui
