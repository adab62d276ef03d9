// The Linux tray icon's mouse buttons: on an XEmbed icon window (Qt's own, named QSystemTrayIconSys) the menu opens
// when the right button comes up, not when it goes down; the other buttons pass as before.
#include "platform/linux/qtservices.h"
#include "platform/linux/ui/icons.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

namespace valumat::test {
namespace {

void send(QWidget& target, QEvent::Type type, Qt::MouseButton button) {
    const QPointF at(5, 5);
    QMouseEvent event(type, at, target.mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

TEST(QtTray, TheMenuOpensWhenTheRightButtonIsReleased) {
    qt::TrayIcon tray(qtui::valumatIcon());
    std::vector<int> messages;
    tray.setMouseHandler([&messages](int message) { messages.push_back(message); });
    tray.add("Valumat - www.valumat.example");

    QWidget icon;
    icon.setObjectName(QStringLiteral("QSystemTrayIconSys"));
    send(icon, QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_TRUE(messages.empty()) << "pressing the right button does nothing";
    send(icon, QEvent::MouseButtonRelease, Qt::RightButton);
    EXPECT_EQ(messages, std::vector<int>{platform::kTrayRightButtonUp});

    // Other windows and other buttons are not the icon's right button.
    QWidget other;
    send(other, QEvent::MouseButtonRelease, Qt::RightButton);
    send(icon, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_EQ(messages.size(), 1u);
    tray.remove();
}

} // namespace
} // namespace valumat::test
