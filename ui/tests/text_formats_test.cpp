#include "ui/list_format.h"
#include "ui/menu_text.h"

#include <gtest/gtest.h>

using namespace docket::ui;

TEST(ListFormat, MemoListColumns) {
    bool ok = false;
    auto columns =
        parseListFormat("124L(2)|M~Memo No~@s30@#3#35R(2)|M~Memo ID~C(0)@n-14@#1#48L(2)|M~Date~C(0)@d17@#2#"
                        "320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#",
                        &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(columns.size(), 5u);
    EXPECT_EQ(columns[0].width, 124);
    EXPECT_EQ(columns[0].align, ColumnAlign::Left);
    EXPECT_EQ(columns[0].indent, 2);
    EXPECT_TRUE(columns[0].rightBorder);
    EXPECT_TRUE(columns[0].resizable);
    EXPECT_EQ(columns[0].header, "Memo No");
    EXPECT_EQ(columns[0].picture, "s30");
    EXPECT_EQ(columns[0].field, 3);
    EXPECT_EQ(columns[1].align, ColumnAlign::Right);
    EXPECT_EQ(columns[1].headerAlign, ColumnAlign::Center);
    EXPECT_EQ(columns[1].headerIndent, 0);
    EXPECT_EQ(columns[1].field, 1);
    EXPECT_EQ(columns[2].picture, "d17");
    EXPECT_EQ(columns[4].header, "Memo Type");
}

TEST(ListFormat, FieldsDefaultToTheNextOneAndBadTextStops) {
    bool ok = false;
    auto columns = parseListFormat("120L(2)|M~Memo Type~@s30@56R(2)|M~Type ID~L@n-14@", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].field, 1);
    EXPECT_EQ(columns[1].field, 2);
    EXPECT_EQ(columns[1].headerAlign, ColumnAlign::Left);

    for (const char* bad : {"L", "12X", "12L~open", "12L@s10", "12L#x#", "12L(3", "9999999L", "12L#0#"}) {
        parseListFormat(bad, &ok);
        EXPECT_FALSE(ok) << bad;
    }
    columns = parseListFormat("10L20R~", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(columns.size(), 1u);
}

TEST(ListFormat, ModifiersWithArgumentsAfterTheHeader) {
    // The message history window's list: a scroll modifier with its width follows the header.
    bool ok = false;
    auto columns = parseListFormat("217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].width, 217);
    EXPECT_EQ(columns[0].header, "Message");
    EXPECT_EQ(columns[0].picture, "s255");
    EXPECT_EQ(columns[0].field, 1);
    EXPECT_TRUE(columns[0].resizable);
    EXPECT_EQ(columns[1].width, 42);
    EXPECT_EQ(columns[1].header, "Category");
    EXPECT_EQ(columns[1].headerAlign, ColumnAlign::Left);
    EXPECT_EQ(columns[1].headerIndent, 1);
    EXPECT_EQ(columns[1].field, 2);
    // Arguments before the header too, and an argument that never closes stops the parse.
    columns = parseListFormat("30L(2)Z(3)S(40)|~A~@s5@20R~B~", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_TRUE(columns[0].rightBorder);
    EXPECT_EQ(columns[1].header, "B");
    parseListFormat("30L~A~S(255", &ok);
    EXPECT_FALSE(ok);
}

TEST(MenuText, OrdinalsSkipSeparatorsAndTitles) {
    auto entries = parseMenuText("File{Open|Close}|-|Exit");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "File");
    EXPECT_EQ(entries[0].ordinal, 0);
    ASSERT_EQ(entries[0].children.size(), 2u);
    EXPECT_EQ(entries[0].children[0].ordinal, 1);
    EXPECT_EQ(entries[0].children[1].ordinal, 2);
    EXPECT_TRUE(entries[1].separator);
    EXPECT_EQ(entries[2].text, "Exit");
    EXPECT_EQ(entries[2].ordinal, 3);
    EXPECT_EQ(selectableCount(entries), 3);
}

TEST(MenuText, MarkersIconsAndEmptyEntries) {
    // The popup builder's texts begin with "|" and may hold empty entries.
    auto entries = parseMenuText("|~+Bold|[31848(~QkQBE.ico)]&Query||-|~&Change}|Extra");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(entries[0].disabled);
    EXPECT_TRUE(entries[0].checked);
    EXPECT_EQ(entries[0].text, "Bold");
    EXPECT_EQ(entries[1].icon, "QkQBE.ico");
    EXPECT_EQ(entries[1].text, "&Query");
    EXPECT_EQ(entries[1].ordinal, 2);
    EXPECT_TRUE(entries[2].separator);
    // Disabled entries keep their ordinal, and a stray "}" is ignored.
    EXPECT_EQ(entries[3].ordinal, 3);
    EXPECT_EQ(entries[4].ordinal, 4);
    EXPECT_EQ(selectableCount(parseMenuText("A{B{C|D}}|E{")), 3);
    EXPECT_TRUE(parseMenuText("").empty());
    // An untitled submenu with nothing in it, or markers without text, add no blank entry.
    auto sparse = parseMenuText("{}|~|A|{B}");
    ASSERT_EQ(sparse.size(), 2u);
    EXPECT_EQ(sparse[0].text, "A");
    EXPECT_EQ(sparse[0].ordinal, 1);
    EXPECT_EQ(sparse[1].children.at(0).ordinal, 2);
}
