// docket: the memo register. Starts the program's objects, runs the main procedure and shuts down.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <string>

#include "app/program.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to, "usage: docket [--data FOLDER]\n"
                     "  --data FOLDER  keep MEMO.DB and JENIS.DB in FOLDER (default: $DOCKET_DATA_DIR,\n"
                     "                 else $XDG_DATA_HOME/docket, else ~/.local/share/docket)\n"
                     "Settings (docket.INI: window places, saved queries) live in $DOCKET_CONFIG_DIR,\n"
                     "else $XDG_CONFIG_HOME/docket, else ~/.config/docket.\n");
}

} // namespace

int main(int argc, char** argv) {
    // Help needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            usage(stdout);
            return 0;
        }
    }
    // Qt takes its own options (-platform, -style, ...) out of argv; the rest are ours.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("docket"));
    QApplication::setDesktopFileName(QStringLiteral("docket"));
    // The installed theme icon when there is one, else the picture built into the program.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("docket"), QIcon(QStringLiteral(":/docket/icons/docket.svg"))));
    const docket::app::ProgramOptions options = docket::app::parseCommandLine(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "docket: %s\n", options.error.c_str());
        usage(stderr);
        return 2;
    }
    const int code = docket::app::runProgram(options);
    if (code != 0) {
        const std::string folder = docket::app::dataFolder(options);
        std::fprintf(stderr, "docket: cannot use the data folder %s\n", folder.c_str());
        // Started from a desktop menu nobody reads the terminal: the same in a box.
        QMessageBox::critical(nullptr, QStringLiteral("docket"),
                              QStringLiteral("docket cannot make or use its data folder\n%1\n\nStart it with "
                                             "--data FOLDER, or set DOCKET_DATA_DIR, to use another folder.")
                                  .arg(QString::fromLocal8Bit(folder.c_str())));
    }
    return code;
}
