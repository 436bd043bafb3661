// The real `docket` executable under Xvfb over 10,000 seeded memos: it is started with its data
// folder in the environment, the test waits (with a deadline) until the window "Browse Memo"
// exists, grabs the screen, and checks that the picture shows a window with text in it, not a
// blank or black screen. The pictures are kept (DOCKET_SHOT_DIR, else the build folder) for a
// person to look at, at 1x and with QT_SCALE_FACTOR=2. Skipped, with a message, where Xvfb,
// xwininfo or ImageMagick's import is missing.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "classes/data/error_reporter.h"
#include "classes/data/tests/table_test_support.h"
#include "files/file_statements.h"

namespace docket::app {
namespace {

using classes::testing::ScratchDir;

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// 10,000 memos of ten types, added inside one transaction.
void seed(const std::string& folder, int count) {
    setDataFolder(folder);
    classes::ErrorReporter errors;
    dictionaryStartup(errors);
    ASSERT_EQ(JenisRelations->Open(), classes::Severity::Proceed);
    ASSERT_EQ(MemoRelations->Open(), classes::Severity::Proceed);
    const char* types[] = {"Surat",      "Nota",       "Edaran",    "Undangan",  "Laporan",
                           "Pengumuman", "Permohonan", "Keputusan", "Instruksi", "Memo"};
    for (int j = 1; j <= 10; ++j) {
        std::memset(&JEN, 0, sizeof JEN);
        JEN.JENIS_ID = j;
        std::snprintf(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, "%s", types[j - 1]);
        ASSERT_EQ(runtime::add(jenisFile()), 0);
    }
    const char* words[] = {"Rapat",  "anggaran", "kegiatan", "laporan",
                           "gedung", "pegawai",  "kontrak",  "vendor"};
    drivers::DriverFile* files[] = {&memoFile()};
    ASSERT_EQ(runtime::logout(60, files), 0);
    for (int n = 1; n <= count; ++n) {
        std::memset(&MEM, 0, sizeof MEM);
        std::memset(MEM_ISI_MEMO, 0, sizeof MEM_ISI_MEMO);
        MEM.MEMO_ID = n;
        MEM.TANGGAL_MEMO = 81000 + n % 2000;
        std::snprintf(MEM.MEMO_NO, sizeof MEM.MEMO_NO, "%03d/DIR/%d", n % 1000, 2020 + n % 7);
        std::snprintf(MEM.PERIHAL, sizeof MEM.PERIHAL, "%s %s %s nomor %d", words[n % 8], words[(n / 8) % 8],
                      words[(n / 64) % 8], n);
        MEM.JENIS_ID = n % 10 + 1;
        std::snprintf(MEM_ISI_MEMO, sizeof MEM_ISI_MEMO, "{\\rtf1\\ansi Isi memo %d}", n);
        ASSERT_EQ(runtime::add(memoFile()), 0);
    }
    ASSERT_EQ(runtime::commit(), 0);
    MemoRelations->Close();
    JenisRelations->Close();
    dictionaryShutdown();
    errors.Shutdown();
}

// Starts docket on a virtual screen, waits for its window, grabs the screen into `png`.
bool shoot(const std::string& data, const std::string& config, const std::string& png, int scale) {
    const std::string path = std::filesystem::path(png).replace_extension(".sh").string();
    {
        std::ofstream script(path);
        script << "export DOCKET_DATA_DIR='" << data << "' DOCKET_CONFIG_DIR='" << config
               << "' QT_SCALE_FACTOR=" << scale << "\n"
               << "'" DOCKET_EXECUTABLE "' & pid=$!\n"
               // Waits for the window, at most 30 seconds; a program that ends fails at once.
               << "for i in $(seq 1 300); do\n"
               << "  xwininfo -root -tree | grep -q 'Browse Memo' && break\n"
               << "  kill -0 $pid 2>/dev/null || exit 3\n"
               << "  sleep 0.1\n"
               << "done\n"
               // The window exists; its first paint follows within the next turns of its loop.
               << "sleep 1\n"
               << "import -window root '" << png << "'; rc=$?\n"
               << "kill $pid; wait $pid\n"
               << "exit $rc\n";
    }
    // The doubled picture on a screen of doubled size, as a high-density display has.
    const std::string screen = scale == 1 ? "1280x1024x24" : "2560x2048x24";
    const std::string command = "xvfb-run -a -s '-screen 0 " + screen + "' bash '" + path + "'";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(path);
    return ok;
}

// The picture holds a window: many pixels that are not the empty screen's black, in more than a
// few colours (text, lines, a highlighted row).
void expectAWindowWithText(const std::string& png) {
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull()) << png;
    long lit = 0;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 30) ++lit;
            if (colours.size() < 1000) colours.insert(p);
        }
    const long sampled = static_cast<long>(image.width() / 2) * (image.height() / 2);
    EXPECT_GT(lit, sampled / 4) << "the window covers a good part of the screen";
    EXPECT_GT(colours.size(), 20u) << "more than a blank surface";
}

TEST(DocketUnderXvfb, MainWindowOverTenThousandMemosIsNotBlank) {
    if (!have("xvfb-run") || !have("xwininfo") || !have("import"))
        GTEST_SKIP() << "Xvfb, xwininfo or ImageMagick's import is missing: no picture of the real program";
    ScratchDir dir;
    const std::string data = dir.file("data"), config = dir.file("config");
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(config);
    seed(data, 10000);
    const char* out = std::getenv("DOCKET_SHOT_DIR");
    const std::string folder = out != nullptr && *out ? out : DOCKET_SHOT_FOLDER;
    std::filesystem::create_directories(folder);
    for (int scale : {1, 2}) {
        const std::string png = folder + "/docket-main-" + std::to_string(scale) + "x.png";
        // xvfb-run may hand out a display number whose server is still going away after the run
        // before (the program then finds no display): a second try gets a fresh server. A program
        // that does not show its window fails both.
        ASSERT_TRUE(shoot(data, config, png, scale) || shoot(data, config, png, scale))
            << "docket did not show its window at scale " << scale;
        expectAWindowWithText(png);
    }
}

} // namespace
} // namespace docket::app
