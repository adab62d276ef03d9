// The Qt renderer over the real configuration window on the fake desktop: the widgets show the models, and the
// user's input reaches the models (and through them the program's state).
#include "platform/linux/ui/configwindowview.h"
#include "platform/linux/ui/icons.h"
#include "platform/linux/ui/modalhost.h"
#include "platform/linux/ui/traymenu.h"
#include "shell/startup.h"
#include "testutil.h"
#include "ui/configwindow.h"
#include "ui/newkeydialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

namespace valumat::test {
namespace {

using qtui::ConfigWindowView;

// The program state on the fake desktop, the configuration window with the Qt dialog host, and its view; started
// with the shipped data (the window opens on the key-bindings tab).
struct QtWindow : Harness {
    QtWindow() : program(state, host), window(program.window) {
        desktop.setProgramPath(temp.dir() + "valumat.exe", '/');
        copyShippedData();
        view = std::make_unique<ConfigWindowView>(window);
        host.setOwner(view->widget());
        program.Form_Load();
    }
    ~QtWindow() { view.reset(); }

    template <class W> W* widget(const ui::Control& model) const {
        W* w = view->widgetOf<W>(model);
        EXPECT_NE(w, nullptr) << model.name();
        return w;
    }

    qtui::QtModalHost host;
    shell::Program program;
    ui::ConfigWindow& window;
    std::unique_ptr<ConfigWindowView> view;
};

// Works the next modal dialog from inside its event loop, as soon as it is shown.
void whenDialogShown(std::function<void(QDialog&)> work) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    QObject::connect(timer, &QTimer::timeout, [timer, work, deadline] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if ((dialog != nullptr && dialog->isVisible()) || deadline->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            if (dialog != nullptr) {
                work(*dialog);
            }
        }
    });
    timer->start();
}

QPushButton* buttonCaptioned(QWidget& parent, const QString& caption) {
    for (auto* b : parent.findChildren<QPushButton*>()) {
        if (b->text() == caption) {
            return b;
        }
    }
    return nullptr;
}

TEST(QtRendererTest, TwipsArePixelsAtTheScreenResolution) {
    EXPECT_EQ(qtui::twipsToPixels(1440, 96), 96);
    EXPECT_EQ(qtui::twipsToPixels(15, 96), 1);
    EXPECT_EQ(qtui::twipsToPixels(1440, 120), 120);
    EXPECT_EQ(qtui::pixelsToTwips(481, 96), 7215);
    EXPECT_EQ(qtui::twipsToPixels(qtui::pixelsToTwips(333, 120), 120), 333);
}

TEST(QtRendererTest, WindowShowsTheFormAndPlacesControlsByTwips) {
    QtWindow w;
    QWidget* top = w.view->widget();
    ASSERT_EQ(top->logicalDpiX(), 96);
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->windowTitle(), QString::fromStdString(ui::windowCaption()));
    EXPECT_EQ(top->size(), QSize(481, 352)); // 7215 x 5280 twips

    auto* keyList = w.widget<QListWidget>(w.window.keys.KeyList);
    ASSERT_NE(keyList, nullptr);
    EXPECT_EQ(keyList->parentWidget(), w.view->widgetOf(w.window.tTabs1));
    // 120, 240, 6495, 900: the list ends where the buttons below it start (1120), a pixel above its own bottom.
    EXPECT_EQ(keyList->geometry(), QRect(8, 16, 433, 59));

    // Controls of a frame or a sub-panel keep their positions on the tab's panel.
    auto* command5 = w.widget<QPushButton>(w.window.options.Command5);
    ASSERT_NE(command5, nullptr);
    EXPECT_NE(qobject_cast<QGroupBox*>(command5->parentWidget()), nullptr);
    EXPECT_EQ(command5->mapTo(w.view->widgetOf(w.window.tTabs3), QPoint(0, 0)), QPoint(32, 192)); // 480, 2880
    auto* text4 = w.widget<QPlainTextEdit>(w.window.info.Text4);
    ASSERT_NE(text4, nullptr);
    EXPECT_EQ(text4->parentWidget(), w.view->widgetOf(w.window.info.Info2));
    EXPECT_EQ(text4->mapTo(w.view->widgetOf(w.window.tTabs4), QPoint(0, 0)), QPoint(16, 40)); // 240, 600
}

TEST(QtRendererTest, TypedKeysGoThroughTheModelsFilter) {
    QtWindow w;
    auto* text2 = w.widget<QLineEdit>(w.window.keys.Text2);
    auto* apply = w.widget<QPushButton>(w.window.CApply);
    ASSERT_TRUE(text2 != nullptr && apply != nullptr);
    const QString before = text2->text();
    ASSERT_FALSE(apply->isEnabled());

    QTest::keyClick(text2, Qt::Key_X);
    EXPECT_EQ(text2->text(), before); // refused by the decimals filter
    EXPECT_EQ(QString::fromStdString(w.window.keys.Text2.text()), before);
    EXPECT_TRUE(apply->isEnabled()); // the key press alone marks a change

    QTest::keyClick(text2, Qt::Key_Backspace);
    QTest::keyClick(text2, Qt::Key_3);
    EXPECT_EQ(w.window.keys.Text2.text(), "3");
    EXPECT_EQ(text2->text(), "3");

    // A box without a length limit: the refused character never shows, an accepted one shows once.
    auto* code = w.widget<QLineEdit>(w.window.currencies.tKurz);
    ASSERT_NE(code, nullptr);
    const QString codeBefore = code->text();
    QTest::keyClick(code, Qt::Key_Semicolon);
    EXPECT_EQ(code->text(), codeBefore);
    QTest::keyClick(code, Qt::Key_Z);
    EXPECT_EQ(code->text(), codeBefore + "z");
    EXPECT_EQ(QString::fromStdString(w.window.currencies.tKurz.text()), codeBefore + "z");

    // A selected text is replaced by what is typed (the box holds one character).
    text2->selectAll();
    QTest::keyClick(text2, Qt::Key_5);
    EXPECT_EQ(w.window.keys.Text2.text(), "5");
    EXPECT_EQ(text2->text(), "5");
}

TEST(QtRendererTest, LeavingABoxRaisesItsLostFocus) {
    QtWindow w;
    QWidget* top = w.view->widget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    auto* text2 = w.widget<QLineEdit>(w.window.keys.Text2);
    auto* text3 = w.widget<QLineEdit>(w.window.keys.Text3);
    ASSERT_TRUE(text2 != nullptr && text3 != nullptr);
    text2->setFocus(Qt::MouseFocusReason);
    text2->selectAll();
    QTest::keyClick(text2, Qt::Key_Backspace); // removes the selection: an edit without a character
    EXPECT_EQ(w.window.keys.Text2.text(), "");

    text3->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.window.keys.Text2.text(), "0"); // an empty decimals box becomes "0" when left
    EXPECT_EQ(text2->text(), "0");
}

TEST(QtRendererTest, ApplyMovesTheFocusToOk) {
    QtWindow w;
    QWidget* top = w.view->widget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    auto* text2 = w.widget<QLineEdit>(w.window.keys.Text2);
    auto* apply = w.widget<QPushButton>(w.window.CApply);
    auto* ok = w.widget<QPushButton>(w.window.cOK2);
    text2->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(text2, Qt::Key_1);
    ASSERT_TRUE(apply->isEnabled());
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), ok);

    // Again, once the focus has been elsewhere.
    text2->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(w.window.cOK2.hasFocus());
    QTest::keyClick(text2, Qt::Key_2);
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), ok);
}

TEST(QtRendererTest, EditsWithoutACharacterKeyReachTheModel) {
    QtWindow w;
    auto* name = w.widget<QLineEdit>(w.window.currencies.tName);
    ASSERT_NE(name, nullptr);
    const std::string before = w.window.currencies.tName.text();
    ASSERT_GE(before.size(), 2U);
    name->home(false);
    QTest::keyClick(name, Qt::Key_Delete);
    EXPECT_EQ(w.window.currencies.tName.text(), before.substr(1));
    EXPECT_EQ(name->text().toStdString(), before.substr(1));
}

TEST(QtRendererTest, MultiLineBoxKeepsLineBreaksAsCrLf) {
    QtWindow w;
    auto* message = w.widget<QPlainTextEdit>(w.window.info.tNachricht);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->toPlainText(), "Ihre Nachricht\n");
    message->moveCursor(QTextCursor::End);
    QTest::keyClicks(message, "Hallo");
    QTest::keyClick(message, Qt::Key_Return);
    EXPECT_EQ(w.window.info.tNachricht.text(), "Ihre Nachricht\r\nHallo\r\n");
    EXPECT_EQ(message->toPlainText(), "Ihre Nachricht\nHallo\n");
}

TEST(QtRendererTest, SelectingACurrencyRowLoadsItIntoTheEditor) {
    QtWindow w;
    auto* list = w.widget<QListWidget>(w.window.currencies.List1);
    auto* name = w.widget<QLineEdit>(w.window.currencies.tName);
    ASSERT_TRUE(list != nullptr && name != nullptr);
    ASSERT_GE(list->count(), 3);
    EXPECT_EQ(list->count(), w.window.currencies.List1.count());
    w.window.selectTab(2);

    const QRect row = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(w.window.currencies.List1.listIndex(), 2);
    EXPECT_EQ(name->text().toStdString(), w.window.currencies.List1.item(2));
    EXPECT_EQ(w.window.currencies.tName.text(), w.window.currencies.List1.item(2));
}

TEST(QtRendererTest, ClickingATabShowsItsPanel) {
    QtWindow w;
    auto* strip = w.widget<QTabWidget>(w.window.Tabstrip);
    ASSERT_NE(strip, nullptr);
    QTabBar* bar = strip->tabBar();
    ASSERT_EQ(bar->count(), 4);
    EXPECT_EQ(bar->tabText(1), QString::fromUtf8("Währungen"));
    EXPECT_FALSE(bar->tabIcon(1).isNull());
    QWidget* keysPanel = w.view->widgetOf(w.window.tTabs1);
    QWidget* currencyPanel = w.view->widgetOf(w.window.tTabs2);
    ASSERT_TRUE(keysPanel->isVisible());
    ASSERT_FALSE(currencyPanel->isVisible());

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(w.window.Tabstrip.selected(), 2);
    EXPECT_TRUE(currencyPanel->isVisible());
    EXPECT_FALSE(keysPanel->isVisible());

    // Selecting a tab from code (the tray menu does) moves the strip as well.
    w.window.selectTab(4);
    EXPECT_EQ(bar->currentIndex(), 3);
    EXPECT_TRUE(w.view->widgetOf(w.window.info.Info1)->isVisible());
}

// The tray's mode switch sets the options from code: the options tab shows exactly one mode every time.
TEST(QtRendererTest, ModeSwitchFromTheTrayShowsOneModeOnTheOptionsTab) {
    QtWindow w;
    w.window.selectTab(3);
    auto* spreadsheet = w.widget<QRadioButton>(w.window.options.Option3);
    auto* normal = w.widget<QRadioButton>(w.window.options.Option4);
    ASSERT_TRUE(spreadsheet != nullptr && normal != nullptr);
    for (const bool excel : {true, false, true}) {
        w.program.tray.mChangeKeyPress.click();
        EXPECT_EQ(spreadsheet->isChecked(), excel);
        EXPECT_EQ(normal->isChecked(), !excel);
    }
}

TEST(QtRendererTest, OptionButtonsFollowTheirGroup) {
    QtWindow w;
    w.window.selectTab(3);
    auto* normal = w.widget<QRadioButton>(w.window.options.Option4);
    auto* spreadsheet = w.widget<QRadioButton>(w.window.options.Option3);
    ASSERT_TRUE(normal != nullptr && spreadsheet != nullptr);
    ASSERT_TRUE(normal->isChecked());

    QTest::mouseClick(spreadsheet, Qt::LeftButton);
    EXPECT_TRUE(w.state.options.excelMode);
    EXPECT_TRUE(spreadsheet->isChecked());
    EXPECT_FALSE(normal->isChecked());

    // Clicking the selected button again leaves it selected.
    QTest::mouseClick(spreadsheet, Qt::LeftButton);
    EXPECT_TRUE(spreadsheet->isChecked());
    EXPECT_TRUE(w.state.options.excelMode);
}

TEST(QtRendererTest, AddDialogOpensModallyAndCancelCloses) {
    QtWindow w;
    auto* add = w.widget<QPushButton>(w.window.keys.Command1);
    ASSERT_NE(add, nullptr);
    const int bindings = w.window.keys.KeyList.count();

    QString title;
    bool comboShown = false;
    whenDialogShown([&](QDialog& dialog) {
        title = dialog.windowTitle();
        EXPECT_EQ(dialog.parentWidget(), w.view->widget());
        EXPECT_EQ(dialog.size(), QSize(458, 234)); // 6870 x 3510 twips
        comboShown = dialog.findChild<QWidget*>("Combo3") != nullptr;
        QPushButton* cancel = buttonCaptioned(dialog, "Abbrechen");
        ASSERT_NE(cancel, nullptr);
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QTest::mouseClick(add, Qt::LeftButton);

    EXPECT_EQ(title, QString::fromUtf8("Neue Tastenkombination hinzufügen"));
    EXPECT_TRUE(comboShown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(w.view->widget()->findChildren<QDialog*>().size(), 0);
    EXPECT_EQ(w.window.keys.KeyList.count(), bindings);
}

TEST(QtRendererTest, DialogCloseBoxUnloadsTheForm) {
    QtWindow w;
    bool closed = false;
    whenDialogShown([&](QDialog& dialog) {
        dialog.close();
        closed = !dialog.isVisible();
    });
    w.window.keys.Command1.click();
    EXPECT_TRUE(closed);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtRendererTest, CloseBoxUnloadsTheWindow) {
    QtWindow w;
    bool quit = false;
    w.program.quit = [&quit] { quit = true; };
    w.view->widget()->close();
    EXPECT_TRUE(w.program.unloaded());
    EXPECT_TRUE(quit);
    EXPECT_FALSE(w.view->widget()->isVisible());
}

TEST(QtRendererTest, HiddenWindowLeavesTheTaskBarAndComesBack) {
    QtWindow w;
    QWidget* top = w.view->widget();
    w.program.tray.ShowTray();
    EXPECT_FALSE(top->isVisible());
    EXPECT_EQ(top->windowType(), Qt::Tool);
    w.program.tray.HideTray(false);
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->windowType(), Qt::Window);
    EXPECT_EQ(top->size(), QSize(481, 352));
}

TEST(QtRendererTest, TrayMenuMirrorsTheItemsAndClicksThem) {
    QtWindow w;
    qtui::TrayMenu menu(w.program.tray);
    QList<QAction*> actions = menu.menu()->actions();
    actions.removeIf([](const QAction* action) { return !action->isVisible(); }); // shown once a result was not pasted
    ASSERT_EQ(actions.size(), 8);
    EXPECT_EQ(actions[0]->text(), "Tastenbelegung");
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_TRUE(actions[6]->isSeparator());

    const QString modeBefore = actions[5]->text();
    w.window.selectTab(3);
    QTest::mouseClick(w.widget<QRadioButton>(w.window.options.Option3), Qt::LeftButton);
    EXPECT_NE(actions[5]->text(), modeBefore);
    EXPECT_EQ(actions[5]->text().toStdString(), w.program.tray.mChangeKeyPress.caption());

    w.program.tray.ShowTray();
    actions[1]->trigger(); // "Währungen"
    EXPECT_TRUE(w.view->widget()->isVisible());
    EXPECT_EQ(w.window.Tabstrip.selected(), 2);
    EXPECT_TRUE(w.view->widgetOf(w.window.tTabs2)->isVisible());
}

TEST(QtRendererTest, LinkLabelsClickThroughTheModel) {
    QtWindow w;
    w.window.selectTab(4);
    auto* mail = w.widget<QLabel>(w.window.info.Label19);
    ASSERT_NE(mail, nullptr);
    EXPECT_TRUE(mail->text().contains("<a href"));
    const auto opened = w.desktop.shellRequests().size();
    emit mail->linkActivated("#");
    EXPECT_EQ(w.desktop.shellRequests().size(), opened + 1);
}

// --- every caption fits its control ------------------------------------------------------------------------------
// Measured with the toolkit's own metrics on the widgets as shown, at the resolution the test runs at (ctest runs
// it at 96 and, with QT_FONT_DPI=144, at 144 dpi): no caption wider (or, wrapped, higher) than its control, no two
// controls of one parent overlapping.

// What is wrong with the captions and places of the shown widgets under `parent`, one line each.
void checkLayout(QWidget& parent, const std::function<bool(const QWidget&)>& container,
                 std::vector<std::string>& faults) {
    std::vector<QWidget*> shown;
    for (QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisibleTo(&parent) || child->objectName().isEmpty() || child->isWindow()) {
            continue;
        }
        shown.push_back(child);
        const QString name = child->objectName();
        const QFontMetrics metrics(child->font());
        const QSize size = child->size();
        int needWidth = 0;
        int needHeight = 0;
        if (auto* label = qobject_cast<QLabel*>(child); label != nullptr && label->pixmap().isNull()) {
            const QString text = label->textFormat() == Qt::RichText
                                     ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                     : label->text();
            if (size.height() >= 2 * metrics.lineSpacing()) {
                needHeight = metrics.boundingRect(QRect(0, 0, size.width(), 1 << 20), Qt::TextWordWrap, text).height();
            } else {
                needWidth = metrics.horizontalAdvance(text);
                needHeight = metrics.height();
            }
        } else if (qobject_cast<QCheckBox*>(child) != nullptr || qobject_cast<QRadioButton*>(child) != nullptr) {
            needWidth = child->sizeHint().width();
            needHeight = metrics.height();
        } else if (auto* button = qobject_cast<QPushButton*>(child)) {
            const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) +
                              button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            needWidth = metrics.horizontalAdvance(button->text()) + 2 * frame;
            needHeight = metrics.height();
        }
        if (needWidth > size.width() || needHeight > size.height()) {
            faults.push_back(name.toStdString() + ": caption needs " + std::to_string(needWidth) + "x" +
                             std::to_string(needHeight) + ", has " + std::to_string(size.width()) + "x" +
                             std::to_string(size.height()));
        }
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            if (!container(*shown[i]) && !container(*shown[j]) &&
                shown[i]->geometry().intersects(shown[j]->geometry())) {
                faults.push_back(shown[i]->objectName().toStdString() + " overlaps " +
                                 shown[j]->objectName().toStdString());
            }
        }
    }
}

TEST(QtLayout, EveryCaptionFitsOnEveryTabAndInBothDialogs) {
    QtWindow w;
    // Qt 6 scales a screen above 96 dpi by its pixel ratio: the resolution is the product.
    const int dpi =
        static_cast<int>(std::lround(w.view->widget()->logicalDpiX() * w.view->widget()->devicePixelRatioF()));
    std::vector<std::string> faults;
    const auto isContainer = [&w](const QWidget& widget) {
        for (ui::Control* c : w.window.form.controls) {
            if (w.view->widgetOf(*c) == &widget) {
                return ui::isContainer(*c);
            }
        }
        return false;
    };
    const auto checkShown = [&](const std::string& where) {
        std::vector<std::string> found;
        for (ui::Control* c : w.window.form.controls) {
            QWidget* widget = w.view->widgetOf(*c);
            if (widget != nullptr && ui::isContainer(*c) && widget->isVisible()) {
                checkLayout(*widget, isContainer, found);
            }
        }
        checkLayout(*w.view->widget(), isContainer, found);
        for (const auto& f : found) {
            faults.push_back(where + ": " + f);
        }
    };
    for (int tab = 1; tab <= 4; ++tab) {
        w.window.selectTab(tab);
        checkShown("tab " + std::to_string(tab));
    }
    for (int sub = 2; sub <= 3; ++sub) {
        w.window.info.TabInfo.select(sub);
        checkShown("info " + std::to_string(sub));
    }
    // The binding whose combination another program holds: the label under the editor.
    w.window.selectTab(1);
    w.state.hotKeys[0].refused = true;
    w.window.keys.showRefusal();
    checkShown("refusal");

    const auto checkDialog = [&](ui::Button& opener, int tab, const std::string& where) {
        w.window.selectTab(tab);
        whenDialogShown([&](QDialog& dialog) {
            std::vector<std::string> found;
            checkLayout(
                dialog, [](const QWidget&) { return false; }, found);
            for (const auto& f : found) {
                faults.push_back(where + ": " + f);
            }
            dialog.close();
        });
        QTest::mouseClick(w.widget<QPushButton>(opener), Qt::LeftButton);
    };
    checkDialog(w.window.keys.Command1, 1, "FNeuKey");
    checkDialog(w.window.currencies.cAdd, 2, "FNeu");
    std::printf("layout checked at %d dpi\n", dpi);
    EXPECT_TRUE(faults.empty()) << dpi << " dpi:\n"
                                << [&faults] {
                                       std::string all;
                                       for (const auto& f : faults) {
                                           all += f + "\n";
                                       }
                                       return all;
                                   }();
}

TEST(QtRendererTest, ProgramIconHasSeveralSizes) {
    const QIcon icon = qtui::valumatIcon();
    EXPECT_GE(icon.availableSizes().size(), 4);
    EXPECT_FALSE(icon.pixmap(16).isNull());
    EXPECT_FALSE(qtui::tabIcon("tab4").isNull());
    EXPECT_TRUE(qtui::tabIcon("nothing").isNull());
}

} // namespace
} // namespace valumat::test
