#include "ui/window.h"

#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/scheduler.h"
#include "ui/text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
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

// Input on a control's widgets: armed alert keys first, then the control's kind, then what every
// control does (Escape asks to close the window; Immediate controls report the mouse).
class InputFilter : public QObject {
public:
    InputFilter(Window* window, int control, QObject* parent) : QObject(parent), window_(window), control_(control) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        Control* c = window_->controlData(control_);
        if (c == nullptr) return false;
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            int code = keyCode(k->key(), k->modifiers());
            // Events raised while the key is handled carry its character.
            const bool printable = !k->text().isEmpty() && k->text().at(0).isPrint();
            window_->setPressedChar(printable ? fromQt(k->text()) : std::string());
            struct Forget {
                Window* w;
                ~Forget() { w->setPressedChar({}); }
            } forget{window_};
            if (code != 0 && window_->keyPressed(control_, code)) return true;
            if (c->kind != nullptr && c->kind->input(*window_, *c, *e, code)) return true;
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
            return c->kind != nullptr && c->kind->input(*window_, *c, *e, code);
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            return c->kind != nullptr && c->kind->input(*window_, *c, *e, mouseCode(m->button(), false, true));
        }
        case QEvent::Wheel:
            return c->kind != nullptr && c->kind->input(*window_, *c, *e, 0);
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
            return false;
        }
    }

private:
    Window* window_;
    int control_;
};

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
    for (auto& c : controls_) {
        QWidget* target = c->kind != nullptr ? c->kind->focusWidget(*c) : nullptr;
        if (target != nullptr && target->focusPolicy() != Qt::NoFocus && target->isEnabled() &&
            visibleByParents(*c)) {
            target->setFocus();
            focusReported_ = c->number;
            break;
        }
    }
    // The user moving the focus to another control selects it. The control the window opens with
    // (or gets back when it is activated again) was not moved to.
    QObject::connect(qApp, &QApplication::focusChanged, widget_.get(),
                     [this](QWidget*, QWidget* now) { focusMoved(now); });
}

void Window::focusMoved(QWidget* now) {
    if (closed_ || now == nullptr || now->window() != widget_.get()) return;
    int control = controlOf(now);
    if (control == 0 || control == focusReported_) return;
    focusReported_ = control;
    raise(event::Selected, control);
}

int Window::controlOf(QWidget* focus) const {
    for (const auto& c : controls_) {
        if (c->destroyed || c->widget == nullptr) continue;
        if (focus == c->widget || c->widget->isAncestorOf(focus)) return c->number;
    }
    return 0;
}

Window::~Window() {
    close();
    if (timerCounted_) Scheduler::instance().countTimers(-1);
    // The widgets go first: while Qt deletes them their input filters still look the controls up.
    widget_.reset();
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
    if (c.kind != nullptr) c.kind->placed(*this, c);
}

void Window::build(const ControlDefinition& d, int number) {
    auto owned = std::make_unique<Control>();
    Control* c = owned.get();
    c->number = number;
    c->def = d;
    c->kind = findControlKind(d.type);
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
    // The control joins the window before its kind creates it, so that what the kind connects can
    // find it by number (a radio button finds its option group the same way).
    controls_.push_back(std::move(owned));
    if (c->kind != nullptr) c->kind->create(*this, *c, widget_.get());
    if (c->widget != nullptr) {
        if (!d.tip.empty()) c->widget->setToolTip(toQt(d.tip));
        if (d.attributes & attr::Disabled) c->widget->setEnabled(false);
        if (d.attributes & attr::Skip) c->widget->setFocusPolicy(Qt::ClickFocus);
        if (!c->inputWatched) watchInput(number, c->widget);
    }
    place(*c);
    // A prompt is the buddy of the control after it, so its mnemonic reaches that control.
    if (number > 1) {
        Control* before = controlData(number - 1);
        if (before != nullptr && before->def.type == ControlType::Prompt && c->widget != nullptr)
            static_cast<QLabel*>(before->widget)->setBuddy(c->widget);
    }
    if (c->widget != nullptr && d.parent == 0) c->widget->raise();
}

void Window::watchInput(int control, QObject* target) {
    Control* c = controlData(control);
    if (c == nullptr || target == nullptr) return;
    target->installEventFilter(new InputFilter(this, control, target));
    c->inputWatched = true;
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

// A control shows while it is not hidden and every parent shows; a control on a tab shows only
// while that tab is its sheet's choice. A chain of parents that runs in a circle (a faulty
// definition) ends after as many steps as there are controls.
bool Window::visibleByParents(const Control& control) const {
    const Control* c = &control;
    for (int steps = 0; steps <= controlCount(); ++steps) {
        if (c->hidden) return false;
        const Control* parent = controlData(c->def.parent);
        if (parent == nullptr || parent == c) return true;
        if (parent->def.type == ControlType::Tab) {
            const Control* sheet = controlData(parent->def.parent);
            if (sheet != nullptr && tabOrdinal(*this, *parent) != sheet->selectedTab) return false;
        }
        c = parent;
    }
    return true;
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
        if (c.destroyed || c.kind == nullptr || (control != 0 && c.number != control)) continue;
        c.kind->show(*this, c);
    }
}

void Window::update(int control) {
    for (auto& owned : controls_) {
        Control& c = *owned;
        if (c.destroyed || c.kind == nullptr || (control != 0 && c.number != control)) continue;
        c.kind->take(*this, c, false);
    }
}

// The window's own focus: the control that has it, or gets it back when the window is active again.
int Window::focusControl() const {
    QWidget* focus = widget_->focusWidget();
    return focus == nullptr ? 0 : controlOf(focus);
}

// Selecting a control on a tab other than the chosen one brings its tab forward first, as the
// user's choice of that tab would (EVENT:TabChanging and EVENT:NewSelection for the sheet), so
// that a control the program sends the user to is always one the user can see.
void Window::select(int control) {
    Control* c = controlData(control);
    if (c == nullptr || c->widget == nullptr) return;
    QWidget* target = c->kind != nullptr ? c->kind->focusWidget(*c) : c->widget;
    if (target == nullptr || target->focusPolicy() == Qt::NoFocus) {
        // A control that cannot take the focus (a prompt, a string) passes the selection on to the
        // next control that can, as a prompt passes its mnemonic to the control after it.
        for (int next = control + 1; next <= controlCount(); ++next) {
            Control* n = controlData(next);
            QWidget* w = n != nullptr && n->kind != nullptr ? n->kind->focusWidget(*n) : nullptr;
            if (w != nullptr && w->focusPolicy() != Qt::NoFocus && w->isEnabled() && !n->hidden)
                return select(next);
        }
        return;
    }
    bringForward(*c);
    focusReported_ = control;
    target->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
    post(event::Selected, control);
}

void Window::bringForward(const Control& control) {
    const Control* c = &control;
    for (int steps = 0; steps <= controlCount(); ++steps) {
        Control* parent = controlData(c->def.parent);
        if (parent == nullptr || parent == c) return;
        if (parent->def.type == ControlType::Tab) {
            Control* sheet = controlData(parent->def.parent);
            int ordinal = tabOrdinal(*this, *parent);
            if (sheet != nullptr && sheet->kind != nullptr && sheet->selectedTab != ordinal && !parent->hidden) {
                sheet->kind->set(*this, *sheet, "Choice", std::to_string(ordinal));
                raise(event::TabChanging, sheet->number);
                raise(event::NewSelection, sheet->number);
            }
        }
        c = parent;
    }
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
    queue_.push_back({messageCode(eventNumber), control, code, code >= 0 ? pressedChar_ : std::string()});
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
        if (c == nullptr || c->kind == nullptr || c->widget == nullptr || !c->widget->isEnabled() ||
            !c->kind->validated(*c))
            continue;
        if (!c->kind->take(*this, *c, true)) {
            acceptAll_ = 0;
            select(c->number);
            queue_.push_front({messageCode(event::Rejected), c->number, -1});
            return false;
        }
        queue_.push_front({messageCode(event::Accepted), c->number, -1});
        return true;
    }
    if (acceptAll_ != 0) {
        acceptAll_ = 0;
        queue_.push_front({messageCode(event::Completed), 0, -1});
    }
    return false;
}

bool Window::queued(std::uint32_t eventNumber, int control) const {
    return std::any_of(queue_.begin(), queue_.end(), [&](const Posted& p) {
        return p.code == messageCode(eventNumber) && p.control == control;
    });
}

void Window::defaultAction() {
    switch (event_) {
    case event::CloseWindow:
    case event::CloseDown:
        close();
        break;
    case event::PreAlert:
        queue_.push_front({messageCode(event::AlertKey), control_, keyCode_, keyChar_});
        break;
    default:
        break;
    }
}

// Handlers may add and remove handlers, themselves included. The event goes to the handlers that
// matched it when it arrived, in the order they were added, each only if it is still there when
// its turn comes; a handler added meanwhile sees the events after this one. The handler runs from
// a copy, so removing it while it runs leaves the running code alone.
bool Window::runHandlers() {
    std::vector<int> matching;
    for (const Handler& h : handlers_) {
        if ((h.event == 0 || h.event == event_) && (h.control == 0 || h.control == control_)) matching.push_back(h.id);
    }
    for (int id : matching) {
        auto found = std::find_if(handlers_.begin(), handlers_.end(), [id](const Handler& h) { return h.id == id; });
        if (found == handlers_.end()) continue;
        std::function<Action()> run = found->run;
        if (run() == Action::Skip) return true;
    }
    return false;
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
        if (next.keyCode >= 0) {
            keyCode_ = next.keyCode;
            keyChar_ = next.keyChar;
        }
        action_ = Action::Default;
        if (runHandlers()) continue;
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
