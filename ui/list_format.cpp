#include "ui/list_format.h"

#include <cctype>

namespace docket::ui {
namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    char take() { return atEnd() ? '\0' : text_[pos_++]; }
    bool digit() const { return std::isdigit(static_cast<unsigned char>(peek())) != 0; }

    // A decimal number of at most 6 digits; longer runs are refused so that widths stay sane.
    bool number(int& value) {
        if (!digit()) return false;
        value = 0;
        int digits = 0;
        while (digit()) {
            if (++digits > 6) return false;
            value = value * 10 + (take() - '0');
        }
        return true;
    }
    // Text up to the closing `delimiter`; false when it never closes.
    bool until(char delimiter, std::string& out) {
        std::size_t end = text_.find(delimiter, pos_);
        if (end == std::string_view::npos) return false;
        out.assign(text_.substr(pos_, end - pos_));
        pos_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool alignment(Reader& in, ColumnAlign& align, int& indent) {
    switch (std::toupper(static_cast<unsigned char>(in.peek()))) {
    case 'L':
        align = ColumnAlign::Left;
        break;
    case 'R':
        align = ColumnAlign::Right;
        break;
    case 'C':
        align = ColumnAlign::Center;
        break;
    case 'D':
        align = ColumnAlign::Decimal;
        break;
    default:
        return false;
    }
    in.take();
    if (in.peek() == '(') {
        in.take();
        bool negative = false;
        if (in.peek() == '-') {
            negative = true;
            in.take();
        }
        if (!in.number(indent) || in.take() != ')') return false;
        if (negative) indent = -indent;
    }
    return true;
}

// Modifiers up to the next header, picture, field binding or column. A modifier may take an
// argument in parentheses ("S(255)", a column's scroll width; "Z(2)", a style); the argument is
// skipped, but it must close.
bool modifiers(Reader& in, ListColumn& out) {
    while (!in.atEnd()) {
        char c = in.peek();
        if (c == '~' || c == '@' || c == '#' || std::isdigit(static_cast<unsigned char>(c))) break;
        in.take();
        switch (std::toupper(static_cast<unsigned char>(c))) {
        case '|':
            out.rightBorder = true;
            break;
        case 'M':
            out.resizable = true;
            break;
        case '_':
            out.underline = true;
            break;
        default:
            break; // colour, icon, scroll, style and tree modifiers have no meaning here
        }
        if (c != '(' && in.peek() == '(') {
            in.take();
            std::string argument;
            if (!in.until(')', argument)) return false;
        }
    }
    return true;
}

bool column(Reader& in, ListColumn& out) {
    if (!in.number(out.width)) return false;
    if (!alignment(in, out.align, out.indent)) return false;
    if (!modifiers(in, out)) return false;
    if (in.peek() == '~') {
        in.take();
        if (!in.until('~', out.header)) return false;
        out.hasHeader = true;
        out.headerAlign = out.align;
        out.headerIndent = out.indent;
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(in.peek())));
        if (c == 'L' || c == 'R' || c == 'C' || c == 'D') {
            if (!alignment(in, out.headerAlign, out.headerIndent)) return false;
        }
        // Modifiers may follow the header too ("~Message~S(255)").
        if (!modifiers(in, out)) return false;
    }
    if (in.peek() == '@') {
        in.take();
        if (!in.until('@', out.picture)) return false;
    }
    if (in.peek() == '#') {
        in.take();
        if (!in.number(out.field) || in.take() != '#' || out.field == 0) return false;
    }
    return true;
}

} // namespace

std::vector<ListColumn> parseListFormat(std::string_view format, bool* ok) {
    std::vector<ListColumn> columns;
    Reader in(format);
    bool good = true;
    int nextField = 1;
    while (!in.atEnd()) {
        ListColumn col;
        if (!column(in, col)) {
            good = false;
            break;
        }
        if (col.field == 0) col.field = nextField;
        nextField = col.field + 1;
        columns.push_back(std::move(col));
    }
    if (ok != nullptr) *ok = good;
    return columns;
}

} // namespace docket::ui
