#include "tools/qvn/command.h"

namespace docket::qvn_tool {

int runErrors(int argc, char** argv);
int runEval(int argc, char** argv);
int runFormat(int argc, char** argv);
int runDeformat(int argc, char** argv);
int runInfo(int argc, char** argv);
int runCheck(int argc, char** argv);
int runTables(int argc, char** argv);

std::span<const Command> commands() {
    static const Command table[] = {
        {"errors", "", "print the runtime's error codes and their texts", runErrors},
        {"eval", "[--bind NAME=VALUE]... EXPR", "print the value of an expression (EVALUATE)", runEval},
        {"format", "VALUE @PICTURE", "print VALUE formatted by the picture, between | marks", runFormat},
        {"deformat", "TEXT @PICTURE", "print the value read from TEXT by the picture, between | marks", runDeformat},
        {"info", "FILE [--password P]", "show a native file's header, page classes, tree and tables", runInfo},
        {"check", "FILE [--password P]", "check every page and table of a native file; exit 1 when damaged", runCheck},
        {"tables", "FILE [--password P]", "list the tables of a native file with record counts and keys", runTables},
    };
    return table;
}

} // namespace docket::qvn_tool
