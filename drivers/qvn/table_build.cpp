// BUILD of keys and indexes, and PACK.
//
// A build of keys in the file runs in one write access: the key's entries are removed, every data
// record's entry is entered again, and the counter is set. Outside a transaction the access ends
// with a flush, so a build that fails (40 for a duplicate in a key without DUP, 93 when cancelled)
// is discarded whole and the key stays as it was.
//
// An index without declared components takes them from the build's text and lives in memory only:
// its entries sit in an ordered map of the open table, with the same key parts as entries in the
// file would have, so that reading through it works exactly like reading through a stored key.
// It is never written, and goes when the table closes or the index is built again.
#include <cstring>
#include <new>

#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "runtime/expression/binding_scopes.h"
#include "runtime/core/char_tables.h"
#include "runtime/expression/expression.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

thread_local std::function<bool(std::uint64_t)> buildProgress;

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

// The part of a label after its prefix ("MEM:DATE" -> "DATE"); empty without a prefix.
std::string shortLabel(const std::string& label) {
    const std::size_t colon = label.find(':');
    return colon == std::string::npos ? std::string() : label.substr(colon + 1);
}

// The 1-based number of the field called `name`: by its whole label first, then by the label
// without its prefix when exactly one field has that short label. 0 when none.
int fieldByLabel(const FileDeclaration& d, const std::string& name) {
    const std::string wanted = runtime::upperText(name);
    int byShort = 0, shortCount = 0;
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        if (runtime::upperText(d.fields[i].label) == wanted) return static_cast<int>(i + 1);
        if (runtime::upperText(shortLabel(d.fields[i].label)) == wanted) {
            byShort = static_cast<int>(i + 1);
            ++shortCount;
        }
    }
    return shortCount == 1 ? byShort : 0;
}

// "+FIELD,-FIELD": components by label, "-" descending, "+" or no sign ascending. 76 for a text
// that names no field or is empty, 75 for a field a key cannot use.
int parseComponents(const FileDeclaration& d, const std::string& text, std::vector<std::int32_t>* out) {
    out->clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        std::string part =
            trimmed(std::string_view(text).substr(at, comma == std::string::npos ? comma : comma - at));
        bool descending = false;
        if (!part.empty() && (part[0] == '+' || part[0] == '-')) {
            descending = part[0] == '-';
            part = trimmed(std::string_view(part).substr(1));
        }
        const int field = part.empty() ? 0 : fieldByLabel(d, part);
        if (field == 0) return runtime::error::kInvalidIndexString;
        out->push_back(descending ? -field : field);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return 0;
}

// The filter's names are the table's fields, reading a private image of each record so that a
// build leaves the program's record buffer alone. Bound by whole label and, when unambiguous, by
// the label without its prefix. The driver binds them itself: the runtime's helper for this binds
// the program's buffer and lives above the drivers. Memos are not visible to a build's filter (a
// build walks the data records only).
class FilterScope {
public:
    FilterScope(const FileDeclaration& d, std::uint8_t* image) {
        runtime::pushScope(true);
        std::map<std::string, int> shortCount;
        for (const auto& f : d.fields)
            if (!shortLabel(f.label).empty()) ++shortCount[runtime::upperText(shortLabel(f.label))];
        for (const auto& f : d.fields) {
            if (f.type == TypeCode::Group || f.elements > 1) continue;
            const runtime::BoundVariable v{f.type, image + f.offset, f.size, f.places};
            if (!runtime::isBindable(v)) continue;
            runtime::bindVariable(f.label, v);
            const std::string s = runtime::upperText(shortLabel(f.label));
            if (!s.empty() && shortCount[s] == 1 && fieldByLabel(d, s) != 0) runtime::bindVariable(s, v);
        }
    }
    ~FilterScope() { runtime::popScope(); }
    FilterScope(const FilterScope&) = delete;
    FilterScope& operator=(const FilterScope&) = delete;
};

} // namespace

void setBuildProgress(std::function<bool(std::uint64_t records)> progress) {
    buildProgress = std::move(progress);
}

int QvnTable::fillKey(int key, runtime::CompiledExpression* filter, std::vector<std::uint8_t>* scratch,
                      EntryMap* memory) {
    const bool dup = keyDecl(key).flags & key_flag::kDup;
    if (!memory)
        if (int rc = erasePrefix(*file_, keyPrefix(key))) return rc;
    std::uint64_t walked = 0;
    std::uint32_t count = 0;
    const int walk = forEachWithPrefix(*file_, keyPrefix(-1), [&](const Entry& e) -> int {
        if (e.keyLength != 9) return 0;
        if (e.data().size() != declaration_->recordLength) return kInvalidDataFile;
        const std::uint32_t record = readBig32(e.key(), 5);
        // Keys are built from the program's form of the record, before the OEM conversion.
        std::string image(e.data());
        fromStored(image);
        if (buildProgress && !buildProgress(++walked)) return runtime::error::kBuildCancelled;
        if (filter) {
            std::memcpy(scratch->data(), image.data(), image.size());
            if (!filter->isTrue()) return 0;
        }
        Entry entry;
        if (!keyEntry(key, reinterpret_cast<const std::uint8_t*>(image.data()), record, &entry)) return 0;
        if (memory) {
            if (!memory->emplace(std::string(entry.key()), std::string(entry.data())).second) return runtime::error::kDuplicateKey;
        } else {
            bool existed = false;
            if (int rc = file_->insert(entry, &existed)) return rc;
            if (existed) return dup ? kInvalidDataFile : runtime::error::kDuplicateKey;
        }
        ++count;
        return 0;
    });
    if (walk) return walk;
    if (memory) return 0;
    std::uint32_t n = 0, second = 0;
    bool found = false, existed = false;
    if (int rc = readCounter(static_cast<std::uint8_t>(key), &n, &second, &found)) return rc;
    Entry counter;
    counter.bytes = counterKey(number_, static_cast<std::uint8_t>(key));
    counter.keyLength = static_cast<std::uint16_t>(counter.bytes.size());
    appendLittle32(&counter.bytes, count);
    appendLittle32(&counter.bytes, second);
    return file_->replace(counter, &existed);
}

int QvnTable::buildInAccess(const std::vector<int>& keys, runtime::CompiledExpression* filter,
                            std::vector<std::uint8_t>* scratch) {
    if (file_->buildRunning) return runtime::error::kBuildInProgress;
    if (int rc = beginChange()) return rc;
    file_->buildRunning = true;
    // Memory indexes are built aside and take their place only when the whole build succeeded.
    std::map<int, EntryMap> built;
    int rc = 0;
    try {
        for (int key : keys) {
            if (rc) break;
            rc = fillKey(key, filter, scratch, isMemoryIndex(key) ? &built[key] : nullptr);
        }
    } catch (const std::bad_alloc&) {
        rc = 8;
    }
    file_->buildRunning = false;
    if (rc == 0)
        for (auto& [key, entries] : built) memoryIndexes_[key] = std::move(entries);
    return finishChange(rc);
}

int QvnTable::buildKeys(int key) {
    if (readOnly_) return runtime::error::kAccessDenied;
    std::vector<int> keys;
    for (int k = 0; k < static_cast<int>(declaration_->keys.size()); ++k) {
        if (key >= 0 && k != key && !(options_ & table_option::kFullBuild)) continue;
        // An index without declared components has nothing to build until it was given some.
        if (isMemoryIndex(k) && !builtComponents_.count(k)) {
            if (k == key) return runtime::error::kInvalidIndexString;
            continue;
        }
        keys.push_back(k);
    }
    return buildInAccess(keys, nullptr, nullptr);
}

int QvnTable::buildIndex(int key, const std::string& components, const std::string& filterText) {
    if (readOnly_) return runtime::error::kAccessDenied;
    if (file_->buildRunning) return runtime::error::kBuildInProgress;
    // A key kept up to date by ADD, PUT and DELETE holds every record: it takes no filter.
    if (!declaration_->keys[key].isIndex() && !trimmed(filterText).empty()) return runtime::error::kInvalidIndexString;
    const bool hadComponents = builtComponents_.count(key) != 0;
    KeyDeclaration previous;
    if (isMemoryIndex(key)) {
        // Our choice: the declared components of an index win; the text gives an index without
        // declared components its own.
        KeyDeclaration given = declaration_->keys[key];
        if (int rc = parseComponents(*declaration_, components, &given.components)) return rc;
        if (int rc = checkKeyComponents(*declaration_, given)) return rc;
        if (keyLength(*declaration_, given) > kMaxEntryLength - 13) return runtime::error::kInvalidKeyLength;
        if (hadComponents) previous = builtComponents_[key];
        builtComponents_[key] = std::move(given);
    }
    std::vector<std::uint8_t> scratch(declaration_->recordLength);
    int rc = 0;
    {
        FilterScope scope(*declaration_, scratch.data());
        std::unique_ptr<runtime::CompiledExpression> filter;
        if (!trimmed(filterText).empty()) {
            filter = runtime::compileExpression(filterText);
            if (!filter) rc = 76;
        }
        if (rc == 0) rc = buildInAccess({key}, filter.get(), &scratch);
    }
    if (rc && isMemoryIndex(key)) {
        if (hadComponents)
            builtComponents_[key] = std::move(previous);
        else
            builtComponents_.erase(key);
    }
    return rc;
}

int QvnTable::pack() {
    if (readOnly_) return runtime::error::kAccessDenied;
    if (file_->buildRunning) return runtime::error::kBuildInProgress;
    // Deleting never merges pages, so a table that shrank may lie in sparse pages. PACK takes the
    // table's entries a stretch at a time, erases them and inserts them again in order: the pages
    // the stretch emptied are released and the entries fill new pages from the left. Each stretch
    // is one change of its own (flushed outside a transaction), leaving the same entries as before,
    // so an interrupted PACK loses nothing.
    constexpr std::size_t kStretch = 2048;
    const std::string prefix = tablePrefix(number_);
    std::string from = prefix;
    bool strict = false;
    for (;;) {
        if (int rc = beginChange()) return rc;
        std::vector<Entry> stretch;
        int rc = 0;
        try {
            while (rc == 0 && stretch.size() < kStretch) {
                Entry e;
                bool found = false;
                rc = file_->seekForward(from, strict, &e, &found);
                if (rc || !found || !startsWith(e.key(), prefix)) break;
                from = std::string(e.key());
                strict = true;
                stretch.push_back(std::move(e));
            }
        } catch (const std::bad_alloc&) {
            rc = 8;
        }
        bool existed = false;
        for (std::size_t i = 0; rc == 0 && i < stretch.size(); ++i)
            rc = file_->erase(stretch[i].key(), &existed);
        for (std::size_t i = 0; rc == 0 && i < stretch.size(); ++i) rc = file_->insert(stretch[i], &existed);
        const bool last = stretch.size() < kStretch;
        if (int done = finishChange(rc)) return done;
        if (last) return 0;
    }
}

} // namespace docket::drivers::qvn
