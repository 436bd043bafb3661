// The program's start-up and shut-down: the order of the steps and each shut-down step once, on a
// normal run and when a fatal message halts the program from inside a window; the main procedure
// as the tests give it, with a real window the scripted user closes; the catalogue written at the
// end; the desktop setting left alone; the data folder chosen by option, environment or default.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/dictionary.h"
#include "app/program.h"
#include "classes/data/tests/table_test_support.h"
#include "classes/window/reporter_screen.h"
#include "classes/window/window_flow.h"
#include "platform/settings.h"
#include "ui/scripted_user.h"

namespace docket::app {
namespace {

using classes::testing::ScratchDir;

// Sets an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::vector<std::string>& steps() {
    static std::vector<std::string> s;
    return s;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        steps().clear();
        setStepObserver([](const std::string& step) { steps().push_back(step); });
        options.dataFolder = dir.file("data");
        platform::resetSystemSettings();
        ui::ScriptedUser::instance().clear();
        ui::ScriptedUser::instance().attach();
    }
    void TearDown() override {
        setStepObserver({});
        Main = nullptr;
        platform::resetSystemSettings();
        ui::ScriptedUser::instance().clear();
    }

    ScratchDir dir;
    ScopedEnv config{"DOCKET_CONFIG_DIR", dir.file("config")};
    ProgramOptions options;
};

const std::vector<std::string> kStartup = {"errors", "dictionary", "matcher", "ini", "drag setting"};
const std::vector<std::string> kShutdown = {"end of run",          "ini shutdown",   "matcher shutdown",
                                            "dictionary shutdown", "errors shutdown"};

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& middle,
                                const std::vector<std::string>& b) {
    a.insert(a.end(), middle.begin(), middle.end());
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(ProgramTest, StartsInOrderRunsMainAndShutsDownInReverseOnce) {
    Main = [] {
        steps().push_back("main");
        EXPECT_NE(GlobalErrors, nullptr);
        EXPECT_NE(MemoRelations, nullptr);
        EXPECT_NE(JenisTableAccess, nullptr);
        EXPECT_NE(INIMgr, nullptr);
        ASSERT_NE(GlobalMatcher, nullptr);
        EXPECT_TRUE(GlobalMatcher->Matches("Nota Dinas", "nota"));
        EXPECT_TRUE(GlobalMatcher->Matches("anggaran2024", "ran"));
        INIMgr->AddSector(INIMgr->SectorName("Query", "last week", "Main"));
    };
    EXPECT_EQ(runProgram(options), 0);
    EXPECT_EQ(steps(), joined(kStartup, {"main"}, kShutdown));
    EXPECT_EQ(GlobalErrors, nullptr);
    EXPECT_EQ(MemoRelations, nullptr);
    EXPECT_EQ(INIMgr, nullptr);
    shutdown();
    EXPECT_EQ(steps().size(), kStartup.size() + 1 + kShutdown.size()) << "a second shut-down does nothing";
    const std::string ini = readFile(dir.file("config/docket.INI"));
    EXPECT_NE(ini.find("__Dont_Touch_Me___1=Query,last week,Main"), std::string::npos) << ini;
}

TEST_F(ProgramTest, AFatalMessageShutsEverythingDownOnceBeforeTheHalt) {
    std::vector<int> halts;
    classes::setHaltHandler([&](int code) {
        steps().push_back("halt");
        halts.push_back(code);
    });
    Main = [] {
        steps().push_back("main");
        GlobalErrors->SetFileName("MEMO.DB");
        GlobalErrors->Raise(10); // "File Creation Error": fatal
        steps().push_back("after the halt");
    };
    ui::ScriptedUser::instance().answerBox(1); // the reporter's box: "... Press OK to end this application"
    EXPECT_EQ(runProgram(options), 0);
    classes::setHaltHandler({});
    std::vector<std::string> expected = joined(kStartup, {"main"}, kShutdown);
    expected.push_back("halt");
    expected.push_back("after the halt"); // only because the test's halt returns
    EXPECT_EQ(steps(), expected);
    EXPECT_EQ(halts, std::vector<int>{1}) << "a halted program never looks finished";
    EXPECT_NE(readFile(dir.file("config/docket.INI")).find("__Dont_Touch_Me__=0"), std::string::npos)
        << "the catalogue is written on the fatal path too";
}

TEST_F(ProgramTest, MainIsTheWindowTheTestGives) {
    // A window on the window flow, closed by the user; it nests inside Main on the first thread.
    Main = [] {
        struct Window : classes::WindowFlow {
            classes::Severity Init() override {
                const auto base = WindowFlow::Init();
                ui::WindowDefinition w;
                w.caption = "Browse Memo";
                w.width = 120;
                w.height = 60;
                openWindow(w);
                return base;
            }
        } window;
        steps().push_back("response " + std::to_string(window.Execute()));
    };
    ui::ScriptedUser::instance().closeWindow();
    EXPECT_EQ(runProgram(options), 0);
    EXPECT_EQ(steps(), joined(kStartup, {"response 2"}, kShutdown));
}

TEST_F(ProgramTest, TheDesktopDragSettingIsReadAndNeverChanged) {
    for (const char* value : {"1", "0"}) {
        std::filesystem::create_directories(dir.file("config"));
        std::ofstream(dir.file("config/settings.ini")) << "[Desktop]\nDragFullWindows=" << value << "\n";
        platform::resetSystemSettings();
        Main = [] {};
        EXPECT_EQ(runProgram(options), 0);
        EXPECT_EQ(SavedDragFullWindows, std::string(value) == "1");
        EXPECT_EQ(platform::dragFullWindows(), std::string(value) == "1");
        EXPECT_EQ(readFile(dir.file("config/settings.ini")), std::string("[Desktop]\nDragFullWindows=") + value + "\n");
    }
}

TEST_F(ProgramTest, TheDataFolderComesFromTheOptionTheEnvironmentOrTheUsersDataHome) {
    const char* argv1[] = {"docket", "--data", "/srv/memos"};
    EXPECT_EQ(parseCommandLine(3, const_cast<char**>(argv1)).dataFolder, "/srv/memos");
    const char* argv2[] = {"docket", "--data=/srv/other"};
    EXPECT_EQ(parseCommandLine(2, const_cast<char**>(argv2)).dataFolder, "/srv/other");
    const char* argv3[] = {"docket", "--data"};
    EXPECT_FALSE(parseCommandLine(2, const_cast<char**>(argv3)).error.empty());
    const char* argv4[] = {"docket", "--frobnicate"};
    EXPECT_FALSE(parseCommandLine(2, const_cast<char**>(argv4)).error.empty());

    ProgramOptions none;
    {
        ScopedEnv data("DOCKET_DATA_DIR", "/from/env");
        EXPECT_EQ(dataFolder(none), "/from/env");
        EXPECT_EQ(dataFolder(options), dir.file("data")) << "the option wins";
    }
    {
        ScopedEnv data("DOCKET_DATA_DIR", "");
        ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
        EXPECT_EQ(dataFolder(none), "/xdg/docket");
    }
    {
        ScopedEnv data("DOCKET_DATA_DIR", "");
        ScopedEnv xdg("XDG_DATA_HOME", "");
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(dataFolder(none), "/home/someone/.local/share/docket");
    }

    // The files are created in the chosen folder on first use.
    Main = [] {
        ASSERT_EQ(MemoRelations->Open(), classes::Severity::Proceed);
        EXPECT_EQ(MemoTableAccess->RequireOpen(), classes::Severity::Proceed);
        MemoRelations->Close();
    };
    EXPECT_EQ(runProgram(options), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("data/MEMO.DB")));
}

} // namespace
} // namespace docket::app
