#pragma once
// PopupMenu: a list of menu items shown as a context menu through the window system's popup
// facility (a menu text in, the ordinal of the chosen entry out). Items may mirror a control of the
// owner's window (mimic items: its text, enabled state and icon, and choosing the item presses the
// control), post an event to a control, or simply be returned to the caller by name.
//
// What stays true:
// - Item names are unique: a name taken already gets 1, 2, 3, ... appended.
// - The menu text numbers its selectable entries exactly as Prompt counts items back: separators
//   and submenu titles are skipped in both.
// - Mended: a drop of nesting by several levels closes every level ("}" per level), so the items
//   after a deep submenu land at their own depth and the ordinals still match.
// - Mended: a mimic item's enabled state and text are taken from its control on every show, so a
//   menu shown after the control was disabled never offers it (a stale choice cannot press a
//   button that became disabled).
//
// Runs on the program thread of the owner's window; Prompt waits for the user without a nested
// event loop (the window system's popup facility).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace docket::ui {
class Window;
}

namespace docket::classes {

class IniStore;

struct PopupItem {
    std::int16_t CONTROLID = 0;
    std::uint16_t DEPTH = 1;
    std::uint16_t EVENT = 0;
    std::uint8_t MIMICMODE = 0;
    std::uint8_t DISABLED = 0; // 0 not yet known, 1 disabled, 2 enabled
    std::uint8_t CHECK = 0;    // 0 none, 1 checked, 2 checkable
    std::uint8_t ONTOOLBOX = 0;
    std::string ICON;
    std::string NAME;
    std::string TEXT;            // "-" alone is a separator
    bool followsControl = false; // the text began with "!": it is the control's text at every show
};

class PopupMenu {
public:
    // The owner's window: mimic items read their controls there; events go to its thread.
    void Init(ui::Window& parentWindow, IniStore* ini = nullptr);
    void Kill();

    std::string AddEntry(const std::string& text, const std::string& name = {},
                         const std::string& afterName = {}, std::uint16_t depth = 0);
    void AddEntries(const std::string& menuText, std::size_t position = 0);
    void AddEntriesAfter(const std::string& menuText, const std::string& afterName);
    void AddNestedMenu(const std::string& title, const std::string& menuText,
                       const std::string& afterName = {});
    std::string AddEntryEvent(const std::string& name, std::uint16_t event, std::int16_t control);
    // Adds (at the end) an item mirroring `control`; a text starting with "!" follows the control's.
    std::string AddItemMimic(const std::string& text, std::int16_t control);

    // Shows the menu at (x, y) screen pixels, at the mouse for 0, 0; the chosen item's name, blank
    // for none. A mimic item posts EVENT:Accepted to its control, an event item its EVENT.
    std::string Prompt(int x = 0, int y = 0);

    // The menu text as Prompt shows it (mimic items refreshed first), at most 10000 characters.
    std::string MenuText();
    // The item chosen by an ordinal of the popup facility; null for none.
    const PopupItem* ItemAtOrdinal(int ordinal) const;
    PopupItem* Find(const std::string& name);
    const std::vector<PopupItem>& Items() const { return POPUPITEMS; }

    std::uint8_t CLEARKEYCODE = 0;
    std::string LASTSELECTION;
    std::vector<PopupItem> POPUPITEMS;
    std::function<std::string(const std::string&)> TRANSLATOR; // optional
    IniStore* INIMGR = nullptr;
    std::uint8_t INTOOLBOX = 0;
    std::string TOOLBOXCAPTION = "Tools"; // the tool box window's caption
    std::int32_t MYTHREAD = 0;
    ui::Window* PARENTWINDOW = nullptr;

private:
    std::string uniqueName(const std::string& text) const;
    std::size_t indexOf(const std::string& name) const; // npos when missing
    void refreshMimic(PopupItem& item);
    bool isTitle(std::size_t index) const;
    std::string runToolbox();
};

} // namespace docket::classes
