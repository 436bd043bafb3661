#pragma once
// Menu texts of popup menus: entries separated by "|", "{" opens a submenu titled by the entry
// before it and "}" closes one level, "-" alone is a separator line. An entry may start with
// markers, "~" disabled, "+" checked, "-" checkable but unchecked, followed by icon attributes in
// "[...]" (the icon name inside "(~" and ")"). Empty entries are ignored.
#include <string>
#include <string_view>
#include <vector>

namespace docket::ui {

struct MenuEntry {
    std::string text; // without markers and attributes; "&" marks the mnemonic
    std::string icon;
    bool separator = false;
    bool disabled = false;
    bool checkable = false;
    bool checked = false;
    int ordinal = 0; // 1-based among the selectable entries; 0 for separators and submenu titles
    std::vector<MenuEntry> children; // non-empty for a submenu title
};

// Parses a menu text into its top-level entries. A "}" without an open submenu is ignored, and
// submenus still open at the end close there.
std::vector<MenuEntry> parseMenuText(std::string_view text);

// The number of selectable entries (the largest ordinal).
int selectableCount(const std::vector<MenuEntry>& entries);

} // namespace docket::ui
