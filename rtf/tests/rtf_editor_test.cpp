// The editor over a host window: where the bars and the text go for every combination of flags,
// how they follow resizes, maximize and tab switches, opening and closing many times, an opening
// that fails, and the keys and limits of the text.
#include "rtf/tests/editor_harness.h"

#include "runtime/core/error_codes.h"
#include "runtime/core/error_state.h"
#include "ui/control.h"
#include "ui/events.h"
#include "ui/modal.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QKeyEvent>
#include <QPixmap>
#include <QTabWidget>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <vector>

using namespace docket;
using namespace docket::rtf;
using namespace docket::rtf::testing;

namespace {

struct Placement {
    QRect container;
    bool containerShown;
    QRect editor;
    bool editorShown;
};

Placement placementOf(kwRTF& e) {
    Placement p;
    p.container = e.RCONTAINER != nullptr ? e.RCONTAINER->widget()->geometry() : QRect();
    p.containerShown = e.RCONTAINER != nullptr && e.RCONTAINER->widget()->isVisible();
    p.editor = e.HRTFWINDOW != nullptr ? e.HRTFWINDOW->geometry() : QRect();
    p.editorShown = e.HRTFWINDOW != nullptr && e.HRTFWINDOW->isVisible();
    return p;
}

// The editor covers the text control's rectangle; the bars take its top `height` pixels.
void expectOver(kwRTF& e, const QRect& box, int height, const char* where) {
    Placement p = placementOf(e);
    EXPECT_EQ(p.editor, QRect(box.x(), box.y() + height, box.width(), box.height() - height)) << where;
    EXPECT_TRUE(p.editorShown) << where;
    EXPECT_EQ(p.containerShown, height > 0) << where;
    if (height > 0) {
        EXPECT_EQ(p.container, QRect(box.x(), box.y(), box.width(), height)) << where;
    }
}

void press(QWidget* w, int key, const QString& text) {
    QKeyEvent override(QEvent::ShortcutOverride, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &override);
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &e);
}

class FailingEditor : public kwRTF {
protected:
    bool InstallHooks() override { return false; }
};

} // namespace

TEST(RtfEditor, BarsAndTextArePlacedForEveryFlagCombinationAndFollowTheHost) {
    Harness h;
    // Heights by flags: both bars and the ruler 84, both bars 63, one bar and the ruler 52, one
    // bar 32, the ruler alone 24, nothing 0.
    struct Case {
        bool ruler, format, tool;
        int height;
    };
    const std::vector<Case> cases = {{true, true, true, 84},   {false, true, true, 63}, {true, true, false, 52},
                                     {true, false, true, 52},  {false, true, false, 32}, {false, false, true, 32},
                                     {true, false, false, 24}, {false, false, false, 0}};
    for (const Case& c : cases) {
        ui::startThread([&] {
            ui::Window host(hostWindow(true));
            kwRTF editor;
            ASSERT_TRUE(editor.Init(&host, kText, c.ruler, c.format, c.tool));
            drain(host);
            EXPECT_EQ(editor.containerHeight(), c.height);
            EXPECT_EQ(host.getInt(kText, "Visible"), 0);
            expectOver(editor, textBox(host, kText), c.height, "opened");

            // The host grows its text control and then its window, as the resizer does.
            host.setInt(0, "Pixels", 1);
            host.setInt(kText, "Width", host.getInt(kText, "Width") + 40);
            host.setInt(kText, "Height", host.getInt(kText, "Height") + 30);
            host.setInt(0, "Pixels", 0);
            host.widget()->resize(host.widget()->width() + 60, host.widget()->height() + 40);
            drain(host);
            expectOver(editor, textBox(host, kText), c.height, "resized");

            host.setInt(0, "Pixels", 1);
            host.setInt(kText, "XPos", host.getInt(kText, "XPos") + 5);
            host.setInt(0, "Pixels", 0);
            host.setInt(0, "Maximize", 1);
            host.post(ui::event::Maximized); // the offscreen platform keeps its window size
            drain(host);
            expectOver(editor, textBox(host, kText), c.height, "maximized");

            // Another tab hides both; coming back shows them where they belong.
            auto* tabs = static_cast<QTabWidget*>(host.controlWidget(kSheet));
            tabs->setCurrentIndex(1);
            drain(host);
            EXPECT_FALSE(placementOf(editor).editorShown);
            EXPECT_FALSE(placementOf(editor).containerShown);
            tabs->setCurrentIndex(0);
            drain(host);
            expectOver(editor, textBox(host, kText), c.height, "back on its tab");

            editor.Close(false);
        });
        ASSERT_TRUE(ui::Scheduler::instance().run()) << c.height;
    }
}

TEST(RtfEditor, RelayoutTouchesNothingWhenNothingMoved) {
    Harness h;
    ui::startThread([&] {
        ui::Window host(hostWindow(false));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, true, true, true));
        drain(host);
        expectOver(editor, textBox(host, 1), 84, "without a sheet");
        struct Counter : QObject {
            int events = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show ||
                    e->type() == QEvent::Hide)
                    ++events;
                return false;
            }
        } counter;
        editor.HRTFWINDOW->installEventFilter(&counter);
        editor.RCONTAINER->widget()->installEventFilter(&counter);
        for (int i = 0; i < 5; ++i) {
            editor.Relayout();
            host.post(ui::event::Moved);
            host.post(ui::event::GainFocus);
            drain(host);
        }
        EXPECT_EQ(counter.events, 0);
        editor.HRTFWINDOW->removeEventFilter(&counter);
        editor.RCONTAINER->widget()->removeEventFilter(&counter);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}

TEST(RtfEditor, OpensAndClosesFiftyTimesAndLeavesTheHostAsItWas) {
    Harness h;
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        const int controls = host.controlCount();
        for (int i = 0; i < 50; ++i) {
            kwRTF editor;
            ASSERT_TRUE(editor.Init(&host, kText, i % 2 == 0, i % 3 == 0, true)) << i;
            drain(host);
            ASSERT_NE(editor.HRTFWINDOW, nullptr);
            EXPECT_TRUE(editor.HRTFWINDOW->isVisible());
            editor.HRTFWINDOW->setPlainText(QStringLiteral("round %1").arg(i));
            EXPECT_EQ(editor.Close(false), 1);
        } // each editor waits for its container to end
        EXPECT_EQ(ui::Scheduler::instance().threads().size(), 1u);
        EXPECT_EQ(host.controlCount(), controls);
        EXPECT_EQ(host.getInt(kText, "Visible"), 1);
        EXPECT_EQ(host.getInt(kText, "VScroll"), 1);
        EXPECT_TRUE(host.widget()->findChildren<ui::RichTextControl*>().isEmpty());
        // No handler of the editors is left on the host: a move and a tab switch reach the loop only.
        host.post(ui::event::Moved);
        drain(host);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}

TEST(RtfEditor, AFailedOpeningIsUndoneAndInitReportsError95) {
    Harness h;
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        FailingEditor editor;
        h.user.answerBox(ui::button::Ignore); // the "Stop" box
        runtime::clearError();
        EXPECT_FALSE(editor.Init(&host, kText, true, true, true));
        EXPECT_EQ(runtime::errorCode(), runtime::error::kServerNotFound);
        EXPECT_EQ(editor.OPENED, 0);
        EXPECT_FALSE(editor.containerRunning());
        EXPECT_EQ(host.getInt(kText, "Visible"), 1);
        EXPECT_TRUE(host.widget()->findChildren<ui::RichTextControl*>().isEmpty());
        // Nothing is left running or registered: later calls do nothing.
        EXPECT_EQ(editor.Close(false), 1);
        EXPECT_EQ(editor.CheckModified(false), 0);
        drain(host);
        // And a working editor opens on the same host afterwards.
        kwRTF second;
        EXPECT_TRUE(second.Init(&host, kText, true, true, true));
        second.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    ASSERT_FALSE(h.user.shown().empty());
    EXPECT_EQ(h.user.shown().front().text, "Can not set subclass!");
}

TEST(RtfEditor, EditorOpenedReachesTheHostAndRightClicksNeverDo) {
    Harness h;
    int opened = 0, stray = 0;
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, kText, true, true, true));
        for (int i = 0; i < 3; ++i) h.user.chooseMenu(0); // each menu dismissed
        for (int i = 0; i < 3; ++i) {
            // A right-click in the text asks the container for its menu.
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(editor.HRTFWINDOW->viewport(), &release);
        }
        while (host.pendingEvents() > 0 && host.takeEvent()) {
            if (host.event() == EditorOpenedEvent) ++opened;
        }
        ui::yieldThread();
        while (host.pendingEvents() > 0 && host.takeEvent()) {
            if (host.event() == EditorOpenedEvent) ++stray;
        }
        editor.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(stray, 0);
}

TEST(RtfEditor, EnterAndTabGoIntoTheTextAndTheLimitHolds) {
    Harness h;
    int accepted = 0;
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, kText, true, true, true));
        drain(host);
        ui::RichTextControl* text = editor.HRTFWINDOW;
        editor.FocusEditor();
        press(text, 'a', "a");
        press(text, Qt::Key_Return, "\r");
        press(text, Qt::Key_Tab, "\t");
        press(text, 'b', "b");
        EXPECT_EQ(text->document()->toPlainText(), "a\n\tb");
        while (host.pendingEvents() > 0 && host.takeEvent()) {
            if (host.event() == ui::event::Accepted && host.control() == kOk) ++accepted;
        }
        EXPECT_EQ(editor.CheckModified(false), 1);

        editor.SetTextLimit(8);
        for (char c : std::string("cdefgh")) press(text, c, QString(QChar(c)));
        EXPECT_EQ(text->textLength(), 8);
        // A paste that does not fit is refused whole, with a message.
        QApplication::clipboard()->setText("pasted");
        h.user.answerBox(ui::button::Ok);
        text->setSelection(0, 1);
        text->paste();
        EXPECT_EQ(text->textLength(), 8);
        EXPECT_EQ(text->document()->toPlainText(), "a\n\tbcdef");
        editor.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_EQ(accepted, 0);
}

TEST(RtfEditor, Screenshot) {
    Harness h;
    ui::startThread([&] {
        ui::Window host(hostWindow(true));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, kText, true, true, true));
        drain(host);
        editor.HRTFWINDOW->replaceSelection(QString::fromUtf8("Memo body\twith a tab\nCaf\u00e9 \u20ac \u041f\u0440\u0438\u0432\u0435\u0442"));
        drain(host);
        QDir().mkpath(DOCKET_SCREENSHOT_DIR);
        EXPECT_TRUE(host.widget()->grab().save(DOCKET_SCREENSHOT_DIR "/rtf-editor.png"));
        editor.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}

TEST(RtfEditor, TheHiddenTextControlNeverWritesOverTheSavedBody) {
    Harness h;
    std::string body = "{\\rtf1 old body\\par}";
    body.resize(8192, ' ');
    ui::startThread([&] {
        ui::WindowDefinition definition = hostWindow(false);
        definition.controls[0].use = "BODY";
        ui::Bindings bindings;
        bindings.variables["BODY"] = ui::useText(body);
        ui::Window host(definition, std::move(bindings));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, true, true, true));
        drain(host);
        ASSERT_TRUE(editor.LoadFromField(body.size(), body.data()));
        EXPECT_EQ(editor.HRTFWINDOW->toPlainText(), "old body");
        editor.HRTFWINDOW->setPlainText("new body");
        ASSERT_TRUE(editor.SaveToField(body.size(), body.data()));
        const std::string saved = body;
        // What the form does next: the window takes every control's value, then shows them again.
        host.update();
        host.acceptAll();
        drain(host);
        host.display();
        EXPECT_EQ(body, saved);
        EXPECT_EQ(body.size(), 8192u);
        editor.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}

TEST(RtfEditor, EscapeInABarDoesNotEndTheEditor) {
    Harness h;
    ui::startThread([&] {
        ui::Window host(hostWindow(false));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, true, true, true));
        drain(host);
        press(editor.RCONTAINER->controlWidget(container::Fonts), Qt::Key_Escape, QString());
        drain(host);
        EXPECT_TRUE(editor.containerRunning());
        EXPECT_NE(editor.HRTFWINDOW, nullptr);
        EXPECT_EQ(editor.Close(false), 1);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}

TEST(RtfEditor, TheTextControlsAttributesCarryOver) {
    Harness h;
    ui::startThread([&] {
        ui::WindowDefinition definition = hostWindow(false);
        definition.controls[0].attributes |= ui::attr::ReadOnly | ui::attr::Skip | ui::attr::Disabled;
        ui::Window host(definition);
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, false, false, false));
        drain(host);
        ui::RichTextControl* text = editor.HRTFWINDOW;
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_FALSE(text->isEnabled());
        EXPECT_EQ(text->focusPolicy(), Qt::ClickFocus);
        // No bars and no ruler: nothing above the text, which covers the whole control.
        EXPECT_EQ(editor.containerHeight(), 0);
        expectOver(editor, textBox(host, 1), 0, "bare");
        // A text control without a colour of its own gives a white editor.
        EXPECT_EQ(text->backgroundColor(), 0xFFFFFF);
        EXPECT_EQ(text->palette().color(QPalette::Base), QColor(Qt::white));
        editor.Close(false);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
}
