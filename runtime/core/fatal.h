#pragma once
// The runtime's fatal-error path: a stop of the program that the user must be told about. The
// default hook prints the message to standard error and exits with code 1, so that a halted
// program never looks like one that finished. The window system installs a hook that shows the
// message in a box first; tests install one that records the message and returns.
#include <functional>
#include <string>

namespace docket::runtime {

using FatalHook = std::function<void(const std::string& message)>;

// Replaces the hook; an empty hook restores the default. Returns the previous hook (empty when the
// default was in force).
FatalHook setFatalHook(FatalHook hook);

// Runs the hook. When the hook returns (only a test hook does), fatal returns too and the caller
// must fail its operation instead of going on.
// `caption` names the stop for the box that shows it; the hook reads it through fatalCaption().
void fatal(const std::string& message, const std::string& caption = {});

// The caption of the stop being reported on this thread, empty when its reporter set none (the
// box then uses its own). Valid while the hook runs.
const std::string& fatalCaption();

} // namespace docket::runtime
