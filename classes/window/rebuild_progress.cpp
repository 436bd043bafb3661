#include "classes/window/rebuild_progress.h"

#include <chrono>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QProgressDialog>

#include "classes/data/table_access.h"
#include "ui/text.h"

namespace docket::classes {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kServeEvery = std::chrono::milliseconds(50);

struct Progress {
    std::unique_ptr<QProgressDialog> dialog;
    std::string fileName;
    bool cancelled = false;
    Clock::time_point served;
};

Progress* current = nullptr;

QString label(const std::string& fileName, std::uint64_t records) {
    return ui::toQt("Rebuilding the keys of " + fileName + "...\n" + std::to_string(records) +
                    " records read");
}

void serve(Progress& p) {
    // Input for the progress window (and paint events) only; program threads stay where they are.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    p.served = Clock::now();
}

void start(const std::string& fileName) {
    auto* p = new Progress;
    p->fileName = fileName;
    p->dialog = std::make_unique<QProgressDialog>();
    QProgressDialog& d = *p->dialog;
    d.setWindowTitle(QStringLiteral("Rebuild Keys"));
    d.setLabelText(label(fileName, 0));
    d.setCancelButtonText(QStringLiteral("&Cancel"));
    d.setRange(0, 0); // the number of records is not known in advance
    d.setMinimumDuration(0);
    d.setAutoClose(false);
    d.setAutoReset(false);
    d.setWindowModality(Qt::ApplicationModal);
    QObject::connect(&d, &QProgressDialog::canceled, [p] { p->cancelled = true; });
    delete current;
    current = p;
    d.show();
    serve(*p);
}

bool step(std::uint64_t records) {
    if (current == nullptr) return true;
    if (records == 1 || Clock::now() - current->served >= kServeEvery) {
        current->dialog->setLabelText(label(current->fileName, records));
        serve(*current);
    }
    return !current->cancelled;
}

void finish() {
    delete current;
    current = nullptr;
}

} // namespace

void installRebuildProgress() {
    setRebuildProgress(RebuildProgress{start, step, finish});
}

QProgressDialog* openRebuildProgress() {
    return current != nullptr ? current->dialog.get() : nullptr;
}

} // namespace docket::classes
