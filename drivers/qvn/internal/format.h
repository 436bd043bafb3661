#pragma once
// The byte layout of a native file: the 512-byte header, page numbers and size classes, the page
// image with its prefix-compressed entries and its run-length compressed body. Everything here is
// pure encoding and decoding; decoders check every length against the bytes they were given and
// report a damaged image by the number of its check point instead of reading past it.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/qvn/internal/page_memory.h"

namespace docket::drivers::qvn {

inline constexpr std::size_t kIoUnit = 64;
inline constexpr std::size_t kPageUnit = 256;
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr int kClassSlots = 60; // classes 0..59; class 0 is never used
inline constexpr int kMaxClass = 59;
inline constexpr std::size_t kMaxPageSize = kMaxClass * kPageUnit; // 15104
inline constexpr std::size_t kPageHeaderSize = 13;
inline constexpr std::uint8_t kPadByte = 0xB0;

// The longest entry the tree accepts. An entry must fit, with its own and the empty entry's flag
// and length bytes and two child numbers, into the largest page (15104 - 13 - 8 - 5 - 5);
// anything longer could produce a page that cannot be stored at all.
inline constexpr std::size_t kMaxEntryLength = 15073;

// Worst-case bytes that prefix compression adds to an entry (flag and two lengths).
inline constexpr std::size_t kEntryOverhead = 5;

inline constexpr std::uint64_t pageAddress(std::uint32_t number) {
    return std::uint64_t{number} * kPageUnit + kHeaderSize;
}
inline constexpr std::size_t roundUp(std::size_t n, std::size_t unit) {
    return (n + unit - 1) / unit * unit;
}

struct FileHeader {
    std::uint32_t ownAddress = 0;
    std::uint16_t ownSize = kHeaderSize;
    std::uint32_t logStart = 0;
    std::uint32_t logEnd = 0;
    std::uint16_t zero = 0;
    std::uint32_t lastNumber = 0; // stored big-endian
    std::uint32_t changeCounter = 0;
    std::uint32_t root = 0;
    std::array<std::uint32_t, kClassSlots> first{};
    std::array<std::uint32_t, kClassSlots> end{};
};

inline constexpr char kMagic[4] = {'q', 'U', 'o', 'R'};

void encodeHeader(const FileHeader& header, std::uint8_t* out512);
// False when the magic differs.
bool decodeHeader(const std::uint8_t* in512, FileHeader* header);

// Byte offset just past the highest non-empty class range (512 for a file without pages).
std::uint64_t pageSpaceEnd(const FileHeader& header);
// Whether any class range holds a page (pageSpaceEnd beyond the header), found from the small
// classes up, where pages are most often.
bool hasPageSpace(const FileHeader& header);
// The class whose range holds `number`, or 0 when none does.
int classOfNumber(const FileHeader& header, std::uint32_t number);

// An entry: the key part is its first keyLength bytes and alone decides its place in the order.
struct Entry {
    std::string bytes;
    std::uint16_t keyLength = 0;
    std::string_view key() const { return std::string_view(bytes).substr(0, keyLength); }
    std::string_view data() const { return std::string_view(bytes).substr(keyLength); }
};

// The eight bytes at `at` as a number, the first the highest: two such numbers compare as the bytes
// do in unsigned byte order.
inline std::uint64_t bigEndian64(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
}

// Unsigned byte order over the shorter length, the shorter first when those bytes agree.
// Keys are short (a few prefix bytes and a value or two), and a search compares them on every step
// through a changed page: eight bytes at a time here, which a call of memcmp costs more than.
inline int compareKeys(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t x = bigEndian64(a.data() + i), y = bigEndian64(b.data() + i);
        if (x != y) return x < y ? -1 : 1;
    }
    for (; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// An entry of a page read from the file, kept where it was decoded to: `length` bytes at
// `offset` of the page's buffer of entries, the first `keyLength` of them its key part.
struct EntrySpan {
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    std::uint16_t keyLength = 0;
};
using PageSpans = std::vector<EntrySpan, PageAllocator<EntrySpan>>;

// Prefix compression of a page's entries (appended to `out`).
void encodeEntries(const std::vector<Entry>& entries, std::string* out);
// Decodes exactly `count` entries that must use up all `length` bytes, back to back into
// `buffer` (grown as needed, never shrunk: a reused buffer allocates nothing) and described by
// `spans`; 0 or 1602. After a fault the content of both is unspecified.
int decodeEntrySpans(const std::uint8_t* data, std::size_t length, std::size_t count, PageBytes* buffer,
                     PageSpans* spans);
// The same into entries of their own. The entries of `out` are overwritten in place (their
// storage is reused).
int decodeEntries(const std::uint8_t* data, std::size_t length, std::size_t count, std::vector<Entry>* out);

// Run-length compression of a page body (appended to `out`).
void rleCompress(const std::uint8_t* data, std::size_t length, std::string* out);
// Expands into exactly `outLength` bytes: 0, 522 (a literal count overruns), 530 (a repeat
// overruns) or 1602 (the input ends before the output is complete).
int rleExpand(const std::uint8_t* data, std::size_t length, std::uint8_t* out, std::size_t outLength);
void appendCount(std::size_t count, std::string* out);

struct PageImage {
    std::uint8_t level = 0;
    std::vector<Entry> entries;
    std::vector<std::uint32_t> children; // interior pages: one per entry
};

// A decoded page whose entries stay in one buffer, as a page read for searching needs them.
struct FlatPage {
    std::uint8_t level = 0;
    PageBytes buffer;
    PageSpans spans;
    std::vector<std::uint32_t> children; // interior pages: one per entry
};

struct EncodedPage {
    std::string bytes; // stored image padded to the class size
    int pageClass = 0;
    std::size_t storedSize = 0;
    std::size_t unpackedSize = 0;
};

// Sum of the entries' full lengths.
std::size_t fullSize(const std::vector<Entry>& entries);

// Encodes a page for `number`. 0, or the check point 1659 or 1678 (the page would need 15105 bytes
// or more).
int encodePage(const PageImage& page, std::uint32_t number, EncodedPage* out);
// The same from a page's parts, without copying them into a PageImage.
int encodePage(std::uint8_t level, const std::vector<Entry>& entries,
               const std::vector<std::uint32_t>& children, std::uint32_t number, EncodedPage* out);
// Rewrites the parts of an encoded page that depend on page numbers: its own address and, for an
// interior page (`children` not null), the child numbers. Nothing else in the image changes when
// pages move, so a page encoded before a move is patched instead of encoded again.
void setPageNumbers(std::uint32_t number, const std::uint32_t* children, std::size_t count,
                    EncodedPage* page);

// The class a page would need without encoding it fully: used to size new pages.
int estimateClass(const PageImage& page);

// Reads the stored size of a page image's header (first bytes), for walking a log.
std::uint16_t storedSizeOf(const std::uint8_t* image);
std::uint32_t ownAddressOf(const std::uint8_t* image);

// Decodes a stored page of `classBytes` bytes that must belong at `number`. 0, or the check point
// of the first fault found: 1477 (own address, sizes or count do not fit the class), 522/530
// (expansion overruns), 1602 (the entries do not decode to the unpacked size, or the header's
// fields disagree with them).
int decodePage(const std::uint8_t* data, std::size_t classBytes, std::uint32_t number, PageImage* out);
// The same, keeping the entries in one buffer. The parts of `out` are reused.
int decodePage(const std::uint8_t* data, std::size_t classBytes, std::uint32_t number, FlatPage* out);

// Little-endian helpers.
inline std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace docket::drivers::qvn
