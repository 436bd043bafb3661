#pragma once
// What `qvn dump` and `qvn import` share: CSV reading and quoting, JSON quoting, and the text of a
// field or memo value in both directions.
//
// Text outside the tool is UTF-8; record buffers and memos hold Windows-1252, so text is converted
// on the way in and out (characters Windows-1252 lacks are stored as '?').
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/declaration.h"

namespace docket::qvn_tool {

// RFC 4180 CSV: cells separated by ",", a cell in double quotes may hold ",", line breaks and
// doubled quotes; a line may end in CRLF or LF.
class CsvReader {
public:
    explicit CsvReader(std::istream& in) : in_(in) {}
    // The next row; false at the end of the input. `*line` is the line the row begins on (from 1).
    // A quoted cell left open at the end of the input is an error: `*error` is set and the row is
    // returned as read so far.
    bool next(std::vector<std::string>* cells, long* line, std::string* error);

private:
    std::istream& in_;
    long line_ = 1;
};

// A cell as CSV writes it: quoted when it holds ",", '"', a line break or leading/trailing blanks.
std::string csvCell(std::string_view text);
// A JSON string literal.
std::string jsonString(std::string_view text);

// The value of a field (all its elements, joined by ",") as UTF-8 text: through the field's picture
// when it has one; otherwise numbers plainly, DATE as yyyy-mm-dd, TIME as hh:mm:ss (with .cc when
// the hundredths are not zero), a zero DATE or TIME empty, STRING without its trailing blanks.
std::string fieldText(const drivers::FieldDeclaration& field, const std::uint8_t* record);
// True for field types that JSON shows as numbers (when no picture makes text of them).
bool isNumberField(const drivers::FieldDeclaration& field);

// A memo's text: a MEMO without its trailing blanks; a BLOB or BINARY memo as text when every byte
// is printable (or a tab or line break), else as "0x" followed by its bytes in hexadecimal.
std::string memoText(const drivers::MemoDeclaration& memo);

// Stores UTF-8 `text` in a field of `record` (an empty text stores zero or blanks). False with
// `*reason` ("bad number '12x'", "value too long: 45 characters where NAME holds 40", ...).
bool storeFieldText(const drivers::FieldDeclaration& field, std::uint8_t* record, std::string_view text,
                    std::string* reason);
bool storeMemoText(drivers::MemoDeclaration& memo, std::string_view text, std::string* reason);

} // namespace docket::qvn_tool
