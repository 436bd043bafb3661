// Memos and BLOBs of a record, in segments of 256 content bytes: segment j of memo m of record r is
// the entry (table, 0xFC, r, m, j). A BLOB's segment 0 begins with its total length (4 bytes,
// little-endian). Only segments whose bytes changed are written, so a PUT of an unchanged memo
// writes nothing.
#include <cstring>
#include <new>

#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/table_entries.h"
#include "platform/charset.h"

namespace docket::drivers::qvn {
namespace {

constexpr std::size_t kSegment = 256;
constexpr std::size_t kMaxSegments = 0x10000;

} // namespace

std::vector<std::uint8_t>* QvnTable::blob(std::size_t memo) {
    if (memo >= declaration_->memos.size() || !declaration_->memos[memo].isBlob()) return nullptr;
    return declaration_->memos[memo].blob;
}

std::string QvnTable::memoContent(std::size_t memo) const {
    const MemoDeclaration& m = declaration_->memos[memo];
    if (m.isBlob()) return m.blob ? std::string(m.blob->begin(), m.blob->end()) : std::string();
    if (!m.buffer) return {};
    std::size_t length = m.size;
    while (length > 0 && m.buffer[length - 1] == ' ') --length;
    return std::string(reinterpret_cast<const char*>(m.buffer), length);
}

int QvnTable::writeMemos(std::uint32_t record) {
    for (std::size_t m = 0; m < declaration_->memos.size(); ++m) {
        const MemoDeclaration& memo = declaration_->memos[m];
        if (memo.isBlob() ? !memo.blob : !memo.buffer) continue; // no buffer: nothing to store
        std::string content = memoContent(m);
        if (oem_ && !memo.isBinary()) platform::ansiToOem(content.data(), content.size());
        const std::size_t segments = (content.size() + kSegment - 1) / kSegment;
        if (segments > kMaxSegments) return 47; // the segment number has 16 bits
        const auto number = static_cast<std::uint8_t>(m);
        for (std::size_t j = 0; j < segments; ++j) {
            std::string data;
            if (memo.isBlob() && j == 0) {
                std::string length;
                for (int shift = 0; shift < 32; shift += 8)
                    length.push_back(static_cast<char>(content.size() >> shift));
                data = length;
            }
            data.append(content, j * kSegment, kSegment);
            const std::string key = memoKey(number_, record, number, static_cast<std::uint16_t>(j));
            Entry old;
            bool found = false, existed = false;
            if (int rc = file_->find(key, &old, &found)) return rc;
            if (found && std::string_view(old.bytes).substr(old.keyLength) == data) continue;
            Entry entry{key + data, static_cast<std::uint16_t>(key.size())};
            if (int rc = file_->replace(entry, &existed)) return rc;
        }
        // Segments past the new last one.
        const std::string prefix = memoPrefix(number_, record, number);
        for (;;) {
            Entry e;
            bool found = false, existed = false;
            const std::string from = memoKey(number_, record, number, static_cast<std::uint16_t>(segments));
            if (segments == kMaxSegments) break;
            if (int rc = file_->seekForward(from, false, &e, &found)) return rc;
            if (!found || !startsWith(e.key(), prefix)) break;
            if (int rc = file_->erase(std::string(e.key()), &existed)) return rc;
        }
    }
    return 0;
}

int QvnTable::readMemos(std::uint32_t record) {
    for (std::size_t m = 0; m < declaration_->memos.size(); ++m) {
        MemoDeclaration& memo = declaration_->memos[m];
        if (memo.isBlob() ? !memo.blob : !memo.buffer) continue;
        const std::string prefix = memoPrefix(number_, record, static_cast<std::uint8_t>(m));
        std::string content;
        std::string from = prefix;
        bool strict = false;
        try {
            for (;;) {
                Entry e;
                bool found = false;
                if (int rc = file_->seekForward(from, strict, &e, &found)) return rc;
                if (!found || !startsWith(e.key(), prefix)) break;
                content.append(e.bytes, e.keyLength);
                from = std::string(e.key());
                strict = true;
            }
            if (memo.isBlob()) {
                std::size_t length = 0;
                if (content.size() >= 4) {
                    length = readLittle32(content, 0);
                    content.erase(0, 4);
                } else {
                    content.clear();
                }
                // A damaged length never reaches past the stored bytes.
                if (length < content.size()) content.resize(length);
                if (oem_ && !memo.isBinary()) platform::oemToAnsi(content.data(), content.size());
                memo.blob->assign(content.begin(), content.end());
                continue;
            }
        } catch (const std::bad_alloc&) {
            return 8;
        }
        if (oem_ && !memo.isBinary()) platform::oemToAnsi(content.data(), content.size());
        const std::size_t copied = std::min<std::size_t>(content.size(), memo.size);
        std::memcpy(memo.buffer, content.data(), copied);
        std::memset(memo.buffer + copied, ' ', memo.size - copied);
    }
    return 0;
}

int QvnTable::deleteMemos(std::uint32_t record) {
    std::string prefix = kindPrefix(number_, kKindMemo);
    appendBig32(&prefix, record);
    for (;;) {
        Entry e;
        bool found = false, existed = false;
        if (int rc = file_->seekForward(prefix, false, &e, &found)) return rc;
        if (!found || !startsWith(e.key(), prefix)) return 0;
        if (int rc = file_->erase(std::string(e.key()), &existed)) return rc;
    }
}

} // namespace docket::drivers::qvn
