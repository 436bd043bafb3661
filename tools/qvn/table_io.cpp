#include "tools/qvn/table_io.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/charset.h"
#include "runtime/core/dates.h"
#include "runtime/picture/picture.h"
#include "runtime/core/value.h"
#include "tools/qvn/schema.h"

namespace docket::qvn_tool {

namespace {

using drivers::FieldDeclaration;
using drivers::MemoDeclaration;
using runtime::TypeCode;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// The value of one element as a number, for numeric pictures.
double elementNumber(const FieldDeclaration& field, const std::uint8_t* p) {
    switch (field.type) {
    case TypeCode::Byte:
        return p[0];
    case TypeCode::Short:
        return static_cast<std::int16_t>(runtime::readU16(p));
    case TypeCode::UShort:
        return runtime::readU16(p);
    case TypeCode::Long:
    case TypeCode::Date:
    case TypeCode::Time:
        return static_cast<std::int32_t>(runtime::readU32(p));
    case TypeCode::ULong:
        return runtime::readU32(p);
    case TypeCode::SReal: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case TypeCode::Real: {
        double v;
        std::memcpy(&v, p, 8);
        return v;
    }
    case TypeCode::Decimal:
        return static_cast<double>(runtime::readDecimal(p, field.elementSize(), field.places));
    default:
        return 0;
    }
}

std::string realText(double value) {
    char text[runtime::kNumberTextSize];
    return std::string(text, runtime::formatReal(value, text));
}

std::string hex(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string elementText(const FieldDeclaration& field, const std::uint8_t* p,
                        const runtime::Picture* picture) {
    const bool isText =
        field.type == TypeCode::String || field.type == TypeCode::CString || field.type == TypeCode::PString;
    if (picture) {
        if (isText)
            return runtime::formatText(runtime::readText(field.type, p, field.elementSize()), *picture);
        return runtime::formatNumber(elementNumber(field, p), *picture);
    }
    switch (field.type) {
    case TypeCode::Byte:
    case TypeCode::Short:
    case TypeCode::UShort:
    case TypeCode::Long:
    case TypeCode::ULong:
        return std::to_string(static_cast<long long>(elementNumber(field, p)));
    case TypeCode::SReal:
    case TypeCode::Real:
        return realText(elementNumber(field, p));
    case TypeCode::Decimal:
        return runtime::decimalText(p, field.elementSize(), field.places);
    case TypeCode::Date: {
        const std::int32_t day = static_cast<std::int32_t>(runtime::readU32(p));
        if (day == 0) return {};
        if (!runtime::isValidDate(day)) return std::to_string(day);
        const runtime::CivilDate d = runtime::civilDate(day);
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
        return text;
    }
    case TypeCode::Time: {
        const std::int32_t time = static_cast<std::int32_t>(runtime::readU32(p));
        if (time == 0) return {};
        if (!runtime::isValidTime(time)) return std::to_string(time);
        const runtime::ClockTime t = runtime::clockTime(time);
        char text[16];
        if (t.hundredths)
            std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", t.hour, t.minute, t.second, t.hundredths);
        else
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        return text;
    }
    case TypeCode::String: {
        std::string text = runtime::readText(field.type, p, field.elementSize());
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    case TypeCode::CString:
    case TypeCode::PString:
        return runtime::readText(field.type, p, field.elementSize());
    default:
        return hex(p, field.elementSize());
    }
}

bool parseInteger(std::string_view text, long long* out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parseReal(std::string_view text, double* out) {
    const std::string copy(text);
    if (copy.empty() || copy.find_first_of("xXnN") != std::string::npos) return false; // no hex, inf, nan
    char* end = nullptr;
    *out = std::strtod(copy.c_str(), &end);
    return *end == 0 && std::isfinite(*out);
}

// yyyy-mm-dd
bool parseDate(std::string_view text, std::int32_t* day) {
    int y = 0, m = 0, d = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    auto number = [&](int* v, std::size_t least, std::size_t most) {
        const char* start = p;
        auto r = std::from_chars(p, end, *v);
        if (r.ec != std::errc() || static_cast<std::size_t>(r.ptr - start) < least ||
            static_cast<std::size_t>(r.ptr - start) > most || *start == '-' || *start == '+')
            return false;
        p = r.ptr;
        return true;
    };
    if (!number(&y, 4, 4) || p == end || *p++ != '-' || !number(&m, 1, 2) || p == end || *p++ != '-' ||
        !number(&d, 1, 2) || p != end)
        return false;
    *day = runtime::dayNumber(y, m, d);
    return *day != 0;
}

// hh:mm[:ss[.cc]]
bool parseTime(std::string_view text, std::int32_t* time) {
    int parts[4] = {0, 0, 0, 0};
    const char* p = text.data();
    const char* end = p + text.size();
    const char separators[] = {':', ':', '.'};
    int count = 0;
    for (; count < 4; ++count) {
        if (count > 0) {
            if (p == end) break;
            if (*p++ != separators[count - 1]) return false;
        }
        const char* start = p;
        auto r = std::from_chars(p, end, parts[count]);
        if (r.ec != std::errc() || r.ptr - start < 1 || r.ptr - start > 2 || *start == '-' || *start == '+')
            return false;
        p = r.ptr;
    }
    if (count < 2 || p != end) return false;
    if (count == 4 && text.size() >= 2 && text[text.size() - 2] == '.') parts[3] *= 10; // ".5" is 50
    *time = runtime::timeNumber(parts[0], parts[1], parts[2], parts[3]);
    return *time != 0;
}

// [+-]digits[.digits] with at most `digits - places` digits before the point.
bool parseDecimal(std::string_view text, const FieldDeclaration& field, long double* value,
                  std::string* reason) {
    std::string_view body = text;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
    const std::size_t point = body.find('.');
    std::string_view whole = body.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : body.substr(point + 1);
    auto digitsOnly = [](std::string_view s) {
        for (char c : s)
            if (c < '0' || c > '9') return false;
        return true;
    };
    if (!digitsOnly(whole) || !digitsOnly(fraction) || whole.size() + fraction.size() == 0) {
        *reason = "bad number " + quoted(text);
        return false;
    }
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    if (whole.size() > static_cast<std::size_t>(field.digits - field.places)) {
        *reason = "number too large: " + quoted(text) + " where " + field.label + " is DECIMAL(" +
                  std::to_string(field.digits) + "," + std::to_string(field.places) + ")";
        return false;
    }
    *value = std::strtold(std::string(text).c_str(), nullptr);
    return true;
}

} // namespace

bool CsvReader::next(std::vector<std::string>* cells, long* line, std::string* error) {
    cells->clear();
    error->clear();
    int c = in_.get();
    if (c == std::char_traits<char>::eof()) return false;
    *line = line_;
    std::string cell;
    bool quotedCell = false, afterQuote = false;
    for (;; c = in_.get()) {
        if (c == std::char_traits<char>::eof()) {
            if (quotedCell && !afterQuote) *error = "a quoted cell is not closed";
            cells->push_back(std::move(cell));
            return true;
        }
        const char ch = static_cast<char>(c);
        if (quotedCell && !afterQuote) {
            if (ch == '"') {
                afterQuote = true;
            } else {
                if (ch == '\n') ++line_;
                cell += ch;
            }
            continue;
        }
        if (afterQuote && ch == '"') { // a doubled quote inside a quoted cell
            cell += '"';
            afterQuote = false;
            continue;
        }
        if (ch == ',') {
            cells->push_back(std::move(cell));
            cell.clear();
            quotedCell = afterQuote = false;
        } else if (ch == '\n' || ch == '\r') {
            if (ch == '\r' && in_.peek() == '\n') in_.get();
            ++line_;
            cells->push_back(std::move(cell));
            return true;
        } else if (ch == '"' && cell.empty() && !quotedCell) {
            quotedCell = true;
        } else {
            // Text after a closing quote, or a quote inside an unquoted cell, is taken as it is.
            afterQuote = false;
            cell += ch;
        }
    }
}

std::string csvCell(std::string_view text) {
    const bool plain = text.find_first_of(",\"\r\n") == std::string_view::npos &&
                       (text.empty() || (text.front() != ' ' && text.back() != ' '));
    if (plain) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

bool isNumberField(const FieldDeclaration& field) {
    switch (field.type) {
    case TypeCode::Byte:
    case TypeCode::Short:
    case TypeCode::UShort:
    case TypeCode::Long:
    case TypeCode::ULong:
    case TypeCode::SReal:
    case TypeCode::Real:
    case TypeCode::Decimal:
        return field.picture.empty() && field.elements <= 1;
    default:
        return false;
    }
}

std::string fieldText(const FieldDeclaration& field, const std::uint8_t* record) {
    runtime::Picture picture;
    if (!field.picture.empty()) picture = runtime::compilePicture(field.picture);
    const runtime::Picture* use = picture.valid() ? &picture : nullptr;
    std::string text;
    const std::uint32_t elements = field.elements ? field.elements : 1;
    for (std::uint32_t i = 0; i < elements; ++i) {
        if (i) text += ",";
        text += elementText(field, record + field.offset + i * field.elementSize(), use);
    }
    return platform::ansiToUtf8(text);
}

std::string memoText(const MemoDeclaration& memo) {
    if (!memo.isBlob() && !memo.isBinary()) {
        if (!memo.buffer) return {};
        std::size_t size = memo.size;
        while (size > 0 && memo.buffer[size - 1] == ' ') --size;
        return platform::ansiToUtf8(std::string(reinterpret_cast<const char*>(memo.buffer), size));
    }
    const std::uint8_t* data = memo.isBlob() ? (memo.blob ? memo.blob->data() : nullptr) : memo.buffer;
    const std::size_t size = memo.isBlob() ? (memo.blob ? memo.blob->size() : 0) : memo.size;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] < 0x20 && data[i] != '\t' && data[i] != '\n' && data[i] != '\r') return hex(data, size);
    return platform::ansiToUtf8(std::string(reinterpret_cast<const char*>(data), size));
}

bool storeFieldText(const FieldDeclaration& field, std::uint8_t* record, std::string_view utf8,
                    std::string* reason) {
    std::uint8_t* p = record + field.offset;
    const std::string_view text = trim(utf8);
    auto integer = [&](long long least, long long most, auto store) {
        long long v = 0;
        if (text.empty()) {
            store(0);
            return true;
        }
        if (!parseInteger(text, &v)) {
            *reason = "bad number " + quoted(text);
            return false;
        }
        if (v < least || v > most) {
            *reason = "number out of range: " + quoted(text) + " where " + field.label + " is " +
                      runtime::typeName(field.type);
            return false;
        }
        store(v);
        return true;
    };
    switch (field.type) {
    case TypeCode::Byte:
        return integer(0, 255, [&](long long v) { p[0] = static_cast<std::uint8_t>(v); });
    case TypeCode::Short:
        return integer(-32768, 32767,
                       [&](long long v) { runtime::writeU16(p, static_cast<std::uint16_t>(v)); });
    case TypeCode::UShort:
        return integer(0, 65535, [&](long long v) { runtime::writeU16(p, static_cast<std::uint16_t>(v)); });
    case TypeCode::Long:
        return integer(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                       [&](long long v) { runtime::writeU32(p, static_cast<std::uint32_t>(v)); });
    case TypeCode::ULong:
        return integer(0, 0xFFFFFFFFll,
                       [&](long long v) { runtime::writeU32(p, static_cast<std::uint32_t>(v)); });
    case TypeCode::SReal:
    case TypeCode::Real: {
        double v = 0;
        if (!text.empty() && !parseReal(text, &v)) {
            *reason = "bad number " + quoted(text);
            return false;
        }
        if (field.type == TypeCode::Real) {
            std::memcpy(p, &v, 8);
        } else {
            if (std::fabs(v) > std::numeric_limits<float>::max()) {
                *reason = "number out of range: " + quoted(text) + " where " + field.label + " is SREAL";
                return false;
            }
            const float f = static_cast<float>(v);
            std::memcpy(p, &f, 4);
        }
        return true;
    }
    case TypeCode::Decimal: {
        long double v = 0;
        if (!text.empty() && !parseDecimal(text, field, &v, reason)) return false;
        runtime::writeDecimal(p, field.size, field.places, v);
        return true;
    }
    case TypeCode::Date: {
        std::int32_t day = 0;
        if (!text.empty() && !parseDate(text, &day)) {
            *reason = "bad date " + quoted(text) + " (yyyy-mm-dd is needed)";
            return false;
        }
        runtime::writeU32(p, static_cast<std::uint32_t>(day));
        return true;
    }
    case TypeCode::Time: {
        std::int32_t time = 0;
        if (!text.empty() && !parseTime(text, &time)) {
            *reason = "bad time " + quoted(text) + " (hh:mm:ss is needed)";
            return false;
        }
        runtime::writeU32(p, static_cast<std::uint32_t>(time));
        return true;
    }
    case TypeCode::String:
    case TypeCode::CString:
    case TypeCode::PString: {
        // Strings keep their blanks: only the ends of numbers and dates are trimmed.
        const std::string ansi = platform::utf8ToAnsi(std::string(utf8));
        if (ansi.size() > textCapacity(field)) {
            *reason = "value too long: " + std::to_string(ansi.size()) + " characters where " + field.label +
                      " holds " + std::to_string(textCapacity(field));
            return false;
        }
        runtime::writeText(field.type, p, field.size, ansi);
        return true;
    }
    default:
        *reason = std::string("fields of type ") + runtime::typeName(field.type) + " cannot be imported";
        return false;
    }
}

bool storeMemoText(MemoDeclaration& memo, std::string_view utf8, std::string* reason) {
    const std::string ansi = platform::utf8ToAnsi(std::string(utf8));
    if (memo.isBlob()) {
        if (!memo.blob) return true;
        memo.blob->assign(ansi.begin(), ansi.end());
        return true;
    }
    if (ansi.size() > memo.size) {
        *reason = "value too long: " + std::to_string(ansi.size()) + " characters where " + memo.label +
                  " holds " + std::to_string(memo.size);
        return false;
    }
    std::memset(memo.buffer, ' ', memo.size);
    std::memcpy(memo.buffer, ansi.data(), ansi.size());
    return true;
}

} // namespace docket::qvn_tool
