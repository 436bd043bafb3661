#include "files/internal/view_sort.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace docket::runtime {

SortEntry sortEntry(std::vector<OrderComponent>& order, std::uint32_t record) {
    SortEntry e;
    e.record = record;
    e.values.reserve(order.size());
    for (auto& c : order) {
        SortValue v;
        v.kind = c.expression->kind();
        if (v.kind == ValueKind::Real)
            v.real = c.expression->realValue();
        else if (v.kind == ValueKind::String)
            v.text = std::string(c.expression->textValue());
        else
            v.integer = c.expression->integerValue();
        e.values.push_back(std::move(v));
    }
    return e;
}

int compareEntries(const std::vector<OrderComponent>& order, const SortEntry& a, const SortEntry& b) {
    for (std::size_t i = 0; i < order.size() && i < a.values.size() && i < b.values.size(); ++i) {
        const SortValue& x = a.values[i];
        const SortValue& y = b.values[i];
        int c = 0;
        if (x.kind == ValueKind::String && y.kind == ValueKind::String)
            c = compareTexts(x.text, y.text);
        else if (x.kind == ValueKind::Real || y.kind == ValueKind::Real)
            c = compareReals(x.kind == ValueKind::Real ? x.real : double(x.integer),
                             y.kind == ValueKind::Real ? y.real : double(y.integer));
        else
            c = compareIntegers(x.integer, y.integer);
        if (c) return order[i].descending ? -c : c;
    }
    return a.record < b.record ? -1 : a.record > b.record ? 1 : 0;
}

std::string encodeSortPosition(const SortEntry& entry) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "S";
    char buffer[40];
    for (const SortValue& v : entry.values) {
        if (v.kind == ValueKind::String) {
            out += 'T';
            for (unsigned char c : v.text) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        } else if (v.kind == ValueKind::Real) {
            std::snprintf(buffer, sizeof buffer, "R%.17g", v.real);
            out += buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, "I%lld", static_cast<long long>(v.integer));
            out += buffer;
        }
        out += ';';
    }
    std::snprintf(buffer, sizeof buffer, "#%u", entry.record);
    return out + buffer;
}

bool decodeSortPosition(const std::string& text, std::size_t components, SortEntry* out) {
    if (text.empty() || text[0] != 'S') return false;
    SortEntry e;
    std::size_t at = 1;
    for (std::size_t i = 0; i < components; ++i) {
        const std::size_t end = text.find(';', at);
        if (end == std::string::npos || end == at) return false;
        const char kind = text[at];
        const std::string body = text.substr(at + 1, end - at - 1);
        SortValue v;
        if (kind == 'T') {
            if (body.size() % 2) return false;
            for (std::size_t k = 0; k < body.size(); k += 2) {
                auto digit = [](char c) {
                    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
                };
                const int hi = digit(body[k]), lo = digit(body[k + 1]);
                if (hi < 0 || lo < 0) return false;
                v.text += static_cast<char>(hi * 16 + lo);
            }
            v.kind = ValueKind::String;
        } else if (kind == 'R' || kind == 'I') {
            if (body.empty()) return false;
            char* stop = nullptr;
            errno = 0;
            if (kind == 'R') {
                v.kind = ValueKind::Real;
                v.real = std::strtod(body.c_str(), &stop);
            } else {
                v.integer = std::strtoll(body.c_str(), &stop, 10);
            }
            if (*stop || errno) return false;
        } else {
            return false;
        }
        e.values.push_back(std::move(v));
        at = end + 1;
    }
    if (at >= text.size() || text[at] != '#' || at + 1 == text.size()) return false;
    for (std::size_t k = at + 1; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    const unsigned long long record = std::strtoull(text.c_str() + at + 1, nullptr, 10);
    if (record == 0 || record > 0xFFFFFFFFull || text.size() - at > 11) return false;
    e.record = static_cast<std::uint32_t>(record);
    *out = std::move(e);
    return true;
}

} // namespace docket::runtime
