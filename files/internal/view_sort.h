#pragma once
// Reading a view in an order no key gives: the passing records of the primary table are read
// once, their order values kept with their record pointers and sorted, and the view then pages
// through that list. Ties are broken by record pointer, ascending. A position in such a list is
// the record's order values and pointer, so it finds its place again after the list was read anew.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/core/value.h"
#include "files/internal/view_order.h"

namespace docket::runtime {

struct SortValue {
    ValueKind kind = ValueKind::Integer;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string text;
};

struct SortEntry {
    std::vector<SortValue> values;
    std::uint32_t record = 0;
};

// The values of the order's components for the record in the buffers.
SortEntry sortEntry(std::vector<OrderComponent>& order, std::uint32_t record);

// <0, 0, >0 as `a` comes before, with, after `b` in the order.
int compareEntries(const std::vector<OrderComponent>& order, const SortEntry& a, const SortEntry& b);

// "S" and per component its kind letter and value (integers and reals in decimal, texts in
// hexadecimal) each followed by ";", then "#" and the record pointer in decimal.
std::string encodeSortPosition(const SortEntry& entry);
// False for a text that is not such a position of `components` components.
bool decodeSortPosition(const std::string& text, std::size_t components, SortEntry* out);

} // namespace docket::runtime
