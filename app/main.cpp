// docket: the memo register. Starts the program's objects, runs the main procedure and shuts down.
#include <QApplication>

#include <cstdio>

#include "app/program.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("docket"));
    const docket::app::ProgramOptions options = docket::app::parseCommandLine(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "docket: %s\nusage: docket [--data FOLDER]\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::printf("usage: docket [--data FOLDER]\n"
                    "  --data FOLDER  keep MEMO.DB and JENIS.DB in FOLDER (default: $DOCKET_DATA_DIR,\n"
                    "                 else $XDG_DATA_HOME/docket, else ~/.local/share/docket)\n");
        return 0;
    }
    const int code = docket::app::runProgram(options);
    if (code != 0)
        std::fprintf(stderr, "docket: cannot use the data folder %s\n", docket::app::dataFolder(options).c_str());
    return code;
}
