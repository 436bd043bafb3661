#pragma once
// The schema text of `qvn import`: a table's fields, memos and keys in one line, turned into a
// declaration the native driver can create and open.
//
//   FIELD:TYPE,FIELD:TYPE,...;KEY NAME=+FIELD,-FIELD WORD WORD;KEY ...
//
// Types as declarations write them: BYTE, SHORT, USHORT, LONG, ULONG, DATE, TIME, SREAL, REAL,
// DECIMAL(n,m), STRING(n), CSTRING(n), PSTRING(n), MEMO(n), BLOB. Key words: PRIMARY, DUP, NOCASE,
// OPT. Names and words are case-insensitive and kept in upper case; blanks around items are
// ignored. Fields lie in the record in the order given; memos and BLOBs are kept apart from the
// record, in their own order. Every key component needs its "+" or "-".
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/declaration.h"

namespace docket::qvn_tool {

// A declaration with the buffers it points to. Not copyable or movable: the declaration points
// into the members.
struct SchemaTable {
    SchemaTable() = default;
    SchemaTable(const SchemaTable&) = delete;
    SchemaTable& operator=(const SchemaTable&) = delete;

    drivers::FileDeclaration declaration;
    std::vector<std::uint8_t> record;
    std::deque<std::vector<std::uint8_t>> memos; // one per memo, MEMO buffers only
    std::deque<std::vector<std::uint8_t>> blobs; // one per memo, BLOB buffers only
};

// Parses `text` into `out` (which must be fresh). False with `*error` set to a message that names
// the offending item, e.g. "field 2 'NAME:CSTRING(0)': a length from 1 to 65535 is needed".
bool parseSchema(std::string_view text, SchemaTable* out, std::string* error);

// The longest text a string or memo field of this declaration can hold (STRING n, CSTRING and
// PSTRING n - 1).
std::size_t textCapacity(const drivers::FieldDeclaration& field);

} // namespace docket::qvn_tool
