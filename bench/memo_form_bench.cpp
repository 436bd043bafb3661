// Opening the memo form on a memo with an 8 KB rich-text body: from the call of UpdateMEMO_DB until
// the form waits for the user with its editor ready and the body loaded into it.
//
//   memo_form_bench [--runs N] [--json FILE]
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise. The register lives in a
// fresh temporary folder with one memo; each run opens the form for a change, and the scripted
// user (which acts only once every program thread waits, that is once the form has loaded the body
// and waits for input) notes the time and presses Cancel. Prints the median and the slowest run.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/update_memo_db.h"
#include "classes/window/requests.h"
#include "rtf/rtf_editor.h"
#include "ui/events.h"
#include "ui/rich_text_control.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

using namespace docket;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int cCancel = 17;

// A body of rich text just under the field's 8192 bytes: paragraphs with bold and italic runs.
std::string body8k() {
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    const char* words[] = {"anggaran", "rapat",  "koordinasi", "laporan",
                           "kegiatan", "bagian", "surat",      "dinas"};
    for (int i = 0; rtf.size() < 8000; ++i) {
        if (i % 40 == 0) rtf += "\\par ";
        if (i % 9 == 0) rtf += "{\\b ";
        if (i % 13 == 0) rtf += "{\\i ";
        rtf += words[i % 8];
        if (i % 13 == 0) rtf += "}";
        if (i % 9 == 0) rtf += "}";
        rtf += ' ';
    }
    rtf += "}";
    return rtf;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int runs = 15;
    std::string json;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--json") == 0)
            json = argv[++i];
    }
    QApplication qapp(argc, argv);
    const auto dir =
        std::filesystem::temp_directory_path() / ("docket-form-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("DOCKET_CONFIG_DIR", (dir / "config").c_str(), 1);
    app::ProgramOptions options;
    options.dataFolder = (dir / "data").string();
    if (!app::startup(options)) {
        std::fprintf(stderr, "memo_form_bench: the program did not start\n");
        return 1;
    }
    const std::string body = body8k();
    ui::ScriptedUser& user = ui::ScriptedUser::instance();
    user.attach();
    std::vector<double> times;
    std::int32_t id = 0;
    Clock::time_point started;
    bool loaded = true;
    int hostThread = 0;
    for (int r = 0; r < runs; ++r) {
        user.custom([&] {
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
            loaded = loaded && app::MemoEditor != nullptr && app::MemoEditor->HRTFWINDOW != nullptr &&
                     app::MemoEditor->HRTFWINDOW->textLength() > 1000;
            ui::Scheduler::instance().topWindow(hostThread)->post(ui::event::Accepted, cCancel);
        });
    }
    hostThread = ui::startThread([&] {
        app::MemoRelations->Open();
        app::MemoTableAccess->PrepareNewRecord(false);
        std::snprintf(app::MEM.PERIHAL, sizeof app::MEM.PERIHAL, "%s", "Memo with a long body");
        std::memset(app::MEM_ISI_MEMO, ' ', sizeof app::MEM_ISI_MEMO);
        std::memcpy(app::MEM_ISI_MEMO, body.data(), body.size());
        app::MemoTableAccess->Insert(true);
        id = app::MEM.MEMO_ID;
        for (int r = 0; r < runs; ++r) {
            app::MEM.MEMO_ID = id;
            app::MemoTableAccess->ReadByKey(app::memoDeclaration().keys[app::mem_key::kPrimaryKey]);
            classes::PendingRequest = classes::RequestChange;
            started = Clock::now();
            app::UpdateMEMO_DB();
        }
        app::MemoRelations->Close();
    });
    const bool finished = ui::Scheduler::instance().run();
    app::shutdown();
    std::filesystem::remove_all(dir);
    if (!finished || times.size() != static_cast<std::size_t>(runs) || !loaded) {
        std::fprintf(stderr, "memo_form_bench: the form did not open as expected\n");
        return 1;
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::printf("memo form open, 8 KB body (%zu bytes of RTF): median %.1f ms, first %.1f ms, slowest %.1f "
                "ms (%d runs)\n",
                body.size(), median, times.front(), sorted.back(), runs);
    if (!json.empty()) {
        if (FILE* f = std::fopen(json.c_str(), "w")) {
            std::fprintf(
                f, "{\"open_ms\": %.2f, \"first_ms\": %.2f, \"slowest_ms\": %.2f, \"body_bytes\": %zu}\n",
                median, times.front(), sorted.back(), body.size());
            std::fclose(f);
        }
    }
    return 0;
}
