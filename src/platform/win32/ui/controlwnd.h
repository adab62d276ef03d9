// The Win32 renderer of the control models: one small wrapper per kind of control creates the native control,
// mirrors its model whenever the model changes, and turns the control's notifications (user input) into calls on
// the model. The wrappers hold no behaviour of their own; every decision is the model's.
#pragma once

#include "platform/win32/ui/metrics.h"
#include "ui/controls.h"
#include "ui/viewregistry.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace valumat::win32ui {

// What the controls of one top-level window share.
struct WindowContext {
    HINSTANCE instance = nullptr;
    HWND root = nullptr;    // the top-level window: gets the controls' notifications
    HWND tooltip = nullptr; // its tooltip control
    WindowFonts* fonts = nullptr;
    int dpi = 96;
    UINT nextId = 1000; // control identifiers, clear of IDOK and IDCANCEL
};

// Where a control goes.
struct CreateArgs {
    WindowContext* context = nullptr;
    HWND parent = nullptr; // the top-level window or a panel
    POINT origin{};        // where the parent starts, in the twips of the control's rectangle
};

class ControlWnd {
public:
    ControlWnd(ui::Control& model, const CreateArgs& args);
    virtual ~ControlWnd();
    ControlWnd(const ControlWnd&) = delete;
    ControlWnd& operator=(const ControlWnd&) = delete;

    ui::Control& model() const { return model_; }
    HWND hwnd() const { return hwnd_; }

    // Starts observing the model and shows its current state.
    void attach();
    // Shows the model's current state: position, enabled, visible, tooltip and what the kind of control shows.
    void sync();

    // Notifications of the control, routed here by the window (ViewSet::route). True when handled.
    virtual bool command(UINT code);
    virtual bool notify(const NMHDR& header, LRESULT& result);
    // WM_CTLCOLOR*: the background brush, after setting up the device context; nullptr for the system's default.
    virtual HBRUSH colour(HDC dc);
    // Return pressed while the control has the focus (and did not take the key itself). True when handled.
    virtual bool returnKey() { return false; }
    // The window moved to a screen of another resolution: new fonts, new pixel positions.
    virtual void rescale();
    // All controls of the window exist: frames that lie behind other controls (tab strips, group boxes) go to the
    // bottom of the drawing order, which new controls would otherwise take.
    virtual void settle() {}
    // What the control's caption needs at a width, with its font ({0, 0}: no caption).
    virtual ui::CaptionNeed captionNeed(int width) const;
    // The window's fitted rectangles (see ViewSet::fitCaptions); the plain conversion applies without them.
    void setFitted(const ui::FittedRects* fitted) { fitted_ = fitted; }
    // A caption in the window's text font that does not fit even so gets a smaller one, half a point at a time
    // (down to 6 points).
    void shrinkFontToFit();
    // The control's rectangle in pixels relative to its parent.
    virtual RECT placement() const;

    // Called after the user's input went into the model (the owner re-syncs what the model may have changed
    // besides this control, e.g. the other option buttons of a group).
    std::function<void()> afterInput;

protected:
    // Creates the native control with its font; the constructors of the kinds call it once.
    void create(const wchar_t* windowClass, DWORD style, DWORD exStyle = 0);
    // The control's font (the window's text font unless the kind says otherwise).
    virtual HFONT chooseFont() const { return font(); }
    virtual void syncContent() = 0;
    // Runs a piece of user input against the model, then brings the control back in line with the model.
    void input(const std::function<void()>& feed);
    bool syncing() const { return syncing_; }
    const CreateArgs& args() const { return args_; }
    HFONT font() const { return args_.context->fonts->text(); }
    // The font the control shows now: its own, or a smaller one its caption needed.
    HFONT shownFont() const { return shrunk_ != nullptr ? shrunk_ : chooseFont(); }

private:
    void syncTooltip();

    ui::Control& model_;
    CreateArgs args_;
    HWND hwnd_ = nullptr;
    UINT id_ = 0;
    RECT placed_{}; // where the control was put last
    bool syncing_ = false;
    bool hasTool_ = false;
    std::wstring tip_;
    const ui::FittedRects* fitted_ = nullptr;
    HFONT shrunk_ = nullptr; // owned by the window's fonts
};

// Creates the wrapper (and its control under args.parent) for a control model of any kind; nullptr for a Form or a
// MenuItem, which are not child controls. ListBox models named "Combo..." become drop-down lists.
std::unique_ptr<ControlWnd> makeControl(ui::Control& model, const CreateArgs& args);

// Shows an icon in a label (the program picture of the info tab) instead of its caption; the label's wrapper keeps
// the icon until it is destroyed.
void setLabelIcon(ControlWnd& label, HICON icon);

// The window class of panels: plain child windows that pass their children's notifications on to the top-level
// window. A panel's background is the dialog colour, or the colour of the themed tab strip it lies on.
const wchar_t* panelClass(HINSTANCE instance);
// The background brush behind a control: its panel's, else the dialog colour.
HBRUSH backgroundOf(HWND control);

// The wrappers of one window, in creation order (which is also the keyboard order).
class ViewSet {
public:
    ViewSet() = default;
    ~ViewSet();
    ViewSet(const ViewSet&) = delete;
    ViewSet& operator=(const ViewSet&) = delete;

    // Adds the wrapper of a model, its control under args.parent; nullptr for models that have no control.
    ControlWnd* add(ui::Control& model, const CreateArgs& args);
    ControlWnd* viewOf(const ui::Control& model) const;
    ControlWnd* viewOf(HWND control) const;
    HWND hwndOf(const ui::Control& model) const;
    const std::vector<std::unique_ptr<ControlWnd>>& views() const { return views_.views(); }

    // WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR* of the top-level window: the message goes to the control it comes from.
    // True (with the window procedure's result) when a control took it.
    bool route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void syncAll();
    // All controls exist (see ControlWnd::settle).
    void settle();
    // Lays the controls out so that every caption fits (ui::fitCaptions), per parent window; `client` is the size
    // of the window the controls were made for, the parent of its top-level controls.
    void fitCaptions(SIZE client);
    // Takes every observer off the models and drops the wrappers (the controls stay with their parents).
    void clear();

private:
    ui::ViewRegistry<ControlWnd> views_;
    std::unordered_map<HWND, ControlWnd*> byHwnd_;
    ui::FittedRects fitted_;
};

// Creates the tooltip control of a top-level window.
HWND createTooltip(HINSTANCE instance, HWND root);

} // namespace valumat::win32ui
