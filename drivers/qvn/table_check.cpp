#include "drivers/qvn/table_check.h"

#include <map>
#include <set>

#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/transactions.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

void checkTable(const std::shared_ptr<QvnFile>& file, const TableInfo& info,
                std::vector<std::string>* problems) {
    const std::string label = "table " + info.name + ": ";
    FileDeclaration bare;
    bare.label = info.name;
    std::unique_ptr<QvnTable> table;
    if (int rc = QvnTable::open(file, info.name, &bare, &table)) {
        problems->push_back(label + (rc == runtime::error::kInvalidRecordDeclaration ? "definition does not parse"
                                              : "cannot be opened (error " + std::to_string(rc) + ")"));
        return;
    }
    const FileDeclaration& d = table->declaration();
    if (file->beginAccess(false, true) != 0) return;
    std::set<std::uint32_t> records;
    std::map<int, std::uint32_t> keyCounts;
    std::map<int, std::uint32_t> counters; // -1 data
    std::vector<std::pair<std::uint32_t, std::uint8_t>> memos;
    std::vector<std::pair<int, std::uint32_t>> keyRecords;
    const std::string prefix = tablePrefix(info.number);
    Entry e;
    bool found = false;
    for (std::string at = prefix;;) {
        if (file->seekForward(at, at != prefix, &e, &found) != 0 || !found || !startsWith(e.key(), prefix))
            break;
        at = std::string(e.key());
        const std::string_view key = e.key(), data = e.data();
        if (key.size() < 5) {
            problems->push_back(label + "entry without kind");
            continue;
        }
        const auto kind = static_cast<std::uint8_t>(key[4]);
        if (kind < kMaxKeys) {
            if (kind >= d.keys.size()) {
                problems->push_back(label + "entry of undeclared key " + std::to_string(kind));
                continue;
            }
            const bool dup = d.keys[kind].flags & key_flag::kDup;
            const std::size_t expected = 5 + keyLength(d, d.keys[kind]) + (dup ? 4 : 0);
            if (key.size() != expected || (!dup && data.size() != 4)) {
                problems->push_back(label + "key " + d.keys[kind].label + " entry of wrong length");
                continue;
            }
            keyRecords.push_back({kind, dup ? readBig32(key, key.size() - 4) : readLittle32(data, 0)});
            ++keyCounts[kind];
        } else if (kind == kKindData) {
            if (key.size() != 9)
                problems->push_back(label + "record entry of wrong length");
            else if (data.size() != d.recordLength)
                problems->push_back(label + "record " + std::to_string(readBig32(key, 5)) + " has length " +
                                    std::to_string(data.size()) + ", not " + std::to_string(d.recordLength));
            else
                records.insert(readBig32(key, 5));
        } else if (kind == kKindCounter) {
            if (key.size() != 6 || data.size() != 8)
                problems->push_back(label + "counter entry of wrong length");
            else {
                const auto which = static_cast<std::uint8_t>(key[5]);
                counters[which == kKindData ? -1 : which] = readLittle32(data, 0);
            }
        } else if (kind == kKindMemo) {
            if (key.size() != 12)
                problems->push_back(label + "memo segment of wrong length");
            else
                memos.push_back({readBig32(key, 5), static_cast<std::uint8_t>(key[9])});
        }
    }
    // An INDEX is not kept up to date between builds: its entries of deleted records are stepped
    // over when read, and are no fault.
    for (auto [key, record] : keyRecords)
        if (!records.count(record) && !d.keys[key].isIndex())
            problems->push_back(label + "key " + d.keys[key].label + " points to missing record " +
                                std::to_string(record));
    for (auto [record, memo] : memos)
        if (!records.count(record) || memo >= d.memos.size())
            problems->push_back(label + "memo segment of record " + std::to_string(record) +
                                " belongs to no record");
    if (counters[-1] != records.size())
        problems->push_back(label + "record counter " + std::to_string(counters[-1]) + ", real count " +
                            std::to_string(records.size()));
    for (std::size_t k = 0; k < d.keys.size(); ++k) {
        if (d.keys[k].isIndex()) continue;
        const int key = static_cast<int>(k);
        if (counters[key] != keyCounts[key])
            problems->push_back(label + "key " + d.keys[k].label + " counter " +
                                std::to_string(counters[key]) + ", real count " +
                                std::to_string(keyCounts[key]));
    }
    // Every record has its entry in every maintained key.
    for (std::uint32_t record : records) {
        if (table->getByPointer(record) != 0) {
            problems->push_back(label + "record " + std::to_string(record) + " cannot be read");
            continue;
        }
        const auto* image = reinterpret_cast<const std::uint8_t*>(table->lastImage().data());
        for (std::size_t k = 0; k < d.keys.size(); ++k) {
            const KeyDeclaration& key = d.keys[k];
            if (key.isIndex() || ((key.flags & key_flag::kOpt) && keyIsEmpty(d, key, image))) continue;
            std::string part = kindPrefix(info.number, static_cast<std::uint8_t>(k)) +
                               encodeKey(d, key, image, table->keyContext());
            if (key.flags & key_flag::kDup) appendBig32(&part, record);
            if (file->find(part, &e, &found) != 0 || !found ||
                (!(key.flags & key_flag::kDup) && readLittle32(e.data(), 0) != record))
                problems->push_back(label + "record " + std::to_string(record) + " has no entry in key " +
                                    key.label);
        }
    }
    file->endAccess();
}

} // namespace

void checkTables(const std::string& path, const std::string& password, std::vector<std::string>* problems) {
    std::shared_ptr<QvnFile> file;
    installTransactionCheck();
    if (QvnFile::open(path, 0x40, password, &file) != 0) return;
    std::vector<TableInfo> tables;
    if (listTables(*file, &tables) != 0) {
        problems->push_back("table names cannot be read");
        return;
    }
    for (const TableInfo& info : tables) checkTable(file, info, problems);
}

} // namespace docket::drivers::qvn
