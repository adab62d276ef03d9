#include "platform/linux/ui/modalhost.h"

#include "platform/linux/ui/renderer.h"
#include "ui/viewregistry.h"

#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QScreen>

#include <cmath>
#include <functional>

namespace valumat::qtui {

namespace {

// The dialog window: closing and moving go to the form model; nothing ends the dialog but the model.
class DialogWindow : public QDialog {
public:
    explicit DialogWindow(QWidget* owner) : QDialog(owner) {}
    std::function<void()> onClose;
    std::function<void()> onMove;

protected:
    void closeEvent(QCloseEvent* event) override {
        // Hiding the form ends the dialog's loop (see runModal); the window itself stays until then.
        event->ignore();
        if (onClose) {
            onClose();
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->accept(); // the forms have no cancel key
            return;
        }
        QDialog::keyPressEvent(event);
    }
    void moveEvent(QMoveEvent* event) override {
        QDialog::moveEvent(event);
        if (onMove && isVisible()) {
            onMove();
        }
    }
};

QScreen* screen() {
    return QGuiApplication::primaryScreen();
}

} // namespace

void QtModalHost::runModal(ui::Form& form) {
    DialogWindow dialog(owner_);
    dialog.setObjectName(QString::fromStdString(form.name()));
    dialog.setModal(true);
    useDesignFont(dialog);
    ui::Twips applied{-1, -1, -1, -1};
    ViewSet views; // destroyed before the dialog and its widgets
    for (ui::Control* c : form.controls) {
        views.add(*c, &dialog);
    }
    views.fitCaptions(pixelRect(form.rect(), dialog).size());

    dialog.onClose = [&form] { ui::closeByCloseBox(form); };
    dialog.onMove = [&form, &dialog, &applied] { feedFormMove(form, dialog, applied); };
    const ui::FormObserverGuard guard{form};
    form.observe([&form, &dialog, &applied](ui::Control&) {
        syncFormWindow(form, dialog, applied);
        if (!form.visible()) {
            dialog.done(QDialog::Accepted);
        }
    });
    syncFormWindow(form, dialog, applied);

    if (form.visible()) {
        dialog.exec();
    }
    form.observe(nullptr);
    views.clear();
    // The loop also ends when the program quits: the dialog goes the way of its close box.
    if (form.visible()) {
        ui::closeByCloseBox(form);
    }
}

int QtModalHost::screenWidth() {
    QScreen* s = screen();
    if (s == nullptr) {
        return 1024 * 15;
    }
    return pixelsToTwips(s->geometry().width(), static_cast<int>(std::lround(s->logicalDotsPerInchX())));
}

int QtModalHost::screenHeight() {
    QScreen* s = screen();
    if (s == nullptr) {
        return 768 * 15;
    }
    return pixelsToTwips(s->geometry().height(), static_cast<int>(std::lround(s->logicalDotsPerInchY())));
}

} // namespace valumat::qtui
