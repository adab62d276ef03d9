// The configuration window in Qt Widgets: a top-level window for ConfigWindow::form with the tab strip, the four
// tab panels with their controls and the button row. It mirrors the models and feeds the user's input back.
#pragma once

#include "platform/linux/ui/renderer.h"
#include "ui/configwindow.h"

#include <QWidget>

#include <memory>

namespace valumat::qtui {

class ConfigWindowView {
public:
    // Builds the window hidden; it shows itself when the form model becomes visible (start-up). Destroy the view
    // before the ConfigWindow.
    explicit ConfigWindowView(ui::ConfigWindow& window);
    ~ConfigWindowView();
    ConfigWindowView(const ConfigWindowView&) = delete;
    ConfigWindowView& operator=(const ConfigWindowView&) = delete;

    // The top-level window (the owner of the dialogs, see QtModalHost::setOwner).
    QWidget* widget() const;
    // The widget that shows a control of the window; nullptr for controls it does not show.
    QWidget* widgetOf(const ui::Control& model) const { return views_.widgetOf(model); }
    template <class W> W* widgetOf(const ui::Control& model) const { return qobject_cast<W*>(widgetOf(model)); }

private:
    class Window;
    void syncForm();

    ui::ConfigWindow& window_;
    std::unique_ptr<Window> widget_;
    ViewSet views_; // destroyed before the widgets
    ui::Twips applied_{-1, -1, -1, -1};
    bool inTaskbar_ = true;
    bool movedByUser_ = false;
};

} // namespace valumat::qtui
