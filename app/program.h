#pragma once
// The program: its process-wide objects, the start-up in a fixed order, the run of the main
// procedure `Main`, and the shut-down in the reverse order.
//
// Start-up: the error reporter (its messages reach the screen), the data dictionary's four
// file-access objects, the text matcher (case-insensitive, not whole-word), the INI store on
// "docket.INI", and the desktop's "drag full windows" setting, which is only read: the program
// never changes a desktop-wide setting. Then `Main` runs on the first program thread; every other
// window nests inside it on the same thread. When it returns: the INI store's end-of-run hook,
// the INI store (it writes its catalogue back), the text matcher, the dictionary, the reporter.
//
// Every object that was started is shut down exactly once, also when a fatal message halts the
// program from inside a window: start-up gives shutdown() to the reporter's screen as its shut-down
// hook (classes/window/reporter_screen.h), whose fatal stop runs it before the halt, and the
// regular shut-down after Main then finds nothing left to do.
//
// The data files live in the data folder: --data DIR on the command line, else $DOCKET_DATA_DIR,
// else $XDG_DATA_HOME/docket, else ~/.local/share/docket. It is created when missing.
//
// All of this runs on the program's user-interface thread.
#include <functional>
#include <string>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/window/ini_store.h"
#include "classes/window/text_matcher.h"

namespace docket::app {

// The program's main procedure: the memo list. Until that window exists, the program runs
// whatever procedure is put here (tests put their own windows here); null runs nothing.
using Procedure = void (*)();
extern Procedure Main;

// The process-wide objects, valid from their start-up step to their shut-down step (null outside).
extern classes::ErrorReporter* GlobalErrors;
extern classes::TextMatcher* GlobalMatcher;
extern classes::IniStore* INIMgr;
// The desktop's "drag full windows" setting as found at start-up.
extern bool SavedDragFullWindows;

struct ProgramOptions {
    std::string dataFolder; // empty: the default folder
    bool help = false;
    std::string error; // a command line that could not be read
};

// Reads the command line: "--data DIR" (or "--data=DIR"), "--help".
ProgramOptions parseCommandLine(int argc, char** argv);
// The folder the data files live in, for the given options.
std::string dataFolder(const ProgramOptions& options);

// The steps in their order; each is reported to the step observer once as it runs (tests record
// the order through it).
void setStepObserver(std::function<void(const std::string& step)> observer);

// Creates and starts the process-wide objects (false when the data folder cannot be made).
bool startup(const ProgramOptions& options);
// Shuts down whatever startup started, in reverse order; each step runs once. Safe to call again.
void shutdown();

// The whole program: startup, `Main` on a program thread until every window has closed,
// shutdown. Needs the Qt application object. Returns the exit code.
int runProgram(const ProgramOptions& options);

} // namespace docket::app
