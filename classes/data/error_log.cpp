#include "classes/data/error_log.h"

#include <algorithm>
#include <string>

#include <unistd.h>

#include "drivers/driver.h"
#include "runtime/core/type_code.h"
#include "files/file_statements.h"

namespace docket::classes {

// The log as a declared text file: one STRING(1024) field TXT, a record per line.
struct TextErrorLog::File {
    char record[kErrorLogLineLimit];
    drivers::FileDeclaration declaration;
    drivers::DriverFile file{&declaration, nullptr};

    File() {
        declaration.label = "QRBError";
        declaration.driver = "ASCII";
        declaration.name = kErrorLogName;
        declaration.recordLength = sizeof record;
        declaration.record = reinterpret_cast<std::uint8_t*>(record);
        drivers::FieldDeclaration text{.type = runtime::TypeCode::String,
                                       .size = static_cast<std::uint32_t>(sizeof record),
                                       .label = "TXT"};
        text.elementLength = text.size;
        declaration.fields.push_back(text);
        std::fill(std::begin(record), std::end(record), ' ');
    }
};

TextErrorLog::TextErrorLog() : file_(std::make_unique<File>()) {}

TextErrorLog::~TextErrorLog() {
    if (file_->file.state) runtime::close(file_->file);
}

Severity TextErrorLog::Open() {
    if (USAGE == 0) {
        if (::access(kErrorLogName, F_OK) != 0 && runtime::create(file_->file) != 0) return Severity::Inform;
        // Deny none: other stations and other programs append to the same log, each only for the
        // moment of one line.
        if (runtime::open(file_->file, 0x42) != 0) return Severity::Inform;
    }
    ++USAGE;
    return Severity::Proceed;
}

Severity TextErrorLog::Close() {
    // A close without an open is refused rather than counted, so that a failed Open followed by
    // Close cannot leave the count below zero and the file open for good.
    if (USAGE <= 0) return Severity::Inform;
    Severity result = Severity::Proceed;
    if (USAGE == 1 && runtime::close(file_->file) != 0) result = Severity::Inform;
    --USAGE;
    return result;
}

Severity TextErrorLog::Write(std::string_view text) {
    if (USAGE == 0 || !file_->file.state) return Severity::Inform;
    std::string line(text.substr(0, kErrorLogLineLimit));
    // One report is one line: line ends inside a text (a caller's free text may hold them) would
    // split it, so they are written as blanks. Trailing blanks are clipped by the text driver.
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    runtime::writeText(runtime::TypeCode::String, file_->declaration.record, file_->declaration.recordLength,
                       line);
    return runtime::add(file_->file) == 0 ? Severity::Proceed : Severity::Inform;
}

} // namespace docket::classes
