// qvn dump FILE[\!TABLE] [--key K] [--filter EXPR] [--csv|--json]: the records of a table decoded by
// its stored definition, memos included.
//
// The records are read through a view. Filter names: every field and memo is bound by its label
// (MEM:MEMO_ID), and also by the part of the label after its first ":" (MEMO_ID) when no other
// field or memo has that short name and no label is that name itself. Arrays, GROUPs and BLOBs
// are not bound.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "runtime/core/char_tables.h"
#include "drivers/driver_registry.h"
#include "drivers/qvn/qvn_registration.h"
#include "drivers/qvn/qvn_table.h"
#include "runtime/core/error_state.h"
#include "runtime/expression/expression.h"
#include "runtime/picture/picture_regional.h"
#include "files/record_fields.h"
#include "files/view.h"
#include "tools/qvn/table_commands.h"
#include "tools/qvn/table_io.h"
#include "runtime/core/error_codes.h"

namespace docket::qvn_tool {

namespace {

using drivers::DriverArguments;
using drivers::DriverFile;
using drivers::FileDeclaration;
using drivers::OperationCode;
using runtime::TypeCode;


std::string shortName(const std::string& label) {
    const std::size_t colon = label.find(':');
    return colon == std::string::npos ? std::string() : label.substr(colon + 1);
}

// -1 for record order, -2 when `key` names no key.
int findKey(const FileDeclaration& d, const std::string& key) {
    if (key.empty()) return -1;
    char* end = nullptr;
    const long number = std::strtol(key.c_str(), &end, 10);
    if (*end == 0)
        return number >= 1 && static_cast<std::size_t>(number) <= d.keys.size() ? int(number - 1) : -2;
    const std::string wanted = runtime::upperText(key);
    for (std::size_t k = 0; k < d.keys.size(); ++k)
        if (runtime::upperText(d.keys[k].label) == wanted) return static_cast<int>(k);
    int found = -2;
    for (std::size_t k = 0; k < d.keys.size(); ++k)
        if (runtime::upperText(shortName(d.keys[k].label)) == wanted) {
            if (found != -2) return -2; // ambiguous
            found = static_cast<int>(k);
        }
    return found;
}

// The order text that reads through key `k`: its components by field label, "-" for a descending
// one, UPPER() around a string component of a key that ignores case.
std::string orderText(const FileDeclaration& d, const drivers::KeyDeclaration& k) {
    std::string text;
    for (std::int32_t c : k.components) {
        const drivers::FieldDeclaration& f = d.fields[static_cast<std::size_t>((c < 0 ? -c : c) - 1)];
        const bool isText =
            f.type == TypeCode::String || f.type == TypeCode::CString || f.type == TypeCode::PString;
        if (!text.empty()) text += ",";
        if (c < 0) text += "-";
        text += (k.flags & drivers::key_flag::kNoCase) && isText ? "UPPER(" + f.label + ")" : f.label;
    }
    return text;
}

// One record in the chosen form. `first` is true for the first record written.
void writeRecord(const FileDeclaration& d, DumpOptions::Format format, bool first, std::ostream& out) {
    using Format = DumpOptions::Format;
    std::string line;
    bool any = false;
    auto put = [&](const std::string& label, const std::string& text, bool number) {
        switch (format) {
        case Format::Lines: {
            if (any) line += " | ";
            // One record, one line: line breaks inside a value show as \n.
            for (char c : text) {
                if (c == '\n')
                    line += "\\n";
                else if (c == '\r')
                    line += "\\r";
                else if (c == '\\')
                    line += "\\\\";
                else
                    line += c;
            }
            break;
        }
        case Format::Csv:
            if (any) line += ",";
            line += csvCell(text);
            break;
        case Format::Json:
            line += any ? ", " : "  {";
            line += jsonString(label) + ": " + (number && !text.empty() ? text : jsonString(text));
            break;
        }
        any = true;
    };
    for (const auto& f : d.fields)
        if (f.type != TypeCode::Group) put(f.label, fieldText(f, d.record), isNumberField(f));
    for (const auto& m : d.memos) put(m.label, memoText(m), false);
    if (format == Format::Json) {
        out << (first ? "" : ",\n") << (any ? line + "}" : "  {}");
    } else {
        out << line << "\n";
    }
}

void writeHeader(const FileDeclaration& d, DumpOptions::Format format, std::ostream& out) {
    if (format == DumpOptions::Format::Json) {
        out << "[\n";
        return;
    }
    std::string line;
    bool any = false;
    const char* separator = format == DumpOptions::Format::Csv ? "," : " | ";
    auto put = [&](const std::string& label) {
        if (any) line += separator;
        line += format == DumpOptions::Format::Csv ? csvCell(label) : label;
        any = true;
    };
    for (const auto& f : d.fields)
        if (f.type != TypeCode::Group) put(f.label);
    for (const auto& m : d.memos) put(m.label);
    out << line << "\n";
}

// Restores the binding scope however the dump ends.
struct ScopeGuard {
    ScopeGuard() { runtime::pushScope(false); }
    ~ScopeGuard() { runtime::popScope(); }
};

} // namespace

int dumpTable(const DumpOptions& options, std::ostream& out, std::ostream& err) {
    drivers::registerDriver(drivers::qvn::registration());
    runtime::initRegionalFormats();
    FileDeclaration bare; // no record and no memos: the table's own definition is read
    bare.label = "DUMP";
    bare.driver = "QUORVANE";
    bare.name = options.file;
    if (!options.password.empty()) bare.owner = options.password;
    DriverFile file;
    file.declaration = &bare;
    DriverArguments open;
    open.openMode = 0x40; // read only, others may do anything
    if (int rc = drivers::callDriver(OperationCode::OPEN, file, open)) {
        err << "qvn dump: " << options.file << ": " << runtime::errorTextFor(rc) << " (error " << rc << ")\n";
        return 1;
    }
    auto* table = static_cast<drivers::qvn::QvnTable*>(file.state.get());
    const FileDeclaration& d = table->declaration();
    const int key = findKey(d, options.key);
    if (key == -2) {
        err << "qvn dump: " << options.file << " has no key '" << options.key << "' (keys:";
        for (std::size_t k = 0; k < d.keys.size(); ++k) err << " " << k + 1 << " " << d.keys[k].label;
        err << ")\n";
        return 2;
    }
    ScopeGuard scope;
    runtime::bindTableFields(d);
    // The records are read through a view: --key becomes its order, --filter its filter.
    runtime::ViewDeclaration declaration;
    declaration.primary = &file;
    runtime::View view(declaration);
    view.open(0x40);
    if (key >= 0 && view.setOrder(orderText(d, d.keys[static_cast<std::size_t>(key)]))) {
        err << "qvn dump: key " << options.key << " cannot be read: a component is not a plain field\n";
        return 2;
    }
    if (view.setFilter(options.filter)) {
        err << "qvn dump: the filter does not compile: " << options.filter << "\n";
        return 2;
    }
    writeHeader(d, options.format, out);
    bool first = true;
    int status = 0;
    if (const int rc = view.set()) {
        err << "qvn dump: " << options.file << ": " << runtime::errorTextFor(rc) << " (error " << rc << ")\n";
        status = 1;
    }
    while (status == 0) {
        const int rc = view.next();
        if (rc == runtime::error::kRecordNotAvailable) break; // no record left
        if (rc) {
            err << "qvn dump: " << options.file << ": " << runtime::errorTextFor(rc) << " (error " << rc
                << ")\n";
            status = 1;
            break;
        }
        writeRecord(d, options.format, first, out);
        first = false;
    }
    view.close();
    if (options.format == DumpOptions::Format::Json) out << (first ? "]\n" : "\n]\n");
    DriverArguments close;
    drivers::callDriver(OperationCode::CLOSE, file, close);
    return status;
}

int runDump(int argc, char** argv) {
    DumpOptions options;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--key" && i + 1 < argc)
            options.key = argv[++i];
        else if (arg == "--filter" && i + 1 < argc)
            options.filter = argv[++i];
        else if (arg == "--password" && i + 1 < argc)
            options.password = argv[++i];
        else if (arg == "--csv")
            options.format = DumpOptions::Format::Csv;
        else if (arg == "--json")
            options.format = DumpOptions::Format::Json;
        else if (options.file.empty() && !arg.empty() && arg[0] != '-')
            options.file = arg;
        else
            bad = true;
    }
    if (bad || options.file.empty()) {
        std::fprintf(
            stderr,
            "usage: qvn dump FILE[\\!TABLE] [--key K] [--filter EXPR] [--csv|--json] [--password P]\n");
        return 2;
    }
    return dumpTable(options, std::cout, std::cerr);
}

} // namespace docket::qvn_tool
