#include "ui/scripted_user.h"

#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

namespace docket::ui {

ScriptedUser& ScriptedUser::instance() {
    static ScriptedUser user;
    return user;
}

void ScriptedUser::attach() {
    Scheduler::instance().setScriptedMode(true);
    Scheduler::instance().setIdleAction([this] { return act(); });
    setUserObserver(this);
}

void ScriptedUser::clear() {
    actions_.clear();
    shown_.clear();
    failures_.clear();
}

bool ScriptedUser::act() {
    if (actions_.empty() || !Scheduler::instance().allWaiting()) return false;
    auto action = std::move(actions_.front());
    actions_.pop_front();
    action();
    return true;
}

Window* ScriptedUser::target(int thread) {
    if (thread == 0) {
        // The oldest program thread, the one that runs the main procedure.
        auto threads = Scheduler::instance().threads();
        if (threads.empty()) return nullptr;
        thread = threads.front();
    }
    return Scheduler::instance().topWindow(thread);
}

void ScriptedUser::boxShown(const std::string& caption, const std::string& text, unsigned buttons, int icon) {
    shown_.push_back({"box", caption, text, buttons, icon});
}
void ScriptedUser::menuShown(const std::string& text) {
    shown_.push_back({"menu", {}, text, 0});
}
void ScriptedUser::dialogShown(const std::string& kind, const std::string& caption, const std::string& text) {
    shown_.push_back({kind, caption, text, 0});
}
void ScriptedUser::beeped() {
    shown_.push_back({"beep", {}, {}, 0});
}

void ScriptedUser::custom(std::function<void()> action) {
    actions_.push_back(std::move(action));
}

void ScriptedUser::click(int control, int thread) {
    custom([this, control, thread] {
        Window* w = target(thread);
        auto* button = w != nullptr ? qobject_cast<QAbstractButton*>(w->controlWidget(control)) : nullptr;
        if (button == nullptr || !button->isEnabled() || !w->widget()->isEnabled())
            return fail("click " + std::to_string(control));
        button->click();
    });
}

void ScriptedUser::type(int control, const std::string& text, int thread) {
    custom([this, control, text, thread] {
        Window* w = target(thread);
        QWidget* widget = w != nullptr ? w->controlWidget(control) : nullptr;
        QLineEdit* edit = qobject_cast<QLineEdit*>(widget);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) edit = combo->lineEdit();
        if (edit == nullptr) return fail("type " + std::to_string(control));
        edit->setFocus();
        edit->selectAll();
        edit->insert(toQt(text)); // emits textEdited as typing does
        emit edit->editingFinished();
    });
}

void ScriptedUser::pressKey(int control, int code, int thread) {
    custom([this, control, code, thread] {
        Window* w = target(thread);
        Control* c = w != nullptr ? w->controlData(control) : nullptr;
        if (c == nullptr) return fail("key " + std::to_string(control));
        QWidget* receiver = c->table != nullptr ? c->table : c->widget;
        if (code < 256 && code >= 1 && code <= 7 && code != 4) {
            // Mouse codes go the way a click would.
            QMouseEvent::Type type = code >= 5 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
            Qt::MouseButton b = (code == 1 || code == 5)   ? Qt::LeftButton
                                : (code == 2 || code == 6) ? Qt::RightButton
                                                           : Qt::MiddleButton;
            QPointF at(2, 2);
            QMouseEvent press(type, at, receiver->mapToGlobal(at), b, b, Qt::NoModifier);
            QWidget* target = c->table != nullptr ? c->table->viewport() : receiver;
            QApplication::sendEvent(target, &press);
            return;
        }
        Qt::KeyboardModifiers mods;
        if (code & key::Shift) mods |= Qt::ShiftModifier;
        if (code & key::Ctrl) mods |= Qt::ControlModifier;
        if (code & key::Alt) mods |= Qt::AltModifier;
        QKeyEvent press(QEvent::KeyPress, qtKey(code & 0xFF), mods);
        QApplication::sendEvent(receiver, &press);
    });
}

void ScriptedUser::pickRow(int control, int row, int thread) {
    custom([this, control, row, thread] {
        Window* w = target(thread);
        Control* c = w != nullptr ? w->controlData(control) : nullptr;
        if (c != nullptr && c->table != nullptr && row >= 1 && row <= c->table->rowCount()) {
            c->table->setCurrentCell(row - 1, 0);
        } else if (auto* combo = c != nullptr ? qobject_cast<QComboBox*>(c->widget) : nullptr;
                   combo != nullptr && row >= 1 && row <= combo->count()) {
            combo->setCurrentIndex(row - 1);
            emit combo->activated(row - 1);
        } else {
            fail("row " + std::to_string(control));
        }
    });
}

void ScriptedUser::pickTab(int control, int tab, int thread) {
    custom([this, control, tab, thread] {
        Window* w = target(thread);
        auto* tabs = w != nullptr ? qobject_cast<QTabWidget*>(w->controlWidget(control)) : nullptr;
        if (tabs == nullptr || tab < 1 || tab > tabs->count()) return fail("tab " + std::to_string(control));
        tabs->setCurrentIndex(tab - 1);
    });
}

void ScriptedUser::resize(int width, int height, int thread) {
    custom([this, width, height, thread] {
        Window* w = target(thread);
        if (w == nullptr) return fail("resize");
        w->widget()->resize(width, height);
    });
}

void ScriptedUser::closeWindow(int thread) {
    custom([this, thread] {
        Window* w = target(thread);
        if (w == nullptr) return fail("close");
        w->widget()->close();
    });
}

void ScriptedUser::answerBox(unsigned bit) {
    custom([this, bit] {
        QMessageBox* box = openBox();
        if (box == nullptr) return fail("no box to answer");
        for (QAbstractButton* b : box->buttons()) {
            QMessageBox::StandardButton standard = box->standardButton(b);
            unsigned mine = standard == QMessageBox::Ok       ? 1
                            : standard == QMessageBox::Yes    ? 2
                            : standard == QMessageBox::No     ? 4
                            : standard == QMessageBox::Abort  ? 8
                            : standard == QMessageBox::Retry  ? 16
                            : standard == QMessageBox::Ignore ? 32
                            : standard == QMessageBox::Cancel ? 64
                            : standard == QMessageBox::Help   ? 128
                                                              : 0;
            if (mine == bit) {
                b->click();
                return;
            }
        }
        fail("box has no button " + std::to_string(bit));
    });
}

namespace {
QAction* findOrdinal(QMenu* menu, int& left) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        if (action->menu() != nullptr) {
            if (QAction* inner = findOrdinal(action->menu(), left)) return inner;
            continue;
        }
        if (--left == 0) return action;
    }
    return nullptr;
}
} // namespace

void ScriptedUser::chooseMenu(int ordinal) {
    custom([this, ordinal] {
        QMenu* menu = openMenu();
        if (menu == nullptr) return fail("no menu open");
        int left = ordinal;
        QAction* action = ordinal > 0 ? findOrdinal(menu, left) : nullptr;
        if (action != nullptr && action->isEnabled()) {
            // As a click does: the menu closes, then the action fires.
            menu->hide();
            action->trigger();
        } else {
            menu->hide();
        }
    });
}

void ScriptedUser::pickFile(const std::string& path) {
    custom([this, path] {
        auto* dialog = qobject_cast<QFileDialog*>(openDialog());
        if (dialog == nullptr) return fail("no file dialog open");
        // As typing the name into the dialog's name field and pressing its accept button does.
        // (selectFile() leaves the field alone while it has the focus.)
        if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            field->setText(toQt(path));
        else
            dialog->selectFile(toQt(path));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own accept() is protected
    });
}

void ScriptedUser::pickFont(const std::string& face, int size, long colour, int style) {
    custom([this, face, size, colour, style] {
        QDialog* dialog = openDialog();
        if (!setFontDialogChoice(dialog, face, size, colour, style)) return fail("no font dialog open");
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("docketFontButtons"));
        if (buttons == nullptr) return fail("font dialog has no buttons");
        buttons->button(QDialogButtonBox::Ok)->click();
    });
}

void ScriptedUser::pickColor(long colour) {
    custom([this, colour] {
        auto* dialog = qobject_cast<QColorDialog*>(openDialog());
        if (dialog == nullptr) return fail("no colour dialog open");
        dialog->setCurrentColor(toColor(colour));
        static_cast<QDialog*>(dialog)->accept();
    });
}

void ScriptedUser::cancelDialog() {
    custom([this] {
        QDialog* dialog = openDialog();
        if (dialog == nullptr) return fail("no dialog open");
        dialog->reject();
    });
}

} // namespace docket::ui
