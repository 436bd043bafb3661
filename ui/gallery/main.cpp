// ui-gallery: shows the gallery window. With --screenshot FILE it saves a picture of the window and
// ends (the screenshot test runs it so on the offscreen platform); otherwise it runs until closed.
#include "ui/gallery/gallery.h"
#include "ui/scheduler.h"
#include "ui/window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>

using namespace docket::ui;

int main(int argc, char** argv) {
    const char* shot = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) shot = argv[i + 1];
    }
    QApplication app(argc, argv);
    int status = 0;
    startThread([&] {
        std::string name = "Rina Hartono", kind = "Letter", type = "Internal",
                    notes = "First line\nSecond line";
        double amount = 1234.5;
        int count = 3, urgent = 1, priority = 2;
        QueueSource rows, kinds;
        rows.rows = {{"1", "Budget for the new year", "2024-01-05"},
                     {"2", "Office move", "2024-02-11"},
                     {"3", "Holiday rota", "2024-03-20"},
                     {"4", "Printer contract", "2024-04-02"}};
        kinds.rows = {{"Letter"}, {"Memo"}, {"Notice"}};
        Bindings b;
        b.variables["NAME"] = useText(name, 30);
        b.variables["AMOUNT"] = useNumber(amount);
        b.variables["KIND"] = useText(kind);
        b.variables["TYPE"] = useText(type);
        b.variables["COUNT"] = useNumber(count);
        b.variables["URGENT"] = useNumber(urgent);
        b.variables["NOTES"] = useText(notes);
        b.variables["PRIORITY"] = useNumber(priority);
        b.lists["ROWS"] = &rows;
        b.lists["KIND"] = &kinds;
        b.lists["TYPE"] = &kinds;
        Window window(galleryDefinition(), std::move(b));
        window.setInt(27, "Choice", 2);
        if (shot != nullptr) {
            // Let the window lay itself out and paint once before it is grabbed.
            yieldThread();
            yieldThread();
            QDir().mkpath(QFileInfo(QString::fromLocal8Bit(shot)).absolutePath());
            QPixmap picture = window.widget()->grab();
            if (!picture.save(QString::fromLocal8Bit(shot), "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", shot);
                status = 1;
            }
            return;
        }
        while (window.takeEvent()) {
            if (window.event() == 0x01 && (window.control() == 30 || window.control() == 31)) window.close();
        }
    });
    if (!Scheduler::instance().run()) status = 1;
    return status;
}
