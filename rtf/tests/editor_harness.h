#pragma once
// A host window for the editor's tests: a tab sheet whose first tab holds the text control the
// editor stands on, a second tab with an entry, and a default button; or the text control alone.
#include "rtf/rtf_editor.h"
#include "ui/definition.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

#include <QRect>

namespace docket::rtf::testing {

// Controls of the host with a sheet.
inline constexpr int kSheet = 1, kTabMemo = 2, kTabOther = 3, kText = 4, kOk = 5, kEntry = 6;

inline ui::WindowDefinition hostWindow(bool withSheet) {
    using ui::ControlType;
    ui::WindowDefinition w;
    w.caption = "Memo";
    w.width = 320;
    w.height = 220;
    w.attributes |= ui::wattr::Resizable | ui::wattr::Maximize;
    if (withSheet) {
        w.controls = {
            {ControlType::Sheet, "?SHEET", "", 4, 4, 312, 180},
            {ControlType::Tab, "?TAB1", "&Memo", 0, 0, 0, 0, "", "", "", "", kSheet},
            {ControlType::Tab, "?TAB2", "&Other", 0, 0, 0, 0, "", "", "", "", kSheet},
            {ControlType::TextBox, "?MEM:ISI_MEMO", "", 10, 22, 300, 156, "", "", "", "", kTabMemo,
             ui::attr::VScroll},
            {ControlType::Button, "?OK", "&OK", 266, 196, 50, 14, "", "", "", "", 0, ui::attr::Default},
            {ControlType::Entry, "?OTHER", "", 10, 30, 100, 12, "", "", "", "", kTabOther},
        };
    } else {
        w.controls = {
            {ControlType::TextBox, "?BODY", "", 8, 8, 300, 180, "", "", "", "", 0, ui::attr::VScroll},
            {ControlType::Button, "?OK", "&OK", 266, 196, 50, 14, "", "", "", "", 0, ui::attr::Default},
        };
    }
    return w;
}

// The text control's rectangle in pixels.
inline QRect textBox(ui::Window& w, int control) {
    long pixels = w.getInt(0, "Pixels");
    w.setInt(0, "Pixels", 1);
    QRect r(w.getInt(control, "XPos"), w.getInt(control, "YPos"), w.getInt(control, "Width"),
            w.getInt(control, "Height"));
    w.setInt(0, "Pixels", pixels);
    return r;
}

// Hands the host's queued events to its loop (and so to the editor's handlers).
inline void drain(ui::Window& w) {
    for (int turns = 0; turns < 4; ++turns) {
        while (w.pendingEvents() > 0 && w.takeEvent()) {}
        ui::yieldThread();
    }
}

struct Harness {
    Harness() {
        ui::ScriptedUser::instance().clear();
        ui::ScriptedUser::instance().attach();
    }
    ~Harness() { ui::ScriptedUser::instance().clear(); }
    ui::ScriptedUser& user = ui::ScriptedUser::instance();
};

} // namespace docket::rtf::testing
