#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/internal/profile_text.h"

namespace docket::platform {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/docket-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        config_ = root_ + "/config/nested";
        saved_ = std::getenv("DOCKET_CONFIG_DIR") ? std::getenv("DOCKET_CONFIG_DIR") : "";
        setenv("DOCKET_CONFIG_DIR", config_.c_str(), 1);
        path_ = root_ + "/test.ini";
    }
    void TearDown() override {
        if (saved_.empty()) {
            unsetenv("DOCKET_CONFIG_DIR");
        } else {
            setenv("DOCKET_CONFIG_DIR", saved_.c_str(), 1);
        }
        const std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static int countFiles(const std::string& folder) {
        int count = 0;
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* item = readdir(dir)) count += item->d_name[0] != '.';
            closedir(dir);
        }
        return count;
    }

    std::string root_;
    std::string config_;
    std::string saved_;
    std::string path_;
};

TEST_F(ProfileTest, MissingFileGivesDefaults) {
    EXPECT_EQ(readProfileString("S", "e", "dflt", path_), "dflt");
    EXPECT_EQ(readProfileInt("S", "e", 42, path_), 42);
    EXPECT_EQ(readProfileString("S", "e", "dflt", "WIN.INI"), "dflt");
    EXPECT_TRUE(writeProfileString("S", "e", std::nullopt, path_)) << "removing from nothing succeeds";
    EXPECT_FALSE(File::exists(path_));
    EXPECT_TRUE(writeProfileString("S", "e", std::nullopt, "WIN.INI"));
    EXPECT_TRUE(removeProfileSection("S", "WIN.INI"));
    EXPECT_FALSE(File::exists(config_)) << "nothing to write creates no folder";
}

TEST_F(ProfileTest, ReadsAreCaseInsensitiveTrimmedAndSkipComments) {
    put(path_, "orphan=before any section\n"
               "[Main]\n"
               "  Name =  spaced value  \n"
               ";Hidden=comment\n"
               "  ; Other=indented comment\n"
               "Quoted=\"kept\"\n"
               "Empty=\n"
               "first=1\n"
               "FIRST=2\n"
               "[main]\n"
               "late=duplicate section is never read\n");
    EXPECT_EQ(readProfileString("MAIN", "name", "-", path_), "spaced value");
    EXPECT_EQ(readProfileString(" main ", " NAME ", "-", path_), "spaced value");
    EXPECT_EQ(readProfileString("Main", "Hidden", "-", path_), "-");
    EXPECT_EQ(readProfileString("Main", "Other", "-", path_), "-");
    EXPECT_EQ(readProfileString("Main", "Quoted", "-", path_), "\"kept\"");
    EXPECT_EQ(readProfileString("Main", "Empty", "-", path_), "");
    EXPECT_EQ(readProfileString("Main", "first", "-", path_), "1");
    EXPECT_EQ(readProfileString("Main", "late", "-", path_), "-");
    EXPECT_EQ(readProfileString("Main", "orphan", "-", path_), "-");
}

TEST_F(ProfileTest, ReadsCrLfFilesAndByteOrderMark) {
    put(path_, "\xEF\xBB\xBF[A]\r\nx=1\r\n[B]\r\ny = two\r\n");
    EXPECT_EQ(readProfileString("A", "x", "-", path_), "1");
    EXPECT_EQ(readProfileString("B", "y", "-", path_), "two");
    EXPECT_EQ(readProfileString("B", "x", "-", path_), "-");
}

TEST_F(ProfileTest, IntegersFollowStrtol) {
    put(path_, "[N]\na= -12abc\nb=+7\nc=abc\nd=0x10\ne=\n");
    EXPECT_EQ(readProfileInt("N", "a", 99, path_), -12);
    EXPECT_EQ(readProfileInt("N", "b", 99, path_), 7);
    EXPECT_EQ(readProfileInt("N", "c", 99, path_), 99);
    EXPECT_EQ(readProfileInt("N", "d", 99, path_), 0);
    EXPECT_EQ(readProfileInt("N", "e", 99, path_), 99);
}

TEST_F(ProfileTest, FirstWriteCreatesFolderAndCrLfFile) {
    ASSERT_TRUE(writeProfileString("KWVIEW", "Profile", std::string("1"), "WIN.INI"));
    EXPECT_EQ(slurp(config_ + "/WIN.INI"), "[KWVIEW]\r\nProfile=1\r\n");
    EXPECT_EQ(readProfileInt("kwview", "profile", 0, "win.ini"), 1) << "bare names ignore case";
    EXPECT_EQ(resolveProfilePath("win.ini"), config_ + "/WIN.INI");
    EXPECT_EQ(resolveProfilePath("docket.INI"), config_ + "/docket.INI");
    EXPECT_EQ(resolveProfilePath("/abs/x.ini"), "/abs/x.ini");
}

TEST_F(ProfileTest, WritesKeepEverythingElse) {
    put(path_, "; settings\n"
               "[One]\n"
               "a=1\n"
               "  B = 2  ; not a comment\n"
               "\n"
               "[Two]\n"
               "c=3\n");
    ASSERT_TRUE(writeProfileString("one", "b", std::string("20"), path_));
    ASSERT_TRUE(writeProfileString("ONE", "new", std::string("n"), path_));
    ASSERT_TRUE(writeProfileString("Three", "d", std::string("4"), path_));
    ASSERT_TRUE(writeProfileString("Two", "c", std::nullopt, path_));
    EXPECT_EQ(slurp(path_), "; settings\n"
                            "[One]\n"
                            "a=1\n"
                            "  B =20\n"
                            "new=n\n"
                            "\n"
                            "[Two]\n"
                            "[Three]\n"
                            "d=4\n");
    EXPECT_EQ(countFiles(root_), 1) << "no temporary file is left behind";
}

TEST_F(ProfileTest, WritesGoToTheFirstOfDuplicateSections) {
    put(path_, "[S]\r\nx=1\r\n[s]\r\nx=2\r\n");
    ASSERT_TRUE(writeProfileString("S", "x", std::string("9"), path_));
    EXPECT_EQ(slurp(path_), "[S]\r\nx=9\r\n[s]\r\nx=2\r\n");
    ASSERT_TRUE(removeProfileSection("S", path_));
    EXPECT_EQ(slurp(path_), "");
    EXPECT_TRUE(removeProfileSection("S", path_));
}

TEST_F(ProfileTest, UnwritableNamesAndValuesLeaveTheFileAlone) {
    const std::string original = "[S]\nx=1\n";
    put(path_, original);
    const std::optional<std::string> value = std::string("v");
    EXPECT_FALSE(writeProfileString("S", "a\nb", value, path_));
    EXPECT_FALSE(writeProfileString("S\r", "a", value, path_));
    EXPECT_FALSE(writeProfileString("S", "a", std::string("v\nw=evil"), path_));
    EXPECT_FALSE(writeProfileString("S", "a=b", value, path_));
    EXPECT_FALSE(writeProfileString("S]x", "a", value, path_));
    EXPECT_FALSE(writeProfileString("S", ";a", value, path_));
    EXPECT_FALSE(writeProfileString("S", "[a", value, path_));
    EXPECT_FALSE(writeProfileString("S", "  ", value, path_));
    EXPECT_FALSE(writeProfileString("", "a", value, path_));
    EXPECT_FALSE(writeProfileString("S", "a", std::string("v\0w", 3), path_));
    EXPECT_FALSE(removeProfileSection("a]", path_));
    EXPECT_EQ(slurp(path_), original);
    EXPECT_FALSE(writeProfileString("S", "a\n", value, "fresh.ini"));
    EXPECT_FALSE(File::exists(config_)) << "a refused write creates nothing";
}

TEST_F(ProfileTest, RewriteKeepsPermissionsAndSymbolicLinks) {
    put(path_, "[S]\nx=1\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    const std::string link = root_ + "/link.ini";
    ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeProfileString("S", "x", std::string("2"), link));
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(readProfileString("S", "x", "-", path_), "2");
}

TEST_F(ProfileTest, ConfigDirectoryPrecedence) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const std::string savedHome = home ? home : "";

    EXPECT_EQ(configDirectory(), config_);
    unsetenv("DOCKET_CONFIG_DIR");
    setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    setenv("HOME", "/h", 1);
    EXPECT_EQ(configDirectory(), "/x/cfg/docket");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(configDirectory(), "/h/.config/docket");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(configDirectory(), "/h/.config/docket");

    const auto restore = [](const char* name, const std::string& value) {
        if (value.empty()) {
            unsetenv(name);
        } else {
            setenv(name, value.c_str(), 1);
        }
    };
    restore("XDG_CONFIG_HOME", savedXdg);
    restore("HOME", savedHome);
}

// The text layer on its own: what a write puts in is what a read gets back.
TEST(ProfileTextTest, SetThenFindRoundTrips) {
    const std::string texts[] = {"", "[a]", "[a]\nx=1", "junk\n[b]\r\n\n[a]\n;c\n\n\n[c]\n",
                                 "[a]\n[a]\nk=v\n"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const auto changed = profile_text::setValue(text, "A", " k ", std::string("  spaced  "));
        ASSERT_TRUE(changed.has_value());
        EXPECT_EQ(profile_text::findValue(*changed, "a", "K"), "spaced");
        const auto removed = profile_text::setValue(*changed, "a", "k", std::nullopt);
        ASSERT_TRUE(removed.has_value());
        EXPECT_EQ(profile_text::findValue(*removed, "a", "k"), std::nullopt);
    }
    EXPECT_EQ(profile_text::setValue("[a]\nk=v\n", "a", "k", std::string("v")), std::nullopt);
    EXPECT_EQ(profile_text::setValue("[a]\n", "b", "k", std::nullopt), std::nullopt);
}

TEST(ProfileTextTest, NewEntryGoesBeforeTheBlankLinesOfItsSection) {
    EXPECT_EQ(profile_text::setValue("[a]\nx=1\n\n\n[b]\n", "a", "y", std::string("2")),
              "[a]\nx=1\ny=2\n\n\n[b]\n");
    EXPECT_EQ(profile_text::setValue("[a]\n\n[b]\n", "a", "y", std::string("2")), "[a]\ny=2\n\n[b]\n");
}

} // namespace
} // namespace docket::platform
