#pragma once
// One open table of a physical native file (`QvnTable`): its number, character tables, the
// declaration it works with, the record images, the current record and the sequence of
// SET/NEXT/PREVIOUS, and the record, key and memo operations on top of the shared `QvnFile`.
//
// Every public operation runs inside an access of its own. Changing operations take a write access
// and, outside a transaction, end with a flush of the file, so each ADD, PUT or DELETE is atomic
// on its own.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver.h"
#include "drivers/qvn/internal/char_set_tables.h"
#include "drivers/qvn/internal/key_encoding.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/qvn_file.h"
#include "runtime/core/error_codes.h"

namespace docket::runtime {
class CompiledExpression;
}

namespace docket::drivers::qvn {

// Option word of an open table.
namespace table_option {
inline constexpr std::uint32_t kOpen = 0x01;
inline constexpr std::uint32_t kHoldMode = 0x02;
inline constexpr std::uint32_t kHeld = 0x04;
inline constexpr std::uint32_t kWatchMode = 0x08;
inline constexpr std::uint32_t kWatchImage = 0x10;
inline constexpr std::uint32_t kNoMemo = 0x20;
inline constexpr std::uint32_t kMemosNotRead = 0x40;
inline constexpr std::uint32_t kFullBuild = 0x100;
inline constexpr std::uint32_t kBatch = 0x200; // SEND "BATCHFLUSH=ON": commits are batched
} // namespace table_option

// The name of the table inside its physical file and the number it is stored under.
struct TableInfo {
    std::string name;
    std::uint32_t number = 0;
};

// The tables of an open physical file in name order.
int listTables(QvnFile& file, std::vector<TableInfo>* out);
// The number of table `name`; *found false when there is none.
int findTable(QvnFile& file, const std::string& name, std::uint32_t* number, bool* found);

// Creates (or replaces) table `name` in `file` for `declaration`: a new number, the name entry,
// the collation entry with the runtime's tables, the definition blocks and zeroed counters.
// Runs in a write access of its own and flushes.
int createTable(QvnFile& file, const std::string& name, const FileDeclaration& declaration,
                std::uint32_t* number = nullptr);
// Removes every entry of table `number` and, with `dropName`, its name entry.
int eraseTable(QvnFile& file, std::uint32_t number, const std::string& name, bool dropName);

// 0, or 47/75 for a declaration the driver cannot store.
int checkDeclaration(const FileDeclaration& declaration);

// Every entry whose key part begins with `prefix` is erased, except those `keep` accepts.
int erasePrefix(QvnFile& file, const std::string& prefix, bool (*keep)(std::string_view) = nullptr);

// Calls `visit` with each entry whose key part begins with `prefix`, in key order; the first
// non-zero result of `visit` ends the walk and is its result. Each step finds its place again from
// the last key, so `visit` may change the tree.
template <typename Visit> int forEachWithPrefix(QvnFile& file, const std::string& prefix, Visit visit) {
    std::string from = prefix;
    bool strict = false;
    for (;;) {
        Entry e;
        bool found = false;
        if (int rc = file.seekForward(from, strict, &e, &found)) return rc;
        if (!found || !startsWith(e.key(), prefix)) return 0;
        from = std::string(e.key());
        strict = true;
        if (int rc = visit(e)) return rc;
    }
}

// Asked during a BUILD once per record walked, with the number walked so far: false cancels the
// build (93), which then leaves the table as it was. One per thread; empty asks nothing. It must
// not call the driver (the driver's calls are serialised); a change of the file it makes through
// the table itself is refused with 92.
void setBuildProgress(std::function<bool(std::uint64_t records)> progress);

class QvnTable final : public DriverFileState {
public:
    // Opens table `name` of `file` for `declaration`. 2 when the table does not exist, 36 for a
    // damaged collation or definition, 47 when the declaration differs from the stored definition.
    // A declaration without record and memos is filled from the stored definition instead.
    static int open(std::shared_ptr<QvnFile> file, const std::string& name, FileDeclaration* declaration,
                    std::unique_ptr<QvnTable>* out);

    QvnFile& file() { return *file_; }
    const std::shared_ptr<QvnFile>& sharedFile() const { return file_; }
    FileDeclaration& declaration() { return *declaration_; }
    std::uint32_t number() const { return number_; }
    const std::string& name() const { return name_; }
    std::uint32_t current() const { return current_; }
    std::uint32_t& options() { return options_; }
    const KeyContext& keyContext() const { return context_; }
    // The key of the current order, null for record order (the trace prints it).
    const KeyDeclaration* orderKey() const {
        return orderKey_ >= 0 ? &declaration_->keys[orderKey_] : nullptr;
    }
    int keyIndex(const KeyDeclaration* key) const;

    // Records.
    int add();
    int put();
    int remove();
    int getByPointer(std::uint32_t record);
    int getByKey(int key);

    // Sequences.
    void setFile();
    void setFilePointer(std::uint32_t record);
    int setFileKey(int key);
    void setKey(int key);
    int setKeyValue(int key, int valuesKey, bool withPointer, std::uint32_t record);
    int setKeyPointer(int key, std::uint32_t record);
    int next();
    int previous();
    int skip(std::int32_t count);
    int atEnd(bool forward, bool* none);

    // Counts and questions.
    int records(int key, std::uint64_t* count);
    int duplicate(int key, bool* result); // key -1: any key without DUP
    int position(int key, std::string* out);
    int reset(int key, const std::string& position);
    int reget(int key, const std::string& position);
    int empty();
    int flags(std::uint32_t* value);
    int setFlags(std::uint32_t value);

    // BUILD (table_build.cpp). `key` -1 rebuilds every key (an index without declared components
    // only when it was built before); a key number that one key. 92 while a build of the file runs.
    int buildKeys(int key);
    // BUILD of a dynamic index: `components` ("+FIELD,-FIELD" by label) for an index without declared
    // components, `filter` (an expression over the fields' labels, may be empty) choosing the records.
    int buildIndex(int key, const std::string& components, const std::string& filter);
    // PACK: the table's entries written afresh, in order, so that its pages are full again.
    int pack();

    // The key as this table uses it: an index without declared components has the ones of its
    // last build.
    const KeyDeclaration& keyDecl(int key) const;
    // An index without declared components lives in memory only.
    bool isMemoryIndex(int key) const {
        return key >= 0 && declaration_->keys[key].isIndex() && declaration_->keys[key].components.empty();
    }

    // BLOBs: the memo of that position must be a BLOB.
    std::vector<std::uint8_t>* blob(std::size_t memo);

    // GETSTATE / RESTORESTATE / FREESTATE.
    std::uint64_t saveState();
    int restoreState(std::uint64_t id);
    void freeState(std::uint64_t id) { states_.erase(id); }

    // SEND "TCF": the transaction control file named for this table, empty for the default. Used
    // by the transaction layer.
    std::string tcfName;
    std::int32_t holdSeconds = 0;

    // A table opened without write access refuses changes with 5 even when another table of the
    // same physical file made the shared file writable.
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // While a transaction is active, flushes are deferred (transactions.h).
    bool inTransaction() const { return inTransaction_; }
    void setInTransaction(bool on) { inTransaction_ = on; }

    // Holds and locks (holds.cpp). A table holds at most one record at a time: the record it read
    // last in hold mode, or the one a PUT or DELETE is changing.
    ~QvnTable() override;
    // 0, or 43 when another station holds it (after the quick tries).
    int holdRecord(std::uint32_t record);
    void releaseHold();
    std::uint32_t heldRecord() const { return heldRecord_; }
    // LOCK: 32 when another station has the table locked after `seconds` (0: the quick tries only).
    int lockTable(std::int32_t seconds);
    void unlockTable();
    // Runs a read that may take a hold; while it fails with 43 it is repeated, with the table's
    // position as before the try, until the hold timeout is over (HOLD without seconds gives up at
    // once, -1 never). The retries happen outside any access, so the holder can commit meanwhile.
    template <typename Op> int heldRead(Op op);

    // The record images: record length bytes each.
    const std::string& lastImage() const { return lastImage_; }

private:
    struct Cursor {
        std::string forward; // entries at or after (strict: after) this key part come next
        bool forwardStrict = false;
        std::string backward; // entries at or before (strict: before) this key part come previous
        bool backwardStrict = false;
        std::string range; // the key parts of the sequence all begin with this
        LeafHint hint;     // where the last forward step stood
    };
    struct State {
        Cursor cursor;
        int orderKey;
        std::uint32_t current;
        std::string image;
    };

    QvnTable() = default;

    // A key's entry for `image` of record `record`; false when an OPT key has none.
    bool keyEntry(int key, const std::uint8_t* image, std::uint32_t record, Entry* out) const;
    std::string keyPrefix(int key) const;
    std::uint32_t entryRecord(int key, const Entry& entry) const;
    // The net changes of one change to the table's counters: [0] the data counter, [k + 1] key k.
    using CounterDeltas = std::vector<std::int64_t>;
    CounterDeltas noCounterDeltas() const { return CounterDeltas(declaration_->keys.size() + 1, 0); }
    // Changes key `key` from image `from` to image `to` (either may be null); *net is the change of
    // the key's number of entries (-1, 0 or +1).
    int changeKey(int key, const std::uint8_t* from, const std::uint8_t* to, std::uint32_t record,
                  bool checkDuplicate, std::int64_t* net);
    // Every maintained key; the net changes are added to `deltas`, the counters are not written.
    int maintainKeys(const std::uint8_t* from, const std::uint8_t* to, std::uint32_t record,
                     CounterDeltas* deltas);
    // Writes the counter entries that `deltas` changes (a missing one is created from zero).
    int applyCounters(const CounterDeltas& deltas);
    int readCounter(std::uint8_t which, std::uint32_t* count, std::uint32_t* second, bool* found);
    // Reads record `record` into `image`; `stepped`, when given, is its data entry, read in the
    // same access. `along`: a key read right after, whose way down is taken meanwhile.
    int fetch(std::uint32_t record, std::string* image, bool* found, const Entry* stepped = nullptr,
              std::string_view along = {});
    int load(std::uint32_t record, bool* found, const Entry* stepped = nullptr);
    int step(bool forward);
    int finishChange(int rc);
    int commitChange(int rc);
    int beginChange();
    static std::int64_t retryStart();
    // 0 after a pause while the hold timeout since `start` is not over, else 43.
    int retryDue(std::int64_t start) const;
    // The entries of key `key` (or of the data, -1): the file's, or a memory index's.
    int seekEntry(int key, bool forward, const std::string& at, bool strict, Entry* out, bool* found);
    int findEntry(int key, const std::string& at, Entry* out, bool* found);
    using EntryMap = std::map<std::string, std::string, std::less<>>;
    // Walks the data records and enters each one's entry of `key` (with `filter`, only the records
    // that pass it; `scratch` is the buffer the filter's fields read) into the file or `memory`.
    int fillKey(int key, runtime::CompiledExpression* filter, std::vector<std::uint8_t>* scratch,
                EntryMap* memory);
    int buildInAccess(const std::vector<int>& keys, runtime::CompiledExpression* filter,
                      std::vector<std::uint8_t>* scratch);

    // The stored memo segments of a record, keys and data, for the WATCH comparison.
    int memoStamp(std::uint32_t record, std::string* out);

    // Record buffer conversion for OEM tables.
    void toStored(std::string& image) const;
    void fromStored(std::string& image) const;

    // Memos (table_memos.cpp).
    // What can have changed the stored entries since: see table_memos.cpp.
    struct TreeState {
        std::uint64_t changes = 0; // EntryTree::changes()
        std::uint32_t counter = 0; // the header's change counter
        bool dirty = false;        // pages changed and not yet committed
        bool operator==(const TreeState&) const = default;
    };
    // A memo's content as the record stored it when it was read, added or put last.
    struct MemoSnapshot {
        bool valid = false;
        std::string content; // as stored: after the OEM conversion, without a BLOB's length
    };
    // The record the snapshots belong to (0: none) and the tree state they were taken in.
    struct MemosSeen {
        std::uint32_t record = 0;
        TreeState state;
    };
    TreeState treeState() const;
    // With `trusted` the snapshots show what is stored for `record`: a memo equal to its snapshot
    // is left alone without reading its segments.
    int writeMemos(std::uint32_t record, bool trusted);
    int writeSegments(EntryCursor& cursor, std::uint32_t record, std::uint8_t number, bool isBlob,
                      std::string_view content);
    int readMemos(std::uint32_t record);
    int deleteMemos(std::uint32_t record);
    // The memo's content in stored form: a MEMO without its trailing spaces, a BLOB at its length,
    // converted to OEM (into `scratch`) when the table has that attribute and the memo is not
    // BINARY.
    std::string_view storedContent(std::size_t memo, std::string* scratch) const;

    std::shared_ptr<QvnFile> file_;
    FileDeclaration* declaration_ = nullptr;
    std::unique_ptr<FileDeclaration> owned_; // read mode: the declaration filled from the file
    std::vector<std::uint8_t> ownedRecord_;
    std::vector<std::vector<std::uint8_t>> ownedMemos_, ownedBlobs_;
    std::string name_;
    std::uint32_t number_ = 0;
    CharTables tables_;
    KeyContext context_;
    bool oem_ = false;
    std::uint32_t options_ = table_option::kOpen;
    std::uint32_t current_ = 0;
    std::string lastImage_;
    std::string loadImage_; // storage for the next image read
    Entry fetched_;         // storage for the next data entry read
    Entry stepped_;         // storage for the next key entry a step reads
    std::string storedImage_;
    int orderKey_ = -1;
    Cursor cursor_;
    bool inTransaction_ = false;
    bool readOnly_ = false;
    std::uint32_t heldRecord_ = 0;
    bool tableLocked_ = false;
    std::string watchMemos_;
    std::vector<MemoSnapshot> memoSnapshots_;
    MemosSeen memosSeen_;
    bool memosWritten_ = false; // by the change under way, for finishChange
    std::map<std::uint64_t, State> states_;
    std::map<int, KeyDeclaration> builtComponents_; // indexes without declared components
    std::map<int, EntryMap> memoryIndexes_;
    std::uint64_t nextState_ = 1;
};

template <typename Op> int QvnTable::heldRead(Op op) {
    const Cursor cursor = cursor_;
    const int orderKey = orderKey_;
    const std::uint32_t current = current_;
    std::int64_t start = -1;
    for (;;) {
        const int rc = op();
        // A read that waits for a hold also waits out the moments in which another station's
        // commit keeps readers out (5): the holder's PUT commits just before it lets go.
        if (rc != runtime::error::kRecordHeld && !(rc == runtime::error::kAccessDenied && holdSeconds != 0))
            return rc;
        cursor_ = cursor;
        orderKey_ = orderKey;
        current_ = current;
        if (start < 0) start = retryStart();
        if (int due = retryDue(start)) return rc == runtime::error::kAccessDenied ? rc : due;
    }
}

} // namespace docket::drivers::qvn
