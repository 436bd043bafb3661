#pragma once
// The error reporter on the screen. installReporterScreen() puts the reporter's message hook onto
// the window system: a message becomes a message box with the reporter's caption, icon, buttons and
// default (the reporter and the window system number icons and buttons alike, see ui/modal.h), and
// a request with the history opens the history window (MessageWindow). It also takes over the
// runtime's fatal path: a fatal stop runs the program's shut-down steps, exactly once, and ends the
// program with exit code 1. A stop the reporter has already shown (its message ends with "Press OK
// to end this application") is not shown again; any other stop is shown first in a "Stop" box whose
// only button is Abort. Nothing offers to carry on. Table access's rebuild of a key file shows its
// progress with Cancel (rebuild_progress.h), installed here too.
//
// The program's main calls installReporterScreen() at start-up, before the first report, and gives
// its shut-down steps to setShutdownHook(); at a normal end it runs them through runShutdownOnce()
// as well, so that they run once whichever way the program ends. All of it runs on the program
// thread that reports.
#include <functional>

#include "classes/data/error_reporter.h"

namespace docket::classes {

// `reporter` (optional) is handed to the history window.
void installReporterScreen(ErrorReporter* reporter = nullptr);

// The program's shut-down steps; an empty function removes them.
void setShutdownHook(std::function<void()> steps);
// Runs the shut-down steps unless they ran before (also when they are running now: a fatal stop
// raised by a shut-down step does not start them again). True when this call ran them.
bool runShutdownOnce();
// What ends the program after a fatal stop; the default ends the process at once (std::_Exit, after
// flushing the standard streams) with the code. Tests install one that
// records the code and returns (the reporter then goes on with Fatal). An empty function restores
// the default.
void setHaltHandler(std::function<void(int exitCode)> halt);

} // namespace docket::classes
