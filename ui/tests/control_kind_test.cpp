// Control kinds: a kind registered from outside the window system's own list is created, shown,
// taken, asked for its properties and handed its input like the built-in ones.
#include "ui/control.h"
#include "ui/control_kind.h"
#include "ui/rich_text_control.h"
#include "ui/events.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace docket::ui;

namespace {

// A type number no built-in kind uses.
constexpr auto kCounterType = static_cast<ControlType>(90);

struct CounterState : ControlState {
    int shown = 0;
};

// A label that shows its use variable in brackets, takes "+" presses as increments of a count the
// program reads back through `take`, and answers a property of its own.
class CounterKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        c.widget = new QLabel(parent);
        c.widget->setFocusPolicy(Qt::StrongFocus);
        c.state = std::make_unique<CounterState>();
    }
    void show(Window&, Control& c) const override {
        static_cast<QLabel*>(c.widget)->setText(toQt("[" + shownValue(c) + "]"));
        ++static_cast<CounterState&>(*c.state).shown;
    }
    bool take(Window&, Control& c, bool) const override {
        if (c.use.bound()) c.use.setNumber(c.use.getNumber() + pending);
        pending = 0;
        return true;
    }
    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (isProperty(name, "Shown")) return propertyNumber(static_cast<CounterState&>(*c.state).shown);
        return std::nullopt;
    }
    PropertyResult set(Window&, Control&, std::string_view name, const std::string& value) const override {
        if (!isProperty(name, "Shown")) return PropertyResult::NotMine;
        return value == "0" ? PropertyResult::Done : PropertyResult::Refused;
    }
    bool input(Window& window, Control& c, QEvent& e, int) const override {
        if (e.type() != QEvent::KeyPress || static_cast<QKeyEvent&>(e).text() != "+") return false;
        ++pending;
        window.raise(event::NewSelection, c.number);
        return true;
    }
    mutable int pending = 0;
};

} // namespace

TEST(ControlKinds, AKindRegisteredFromOutsideTakesPartLikeTheBuiltInOnes) {
    ScriptedUser::instance().clear();
    ScriptedUser::instance().attach();
    static const CounterKind counter;
    registerControlKind(kCounterType, counter);
    ASSERT_EQ(findControlKind(kCounterType), &counter);
    ASSERT_NE(findControlKind(ControlType::Entry), nullptr);

    long count = 4;
    std::vector<std::uint32_t> seen;
    std::string text, shownAfterDisplay;
    bool refused = false, generic = false;
    startThread([&] {
        WindowDefinition w;
        w.width = 100;
        w.height = 40;
        w.controls = {{kCounterType, "?COUNT", "", 4, 4, 60, 12, "COUNT"}};
        Bindings b;
        b.variables["COUNT"] = useNumber(count);
        Window window(w, std::move(b));
        text = fromQt(static_cast<QLabel*>(window.controlWidget(1))->text());
        auto plus = [&window] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
            QApplication::sendEvent(window.controlWidget(1), &press);
        };
        ScriptedUser::instance().custom(plus);
        ScriptedUser::instance().custom(plus);
        ScriptedUser::instance().closeWindow();
        while (window.takeEvent()) {
            if (window.control() == 1) seen.push_back(window.event());
        }
        window.update();
        window.display();
        shownAfterDisplay = window.get(1, "Shown");
        refused = !window.set(1, "Shown", "5") && window.set(1, "Shown", "0");
        // What the kind does not answer, the window does.
        generic = window.getInt(1, "Width") == 60 && window.getInt(1, "Type") == 90;
    });
    ASSERT_TRUE(Scheduler::instance().run());
    EXPECT_EQ(text, "[4]");
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{event::NewSelection, event::NewSelection}));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(shownAfterDisplay, "2");
    EXPECT_TRUE(refused);
    EXPECT_TRUE(generic);
    ScriptedUser::instance().clear();
}

TEST(ControlKinds, AControlWithoutAKindGetsNoWidgetAndCrashesNothing) {
    ScriptedUser::instance().clear();
    ScriptedUser::instance().attach();
    startThread([&] {
        WindowDefinition w;
        w.width = 100;
        w.height = 40;
        w.controls = {{static_cast<ControlType>(91), "?X", "x", 4, 4, 60, 12, "X"},
                      {ControlType::Entry, "?E", "", 4, 20, 60, 12}};
        Window window(w);
        EXPECT_EQ(window.controlWidget(1), nullptr);
        EXPECT_EQ(window.get(1, "Text"), "x");
        EXPECT_FALSE(window.set(1, "Text", "y"));
        EXPECT_TRUE(window.set(1, "XPos", "8"));
        window.select(1);
        window.display();
        window.update();
        window.acceptAll();
        ScriptedUser::instance().closeWindow();
        while (window.takeEvent()) {
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    ScriptedUser::instance().clear();
}

TEST(ControlKinds, ARichTextRegionShowsAndTakesItsVariableAndRefusesWhatDoesNotFit) {
    ScriptedUser::instance().clear();
    ScriptedUser::instance().attach();
    ASSERT_NE(findControlKind(ControlType::RichText), nullptr);
    std::string body = "Dear all\r\nthe budget";
    std::string small = "short";
    std::string shown, bodyAfter, smallAfter;
    bool smallTaken = true;
    startThread([&] {
        WindowDefinition w;
        w.width = 200;
        w.height = 120;
        w.controls = {{ControlType::RichText, "?BODY", "", 4, 4, 190, 50, "BODY"},
                      {ControlType::RichText, "?SMALL", "", 4, 60, 190, 50, "SMALL"}};
        Bindings b;
        b.variables["BODY"] = useText(body, 200);
        b.variables["SMALL"] = useText(small, 8);
        Window window(w, std::move(b));
        auto* text = static_cast<RichTextControl*>(window.controlWidget(1));
        shown = fromQt(documentText(*text->document(), QStringLiteral("|")));
        text->setSelection(text->textLength(), text->textLength());
        text->replaceSelection(QStringLiteral(" is approved"));
        auto* other = static_cast<RichTextControl*>(window.controlWidget(2));
        other->setSelection(0, -1);
        other->replaceSelection(QStringLiteral("far too long for eight bytes"));
        window.update();
        bodyAfter = body;
        smallAfter = small;
        smallTaken = window.get(2, "Modified") == "0";
        ScriptedUser::instance().closeWindow();
        while (window.takeEvent()) {
        }
    });
    ASSERT_TRUE(Scheduler::instance().run());
    // Without the editor's codec the region holds plain text.
    EXPECT_EQ(shown, "Dear all|the budget");
    EXPECT_EQ(bodyAfter.substr(0, bodyAfter.find_last_not_of(' ') + 1), "Dear all\r\nthe budget is approved");
    EXPECT_EQ(smallAfter.substr(0, smallAfter.find_last_not_of(' ') + 1), "short");
    EXPECT_FALSE(smallTaken);
    ScriptedUser::instance().clear();
}
