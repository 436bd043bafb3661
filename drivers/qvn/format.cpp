#include "drivers/qvn/internal/format.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace docket::drivers::qvn {

void encodeHeader(const FileHeader& h, std::uint8_t* out) {
    std::memset(out, 0, kHeaderSize);
    put32(out + 0, h.ownAddress);
    put16(out + 4, h.ownSize);
    put32(out + 6, h.logStart);
    put32(out + 10, h.logEnd);
    std::memcpy(out + 14, kMagic, 4);
    put16(out + 18, h.zero);
    for (int i = 0; i < 4; ++i) out[20 + i] = static_cast<std::uint8_t>(h.lastNumber >> (24 - 8 * i));
    put32(out + 24, h.changeCounter);
    put32(out + 28, h.root);
    for (int c = 0; c < kClassSlots; ++c) {
        put32(out + 32 + 4 * c, h.first[c]);
        put32(out + 272 + 4 * c, h.end[c]);
    }
}

bool decodeHeader(const std::uint8_t* in, FileHeader* h) {
    if (std::memcmp(in + 14, kMagic, 4) != 0) return false;
    h->ownAddress = get32(in);
    h->ownSize = get16(in + 4);
    h->logStart = get32(in + 6);
    h->logEnd = get32(in + 10);
    h->zero = get16(in + 18);
    h->lastNumber =
        std::uint32_t{in[20]} << 24 | std::uint32_t{in[21]} << 16 | std::uint32_t{in[22]} << 8 | in[23];
    h->changeCounter = get32(in + 24);
    h->root = get32(in + 28);
    for (int c = 0; c < kClassSlots; ++c) {
        h->first[c] = get32(in + 32 + 4 * c);
        h->end[c] = get32(in + 272 + 4 * c);
    }
    return true;
}

std::uint64_t pageSpaceEnd(const FileHeader& h) {
    for (int c = kMaxClass; c >= 1; --c)
        if (h.end[c] > h.first[c]) return pageAddress(h.end[c]);
    return kHeaderSize;
}

bool hasPageSpace(const FileHeader& h) {
    for (int c = 1; c <= kMaxClass; ++c)
        if (h.end[c] > h.first[c]) return true;
    return false;
}

int classOfNumber(const FileHeader& h, std::uint32_t number) {
    for (int c = 1; c <= kMaxClass; ++c)
        if (number >= h.first[c] && number < h.end[c] && (number - h.first[c]) % c == 0) return c;
    return 0;
}

void encodeEntries(const std::vector<Entry>& entries, std::string* out) {
    const Entry* prev = nullptr;
    for (const Entry& e : entries) {
        std::size_t shared = 0;
        std::uint8_t flag = 0;
        if (prev == nullptr) {
            flag = 0xC0;
        } else {
            const std::size_t limit = std::min<std::size_t>({63, e.bytes.size(), prev->bytes.size()});
            while (shared < limit && e.bytes[shared] == prev->bytes[shared]) ++shared;
            if (e.bytes.size() != prev->bytes.size()) flag |= 0x80;
            if (e.keyLength != prev->keyLength) flag |= 0x40;
        }
        flag |= static_cast<std::uint8_t>(shared);
        out->push_back(static_cast<char>(flag));
        std::uint8_t len[2];
        if (flag & 0x80) {
            put16(len, static_cast<std::uint16_t>(e.bytes.size()));
            out->append(reinterpret_cast<const char*>(len), 2);
        }
        if (flag & 0x40) {
            put16(len, e.keyLength);
            out->append(reinterpret_cast<const char*>(len), 2);
        }
        out->append(e.bytes, shared, std::string::npos);
        prev = &e;
    }
}

int decodeEntrySpans(const std::uint8_t* data, std::size_t length, std::size_t count, PageBytes* buffer,
                     PageSpans* spans) {
    constexpr int kBad = 1602;
    spans->resize(count);
    std::size_t pos = 0, used = 0;
    std::size_t total = 0, keyLength = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (pos >= length) return kBad;
        const std::uint8_t flag = data[pos++];
        if (i == 0 && (flag & 0xC0) != 0xC0) return kBad;
        if (flag & 0x80) {
            if (length - pos < 2) return kBad;
            total = get16(data + pos);
            pos += 2;
        }
        if (flag & 0x40) {
            if (length - pos < 2) return kBad;
            keyLength = get16(data + pos);
            pos += 2;
        }
        const std::size_t shared = flag & 0x3F;
        if (keyLength > total || total > kMaxPageSize) return kBad;
        const std::size_t prevLength = i == 0 ? 0 : (*spans)[i - 1].length;
        if (shared > prevLength || shared > total) return kBad;
        const std::size_t rest = total - shared;
        if (length - pos < rest) return kBad;
        // The buffer grows by doubling; entries are found by offset, so growing moves nothing
        // that a span refers to.
        if (buffer->size() < used + total) buffer->resize(std::max(used + total, 2 * buffer->size()));
        char* at = buffer->data() + used;
        // The shared bytes come from the entry before, which lies wholly before this one.
        if (shared != 0) std::memcpy(at, buffer->data() + (*spans)[i - 1].offset, shared);
        if (rest != 0) std::memcpy(at + shared, data + pos, rest);
        EntrySpan& span = (*spans)[i];
        span.offset = static_cast<std::uint32_t>(used);
        span.length = static_cast<std::uint16_t>(total);
        span.keyLength = static_cast<std::uint16_t>(keyLength);
        used += total;
        pos += rest;
    }
    return pos == length ? 0 : kBad;
}

namespace {

// Entries of their own from decoded spans. The vector's entries are overwritten in place: a
// reused vector keeps its strings' storage.
void copySpans(const PageBytes& buffer, const PageSpans& spans, std::vector<Entry>* out) {
    out->resize(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        (*out)[i].bytes.assign(buffer.data() + spans[i].offset, spans[i].length);
        (*out)[i].keyLength = spans[i].keyLength;
    }
}

} // namespace

int decodeEntries(const std::uint8_t* data, std::size_t length, std::size_t count, std::vector<Entry>* out) {
    thread_local PageBytes buffer;
    thread_local PageSpans spans;
    const int fault = decodeEntrySpans(data, length, count, &buffer, &spans);
    if (fault == 0) copySpans(buffer, spans, out);
    return fault;
}

void appendCount(std::size_t count, std::string* out) {
    while (count >= 0x80) {
        out->push_back(static_cast<char>(0x80 | (count & 0x7F)));
        count >>= 7;
    }
    out->push_back(static_cast<char>(count));
}

namespace {

// The first position from `from` on where four equal bytes begin, or `length`. Every window of
// eight bytes is compared with the same window one byte on, so each byte of the difference that
// is zero marks an equal neighbour; three such marks in a row are a run of four. The window moves
// by six bytes, the starts it can test in full; the last few starts are tested byte by byte.
std::size_t findRun(const std::uint8_t* data, std::size_t length, std::size_t from) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    std::size_t i = from;
    for (; i + 9 <= length; i += 6) {
        std::uint64_t here, next;
        std::memcpy(&here, data + i, 8);
        std::memcpy(&next, data + i + 1, 8);
        if constexpr (std::endian::native == std::endian::big) {
            here = __builtin_bswap64(here);
            next = __builtin_bswap64(next);
        }
        const std::uint64_t diff = here ^ next;
        // The top bit of each byte that is zero in diff (exact: no borrow crosses the bytes).
        const std::uint64_t zero = ~(((diff & kLow7) + kLow7) | diff | kLow7);
        const std::uint64_t starts = zero & (zero >> 8) & (zero >> 16) & 0x0000808080808080ull;
        if (starts != 0) return i + static_cast<std::size_t>(std::countr_zero(starts)) / 8;
    }
    for (; i + 4 <= length; ++i)
        if (data[i] == data[i + 1] && data[i] == data[i + 2] && data[i] == data[i + 3]) return i;
    return length;
}

} // namespace

// The first four equal bytes found from the end of the last run on begin a maximal run (the byte
// before them differs, or the last run would have taken it), so runs are taken exactly where a
// byte-by-byte scan of maximal runs takes them.
void rleCompress(const std::uint8_t* data, std::size_t length, std::string* out) {
    std::size_t literalStart = 0;
    for (;;) {
        const std::size_t start = findRun(data, length, literalStart);
        if (start == length) break;
        std::size_t end = start + 4;
        while (end < length && data[end] == data[start]) ++end;
        // The run's first byte closes the literal group; the repeat count covers the rest.
        appendCount(start + 1 - literalStart, out);
        out->append(reinterpret_cast<const char*>(data + literalStart), start + 1 - literalStart);
        appendCount(end - start - 1, out);
        literalStart = end;
    }
    appendCount(length - literalStart, out);
    out->append(reinterpret_cast<const char*>(data + literalStart), length - literalStart);
}

namespace {

// Reads a count of at most four 7-bit groups; false when the input ends or the count is absurd.
bool readCount(const std::uint8_t* data, std::size_t length, std::size_t* pos, std::size_t* count) {
    std::size_t value = 0;
    for (int shift = 0; shift < 28; shift += 7) {
        if (*pos >= length) return false;
        const std::uint8_t b = data[(*pos)++];
        value |= std::size_t{b & 0x7Fu} << shift;
        if ((b & 0x80) == 0) {
            *count = value;
            return true;
        }
    }
    return false;
}

} // namespace

int rleExpand(const std::uint8_t* data, std::size_t length, std::uint8_t* out, std::size_t outLength) {
    std::size_t in = 0, done = 0;
    for (;;) {
        std::size_t literal = 0;
        if (!readCount(data, length, &in, &literal)) return done == outLength ? 0 : 1602;
        if (literal > outLength - done) return 522;
        if (literal > length - in) return 1602;
        if (literal) std::memcpy(out + done, data + in, literal);
        in += literal;
        done += literal;
        if (done == outLength) return 0;
        std::size_t repeat = 0;
        if (!readCount(data, length, &in, &repeat)) return 1602;
        if (repeat > outLength - done || (repeat != 0 && done == 0)) return 530;
        if (repeat != 0) std::memset(out + done, out[done - 1], repeat);
        done += repeat;
    }
}

std::size_t fullSize(const std::vector<Entry>& entries) {
    std::size_t total = 0;
    for (const Entry& e : entries) total += e.bytes.size();
    return total;
}

int encodePage(const PageImage& page, std::uint32_t number, EncodedPage* out) {
    return encodePage(page.level, page.entries, page.children, number, out);
}

int encodePage(std::uint8_t level, const std::vector<Entry>& entries,
               const std::vector<std::uint32_t>& children, std::uint32_t number, EncodedPage* out) {
    const bool interior = level != 0;
    const std::size_t count = entries.size();
    const std::size_t full = fullSize(entries);
    // Scratch space that lives on between pages: a commit encodes many.
    thread_local std::string body, packed;
    body.clear();
    packed.clear();
    encodeEntries(entries, &body);
    const std::size_t childBytes = interior ? 4 * count : 0;
    const std::size_t unpacked = kPageHeaderSize + childBytes + body.size();
    if (unpacked > kPageHeaderSize + childBytes + full + kEntryOverhead * count) return 1659;

    rleCompress(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), &packed);
    const std::size_t packedSize = kPageHeaderSize + childBytes + packed.size();
    const bool compress = roundUp(packedSize, kPageUnit) < roundUp(unpacked, kPageUnit);
    const std::size_t stored = compress ? packedSize : unpacked;
    if (roundUp(stored, kPageUnit) > kMaxPageSize || stored == 0 || full > 0xFFFF || count > 0xFFFF)
        return 1678;

    out->pageClass = static_cast<int>(roundUp(stored, kPageUnit) / kPageUnit);
    out->storedSize = stored;
    out->unpackedSize = unpacked;
    out->bytes.assign(out->pageClass * kPageUnit, static_cast<char>(kPadByte));
    auto* p = reinterpret_cast<std::uint8_t*>(out->bytes.data());
    put16(p + 4, static_cast<std::uint16_t>(stored));
    put16(p + 6, static_cast<std::uint16_t>(unpacked));
    put16(p + 8, static_cast<std::uint16_t>(full));
    put16(p + 10, static_cast<std::uint16_t>(count));
    p[12] = level;
    setPageNumbers(number, interior ? children.data() : nullptr, count, out);
    const std::string& image = compress ? packed : body;
    std::memcpy(p + kPageHeaderSize + childBytes, image.data(), image.size());
    return 0;
}

void setPageNumbers(std::uint32_t number, const std::uint32_t* children, std::size_t count,
                    EncodedPage* page) {
    auto* p = reinterpret_cast<std::uint8_t*>(page->bytes.data());
    put32(p, static_cast<std::uint32_t>(pageAddress(number)));
    if (children != nullptr)
        for (std::size_t i = 0; i < count; ++i) put32(p + kPageHeaderSize + 4 * i, children[i]);
}

int estimateClass(const PageImage& page) {
    const std::size_t bytes = kPageHeaderSize + (page.level != 0 ? 4 : 0) * page.entries.size() +
                              fullSize(page.entries) + kEntryOverhead * page.entries.size();
    return static_cast<int>(std::min<std::size_t>(kMaxClass, roundUp(bytes, kPageUnit) / kPageUnit));
}

std::uint16_t storedSizeOf(const std::uint8_t* image) {
    return get16(image + 4);
}
std::uint32_t ownAddressOf(const std::uint8_t* image) {
    return get32(image);
}

int decodePage(const std::uint8_t* data, std::size_t classBytes, std::uint32_t number, FlatPage* out) {
    if (classBytes < kPageUnit || classBytes > kMaxPageSize) return 1477;
    const std::size_t stored = get16(data + 4);
    const std::size_t unpacked = get16(data + 6);
    const std::size_t full = get16(data + 8);
    const std::size_t count = get16(data + 10);
    const std::uint8_t level = data[12];
    if (get32(data) != pageAddress(number) || stored > classBytes || stored < kPageHeaderSize ||
        unpacked > kMaxPageSize + 0x1000 || stored > unpacked)
        return 1477;
    const std::size_t childBytes = level != 0 ? 4 * count : 0;
    if (kPageHeaderSize + childBytes > stored || (level != 0 && count == 0)) return 1602;
    out->level = level;
    out->children.resize(level != 0 ? count : 0);
    for (std::size_t i = 0; i < out->children.size(); ++i)
        out->children[i] = get32(data + kPageHeaderSize + 4 * i);
    const std::size_t bodyStart = kPageHeaderSize + childBytes;
    const std::size_t bodyLength = unpacked - bodyStart;
    // The entries take `full` bytes (a damaged header is found below): sized once, the buffer
    // does not grow entry by entry.
    if (out->buffer.size() < full) out->buffer.resize(full);
    int fault = 0;
    if (stored < unpacked) {
        // The expanded body is only a step on the way to the entries; its buffer is reused.
        thread_local std::vector<std::uint8_t> body;
        if (body.size() < bodyLength) body.resize(bodyLength);
        fault = rleExpand(data + bodyStart, stored - bodyStart, body.data(), bodyLength);
        if (fault == 0) fault = decodeEntrySpans(body.data(), bodyLength, count, &out->buffer, &out->spans);
    } else {
        fault = decodeEntrySpans(data + bodyStart, bodyLength, count, &out->buffer, &out->spans);
    }
    if (fault != 0) return fault;
    std::size_t sum = 0;
    for (const EntrySpan& span : out->spans) sum += span.length;
    if (sum != full) return 1602;
    if (level != 0 && out->spans[0].length != 0) return 1602;
    return 0;
}

int decodePage(const std::uint8_t* data, std::size_t classBytes, std::uint32_t number, PageImage* out) {
    thread_local FlatPage flat;
    const int fault = decodePage(data, classBytes, number, &flat);
    if (fault != 0) return fault;
    out->level = flat.level;
    out->children = flat.children;
    copySpans(flat.buffer, flat.spans, &out->entries);
    return 0;
}

} // namespace docket::drivers::qvn
