// Control models: the few kinds of control the windows use, without any toolkit. Setting a value or a selection
// from code raises the control's event at once, nested in the running code; the user's actions come in through the
// same models (typed characters pass through KeyPress first). Renderers observe the models and feed input back.
//
// A model can be bound to state held elsewhere (the program's tables and option values): it then reads and writes
// that state and keeps no copy of its own.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace valumat::ui {

// Position and size in twips (1/1440 inch).
struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Twips&) const = default;
};

enum class BackColor { Window, ButtonFace };
enum class Alignment { Left, Center, Right };

class Control {
public:
    explicit Control(std::string name, Twips rect = {});
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    const Twips& rect() const { return rect_; }
    void setRect(Twips rect);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool visible() const { return visible_; }
    void setVisible(bool visible);
    const std::string& tooltip() const { return tooltip_; }
    void setTooltip(std::string tooltip);

    // Renderers: called after any property of the model changed (never for events).
    void observe(std::function<void(Control&)> observer) { observer_ = std::move(observer); }
    // Tells the renderer that bound state changed underneath the model.
    void refresh() { changed(); }

protected:
    void changed();

private:
    std::string name_;
    Twips rect_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string tooltip_;
    std::function<void(Control&)> observer_;
};

class Label : public Control {
public:
    explicit Label(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    Alignment alignment = Alignment::Left;
    std::string fontName;          // empty: the window's font
    int fontSizePoints = 0;        // 0: the window's size
    std::function<void()> onClick; // link labels
    void click();                  // user

private:
    std::string caption_;
};

class Button : public Control {
public:
    explicit Button(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    std::function<void()> onClick;
    void click(); // user (nothing while disabled) or code
    bool hasFocus() const { return focus_; }
    void setFocus(bool focus);

private:
    std::string caption_;
    bool focus_ = false;
};

// A text box. Characters are UTF-8 texts of one character; the key code 8 is Backspace.
class TextBox : public Control {
public:
    explicit TextBox(std::string name, Twips rect = {});

    std::string text() const;
    // From code: sets the text (cut to the maximum length) and raises Change when it differs.
    void setText(const std::string& text);
    // Binds the text to a string held elsewhere (the model then keeps no text of its own).
    void bind(std::string* storage);

    int maxLength = 0; // characters; 0 = no limit
    bool multiLine = false;
    BackColor backColor() const { return backColor_; }
    void setBackColor(BackColor color);

    // Events. KeyPress may discard the character by setting it to "".
    std::function<void(std::string& character)> onKeyPress;
    std::function<void()> onChange;
    std::function<void()> onLostFocus;

    // User input: each character of `typed` goes through KeyPress, then into the text (Backspace "\b" removes the
    // last character); the maximum length applies. Nothing while disabled.
    void type(const std::string& typed);
    // User edits without a character key (paste with the mouse, Delete): the whole new text, cut to the limit.
    void edit(const std::string& newText);
    void loseFocus();

private:
    std::string own_;
    std::string* storage_ = &own_;
    BackColor backColor_ = BackColor::Window;
};

class CheckBox : public Control {
public:
    explicit CheckBox(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }
    int value() const; // 0 or 1
    // From code: raises Click when the value changes.
    void setValue(int value);
    // Binds the value to state held elsewhere.
    void bind(std::function<int()> get, std::function<void(int)> set);
    std::function<void()> onClick;
    void click(); // user: toggles

private:
    std::string caption_;
    int own_ = 0;
    std::function<int()> get_;
    std::function<void(int)> set_;
};

// Option buttons of one group: exactly one (or none, before the first choice) is on.
class OptionButton : public Control {
public:
    explicit OptionButton(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }
    // Puts buttons into one group.
    static void group(std::vector<OptionButton*> buttons);
    bool value() const;
    // From code: true switches the others of the group off and raises Click; false only switches this one off.
    void setValue(bool on);
    void bind(std::function<bool()> get, std::function<void(bool)> set);
    std::function<void()> onClick;
    void click(); // user: switches it on

private:
    std::string caption_;
    bool own_ = false;
    std::function<bool()> get_;
    std::function<void(bool)> set_;
    std::shared_ptr<std::vector<OptionButton*>> group_;
};

// A list box or a drop-down list (the user picks entries, never types). Items may be bound to state held elsewhere.
class ListBox : public Control {
public:
    explicit ListBox(std::string name, Twips rect = {});
    int count() const;
    std::string item(int index) const; // "" outside the list
    std::vector<std::string> items() const;
    // Own items (not bound).
    void addItem(std::string item);
    void removeItem(int index);
    void setItem(int index, std::string item);
    // Empties the list and its selection (no Click).
    void clear();
    // Binds the items to state held elsewhere.
    void bindItems(std::function<int()> count, std::function<std::string(int)> item);
    // Tells the model that bound items changed: the selection is dropped when it no longer exists.
    void itemsChanged();

    int listIndex() const { return index_; }
    // From code or user: selects a row (-1: none) and raises Click when the selection changes to a row.
    void setListIndex(int index);
    std::string text() const { return item(index_); }
    // Selects the first entry equal to the text; returns false (and changes nothing) when there is none.
    bool selectText(const std::string& text);

    std::function<void()> onClick;
    void select(int index); // user

private:
    std::vector<std::string> own_;
    std::function<int()> count_;
    std::function<std::string(int)> item_;
    int index_ = -1;
};

using ComboBox = ListBox;

class TabStrip : public Control {
public:
    explicit TabStrip(std::string name, std::vector<std::string> captions, Twips rect = {});
    const std::vector<std::string>& captions() const { return captions_; }
    int selected() const { return selected_; } // 1-based
    // From code or user: selects tab n and raises Click.
    void select(int tab);
    std::function<void()> onClick;
    std::vector<std::string> images; // icon names, one per tab

private:
    std::vector<std::string> captions_;
    int selected_ = 1;
};

class Panel : public Control {
public:
    explicit Panel(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }

private:
    std::string caption_;
};

class MenuItem : public Control {
public:
    explicit MenuItem(std::string name, std::string caption = "");
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    bool separator() const { return caption_ == "-"; }
    std::function<void()> onClick;
    void click();

private:
    std::string caption_;
};

class Form : public Control {
public:
    explicit Form(std::string name, std::string caption = "", Twips rect = {});
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);
    void move(int left, int top);
    bool showInTaskbar() const { return taskbar_; }
    void setShowInTaskbar(bool show);
    // The controls of the form, for renderers.
    std::vector<Control*> controls;
    std::function<void()> onUnload;

private:
    std::string caption_;
    bool taskbar_ = true;
};

// A control of a form by name, for renderers and tests; throws std::out_of_range when there is none.
template <class T> T& controlOf(Form& form, const std::string& name) {
    for (Control* c : form.controls) {
        if (c->name() == name) {
            if (auto* typed = dynamic_cast<T*>(c)) {
                return *typed;
            }
        }
    }
    throw std::out_of_range("no control " + name + " in " + form.name());
}

// Runs a modal dialog: returns when the form is hidden. The renderer's implementation runs a nested event loop;
// tests hand control to a script that works the dialog.
class ModalHost {
public:
    virtual ~ModalHost() = default;
    virtual void runModal(Form& dialog) = 0;
    // Screen size in twips.
    virtual int screenWidth() = 0;
    virtual int screenHeight() = 0;
};

} // namespace valumat::ui
