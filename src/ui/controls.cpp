#include "ui/controls.h"

#include "runtime/text.h"

namespace valumat::ui {

Control::Control(std::string name, Twips rect) : name_(std::move(name)), rect_(rect) {}

void Control::changed() {
    if (observer_) {
        observer_(*this);
    }
}

void Control::setRect(Twips rect) {
    rect_ = rect;
    changed();
}

void Control::setEnabled(bool enabled) {
    enabled_ = enabled;
    changed();
}

void Control::setVisible(bool visible) {
    visible_ = visible;
    changed();
}

void Control::setTooltip(std::string tooltip) {
    tooltip_ = std::move(tooltip);
    changed();
}

Label::Label(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)) {}

void Label::setCaption(std::string caption) {
    caption_ = std::move(caption);
    changed();
}

void Label::click() {
    if (enabled() && onClick) {
        onClick();
    }
}

Button::Button(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)) {}

void Button::setCaption(std::string caption) {
    caption_ = std::move(caption);
    changed();
}

void Button::click() {
    if (enabled() && onClick) {
        onClick();
    }
}

void Button::setFocus(bool focus) {
    focus_ = focus;
    changed();
}

TextBox::TextBox(std::string name, Twips rect) : Control(std::move(name), rect) {}

std::string TextBox::text() const {
    return *storage_;
}

void TextBox::bind(std::string* storage) {
    storage_ = storage != nullptr ? storage : &own_;
    changed();
}

void TextBox::setText(const std::string& text) {
    const std::string cut = maxLength > 0 ? utf8Left(text, static_cast<std::size_t>(maxLength)) : text;
    if (cut == *storage_) {
        return;
    }
    *storage_ = cut;
    changed();
    if (onChange) {
        onChange();
    }
}

void TextBox::setBackColor(BackColor color) {
    backColor_ = color;
    changed();
}

void TextBox::type(const std::string& typed) {
    std::size_t i = 0;
    while (i < typed.size()) {
        std::size_t n = 1;
        while (i + n < typed.size() && (static_cast<unsigned char>(typed[i + n]) & 0xC0) == 0x80) {
            ++n;
        }
        std::string character = typed.substr(i, n);
        i += n;
        if (!enabled()) {
            return;
        }
        if (onKeyPress) {
            onKeyPress(character);
        }
        if (character.empty()) {
            continue;
        }
        std::string next = *storage_;
        if (character == "\b") {
            if (!next.empty()) {
                std::size_t cut = next.size() - 1;
                while (cut > 0 && (static_cast<unsigned char>(next[cut]) & 0xC0) == 0x80) {
                    --cut;
                }
                next.erase(cut);
            }
        } else if (maxLength > 0 && utf8Length(next) >= static_cast<std::size_t>(maxLength)) {
            continue;
        } else {
            next += character;
        }
        setText(next);
    }
}

void TextBox::edit(const std::string& newText) {
    if (enabled()) {
        setText(newText);
    }
}

void TextBox::loseFocus() {
    if (onLostFocus) {
        onLostFocus();
    }
}

CheckBox::CheckBox(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)) {}

int CheckBox::value() const {
    return get_ ? get_() : own_;
}

void CheckBox::setValue(int value) {
    value = value != 0 ? 1 : 0;
    if (value == this->value()) {
        return;
    }
    if (set_) {
        set_(value);
    } else {
        own_ = value;
    }
    changed();
    if (onClick) {
        onClick();
    }
}

void CheckBox::bind(std::function<int()> get, std::function<void(int)> set) {
    get_ = std::move(get);
    set_ = std::move(set);
    changed();
}

void CheckBox::click() {
    if (enabled()) {
        setValue(value() != 0 ? 0 : 1);
    }
}

OptionButton::OptionButton(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)),
      group_(std::make_shared<std::vector<OptionButton*>>(std::vector<OptionButton*>{this})) {}

void OptionButton::group(std::vector<OptionButton*> buttons) {
    auto shared = std::make_shared<std::vector<OptionButton*>>(buttons);
    for (OptionButton* b : buttons) {
        b->group_ = shared;
    }
}

bool OptionButton::value() const {
    return get_ ? get_() : own_;
}

void OptionButton::setValue(bool on) {
    if (!on) {
        if (value()) {
            if (set_) {
                set_(false);
            } else {
                own_ = false;
            }
            changed();
        }
        return;
    }
    // Bound buttons of one group may share one value: switching the other one off already makes this one read as
    // on, so whether it shows a change is decided by its value before the group was touched.
    const bool wasOn = value();
    for (OptionButton* other : *group_) {
        if (other != this) {
            other->setValue(false);
        }
    }
    if (!value()) {
        if (set_) {
            set_(true);
        } else {
            own_ = true;
        }
    }
    if (!wasOn) {
        changed();
    }
    if (onClick) {
        onClick();
    }
}

void OptionButton::bind(std::function<bool()> get, std::function<void(bool)> set) {
    get_ = std::move(get);
    set_ = std::move(set);
    changed();
}

void OptionButton::click() {
    if (enabled()) {
        setValue(true);
    }
}

ListBox::ListBox(std::string name, Twips rect) : Control(std::move(name), rect) {}

int ListBox::count() const {
    return count_ ? count_() : static_cast<int>(own_.size());
}

std::string ListBox::item(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    return item_ ? item_(index) : own_[static_cast<std::size_t>(index)];
}

std::vector<std::string> ListBox::items() const {
    std::vector<std::string> out;
    const int n = count();
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        out.push_back(item(i));
    }
    return out;
}

void ListBox::addItem(std::string item) {
    own_.push_back(std::move(item));
    changed();
}

void ListBox::removeItem(int index) {
    if (index < 0 || index >= static_cast<int>(own_.size())) {
        return;
    }
    own_.erase(own_.begin() + index);
    if (index_ == index) {
        index_ = -1;
    } else if (index_ > index) {
        --index_;
    }
    changed();
}

void ListBox::setItem(int index, std::string item) {
    if (index < 0 || index >= static_cast<int>(own_.size())) {
        return;
    }
    own_[static_cast<std::size_t>(index)] = std::move(item);
    changed();
}

void ListBox::clear() {
    own_.clear();
    index_ = -1;
    changed();
}

void ListBox::bindItems(std::function<int()> count, std::function<std::string(int)> item) {
    count_ = std::move(count);
    item_ = std::move(item);
    itemsChanged();
}

void ListBox::itemsChanged() {
    if (index_ >= count()) {
        index_ = -1;
    }
    changed();
}

void ListBox::setListIndex(int index) {
    if (index < -1 || index >= count()) {
        return; // no such row: nothing changes
    }
    if (index == index_) {
        return;
    }
    index_ = index;
    changed();
    if (index_ >= 0 && onClick) {
        onClick();
    }
}

bool ListBox::selectText(const std::string& text) {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (item(i) == text) {
            setListIndex(i);
            return true;
        }
    }
    return false;
}

void ListBox::select(int index) {
    if (enabled()) {
        setListIndex(index);
    }
}

TabStrip::TabStrip(std::string name, std::vector<std::string> captions, Twips rect)
    : Control(std::move(name), rect), captions_(std::move(captions)) {}

void TabStrip::select(int tab) {
    if (tab < 1 || tab > static_cast<int>(captions_.size())) {
        return;
    }
    selected_ = tab;
    changed();
    if (onClick) {
        onClick();
    }
}

Panel::Panel(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)) {}

MenuItem::MenuItem(std::string name, std::string caption) : Control(std::move(name)), caption_(std::move(caption)) {}

void MenuItem::setCaption(std::string caption) {
    caption_ = std::move(caption);
    changed();
}

void MenuItem::click() {
    if (enabled() && !separator() && onClick) {
        onClick();
    }
}

Form::Form(std::string name, std::string caption, Twips rect)
    : Control(std::move(name), rect), caption_(std::move(caption)) {
    setVisible(false);
}

void Form::setCaption(std::string caption) {
    caption_ = std::move(caption);
    changed();
}

void Form::move(int left, int top) {
    Twips r = rect();
    r.left = left;
    r.top = top;
    setRect(r);
}

void Form::setShowInTaskbar(bool show) {
    taskbar_ = show;
    changed();
}

} // namespace valumat::ui
