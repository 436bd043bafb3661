// Memos and BLOBs of a record, in segments of 256 content bytes: segment j of memo m of record r is
// the entry (table, 0xFC, r, m, j). A BLOB's segment 0 begins with its total length (4 bytes,
// little-endian). Only segments whose bytes changed are written, so a PUT of an unchanged memo
// writes nothing.
//
// A record's segments lie together in key order, memo after memo, so reading, comparing and
// deleting them is one walk of an EntryCursor from the record's first segment on.
//
// What a read, ADD or PUT left stored is kept per memo (the snapshot: the content as stored,
// after the OEM conversion), together with the state of the tree it was taken in (memosSeen_). A
// PUT whose memo equals its snapshot leaves that memo's segments alone without looking at them,
// but only while nothing can have changed them since: the tree has not changed in this process,
// no station committed (the header's change counter), and the pages changed but not committed are
// still there (a discarded change would otherwise bring older segments back). In any other case
// the PUT compares the stored segments with the buffer as it writes.
#include <array>
#include <cstring>
#include <new>

#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "platform/charset.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

constexpr std::size_t kSegment = 256;
constexpr std::size_t kMaxSegments = 0x10000;
constexpr std::size_t kBlobLength = 4;
// Snapshots above this size are not kept (only a BLOB can be that long): such a memo is compared
// with its stored segments at every PUT instead of being held twice in memory.
constexpr std::size_t kSnapshotLimit = 0x10000;

// The length of a MEMO buffer without its trailing spaces. A memo buffer is mostly spaces (it is
// declared for the longest text), so they are passed over in blocks compared with memcmp.
std::size_t trimmedLength(const std::uint8_t* p, std::size_t n) {
    constexpr std::size_t kBlock = 256;
    static const std::array<std::uint8_t, kBlock> spaces = [] {
        std::array<std::uint8_t, kBlock> block;
        block.fill(' ');
        return block;
    }();
    while (n >= kBlock && std::memcmp(p + n - kBlock, spaces.data(), kBlock) == 0) n -= kBlock;
    constexpr std::uint64_t kSpaces = 0x2020202020202020ull;
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p + n - 8, 8);
        if (word != kSpaces) break;
        n -= 8;
    }
    while (n > 0 && p[n - 1] == ' ') --n;
    return n;
}

std::uint16_t segmentOf(std::string_view key) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(key[key.size() - 2]) << 8 |
                                      static_cast<std::uint8_t>(key[key.size() - 1]));
}

} // namespace

std::vector<std::uint8_t>* QvnTable::blob(std::size_t memo) {
    if (memo >= declaration_->memos.size() || !declaration_->memos[memo].isBlob()) return nullptr;
    return declaration_->memos[memo].blob;
}

std::string_view QvnTable::storedContent(std::size_t memo, std::string* scratch) const {
    const MemoDeclaration& m = declaration_->memos[memo];
    std::string_view content;
    if (m.isBlob()) {
        if (m.blob) content = std::string_view(reinterpret_cast<const char*>(m.blob->data()), m.blob->size());
    } else if (m.buffer) {
        content = std::string_view(reinterpret_cast<const char*>(m.buffer), trimmedLength(m.buffer, m.size));
    }
    if (!oem_ || m.isBinary() || content.empty()) return content;
    scratch->assign(content);
    platform::ansiToOem(scratch->data(), scratch->size());
    return *scratch;
}

QvnTable::TreeState QvnTable::treeState() const {
    return TreeState{file_->tree().changes(), file_->header().changeCounter, file_->store().hasChanges()};
}

// Makes the stored segments of memo `number` of `record` those of `content`: a segment whose bytes
// are equal is left alone, a different one replaced, a missing one inserted, and every other entry
// under the memo's key prefix (segments past the new last one, or keys of a wrong length) erased.
int QvnTable::writeSegments(EntryCursor& cursor, std::uint32_t record, std::uint8_t number, bool isBlob,
                            std::string_view content) {
    const std::size_t segments = (content.size() + kSegment - 1) / kSegment;
    std::string blobLength;
    if (isBlob) appendLittle32(&blobLength, static_cast<std::uint32_t>(content.size()));
    auto body = [&](std::size_t j) { return content.substr(j * kSegment, kSegment); };
    auto equals = [&](std::size_t j, std::string_view data) {
        if (!isBlob || j != 0) return data == body(j);
        return data.size() == kBlobLength + body(0).size() && data.substr(0, kBlobLength) == blobLength &&
               data.substr(kBlobLength) == body(0);
    };
    auto piece = [&](std::size_t j) {
        std::string data = isBlob && j == 0 ? blobLength : std::string();
        data.append(body(j));
        return data;
    };

    const std::string prefix = memoPrefix(number_, record, number);
    std::vector<std::size_t> missing;
    std::vector<std::string> stray;
    std::size_t expected = 0;
    if (int rc = cursor.seek(prefix, false)) return rc;
    while (cursor.valid() && startsWith(cursor.key(), prefix)) {
        const std::string_view key = cursor.key();
        const std::size_t s = key.size() == prefix.size() + 2 ? segmentOf(key) : kMaxSegments;
        if (s < segments) {
            // Keys of one length come in segment order, so s is never below `expected`.
            for (; expected < s; ++expected) missing.push_back(expected);
            expected = s + 1;
            if (!equals(s, cursor.data()))
                if (int rc = cursor.setData(piece(s))) return rc;
        } else {
            stray.emplace_back(key);
        }
        if (int rc = cursor.next()) return rc;
    }
    for (; expected < segments; ++expected) missing.push_back(expected);
    for (std::size_t j : missing) {
        Entry entry;
        entry.bytes = memoKey(number_, record, number, static_cast<std::uint16_t>(j));
        entry.keyLength = static_cast<std::uint16_t>(entry.bytes.size());
        if (isBlob && j == 0) entry.bytes += blobLength;
        entry.bytes.append(body(j));
        bool existed = false;
        if (int rc = file_->replace(entry, &existed)) return rc;
    }
    for (const std::string& key : stray) {
        bool existed = false;
        if (int rc = file_->erase(key, &existed)) return rc;
    }
    return 0;
}

int QvnTable::writeMemos(std::uint32_t record, bool trusted) {
    if (!file_->inWriteAccess()) return internalFault(231);
    const std::size_t count = declaration_->memos.size();
    try {
        memoSnapshots_.resize(count);
        std::string scratch;
        EntryCursor cursor(file_->tree());
        for (std::size_t m = 0; m < count; ++m) {
            const MemoDeclaration& memo = declaration_->memos[m];
            MemoSnapshot& snapshot = memoSnapshots_[m];
            if (memo.isBlob() ? !memo.blob : !memo.buffer) { // no buffer: nothing to store
                snapshot.valid = false;
                continue;
            }
            const std::string_view content = storedContent(m, &scratch);
            if ((content.size() + kSegment - 1) / kSegment > kMaxSegments)
                return runtime::error::kInvalidRecordDeclaration; // 16-bit segment numbers
            if (trusted && snapshot.valid && snapshot.content == content) continue;
            if (int rc = writeSegments(cursor, record, static_cast<std::uint8_t>(m), memo.isBlob(), content))
                return rc;
            snapshot.valid = content.size() <= kSnapshotLimit;
            if (snapshot.valid)
                snapshot.content.assign(content);
            else
                std::string().swap(snapshot.content);
        }
    } catch (const std::bad_alloc&) {
        return runtime::error::kInsufficientMemory;
    }
    memosWritten_ = true;
    return 0;
}

int QvnTable::readMemos(std::uint32_t record) {
    memosSeen_.record = 0;
    const std::size_t count = declaration_->memos.size();
    if (count == 0) return 0;
    const std::string prefix = recordMemosPrefix(number_, record);
    EntryCursor cursor(file_->tree());
    if (int rc = cursor.seek(prefix, false)) return rc;
    try {
        memoSnapshots_.resize(count);
        for (std::size_t m = 0; m < count; ++m) {
            MemoDeclaration& memo = declaration_->memos[m];
            MemoSnapshot& snapshot = memoSnapshots_[m];
            const bool wanted = memo.isBlob() ? memo.blob != nullptr : memo.buffer != nullptr;
            // The stored bytes of the memo's segments in key order, as they are stored. `canonical`:
            // they are exactly the segments that writing them back would make, so that a PUT may
            // compare the content alone.
            std::string& stored = snapshot.content;
            stored.clear();
            bool canonical = true;
            std::size_t segments = 0, lastBody = kSegment;
            while (cursor.valid() && startsWith(cursor.key(), prefix)) {
                const std::string_view key = cursor.key();
                // A key of the record prefix alone belongs to no memo; one of a later memo ends this.
                if (key.size() > prefix.size() && static_cast<std::uint8_t>(key[prefix.size()]) > m) break;
                if (wanted && key.size() > prefix.size()) {
                    const std::string_view data = cursor.data();
                    const std::size_t head = memo.isBlob() && segments == 0 ? kBlobLength : 0;
                    if (key.size() != prefix.size() + 3 || segmentOf(key) != segments ||
                        lastBody != kSegment || data.size() <= head || data.size() - head > kSegment)
                        canonical = false;
                    lastBody = data.size() >= head ? data.size() - head : 0;
                    ++segments;
                    stored.append(data);
                }
                if (int rc = cursor.next()) return rc;
            }
            if (!wanted) {
                snapshot.valid = false;
                continue;
            }
            if (memo.isBlob()) {
                std::size_t length = 0, at = 0;
                if (stored.size() >= kBlobLength) {
                    length = readLittle32(stored, 0);
                    at = kBlobLength;
                }
                canonical = canonical && length == stored.size() - at;
                // A damaged length never reaches past the stored bytes.
                length = std::min(length, stored.size() - at);
                memo.blob->assign(stored.begin() + static_cast<std::ptrdiff_t>(at),
                                  stored.begin() + static_cast<std::ptrdiff_t>(at + length));
                if (oem_ && !memo.isBinary())
                    platform::oemToAnsi(reinterpret_cast<char*>(memo.blob->data()), memo.blob->size());
                stored.erase(0, at);
            } else {
                const std::size_t copied = std::min<std::size_t>(stored.size(), memo.size);
                std::memcpy(memo.buffer, stored.data(), copied);
                if (oem_ && !memo.isBinary())
                    platform::oemToAnsi(reinterpret_cast<char*>(memo.buffer), copied);
                std::memset(memo.buffer + copied, ' ', memo.size - copied);
            }
            snapshot.valid = canonical && stored.size() <= kSnapshotLimit;
            if (!snapshot.valid) std::string().swap(stored);
        }
    } catch (const std::bad_alloc&) {
        return runtime::error::kInsufficientMemory;
    }
    memosSeen_ = MemosSeen{record, treeState()};
    return 0;
}

int QvnTable::deleteMemos(std::uint32_t record) {
    if (memosSeen_.record == record) memosSeen_.record = 0;
    const std::string prefix = recordMemosPrefix(number_, record);
    std::vector<std::string> keys;
    EntryCursor cursor(file_->tree());
    if (int rc = cursor.seek(prefix, false)) return rc;
    while (cursor.valid() && startsWith(cursor.key(), prefix)) {
        keys.emplace_back(cursor.key());
        if (int rc = cursor.next()) return rc;
    }
    for (const std::string& key : keys) {
        bool existed = false;
        if (int rc = file_->erase(key, &existed)) return rc;
    }
    return 0;
}

} // namespace docket::drivers::qvn
