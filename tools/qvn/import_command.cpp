// qvn import FILE[\!TABLE] --schema SCHEMA < rows.csv: one record per CSV row. Each refused row is
// reported with its line and reason; the others still go in, each ADD committed on its own.
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
#include "tools/qvn/schema.h"
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


std::string errorText(int rc) {
    return runtime::errorTextFor(rc) + " (error " + std::to_string(rc) + ")";
}

// What a column of the CSV fills: a field or a memo.
struct Column {
    int field = -1;
    int memo = -1;
};

// Columns are matched to fields and memos by label, or by the part of the label after its first
// ":" when that is unambiguous; letter case does not matter.
bool matchColumns(const FileDeclaration& d, const std::vector<std::string>& header,
                  std::vector<Column>* columns, std::string* error) {
    auto shortOf = [](const std::string& label) {
        const std::size_t colon = label.find(':');
        return colon == std::string::npos ? std::string() : runtime::upperText(label.substr(colon + 1));
    };
    std::vector<bool> used(d.fields.size() + d.memos.size(), false);
    for (const std::string& raw : header) {
        std::string name = raw;
        while (!name.empty() && name.back() == ' ') name.pop_back();
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        name = runtime::upperText(name);
        Column column;
        int shortMatches = 0;
        Column byShort;
        for (std::size_t f = 0; f < d.fields.size(); ++f) {
            if (d.fields[f].type == TypeCode::Group) continue;
            if (runtime::upperText(d.fields[f].label) == name) column.field = static_cast<int>(f);
            if (shortOf(d.fields[f].label) == name) ++shortMatches, byShort.field = static_cast<int>(f);
        }
        for (std::size_t m = 0; m < d.memos.size(); ++m) {
            if (runtime::upperText(d.memos[m].label) == name) column.memo = static_cast<int>(m);
            if (shortOf(d.memos[m].label) == name) ++shortMatches, byShort = Column{-1, static_cast<int>(m)};
        }
        if (column.field < 0 && column.memo < 0 && shortMatches == 1) column = byShort;
        if (column.field < 0 && column.memo < 0) {
            *error = "the header's column '" + raw + "' names no field or memo of the table";
            return false;
        }
        const std::size_t slot = column.field >= 0 ? static_cast<std::size_t>(column.field)
                                                   : d.fields.size() + static_cast<std::size_t>(column.memo);
        if (used[slot]) {
            *error = "the header names '" + raw + "' twice";
            return false;
        }
        if (column.field >= 0 && d.fields[static_cast<std::size_t>(column.field)].elements > 1) {
            *error = "column '" + raw + "' is an array; arrays cannot be imported";
            return false;
        }
        used[slot] = true;
        columns->push_back(column);
    }
    return true;
}

// Empties the record and the memos: zero numbers, blank strings, empty memos.
void clearRecord(FileDeclaration& d) {
    std::memset(d.record, 0, d.recordLength);
    for (const auto& f : d.fields)
        if (f.type == TypeCode::String && f.elements <= 1) std::memset(d.record + f.offset, ' ', f.size);
    for (auto& m : d.memos) {
        if (m.isBlob()) {
            if (m.blob) m.blob->clear();
        } else if (m.buffer) {
            std::memset(m.buffer, ' ', m.size);
        }
    }
}

} // namespace

int importTable(const ImportOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
    drivers::registerDriver(drivers::qvn::registration());
    auto schema = std::make_unique<SchemaTable>();
    FileDeclaration& declaration = schema->declaration;
    if (!options.schema.empty()) {
        std::string error;
        if (!parseSchema(options.schema, schema.get(), &error)) {
            err << "qvn import: bad schema: " << error << "\n";
            return 2;
        }
    }
    declaration.label = "IMPORT";
    declaration.driver = "QUORVANE";
    declaration.name = options.file;
    if (!options.password.empty()) declaration.owner = options.password;
    DriverFile file;
    file.declaration = &declaration;
    DriverArguments open;
    open.openMode = 0x42; // read and write, shared with all
    int rc = drivers::callDriver(OperationCode::OPEN, file, open);
    if (rc == runtime::error::kFileNotFound && !options.schema.empty()) {
        DriverArguments create;
        rc = drivers::callDriver(OperationCode::CREATE, file, create);
        if (rc == 0) rc = drivers::callDriver(OperationCode::OPEN, file, open);
        if (rc == 0) out << "created " << options.file << "\n";
    }
    if (rc) {
        err << "qvn import: " << options.file << ": ";
        if (rc == runtime::error::kInvalidRecordDeclaration && !options.schema.empty())
            err << "the table exists with a definition other than the schema's, or the schema cannot be "
                   "stored ";
        else if (rc == runtime::error::kFileNotFound && options.schema.empty())
            err << "no such table, and no --schema to create it with ";
        err << errorText(rc) << "\n";
        return 2;
    }
    auto* table = static_cast<drivers::qvn::QvnTable*>(file.state.get());
    FileDeclaration& d = table->declaration();

    CsvReader reader(in);
    std::vector<std::string> cells;
    long line = 0;
    std::string error;
    if (!reader.next(&cells, &line, &error)) {
        err << "qvn import: the input has no header row\n";
        return 2;
    }
    std::vector<Column> columns;
    if (!matchColumns(d, cells, &columns, &error)) {
        err << "qvn import: line " << line << ": " << error << "\n";
        return 2;
    }
    long added = 0, refused = 0;
    while (reader.next(&cells, &line, &error)) {
        if (cells.size() == 1 && cells[0].empty() && error.empty()) continue; // an empty line
        std::string reason = error;
        if (reason.empty() && cells.size() != columns.size())
            reason = std::to_string(cells.size()) + " cells where the header has " +
                     std::to_string(columns.size());
        if (reason.empty()) {
            clearRecord(d);
            for (std::size_t c = 0; c < columns.size() && reason.empty(); ++c) {
                std::string why;
                const bool ok =
                    columns[c].field >= 0
                        ? storeFieldText(d.fields[static_cast<std::size_t>(columns[c].field)], d.record,
                                         cells[c], &why)
                        : storeMemoText(d.memos[static_cast<std::size_t>(columns[c].memo)], cells[c], &why);
                if (!ok) reason = "column " + std::to_string(c + 1) + ": " + why;
            }
        }
        if (reason.empty()) {
            DriverArguments add;
            const int added_rc = drivers::callDriver(OperationCode::ADD, file, add);
            if (added_rc == 40)
                reason = "duplicate key";
            else if (added_rc)
                reason = errorText(added_rc);
        }
        if (reason.empty()) {
            ++added;
        } else {
            ++refused;
            err << "line " << line << ": " << reason << "\n";
        }
    }
    DriverArguments close;
    drivers::callDriver(OperationCode::CLOSE, file, close);
    out << added << (added == 1 ? " row" : " rows") << " added, " << refused << " refused\n";
    return refused ? 1 : 0;
}

int runImport(int argc, char** argv) {
    ImportOptions options;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--schema" && i + 1 < argc)
            options.schema = argv[++i];
        else if (arg == "--password" && i + 1 < argc)
            options.password = argv[++i];
        else if (options.file.empty() && !arg.empty() && arg[0] != '-')
            options.file = arg;
        else
            bad = true;
    }
    if (bad || options.file.empty()) {
        std::fprintf(stderr, "usage: qvn import FILE[\\!TABLE] [--schema SCHEMA] [--password P] < rows.csv\n"
                             "       (qvn help import tells more)\n");
        return 2;
    }
    return importTable(options, std::cin, std::cout, std::cerr);
}

} // namespace docket::qvn_tool
