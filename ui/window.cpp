#include "ui/window.h"

#include "ui/control.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/scheduler.h"
#include "ui/text.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace docket::ui {

// The top-level widget: it turns the platform's close, resize and timer notifications into events.
class WindowWidget : public QWidget {
public:
    explicit WindowWidget(Window* owner) : owner_(owner) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (!owner_->closed_) owner_->raise(event::CloseWindow, 0);
    }
    void resizeEvent(QResizeEvent*) override {
        if (isVisible()) owner_->userResized();
    }
    void moveEvent(QMoveEvent*) override {
        if (isVisible()) owner_->moved();
    }
    void changeEvent(QEvent* e) override {
        QWidget::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) {
            owner_->stateChanged(static_cast<QWindowStateChangeEvent*>(e)->oldState().toInt());
        } else if (e->type() == QEvent::ActivationChange && isVisible()) {
            owner_->raise(isActiveWindow() ? event::GainFocus : event::LoseFocus, 0);
        }
    }
    void timerEvent(QTimerEvent*) override {
        // A timer event is queued once: a slow loop does not find a pile of them.
        bool queued = std::any_of(owner_->queue_.begin(), owner_->queue_.end(),
                                  [](const auto& p) { return p.code == messageCode(event::Timer); });
        if (!queued) owner_->raise(event::Timer, 0);
    }

private:
    Window* owner_;
};

namespace {

// A drop list or drop combo that tells the program when its list part is about to open and when
// it has opened. Qt has no notification before the list opens, so both are raised here.
class DropCombo : public QComboBox {
public:
    DropCombo(Window* window, int control, QWidget* parent)
        : QComboBox(parent), window_(window), control_(control) {}
    void showPopup() override {
        window_->raise(event::DroppingDown, control_);
        QComboBox::showPopup();
        window_->raise(event::DroppedDown, control_);
    }

private:
    Window* window_;
    int control_;
};

// Keys and mouse clicks on a control, for alert keys, the list's scroll keys and regions.
class InputFilter : public QObject {
public:
    InputFilter(Window* window, int control, QObject* parent)
        : QObject(parent), window_(window), control_(control) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        Control* c = window_->controlData(control_);
        if (c == nullptr) return false;
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            int code = keyCode(k->key(), k->modifiers());
            if (code != 0 && window_->keyPressed(control_, code)) return true;
            if (c->def.type == ControlType::List && listKey(*c, code)) return true;
            if (code == key::Escape) {
                window_->raise(event::CloseWindow, 0);
                return true;
            }
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            int code = mouseCode(m->button(), e->type() == QEvent::MouseButtonDblClick, false);
            window_->setKeyCode(code);
            if (code != 0 && window_->keyPressed(control_, code)) return true;
            if (c->def.type == ControlType::Region) {
                window_->raise(event::Accepted, control_, code);
                return true;
            }
            return false;
        }
        case QEvent::MouseButtonRelease: {
            if (c->def.type != ControlType::Region) return false;
            auto* m = static_cast<QMouseEvent*>(e);
            window_->raise(event::MouseUp, control_, mouseCode(m->button(), false, true));
            return true;
        }
        case QEvent::Wheel: {
            if (c->thumb == nullptr) return false;
            auto* w = static_cast<QWheelEvent*>(e);
            window_->raise(w->angleDelta().y() > 0 ? event::ScrollUp : event::ScrollDown, control_);
            return true;
        }
        case QEvent::Enter:
            if (c->def.attributes & attr::Immediate) window_->raise(event::MouseIn, control_);
            return false;
        case QEvent::Leave:
            if (c->def.attributes & attr::Immediate) window_->raise(event::MouseOut, control_);
            return false;
        case QEvent::MouseMove:
            if (c->def.attributes & attr::Immediate) window_->raise(event::MouseMove, control_);
            return false;
        default:
            break;
        }
        (void)watched;
        return false;
    }

    // In a list the program fills, moving past the rows shown asks the program to scroll.
    bool listKey(Control& c, int code) {
        if (c.thumb == nullptr) return false;
        int rows = c.table->rowCount();
        int row = c.table->currentRow();
        switch (code) {
        case key::Up:
            if (row > 0) return false;
            window_->raise(event::ScrollUp, control_);
            return true;
        case key::Down:
            if (row < rows - 1) return false;
            window_->raise(event::ScrollDown, control_);
            return true;
        case key::PageUp:
            window_->raise(event::PageUp, control_);
            return true;
        case key::PageDown:
            window_->raise(event::PageDown, control_);
            return true;
        case key::Ctrl + key::Home:
            window_->raise(event::ScrollTop, control_);
            return true;
        case key::Ctrl + key::End:
            window_->raise(event::ScrollBottom, control_);
            return true;
        default:
            return false;
        }
    }

private:
    Window* window_;
    int control_;
};

Qt::Alignment qtAlign(ColumnAlign align) {
    switch (align) {
    case ColumnAlign::Right:
    case ColumnAlign::Decimal:
        return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

std::string fieldText(const std::string& raw, const std::string& picture) {
    if (picture.empty()) return raw;
    runtime::Picture compiled = runtime::compilePicture(picture);
    if (!compiled.valid()) return raw;
    if (runtime::isNumericPicture(compiled))
        return runtime::formatNumber(std::strtod(raw.c_str(), nullptr), compiled);
    return runtime::formatText(raw, compiled);
}

// Whether text typed into an entry can be read through its picture. deformatNumber gives 0 for
// text it cannot read, so a zero result counts as a failure unless the text holds no digit other
// than 0 and no letter (a blank or zero entry is a valid zero).
bool readable(const std::string& text, const runtime::Picture& picture) {
    if (!runtime::isNumericPicture(picture)) return true;
    bool letters = std::any_of(text.begin(), text.end(), [](unsigned char ch) { return std::isalpha(ch); });
    if (letters &&
        (picture.kind == runtime::PictureKind::Numeric || picture.kind == runtime::PictureKind::Pattern))
        return false;
    double value = runtime::deformatNumber(text, picture);
    if (value != 0) return true;
    return std::none_of(text.begin(), text.end(),
                        [](unsigned char ch) { return (ch >= '1' && ch <= '9') || std::isalpha(ch); });
}

} // namespace

Window::Window(const WindowDefinition& definition, Bindings bindings) : bindings_(std::move(bindings)) {
    thread_ = currentThread();
    auto& windows = Scheduler::instance().windowsOf(thread_);
    if (!windows.empty()) {
        under_ = windows.back();
        under_->setEnabledAll(false);
    }
    if (Scheduler::instance().alive(thread_)) windows.push_back(this);

    widget_ = std::make_unique<WindowWidget>(this);
    widget_->setWindowTitle(toQt(definition.caption));
    QFont font = makeFont(definition.font, definition.fontSize, 0);
    widget_->setFont(font);
    if (!definition.icon.empty()) widget_->setWindowIcon(makeIcon(definition.icon));
    // Dialog units from the font's average character width and height.
    QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    unitX_ = metrics.horizontalAdvance(alphabet) / 52.0 / 4.0;
    unitY_ = metrics.height() / 8.0;
    widget_->setProperty("docketGray", (definition.attributes & wattr::Gray) != 0);

    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (definition.attributes & wattr::System) flags |= Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    if (definition.attributes & wattr::Maximize) flags |= Qt::WindowMaximizeButtonHint;
    if (definition.attributes & wattr::Iconize) flags |= Qt::WindowMinimizeButtonHint;
    if (definition.attributes & wattr::NoFrame) flags = Qt::Dialog | Qt::FramelessWindowHint;
    widget_->setWindowFlags(flags);
    QSize size(static_cast<int>(definition.width * unitX_ + 0.5),
               static_cast<int>(definition.height * unitY_ + 0.5));
    if (definition.attributes & wattr::Resizable) {
        widget_->resize(size);
    } else {
        widget_->setFixedSize(size);
    }
    if (definition.x >= 0 && definition.y >= 0) {
        widget_->move(static_cast<int>(definition.x * unitX_), static_cast<int>(definition.y * unitY_));
    } else if (QScreen* screen = QApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        widget_->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }

    int number = 0;
    for (const ControlDefinition& control : definition.controls) build(control, ++number);
    refreshVisibility();
    display();
    widget_->show();
    lastX_ = widget_->x();
    lastY_ = widget_->y();
    face_ = definition.font;
    icon_ = definition.icon;
    post(event::OpenWindow);
    if (firstControl() != 0) {
        for (auto& c : controls_) {
            if (c->widget != nullptr && c->widget->focusPolicy() != Qt::NoFocus && c->widget->isEnabled() &&
                !c->hidden) {
                c->widget->setFocus();
                break;
            }
        }
    }
}

Window::~Window() {
    close();
    if (timerCounted_) Scheduler::instance().countTimers(-1);
}

void Window::close() {
    if (closed_) return;
    closed_ = true;
    auto& windows = Scheduler::instance().windowsOf(thread_);
    std::erase(windows, this);
    if (under_ != nullptr && std::find(windows.begin(), windows.end(), under_) != windows.end()) {
        under_->setEnabledAll(true);
        under_->widget_->activateWindow();
    }
    if (timerId_ != 0) widget_->killTimer(timerId_);
    widget_->hide();
}

void Window::setEnabledAll(bool enabled) {
    widget_->setEnabled(enabled);
}

QWidget* Window::widget() const {
    return widget_.get();
}

Control* Window::controlData(int control) const {
    if (control < 1 || control > controlCount()) return nullptr;
    Control* c = controls_[static_cast<std::size_t>(control) - 1].get();
    return c->destroyed ? nullptr : c;
}

QWidget* Window::controlWidget(int control) const {
    Control* c = controlData(control);
    return c == nullptr ? nullptr : c->widget;
}

bool Window::exists(int control) const {
    return controlData(control) != nullptr;
}

void Window::place(Control& c) {
    if (c.widget == nullptr || deferred_) return;
    c.widget->setGeometry(
        static_cast<int>(c.box.x() * unitX_ + 0.5), static_cast<int>(c.box.y() * unitY_ + 0.5),
        static_cast<int>(c.box.width() * unitX_ + 0.5), static_cast<int>(c.box.height() * unitY_ + 0.5));
}

void Window::build(const ControlDefinition& d, int number) {
    auto c = std::make_unique<Control>();
    c->number = number;
    c->def = d;
    c->box = QRect(d.x, d.y, d.width, d.height);
    c->hidden = (d.attributes & attr::Hidden) != 0;
    if (!d.picture.empty()) {
        std::string_view text = d.picture;
        if (text.front() == '@') text.remove_prefix(1);
        c->picture = runtime::compilePicture(text);
        c->hasPicture = c->picture.valid();
    }
    if (!d.use.empty()) {
        auto var = bindings_.variables.find(d.use);
        if (var != bindings_.variables.end()) c->use = var->second;
        auto list = bindings_.lists.find(d.use);
        if (list != bindings_.lists.end()) c->source = list->second;
    }
    QWidget* parent = widget_.get();
    Window* self = this;
    QString text = toQt(d.text);
    switch (d.type) {
    case ControlType::Button: {
        auto* button = new QPushButton(text, parent);
        button->setDefault((d.attributes & attr::Default) != 0);
        button->setAutoDefault(false);
        button->setFlat((d.attributes & attr::Flat) != 0);
        QObject::connect(button, &QPushButton::clicked,
                         [self, number] { self->raise(event::Accepted, number); });
        c->widget = button;
        break;
    }
    case ControlType::Check: {
        auto* check = new QCheckBox(text, parent);
        QObject::connect(check, &QCheckBox::clicked, [self, number](bool on) {
            Control* cc = self->controlData(number);
            if (cc != nullptr && cc->use.bound()) {
                if (cc->use.numeric)
                    cc->use.setNumber(on ? 1 : 0);
                else
                    cc->use.setText(on ? "1" : "0");
            }
            self->raise(event::Accepted, number);
        });
        c->widget = check;
        break;
    }
    case ControlType::Option:
    case ControlType::Group: {
        auto* box = new QGroupBox(text, parent);
        if (d.type == ControlType::Option) c->radios = new QButtonGroup(box);
        c->widget = box;
        break;
    }
    case ControlType::Radio: {
        auto* radio = new QRadioButton(text, parent);
        Control* option = controlData(d.parent);
        if (option != nullptr && option->radios != nullptr) {
            option->radios->addButton(radio);
            int optionNumber = d.parent;
            QObject::connect(radio, &QRadioButton::clicked, [self, number, optionNumber] {
                Control* opt = self->controlData(optionNumber);
                Control* me = self->controlData(number);
                if (opt != nullptr && me != nullptr && opt->use.bound()) {
                    // A numeric use variable takes the radio's ordinal in its group, a text one its text.
                    int ordinal =
                        opt->radios->buttons().indexOf(static_cast<QAbstractButton*>(me->widget)) + 1;
                    if (opt->use.numeric)
                        opt->use.setNumber(ordinal);
                    else
                        opt->use.setText(fromQt(static_cast<QRadioButton*>(me->widget)->text().remove('&')));
                }
                self->raise(event::Accepted, optionNumber);
                self->raise(event::NewSelection, optionNumber);
            });
        }
        c->widget = radio;
        break;
    }
    case ControlType::Entry:
    case ControlType::TextBox:
        if (d.type == ControlType::Entry || (d.attributes & attr::SingleLine)) {
            auto* edit = new QLineEdit(parent);
            edit->setReadOnly((d.attributes & attr::ReadOnly) != 0);
            QObject::connect(edit, &QLineEdit::textEdited, [self, number] {
                if (Control* cc = self->controlData(number)) cc->dirty = true;
            });
            QObject::connect(edit, &QLineEdit::editingFinished, [self, number] {
                Control* cc = self->controlData(number);
                if (cc == nullptr || !cc->dirty) return;
                cc->dirty = false;
                if (self->validate(*cc))
                    self->raise(event::Accepted, number);
                else
                    self->raise(event::Rejected, number);
            });
            c->widget = edit;
        } else {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly((d.attributes & attr::ReadOnly) != 0);
            c->widget = edit;
        }
        break;
    case ControlType::Prompt:
    case ControlType::Text: {
        auto* label = new QLabel(text, parent);
        if (d.type == ControlType::Text) label->setTextFormat(Qt::PlainText);
        c->widget = label;
        break;
    }
    case ControlType::Spin: {
        auto* spin = new QSpinBox(parent);
        spin->setRange(d.rangeLow, d.rangeHigh > d.rangeLow ? d.rangeHigh : 1000000);
        QObject::connect(spin, &QSpinBox::valueChanged, [self, number](int value) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || cc->dirty) return; // dirty marks a change made by display()
            if (cc->use.bound()) {
                if (cc->use.numeric)
                    cc->use.setNumber(value);
                else
                    cc->use.setText(std::to_string(value));
            }
            self->raise(event::NewSelection, number);
        });
        c->widget = spin;
        break;
    }
    case ControlType::List: {
        auto* frame = new QWidget(parent);
        auto* table = new QTableWidget(frame);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->verticalHeader()->hide();
        table->setShowGrid(false);
        table->setAlternatingRowColors(false);
        c->table = table;
        if (d.attributes & attr::Immediate) {
            table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            auto* bar = new QScrollBar(Qt::Vertical, frame);
            bar->setRange(0, 100);
            c->thumb = bar;
            QObject::connect(bar, &QScrollBar::actionTriggered, [self, number](int action) {
                switch (action) {
                case QAbstractSlider::SliderSingleStepSub:
                    self->raise(event::ScrollUp, number);
                    break;
                case QAbstractSlider::SliderSingleStepAdd:
                    self->raise(event::ScrollDown, number);
                    break;
                case QAbstractSlider::SliderPageStepSub:
                    self->raise(event::PageUp, number);
                    break;
                case QAbstractSlider::SliderPageStepAdd:
                    self->raise(event::PageDown, number);
                    break;
                case QAbstractSlider::SliderToMinimum:
                    self->raise(event::ScrollTop, number);
                    break;
                case QAbstractSlider::SliderToMaximum:
                    self->raise(event::ScrollBottom, number);
                    break;
                default:
                    break;
                }
            });
            // While the thumb is dragged the program may follow it (one EVENT:ScrollTrack waits at
            // a time); the release gives EVENT:ScrollDrag with the thumb's final position.
            QObject::connect(bar, &QScrollBar::sliderMoved, [self, number](int) {
                bool queued =
                    std::any_of(self->queue_.begin(), self->queue_.end(), [number](const Posted& p) {
                        return p.code == messageCode(event::ScrollTrack) && p.control == number;
                    });
                if (!queued) self->raise(event::ScrollTrack, number);
            });
            QObject::connect(bar, &QScrollBar::sliderReleased,
                             [self, number] { self->raise(event::ScrollDrag, number); });
        }
        QObject::connect(table, &QTableWidget::currentCellChanged, [self, number](int row, int, int, int) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || cc->dirty || row < 0 || row + 1 == cc->currentRow) return;
            cc->currentRow = row + 1;
            self->raise(event::NewSelection, number);
        });
        table->installEventFilter(new InputFilter(this, number, table));
        table->viewport()->installEventFilter(new InputFilter(this, number, table));
        c->widget = frame;
        c->columns = parseListFormat(d.format);
        break;
    }
    case ControlType::Combo:
    case ControlType::DropList: {
        auto* combo = new DropCombo(this, number, parent);
        combo->setEditable(d.type == ControlType::Combo);
        c->columns = parseListFormat(d.format);
        QObject::connect(combo, &QComboBox::activated, [self, number](int index) {
            Control* cc = self->controlData(number);
            if (cc == nullptr) return;
            cc->currentRow = index + 1;
            if (cc->use.bound()) {
                std::string value = fromQt(static_cast<QComboBox*>(cc->widget)->itemText(index));
                if (cc->use.numeric)
                    cc->use.setNumber(std::strtod(value.c_str(), nullptr));
                else
                    cc->use.setText(value);
            }
            self->raise(event::NewSelection, number);
            self->raise(event::Accepted, number);
        });
        if (combo->lineEdit() != nullptr) {
            QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, [self, number] {
                if (Control* cc = self->controlData(number)) cc->dirty = true;
            });
            QObject::connect(combo->lineEdit(), &QLineEdit::editingFinished, [self, number] {
                Control* cc = self->controlData(number);
                if (cc == nullptr || !cc->dirty) return;
                cc->dirty = false;
                if (cc->use.bound() && !cc->use.numeric)
                    cc->use.setText(fromQt(static_cast<QComboBox*>(cc->widget)->currentText()));
                self->raise(event::Accepted, number);
            });
        }
        c->widget = combo;
        break;
    }
    case ControlType::Sheet: {
        auto* tabs = new QTabWidget(parent);
        QObject::connect(tabs, &QTabWidget::currentChanged, [self, number](int index) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || index < 0 || index + 1 == cc->selectedTab) return;
            cc->selectedTab = index + 1;
            self->refreshVisibility();
            // The platform changes the tab before telling, so EVENT:TabChanging comes right before
            // EVENT:NewSelection and cannot hold the change back.
            if (!cc->dirty) {
                self->raise(event::TabChanging, number);
                self->raise(event::NewSelection, number);
            }
        });
        c->widget = tabs;
        break;
    }
    case ControlType::Tab: {
        Control* sheet = controlData(d.parent);
        if (sheet != nullptr && sheet->def.type == ControlType::Sheet) {
            auto* tabs = static_cast<QTabWidget*>(sheet->widget);
            sheet->dirty = true; // adding the first page selects it without the user
            tabs->addTab(new QWidget, text);
            sheet->dirty = false;
        }
        break; // a tab has no widget of its own: its controls lie on the sheet's page
    }
    case ControlType::Panel:
    case ControlType::Box:
    case ControlType::Line:
    case ControlType::ToolBar: {
        auto* frame = new QFrame(parent);
        if (d.type == ControlType::Line) {
            frame->setFrameShape(d.width >= d.height ? QFrame::HLine : QFrame::VLine);
            frame->setFrameShadow(QFrame::Sunken);
        } else if (d.type == ControlType::Box) {
            frame->setFrameShape(QFrame::Box);
        } else {
            frame->setFrameShape(QFrame::StyledPanel);
            frame->setFrameShadow(d.type == ControlType::Panel ? QFrame::Sunken : QFrame::Raised);
        }
        c->widget = frame;
        break;
    }
    case ControlType::Image: {
        auto* label = new QLabel(parent);
        label->setAlignment(Qt::AlignCenter);
        int side = std::min(static_cast<int>(d.width * unitX_), static_cast<int>(d.height * unitY_));
        label->setPixmap(makeIcon(d.text).pixmap(std::max(16, side)));
        label->setProperty("docketIcon", QString::fromStdString(d.text));
        c->widget = label;
        break;
    }
    case ControlType::Region: {
        auto* region = new QWidget(parent);
        region->setAttribute(Qt::WA_NoSystemBackground);
        region->setMouseTracking((d.attributes & attr::Immediate) != 0);
        c->widget = region;
        break;
    }
    }
    if (c->widget != nullptr) {
        if (!d.tip.empty()) c->widget->setToolTip(toQt(d.tip));
        if (d.attributes & attr::Disabled) c->widget->setEnabled(false);
        if (d.attributes & attr::Skip) c->widget->setFocusPolicy(Qt::ClickFocus);
        if (c->table == nullptr) c->widget->installEventFilter(new InputFilter(this, number, c->widget));
        if (auto* check = qobject_cast<QCheckBox*>(c->widget))
            check->setChecked((d.attributes & attr::Checked) != 0);
    }
    applyScrollBars(*c);
    Control* raw = c.get();
    controls_.push_back(std::move(c));
    place(*raw);
    if (raw->table != nullptr) {
        // Columns in pixels; the scroll bar of a program-filled list sits at the right edge.
        QRect frame = raw->widget->geometry();
        int barWidth = raw->thumb != nullptr ? raw->thumb->sizeHint().width() : 0;
        raw->table->setGeometry(0, 0, frame.width() - barWidth, frame.height());
        if (raw->thumb != nullptr)
            raw->thumb->setGeometry(frame.width() - barWidth, 0, barWidth, frame.height());
    }
    // A prompt is the buddy of the control after it, so its mnemonic reaches that control.
    if (number > 1) {
        Control* before = controlData(number - 1);
        if (before != nullptr && before->def.type == ControlType::Prompt && raw->widget != nullptr)
            static_cast<QLabel*>(before->widget)->setBuddy(raw->widget);
    }
    if (raw->widget != nullptr && d.parent == 0) raw->widget->raise();
}

// Text boxes show scroll bars only where their definition asks for them. Lists follow HScroll; their
// vertical bar shows whenever the rows do not fit, so a list stays usable whatever its definition
// says, and a list the program fills keeps its own vertical bar (the thumb).
void Window::applyScrollBars(Control& c) {
    auto policy = [](bool on) { return on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff; };
    const bool horizontal = (c.def.attributes & attr::HScroll) != 0;
    if (c.table != nullptr) {
        c.table->setHorizontalScrollBarPolicy(policy(horizontal));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(c.widget)) {
        plain->setHorizontalScrollBarPolicy(policy(horizontal));
        plain->setVerticalScrollBarPolicy(policy((c.def.attributes & attr::VScroll) != 0));
        plain->setLineWrapMode(horizontal ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    }
}

int Window::createControl(const ControlDefinition& definition) {
    int number = controlCount() + 1;
    build(definition, number);
    refreshVisibility();
    display(number);
    return number;
}

void Window::destroyControl(int control) {
    Control* c = controlData(control);
    if (c == nullptr) return;
    delete c->widget;
    c->widget = nullptr;
    c->destroyed = true;
    clearAlert(control);
}

bool Window::visibleByParents(const Control& c) const {
    if (c.hidden) return false;
    const Control* parent = controlData(c.def.parent);
    if (parent == nullptr) return true;
    if (parent->def.type == ControlType::Tab) {
        const Control* sheet = controlData(parent->def.parent);
        if (sheet != nullptr) {
            int index = 0;
            for (int n = 1; n < parent->number; ++n) {
                const Control* other = controlData(n);
                if (other != nullptr && other->def.type == ControlType::Tab &&
                    other->def.parent == sheet->number)
                    ++index;
            }
            if (index + 1 != sheet->selectedTab) return false;
        }
    }
    return visibleByParents(*parent);
}

void Window::refreshVisibility() {
    for (auto& c : controls_) {
        if (c->destroyed || c->widget == nullptr) continue;
        c->widget->setVisible(visibleByParents(*c));
    }
}

void Window::display(int control) {
    for (auto& owned : controls_) {
        Control& c = *owned;
        if (c.destroyed || (control != 0 && c.number != control)) continue;
        if (c.table != nullptr) {
            c.dirty = true; // changes made here are not the user's
            QTableWidget* table = c.table;
            table->setColumnCount(static_cast<int>(c.columns.size()));
            bool headers = false;
            for (std::size_t i = 0; i < c.columns.size(); ++i) {
                const ListColumn& col = c.columns[i];
                auto* item = new QTableWidgetItem(toQt(col.header));
                item->setTextAlignment(qtAlign(col.headerAlign));
                table->setHorizontalHeaderItem(static_cast<int>(i), item);
                table->setColumnWidth(static_cast<int>(i), static_cast<int>(col.width * unitX_));
                headers = headers || col.hasHeader;
            }
            table->horizontalHeader()->setVisible(headers);
            table->horizontalHeader()->setStretchLastSection(true);
            int rows = c.source != nullptr ? c.source->rowCount() : 0;
            table->setRowCount(rows);
            for (int r = 0; r < rows; ++r) {
                for (std::size_t i = 0; i < c.columns.size(); ++i) {
                    const ListColumn& col = c.columns[i];
                    auto* item =
                        new QTableWidgetItem(toQt(fieldText(c.source->field(r, col.field), col.picture)));
                    item->setTextAlignment(qtAlign(col.align));
                    table->setItem(r, static_cast<int>(i), item);
                }
                table->setRowHeight(r, QFontMetrics(table->font()).height() + 4);
            }
            if (c.currentRow > rows) c.currentRow = rows;
            if (c.currentRow > 0)
                table->selectRow(c.currentRow - 1);
            else
                table->clearSelection();
            c.dirty = false;
            continue;
        }
        if (auto* combo = qobject_cast<QComboBox*>(c.widget)) {
            if (c.source != nullptr) {
                int field = c.columns.empty() ? 1 : c.columns.front().field;
                combo->clear();
                for (int r = 0; r < c.source->rowCount(); ++r)
                    combo->addItem(toQt(c.source->field(r, field)));
            }
            if (c.use.bound()) {
                std::string value =
                    c.use.numeric ? std::to_string(static_cast<long>(c.use.getNumber())) : c.use.getText();
                int index = combo->findText(toQt(value));
                if (combo->isEditable())
                    combo->setEditText(toQt(value));
                else if (index >= 0)
                    combo->setCurrentIndex(index);
                if (index >= 0) c.currentRow = index + 1;
            }
            continue;
        }
        if (c.def.type == ControlType::Sheet) {
            auto* tabs = static_cast<QTabWidget*>(c.widget);
            c.dirty = true;
            if (c.selectedTab >= 1 && c.selectedTab <= tabs->count())
                tabs->setCurrentIndex(c.selectedTab - 1);
            c.dirty = false;
            continue;
        }
        if (!c.use.bound()) continue;
        std::string shown;
        if (c.use.numeric) {
            double value = c.use.getNumber();
            shown = c.hasPicture ? runtime::formatNumber(value, c.picture)
                                 : std::to_string(static_cast<long>(value));
        } else {
            shown = c.hasPicture ? runtime::formatText(c.use.getText(), c.picture) : c.use.getText();
        }
        if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
            // Pictures pad numbers on the left for columns; an entry shows them from its left edge.
            edit->setText(toQt(shown).trimmed());
            c.dirty = false;
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(c.widget)) {
            plain->setPlainText(toQt(c.use.numeric ? shown : c.use.getText()));
        } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
            label->setText(toQt(shown));
        } else if (auto* check = qobject_cast<QCheckBox*>(c.widget)) {
            check->setChecked(c.use.numeric ? c.use.getNumber() != 0 : (!shown.empty() && shown != "0"));
        } else if (auto* spin = qobject_cast<QSpinBox*>(c.widget)) {
            c.dirty = true;
            spin->setValue(static_cast<int>(c.use.numeric ? c.use.getNumber() : std::atoi(shown.c_str())));
            c.dirty = false;
        } else if (c.radios != nullptr) {
            auto buttons = c.radios->buttons();
            for (int i = 0; i < buttons.size(); ++i) {
                bool on = c.use.numeric ? static_cast<int>(c.use.getNumber()) == i + 1
                                        : buttons[i]->text().remove('&') == toQt(c.use.getText());
                buttons[i]->setChecked(on);
            }
        }
    }
}

bool Window::validate(Control& c) {
    auto* edit = qobject_cast<QLineEdit*>(c.widget);
    if (edit == nullptr || !c.use.bound()) return true;
    std::string typed = fromQt(edit->text());
    if (c.hasPicture && !readable(typed, c.picture)) return false;
    if (c.use.numeric) {
        c.use.setNumber(c.hasPicture ? runtime::deformatNumber(typed, c.picture)
                                     : std::strtod(typed.c_str(), nullptr));
    } else {
        c.use.setText(c.hasPicture ? runtime::deformatText(typed, c.picture) : typed);
    }
    display(c.number);
    return true;
}

void Window::update(int control) {
    for (auto& c : controls_) {
        if (c->destroyed || (control != 0 && c->number != control)) continue;
        if (auto* plain = qobject_cast<QPlainTextEdit*>(c->widget)) {
            if (c->use.bound() && !c->use.numeric) c->use.setText(fromQt(plain->toPlainText()));
        } else if (c->dirty && qobject_cast<QLineEdit*>(c->widget) != nullptr) {
            if (validate(*c)) c->dirty = false;
        }
    }
}

int Window::focusControl() const {
    QWidget* focus = QApplication::focusWidget();
    for (const auto& c : controls_) {
        if (c->destroyed || c->widget == nullptr) continue;
        if (focus == c->widget || (focus != nullptr && c->widget->isAncestorOf(focus))) return c->number;
    }
    return 0;
}

void Window::select(int control) {
    Control* c = controlData(control);
    if (c == nullptr || c->widget == nullptr) return;
    QWidget* target = c->table != nullptr ? c->table : c->widget;
    target->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
    post(event::Selected, control);
}

void Window::alert(int control, int code, int slot) {
    alerts_.push_back({control, code, slot});
}

void Window::clearAlert(int control, int slot) {
    std::erase_if(alerts_,
                  [&](const Alert& a) { return a.control == control && (slot < 0 || a.slot == slot); });
}

bool Window::keyPressed(int control, int code) {
    bool armed = std::any_of(alerts_.begin(), alerts_.end(), [&](const Alert& a) {
        return a.key == code && (a.control == control || a.control == 0);
    });
    if (!armed) return false;
    raise(event::PreAlert, control, code);
    return true;
}

void Window::raise(std::uint32_t eventNumber, int control, int code) {
    if (closed_) return;
    queue_.push_back({messageCode(eventNumber), control, code});
}

void Window::post(std::uint32_t eventNumber, int control) {
    raise(eventNumber, control);
}

int Window::addHandler(std::uint32_t eventNumber, int control, std::function<Action()> handler) {
    handlers_.push_back({nextHandler_, eventNumber, control, std::move(handler)});
    return nextHandler_++;
}

void Window::removeHandler(int id) {
    std::erase_if(handlers_, [id](const Handler& h) { return h.id == id; });
}

void Window::acceptAll() {
    update();
    acceptAll_ = 1;
}

// Hands the next entry of the accept-all pass to the loop; false when the pass has ended.
bool Window::nextAcceptAll() {
    while (acceptAll_ != 0 && acceptAll_ <= controlCount()) {
        Control* c = controlData(acceptAll_++);
        if (c == nullptr || qobject_cast<QLineEdit*>(c->widget) == nullptr || !c->widget->isEnabled())
            continue;
        if (c->def.type != ControlType::Entry && c->def.type != ControlType::TextBox) continue;
        std::string typed = fromQt(static_cast<QLineEdit*>(c->widget)->text());
        if (c->hasPicture && !readable(typed, c->picture)) {
            acceptAll_ = 0;
            select(c->number);
            queue_.push_front({messageCode(event::Rejected), c->number, -1});
            return false;
        }
        validate(*c);
        queue_.push_front({messageCode(event::Accepted), c->number, -1});
        return true;
    }
    if (acceptAll_ != 0) {
        acceptAll_ = 0;
        queue_.push_front({messageCode(event::Completed), 0, -1});
    }
    return false;
}

void Window::defaultAction() {
    switch (event_) {
    case event::CloseWindow:
    case event::CloseDown:
        close();
        break;
    case event::PreAlert:
        queue_.push_front({messageCode(event::AlertKey), control_, keyCode_});
        break;
    default:
        break;
    }
}

bool Window::takeEvent() {
    if (turnTaken_) {
        turnTaken_ = false;
        if (action_ == Action::Leave)
            left_ = true;
        else if (action_ == Action::Default)
            defaultAction();
    }
    if (closed_ || left_) return false;
    for (;;) {
        if (queue_.empty() && acceptAll_ != 0) nextAcceptAll();
        Scheduler::instance().waitUntil([this] { return !queue_.empty() || closed_; });
        if (closed_ || queue_.empty()) return false;
        Posted next = queue_.front();
        queue_.pop_front();
        event_ = eventNumber(next.code);
        control_ = next.control;
        if (next.keyCode >= 0) keyCode_ = next.keyCode;
        action_ = Action::Default;
        bool handled = false;
        for (const Handler& h : handlers_) {
            if ((h.event == 0 || h.event == event_) && (h.control == 0 || h.control == control_)) {
                Action result = h.run();
                if (result == Action::Skip) {
                    handled = true;
                    break;
                }
            }
        }
        if (handled) continue;
        turnTaken_ = true;
        return true;
    }
}

void Window::setTimer(int hundredths) {
    if (timerId_ != 0) widget_->killTimer(timerId_);
    timerId_ = hundredths > 0 ? widget_->startTimer(hundredths * 10) : 0;
    bool counted = timerId_ != 0;
    if (counted != timerCounted_) Scheduler::instance().countTimers(counted ? 1 : -1);
    timerCounted_ = counted;
}

void Window::beginDeferredMoves() {
    deferred_ = true;
    widget_->setUpdatesEnabled(false);
}

void Window::endDeferredMoves() {
    deferred_ = false;
    for (auto& c : controls_) {
        if (!c->destroyed) place(*c);
    }
    widget_->setUpdatesEnabled(true);
}

void Window::userResized() {
    bool queued = std::any_of(queue_.begin(), queue_.end(),
                              [](const Posted& p) { return p.code == messageCode(event::Sized); });
    if (!queued) raise(event::Sized, 0);
}

// The platform moves the window before telling, so EVENT:Move and EVENT:Moved come together and
// skipping EVENT:Move cannot hold the move back. Moves that leave the window where it was (the
// platform confirming a placement) raise nothing.
void Window::moved() {
    if (widget_->x() == lastX_ && widget_->y() == lastY_) return;
    lastX_ = widget_->x();
    lastY_ = widget_->y();
    bool queued = std::any_of(queue_.begin(), queue_.end(),
                              [](const Posted& p) { return p.code == messageCode(event::Moved); });
    if (queued) return;
    raise(event::Move, 0);
    raise(event::Moved, 0);
}

void Window::stateChanged(int oldState) {
    Qt::WindowStates before = Qt::WindowStates::fromInt(oldState);
    Qt::WindowStates now = widget_->windowState();
    if ((now & Qt::WindowMinimized) && !(before & Qt::WindowMinimized)) {
        raise(event::Iconize, 0);
        raise(event::Iconized, 0);
    } else if ((now & Qt::WindowMaximized) && !(before & Qt::WindowMaximized)) {
        raise(event::Maximize, 0);
        raise(event::Maximized, 0);
    } else if ((before & (Qt::WindowMinimized | Qt::WindowMaximized)) &&
               !(now & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        raise(event::Restore, 0);
        raise(event::Restored, 0);
    }
}

void Window::placeRelativeTo(const Window& parent, int x, int y) {
    QPoint origin = parent.widget_->pos();
    widget_->move(origin.x() + static_cast<int>(x * parent.unitX_ + 0.5),
                  origin.y() + static_cast<int>(y * parent.unitY_ + 0.5));
    lastX_ = widget_->x();
    lastY_ = widget_->y();
    widget_->show();
}

void Window::setListPosition(int control, int row, int thumb) {
    Control* c = controlData(control);
    if (c == nullptr || c->table == nullptr) return;
    c->table->setUpdatesEnabled(false);
    c->dirty = true; // not the user's choice: no EVENT:NewSelection
    c->currentRow = std::max(0, row);
    if (row >= 1 && row <= c->table->rowCount())
        c->table->selectRow(row - 1);
    else
        c->table->clearSelection();
    if (c->thumb != nullptr) c->thumb->setValue(std::clamp(thumb, 0, 100));
    c->dirty = false;
    c->table->setUpdatesEnabled(true);
}

bool post(std::uint32_t eventNumber, int control, int thread) {
    if (thread == 0) thread = currentThread();
    Window* window = Scheduler::instance().topWindow(thread);
    if (window == nullptr) return false;
    window->post(eventNumber, control);
    return true;
}

Window* currentWindow() {
    return Scheduler::instance().topWindow(currentThread());
}

} // namespace docket::ui
