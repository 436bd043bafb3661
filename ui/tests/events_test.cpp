#include "ui/events.h"

#include <gtest/gtest.h>

using namespace docket::ui;

TEST(EventTable, NamesNumbersAndCodes) {
    EXPECT_EQ(messageCode(event::Accepted), 0x1401u);
    EXPECT_EQ(eventNumber(0x1401), event::Accepted);
    EXPECT_EQ(eventName(0x1401).value(), "EVENT:Accepted");
    EXPECT_EQ(eventName(0x1501).value(), "EVENT:Selected");
    EXPECT_EQ(eventName(0x1625).value(), "EVENT:Completed");
    EXPECT_EQ(eventName(0x1642).value(), "EVENT:BuildDone");
    EXPECT_EQ(eventName(0x1636).value(), "EVENT:UnDocked");
    EXPECT_EQ(eventByName("event:timer").value(), event::Timer);
    EXPECT_FALSE(eventByName("EVENT:Nothing").has_value());
}

TEST(EventTable, UnnamedCodesTraceInHex) {
    EXPECT_FALSE(eventName(0x1607).has_value());
    EXPECT_EQ(traceName(0x1607), "0x1607");
    EXPECT_EQ(traceName(0x401), "0x0401");
    EXPECT_EQ(traceName(0x1F), "0x001f");
    EXPECT_EQ(traceName(0x12345), "0x12345");
    EXPECT_EQ(traceName(0x1414), "EVENT:ScrollDrag");
}

TEST(EventTable, Groups) {
    EXPECT_EQ(eventGroup(0x01), EventGroup::Control);
    EXPECT_EQ(eventGroup(0x1E), EventGroup::Control);
    EXPECT_EQ(eventGroup(0x1F), EventGroup::None);
    EXPECT_EQ(eventGroup(0x101), EventGroup::Selection);
    EXPECT_EQ(eventGroup(0x100), EventGroup::None);
    EXPECT_EQ(eventGroup(0x102), EventGroup::None);
    EXPECT_EQ(eventGroup(0x207), EventGroup::None);
    EXPECT_EQ(eventGroup(0x211), EventGroup::Window);
    EXPECT_EQ(eventGroup(0x225), EventGroup::BeforeChange);
    EXPECT_EQ(eventGroup(0x236), EventGroup::AfterChange);
    EXPECT_EQ(eventGroup(0x241), EventGroup::Build);
    EXPECT_TRUE(isFieldEvent(event::Selected));
    EXPECT_FALSE(isFieldEvent(event::CloseWindow));
    // Every named code lies in a group, and its number round-trips through the name.
    for (std::uint32_t code = 0x1400; code < 0x1700; ++code) {
        if (auto name = eventName(code)) {
            EXPECT_NE(eventGroup(eventNumber(code)), EventGroup::None) << *name;
            EXPECT_EQ(eventByName(*name).value(), eventNumber(code));
        }
    }
}
