// The Qt Widgets renderer of the control models: one view per control mirrors its model in a widget and feeds the
// user's input back into the model. The views hold no behaviour of their own; every decision is the model's.
#pragma once

#include "ui/controls.h"
#include "ui/layout.h"
#include "ui/viewregistry.h"

#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace valumat::qtui {

using ui::pixelsToTwips;
using ui::twipsToPixels;
// A rectangle in twips as pixels for a widget; `origin` is where the widget's parent starts, in the same twips
// coordinates as the rectangle.
QRect pixelRect(const ui::Twips& rect, const QWidget& widget, QPoint origin = {});

// Mirrors one control model in one widget. The view observes the model; it must be destroyed before the model
// (the destructor takes the observer off the model) and before the widget.
class ControlView : public QObject {
public:
    ControlView(ui::Control& model, QWidget* widget, QPoint origin);
    ~ControlView() override;
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;

    ui::Control& model() const { return model_; }
    QWidget* widget() const { return widget_; }

    // Starts observing the model and shows its current state.
    void attach();
    // Shows the model's current state: geometry, enabled, visible, tooltip and what the kind of control shows.
    void sync();

    // What the control's caption needs at a width, with the widget's font and style ({0, 0}: no caption).
    virtual ui::CaptionNeed captionNeed(int width) const;
    // The window's fitted rectangles (see ViewSet::fitCaptions); the plain conversion applies without them.
    void setFitted(const ui::FittedRects* fitted) { fitted_ = fitted; }
    // The rectangle the widget gets: fitted, or converted from the model's twips.
    QRect geometry() const;
    // A caption that does not fit even so gets a smaller font, half a point at a time (down to 6 points).
    void shrinkFontToFit();

    // Called after the user's input went into the model (the owner re-syncs what the model may have changed
    // besides this control, e.g. the other option buttons of a group).
    std::function<void()> afterInput;

protected:
    virtual void syncContent() = 0;
    // Runs a piece of user input against the model, then brings the widget back in line with the model.
    void input(const std::function<void()>& feed);
    bool syncing() const { return syncing_; }

private:
    ui::Control& model_;
    QWidget* widget_;
    QPoint origin_;
    bool syncing_ = false;
    const ui::FittedRects* fitted_ = nullptr;
};

// Creates the view (and its widget under `parent`) for a control model of any kind; nullptr for a Form or a
// MenuItem, which are not child controls. ListBox models named "Combo..." become drop-down lists.
std::unique_ptr<ControlView> makeView(ui::Control& model, QWidget* parent, QPoint origin = {});

// Shows a picture in a label (the program picture of the info tab); the label's caption is not shown then.
void setLabelPicture(ControlView& labelView, const QPixmap& picture);

// Top-level windows: the positions were laid out for an 8-point window font, which the window gets (its family
// stays the application's).
void useDesignFont(QWidget& window);

// Top-level windows: the caption, the fixed size (the form's size is its client area) and the position (of the
// frame) of a form model. The position and size are applied only when the model's rectangle differs from the one
// applied last (`applied`), so that a window the user moved stays where it is.
void syncFormWindow(const ui::Form& form, QWidget& window, ui::Twips& applied);
// The user moved a window: its position goes into the form model.
void feedFormMove(ui::Form& form, const QWidget& window, ui::Twips& applied);

// The views of one window, in creation order (which is also the keyboard order).
class ViewSet {
public:
    ViewSet() = default;
    ~ViewSet();
    ViewSet(const ViewSet&) = delete;
    ViewSet& operator=(const ViewSet&) = delete;

    // Adds the view of a model, its widget under `parent`; returns nullptr for models that have no child view.
    ControlView* add(ui::Control& model, QWidget* parent, QPoint origin = {});
    ControlView* viewOf(const ui::Control& model) const;
    QWidget* widgetOf(const ui::Control& model) const;
    void syncAll();
    // Lays the controls out so that every caption fits (ui::fitCaptions), per parent widget; `clientSize` is the
    // size of the window the views were made for, the parent of its top-level controls.
    void fitCaptions(QSize clientSize);
    // Takes every observer off the models and drops the views (the widgets stay with their parents).
    void clear();

private:
    ui::ViewRegistry<ControlView> views_;
    ui::FittedRects fitted_;
};

} // namespace valumat::qtui
