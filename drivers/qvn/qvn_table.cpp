#include "drivers/qvn/qvn_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "drivers/qvn/definition_stream.h"
#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/transactions.h"
#include "platform/charset.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

using runtime::TypeCode;

// Runs the rest of a scope inside an access; `rc` holds the result of beginning it. A write access
// waits for other stations; a read access waits only when `patient`, and otherwise fails with 5
// when another station's flush keeps every reader slot.
class Access {
public:
    Access(QvnFile& file, bool write, bool patient = false)
        : file_(file), rc(file.beginAccess(write, write || patient)) {}
    ~Access() {
        if (rc == 0) file_.endAccess();
    }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

private:
    QvnFile& file_;

public:
    const int rc;
};

Entry makeEntry(std::string key, std::string_view data) {
    Entry e;
    e.keyLength = static_cast<std::uint16_t>(key.size());
    e.bytes = std::move(key);
    e.bytes.append(data);
    return e;
}

std::string counterData(std::uint32_t count, std::uint32_t second) {
    std::string out;
    appendLittle32(&out, count);
    appendLittle32(&out, second);
    return out;
}

std::string toHex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

bool fromHex(std::string_view text, std::string* out) {
    if (text.size() % 2) return false;
    out->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (std::size_t j = i; j < i + 2; ++j) {
            const char c = text[j];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        out->push_back(static_cast<char>(v));
    }
    return true;
}

// The longest key part (table, kind, key bytes, record number) and data record that still make an
// entry the tree accepts.
constexpr std::size_t kMaxRecordLength = kMaxEntryLength - 9;
constexpr std::size_t kMaxKeyLength = kMaxEntryLength - 13;

} // namespace

// ---- Tables of a physical file ------------------------------------------------------------------

int erasePrefix(QvnFile& file, const std::string& prefix, bool (*keep)(std::string_view)) {
    return forEachWithPrefix(file, prefix, [&](const Entry& e) {
        if (keep && keep(e.key())) return 0;
        bool existed = false;
        return file.erase(e.key(), &existed);
    });
}

int listTables(QvnFile& file, std::vector<TableInfo>* out) {
    out->clear();
    Access access(file, false);
    if (access.rc) return access.rc;
    return forEachWithPrefix(file, std::string(1, static_cast<char>(kKindName)), [&](const Entry& e) {
        if (e.data().size() == 4) out->push_back({std::string(e.key().substr(1)), readLittle32(e.data(), 0)});
        return 0;
    });
}

int findTable(QvnFile& file, const std::string& name, std::uint32_t* number, bool* found) {
    Entry e;
    if (int rc = file.find(nameKey(name), &e, found)) return rc;
    if (*found && e.data().size() != 4) return kInvalidDataFile;
    if (*found) *number = readLittle32(e.data(), 0);
    return 0;
}

int eraseTable(QvnFile& file, std::uint32_t number, const std::string& name, bool dropName) {
    if (int rc = erasePrefix(file, tablePrefix(number))) return rc;
    bool existed = false;
    return dropName ? file.erase(nameKey(name), &existed) : 0;
}

// The flattened field list must describe one record GROUP: each member lies inside the groups
// that enclose it, and groups nest at most 100 deep. Members are the fields after a GROUP up to its
// end offset; an OVER field may overlay anything and is not held to its neighbours' groups.
constexpr std::size_t kMaxGroupNesting = 100;

int checkGroups(const FileDeclaration& declaration) {
    std::vector<std::uint64_t> openEnds; // end offsets of the enclosing groups, innermost last
    for (const auto& field : declaration.fields) {
        const std::uint64_t begin = field.offset, end = begin + field.size;
        while (!openEnds.empty() && begin >= openEnds.back()) openEnds.pop_back();
        if (!field.over && !openEnds.empty() && end > openEnds.back())
            return runtime::error::kInvalidFieldType;
        if (field.type == runtime::TypeCode::Group) {
            openEnds.push_back(end);
            if (openEnds.size() > kMaxGroupNesting) return runtime::error::kInvalidFieldType;
        }
    }
    return 0;
}

int checkDeclaration(const FileDeclaration& declaration) {
    if (declaration.recordLength > kMaxRecordLength || declaration.keys.size() > kMaxKeys)
        return runtime::error::kInvalidRecordDeclaration;
    for (const auto& field : declaration.fields)
        if (std::uint64_t{field.offset} + field.size > declaration.recordLength)
            return runtime::error::kInvalidRecordDeclaration;
    for (const auto& memo : declaration.memos)
        if (!memo.isBlob() && memo.size > kMaxMemoSize) return runtime::error::kInvalidRecordDeclaration;
    if (int rc = checkGroups(declaration)) return rc;
    for (const auto& key : declaration.keys) {
        if (int rc = checkKeyComponents(declaration, key)) return rc;
        if (keyLength(declaration, key) > kMaxKeyLength) return runtime::error::kInvalidKeyLength;
    }
    return 0;
}

int createTable(QvnFile& file, const std::string& name, const FileDeclaration& declaration,
                std::uint32_t* created) {
    if (int rc = checkDeclaration(declaration)) return rc;
    Access access(file, true);
    if (access.rc) return access.rc;
    std::uint32_t old = 0, number = 0;
    bool found = false, existed = false;
    int rc = findTable(file, name, &old, &found);
    if (rc == 0 && found) rc = eraseTable(file, old, name, false);
    if (rc == 0) rc = file.nextNumber(&number);
    if (rc == 0) {
        std::string data;
        appendLittle32(&data, number);
        rc = file.replace(makeEntry(nameKey(name), data), &existed);
    }
    if (rc == 0)
        rc = file.replace(
            makeEntry(collationKey(number), CharTables::current().toEntry(declaration.has(file_flag::kOem))),
            &existed);
    const std::string definition = writeDefinition(declaration);
    for (std::size_t at = 0, block = 0; rc == 0 && at < definition.size(); at += kDefinitionBlock, ++block)
        rc = file.replace(makeEntry(definitionKey(number, static_cast<std::uint16_t>(block)),
                                    std::string_view(definition).substr(at, kDefinitionBlock)),
                          &existed);
    if (rc == 0) rc = file.replace(makeEntry(counterKey(number, kKindData), counterData(0, 0)), &existed);
    for (std::size_t k = 0; rc == 0 && k < declaration.keys.size(); ++k)
        rc = file.replace(makeEntry(counterKey(number, static_cast<std::uint8_t>(k)), counterData(0, 0)),
                          &existed);
    if (rc == 0)
        rc = file.flush();
    else
        file.discard();
    if (rc == 0 && created) *created = number;
    return rc;
}

// ---- Opening ------------------------------------------------------------------------------------

int QvnTable::open(std::shared_ptr<QvnFile> file, const std::string& name, FileDeclaration* declaration,
                   std::unique_ptr<QvnTable>* out) {
    std::unique_ptr<QvnTable> table(new QvnTable());
    table->file_ = std::move(file);
    table->name_ = name;
    QvnFile& f = *table->file_;
    // An OPEN that meets another station's flush waits for it: refused, it would leave the caller
    // to think the file cannot be opened for writing.
    Access access(f, false, true);
    if (access.rc) return access.rc;
    bool found = false;
    if (int rc = findTable(f, name, &table->number_, &found)) return rc;
    if (!found)
        return runtime::error::kFileNotFound; // our choice: a physical file without that table is like a
                                              // missing file
    Entry e;
    if (int rc = f.find(collationKey(table->number_), &e, &found)) return rc;
    if (!found || !CharTables::fromEntry(e.data(), &table->tables_, &table->oem_)) return kInvalidDataFile;
    std::string definition;
    for (std::uint32_t block = 0; block <= 0xFFFF; ++block) {
        if (int rc = f.find(definitionKey(table->number_, static_cast<std::uint16_t>(block)), &e, &found))
            return rc;
        if (!found) break;
        definition.append(e.data());
    }
    const bool readMode =
        (!declaration->record || declaration->recordLength == 0) && declaration->memos.empty();
    if (readMode) {
        auto owned = std::make_unique<FileDeclaration>();
        owned->label = declaration->label;
        owned->driver = declaration->driver;
        owned->name = declaration->name;
        owned->flags = declaration->flags;
        if (!readDefinition(definition, owned.get())) return runtime::error::kInvalidRecordDeclaration;
        if (int rc = checkDeclaration(*owned))
            return rc == runtime::error::kInvalidRecordDeclaration ? kInvalidDataFile : rc;
        try {
            table->ownedRecord_.assign(owned->recordLength, 0);
            table->ownedMemos_.resize(owned->memos.size());
            table->ownedBlobs_.resize(owned->memos.size());
            for (std::size_t m = 0; m < owned->memos.size(); ++m) {
                MemoDeclaration& memo = owned->memos[m];
                if (memo.isBlob()) {
                    memo.blob = &table->ownedBlobs_[m];
                } else {
                    table->ownedMemos_[m].assign(memo.size, ' ');
                    memo.buffer = table->ownedMemos_[m].data();
                }
            }
        } catch (const std::bad_alloc&) {
            return runtime::error::kInsufficientMemory;
        }
        owned->record = table->ownedRecord_.data();
        table->owned_ = std::move(owned);
        table->declaration_ = table->owned_.get();
    } else {
        if (int rc = checkDeclaration(*declaration)) return rc;
        if (!definitionMatches(*declaration, definition)) return runtime::error::kInvalidRecordDeclaration;
        table->declaration_ = declaration;
    }
    table->context_ = KeyContext{&table->tables_, table->oem_};
    table->setFile();
    *out = std::move(table);
    return 0;
}

int QvnTable::keyIndex(const KeyDeclaration* key) const {
    if (!key) return -1;
    for (std::size_t k = 0; k < declaration_->keys.size(); ++k)
        if (&declaration_->keys[k] == key) return static_cast<int>(k);
    // A declaration filled in read mode has keys of its own: the caller's key is found by label.
    for (std::size_t k = 0; k < declaration_->keys.size(); ++k)
        if (declaration_->keys[k].label == key->label) return static_cast<int>(k);
    return -1;
}

// ---- Record images ------------------------------------------------------------------------------

namespace {

// Converts the text of every STRING, CSTRING and PSTRING field of a record image in place. OVER
// fields are skipped: their bytes belong to the field they lie over.
void convertTextFields(const FileDeclaration& declaration, std::string& image,
                       void (*convert)(char*, std::size_t)) {
    for (const auto& field : declaration.fields) {
        if (field.over) continue;
        const std::size_t element = field.elementSize();
        for (std::uint32_t i = 0; i < field.elements && element; ++i) {
            char* p = image.data() + field.offset + i * element;
            if (field.type == TypeCode::String)
                convert(p, element);
            else if (field.type == TypeCode::CString)
                convert(p, strnlen(p, element));
            else if (field.type == TypeCode::PString)
                convert(p + 1, std::min<std::size_t>(static_cast<std::uint8_t>(p[0]), element - 1));
        }
    }
}

} // namespace

void QvnTable::toStored(std::string& image) const {
    if (oem_) convertTextFields(*declaration_, image, platform::ansiToOem);
}

void QvnTable::fromStored(std::string& image) const {
    if (oem_) convertTextFields(*declaration_, image, platform::oemToAnsi);
}

int QvnTable::fetch(std::uint32_t record, std::string* image, bool* found, const Entry* stepped,
                    std::string_view along) {
    // The entry and the image are copied into strings that keep their storage from the last
    // read, so reading a record allocates nothing. A step in record order has read the data
    // entry already.
    Entry& e = fetched_;
    if (stepped != nullptr) {
        *found = true;
        if (stepped->data().size() != declaration_->recordLength) return kInvalidDataFile;
        image->assign(stepped->data());
        fromStored(*image);
        return 0;
    }
    if (int rc = file_->find(dataKey(number_, record), along, &e, found)) return rc;
    if (!*found) return 0;
    if (e.data().size() != declaration_->recordLength) return kInvalidDataFile;
    image->assign(e.data());
    fromStored(*image);
    return 0;
}

int QvnTable::load(std::uint32_t record, bool* found, const Entry* stepped) {
    // A held read takes the record's hold before reading it, so that what it reads is what no
    // other station changes until the hold is given up, and reads the record after that. Reading
    // another record gives up the table's previous hold.
    if (options_ & table_option::kHoldMode) {
        if (int rc = holdRecord(record)) return rc;
        stepped = nullptr;
    } else if (heldRecord_ != record) {
        releaseHold();
    }
    std::string& image = loadImage_;
    // The record's memos are read right after it, from the root down again: the way to them is
    // taken along with the way to the record.
    std::string along;
    if (stepped == nullptr && !(options_ & table_option::kNoMemo) && !declaration_->memos.empty())
        along = recordMemosPrefix(number_, record);
    if (int rc = fetch(record, &image, found, stepped, along)) return rc;
    if (!*found) {
        if (heldRecord_ == record) releaseHold();
        return 0;
    }
    if (options_ & table_option::kWatchMode) {
        if (int rc = memoStamp(record, &watchMemos_)) return rc;
        options_ |= table_option::kWatchImage;
    }
    if (!image.empty()) std::memcpy(declaration_->record, image.data(), image.size());
    lastImage_.swap(image); // the old image's storage serves the next read
    current_ = record;
    if (options_ & table_option::kNoMemo) {
        options_ = (options_ & ~table_option::kNoMemo) | table_option::kMemosNotRead;
        return 0;
    }
    options_ &= ~table_option::kMemosNotRead;
    return readMemos(record);
}

// ---- Keys ---------------------------------------------------------------------------------------

std::string QvnTable::keyPrefix(int key) const {
    return kindPrefix(number_, key < 0 ? kKindData : static_cast<std::uint8_t>(key));
}

const KeyDeclaration& QvnTable::keyDecl(int key) const {
    if (isMemoryIndex(key)) {
        auto it = builtComponents_.find(key);
        if (it != builtComponents_.end()) return it->second;
    }
    return declaration_->keys[key];
}

int QvnTable::seekEntry(int key, bool forward, const std::string& at, bool strict, Entry* out, bool* found) {
    if (!isMemoryIndex(key))
        return forward ? file_->seekForward(at, strict, out, found)
                       : file_->seekBackward(at, strict, out, found);
    *found = false;
    auto index = memoryIndexes_.find(key);
    if (index == memoryIndexes_.end()) return 0;
    const EntryMap& entries = index->second;
    auto it = forward == strict ? entries.upper_bound(at) : entries.lower_bound(at);
    if (!forward) {
        if (it == entries.begin()) return 0;
        --it;
    } else if (it == entries.end()) {
        return 0;
    }
    *out = makeEntry(it->first, it->second);
    *found = true;
    return 0;
}

int QvnTable::findEntry(int key, const std::string& at, Entry* out, bool* found) {
    if (!isMemoryIndex(key)) return file_->find(at, out, found);
    if (int rc = seekEntry(key, true, at, false, out, found)) return rc;
    *found = *found && out->key() == at;
    return 0;
}

bool QvnTable::keyEntry(int key, const std::uint8_t* image, std::uint32_t record, Entry* out) const {
    const KeyDeclaration& k = keyDecl(key);
    if ((k.flags & key_flag::kOpt) && keyIsEmpty(*declaration_, k, image)) return false;
    std::string bytes = keyPrefix(key) + encodeKey(*declaration_, k, image, context_);
    std::string data;
    if (k.flags & key_flag::kDup)
        appendBig32(&bytes, record);
    else
        appendLittle32(&data, record);
    *out = makeEntry(std::move(bytes), data);
    return true;
}

std::uint32_t QvnTable::entryRecord(int key, const Entry& entry) const {
    if (key < 0) return entry.keyLength == 9 ? readBig32(entry.key(), 5) : 0;
    if (declaration_->keys[key].flags & key_flag::kDup)
        return entry.keyLength >= 9 ? readBig32(entry.key(), entry.keyLength - 4) : 0;
    return entry.data().size() == 4 ? readLittle32(entry.data(), 0) : 0;
}

int QvnTable::readCounter(std::uint8_t which, std::uint32_t* count, std::uint32_t* second, bool* found) {
    Entry e;
    if (int rc = file_->find(counterKey(number_, which), &e, found)) return rc;
    *count = *second = 0;
    if (*found && e.data().size() == 8) {
        *count = readLittle32(e.data(), 0);
        *second = readLittle32(e.data(), 4);
    }
    return 0;
}

int QvnTable::applyCounters(const CounterDeltas& deltas) {
    std::size_t pending = 0;
    for (std::int64_t d : deltas) pending += d != 0;
    if (pending == 0) return 0;
    if (!file_->inWriteAccess()) return internalFault(231);
    auto updated = [](std::uint32_t count, std::int64_t delta) {
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(std::int64_t{count} + delta, 0, 0xFFFFFFFF));
    };
    // The counters lie together (table, 0xF6, key number or 0xF3), so one walk reaches all of them
    // and each is changed where it stands.
    const std::string prefix = kindPrefix(number_, kKindCounter);
    std::vector<bool> done(deltas.size(), false);
    EntryCursor cursor(file_->tree());
    if (int rc = cursor.seek(prefix, false)) return rc;
    while (cursor.valid() && startsWith(cursor.key(), prefix)) {
        const std::string_view key = cursor.key();
        std::size_t slot = deltas.size(); // an entry of no counter asked for
        if (key.size() == prefix.size() + 1) {
            const auto which = static_cast<std::uint8_t>(key.back());
            slot = which == kKindData ? 0 : std::size_t{which} + 1;
        }
        if (slot < deltas.size() && deltas[slot] != 0 && !done[slot]) {
            const std::string_view data = cursor.data();
            std::uint32_t count = 0, second = 0;
            if (data.size() == 8) {
                count = readLittle32(data, 0);
                second = readLittle32(data, 4);
            }
            if (int rc = cursor.setData(counterData(updated(count, deltas[slot]), second))) return rc;
            done[slot] = true;
            if (--pending == 0) break;
        }
        if (int rc = cursor.next()) return rc;
    }
    for (std::size_t slot = 0; pending > 0 && slot < deltas.size(); ++slot) {
        if (deltas[slot] == 0 || done[slot]) continue;
        const std::uint8_t which = slot == 0 ? kKindData : static_cast<std::uint8_t>(slot - 1);
        bool existed = false;
        if (int rc = file_->replace(
                makeEntry(counterKey(number_, which), counterData(updated(0, deltas[slot]), 0)), &existed))
            return rc;
        --pending;
    }
    return 0;
}

int QvnTable::changeKey(int key, const std::uint8_t* from, const std::uint8_t* to, std::uint32_t record,
                        bool checkDuplicate, std::int64_t* net) {
    *net = 0;
    Entry oldEntry, newEntry;
    const bool haveOld = from && keyEntry(key, from, record, &oldEntry);
    const bool haveNew = to && keyEntry(key, to, record, &newEntry);
    if (haveOld && haveNew && oldEntry.key() == newEntry.key()) return 0;
    const bool dup = declaration_->keys[key].flags & key_flag::kDup;
    bool existed = false, found = false;
    if (haveNew) {
        // An insert leaves an entry of the same key part alone and says so: for a key without DUP
        // that entry is another record's (a DUP key's entries carry their record number).
        if (int rc = file_->insert(newEntry, &existed)) return rc;
        if (existed && checkDuplicate && !dup) return runtime::error::kDuplicateKey;
        if (!existed) ++*net;
    }
    if (haveOld) {
        // The old entry goes only when it is this record's; a DUP key's entry is by its key part.
        Entry e;
        found = dup;
        if (!dup) {
            if (int rc = file_->find(oldEntry.key(), &e, &found)) return rc;
            found = found && entryRecord(key, e) == record;
        }
        if (found) {
            if (int rc = file_->erase(oldEntry.key(), &existed)) return rc;
            if (existed) --*net;
        }
    }
    return 0;
}

int QvnTable::maintainKeys(const std::uint8_t* from, const std::uint8_t* to, std::uint32_t record,
                           CounterDeltas* deltas) {
    const auto& keys = declaration_->keys;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].isIndex()) continue; // built on demand only
        std::int64_t net = 0;
        const int rc = changeKey(static_cast<int>(k), from, to, record, true, &net);
        (*deltas)[k + 1] += net;
        if (rc == runtime::error::kDuplicateKey) {
            for (std::size_t j = k; j-- > 0;) {
                if (keys[j].isIndex()) continue;
                if (int undo = changeKey(static_cast<int>(j), to, from, record, false, &net)) return undo;
                (*deltas)[j + 1] += net;
            }
            // What the undo left differs from the start only where the entries were not as the
            // counters said; the counters follow the entries as they are.
            if (int counted = applyCounters(*deltas)) return counted;
        }
        if (rc) return rc;
    }
    return 0;
}

// ---- Changes ------------------------------------------------------------------------------------

int QvnTable::beginChange() {
    if (readOnly_) return runtime::error::kAccessDenied;
    // A change made while a build runs (from its progress question) would be flushed with the half
    // built key.
    if (file_->buildRunning) return runtime::error::kBuildInProgress;
    if (inTransaction_)
        if (int rc = joinChange(*this)) return rc;
    return file_->beginAccess(true, true);
}

// Outside a transaction a change is committed at once; a failed one leaves nothing behind, not
// even the record number it took.
//
// With batching, a successful change may leave its commit to the batch (see QvnFile). A change
// refused for a reason it checks before changing anything, or that it undoes itself (a duplicate
// key), keeps the batch's earlier changes pending; any other failure discards the batch with the
// change, as a failed write would: the pages in the cache can no longer be trusted.
int QvnTable::finishChange(int rc) {
    const bool wroteMemos = memosWritten_;
    memosWritten_ = false;
    rc = commitChange(rc);
    // The memos a successful change wrote are what is stored now, in the state it left the tree
    // in (committed or not); after a failure nothing is known.
    if (rc != 0)
        memosSeen_.record = 0;
    else if (wroteMemos)
        memosSeen_ = MemosSeen{current_, treeState()};
    return rc;
}

int QvnTable::commitChange(int rc) {
    if (inTransaction_) {
        file_->endAccess();
        return rc;
    }
    if (rc == 0 && (options_ & table_option::kBatch) && file_->deferFlush()) return 0;
    const bool refusedCleanly =
        rc == runtime::error::kAccessDenied || rc == runtime::error::kRecordNotAvailable ||
        rc == runtime::error::kRecordNotFound || rc == runtime::error::kDuplicateKey ||
        rc == runtime::error::kRecordHeld || rc == runtime::error::kChangedByAnotherStation;
    if (rc == 0) {
        rc = file_->flush();
    } else if (!(file_->batchPending() && refusedCleanly)) {
        file_->discard();
    } else {
        file_->endAccess();
        return rc;
    }
    file_->endAccess();
    file_->releaseBatch();
    return rc;
}

int QvnTable::add() {
    if (int rc = beginChange()) return rc;
    const auto* buffer = declaration_->record;
    std::string image(reinterpret_cast<const char*>(buffer), declaration_->recordLength);
    std::uint32_t record = 0;
    CounterDeltas deltas = noCounterDeltas();
    int rc = file_->nextNumber(&record);
    if (rc == 0)
        rc = maintainKeys(nullptr, reinterpret_cast<const std::uint8_t*>(image.data()), record, &deltas);
    if (rc == 0) {
        std::string stored = image;
        toStored(stored);
        bool existed = false;
        rc = file_->insert(makeEntry(dataKey(number_, record), stored), &existed);
        if (rc == 0 && existed) rc = kInvalidDataFile; // a fresh number never has a record
    }
    deltas[0] = 1;
    if (rc == 0) rc = applyCounters(deltas);
    if (rc == 0) {
        current_ = record;
        lastImage_ = image;
        options_ &= ~table_option::kMemosNotRead;
        rc = writeMemos(record, false);
        // The watch now stands on the record just added: its memos are what a later PUT compares
        // with, not those of the record watched before (which made the PUT of a record primed after
        // reading a memo with a body fail with 89).
        if (rc == 0 && (options_ & table_option::kWatchImage)) rc = memoStamp(record, &watchMemos_);
    }
    return finishChange(rc);
}

int QvnTable::put() {
    if (current_ == 0) return runtime::error::kRecordNotAvailable;
    if (int rc = beginChange()) return rc;
    const bool heldBefore = heldRecord_ == current_;
    if (!heldBefore && holdRecord(current_) != 0) return finishChange(5);
    bool found = false;
    // Taken before this PUT changes anything: whether the memo snapshots still show what is stored.
    const bool memosTrusted = memosSeen_.record == current_ && memosSeen_.state == treeState();
    int rc = fetch(current_, &storedImage_, &found);
    if (rc == 0 && !found) rc = 33;
    if (rc == 0 && (options_ & table_option::kWatchImage)) {
        std::string stamp;
        rc = memoStamp(current_, &stamp);
        if (rc == 0 && (storedImage_ != lastImage_ || stamp != watchMemos_)) rc = 89;
    }
    std::string image(reinterpret_cast<const char*>(declaration_->record), declaration_->recordLength);
    if (rc == 0 && image != storedImage_) {
        CounterDeltas deltas = noCounterDeltas();
        rc = maintainKeys(reinterpret_cast<const std::uint8_t*>(storedImage_.data()),
                          reinterpret_cast<const std::uint8_t*>(image.data()), current_, &deltas);
        if (rc == 0) rc = applyCounters(deltas);
        if (rc == 0) {
            std::string stored = image;
            toStored(stored);
            bool existed = false;
            rc = file_->replace(makeEntry(dataKey(number_, current_), stored), &existed);
        }
    }
    if (rc == 0 && !(options_ & table_option::kMemosNotRead)) rc = writeMemos(current_, memosTrusted);
    if (rc == 0) lastImage_ = image;
    releaseHold();
    options_ &= ~(table_option::kWatchMode | table_option::kWatchImage);
    return finishChange(rc);
}

int QvnTable::remove() {
    if (current_ == 0) return runtime::error::kRecordNotAvailable;
    if (int rc = beginChange()) return rc;
    if (heldRecord_ != current_ && holdRecord(current_) != 0) return finishChange(33);
    bool found = false, existed = false;
    int rc = fetch(current_, &storedImage_, &found);
    if (rc == 0 && !found) rc = 33;
    if (rc == 0) rc = file_->erase(dataKey(number_, current_), &existed);
    CounterDeltas deltas = noCounterDeltas();
    if (rc == 0)
        rc = maintainKeys(reinterpret_cast<const std::uint8_t*>(storedImage_.data()), nullptr, current_,
                          &deltas);
    deltas[0] = -1;
    if (rc == 0) rc = applyCounters(deltas);
    if (rc == 0) rc = deleteMemos(current_);
    if (rc == 0) current_ = 0;
    releaseHold();
    return finishChange(rc);
}

int QvnTable::empty() {
    if (int rc = beginChange()) return rc;
    // Keys, records and memos go; name, counters (zeroed, the flags number kept), definition and
    // collation stay.
    int rc = erasePrefix(*file_, tablePrefix(number_), [](std::string_view key) {
        const auto kind = static_cast<std::uint8_t>(key[4]);
        return kind != kKindMemo && kind > kKindData;
    });
    std::uint32_t count = 0, second = 0;
    bool found = false, existed = false;
    for (int which = -1; rc == 0 && which < static_cast<int>(declaration_->keys.size()); ++which) {
        const auto w = which < 0 ? kKindData : static_cast<std::uint8_t>(which);
        rc = readCounter(w, &count, &second, &found);
        if (rc == 0) rc = file_->replace(makeEntry(counterKey(number_, w), counterData(0, second)), &existed);
    }
    current_ = 0;
    setFile();
    return finishChange(rc);
}

int QvnTable::flags(std::uint32_t* value) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    std::uint32_t count = 0;
    bool found = false;
    return readCounter(kKindData, &count, value, &found);
}

int QvnTable::setFlags(std::uint32_t value) {
    if (int rc = beginChange()) return rc;
    std::uint32_t count = 0, second = 0;
    bool found = false, existed = false;
    int rc = readCounter(kKindData, &count, &second, &found);
    if (rc == 0)
        rc = file_->replace(makeEntry(counterKey(number_, kKindData), counterData(count, value)), &existed);
    return finishChange(rc);
}

// ---- Reading ------------------------------------------------------------------------------------

int QvnTable::getByPointer(std::uint32_t record) {
    if (record == 0) return runtime::error::kRecordNotFound;
    Access access(*file_, false);
    if (access.rc) return access.rc;
    bool found = false;
    if (int rc = load(record, &found)) return rc;
    return found ? 0 : runtime::error::kRecordNotFound;
}

int QvnTable::getByKey(int key) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    const KeyDeclaration& k = keyDecl(key);
    const std::string value = keyPrefix(key) + encodeKey(*declaration_, k, declaration_->record, context_);
    Entry e;
    bool found = false;
    if (k.flags & key_flag::kDup) {
        if (int rc = seekEntry(key, true, value + std::string(4, '\0'), false, &e, &found)) return rc;
        found = found && e.keyLength == value.size() + 4 && startsWith(e.key(), value);
    } else if (int rc = findEntry(key, value, &e, &found)) {
        return rc;
    }
    if (!found) return runtime::error::kRecordNotFound;
    if (int rc = load(entryRecord(key, e), &found)) return rc;
    return found ? 0 : runtime::error::kRecordNotFound;
}

// ---- Sequences ----------------------------------------------------------------------------------

void QvnTable::setFile() {
    orderKey_ = -1;
    cursor_.range = keyPrefix(-1);
    cursor_.forward = cursor_.range;
    cursor_.forwardStrict = false;
    cursor_.backward = cursor_.range + std::string(5, '\xFF');
    cursor_.backwardStrict = false;
}

void QvnTable::setFilePointer(std::uint32_t record) {
    if (record < 1) return setFile();
    setFile();
    cursor_.forward = cursor_.backward = dataKey(number_, record);
}

void QvnTable::setKey(int key) {
    orderKey_ = key;
    cursor_.range = keyPrefix(key);
    cursor_.forward = cursor_.range;
    cursor_.forwardStrict = false;
    cursor_.backward = cursor_.range + std::string(keyLength(*declaration_, keyDecl(key)) + 5, '\xFF');
    cursor_.backwardStrict = false;
}

int QvnTable::setKeyValue(int key, int valuesKey, bool withPointer, std::uint32_t record) {
    // The values come from the record buffer's fields of `valuesKey`; positions are built in `key`.
    const KeyDeclaration& k = keyDecl(key);
    const KeyDeclaration& values = keyDecl(valuesKey >= 0 ? valuesKey : key);
    setKey(key);
    std::string value = cursor_.range;
    value += encodeKey(*declaration_, values.components.size() == k.components.size() ? values : k,
                       declaration_->record, context_);
    cursor_.forward = cursor_.backward = value;
    if (k.flags & key_flag::kDup) {
        // Before all duplicates reading forward, after them reading backward (or at one record).
        appendBig32(&cursor_.forward, withPointer ? record : 0);
        appendBig32(&cursor_.backward, withPointer ? record : 0xFFFFFFFF);
    }
    return 0;
}

int QvnTable::setKeyPointer(int key, std::uint32_t record) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    std::string image;
    bool found = false;
    if (int rc = fetch(record, &image, &found)) return rc;
    if (!found) return runtime::error::kRecordNotFound;
    setKey(key);
    std::string at = cursor_.range + encodeKey(*declaration_, keyDecl(key),
                                               reinterpret_cast<const std::uint8_t*>(image.data()), context_);
    if (keyDecl(key).flags & key_flag::kDup) appendBig32(&at, record);
    cursor_.forward = cursor_.backward = at;
    return 0;
}

int QvnTable::setFileKey(int key) {
    // Record order, starting at the first record whose key value is at or after the buffer's.
    Access access(*file_, false);
    if (access.rc) return access.rc;
    const std::string value =
        keyPrefix(key) + encodeKey(*declaration_, keyDecl(key), declaration_->record, context_);
    Entry e;
    bool found = false;
    if (int rc = seekEntry(key, true, value, false, &e, &found)) return rc;
    if (found && startsWith(e.key(), keyPrefix(key))) {
        setFilePointer(entryRecord(key, e));
    } else {
        setFile();
        cursor_.forward = cursor_.backward;
        cursor_.forwardStrict = true;
    }
    return 0;
}

int QvnTable::step(bool forward) {
    for (;;) {
        Entry& e = stepped_; // keeps its storage from the last step
        bool found = false;
        const int rc =
            !forward ? seekEntry(orderKey_, false, cursor_.backward, cursor_.backwardStrict, &e, &found)
            : isMemoryIndex(orderKey_)
                ? seekEntry(orderKey_, true, cursor_.forward, cursor_.forwardStrict, &e, &found)
                : file_->seekForward(cursor_.forward, cursor_.forwardStrict, &cursor_.hint, &e, &found);
        if (rc) return rc;
        if (!found || !startsWith(e.key(), cursor_.range)) return runtime::error::kRecordNotAvailable;
        cursor_.forward.assign(e.key());
        cursor_.backward.assign(e.key());
        cursor_.forwardStrict = cursor_.backwardStrict = true;
        const std::uint32_t record = entryRecord(orderKey_, e);
        if (record == 0) continue;
        bool loaded = false;
        // In record order the entry stepped on is the record's data entry itself.
        if (int lrc = load(record, &loaded, orderKey_ < 0 ? &e : nullptr)) return lrc;
        if (loaded) return 0; // a key entry without its record is stepped over
    }
}

int QvnTable::next() {
    Access access(*file_, false);
    return access.rc ? access.rc : step(true);
}

int QvnTable::previous() {
    Access access(*file_, false);
    return access.rc ? access.rc : step(false);
}

int QvnTable::skip(std::int32_t count) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    const bool forward = count > 0;
    for (std::int64_t n = count < 0 ? -std::int64_t{count} : count; n > 0; --n) {
        Entry e;
        bool found = false;
        const int rc =
            forward ? seekEntry(orderKey_, true, cursor_.forward, cursor_.forwardStrict, &e, &found)
                    : seekEntry(orderKey_, false, cursor_.backward, cursor_.backwardStrict, &e, &found);
        if (rc) return rc;
        if (!found || !startsWith(e.key(), cursor_.range)) break; // stops at the end
        cursor_.forward = cursor_.backward = std::string(e.key());
        cursor_.forwardStrict = cursor_.backwardStrict = true;
    }
    return 0;
}

int QvnTable::atEnd(bool forward, bool* none) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    Entry e;
    bool found = false;
    const int rc = forward
                       ? seekEntry(orderKey_, true, cursor_.forward, cursor_.forwardStrict, &e, &found)
                       : seekEntry(orderKey_, false, cursor_.backward, cursor_.backwardStrict, &e, &found);
    if (rc) return rc;
    *none = !found || !startsWith(e.key(), cursor_.range);
    return 0;
}

// ---- Counts, positions, states ------------------------------------------------------------------

int QvnTable::records(int key, std::uint64_t* count) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    if (isMemoryIndex(key)) {
        auto it = memoryIndexes_.find(key);
        *count = it == memoryIndexes_.end() ? 0 : it->second.size();
        return 0;
    }
    std::uint32_t n = 0, second = 0;
    bool found = false;
    if (int rc = readCounter(key < 0 ? kKindData : static_cast<std::uint8_t>(key), &n, &second, &found))
        return rc;
    *count = n;
    return 0;
}

int QvnTable::duplicate(int key, bool* result) {
    Access access(*file_, false);
    if (access.rc) return access.rc;
    *result = false;
    const auto& keys = declaration_->keys;
    for (std::size_t k = 0; k < keys.size() && !*result; ++k) {
        const bool dup = keys[k].flags & key_flag::kDup;
        if (key >= 0 ? static_cast<int>(k) != key : dup || keys[k].isIndex()) continue;
        Entry mine;
        if (!keyEntry(static_cast<int>(k), declaration_->record, current_, &mine)) continue;
        // Entries of the same value: the value's bytes without the record number of a DUP key.
        const std::string value(mine.key().substr(0, mine.keyLength - (dup ? 4 : 0)));
        std::string from = value;
        bool strict = false;
        for (;;) {
            Entry e;
            bool found = false;
            if (int rc = seekEntry(static_cast<int>(k), true, from, strict, &e, &found)) return rc;
            if (!found || !startsWith(e.key(), value) || e.keyLength != mine.keyLength) break;
            if (entryRecord(static_cast<int>(k), e) != current_) {
                *result = true;
                break;
            }
            from = std::string(e.key());
            strict = true;
        }
    }
    return 0;
}

// Position strings: "QVN" and the hex digits of the key part of the current record's entry in the
// order asked for (its data entry, or its entry in the key).
int QvnTable::position(int key, std::string* out) {
    if (current_ == 0) return runtime::error::kRecordNotAvailable;
    Entry e;
    if (key < 0)
        e = makeEntry(dataKey(number_, current_), {});
    else if (!keyEntry(key, reinterpret_cast<const std::uint8_t*>(lastImage_.data()), current_, &e))
        e = makeEntry(keyPrefix(key), {}); // an OPT key without an entry: its start
    *out = "QVN" + toHex(e.key());
    return 0;
}

int QvnTable::reset(int key, const std::string& text) {
    std::string at;
    if (text.rfind("QVN", 0) != 0 || !fromHex(std::string_view(text).substr(3), &at))
        return runtime::error::kInvalidIndexString;
    if (key < 0)
        setFile();
    else
        setKey(key);
    if (!startsWith(at, cursor_.range)) return runtime::error::kInvalidIndexString;
    cursor_.forward = cursor_.backward = at;
    cursor_.forwardStrict = cursor_.backwardStrict = false;
    return 0;
}

int QvnTable::reget(int key, const std::string& text) {
    if (int rc = reset(key, text)) return rc;
    Access access(*file_, false);
    if (access.rc) return access.rc;
    Entry e;
    bool found = false;
    if (int rc = findEntry(key, cursor_.forward, &e, &found)) return rc;
    if (!found) return runtime::error::kRecordNotFound;
    if (int rc = load(entryRecord(key, e), &found)) return rc;
    if (!found) return runtime::error::kRecordNotFound;
    cursor_.forwardStrict = cursor_.backwardStrict = true;
    return 0;
}

std::uint64_t QvnTable::saveState() {
    states_[nextState_] = State{cursor_, orderKey_, current_, lastImage_};
    return nextState_++;
}

int QvnTable::restoreState(std::uint64_t id) {
    auto it = states_.find(id);
    if (it == states_.end()) return runtime::error::kRecordNotFound;
    cursor_ = it->second.cursor;
    orderKey_ = it->second.orderKey;
    current_ = it->second.current;
    lastImage_ = it->second.image;
    return 0;
}

} // namespace docket::drivers::qvn
