#include "platform/linux/ui/configwindowview.h"

#include "platform/linux/ui/icons.h"

#include <QCloseEvent>
#include <QMoveEvent>

#include <functional>

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

    for (ui::Control* c : window.form.controls) {
        QWidget* parent = widget_.get();
        QPoint origin;
        if (const auto placement = window.placementOf(*c); placement.panel != nullptr) {
            if (QWidget* panel = views_.widgetOf(*placement.panel)) {
                parent = panel;
                origin = QPoint(placement.offsetLeft, placement.offsetTop);
            }
        }
        views_.add(*c, parent, origin);
    }
    views_.fitCaptions(pixelRect(window.form.rect(), *widget_).size());

    if (ControlView* picture = views_.viewOf(window.info.Image1)) {
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
