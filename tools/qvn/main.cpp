// qvn: the command-line tool for docket's data files and runtime services.
#include <cstdio>
#include <cstring>

#include "tools/qvn/command.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(out, "usage: qvn COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const auto& command : docket::qvn_tool::commands()) {
        char head[64];
        std::snprintf(head, sizeof head, "%s %s", command.name, command.usage);
        std::fprintf(out, "  %-28s %s\n", head, command.summary);
    }
    std::fprintf(out, "\n  %-28s %s\n", "--help", "show this help");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printHelp(stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const auto& command : docket::qvn_tool::commands())
        if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 1, argv + 1);
    std::fprintf(stderr, "qvn: unknown command '%s'\n\n", argv[1]);
    printHelp(stderr);
    return 2;
}
