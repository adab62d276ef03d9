#include "platform/qt/configwindowview.h"

#include "platform/qt/icons.h"

#include <QCloseEvent>
#include <QMoveEvent>

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace valumat::qtui {

class ConfigWindowView::Window : public QWidget {
public:
    std::function<void()> onClose;
    std::function<void()> onMove;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (onClose) {
            onClose();
        }
        event->accept();
    }
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        if (onMove && isVisible()) {
            onMove();
        }
    }
};

ConfigWindowView::ConfigWindowView(ui::ConfigWindow& window) : window_(window), widget_(std::make_unique<Window>()) {
    widget_->setObjectName(QString::fromStdString(window.form.name()));
    widget_->setWindowIcon(valumatIcon());
    useDesignFont(*widget_);

    // Where each control lies: the tab's controls on the tab's panel, a few of them in a frame or a sub-panel of
    // it; everything else on the form. All positions of a tab are relative to its panel.
    std::unordered_map<const ui::Control*, ui::Panel*> container;
    const auto place = [&container](const std::vector<ui::Control*>& controls, ui::Panel& panel) {
        for (const ui::Control* c : controls) {
            container[c] = &panel;
        }
    };
    place(window.keys.controls(), window.tTabs1);
    place(window.currencies.controls(), window.tTabs2);
    place(window.options.controls(), window.tTabs3);
    place(window.info.controls(), window.tTabs4);
    ui::OptionsTab& options = window.options;
    place({&options.Command5, &options.Command6}, options.Frame1);
    ui::InfoTab& info = window.info;
    place({&info.Image1, &info.labelProduct, &info.labelVersion, &info.labelDate, &info.labelAuthor, &info.labelMail,
           &info.labelWeb, &info.Label19, &info.Label21},
          info.Info1);
    place({&info.Text4}, info.Info2);
    place({&info.labelHeading, &info.Label27, &info.tName2, &info.tEmail, &info.tHomepage, &info.tNachricht,
           &info.Command8},
          info.Info3);
    const std::vector<const ui::Panel*> nested = {&options.Frame1, &info.Info1, &info.Info2, &info.Info3};

    for (ui::Control* c : window.form.controls) {
        QWidget* parent = widget_.get();
        QPoint origin;
        if (const auto it = container.find(c); it != container.end()) {
            if (QWidget* panel = views_.widgetOf(*it->second)) {
                parent = panel;
                if (std::find(nested.begin(), nested.end(), it->second) != nested.end()) {
                    origin = QPoint(it->second->rect().left, it->second->rect().top);
                }
            }
        }
        views_.add(*c, parent, origin);
    }

    if (ControlView* picture = views_.viewOf(info.Image1)) {
        const QSize size = picture->widget()->size();
        setLabelPicture(*picture, valumatIcon().pixmap(qMin(size.width(), size.height())));
    }

    widget_->onClose = [this] { window_.closeBySystem(); };
    widget_->onMove = [this] {
        movedByUser_ = true;
        feedFormMove(window_.form, *widget_, applied_);
        movedByUser_ = false;
    };
    window.form.observe([this](ui::Control&) { syncForm(); });
    syncForm();
}

ConfigWindowView::~ConfigWindowView() {
    window_.form.observe(nullptr);
    views_.clear();
}

QWidget* ConfigWindowView::widget() const {
    return widget_.get();
}

void ConfigWindowView::syncForm() {
    const ui::Form& form = window_.form;
    syncFormWindow(form, *widget_, applied_);
    widget_->setEnabled(form.enabled());

    // Without a task-bar button the window is a tool window. The logic changes this only while the window is
    // hidden, so the new flags take effect when it is shown next.
    if (form.showInTaskbar() != inTaskbar_) {
        inTaskbar_ = form.showInTaskbar();
        const bool shown = widget_->isVisible();
        const Qt::WindowFlags flags = widget_->windowFlags() & ~Qt::WindowType_Mask;
        widget_->setWindowFlags(flags | (inTaskbar_ ? Qt::Window : Qt::Tool));
        const QRect r = pixelRect(applied_, *widget_);
        widget_->move(r.topLeft());
        if (shown) {
            widget_->show();
        }
    }

    // A shown window comes to the front whenever the logic touches it (showing it from the tray, a second start),
    // but not while the user moves it.
    if (form.visible()) {
        widget_->show();
        if (!movedByUser_ && !widget_->isActiveWindow()) {
            widget_->raise();
            widget_->activateWindow();
        }
    } else if (widget_->isVisible()) {
        widget_->hide();
    }
}

} // namespace valumat::qtui
