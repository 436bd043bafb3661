// qvn: the command-line tool for docket's data files and runtime services.
#include <cstdio>
#include <cstring>

#include "tools/qvn/command.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(out, "usage: qvn COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const auto& command : docket::qvn_tool::commands()) {
        char head[96];
        std::snprintf(head, sizeof head, "%s %s", command.name, command.usage);
        std::fprintf(out, "  %-28s %s\n", head, command.summary);
    }
    std::fprintf(out, "\n  %-28s %s\n", "help COMMAND", "show a command's longer help");
    std::fprintf(out, "  %-28s %s\n", "--help", "show this help");
}

// "qvn help COMMAND": the command's usage, its summary and its longer help when it has one.
int printCommandHelp(const char* name) {
    for (const auto& command : docket::qvn_tool::commands())
        if (std::strcmp(name, command.name) == 0) {
            std::printf("usage: qvn %s %s\n\n%s\n", command.name, command.usage, command.summary);
            if (command.help) std::printf("\n%s", command.help);
            return 0;
        }
    std::fprintf(stderr, "qvn help: unknown command '%s'\n", name);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "help") == 0) return printCommandHelp(argv[2]);
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
