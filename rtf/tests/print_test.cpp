// Printing the editor's document to PDF files: pages in order with nothing lost or doubled at the
// page breaks, no blank last page, no margins, no page numbers; an empty document; a job that
// cannot start; the print dialog's "Print to file". The PDFs are read back with poppler's
// pdftotext and pdfinfo; the tests skip, saying so, where those are missing.
#include "rtf/format_commands.h"
#include "rtf/print.h"
#include "rtf/tests/editor_harness.h"

#include "ui/modal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <functional>

using namespace docket;
using namespace docket::rtf;
using namespace docket::rtf::testing;

namespace {

bool havePoppler() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pageCount(const QString& pdf) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pageText(const QString& pdf, int first, int last) {
    return run(QStringLiteral("pdftotext"),
               {QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"), QString::number(last),
                QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

void toPdf(const QString& path) {
    setPrinterSetup([path](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
    });
}

template <typename Body> void withEditor(Harness& h, Body body) {
    ui::startThread([&] {
        ui::Window host(hostWindow(false));
        kwRTF editor;
        ASSERT_TRUE(editor.Init(&host, 1, true, true, true));
        drain(host);
        body(host, editor, *editor.HRTFWINDOW);
        editor.Close(false);
        drain(host);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    setPrinterSetup(nullptr);
    EXPECT_TRUE(h.user.failures().empty()) << h.user.failures().front();
}

QString numberedLines(int count) {
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("Line %1 of the memo").arg(i, 3, 10, QLatin1Char('0'));
    return lines.join('\n');
}

} // namespace

TEST(Print, PagesHoldEveryLineOnceInOrderWithoutMarginsNumbersOrABlankLastPage) {
    if (!havePoppler()) GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are not installed";
    Harness h;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("memo.pdf"));
    toPdf(pdf);
    withEditor(h, [&](ui::Window&, kwRTF& editor, ui::RichTextControl& text) {
        text.replaceSelection(numberedLines(150));
        text.setSelection(0, 0);
        FormatCommands(text).clickTabStop(1440);
        const std::vector<int> stops = FormatCommands(text).tabStops();
        EXPECT_EQ(editor.Print("Memo 017", false, false), 1);
        EXPECT_EQ(FormatCommands(text).tabStops(), stops); // printing changes nothing
    });
    ASSERT_TRUE(QFile::exists(pdf));
    const int pages = pageCount(pdf);
    EXPECT_GE(pages, 2);
    // Every line once, in order, and nothing else (no page numbers, no headers).
    const QString all = pageText(pdf, 1, pages);
    QStringList words = all.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QStringList expected =
        numberedLines(150).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    EXPECT_EQ(words, expected);
    // The last page has text.
    EXPECT_FALSE(pageText(pdf, pages, pages).trimmed().isEmpty());
    // No margins: the first word starts at the page's top-left corner (within the line's leading).
    const QString box = run(QStringLiteral("pdftotext"),
                            {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                             QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    const QRegularExpressionMatch first =
        QRegularExpression(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"")).match(box);
    ASSERT_TRUE(first.hasMatch());
    EXPECT_LT(first.captured(1).toDouble(), 3.0);
    EXPECT_LT(first.captured(2).toDouble(), 6.0);
}

TEST(Print, AnEmptyDocumentPrintsNothingAndSucceedsAJobThatCannotStartFails) {
    Harness h;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("empty.pdf"));
    toPdf(pdf);
    withEditor(h, [&](ui::Window&, kwRTF& editor, ui::RichTextControl& text) {
        EXPECT_EQ(editor.Print("RTF Data", false, false), 1);
        EXPECT_FALSE(QFile::exists(pdf));
        ASSERT_FALSE(h.user.shown().empty());
        EXPECT_EQ(h.user.shown().back().kind, "beep");

        text.replaceSelection(QStringLiteral("something"));
        toPdf(QStringLiteral("/nonexistent-folder/for/sure/out.pdf"));
        h.user.answerBox(ui::button::Ignore);
        EXPECT_EQ(editor.Print("RTF Data", false, true), 0);
        EXPECT_EQ(h.user.shown().back().text, "Error Starting Print Job");
    });
}

TEST(Print, ThePrintDialogPrintsToAFileAndItsCancelPrintsNothing) {
    if (!havePoppler()) GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are not installed";
    Harness h;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("dialog.pdf"));
    std::uint8_t printed = 9, cancelled = 9;
    // Answers the print dialog: "Print to file" with `path`, or Cancel.
    auto answer = [&](const QString& path) {
        h.user.custom([&h, path] {
            QPrintDialog* dialog = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QPrintDialog*>(w); d != nullptr && d->isVisible()) dialog = d;
            }
            if (dialog == nullptr) return h.user.custom([] { ADD_FAILURE() << "no print dialog"; });
            if (path.isEmpty()) return dialog->reject();
            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog->printer()->setOutputFileName(path);
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"))) name->setText(path);
            dialog->accept();
        });
    };
    withEditor(h, [&](ui::Window&, kwRTF& editor, ui::RichTextControl& text) {
        text.replaceSelection(QStringLiteral("Printed through the dialog"));
        answer({});
        cancelled = editor.Print("RTF Data", true, false);
        answer(pdf);
        printed = editor.Print("RTF Data", true, false);
    });
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(printed, 1);
    ASSERT_TRUE(QFile::exists(pdf));
    EXPECT_EQ(pageCount(pdf), 1);
    EXPECT_EQ(pageText(pdf, 1, 1).simplified(), QStringLiteral("Printed through the dialog"));
}
