#include "rtf/print.h"

#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/text.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace docket::rtf {
namespace {

std::function<void(QPrinter&)>& printerSetup() {
    static std::function<void(QPrinter&)> setup;
    return setup;
}

// The print dialog without a nested event loop: shown, then waited for through the scheduler.
bool askPrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer);
    dialog.setObjectName(QStringLiteral("docketPrintDialog"));
    // Always the whole document: no page range, no selection.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    int result = -1;
    QObject::connect(&dialog, &QDialog::finished, [&result](int code) { result = code; });
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ui::Scheduler::instance().waitUntil([&result] { return result >= 0; });
    dialog.hide();
    return result == QDialog::Accepted;
}

} // namespace

void setPrinterSetup(std::function<void(QPrinter&)> setup) {
    printerSetup() = std::move(setup);
}

int printDocument(const ui::RichTextControl& text, QPrinter& printer, const QString& documentName) {
    printer.setDocName(documentName);
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) return -1;
    // The whole printable area, in twips; multiplied before divided.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSizeF page(static_cast<double>(area.width()) * 1440 / printer.logicalDpiX(),
                      static_cast<double>(area.height()) * 1440 / printer.logicalDpiY());
    const int length = text.textLength();
    int next = 0, previous = 0, pages = 0;
    for (;;) {
        if (pages > 0) printer.newPage();
        next = text.formatRange(&painter, page, next);
        ++pages;
        // On while text is left and the page took some of it.
        if (next >= length || next < 0 || next <= previous) break;
        previous = next;
    }
    painter.end();
    return pages;
}

std::uint8_t printEditorDocument(const ui::RichTextControl& text, const std::string& documentName,
                                 bool showDialog, bool noName) {
    std::string name = documentName;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.size() > 64) name.resize(64);
    if (noName) name.clear();
    if (text.textLength() == 0) {
        ui::beep();
        return 1;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (printerSetup()) printerSetup()(printer);
    if (showDialog) {
        if (!askPrinter(printer)) return 0;
    } else if (!printerSetup() && QPrinterInfo::defaultPrinter().isNull()) {
        return 0; // no default printer
    }
    if (printDocument(text, printer, ui::toQt(name)) < 0) {
        ui::stopBox("Error Starting Print Job");
        return 0;
    }
    return 1;
}

} // namespace docket::rtf
