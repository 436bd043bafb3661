#include "ui/modal.h"

#include "runtime/core/fatal.h"
#include "ui/menu_text.h"
#include "ui/scheduler.h"
#include "ui/observer.h"
#include "ui/text.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <memory>
#include <utility>

namespace docket::ui {
namespace {

QMessageBox* gBox = nullptr;
QMenu* gMenu = nullptr;
std::function<void()> gStop;

struct ButtonName {
    unsigned bit;
    QMessageBox::StandardButton standard;
};
constexpr ButtonName kButtons[] = {
    {button::Ok, QMessageBox::Ok},         {button::Yes, QMessageBox::Yes},
    {button::No, QMessageBox::No},         {button::Abort, QMessageBox::Abort},
    {button::Retry, QMessageBox::Retry},   {button::Ignore, QMessageBox::Ignore},
    {button::Cancel, QMessageBox::Cancel}, {button::Help, QMessageBox::Help},
};

void fill(QMenu* menu, const std::vector<MenuEntry>& entries, int* chosen) {
    for (const MenuEntry& entry : entries) {
        if (entry.separator) {
            menu->addSeparator();
        } else if (!entry.children.empty()) {
            QMenu* sub = menu->addMenu(toQt(entry.text));
            if (!entry.icon.empty()) sub->setIcon(makeIcon(entry.icon));
            fill(sub, entry.children, chosen);
        } else {
            QAction* action = menu->addAction(toQt(entry.text));
            action->setEnabled(!entry.disabled);
            action->setCheckable(entry.checkable);
            action->setChecked(entry.checked);
            if (!entry.icon.empty()) action->setIcon(makeIcon(entry.icon));
            int ordinal = entry.ordinal;
            QObject::connect(action, &QAction::triggered, [chosen, ordinal] { *chosen = ordinal; });
        }
    }
}

} // namespace

std::string messageIconName(int number) {
    switch (number) {
    case icon::Application:
        return "docket.ico";
    case icon::Hand:
        return "icon:hand";
    case icon::Question:
        return "icon:question";
    case icon::Exclamation:
        return "icon:exclamation";
    case icon::Asterisk:
        return "icon:asterisk";
    default:
        return {};
    }
}

unsigned messageBox(const std::string& text, const std::string& caption, int icon, unsigned buttons,
                    unsigned defaultButton) {
    if ((buttons & 0xFF) == 0) buttons = button::Ok;
    QString shown = toQt(text);
    shown.replace('|', '\n');
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(toQt(caption));
    box->setText(shown);
    switch (icon) {
    case icon::Application:
        box->setIconPixmap(makeIcon("docket.ico").pixmap(32));
        break;
    case icon::Hand:
        box->setIcon(QMessageBox::Critical);
        break;
    case icon::Question:
        box->setIcon(QMessageBox::Question);
        break;
    case icon::Exclamation:
        box->setIcon(QMessageBox::Warning);
        break;
    case icon::Asterisk:
        box->setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    unsigned answer = 0;
    unsigned first = 0;
    for (const ButtonName& name : kButtons) {
        if ((buttons & name.bit) == 0) continue;
        if (first == 0) first = name.bit;
        QAbstractButton* b = box->addButton(name.standard);
        unsigned bit = name.bit;
        QObject::connect(b, &QAbstractButton::clicked, [&answer, bit] { answer = bit; });
        if (bit == defaultButton) box->setDefaultButton(static_cast<QPushButton*>(b));
    }
    unsigned closeAnswer = (buttons & button::Cancel)  ? button::Cancel
                           : (defaultButton & buttons) ? defaultButton
                                                       : first;
    QObject::connect(box.get(), &QMessageBox::rejected, [&answer, closeAnswer] {
        if (answer == 0) answer = closeAnswer;
    });
    // Application-modal while it is open, but shown without exec(): the program thread waits.
    box->setWindowModality(Qt::ApplicationModal);
    QMessageBox* previous = gBox;
    gBox = box.get();
    if (UserObserver* observer = userObserver()) observer->boxShown(caption, text, buttons, icon);
    box->show();
    Scheduler::instance().waitUntil([&answer] { return answer != 0; });
    gBox = previous;
    box->hide();
    return answer;
}

void setStopHandler(std::function<void()> handler) {
    gStop = std::move(handler);
}

void stopBox(const std::string& text) {
    const std::string& caption = runtime::fatalCaption();
    unsigned answer = messageBox(text, caption.empty() ? "Stop" : caption, icon::Hand, button::Abort | button::Ignore,
                                 button::Abort);
    if (answer != button::Abort) return;
    if (gStop) {
        gStop();
    } else {
        std::exit(1);
    }
}

void installFatalHook() {
    runtime::setFatalHook([](const std::string& message) {
        const std::string& caption = runtime::fatalCaption();
        messageBox(message, caption.empty() ? "Stop" : caption, icon::Hand, button::Abort, button::Abort);
        if (gStop) {
            gStop();
        } else {
            std::exit(1);
        }
    });
}

int popupMenu(const std::string& menuText, int x, int y) {
    std::vector<MenuEntry> entries = parseMenuText(menuText);
    auto menu = std::make_unique<QMenu>();
    int chosen = 0;
    bool done = false;
    fill(menu.get(), entries, &chosen);
    QObject::connect(menu.get(), &QMenu::aboutToHide, [&done] { done = true; });
    QMenu* previous = gMenu;
    gMenu = menu.get();
    if (UserObserver* observer = userObserver()) observer->menuShown(menuText);
    menu->popup(x == 0 && y == 0 ? QCursor::pos() : QPoint(x, y));
    // QMenu hides itself before it emits triggered, in the same call, so both have happened when
    // the thread resumes.
    Scheduler::instance().waitUntil([&done] { return done; });
    gMenu = previous;
    return chosen;
}

QMessageBox* openBox() {
    return gBox;
}
QMenu* openMenu() {
    return gMenu;
}

void beep() {
    if (UserObserver* observer = userObserver()) observer->beeped();
    QApplication::beep();
}

namespace {
int gBusy = 0;
UserObserver* gObserver = nullptr;
} // namespace

UserObserver* setUserObserver(UserObserver* observer) {
    return std::exchange(gObserver, observer);
}
UserObserver* userObserver() {
    return gObserver;
}

void showBusyCursor() {
    if (gBusy++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void restoreCursor() {
    if (gBusy == 0) return;
    if (--gBusy == 0) QApplication::restoreOverrideCursor();
}

bool busyCursorShown() {
    return gBusy > 0;
}

} // namespace docket::ui
