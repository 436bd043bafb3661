#include "app/program.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/dictionary.h"
#include "app/memo_tables.h"
#include "app/windows/memo_list.h"
#include "classes/window/reporter_screen.h"
#include "platform/settings.h"
#include "ui/scheduler.h"

namespace docket::app {

Procedure Main = MemoListProcedure;
classes::ErrorReporter* GlobalErrors = nullptr;
classes::TextMatcher* GlobalMatcher = nullptr;
classes::IniStore* INIMgr = nullptr;
bool SavedDragFullWindows = false;

namespace {

constexpr const char* kIniFile = "docket.INI";

// The objects behind the global references, and which steps have run: each shut-down step runs
// once, and only for what its start-up step made.
struct Objects {
    std::unique_ptr<classes::ErrorReporter> errors;
    std::unique_ptr<classes::TextMatcher> matcher;
    std::unique_ptr<classes::IniStore> ini;
    bool dictionary = false;
    bool endOfRunDone = false;
    // Objects already shut down, kept until the next start-up: on the fatal path the shut-down
    // runs while the reporter that reported the halt is still on the stack.
    std::unique_ptr<classes::ErrorReporter> retiredErrors;
    std::unique_ptr<classes::TextMatcher> retiredMatcher;
    std::unique_ptr<classes::IniStore> retiredIni;
};

Objects& objects() {
    static Objects o;
    return o;
}

std::function<void(const std::string&)>& observer() {
    static std::function<void(const std::string&)> o;
    return o;
}

void step(const std::string& name) {
    if (observer()) observer()(name);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

void setStepObserver(std::function<void(const std::string& step)> o) {
    observer() = std::move(o);
}

ProgramOptions parseCommandLine(int argc, char** argv) {
    ProgramOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--data") {
            if (i + 1 >= argc || std::string(argv[i + 1]).empty()) {
                options.error = "--data needs a folder";
                return options;
            }
            options.dataFolder = argv[++i];
        } else if (arg.rfind("--data=", 0) == 0 && arg.size() > 7) {
            options.dataFolder = arg.substr(7);
        } else {
            options.error = "unknown argument: " + arg;
            return options;
        }
    }
    return options;
}

std::string dataFolder(const ProgramOptions& options) {
    if (!options.dataFolder.empty()) return options.dataFolder;
    if (std::string dir = environment("DOCKET_DATA_DIR"); !dir.empty()) return dir;
    if (std::string xdg = environment("XDG_DATA_HOME"); !xdg.empty() && xdg.front() == '/') return xdg + "/docket";
    if (std::string home = environment("HOME"); !home.empty()) return home + "/.local/share/docket";
    return "."; // no home: the current folder
}

bool startup(const ProgramOptions& options) {
    Objects& o = objects();
    if (o.errors) return true; // started already

    o.retiredErrors.reset();
    o.retiredMatcher.reset();
    o.retiredIni.reset();
    const std::string folder = dataFolder(options);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) return false;
    setDataFolder(folder);

    step("errors");
    o.errors = std::make_unique<classes::ErrorReporter>(); // constructing it runs its Init
    GlobalErrors = o.errors.get();
    // Its messages reach the screen; a fatal stop from inside a window runs the shut-down below
    // (once) before it halts, instead of skipping it.
    classes::installReporterScreen(GlobalErrors);
    classes::setShutdownHook([] { shutdown(); });

    step("dictionary");
    dictionaryStartup(*GlobalErrors);
    o.dictionary = true;

    step("matcher");
    o.matcher = std::make_unique<classes::TextMatcher>();
    o.matcher->Init();
    o.matcher->SetOption(classes::TextMatcher::kCaseInsensitive, true);
    o.matcher->SetOption(classes::TextMatcher::kWholeWord, false);
    GlobalMatcher = o.matcher.get();

    step("ini");
    o.ini = std::make_unique<classes::IniStore>();
    o.ini->Init(kIniFile);
    INIMgr = o.ini.get();

    // The setting is read and kept, never switched: switching it would change every other
    // program's window dragging on the desktop, and a crash would leave it switched.
    step("drag setting");
    SavedDragFullWindows = platform::dragFullWindows();
    o.endOfRunDone = false;
    return true;
}

void shutdown() {
    Objects& o = objects();
    if (o.ini && !o.endOfRunDone) {
        o.endOfRunDone = true;
        step("end of run");
        o.ini->OnEndOfRun();
    }
    // The drag setting was never changed, so there is nothing to put back.
    if (o.ini) {
        step("ini shutdown");
        INIMgr = nullptr;
        o.retiredIni = std::move(o.ini); // gone before its Shutdown runs: a second call finds nothing
        o.retiredIni->Shutdown();
    }
    if (o.matcher) {
        step("matcher shutdown");
        GlobalMatcher = nullptr;
        o.retiredMatcher = std::move(o.matcher);
        o.retiredMatcher->Shutdown();
    }
    if (o.dictionary) {
        step("dictionary shutdown");
        o.dictionary = false;
        dictionaryShutdown();
    }
    if (o.errors) {
        step("errors shutdown");
        GlobalErrors = nullptr;
        o.retiredErrors = std::move(o.errors);
        o.retiredErrors->Shutdown();
    }
}

int runProgram(const ProgramOptions& options) {
    if (!startup(options)) return 1;
    ui::startThread([] {
        if (Main) Main();
    });
    ui::Scheduler::instance().run();
    classes::runShutdownOnce();
    shutdown(); // nothing left to do unless the hook was replaced meanwhile
    return 0;
}

} // namespace docket::app
