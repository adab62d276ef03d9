#include "platform/linux/ui/traymenu.h"

#include <QAction>
#include <QCursor>

namespace valumat::qtui {

namespace {

void syncAction(const ui::MenuItem& item, QAction& action) {
    action.setSeparator(item.separator());
    if (!item.separator()) {
        action.setText(QString::fromStdString(item.caption()));
    }
    action.setEnabled(item.enabled());
    action.setVisible(item.visible());
}

} // namespace

TrayMenu::TrayMenu(shell::Tray& tray) : menu_(std::make_unique<QMenu>()) {
    for (ui::MenuItem* item : tray.menu()) {
        QAction* action = menu_->addAction(QString());
        action->setObjectName(QString::fromStdString(item->name()));
        syncAction(*item, *action);
        item->observe([action](ui::Control& model) { syncAction(static_cast<ui::MenuItem&>(model), *action); });
        QObject::connect(action, &QAction::triggered, menu_.get(), [item] { item->click(); });
        items_.emplace_back(item, action);
    }
}

TrayMenu::~TrayMenu() {
    for (auto& [item, action] : items_) {
        item->observe(nullptr);
    }
}

void TrayMenu::popup() {
    menu_->popup(QCursor::pos());
    menu_->activateWindow();
}

} // namespace valumat::qtui
