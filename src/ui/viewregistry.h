// What every renderer keeps the same way, whatever its toolkit: the views of one window in creation order (also the
// keyboard order), found again by their model, and the end of a modal dialog through its close box.
#pragma once

#include "ui/controls.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace valumat::ui {

// `View` has model(), sync() and an afterInput callback.
template <class View> class ViewRegistry {
public:
    // Registers a view (nullptr is passed through). Option buttons switch the other buttons of their group, which
    // bound buttons do not always tell: after a click every option button's view follows its model again.
    View* add(std::unique_ptr<View> view) {
        if (!view) {
            return nullptr;
        }
        if (dynamic_cast<OptionButton*>(&view->model()) != nullptr) {
            view->afterInput = [this] {
                for (const auto& v : views_) {
                    if (dynamic_cast<OptionButton*>(&v->model()) != nullptr) {
                        v->sync();
                    }
                }
            };
        }
        View* raw = view.get();
        byModel_[&raw->model()] = raw;
        views_.push_back(std::move(view));
        return raw;
    }
    View* viewOf(const Control& model) const {
        const auto it = byModel_.find(&model);
        return it == byModel_.end() ? nullptr : it->second;
    }
    const std::vector<std::unique_ptr<View>>& views() const { return views_; }
    void syncAll() {
        for (const auto& view : views_) {
            view->sync();
        }
    }
    void clear() {
        byModel_.clear();
        views_.clear();
    }

private:
    std::vector<std::unique_ptr<View>> views_;
    std::unordered_map<const Control*, View*> byModel_;
};

// The dialog's close box: the form is hidden and unloaded, as the user closing it expects.
inline void closeByCloseBox(Form& form) {
    form.setVisible(false);
    if (form.onUnload) {
        form.onUnload();
    }
}

// Takes the modal host's observer off the dialog's form however the modal loop is left.
struct FormObserverGuard {
    Form& form;
    ~FormObserverGuard() { form.observe(nullptr); }
};

} // namespace valumat::ui
