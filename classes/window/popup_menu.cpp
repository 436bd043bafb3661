#include "classes/window/popup_menu.h"

#include <algorithm>

#include "ui/definition.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/window.h"

namespace docket::classes {

namespace {

constexpr std::size_t kNpos = static_cast<std::size_t>(-1);
constexpr std::size_t kMenuTextLimit = 10000;
// The window system's attribute number for an entry's icon.
constexpr const char* kIconAttribute = "31848";

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool isSeparator(const PopupItem& item) {
    return item.TEXT == "-";
}

} // namespace

void PopupMenu::Init(ui::Window& parentWindow, IniStore* ini) {
    PARENTWINDOW = &parentWindow;
    MYTHREAD = parentWindow.thread();
    INIMGR = ini;
    POPUPITEMS.clear();
}

void PopupMenu::Kill() {
    POPUPITEMS.clear();
    PARENTWINDOW = nullptr;
}

std::string PopupMenu::uniqueName(const std::string& text) const {
    std::string base;
    if (!text.empty() && text.front() == '-') {
        base = "Separator";
    } else {
        for (char c : text)
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
                base += c;
    }
    std::string name = base;
    for (int n = 1; indexOf(name) != kNpos; ++n) name = base + std::to_string(n);
    return name;
}

std::size_t PopupMenu::indexOf(const std::string& name) const {
    for (std::size_t i = 0; i < POPUPITEMS.size(); ++i)
        if (POPUPITEMS[i].NAME == name) return i;
    return kNpos;
}

PopupItem* PopupMenu::Find(const std::string& name) {
    const std::size_t i = indexOf(name);
    return i == kNpos ? nullptr : &POPUPITEMS[i];
}

std::string PopupMenu::AddEntry(const std::string& text, const std::string& name,
                                const std::string& afterName, std::uint16_t depth) {
    PopupItem item;
    item.NAME = uniqueName(name.empty() ? text : name);
    std::string shown = text;
    if (shown.empty() || shown.front() != '-') {
        std::size_t at = 0;
        for (; at < shown.size(); ++at) {
            if (shown[at] == '~')
                item.DISABLED = 1;
            else if (shown[at] == '+')
                item.CHECK = 1;
            else if (shown[at] == '-')
                item.CHECK = 2;
            else
                break;
        }
        shown.erase(0, at);
    }
    item.TEXT = shown;
    std::size_t after = afterName.empty() ? kNpos : indexOf(afterName);
    if (after == kNpos && !POPUPITEMS.empty()) after = POPUPITEMS.size() - 1;
    item.DEPTH = depth != 0 ? depth : (after == kNpos ? 1 : POPUPITEMS[after].DEPTH);
    const std::size_t at = after == kNpos ? 0 : after + 1;
    POPUPITEMS.insert(POPUPITEMS.begin() + static_cast<std::ptrdiff_t>(at), item);
    return item.NAME;
}

// Positions count from 1: the entries go after the item at position - 1, at its depth; without
// such an item at the end, at depth 1. Position 0 empties the list first.
void PopupMenu::AddEntries(const std::string& menuText, std::size_t position) {
    if (position == 0) POPUPITEMS.clear();
    std::string after = POPUPITEMS.empty() ? std::string() : POPUPITEMS.back().NAME;
    std::uint16_t depth = 1;
    if (position >= 2 && position - 2 < POPUPITEMS.size()) {
        after = POPUPITEMS[position - 2].NAME;
        depth = POPUPITEMS[position - 2].DEPTH;
    }
    std::string entry;
    auto flush = [&] {
        if (!entry.empty()) after = AddEntry(entry, {}, after, depth);
        entry.clear();
    };
    for (char c : menuText) {
        if (c == '|') {
            flush();
        } else if (c == '{') {
            flush();
            ++depth;
        } else if (c == '}') {
            flush();
            if (depth > 1) --depth;
        } else {
            entry += c;
        }
    }
    flush();
}

void PopupMenu::AddEntriesAfter(const std::string& menuText, const std::string& afterName) {
    const std::size_t i = indexOf(afterName);
    AddEntries(menuText, i == kNpos ? 1 : i + 2);
}

void PopupMenu::AddNestedMenu(const std::string& title, const std::string& menuText,
                              const std::string& afterName) {
    AddEntriesAfter(trimRight(title) + "{" + trimRight(menuText) + "}", afterName);
}

std::string PopupMenu::AddEntryEvent(const std::string& name, std::uint16_t event, std::int16_t control) {
    PopupItem* item = Find(name);
    if (item == nullptr)
        item = Find(AddEntry(name, name, POPUPITEMS.empty() ? std::string() : POPUPITEMS.back().NAME));
    item->CONTROLID = control;
    item->EVENT = event;
    item->MIMICMODE = 0;
    item->ONTOOLBOX = 1;
    return item->NAME;
}

std::string PopupMenu::AddItemMimic(const std::string& text, std::int16_t control) {
    const std::string name = AddEntry(text, {}, POPUPITEMS.empty() ? std::string() : POPUPITEMS.back().NAME);
    PopupItem* item = Find(name);
    item->CONTROLID = control;
    item->MIMICMODE = 1;
    item->ONTOOLBOX = 1;
    item->followsControl = item->TEXT.empty() || item->TEXT.front() == '!';
    return name;
}

// The control's text, enabled state and icon, taken afresh on every show (see the header).
void PopupMenu::refreshMimic(PopupItem& item) {
    if (!item.MIMICMODE || item.CONTROLID == 0) return;
    ui::Window* w = PARENTWINDOW;
    const bool exists = w != nullptr && w->exists(item.CONTROLID);
    const std::string text = exists ? w->get(item.CONTROLID, "Text") : std::string();
    if (item.followsControl) {
        if (!text.empty())
            item.TEXT = text;
        else if (!item.TEXT.empty() && item.TEXT.front() == '!')
            item.TEXT.erase(0, 1);
    }
    const bool enabled = exists && w->getInt(item.CONTROLID, "Enabled") != 0;
    item.DISABLED = enabled ? 2 : 1;
    if (item.ICON.empty() && exists) item.ICON = w->get(item.CONTROLID, "Icon");
}

bool PopupMenu::isTitle(std::size_t index) const {
    return index + 1 < POPUPITEMS.size() && POPUPITEMS[index + 1].DEPTH > POPUPITEMS[index].DEPTH;
}

std::string PopupMenu::MenuText() {
    bool anyIcon = false;
    for (PopupItem& item : POPUPITEMS) {
        refreshMimic(item);
        anyIcon = anyIcon || !item.ICON.empty();
    }
    std::string text;
    std::uint16_t previous = 1;
    for (const PopupItem& item : POPUPITEMS) {
        if (item.DEPTH == previous)
            text += '|';
        else if (item.DEPTH > previous)
            text += '{';
        else
            text.append(previous - item.DEPTH, '}'); // one per level closed (see the header)
        previous = item.DEPTH;
        if (item.DISABLED == 1) text += '~';
        if (item.CHECK == 1) text += '+';
        if (item.CHECK == 2) text += '-';
        if (anyIcon && !isSeparator(item)) {
            text += '[';
            if (!item.ICON.empty()) text += std::string(kIconAttribute) + "(~" + item.ICON + ")";
            text += ']';
        }
        text += TRANSLATOR ? TRANSLATOR(item.TEXT) : item.TEXT;
    }
    if (text.size() > kMenuTextLimit) text.resize(kMenuTextLimit);
    return text;
}

const PopupItem* PopupMenu::ItemAtOrdinal(int ordinal) const {
    if (ordinal <= 0) return nullptr;
    int count = 0;
    for (std::size_t i = 0; i < POPUPITEMS.size(); ++i) {
        if (isSeparator(POPUPITEMS[i]) || isTitle(i)) continue;
        if (++count == ordinal) return &POPUPITEMS[i];
    }
    return nullptr;
}

std::string PopupMenu::Prompt(int x, int y) {
    std::string chosen;
    if (INTOOLBOX) {
        chosen = runToolbox();
    } else {
        const std::string text = MenuText();
        const PopupItem* item = ItemAtOrdinal(ui::popupMenu(text, x, y));
        if (item != nullptr) chosen = item->NAME;
    }
    LASTSELECTION = chosen;
    const PopupItem* item = chosen.empty() ? nullptr : Find(chosen);
    if (item != nullptr && (item->EVENT != 0 || item->MIMICMODE)) {
        if (CLEARKEYCODE && PARENTWINDOW != nullptr) PARENTWINDOW->setKeyCode(0);
        // A mimic item of a control that is disabled now posts nothing: the menu may have been
        // built before the control changed.
        const bool pressable =
            !item->MIMICMODE || (PARENTWINDOW != nullptr && PARENTWINDOW->exists(item->CONTROLID) &&
                                 PARENTWINDOW->getInt(item->CONTROLID, "Enabled") != 0);
        if (pressable)
            ui::post(item->MIMICMODE ? ui::event::Accepted : item->EVENT, item->CONTROLID, MYTHREAD);
    }
    return chosen;
}

// The tool box: a small window with one button per item shown on it, their texts and enabled
// states following the mirrored controls on every timer tick. Closing it chooses nothing and
// leaves tool-box mode.
std::string PopupMenu::runToolbox() {
    std::vector<std::size_t> shown;
    ui::WindowDefinition d;
    d.caption = TOOLBOXCAPTION;
    d.attributes = ui::wattr::System | ui::wattr::Gray;
    int y = 4;
    for (std::size_t i = 0; i < POPUPITEMS.size(); ++i) {
        PopupItem& item = POPUPITEMS[i];
        if (!item.ONTOOLBOX || isSeparator(item)) continue;
        refreshMimic(item);
        ui::ControlDefinition b;
        b.type = ui::ControlType::Button;
        b.text = item.TEXT;
        b.x = 4;
        b.y = y;
        b.width = 60;
        b.height = 14;
        if (item.DISABLED == 1) b.attributes |= ui::attr::Disabled;
        d.controls.push_back(b);
        shown.push_back(i);
        y += 16;
    }
    d.width = 68;
    d.height = y + 2;
    ui::Window box(d);
    box.setTimer(50);
    std::string chosen;
    while (box.takeEvent()) {
        if (box.event() == ui::event::Timer) {
            for (std::size_t b = 0; b < shown.size(); ++b) {
                PopupItem& item = POPUPITEMS[shown[b]];
                refreshMimic(item);
                box.set(static_cast<int>(b + 1), "Text", item.TEXT);
                box.setInt(static_cast<int>(b + 1), "Enabled", item.DISABLED == 1 ? 0 : 1);
            }
        } else if (box.event() == ui::event::Accepted && box.control() >= 1 &&
                   static_cast<std::size_t>(box.control()) <= shown.size()) {
            chosen = POPUPITEMS[shown[static_cast<std::size_t>(box.control() - 1)]].NAME;
            box.close();
        } else if (box.event() == ui::event::CloseWindow) {
            INTOOLBOX = 0;
        }
    }
    return chosen;
}

} // namespace docket::classes
