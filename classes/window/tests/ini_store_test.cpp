// IniStore over real files in a scratch configuration folder: sector names and the catalogue
// through a shut-down and a new start, odd names (dollars, commas, backslashes), a hand-written file
// whose comments and order stay, damaged catalogues, and window positions that must stay visible.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "classes/data/tests/table_test_support.h"
#include "classes/window/ini_store.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using testing::ScratchDir;

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("DOCKET_CONFIG_DIR");
        if (old) previous_ = old;
        ::setenv("DOCKET_CONFIG_DIR", dir.file("").c_str(), 1);
    }
    void TearDown() override {
        if (previous_.empty())
            ::unsetenv("DOCKET_CONFIG_DIR");
        else
            ::setenv("DOCKET_CONFIG_DIR", previous_.c_str(), 1);
    }
    std::string file() const { return dir.file("docket.INI"); }
    std::string text() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& content) const {
        std::ofstream out(file(), std::ios::binary);
        out << content;
    }
    static std::vector<std::string> listed(IniStore& store, const std::string& family = {}) {
        std::vector<SectorEntry> entries;
        store.ListSectors(entries, family);
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.FAMILY + "|" + e.ITEM + "|" + e.TYPE);
        return out;
    }

    ScratchDir dir;
    std::string previous_;
};

TEST_F(IniStoreTest, FirstRunWritesAnEmptyCatalogue) {
    IniStore store;
    store.Init("docket.INI");
    EXPECT_TRUE(listed(store).empty());
    store.Shutdown();
    EXPECT_EQ(text(), "[Sectors]\r\n__Dont_Touch_Me__=0\r\n");
}

TEST_F(IniStoreTest, OddNamesSurviveTheCatalogueRoundTrip) {
    const std::vector<std::string> items = {"plain", "a$b", "$$", "$$$x$", "with,comma", "a,b,c",
                                            "back\\slash", "\\,", "trailing,"};
    {
        IniStore store;
        store.Init("docket.INI");
        for (const auto& item : items) {
            const std::string name = store.SectorName("Query", item, "Main");
            store.AddSector(name);
            store.AddSector(name); // twice: kept once
            store.WriteEntry(name, "Query", "1");
        }
        store.AddSector(store.SectorName("Other", "x", "Main"));
        store.RemoveSector(store.SectorName("Query", "never added", "Main")); // changes nothing
        store.Shutdown();
    }
    IniStore again;
    again.Init("docket.INI");
    std::vector<std::string> expected;
    for (const auto& item : items) expected.push_back("Query|" + item + "|Main");
    std::sort(expected.begin(), expected.end(), [&](const std::string& a, const std::string& b) {
        // The catalogue is ordered by the escaped item.
        auto key = [](const std::string& s) {
            const std::string item = s.substr(6, s.size() - 11);
            return escapeSectorItem(item);
        };
        return key(a) < key(b);
    });
    EXPECT_EQ(listed(again, "Query"), expected);
    EXPECT_EQ(listed(again).size(), items.size() + 1);
    // The sections themselves are found by the names the program builds.
    for (const auto& item : items) EXPECT_EQ(again.ReadEntry(again.SectorName("Query", item, "Main"), "Query"), "1");
    std::vector<SectorEntry> one;
    again.ListSectors(one, "Query", "a$b", "Main");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].ITEM, "a$b");
    again.RemoveSector(again.SectorName("Query", "with,comma", "Main"));
    EXPECT_EQ(listed(again, "Query").size(), items.size() - 1);
    again.Shutdown();
}

TEST_F(IniStoreTest, SectorNamesParseAsWritten) {
    IniStore store;
    const SectorEntry e = parseSectorName(store.SectorName("Fam", "it$em", "Ty$pe"));
    EXPECT_EQ(e.FAMILY, "Fam");
    EXPECT_EQ(unescapeSectorItem(e.ITEM), "it$em");
    EXPECT_EQ(e.TYPE, "Ty$pe");
    EXPECT_EQ(parseSectorName("NoDollar").FAMILY, "NoDollar");
    EXPECT_EQ(parseSectorName("F$only item").ITEM, "only item");
    EXPECT_EQ(parseSectorName(std::string(300, 'x') + "$y$$z").FAMILY.size(), 100u);
}

TEST_F(IniStoreTest, AHandWrittenFileKeepsItsCommentsAndOrder) {
    const std::string handWritten = "; docket settings, edited by hand\n"
                                    "[Browse]\n"
                                    "; where the list was\n"
                                    "XPos=10\n"
                                    "Maximize=No\n"
                                    "\n"
                                    "[Sectors]\n"
                                    "__Dont_Touch_Me__=1\n"
                                    "__Dont_Touch_Me__1=ignored, it has no underscore\n"
                                    "__Dont_Touch_Me___1=Query,old,Main\n"
                                    "; the end\n";
    write(handWritten);
    IniStore store;
    store.Init("docket.INI");
    EXPECT_EQ(listed(store), std::vector<std::string>{"Query|old|Main"});
    EXPECT_EQ(store.ReadEntry("browse", "xpos"), "10");
    EXPECT_EQ(store.ReadRequired("Browse", "Missing"), kIniUnknown);
    store.Shutdown();
    EXPECT_EQ(text(), handWritten) << "an unchanged catalogue writes the same lines";

    IniStore more;
    more.Init("docket.INI");
    more.AddSector(more.SectorName("Query", "new", "Main"));
    more.Shutdown();
    EXPECT_EQ(text(), "; docket settings, edited by hand\n"
                      "[Browse]\n"
                      "; where the list was\n"
                      "XPos=10\n"
                      "Maximize=No\n"
                      "\n"
                      "[Sectors]\n"
                      "__Dont_Touch_Me__=2\n"
                      "__Dont_Touch_Me__1=ignored, it has no underscore\n"
                      "__Dont_Touch_Me___1=Query,new,Main\n"
                      "; the end\n"
                      "__Dont_Touch_Me___2=Query,old,Main\n");
}

TEST_F(IniStoreTest, ADamagedCatalogueSkipsMissingLinesInsteadOfWritingJunk) {
    write("[Sectors]\n__Dont_Touch_Me__=4\n__Dont_Touch_Me___2=Query,two,Main\n__Dont_Touch_Me___4=\n");
    IniStore store;
    store.Init("docket.INI");
    EXPECT_EQ(listed(store), std::vector<std::string>{"Query|two|Main"});
    store.Shutdown();
    EXPECT_EQ(text().find("Unknown"), std::string::npos);
    IniStore again;
    again.Init("docket.INI");
    EXPECT_EQ(listed(again), std::vector<std::string>{"Query|two|Main"});
    again.Shutdown();

    for (const char* count : {"-3", "lots", "99999999999999999999"}) {
        write(std::string("[Sectors]\n__Dont_Touch_Me__=") + count + "\n");
        IniStore odd;
        odd.Init("docket.INI");
        EXPECT_TRUE(listed(odd).empty()) << count;
        odd.Shutdown();
    }
}

TEST_F(IniStoreTest, ReadFieldSplitsOnCommasAndTheLastRunsToTheEnd) {
    IniStore store;
    store.Init("docket.INI");
    store.WriteEntry("S", "E", "a,b,c,d");
    EXPECT_EQ(store.ReadField("S", "E", 1), "a");
    EXPECT_EQ(store.ReadField("S", "E", 2), "b");
    EXPECT_EQ(store.ReadField("S", "E", 4), "d");
    EXPECT_EQ(store.ReadField("S", "E", 5), "");
    EXPECT_EQ(store.ReadField("S", "E", 0), "");
    store.Shutdown();
}

// ---- Window positions ------------------------------------------------------------------------------

ui::WindowDefinition resizable() {
    ui::WindowDefinition w;
    w.caption = "Positions";
    w.width = 160;
    w.height = 90;
    w.x = 20;
    w.y = 20;
    w.attributes |= ui::wattr::Resizable | ui::wattr::Maximize;
    return w;
}

TEST_F(IniStoreTest, WindowPositionsRoundTripAndAMaximizedWindowKeepsItsNormalPlace) {
    IniStore store;
    store.Init("docket.INI");
    {
        ui::Window w(resizable());
        w.setInt(0, "XPos", 30);
        w.setInt(0, "YPos", 40);
        w.setInt(0, "Width", 150);
        w.setInt(0, "Height", 80);
        store.SaveWindow("Win", &w);
    }
    EXPECT_EQ(store.ReadEntry("Win", "Maximize"), "No");
    const std::string width = store.ReadEntry("Win", "Width");
    {
        ui::Window w(resizable());
        store.RestoreWindow("Win", &w);
        EXPECT_EQ(w.getInt(0, "XPos"), 30);
        EXPECT_EQ(w.getInt(0, "YPos"), 40);
        EXPECT_EQ(std::to_string(w.getInt(0, "Width")), width);
        w.setInt(0, "Maximize", 1);
        store.SaveWindow("Win", &w);
    }
    EXPECT_EQ(store.ReadEntry("Win", "Maximize"), "Yes");
    EXPECT_EQ(store.ReadEntry("Win", "XPos"), "30") << "the last normal position stays";
    store.Shutdown();
}

TEST_F(IniStoreTest, StoredGarbageNeverMakesAWindowInvisible) {
    IniStore store;
    store.Init("docket.INI");
    struct Case {
        const char *x, *y, *width, *height;
    };
    for (const Case& c : {Case{"30", "40", "0", "0"}, Case{"abc", "", "-5", "x9"}, Case{"-100000", "-100000", "150", "80"},
                          Case{"900000", "40", "150", "80"}, Case{"30", "40", "99999999", "99999999"},
                          Case{"30", "99999999999999999999999", "1", "1"}}) {
        store.WriteEntry("Bad", "Maximize", "No");
        store.WriteEntry("Bad", "XPos", c.x);
        store.WriteEntry("Bad", "YPos", c.y);
        store.WriteEntry("Bad", "Width", c.width);
        store.WriteEntry("Bad", "Height", c.height);
        ui::Window w(resizable());
        store.RestoreWindow("Bad", &w);
        const QRect frame = w.widget()->geometry();
        EXPECT_GE(frame.width(), 16) << c.x << " " << c.width;
        EXPECT_GE(frame.height(), 16) << c.x << " " << c.height;
        bool onScreen = false;
        for (QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersects(frame);
        EXPECT_TRUE(onScreen) << c.x << "," << c.y;
        EXPECT_LE(frame.width(), QGuiApplication::primaryScreen()->availableGeometry().width() + 1);
    }
    store.Shutdown();
}

} // namespace
} // namespace docket::classes
