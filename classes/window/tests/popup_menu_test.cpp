// The popup menu's items and menu text without a window: names, markers, nesting, ordinals.
#include <gtest/gtest.h>

#include "classes/window/popup_menu.h"
#include "ui/menu_text.h"

namespace docket::classes {
namespace {

TEST(PopupMenu, NamesAreUniqueAndMarkersSetTheFields) {
    PopupMenu menu;
    EXPECT_EQ(menu.AddEntry("&Insert"), "Insert");
    EXPECT_EQ(menu.AddEntry("&Insert"), "Insert1");
    EXPECT_EQ(menu.AddEntry("-"), "Separator");
    EXPECT_EQ(menu.AddEntry("-"), "Separator1");
    const std::string bold = menu.AddEntry("~+Bold");
    const PopupItem* item = menu.Find(bold);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->DISABLED, 1);
    EXPECT_EQ(item->CHECK, 1);
    EXPECT_EQ(item->TEXT, "Bold");
    EXPECT_EQ(menu.MenuText(), "|&Insert|&Insert|-|-|~+Bold");
}

TEST(PopupMenu, NestedTextParsesIntoDepthsAndOrdinalsSkipTitlesAndSeparators) {
    PopupMenu menu;
    menu.AddEntries("File{Open|Close}|-|Exit");
    ASSERT_EQ(menu.Items().size(), 5u);
    EXPECT_EQ(menu.Items()[0].DEPTH, 1);
    EXPECT_EQ(menu.Items()[1].DEPTH, 2);
    EXPECT_EQ(menu.Items()[2].DEPTH, 2);
    EXPECT_EQ(menu.Items()[4].DEPTH, 1);
    EXPECT_EQ(menu.MenuText(), "|File{Open|Close}-|Exit");
    ASSERT_NE(menu.ItemAtOrdinal(3), nullptr);
    EXPECT_EQ(menu.ItemAtOrdinal(3)->NAME, "Exit");
    EXPECT_EQ(menu.ItemAtOrdinal(1)->NAME, "Open");
    EXPECT_EQ(menu.ItemAtOrdinal(4), nullptr);
    // The window system numbers the same text the same way.
    EXPECT_EQ(ui::selectableCount(ui::parseMenuText(menu.MenuText())), 3);
}

TEST(PopupMenu, ADropOfSeveralLevelsClosesEachOne) {
    PopupMenu menu;
    menu.AddEntries("Format{Font{Bold|Italic}}|Close");
    EXPECT_EQ(menu.Items().back().DEPTH, 1);
    const std::string text = menu.MenuText();
    EXPECT_EQ(text, "|Format{Font{Bold|Italic}}Close");
    const auto parsed = ui::parseMenuText(text);
    ASSERT_EQ(parsed.size(), 2u) << "Close is back at the top level";
    EXPECT_EQ(parsed[1].text, "Close");
    EXPECT_EQ(menu.ItemAtOrdinal(3)->NAME, "Close");
}

TEST(PopupMenu, EntriesGoAfterTheNamedItemAndIconsLineUpTexts) {
    PopupMenu menu;
    menu.AddEntries("One|Three");
    menu.AddEntriesAfter("Two", "One");
    menu.AddNestedMenu("More", "Four|Five", "Three");
    std::vector<std::string> names;
    for (const auto& i : menu.Items()) names.push_back(i.NAME);
    EXPECT_EQ(names, (std::vector<std::string>{"One", "Two", "Three", "More", "Four", "Five"}));
    menu.Find("Two")->ICON = "Two.ico";
    EXPECT_EQ(menu.MenuText(), "|[]One|[31848(~Two.ico)]Two|[]Three|[]More{[]Four|[]Five");
    const std::string e = menu.AddEntryEvent("Refresh", 0x20B, 5);
    EXPECT_EQ(menu.Find(e)->EVENT, 0x20B);
    EXPECT_EQ(menu.Find(e)->ONTOOLBOX, 1);
}

} // namespace
} // namespace docket::classes
