#pragma once
// qvn dump and qvn import as functions over streams, so that tests run them without a process.
#include <iosfwd>
#include <string>

namespace docket::qvn_tool {

struct DumpOptions {
    enum class Format { Lines, Csv, Json };
    std::string file;   // "path[\!table]"
    std::string key;    // empty: record order; else a key's label (with or without its prefix) or number
    std::string filter; // an expression over the fields; empty: every record
    std::string password;
    Format format = Format::Lines;
};

// Exit code: 0, 1 when the table cannot be read, 2 for a bad key or filter.
int dumpTable(const DumpOptions& options, std::ostream& out, std::ostream& err);

struct ImportOptions {
    std::string file;   // "path[\!table]"
    std::string schema; // may be empty when the table exists: its stored definition is used
    std::string password;
};

// Exit code: 0 when every row went in, 1 when rows were refused (each reported on `err` with its
// line and reason) or the input ended in the middle of a quoted cell, 2 when nothing could be
// done (bad schema, unknown column, table not to be opened or created).
int importTable(const ImportOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace docket::qvn_tool
