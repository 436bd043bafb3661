// The memo list's record browser over the memo register: how long the list takes to show its
// first screen, and each step a user takes in it, at a given number of memos.
//
//   browse_bench --size N [--dir D] [--json FILE]
//
// The register lives in D/N ("MEMO.DB", "JENIS.DB"; D defaults to the system's temporary folder
// plus "docket-browse-bench"); it is seeded once by `qvn memo seed` (the tool built beside this
// program, or the one DOCKET_QVN names) and reused by later runs. The list is the memo list's: memos joined
// to their types, three orders (memo number, memo date, entry number newest first) with their thumb steps.
// Steps are timed on the program thread, each the median of several runs:
//   open_ms           the window opens and the list shows its first screen (entry order)
//   page_down_ms      one page down
//   end_ms            a jump to the end of the order (Ctrl+End)
//   top_ms            a jump back to its start (Ctrl+Home)
//   locate_number_ms  locating a memo number (by-number order)
//   locate_date_ms    locating a date (by-date order)
//   thumb_50_ms       a thumb drag to 50% in the entry order
//   thumb_50_number_ms  the same in the by-number order (a runtime text step)
//   order_change_ms   switching from the entry order to the by-number order
// The JSON file holds each figure in milliseconds under its key, with "size" and "rows".
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "classes/data/message_hook.h"
#include "classes/window/record_browser.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "runtime/core/error_state.h"
#include "ui/events.h"
#include "ui/scheduler.h"

using namespace docket;
using classes::Severity;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void copyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// The memos in the register of `folder`.
std::uint64_t memoCount() {
    std::uint64_t have = 0;
    if (app::MemoRelations->Open() != Severity::Proceed) return 0;
    runtime::records(app::memoFile(), have);
    app::MemoRelations->Close();
    return have;
}

// Seeds the register up to `size` memos with the qvn tool built beside this program (or the one
// DOCKET_QVN names), as a user seeds demo data; false when it fails.
bool seedWithTool(const char* argv0, const std::string& folder, std::uint64_t have, long size) {
    std::string tool;
    if (const char* named = std::getenv("DOCKET_QVN"))
        tool = named;
    else
        tool =
            (std::filesystem::absolute(argv0).parent_path().parent_path() / "tools" / "qvn" / "qvn").string();
    const std::string command = "'" + tool + "' memo seed '" + folder + "' --count " +
                                std::to_string(static_cast<std::uint64_t>(size) - have) + " --seed " +
                                std::to_string(have + 1) + " >&2";
    std::fprintf(stderr, "browse_bench: seeding %s\n", folder.c_str());
    return std::system(command.c_str()) == 0;
}

constexpr int cList = 1;

ui::WindowDefinition listWindow() {
    ui::WindowDefinition w;
    w.caption = "Browse Memo";
    w.width = 420;
    w.height = 200;
    ui::ControlDefinition list{ui::ControlType::List, "?BROWSE:1", "", 4, 4, 410, 190, "BROWSE"};
    list.format = "35R(2)|M~Memo ID~C(0)@n-14@#1#48L(2)|M~Date~C(0)@d17@#2#124L(2)|M~Memo No~@s30@#3#"
                  "320L(2)|M~Subject~@s80@#4#120L(2)|M~Memo Type~@s30@#5#";
    list.attributes = ui::attr::Immediate;
    w.controls = {list};
    return w;
}

class Browser : public classes::RecordBrowser {
public:
    std::uint16_t order = 3;
    std::uint16_t ChooseOrder() override { return order; }
};

// The memo list as far as the browser needs it.
class BenchList : public classes::WindowFlow {
public:
    Severity Init() override {
        const Severity base = WindowFlow::Init();
        if (base != Severity::Proceed) return base;
        PRIMARY = app::MemoRelations;
        if (app::MemoRelations->Open() != Severity::Proceed ||
            app::JenisRelations->Open() != Severity::Proceed)
            return Severity::Fatal;
        FILESOPENED = 1;
        app::MemoTableAccess->BindFields();
        app::JenisTableAccess->BindFields();
        runtime::ViewDeclaration d;
        d.primary = &app::memoFile();
        runtime::ViewJoin join;
        join.file = &app::jenisFile();
        join.key = app::jen_key::kPrimaryKey;
        join.parentFields = {app::mem_field::kJenisId};
        d.joins.push_back(join);
        view = std::make_unique<runtime::View>(d);
        browser.Init(cList, *view, *app::MemoRelations, *this);
        browser.ACTIVEINVISIBLE = 1;
        ui::Bindings bindings;
        bindings.lists["BROWSE"] = &browser.Queue();
        openWindow(listWindow(), std::move(bindings));
        numberStep.Init(classes::RuntimeTable,
                        classes::step_flag::kLetters | classes::step_flag::kCaseSensitive);
        dateStep.CONTROLS = classes::step_flag::kLetters | classes::step_flag::kCaseSensitive;
        idStep.CONTROLS = classes::step_flag::kLetters | classes::step_flag::kCaseSensitive |
                          classes::step_flag::kDescending;
        drivers::FileDeclaration& memo = app::memoDeclaration();
        const auto& keys = memo.keys;
        browser.AddOrder(&numberStep, keys[app::mem_key::kKeyNomorMemo]);
        browser.AddOrder(&dateStep, keys[app::mem_key::kKeyTanggalMemo]);
        browser.AddOrder(&idStep, keys[app::mem_key::kPrimaryKey]);
        for (int f : {app::mem_field::kMemoId, app::mem_field::kTanggalMemo, app::mem_field::kMemoNo,
                      app::mem_field::kPerihal})
            browser.LinkColumn(classes::FieldRef::of(memo, f));
        browser.LinkColumn(classes::FieldRef::of(app::jenisDeclaration(), app::jen_field::kJenisMemo));
        ArmAlerts();
        return Severity::Proceed;
    }
    Severity Shutdown() override {
        const Severity base = WindowFlow::Shutdown();
        if (FILESOPENED) {
            app::MemoRelations->Close();
            app::JenisRelations->Close();
        }
        return base;
    }

    Browser browser;
    std::unique_ptr<runtime::View> view;
    classes::TextThumbStep numberStep;
    classes::RealThumbStep dateStep;
    classes::IntegerThumbStep idStep;
};

struct Figures {
    std::vector<std::pair<std::string, double>> ms;
    int rows = 0;
    bool ok = true;
    std::string error;
};

void runBench(Figures& out) {
    constexpr int kRuns = 9;
    std::mt19937 random(20261208);
    BenchList list;
    auto start = Clock::now();
    if (list.Init() != Severity::Proceed) {
        out.ok = false;
        out.error = "the list did not open";
        list.Shutdown();
        return;
    }
    Browser& b = list.browser;
    b.ResetBrowse(1);
    out.ms.push_back({"open_ms", msSince(start)});
    out.rows = b.LASTITEMS;
    if (b.Queue().rows.empty()) {
        out.ok = false;
        out.error = "the list is empty";
    }
    auto time = [&](const std::string& key, const std::function<void()>& before,
                    const std::function<void()>& step) {
        std::vector<double> runs;
        for (int i = 0; i < kRuns; ++i) {
            if (before) before();
            const auto t = Clock::now();
            step();
            runs.push_back(msSince(t));
            // Every step leaves a full screen with a highlighted memo in the buffer.
            if (b.Queue().rows.size() != static_cast<std::size_t>(b.LASTITEMS) || !b.RECORDSTATUS) {
                out.ok = false;
                out.error = key + " left " + std::to_string(b.Queue().rows.size()) + " rows";
            }
        }
        out.ms.push_back({key, median(runs)});
    };
    time("page_down_ms", nullptr, [&] { b.HandleScroll(ui::event::PageDown); });
    time(
        "end_ms", [&] { b.HandleScroll(ui::event::ScrollTop); },
        [&] { b.HandleScroll(ui::event::ScrollBottom); });
    b.HandleScroll(ui::event::ScrollBottom);
    if (app::MEM.MEMO_ID != 1 || b.Queue().rows.back().fields[0] != "1") {
        out.ok = false;
        out.error = "the end of the entry order is not memo 1";
    }
    time(
        "top_ms", [&] { b.HandleScroll(ui::event::ScrollBottom); },
        [&] { b.HandleScroll(ui::event::ScrollTop); });
    time("thumb_50_ms", nullptr, [&] {
        classes::OrderEntry* order = b.Current();
        order->THUMB->ValueAt(50, order->FREEELEMENT.bind());
        b.LocateFromBuffer();
        b.Redisplay();
    });
    {
        const auto t = Clock::now();
        b.order = 1;
        b.ResetBrowse(0);
        out.ms.push_back({"order_change_ms", msSince(t)});
    }
    time("locate_number_ms", nullptr, [&] {
        char number[8];
        std::snprintf(number, sizeof number, "%03d/", static_cast<int>(random() % 120));
        copyText(app::MEM.MEMO_NO, sizeof app::MEM.MEMO_NO, number);
        b.LocateFromBuffer();
        b.Redisplay();
    });
    time("thumb_50_number_ms", nullptr, [&] {
        classes::OrderEntry* order = b.Current();
        order->THUMB->ValueAt(50, order->FREEELEMENT.bind());
        b.LocateFromBuffer();
        b.Redisplay();
    });
    b.order = 2;
    b.ResetBrowse(0);
    const double low = list.dateStep.LOW, high = list.dateStep.HIGH;
    time("locate_date_ms", nullptr, [&] {
        app::MEM.TANGGAL_MEMO = static_cast<std::int32_t>(low + (high - low) * (random() % 1000) / 1000.0);
        b.LocateFromBuffer();
        b.Redisplay();
    });
    list.Shutdown();
}

} // namespace

int main(int argc, char** argv) {
    long size = 0;
    std::string dir = (std::filesystem::temp_directory_path() / "docket-browse-bench").string(), json;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc)
            size = std::atol(argv[++i]);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--json" && i + 1 < argc)
            json = argv[++i];
        else {
            std::fprintf(stderr, "usage: browse_bench --size N [--dir D] [--json FILE]\n");
            return 2;
        }
    }
    if (size <= 0) {
        std::fprintf(stderr, "usage: browse_bench --size N [--dir D] [--json FILE]\n");
        return 2;
    }
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = (std::filesystem::path(dir) / std::to_string(size)).string();
    std::filesystem::create_directories(folder);
    classes::ErrorReporter reporter;
    auto previous = classes::setMessageHook([](const classes::MessageRequest& r) {
        std::fprintf(stderr, "browse_bench: %s: %s\n", r.title.c_str(), r.text.c_str());
        return r.defaultButton;
    });
    app::setDataFolder(folder);
    app::dictionaryStartup(reporter);
    const std::uint64_t have = memoCount();
    if (have < static_cast<std::uint64_t>(size)) {
        app::dictionaryShutdown();
        if (!seedWithTool(argv[0], folder, have, size)) {
            std::fprintf(stderr, "browse_bench: seeding failed\n");
            return 1;
        }
        app::setDataFolder(folder);
        app::dictionaryStartup(reporter);
    }
    Figures figures;
    bool seeded = memoCount() >= static_cast<std::uint64_t>(size);
    ui::startThread([&] {
        if (seeded) runBench(figures);
    });
    ui::Scheduler::instance().run();
    app::dictionaryShutdown();
    classes::setMessageHook(std::move(previous));
    if (!seeded || !figures.ok) {
        std::fprintf(stderr, "browse_bench: %s\n", seeded ? figures.error.c_str() : "seeding failed");
        return 1;
    }
    std::printf("browse_bench: %ld memos, %d rows a screen\n", size, figures.rows);
    for (const auto& [key, ms] : figures.ms) std::printf("  %-20s %9.3f ms\n", key.c_str(), ms);
    if (!json.empty()) {
        FILE* f = std::fopen(json.c_str(), "w");
        if (f == nullptr) {
            std::fprintf(stderr, "browse_bench: cannot write %s\n", json.c_str());
            return 1;
        }
        std::fprintf(f, "{\n  \"size\": %ld,\n  \"rows\": %d", size, figures.rows);
        for (const auto& [key, ms] : figures.ms) std::fprintf(f, ",\n  \"%s\": %.3f", key.c_str(), ms);
        std::fprintf(f, "\n}\n");
        std::fclose(f);
    }
    return 0;
}
