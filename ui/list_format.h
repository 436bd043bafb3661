#pragma once
// The column format language of list boxes and drop controls. A format is a run of columns, each
//   width  alignment[(indent)]  modifiers  ["~" header "~" [alignment[(indent)]]]  ["@" picture "@"]  ["#"
//   field "#"]
// for example "35R(2)|M~Memo ID~C(0)@n-14@#1#". Alignment letters: L left, R right, C centre,
// D decimal (shown right aligned). Modifiers, before or after the header: "|" a line on the right,
// "M" resizable, "_" a line below; others are accepted and ignored, with their argument in
// parentheses when they have one ("S(255)"). The field binding names the queue field the column shows
// (1-based); without one a column shows the field after the previous column's.
#include <string>
#include <string_view>
#include <vector>

namespace docket::ui {

enum class ColumnAlign { Left, Right, Center, Decimal };

struct ListColumn {
    int width = 0; // dialog units
    ColumnAlign align = ColumnAlign::Left;
    int indent = 0;
    bool rightBorder = false;
    bool resizable = false;
    bool underline = false;
    std::string header;
    ColumnAlign headerAlign = ColumnAlign::Left;
    int headerIndent = 0;
    bool hasHeader = false;
    std::string picture; // without "@"
    int field = 0;       // 1-based queue field
};

// Parses a format. Text that does not follow the grammar ends the parse at that point: the columns
// read so far are returned and `ok`, when given, is set false.
std::vector<ListColumn> parseListFormat(std::string_view format, bool* ok = nullptr);

} // namespace docket::ui
