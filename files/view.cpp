#include "files/view.h"
#include "files/read_run.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "runtime/core/error_state.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "runtime/core/error_codes.h"

namespace docket::runtime {

using drivers::DriverFile;
using drivers::FileDeclaration;
using drivers::KeyDeclaration;

struct View::JoinState {
    ViewJoin* declaration = nullptr;
    const FileDeclaration* parent = nullptr;
    std::unique_ptr<CompiledExpression> link;
    std::vector<JoinState> children;
};

namespace {

bool isStringType(drivers::TypeCode type) {
    return type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString;
}

const drivers::FieldDeclaration& fieldOf(const FileDeclaration& file, int number) {
    return file.fields[static_cast<std::size_t>(std::abs(number) - 1)];
}

} // namespace

View::View(ViewDeclaration declaration) : declaration_(std::move(declaration)) {
    if (declaration_.primary && declaration_.primary->declaration)
        label_ = declaration_.primary->declaration->label;
}

View::~View() {
    if (open_) close();
}

int View::finish(const char* operation, const std::string& argument, int rc) {
    if (rc == kInvalidViewExpression)
        setErrorWithText(rc, "Invalid view expression");
    else if (rc)
        setError(rc);
    else
        clearError();
    trace_.view(operation, label_, argument, rc);
    return rc;
}

int View::fileOp(const char* operation, DriverFile& file, int rc) {
    if (trace_.filesOn()) trace_.file(operation, file.declaration ? file.declaration->label : "", rc);
    return rc;
}

// ---- Opening and settings -------------------------------------------------------------------------

int View::open(unsigned mode) {
    if (open_) close();
    DriverFile* primary = declaration_.primary;
    if (!primary || !primary->declaration || !primary->state) return finish("OPEN", "", error::kFileNotOpen);
    joins_.clear();
    joinedFiles_.clear();
    linksReadMemo_ = joinsPrimary_ = false;
    // Builds the join states below `parent`; 0 or the code that refuses the declaration.
    auto build = [&](auto& self, std::vector<ViewJoin>& joins, const FileDeclaration& parent,
                     std::vector<JoinState>& out) -> int {
        for (ViewJoin& j : joins) {
            if (!j.file || !j.file->declaration || !j.file->state) return error::kFileNotOpen;
            const FileDeclaration& d = *j.file->declaration;
            JoinState state;
            state.declaration = &j;
            state.parent = &parent;
            if (j.key >= 0) {
                if (static_cast<std::size_t>(j.key) >= d.keys.size()) return error::kInvalidRecordDeclaration;
                const KeyDeclaration& key = d.keys[static_cast<std::size_t>(j.key)];
                if (j.parentFields.empty() || j.parentFields.size() > key.components.size())
                    return error::kInvalidRecordDeclaration;
                for (std::size_t i = 0; i < j.parentFields.size(); ++i) {
                    const int p = j.parentFields[i];
                    if (p < 1 || static_cast<std::size_t>(p) > parent.fields.size()) return error::kInvalidRecordDeclaration;
                    if (!canCopyField(fieldOf(parent, p), fieldOf(d, key.components[i])))
                        return error::kInvalidRecordDeclaration;
                }
            } else {
                state.link = compileExpression(j.link);
                if (!state.link) return kInvalidViewExpression;
                linksReadMemo_ = linksReadMemo_ || readsMemo(state.link->root(), *primary->declaration);
            }
            joinsPrimary_ = joinsPrimary_ || j.file == primary || &d == primary->declaration;
            joinedFiles_.push_back(&d);
            if (int rc = self(self, j.joins, d, state.children)) return rc;
            out.push_back(std::move(state));
        }
        return 0;
    };
    if (int rc = build(build, declaration_.joins, *primary->declaration, joins_)) {
        joins_.clear();
        joinedFiles_.clear();
        return finish("OPEN", "", rc);
    }
    open_ = true;
    openMode_ = mode;
    orderText_.clear();
    filterText_.clear();
    order_.clear();
    terms_.clear();
    list_.clear();
    listStale_ = true;
    current_.clear();
    skipOnPrevious_.clear();
    beforeFirst_ = true;
    primaryReads_ = 0;
    memoPending_ = false;
    chooseMode();
    chooseMemoReading();
    return finish("OPEN", std::to_string(mode), 0);
}

int View::close() {
    if (!open_) return finish("CLOSE", "", error::kFileNotOpen);
    open_ = false;
    order_.clear();
    terms_.clear();
    joins_.clear();
    list_.clear();
    return finish("CLOSE", "", 0);
}

void View::chooseMode() {
    match_ = {};
    if (order_.empty()) {
        mode_ = Mode::File;
        return;
    }
    match_ = matchOrderKey(order_, *declaration_.primary->declaration);
    mode_ = match_.key >= 0 ? Mode::Key : Mode::Sort;
}

int View::setOrder(std::string_view text) {
    if (!open_) return finish("ORDER", std::string(text), error::kFileNotOpen);
    std::vector<OrderComponent> order;
    if (!compileOrder(text, *declaration_.primary->declaration, &order))
        return finish("ORDER", std::string(text), kInvalidViewExpression);
    order_ = std::move(order);
    orderText_ = std::string(text);
    chooseMode();
    chooseMemoReading();
    listStale_ = true;
    current_.clear();
    beforeFirst_ = true;
    afterLast_ = false;
    return finish("ORDER", orderText_, 0);
}

int View::setFilter(std::string_view text) {
    if (!open_) return finish("FILTER", std::string(text), error::kFileNotOpen);
    std::vector<FilterTerm> terms;
    if (!compileFilter(text, *declaration_.primary->declaration, joinedFiles_, &terms))
        return finish("FILTER", std::string(text), kInvalidViewExpression);
    terms_ = std::move(terms);
    filterText_ = std::string(text);
    chooseMemoReading();
    listStale_ = true;
    current_.clear();
    beforeFirst_ = true;
    afterLast_ = false;
    return finish("FILTER", filterText_, 0);
}

void View::setBuffer(int recordsPerPage, int pagesBehind, int pagesAhead, int timeoutSeconds) {
    recordsPerPage_ = recordsPerPage;
    pagesBehind_ = pagesBehind;
    pagesAhead_ = pagesAhead;
    timeout_ = timeoutSeconds;
    trace_.view("BUFFER", label_,
                std::to_string(recordsPerPage) + "," + std::to_string(pagesBehind) + "," +
                    std::to_string(pagesAhead) + "," + std::to_string(timeoutSeconds),
                0);
}

void View::chooseMemoReading() {
    const FileDeclaration& d = *declaration_.primary->declaration;
    bool orderReadsMemo = false;
    for (const OrderComponent& c : order_)
        orderReadsMemo = orderReadsMemo || (c.expression && readsMemo(c.expression->root(), d));
    deferMemos_ = !d.memos.empty() && !terms_.empty() && !terms_[0].usesJoins && !terms_[0].usesPrimaryMemo &&
                  !joinsPrimary_ && !orderReadsMemo;
    deferred_ = rereads_ = 0;
}

// Leaving the memos out pays while most records read fail the filter: a record that needs its
// memos after all is read twice, which costs about as much as reading the memos of two records
// that fail. The first records read with a filter always try it; then it goes on while fewer than
// a third of the records read without memos had to be read again.
bool View::deferMemoNow() const {
    return deferMemos_ && (deferred_ < 32 || rereads_ * 3 < deferred_);
}

// ---- Key and record order -------------------------------------------------------------------------

int View::driverSet() {
    DriverFile& file = *declaration_.primary;
    if (mode_ == Mode::Key)
        return fileOp("SET", file,
                      runtime::set(KeyRef{file, file.declaration->keys[std::size_t(match_.key)]}));
    return fileOp("SET", file, runtime::set(file));
}

int View::driverStep(bool forward) {
    DriverFile& file = *declaration_.primary;
    const bool withoutMemo = deferMemoNow() && fileOp("NOMEMO", file, runtime::noMemo(file)) == 0;
    const int rc = forward ? fileOp("NEXT", file, runtime::next(file))
                           : fileOp("PREVIOUS", file, runtime::previous(file));
    if (rc == 0) {
        memoPending_ = withoutMemo;
        deferred_ += withoutMemo;
        ++primaryReads_;
    }
    return rc;
}

// View positions of key and record order: "F:" or "K<key><A|B>:" before the driver's own.
int View::driverPosition(std::string* out) {
    DriverFile& file = *declaration_.primary;
    std::string p;
    int rc = 0;
    if (mode_ == Mode::Key) {
        rc = runtime::position(KeyRef{file, file.declaration->keys[std::size_t(match_.key)]}, p);
        *out = modePrefix() + p;
    } else {
        rc = runtime::position(file, p);
        *out = "F:" + p;
    }
    return fileOp("POSITION", file, rc);
}

namespace {
// The driver's part of a view position of the view's current mode; false when it is of another.
bool driverPart(const std::string& position, const std::string& prefix, std::string* out) {
    if (position.compare(0, prefix.size(), prefix) != 0) return false;
    *out = position.substr(prefix.size());
    return true;
}
} // namespace

int View::driverReset(const std::string& position) {
    DriverFile& file = *declaration_.primary;
    if (mode_ == Mode::Key)
        return fileOp(
            "RESET", file,
            runtime::reset(KeyRef{file, file.declaration->keys[std::size_t(match_.key)]}, position));
    return fileOp("RESET", file, runtime::reset(file, position));
}

int View::driverReget(const std::string& position) {
    DriverFile& file = *declaration_.primary;
    const int rc =
        mode_ == Mode::Key
            ? fileOp("REGET", file,
                     runtime::reget(KeyRef{file, file.declaration->keys[std::size_t(match_.key)]}, position))
            : fileOp("REGET", file, runtime::reget(file, position));
    if (rc == 0) memoPending_ = false;
    return rc;
}

// After SET through a key: when a filter condition on the key's leading field bounds the start of
// the read, positions the key at the condition's value, then steps back over the records of that
// same value (the key's other components may order them before the position), so that reading
// continues at the first record that can pass.
int View::startAtCondition(bool* started) {
    *started = false;
    FileDeclaration& d = *declaration_.primary->declaration;
    const KeyDeclaration& key = d.keys[std::size_t(match_.key)];
    const int leading = std::abs(key.components[0]);
    const drivers::FieldDeclaration& field = fieldOf(d, leading);
    if (!isIntegerField(field.type)) return 0;
    const bool driverForward = !match_.backwards;
    const bool rising = (key.components[0] > 0) == driverForward;
    for (FilterTerm& t : terms_) {
        if (t.field != leading || t.mode != CompareMode::Integers) continue;
        const bool bounds =
            rising ? (t.op == ExprOp::Equal || t.op == ExprOp::Greater || t.op == ExprOp::GreaterEqual)
                   : (t.op == ExprOp::Equal || t.op == ExprOp::Less || t.op == ExprOp::LessEqual);
        if (!bounds) continue;
        if (!storeInteger(field, d.record, evalInteger(*t.valueSide))) continue;
        DriverFile& file = *declaration_.primary;
        if (int rc = fileOp("SET", file, runtime::set(KeyRef{file, key}, key))) return rc;
        for (;;) {
            const int rc = driverStep(!driverForward);
            if (rc == error::kRecordNotAvailable) return driverSet(); // nothing before the value: read from the start
            if (rc) return rc;
            if (t.compareField() != 0) break;
        }
        *started = true;
        return 0;
    }
    return 0;
}

// True when a condition on the key's leading field shows that neither this record nor any later
// one in the direction of reading can pass.
bool View::stopsHere(bool viewForward) {
    if (mode_ != Mode::Key || terms_.empty()) return false;
    const FileDeclaration& d = *declaration_.primary->declaration;
    const KeyDeclaration& key = d.keys[std::size_t(match_.key)];
    const int leading = std::abs(key.components[0]);
    if (isStringType(fieldOf(d, leading).type)) return false;
    const bool risingForward = (key.components[0] > 0) == !match_.backwards;
    const bool rising = viewForward == risingForward;
    for (const FilterTerm& t : terms_) {
        if (t.field != leading) continue;
        const int c = t.compareField();
        if (rising) {
            if (((t.op == ExprOp::Equal || t.op == ExprOp::LessEqual) && c > 0) ||
                (t.op == ExprOp::Less && c >= 0))
                return true;
        } else if (((t.op == ExprOp::Equal || t.op == ExprOp::GreaterEqual) && c < 0) ||
                   (t.op == ExprOp::Greater && c <= 0)) {
            return true;
        }
    }
    return false;
}

int View::stepKeyed(bool viewForward) {
    if (!viewForward && beforeFirst_) return error::kRecordNotAvailable;
    if (viewForward && afterLast_) return error::kRecordNotAvailable;
    const bool driverForward = viewForward != (mode_ == Mode::Key && match_.backwards);
    std::string skip;
    skip.swap(skipOnPrevious_);
    bool first = true;
    for (;;) {
        const int rc = driverStep(driverForward);
        if (rc == error::kRecordNotAvailable) {
            if (int restore = restoreCurrent()) return restore;
            return error::kRecordNotAvailable;
        }
        if (rc) return rc;
        if (first && !viewForward && !skip.empty()) {
            std::string here;
            if (int prc = driverPosition(&here)) return prc;
            if (here == skip) {
                first = false;
                continue;
            }
        }
        first = false;
        if (stopsHere(viewForward)) {
            if (int restore = restoreCurrent()) return restore;
            return error::kRecordNotAvailable;
        }
        bool passes = false;
        if (int arc = accept(&passes)) return arc;
        if (!passes) continue;
        beforeFirst_ = afterLast_ = false;
        return driverPosition(&current_);
    }
}

// Puts the last record returned back into the buffers and the read sequence after it; without
// one, goes back to where SET or RESET put the view.
int View::restoreCurrent() {
    if (current_.empty()) {
        if (!lastReset_.empty()) {
            skipOnPrevious_ = lastReset_;
            const std::size_t colon = lastReset_.find(':');
            return driverReset(lastReset_.substr(colon + 1));
        }
        return driverSet();
    }
    const std::string part = current_.substr(current_.find(':') + 1);
    if (driverReget(part) != 0) return driverReset(part);
    bool passes = false;
    return fetchJoins(joins_, &passes);
}

// ---- Sorted lists ------------------------------------------------------------------------------

int View::readList() {
    DriverFile& file = *declaration_.primary;
    list_.clear();
    if (int rc = fileOp("SET", file, runtime::set(file))) return rc;
    for (;;) {
        const int rc = driverStep(true);
        if (rc == error::kRecordNotAvailable) break;
        if (rc) return rc;
        bool passes = false;
        // The list keeps record numbers: its records are read again, memos and all, when shown.
        if (int arc = accept(&passes, false)) return arc;
        if (!passes) continue;
        std::uint32_t record = 0;
        if (int prc = fileOp("POINTER", file, runtime::pointer(file, record))) return prc;
        list_.push_back(sortEntry(order_, record));
    }
    std::sort(list_.begin(), list_.end(),
              [&](const SortEntry& a, const SortEntry& b) { return compareEntries(order_, a, b) < 0; });
    listStale_ = false;
    return 0;
}

int View::loadListEntry(std::size_t index, bool* passes) {
    DriverFile& file = *declaration_.primary;
    *passes = false;
    const int rc = fileOp("GET", file, runtime::get(file, RecordPointer{list_[index].record}));
    if (rc == error::kRecordNotFound) return 0; // deleted since the list was read
    if (rc) return rc;
    memoPending_ = false;
    ++primaryReads_;
    return accept(passes);
}

namespace {
std::size_t lowerBound(const std::vector<SortEntry>& list, const std::vector<OrderComponent>& order,
                       const SortEntry& at) {
    return static_cast<std::size_t>(std::lower_bound(list.begin(), list.end(), at,
                                                     [&](const SortEntry& a, const SortEntry& b) {
                                                         return compareEntries(order, a, b) < 0;
                                                     }) -
                                    list.begin());
}
} // namespace

int View::stepSorted(bool viewForward) {
    if (listStale_) {
        if (int rc = readList()) return rc;
        SortEntry at;
        if (!current_.empty() && decodeSortPosition(current_, order_.size(), &at)) {
            const std::size_t i = lowerBound(list_, order_, at);
            const bool same = i < list_.size() && list_[i].record == at.record;
            nextIndex_ = static_cast<std::ptrdiff_t>(same ? i + 1 : i);
            previousIndex_ = static_cast<std::ptrdiff_t>(i) - 1;
        }
    }
    if (!viewForward && beforeFirst_) return error::kRecordNotAvailable;
    const std::ptrdiff_t savedNext = nextIndex_, savedPrevious = previousIndex_;
    bool loadedOther = false;
    for (;;) {
        const std::ptrdiff_t i = viewForward ? nextIndex_ : previousIndex_;
        if (i < 0 || i >= static_cast<std::ptrdiff_t>(list_.size())) {
            nextIndex_ = savedNext;
            previousIndex_ = savedPrevious;
            if (loadedOther && !current_.empty()) {
                // The last record returned goes back into the buffers.
                SortEntry at;
                if (decodeSortPosition(current_, order_.size(), &at)) {
                    bool passes = false;
                    const std::size_t c = lowerBound(list_, order_, at);
                    if (c < list_.size() && list_[c].record == at.record)
                        if (int rc = loadListEntry(c, &passes)) return rc;
                }
            }
            return error::kRecordNotAvailable;
        }
        nextIndex_ = i + 1;
        previousIndex_ = i - 1;
        bool passes = false;
        if (int rc = loadListEntry(static_cast<std::size_t>(i), &passes)) return rc;
        loadedOther = true;
        if (!passes) continue;
        beforeFirst_ = afterLast_ = false;
        current_ = encodeSortPosition(list_[static_cast<std::size_t>(i)]);
        return 0;
    }
}

// ---- The record in the buffers ---------------------------------------------------------------

int View::termsPass(bool beforeJoins, bool* passes, bool* wantsMemo) {
    *passes = true;
    bool joinsReached = false;
    for (FilterTerm& t : terms_) {
        joinsReached = joinsReached || t.usesJoins;
        if (joinsReached == beforeJoins) {
            if (beforeJoins) break;
            continue;
        }
        if (t.usesPrimaryMemo && memoPending_) {
            *wantsMemo = true;
            *passes = false;
            return 0;
        }
        if (!t.expression->isTrue()) {
            *passes = false;
            return 0;
        }
    }
    return 0;
}

int View::acceptRecord(bool* passes, bool* wantsMemo) {
    *wantsMemo = false;
    if (int rc = termsPass(true, passes, wantsMemo)) return rc;
    if (!*passes) return 0;
    if (memoPending_ && linksReadMemo_) {
        *wantsMemo = true;
        *passes = false;
        return 0;
    }
    if (int rc = fetchJoins(joins_, passes)) return rc;
    if (!*passes) return 0;
    return termsPass(false, passes, wantsMemo);
}

int View::accept(bool* passes, bool memoOnPass) {
    for (;;) {
        bool wantsMemo = false;
        if (int rc = acceptRecord(passes, &wantsMemo)) return rc;
        if (!memoPending_ || !(wantsMemo || (*passes && memoOnPass))) break;
        bool found = false, same = false;
        ++rereads_;
        if (int rc = readPendingMemo(&found, &same)) return rc;
        if (!found) {
            *passes = false; // gone since it was read
            break;
        }
        // Tested again when the decision needs the memos, or when the record changed meanwhile.
        if (same && !wantsMemo) break;
    }
    return 0;
}

int View::readPendingMemo(bool* found, bool* same) {
    DriverFile& file = *declaration_.primary;
    const FileDeclaration& d = *file.declaration;
    memoPending_ = false;
    *found = *same = false;
    std::uint32_t record = 0;
    if (int rc = fileOp("POINTER", file, runtime::pointer(file, record))) return rc;
    const std::string before(reinterpret_cast<const char*>(d.record), d.recordLength);
    const int rc = fileOp("GET", file, runtime::get(file, RecordPointer{record}));
    if (rc == error::kRecordNotFound || rc == error::kRecordNotAvailable) return 0;
    if (rc) return rc;
    *found = true;
    *same = std::memcmp(before.data(), d.record, d.recordLength) == 0;
    return 0;
}

int View::fetchJoins(std::vector<JoinState>& joins, bool* passes) {
    *passes = true;
    for (JoinState& j : joins) {
        bool found = false;
        if (int rc = fetchJoin(j, &found)) return rc;
        if (found) {
            if (int rc = fetchJoins(j.children, passes)) return rc;
            if (!*passes) return 0;
        } else if (j.declaration->inner) {
            *passes = false;
            return 0;
        } else {
            clearRecord(*j.declaration->file->declaration);
            clearJoins(j.children);
        }
    }
    return 0;
}

void View::clearJoins(std::vector<JoinState>& joins) {
    for (JoinState& j : joins) {
        clearRecord(*j.declaration->file->declaration);
        clearJoins(j.children);
    }
}

int View::fetchJoin(JoinState& join, bool* found) {
    *found = false;
    DriverFile& file = *join.declaration->file;
    FileDeclaration& d = *file.declaration;
    if (join.link) {
        if (int rc = fileOp("SET", file, runtime::set(file))) return rc;
        for (;;) {
            const int rc = fileOp("NEXT", file, runtime::next(file));
            if (rc == error::kRecordNotAvailable) return 0;
            if (rc) return rc;
            if (join.link->isTrue()) {
                *found = true;
                return 0;
            }
        }
    }
    const KeyDeclaration& key = d.keys[std::size_t(join.declaration->key)];
    const std::vector<int>& parentFields = join.declaration->parentFields;
    for (std::size_t i = 0; i < parentFields.size(); ++i)
        copyField(fieldOf(*join.parent, parentFields[i]), join.parent->record, fieldOf(d, key.components[i]),
                  d.record);
    if (parentFields.size() == key.components.size()) {
        const int rc = fileOp("GET", file, runtime::get(file, key));
        if (rc == error::kRecordNotFound || rc == error::kRecordNotAvailable) return 0;
        *found = rc == 0;
        return rc;
    }
    // The link gives the key's leading components only: the first record with those values.
    std::vector<std::string> wanted;
    for (std::size_t i = 0; i < parentFields.size(); ++i) {
        const drivers::FieldDeclaration& f = fieldOf(d, key.components[i]);
        wanted.emplace_back(reinterpret_cast<const char*>(d.record + f.offset), f.size);
    }
    const bool noCase = key.flags & drivers::key_flag::kNoCase;
    auto matches = [&] {
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const drivers::FieldDeclaration& f = fieldOf(d, key.components[i]);
            const char* here = reinterpret_cast<const char*>(d.record + f.offset);
            for (std::size_t b = 0; b < f.size; ++b) {
                char x = here[b], y = wanted[i][b];
                if (noCase && isStringType(f.type)) {
                    x = static_cast<char>(std::toupper(static_cast<unsigned char>(x)));
                    y = static_cast<char>(std::toupper(static_cast<unsigned char>(y)));
                }
                if (x != y) return false;
            }
        }
        return true;
    };
    if (int rc = fileOp("SET", file, runtime::set(KeyRef{file, key}, key))) return rc;
    for (;;) {
        const int rc = fileOp("PREVIOUS", file, runtime::previous(file));
        if (rc == error::kRecordNotAvailable) {
            if (int src = fileOp("SET", file, runtime::set(KeyRef{file, key}))) return src;
            break;
        }
        if (rc) return rc;
        if (!matches()) break;
    }
    const int rc = fileOp("NEXT", file, runtime::next(file));
    if (rc == error::kRecordNotAvailable) return 0;
    if (rc) return rc;
    *found = matches();
    return 0;
}

// ---- Operations --------------------------------------------------------------------------------

int View::set() {
    if (!open_) return finish("SET", "", error::kFileNotOpen);
    beforeFirst_ = true;
    afterLast_ = false;
    current_.clear();
    skipOnPrevious_.clear();
    lastReset_.clear();
    int rc = 0;
    if (mode_ == Mode::Sort) {
        rc = readList();
        nextIndex_ = 0;
        previousIndex_ = -1;
    } else {
        bool started = false;
        rc = mode_ == Mode::Key ? startAtCondition(&started) : 0;
        if (rc == 0 && !started) rc = driverSet();
    }
    return finish("SET", "", rc);
}

int View::setToEnd() {
    if (!open_) return finish("SET", "end", error::kFileNotOpen);
    beforeFirst_ = false;
    afterLast_ = true;
    current_.clear();
    skipOnPrevious_.clear();
    lastReset_.clear();
    int rc = 0;
    if (mode_ == Mode::Sort) {
        rc = readList();
        nextIndex_ = static_cast<std::ptrdiff_t>(list_.size());
        previousIndex_ = nextIndex_ - 1;
    } else {
        // The driver's SET leaves its backward reading at the end of the key or file, whichever
        // way the view reads it.
        rc = driverSet();
    }
    return finish("SET", "end", rc);
}

int View::setFromBuffer() {
    if (!open_) return finish("SET", "buffer", error::kFileNotOpen);
    beforeFirst_ = afterLast_ = false;
    current_.clear();
    skipOnPrevious_.clear();
    lastReset_.clear();
    int rc = 0;
    if (mode_ == Mode::Sort) {
        // Record 0 sorts before every record of the same values.
        const SortEntry at = sortEntry(order_, 0);
        rc = readList();
        const std::size_t i = rc == 0 ? lowerBound(list_, order_, at) : 0;
        nextIndex_ = static_cast<std::ptrdiff_t>(i);
        previousIndex_ = static_cast<std::ptrdiff_t>(i) - 1;
    } else if (mode_ == Mode::Key) {
        DriverFile& file = *declaration_.primary;
        const KeyDeclaration& key = file.declaration->keys[std::size_t(match_.key)];
        rc = fileOp("SET", file, runtime::set(KeyRef{file, key}, key));
    } else {
        beforeFirst_ = true;
        rc = driverSet();
    }
    return finish("SET", "buffer", rc);
}

int View::next() {
    if (!open_) return finish("NEXT", "", error::kFileNotOpen);
    // A filter may pass over many records before one passes: one read access for all of them.
    ReadRun run(*declaration_.primary);
    return finish("NEXT", "", mode_ == Mode::Sort ? stepSorted(true) : stepKeyed(true));
}

int View::previous() {
    if (!open_) return finish("PREVIOUS", "", error::kFileNotOpen);
    ReadRun run(*declaration_.primary);
    return finish("PREVIOUS", "", mode_ == Mode::Sort ? stepSorted(false) : stepKeyed(false));
}

int View::position(std::string& out) {
    if (!open_) return finish("POSITION", "", error::kFileNotOpen);
    if (current_.empty()) return finish("POSITION", "", 33);
    out = current_;
    return finish("POSITION", out, 0);
}

std::string View::modePrefix() const {
    if (mode_ == Mode::Sort) return "S";
    if (mode_ == Mode::Key) {
        std::string prefix(1, 'K');
        prefix += std::to_string(match_.key);
        prefix += match_.backwards ? "B:" : "A:";
        return prefix;
    }
    return "F:";
}

int View::reset(const std::string& position) {
    if (!open_) return finish("RESET", position, error::kFileNotOpen);
    std::string part;
    if (!driverPart(position, modePrefix(), &part)) return finish("RESET", position, error::kInvalidIndexString);
    current_.clear();
    beforeFirst_ = afterLast_ = false;
    if (mode_ == Mode::Sort) {
        SortEntry at;
        if (!decodeSortPosition(position, order_.size(), &at)) return finish("RESET", position, error::kInvalidIndexString);
        if (int rc = readList()) return finish("RESET", position, rc);
        const std::size_t i = lowerBound(list_, order_, at);
        nextIndex_ = static_cast<std::ptrdiff_t>(i);
        previousIndex_ = static_cast<std::ptrdiff_t>(i) - 1;
        return finish("RESET", position, 0);
    }
    const int rc = driverReset(part);
    if (rc == 0) {
        skipOnPrevious_ = position;
        lastReset_ = position;
    }
    return finish("RESET", position, rc);
}

int View::reget(const std::string& position) {
    if (!open_) return finish("REGET", position, error::kFileNotOpen);
    std::string part;
    if (!driverPart(position, modePrefix(), &part)) return finish("REGET", position, error::kInvalidIndexString);
    int rc = 0;
    if (mode_ == Mode::Sort) {
        SortEntry at;
        if (!decodeSortPosition(position, order_.size(), &at)) return finish("REGET", position, error::kInvalidIndexString);
        rc = fileOp("GET", *declaration_.primary,
                    runtime::get(*declaration_.primary, RecordPointer{at.record}));
        if (rc == 0) memoPending_ = false;
        if (rc == 0 && !listStale_) {
            const std::size_t i = lowerBound(list_, order_, at);
            const bool same = i < list_.size() && list_[i].record == at.record;
            nextIndex_ = static_cast<std::ptrdiff_t>(same ? i + 1 : i);
            previousIndex_ = static_cast<std::ptrdiff_t>(i) - 1;
        }
    } else {
        rc = driverReget(part);
    }
    if (rc == 0) {
        bool passes = false;
        rc = fetchJoins(joins_, &passes);
        current_ = position;
        beforeFirst_ = afterLast_ = false;
        skipOnPrevious_.clear();
    }
    return finish("REGET", position, rc);
}

int View::watch() {
    if (!open_) return finish("WATCH", "", error::kFileNotOpen);
    return finish("WATCH", "", fileOp("WATCH", *declaration_.primary, runtime::watch(*declaration_.primary)));
}

int View::flush() {
    if (!open_) return finish("FLUSH", "", error::kFileNotOpen);
    listStale_ = true;
    return finish("FLUSH", "", 0);
}

} // namespace docket::runtime
