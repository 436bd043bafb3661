#pragma once
// Subcommands of the qvn tool. Each lives in a file of its own and is listed once in commands.cpp.
#include <span>

namespace docket::qvn_tool {

struct Command {
    const char* name;
    const char* usage;                 // arguments, shown by --help after the name
    const char* summary;               // one line for --help
    int (*run)(int argc, char** argv); // argv[0] is the subcommand's name; returns the exit code
    const char* help = nullptr;        // longer text for "qvn help NAME"; null when the summary says it all
};

std::span<const Command> commands();

} // namespace docket::qvn_tool
