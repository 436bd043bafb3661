#include "platform/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/profile.h"

namespace docket::platform {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/docket-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        const char* saved = std::getenv("DOCKET_CONFIG_DIR");
        saved_ = saved ? saved : "";
        setenv("DOCKET_CONFIG_DIR", dir_.c_str(), 1);
        resetSystemSettings();
    }
    void TearDown() override {
        resetSystemSettings();
        if (saved_.empty()) {
            unsetenv("DOCKET_CONFIG_DIR");
        } else {
            setenv("DOCKET_CONFIG_DIR", saved_.c_str(), 1);
        }
        const std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string dir_;
    std::string saved_;
};

TEST_F(SettingsTest, DefaultsToOnWithoutAFile) {
    EXPECT_TRUE(dragFullWindows());
}

TEST_F(SettingsTest, ReadsTheFileOnceAndKeepsChangesInProcess) {
    ASSERT_TRUE(writeProfileString("Desktop", "DragFullWindows", std::string("0"), "settings.ini"));
    EXPECT_FALSE(dragFullWindows());
    ASSERT_TRUE(writeProfileString("Desktop", "DragFullWindows", std::string("1"), "settings.ini"));
    EXPECT_FALSE(dragFullWindows()) << "the value is read on first use only";
    setDragFullWindows(false);
    EXPECT_EQ(readProfileString("Desktop", "DragFullWindows", "", "settings.ini"), "1");
    resetSystemSettings();
    EXPECT_TRUE(dragFullWindows());
}

TEST_F(SettingsTest, PersistWritesTheValueBack) {
    setDragFullWindows(false, true);
    EXPECT_FALSE(dragFullWindows());
    EXPECT_EQ(readProfileString("desktop", "dragfullwindows", "", "settings.ini"), "0");
    resetSystemSettings();
    EXPECT_FALSE(dragFullWindows());
}

} // namespace
} // namespace docket::platform
