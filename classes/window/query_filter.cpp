#include "classes/window/query_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime/core/char_tables.h"
#include "runtime/picture/picture.h"

namespace docket::classes {
namespace {

bool isOperatorChar(char c) {
    return c == '=' || c == '<' || c == '>' || c == '~';
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string trimRight(const std::string& text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

// Each of "<", ">", "~" once in the order they first appear, then "=" when one was collected,
// unless both "<" and ">" were ("<>=" is "<>").
std::string rebuildOperator(const std::string& collected) {
    std::string op;
    for (char c : collected)
        if (c != '=' && op.find(c) == std::string::npos) op += c;
    const bool less = op.find('<') != std::string::npos, greater = op.find('>') != std::string::npos;
    // Both ways is "not equal", whichever came first: the filter language has no "><".
    if (less && greater) {
        op.erase(std::remove_if(op.begin(), op.end(), [](char c) { return c == '<' || c == '>'; }), op.end());
        return "<>" + op;
    }
    if (collected.find('=') != std::string::npos) op += '=';
    return op;
}

std::string plainNumber(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string deformatted(const std::string& value, const std::string& picture) {
    const std::string plain = trimmed(value);
    if (isPlainNumber(plain)) return plain;
    return plainNumber(runtime::deformatNumber(value, runtime::compilePicture(picture)));
}

// QUERYSTRING: the three texts joined by "|" (see the header).
std::string encodeOne(const std::string* text) {
    std::string out;
    if (text == nullptr) return out;
    for (char c : *text) {
        if (c == '\\' || c == '|') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> decodeParts(const std::string& text) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            parts.back() += next == 'n' ? '\n' : next;
        } else if (c == '|') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    parts.resize(3);
    return parts;
}

std::string upper(const std::string& text) {
    return runtime::upperText(text);
}

std::string literalFor(const QueryField& field, const std::string& value, bool numberWanted) {
    if (!numberWanted) return quoteLiteral(value);
    // A field that is not a string takes only a number: a blank compares with 0, anything else is
    // read through the field's picture.
    if (trimmed(value).empty()) return "0";
    return deformatted(value, field.PICTURE);
}

} // namespace

// A number as the filter language reads it: digits, at most one point, an optional leading minus.
bool isPlainNumber(const std::string& text) {
    std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

std::string combineCondition(const std::string& text, const std::string& op) {
    std::size_t i = 0;
    std::string collected;
    while (i < text.size() && isOperatorChar(text[i])) collected += text[i++];
    std::string rest = text.substr(i);
    if (op == "Contains") {
        rest = "*" + rest;
    } else if (op == "Begins") {
        rest += "*";
    } else if (op == "NOT =") {
        collected += "<>";
    } else {
        collected += op;
    }
    return rebuildOperator(collected) + rest;
}

std::string quoteLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

bool nextQueryCondition(const QueryField& field, QueryCondition& out, bool previousMore) {
    out = {};
    std::string base, text;
    bool more = false, middle = false;
    if (field.LOW && !previousMore) {
        base = field.MIDDLE ? ">=" : ">";
        text = *field.LOW;
        more = field.HIGH != nullptr;
    } else if (field.HIGH) {
        base = field.MIDDLE ? "<=" : "<";
        text = *field.HIGH;
    } else {
        text = field.MIDDLE ? *field.MIDDLE : std::string();
        middle = true;
    }
    const std::string combined = combineCondition(text, base);
    std::size_t i = 0;
    while (i < combined.size() && isOperatorChar(combined[i])) ++i;
    out.OPERATOR = combined.substr(0, i);
    out.VALUE = combined.substr(i);
    if (middle && !out.VALUE.empty()) {
        if (out.VALUE.front() == '*') {
            out.OPERATOR = "Contains";
            out.VALUE.erase(0, 1);
            if (!out.VALUE.empty() && out.VALUE.back() == '*') out.VALUE.pop_back();
        } else if (out.VALUE.back() == '*') {
            out.OPERATOR = "Begins";
            out.VALUE.pop_back();
        }
    }
    if (!out.VALUE.empty() && out.VALUE.front() == '^') {
        out.NOCASE = true;
        out.VALUE = upper(out.VALUE.substr(1));
    }
    if (field.dNAME.find("UPPER(") != std::string::npos) {
        out.NOCASE = true;
        out.VALUE = upper(out.VALUE);
    }
    const bool textSearch = out.OPERATOR == "Contains" || out.OPERATOR == "Begins";
    if (!field.isString() && !field.FORCEEDITPICTURE && !textSearch && !trimmed(out.VALUE).empty()) {
        out.VALUE = deformatted(out.VALUE, field.PICTURE);
        out.NOCASE = false;
    }
    return more;
}

std::string buildQueryFilter(const std::vector<QueryField>& fields, const NextCondition& next) {
    std::string result;
    for (const QueryField& field : fields) {
        if (field.TEXTOF) continue; // tested by Matches
        bool more = false;
        do {
            QueryCondition c;
            more = next(field, c, more);
            if (c.OPERATOR.empty() && c.VALUE.empty()) continue;
            std::string name = trimRight(field.dNAME);
            std::string value = c.VALUE;
            bool noCase = c.NOCASE;
            const bool contains = c.OPERATOR == "Contains", begins = c.OPERATOR == "Begins";
            if ((contains || begins) && !field.isString()) {
                // From the first visible character: a right-aligned picture starts with blanks.
                name = "LEFT(FORMAT(" + name + ",@" + field.PICTURE + "))";
                noCase = true;
            }
            if (noCase) {
                value = upper(value);
                if (!value.empty() && value.front() == '^') value.erase(0, 1);
                if (name.find("UPPER(") == std::string::npos) name = "UPPER(" + name + ")";
            }
            if (!result.empty()) result += " AND ";
            if (contains) {
                result += "INSTRING(" + quoteLiteral(value) + "," + name + ",1,1) <> 0";
            } else if (begins) {
                result += "SUB(" + name + ",1," + std::to_string(value.size()) + ") = " + quoteLiteral(value);
            } else {
                // "~" has no meaning to the filter language; an operator of nothing else compares
                // for equality, as does a value without an operator.
                std::string op = c.OPERATOR;
                op.erase(std::remove(op.begin(), op.end(), '~'), op.end());
                if (op.empty()) op = "=";
                result += "(" + name + " " + op + " " + literalFor(field, value, !field.isString()) + ")";
            }
        } while (more);
    }
    return result;
}

std::string encodeQueryTexts(const QueryField& field) {
    return encodeOne(field.LOW.get()) + "|" + encodeOne(field.MIDDLE.get()) + "|" +
           encodeOne(field.HIGH.get());
}

std::vector<std::string> decodeQueryTexts(const std::string& text) {
    return decodeParts(text);
}

} // namespace docket::classes
