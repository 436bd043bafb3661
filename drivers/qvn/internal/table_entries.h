#pragma once
// The key parts of a table's entries. Every entry of a table begins with the table number (4 bytes
// big-endian) and its kind, so all entries of a table lie together: keys (kinds 0..242, key k
// numbered from 0 in declaration order), data records (0xF3), counters (0xF6), definition blocks
// (0xFA), the collation entry (0xFB) and memo segments (0xFC). Table-name entries (0xFE) and the
// transaction marker (0xFF) have no table number in front.
//
// Widths the layout leaves open are little-endian, as in the header: the record number in a key
// entry's data part, the two counter numbers, the table number in a table-name entry.
#include <cstdint>
#include <string>
#include <string_view>

namespace docket::drivers::qvn {

inline constexpr std::uint8_t kKindData = 0xF3;
inline constexpr std::uint8_t kKindCounter = 0xF6;
inline constexpr std::uint8_t kKindDefinition = 0xFA;
inline constexpr std::uint8_t kKindCollation = 0xFB;
inline constexpr std::uint8_t kKindMemo = 0xFC;
inline constexpr std::uint8_t kKindName = 0xFE;
inline constexpr std::uint8_t kKindMarker = 0xFF;
inline constexpr int kMaxKeys = 243; // kinds 0..242

inline void appendBig32(std::string* out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}
inline void appendLittle32(std::string* out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(v >> shift));
}
inline std::uint32_t readBig32(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(s[at + i]);
    return v;
}
inline std::uint32_t readLittle32(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

// Table number and kind: the common prefix of a table's entries of one kind.
inline std::string kindPrefix(std::uint32_t table, std::uint8_t kind) {
    std::string out;
    appendBig32(&out, table);
    out.push_back(static_cast<char>(kind));
    return out;
}
inline std::string tablePrefix(std::uint32_t table) {
    std::string out;
    appendBig32(&out, table);
    return out;
}
inline std::string dataKey(std::uint32_t table, std::uint32_t record) {
    std::string out = kindPrefix(table, kKindData);
    appendBig32(&out, record);
    return out;
}
// `which` is kKindData for the data counter or the key's number.
inline std::string counterKey(std::uint32_t table, std::uint8_t which) {
    std::string out = kindPrefix(table, kKindCounter);
    out.push_back(static_cast<char>(which));
    return out;
}
inline std::string definitionKey(std::uint32_t table, std::uint16_t block) {
    std::string out = kindPrefix(table, kKindDefinition);
    out.push_back(static_cast<char>(block & 0xFF));
    out.push_back(static_cast<char>(block >> 8));
    return out;
}
inline std::string collationKey(std::uint32_t table) {
    std::string out = kindPrefix(table, kKindCollation);
    out.push_back('\1');
    return out;
}
// The common prefix of every memo segment of a record.
inline std::string recordMemosPrefix(std::uint32_t table, std::uint32_t record) {
    std::string out = kindPrefix(table, kKindMemo);
    appendBig32(&out, record);
    return out;
}
inline std::string memoPrefix(std::uint32_t table, std::uint32_t record, std::uint8_t memo) {
    std::string out = recordMemosPrefix(table, record);
    out.push_back(static_cast<char>(memo));
    return out;
}
inline std::string memoKey(std::uint32_t table, std::uint32_t record, std::uint8_t memo,
                           std::uint16_t segment) {
    std::string out = memoPrefix(table, record, memo);
    out.push_back(static_cast<char>(segment >> 8));
    out.push_back(static_cast<char>(segment & 0xFF));
    return out;
}
inline std::string nameKey(std::string_view name) {
    std::string out(1, static_cast<char>(kKindName));
    out.append(name);
    return out;
}

inline bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace docket::drivers::qvn
