#include "platform/linux/ui/renderer.h"

#include "platform/linux/ui/icons.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>

#include <algorithm>
#include <cmath>

namespace valumat::qtui {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QStringList itemsOf(const ui::ListBox& list) {
    QStringList out;
    const int n = list.count();
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        out.push_back(qs(list.item(i)));
    }
    return out;
}

Qt::Alignment alignmentOf(ui::Alignment alignment) {
    switch (alignment) {
    case ui::Alignment::Center:
        return Qt::AlignHCenter | Qt::AlignTop;
    case ui::Alignment::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case ui::Alignment::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// A one-line caption beside an indicator (check box, option button): the toolkit's own size for it.
ui::CaptionNeed indicatorCaptionNeed(const QWidget& widget) {
    return {widget.sizeHint().width(), QFontMetrics(widget.font()).height()};
}

// ---------------------------------------------------------------------------------------------------------------

class LabelView : public ControlView {
public:
    LabelView(ui::Label& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QLabel(parent), origin), label_(model), qlabel_(static_cast<QLabel*>(widget())),
          link_(static_cast<bool>(model.onClick)) {
        qlabel_->setWordWrap(true);
        if (link_) {
            qlabel_->setTextFormat(Qt::RichText);
            qlabel_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
            qlabel_->setOpenExternalLinks(false);
            connect(qlabel_, &QLabel::linkActivated, this, [this] { input([this] { label_.click(); }); });
        } else {
            qlabel_->setTextFormat(Qt::PlainText);
        }
    }

    void setPicture(const QPixmap& picture) {
        picture_ = picture;
        sync();
    }

    // A label high enough for two lines wraps its text; any other label shows one line.
    ui::CaptionNeed captionNeed(int width) const override {
        if (!picture_.isNull() || label_.caption().empty()) {
            return {};
        }
        const QFontMetrics metrics(qlabel_->font());
        const QString caption = qs(label_.caption());
        if (geometry().height() >= 2 * metrics.lineSpacing()) {
            const QRect needed =
                metrics.boundingRect(QRect(0, 0, width, 1 << 20),
                                     static_cast<int>(alignmentOf(label_.alignment)) | Qt::TextWordWrap, caption);
            return {std::min(needed.width(), width), needed.height()};
        }
        return {metrics.horizontalAdvance(caption) + 1, metrics.height()};
    }

private:
    void syncContent() override {
        qlabel_->setAlignment(alignmentOf(label_.alignment));
        if (!label_.fontName.empty() || label_.fontSizePoints > 0) {
            QFont font = qlabel_->font();
            if (!label_.fontName.empty()) {
                font.setFamily(qs(label_.fontName));
            }
            if (label_.fontSizePoints > 0) {
                font.setPointSize(label_.fontSizePoints);
            }
            qlabel_->setFont(font);
        }
        if (!picture_.isNull()) {
            qlabel_->setPixmap(picture_);
            return;
        }
        const QString caption = qs(label_.caption());
        const QString shown = link_ ? QStringLiteral("<a href=\"#\">%1</a>").arg(caption.toHtmlEscaped()) : caption;
        if (qlabel_->text() != shown) {
            qlabel_->setText(shown);
        }
    }

    ui::Label& label_;
    QLabel* qlabel_;
    bool link_;
    QPixmap picture_;
};

// ---------------------------------------------------------------------------------------------------------------

class ButtonView : public ControlView {
public:
    ButtonView(ui::Button& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QPushButton(parent), origin), button_(model),
          qbutton_(static_cast<QPushButton*>(widget())) {
        // Return presses the focused button (handled below), never a "default" one.
        qbutton_->setAutoDefault(false);
        qbutton_->installEventFilter(this);
        connect(qbutton_, &QPushButton::clicked, this, [this] { input([this] { button_.click(); }); });
    }

    // The text between the button's frame and margins.
    ui::CaptionNeed captionNeed(int) const override {
        const QStyle* style = qbutton_->style();
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, qbutton_) +
                          style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, qbutton_);
        const QFontMetrics metrics(qbutton_->font());
        return {metrics.horizontalAdvance(qs(button_.caption())) + 2 * frame, metrics.height()};
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != qbutton_ || syncing()) {
            return false;
        }
        switch (event->type()) {
        case QEvent::FocusIn:
            if (!button_.hasFocus()) {
                feedingFocus_ = true;
                button_.setFocus(true);
                feedingFocus_ = false;
            }
            break;
        case QEvent::FocusOut:
            if (button_.hasFocus()) {
                feedingFocus_ = true;
                button_.setFocus(false);
                feedingFocus_ = false;
            }
            break;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
                input([this] { button_.click(); });
                return true;
            }
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    void syncContent() override {
        const QString caption = qs(button_.caption());
        if (qbutton_->text() != caption) {
            qbutton_->setText(caption);
        }
        if (button_.hasFocus() && !feedingFocus_ && !qbutton_->hasFocus()) {
            qbutton_->setFocus(Qt::OtherFocusReason);
        }
    }

    ui::Button& button_;
    QPushButton* qbutton_;
    bool feedingFocus_ = false;
};

// ---------------------------------------------------------------------------------------------------------------

// Text boxes. Keys that produce text are taken away from the widget and typed into the model, which runs the
// KeyPress filter and decides what the text becomes; the widget then shows the model's text. Everything else the
// user does to the text (paste, cut, Delete, undo, drag and drop) arrives as an edit of the whole text.
class TextBoxView : public ControlView {
public:
    TextBoxView(ui::TextBox& model, QWidget* parent, QPoint origin)
        : ControlView(model, createWidget(model, parent), origin), box_(model) {
        if (model.multiLine) {
            multi_ = static_cast<QPlainTextEdit*>(widget());
            multi_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            multi_->setTabChangesFocus(true);
            multi_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            connect(multi_, &QPlainTextEdit::textChanged, this, [this] {
                if (!syncing()) {
                    input([this] { box_.edit(fromShown(multi_->toPlainText())); });
                }
            });
        } else {
            line_ = static_cast<QLineEdit*>(widget());
            connect(line_, &QLineEdit::textEdited, this,
                    [this](const QString& text) { input([this, text] { box_.edit(utf8(text)); }); });
        }
        widget()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != widget()) {
            return false;
        }
        switch (event->type()) {
        case QEvent::KeyPress:
            return keyPress(*static_cast<QKeyEvent*>(event));
        case QEvent::InputMethod: {
            // Characters composed by an input method (dead keys, compose sequences) are typed like keys.
            auto& im = *static_cast<QInputMethodEvent*>(event);
            if (im.commitString().isEmpty() || im.replacementLength() != 0) {
                return false;
            }
            type(utf8(im.commitString()));
            im.accept();
            return true;
        }
        case QEvent::FocusOut: {
            // Focus that goes to a menu or to another program's window is not lost by the control.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                input([this] { box_.loseFocus(); });
            }
            return false;
        }
        default:
            return false;
        }
    }

private:
    static QWidget* createWidget(const ui::TextBox& model, QWidget* parent) {
        if (model.multiLine) {
            return new QPlainTextEdit(parent);
        }
        return new QLineEdit(parent);
    }

    // The model keeps line breaks as CR LF; the multi-line widget works with LF.
    static QString shown(const std::string& text) {
        QString out = qs(text);
        out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        out.replace(QChar('\r'), QChar('\n'));
        return out;
    }
    static std::string fromShown(QString text) {
        text.replace(QChar('\n'), QStringLiteral("\r\n"));
        return utf8(text);
    }

    static bool printable(const QString& text) {
        for (const char32_t c : text.toUcs4()) {
            if (!QChar::isPrint(c)) {
                return false;
            }
        }
        return true;
    }

    bool hasSelection() const {
        return line_ != nullptr ? line_->hasSelectedText() : multi_->textCursor().hasSelection();
    }

    bool cursorAtEnd() const {
        return line_ != nullptr ? line_->cursorPosition() == line_->text().size() : multi_->textCursor().atEnd();
    }

    // The widget's text without its selection, in the model's form.
    std::string withoutSelection() const {
        if (line_ != nullptr) {
            QString text = line_->text();
            text.remove(line_->selectionStart(), line_->selectedText().size());
            return utf8(text);
        }
        const QTextCursor cursor = multi_->textCursor();
        QString text = multi_->toPlainText();
        text.remove(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart());
        return fromShown(text);
    }

    bool keyPress(const QKeyEvent& key) {
        const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if ((key.modifiers() & commands) != 0) {
            return false; // shortcuts: the widget's own edits (paste, undo) come back as edits
        }
        if (key.key() == Qt::Key_Backspace) {
            if (hasSelection() || !cursorAtEnd()) {
                return false; // the widget removes what the user means; the result comes back as an edit
            }
            type("\b");
            return true;
        }
        if (multi_ != nullptr && (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)) {
            type("\r\n");
            return true;
        }
        const QString text = key.text();
        if (text.isEmpty() || !printable(text)) {
            return false;
        }
        type(utf8(text));
        return true;
    }

    // Typing replaces the selection, like in any text box: the selected text goes first as an edit.
    void type(const std::string& typed) {
        input([this, typed] {
            if (hasSelection()) {
                box_.edit(withoutSelection());
            }
            typing_ = true;
            box_.type(typed);
            typing_ = false;
        });
        if (multi_ != nullptr) {
            multi_->moveCursor(QTextCursor::End);
            multi_->ensureCursorVisible();
        } else {
            line_->end(false);
        }
    }

    void syncContent() override {
        const QPalette standard = QApplication::palette(widget());
        const QColor back = box_.backColor() == ui::BackColor::ButtonFace ? standard.color(QPalette::Button)
                                                                          : standard.color(QPalette::Base);
        if (widget()->palette().color(QPalette::Active, QPalette::Base) != back) {
            QPalette palette = widget()->palette();
            palette.setColor(QPalette::Base, back);
            widget()->setPalette(palette);
        }
        if (line_ != nullptr) {
            line_->setMaxLength(box_.maxLength > 0 ? box_.maxLength : 32767);
            const QString text = qs(box_.text());
            if (line_->text() != text) {
                line_->setText(text);
            }
            return;
        }
        const QString text = shown(box_.text());
        if (multi_->toPlainText() != text) {
            multi_->setPlainText(text);
            if (typing_) {
                multi_->moveCursor(QTextCursor::End);
            }
        }
    }

    ui::TextBox& box_;
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
    bool typing_ = false;
};

// ---------------------------------------------------------------------------------------------------------------

class CheckBoxView : public ControlView {
public:
    CheckBoxView(ui::CheckBox& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QCheckBox(parent), origin), check_(model), qcheck_(static_cast<QCheckBox*>(widget())) {
        connect(qcheck_, &QCheckBox::clicked, this, [this] { input([this] { check_.click(); }); });
    }

    ui::CaptionNeed captionNeed(int) const override { return indicatorCaptionNeed(*qcheck_); }

private:
    void syncContent() override {
        qcheck_->setText(qs(check_.caption()));
        qcheck_->setChecked(check_.value() != 0);
    }

    ui::CheckBox& check_;
    QCheckBox* qcheck_;
};

// Option buttons do not switch each other off in the widgets: the model's group does, and the views of the
// other buttons follow it (ViewSet re-syncs them after each click).
class OptionButtonView : public ControlView {
public:
    OptionButtonView(ui::OptionButton& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QRadioButton(parent), origin), option_(model),
          qradio_(static_cast<QRadioButton*>(widget())) {
        qradio_->setAutoExclusive(false);
        connect(qradio_, &QRadioButton::clicked, this, [this] { input([this] { option_.click(); }); });
    }

    ui::CaptionNeed captionNeed(int) const override { return indicatorCaptionNeed(*qradio_); }

private:
    void syncContent() override {
        qradio_->setText(qs(option_.caption()));
        qradio_->setChecked(option_.value());
    }

    ui::OptionButton& option_;
    QRadioButton* qradio_;
};

// ---------------------------------------------------------------------------------------------------------------

// A list box. The items are read from the model on every change (they may be bound to the program's tables).
class ListBoxView : public ControlView {
public:
    ListBoxView(ui::ListBox& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QListWidget(parent), origin), list_(model),
          qlist_(static_cast<QListWidget*>(widget())) {
        qlist_->setSelectionMode(QAbstractItemView::SingleSelection);
        qlist_->setUniformItemSizes(true);
        // The selection, not the current row: a list that gets the focus makes its first row current without
        // selecting it, which is no choice of the user's.
        connect(qlist_, &QListWidget::itemSelectionChanged, this, [this] {
            const QModelIndexList rows = qlist_->selectionModel()->selectedIndexes();
            const int row = rows.isEmpty() ? -1 : rows.front().row();
            input([this, row] {
                if (row >= 0) {
                    list_.select(row);
                }
            });
        });
    }

private:
    void syncContent() override {
        const QStringList items = itemsOf(list_);
        bool same = qlist_->count() == items.size();
        for (int i = 0; same && i < items.size(); ++i) {
            same = qlist_->item(i)->text() == items[i];
        }
        if (!same) {
            qlist_->clear();
            qlist_->addItems(items);
        }
        const int row = list_.listIndex();
        if (row >= 0) {
            const QModelIndexList selected = qlist_->selectionModel()->selectedIndexes();
            if (qlist_->currentRow() != row || selected.size() != 1 || selected.front().row() != row) {
                qlist_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            }
            qlist_->scrollToItem(qlist_->item(row));
        } else {
            qlist_->selectionModel()->clearSelection();
        }
    }

    ui::ListBox& list_;
    QListWidget* qlist_;
};

// A drop-down list: the user picks, never types.
class ComboBoxView : public ControlView {
public:
    ComboBoxView(ui::ListBox& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QComboBox(parent), origin), list_(model), qcombo_(static_cast<QComboBox*>(widget())) {
        qcombo_->setEditable(false);
        qcombo_->setMaxVisibleItems(16);
        connect(qcombo_, &QComboBox::activated, this,
                [this](int index) { input([this, index] { list_.select(index); }); });
    }

private:
    void syncContent() override {
        const QStringList items = itemsOf(list_);
        bool same = qcombo_->count() == items.size();
        for (int i = 0; same && i < items.size(); ++i) {
            same = qcombo_->itemText(i) == items[i];
        }
        if (!same) {
            qcombo_->clear();
            qcombo_->addItems(items);
        }
        if (qcombo_->currentIndex() != list_.listIndex()) {
            qcombo_->setCurrentIndex(list_.listIndex());
        }
    }

    ui::ListBox& list_;
    QComboBox* qcombo_;
};

// ---------------------------------------------------------------------------------------------------------------

// A tab strip: a tab widget with empty pages as the frame; the panels that belong to the tabs are separate
// controls that lie over it (the strip stays below its siblings).
class TabStripView : public ControlView {
public:
    TabStripView(ui::TabStrip& model, QWidget* parent, QPoint origin)
        : ControlView(model, new QTabWidget(parent), origin), strip_(model),
          qtabs_(static_cast<QTabWidget*>(widget())) {
        const auto& captions = model.captions();
        for (std::size_t i = 0; i < captions.size(); ++i) {
            auto* page = new QWidget(qtabs_);
            const QIcon icon = i < model.images.size() ? tabIcon(model.images[i]) : QIcon();
            qtabs_->addTab(page, icon, qs(captions[i]));
        }
        qtabs_->lower();
        connect(qtabs_, &QTabWidget::currentChanged, this,
                [this](int index) { input([this, index] { strip_.select(index + 1); }); });
    }

private:
    void syncContent() override {
        const auto& captions = strip_.captions();
        for (int i = 0; i < qtabs_->count() && i < static_cast<int>(captions.size()); ++i) {
            qtabs_->setTabText(i, qs(captions[static_cast<std::size_t>(i)]));
        }
        if (qtabs_->currentIndex() != strip_.selected() - 1) {
            qtabs_->setCurrentIndex(strip_.selected() - 1);
        }
    }

    ui::TabStrip& strip_;
    QTabWidget* qtabs_;
};

// A panel: a plain container, or a group box when it has a caption.
class PanelView : public ControlView {
public:
    PanelView(ui::Panel& model, QWidget* parent, QPoint origin)
        : ControlView(model, model.caption().empty() ? new QWidget(parent) : new QGroupBox(parent), origin),
          panel_(model) {}

private:
    void syncContent() override {
        if (auto* box = qobject_cast<QGroupBox*>(widget())) {
            box->setTitle(qs(panel_.caption()));
        }
    }

    ui::Panel& panel_;
};

} // namespace

// ---------------------------------------------------------------------------------------------------------------

QRect pixelRect(const ui::Twips& rect, const QWidget& widget, QPoint origin) {
    const ui::PixelRect r = ui::pixelRect(rect, widget.logicalDpiX(), origin.x(), origin.y());
    return {r.left, r.top, r.width, r.height};
}

void useDesignFont(QWidget& window) {
    QFont font = QApplication::font();
    font.setPointSize(8);
    window.setFont(font);
}

void syncFormWindow(const ui::Form& form, QWidget& window, ui::Twips& applied) {
    const QString caption = qs(form.caption());
    if (window.windowTitle() != caption) {
        window.setWindowTitle(caption);
    }
    if (form.rect() == applied) {
        return;
    }
    applied = form.rect();
    const QRect r = pixelRect(applied, window);
    window.setFixedSize(r.size());
    window.move(r.topLeft());
}

void feedFormMove(ui::Form& form, const QWidget& window, ui::Twips& applied) {
    const int left = pixelsToTwips(window.pos().x(), window.logicalDpiX());
    const int top = pixelsToTwips(window.pos().y(), window.logicalDpiY());
    if (left == applied.left && top == applied.top) {
        return;
    }
    applied.left = left;
    applied.top = top;
    form.move(left, top);
}

ControlView::ControlView(ui::Control& model, QWidget* widget, QPoint origin)
    : model_(model), widget_(widget), origin_(origin) {
    widget_->setObjectName(qs(model.name()));
}

ControlView::~ControlView() {
    model_.observe(nullptr);
}

void ControlView::attach() {
    model_.observe([this](ui::Control&) { sync(); });
    sync();
}

void ControlView::sync() {
    if (syncing_) {
        return; // the update in progress reads the model after this change
    }
    syncing_ = true;
    {
        const QSignalBlocker blocker(widget_);
        widget_->setGeometry(geometry());
        const QString tip = qs(model_.tooltip());
        if (widget_->toolTip() != tip) {
            widget_->setToolTip(tip);
        }
        syncContent();
    }
    syncing_ = false;
    // Last: disabling or hiding the focused widget moves the focus, which the models hear about like any other
    // loss of the focus.
    widget_->setEnabled(model_.enabled());
    widget_->setVisible(model_.visible());
}

QRect ControlView::geometry() const {
    const QRect plain = pixelRect(model_.rect(), *widget_, origin_);
    if (fitted_ == nullptr) {
        return plain;
    }
    const ui::PixelRect r = fitted_->of(model_, {plain.x(), plain.y(), plain.width(), plain.height()});
    return {r.left, r.top, r.width, r.height};
}

ui::CaptionNeed ControlView::captionNeed(int) const {
    return {};
}

void ControlView::shrinkFontToFit() {
    const QSize size = geometry().size();
    const auto fits = [&] {
        const ui::CaptionNeed need = captionNeed(size.width());
        return need.width <= size.width() && need.height <= size.height();
    };
    QFont font = widget_->font();
    while (!fits() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        widget_->setFont(font);
    }
}

void ControlView::input(const std::function<void()>& feed) {
    if (syncing_) {
        return;
    }
    feed();
    sync();
    if (afterInput) {
        afterInput();
    }
}

std::unique_ptr<ControlView> makeView(ui::Control& model, QWidget* parent, QPoint origin) {
    std::unique_ptr<ControlView> view;
    if (auto* label = dynamic_cast<ui::Label*>(&model)) {
        view = std::make_unique<LabelView>(*label, parent, origin);
    } else if (auto* button = dynamic_cast<ui::Button*>(&model)) {
        view = std::make_unique<ButtonView>(*button, parent, origin);
    } else if (auto* box = dynamic_cast<ui::TextBox*>(&model)) {
        view = std::make_unique<TextBoxView>(*box, parent, origin);
    } else if (auto* check = dynamic_cast<ui::CheckBox*>(&model)) {
        view = std::make_unique<CheckBoxView>(*check, parent, origin);
    } else if (auto* option = dynamic_cast<ui::OptionButton*>(&model)) {
        view = std::make_unique<OptionButtonView>(*option, parent, origin);
    } else if (auto* list = dynamic_cast<ui::ListBox*>(&model)) {
        if (list->name().starts_with("Combo")) {
            view = std::make_unique<ComboBoxView>(*list, parent, origin);
        } else {
            view = std::make_unique<ListBoxView>(*list, parent, origin);
        }
    } else if (auto* strip = dynamic_cast<ui::TabStrip*>(&model)) {
        view = std::make_unique<TabStripView>(*strip, parent, origin);
    } else if (auto* panel = dynamic_cast<ui::Panel*>(&model)) {
        view = std::make_unique<PanelView>(*panel, parent, origin);
    }
    if (view) {
        view->attach();
    }
    return view;
}

void setLabelPicture(ControlView& labelView, const QPixmap& picture) {
    if (auto* label = dynamic_cast<LabelView*>(&labelView)) {
        label->setPicture(picture);
    }
}

ViewSet::~ViewSet() {
    clear();
}

ControlView* ViewSet::add(ui::Control& model, QWidget* parent, QPoint origin) {
    return views_.add(makeView(model, parent, origin));
}

ControlView* ViewSet::viewOf(const ui::Control& model) const {
    return views_.viewOf(model);
}

QWidget* ViewSet::widgetOf(const ui::Control& model) const {
    ControlView* view = viewOf(model);
    return view != nullptr ? view->widget() : nullptr;
}

void ViewSet::syncAll() {
    views_.syncAll();
}

void ViewSet::fitCaptions(QSize clientSize) {
    const auto& views = views_.views();
    fitted_.clear();
    std::vector<ui::PlacedControl> placed;
    for (const auto& view : views) {
        const QRect r = view->geometry();
        placed.push_back({&view->model(), view->widget()->parentWidget(), {r.x(), r.y(), r.width(), r.height()}});
    }
    const auto fitted = ui::fitCaptionsByParent(
        placed,
        [&](std::size_t i) {
            const QWidget* parent = views[i]->widget()->parentWidget();
            QSize area = clientSize;
            for (const auto& view : views) {
                if (view->widget() == parent) {
                    area = view->geometry().size();
                }
            }
            return ui::PixelSize{area.width(), area.height()};
        },
        [&](std::size_t i, int width) { return views[i]->captionNeed(width); });
    for (std::size_t i = 0; i < views.size(); ++i) {
        fitted_.set(views[i]->model(), fitted[i]);
        views[i]->setFitted(&fitted_);
        views[i]->shrinkFontToFit();
    }
    syncAll();
}

void ViewSet::clear() {
    views_.clear();
}

} // namespace valumat::qtui
