#pragma once
// Printing the editor's document: through the print dialog (the desktop's printers, or "Print to
// file" as PDF) or straight to the default printer. Pages fill the whole printable area, with no
// margins of their own and no page numbers; each page holds what the control's page formatting
// measures for it, and a page is begun only while text is left, so there is no blank last page.
//
// Runs on a program thread (the editor's container): the dialog waits through the scheduler.
#include "ui/rich_text_control.h"

#include <cstdint>
#include <functional>
#include <string>

class QPrinter;
class QWidget;

namespace docket::rtf {

// Prints the whole document on `printer`, which is ready to start. Returns the number of pages
// printed, or -1 when the job could not be started.
int printDocument(const ui::RichTextControl& text, QPrinter& printer, const QString& documentName);

// The editor's Print: 1 when printed or when there was nothing to print (a beep), 0 when the
// dialog was cancelled, no printer was there or the job could not start (after the "Error
// Starting Print Job" box).
std::uint8_t printEditorDocument(const ui::RichTextControl& text, const std::string& documentName,
                                 bool showDialog, bool noName);

// Set-up applied to every printer before it is used (and, with the dialog, before it shows); for
// tests that print to a PDF file, and for machines that send the default printer's pages to one.
void setPrinterSetup(std::function<void(QPrinter&)> setup);

} // namespace docket::rtf
