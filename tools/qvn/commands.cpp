#include "tools/qvn/command.h"

namespace docket::qvn_tool {

int runErrors(int argc, char** argv);
int runEval(int argc, char** argv);

std::span<const Command> commands() {
    static const Command table[] = {
        {"errors", "", "print the runtime's error codes and their texts", runErrors},
        {"eval", "[--bind NAME=VALUE]... EXPR", "print the value of an expression (EVALUATE)", runEval},
    };
    return table;
}

} // namespace docket::qvn_tool
