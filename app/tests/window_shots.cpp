// Pictures of the program's windows for a reviewer: the memo type form with a name typed (also made
// larger, to show the resizer at work), the calendar on a month, and the About window, each saved
// as a PNG into the folder given on the command line. Run it under a display (for example Xvfb); with
// QT_SCALE_FACTOR=2 the pictures are doubled and their names end in "@2x". The data live in a scratch folder
// that is removed again.
#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/program.h"
#include "app/windows/about.h"
#include "app/windows/calendar_picker.h"
#include "app/windows/update_memo_jenis.h"
#include "classes/window/requests.h"
#include "runtime/core/dates.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"
#include "ui/window.h"

using namespace docket;

namespace {

ui::Window* top() {
    const auto threads = ui::Scheduler::instance().threads();
    return threads.empty() ? nullptr : ui::Scheduler::instance().topWindow(threads.front());
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const std::string out = argc > 1 ? argv[1] : ".";
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    const std::string suffix = scale != nullptr && std::string(scale) == "2" ? "@2x" : "";
    std::filesystem::create_directories(out);
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("docket-shots-" + std::to_string(::getpid()));
    ::setenv("DOCKET_CONFIG_DIR", (scratch / "config").c_str(), 1);
    app::ProgramOptions options;
    options.dataFolder = (scratch / "data").string();
    if (!app::startup(options)) return 1;

    ui::ScriptedUser& user = ui::ScriptedUser::instance();
    user.attach();
    auto shot = [&](const std::string& name) {
        user.custom([=] {
            ui::Window* w = top();
            if (w == nullptr) return;
            const std::string file = out + "/" + name + suffix + ".png";
            if (w->widget()->grab().save(QString::fromStdString(file))) std::printf("%s\n", file.c_str());
        });
    };
    user.type(6, "Surat Keputusan");
    shot("memo_type_form");
    user.custom([] { // wider and taller by a third, as the user drags the frame
        QWidget* w = top()->widget();
        w->resize(w->width() * 4 / 3, w->height() * 4 / 3);
    });
    shot("memo_type_form_wide");
    user.click(8);
    user.answerBox(ui::button::No); // "Save Record": the typed name is dropped
    shot("calendar");
    user.pressKey(10, ui::key::Escape);
    shot("about");
    user.click(7);
    ui::startThread([] {
        app::JenisRelations->Open();
        app::JenisTableAccess->PrepareNewRecord(false);
        std::snprintf(app::JEN.JENIS_MEMO, sizeof app::JEN.JENIS_MEMO, "%s", "Surat");
        classes::PendingRequest = classes::RequestInsert;
        app::UpdateMEMO_JENIS();
        app::JenisRelations->Close();
        app::CalendarPicker(runtime::dayNumber(2026, 12, 8));
        app::About();
    });
    const bool finished = ui::Scheduler::instance().run();
    if (!finished) std::fprintf(stderr, "the windows stalled\n");
    for (const std::string& failure : user.failures()) std::fprintf(stderr, "failed: %s\n", failure.c_str());
    app::shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return finished && user.failures().empty() ? 0 : 2;
}
