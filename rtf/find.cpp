#include "rtf/find.h"

#include "ui/definition.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/text.h"
#include "ui/window.h"

namespace docket::rtf {
namespace {

std::string trimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

long searchAndSelect(ui::RichTextControl& text, const std::string& what, unsigned flags) {
    if (what.empty() || text.textLength() == 0) return -1;
    const bool down = (flags & ui::findflag::Down) != 0;
    const int from = down ? text.selectionEnd() : text.selectionStart();
    int end = 0;
    const int found = text.find(ui::toQt(what), from, down ? -1 : 0, flags, &end);
    if (found >= 0) text.setSelection(found, end);
    return found;
}

} // namespace

FindValues& findValues() {
    static FindValues values;
    return values;
}

void registerFindWindow() {
    if (ui::findWindow(kFindModule, kFindResource) != nullptr) return;
    using ui::ControlType;
    ui::WindowDefinition w;
    w.caption = "Find";
    w.width = 236;
    w.height = 74;
    w.attributes = ui::wattr::System | ui::wattr::Gray;
    auto add = [&](ControlType type, const char* name, const char* text, int x, int y, int width, int height,
                   const char* use = "", int parent = 0, std::uint32_t attributes = 0) {
        ui::ControlDefinition d;
        d.type = type;
        d.name = name;
        d.text = text;
        d.x = x;
        d.y = y;
        d.width = width;
        d.height = height;
        d.use = use;
        d.parent = parent;
        d.attributes = attributes;
        w.controls.push_back(d);
    };
    add(ControlType::Prompt, "?PROMPT", "Fi&nd what:", 6, 9, 40, 10);
    add(ControlType::Entry, "?SEARCHSTRING", "", 48, 7, 126, 12, "SEARCHSTRING");
    add(ControlType::Check, "?WHOLEWORDS", "&Whole words only", 6, 30, 84, 10, "WHOLEWORDS");
    add(ControlType::Option, "?BDIRECTION", "Direction", 98, 24, 76, 26, "BDIRECTION");
    add(ControlType::Radio, "?BDIRECTION:RADIO1", "&Up", 104, 35, 28, 10, "", findwindow::Direction);
    add(ControlType::Radio, "?BDIRECTION:RADIO2", "&Down", 136, 35, 34, 10, "", findwindow::Direction);
    add(ControlType::Button, "?BUTTONFIND", "&Find Next", 180, 6, 50, 14, "", 0, ui::attr::Default);
    add(ControlType::Button, "?BUTTONCANCEL", "Cancel", 180, 24, 50, 14);
    add(ControlType::Check, "?CASESENSITIVE", "&Case sensitive search", 6, 56, 100, 10, "CASESENSITIVE");
    ui::registerWindow(kFindModule, kFindResource, std::move(w));
}

long findOnce(ui::RichTextControl& text, const std::string& what) {
    FindValues& values = findValues();
    values.SEARCHSTRING = trimRight(what).substr(0, 255);
    return searchAndSelect(text, values.SEARCHSTRING,
                           ui::findflag::WholeWord | ui::findflag::MatchCase | ui::findflag::Down);
}

long findNext(ui::RichTextControl& text, const FindValues& values) {
    unsigned flags = 0;
    if (values.WHOLEWORDS) flags |= ui::findflag::WholeWord;
    if (values.CASESENSITIVE) flags |= ui::findflag::MatchCase;
    if (values.BDIRECTION == 1) flags |= ui::findflag::Down;
    const long found = searchAndSelect(text, values.SEARCHSTRING, flags);
    if (found < 0) {
        ui::beep();
        ui::messageBox("\"" + values.SEARCHSTRING + "\" not found.", "Search", ui::icon::None,
                       ui::button::Ok);
    }
    return found;
}

void runFindWindow(ui::RichTextControl& text, const std::function<void()>& moved) {
    registerFindWindow();
    FindValues& values = findValues();
    // The option's radios count from 1: Up is the first, Down the second.
    long direction = values.BDIRECTION + 1;
    ui::Bindings bindings;
    bindings.variables["SEARCHSTRING"] = ui::useText(values.SEARCHSTRING, 255);
    bindings.variables["WHOLEWORDS"] = ui::useNumber(values.WHOLEWORDS);
    bindings.variables["CASESENSITIVE"] = ui::useNumber(values.CASESENSITIVE);
    bindings.variables["BDIRECTION"] = ui::useNumber(direction);
    ui::Window window(*ui::findWindow(kFindModule, kFindResource), std::move(bindings));
    while (window.takeEvent()) {
        const std::uint32_t e = window.event();
        if (e == ui::event::Moved) {
            if (moved) moved();
        } else if (e == ui::event::Accepted && window.control() == findwindow::ButtonFind) {
            window.update();
            values.BDIRECTION = direction == 1 ? 0 : 1;
            findNext(text, values);
        } else if (e == ui::event::Accepted && window.control() == findwindow::ButtonCancel) {
            window.update();
            values.BDIRECTION = direction == 1 ? 0 : 1;
            window.close();
        } else if (e == ui::event::CloseWindow) {
            values.BDIRECTION = direction == 1 ? 0 : 1;
        }
    }
}

} // namespace docket::rtf
