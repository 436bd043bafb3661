#pragma once
// Views: the ordered, filtered, joined reading of tables. A view is declared over a primary table
// with any number of joins, each to any depth; the tables' own record buffers receive the records
// read. The tables are opened (and their fields bound for expressions) by the caller before OPEN.
//
// Every operation returns the runtime error code it also leaves as the thread's last error (0 for
// success, 33 past either end).
//
// Reading. An order matched by a key of the primary table (view_order.h) reads through that key,
// forwards or backwards; an empty order reads in record order; any other order reads the passing
// records once, sorts them and pages through the list (view_sort.h). Filter terms up to the first
// one that reads a joined table are tested before the joins are fetched. Conditions of the filter
// on the key's leading field start a read after SET at the condition's value and end it with 33
// as soon as no later record can pass; for a string field the key's collation and the language's
// comparison may disagree, so only numeric fields are used that way.
//
// Joins. A key join copies the given parent fields into the leading components of the joined
// table's key and takes the first record of that key value; a link-expression join takes the first
// record of the joined table (in record order) for which the expression is true. A primary record
// for which an inner join finds nothing is skipped. An outer join that finds nothing clears its
// table's record (and those of the joins below it, which are not looked for).
//
// Buffers at the ends. After 33 the buffers hold the last record returned again, and reading on
// in the other direction continues from it; before any record was returned (after SET or a 33
// right after it) they are left as they are.
//
// Memos. When the filter's first term reads neither a joined table nor a memo of the primary
// table, the primary's records are read without their memos (NOMEMO) and a record's memos are
// read (GET by its pointer) only once it needs them: when a later term or a link reads them, or
// when it passes. A record that changed in between is tested again. As such a record is read
// twice, this stops once a third of the records read without memos needed them after all.
//
// Projections are kept for the declaration's sake: the native driver reads whole records, so every
// field is read. The read buffer settings and quick scan are kept and traced; key reads go to the
// tables every time, so nothing is read in advance and FLUSH only makes a sorted list be read anew.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver.h"
#include "files/internal/view_filter.h"
#include "files/internal/view_order.h"
#include "files/internal/view_sort.h"
#include "files/internal/view_trace.h"
#include "runtime/core/error_codes.h"

namespace docket::runtime {

// Refusal of an order or filter text that does not compile, and of a join whose link does not.
inline constexpr int kInvalidViewExpression = error::kInvalidViewExpression;

struct ViewJoin {
    drivers::DriverFile* file = nullptr;
    // Linked by key: the joined table's key (index in its declaration) and the parent's fields (from
    // 1) whose values go to the key's leading components, in order.
    int key = -1;
    std::vector<int> parentFields;
    // Otherwise linked by an expression, compiled at OPEN.
    std::string link;
    bool inner = false;
    std::vector<int> projection;
    std::vector<ViewJoin> joins;
};

struct ViewDeclaration {
    drivers::DriverFile* primary = nullptr;
    std::vector<int> projection; // empty: all fields
    std::vector<ViewJoin> joins;
};

class View {
public:
    explicit View(ViewDeclaration declaration);
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const ViewDeclaration& declaration() const { return declaration_; }

    int open(unsigned mode = 0x22);
    int close();
    bool isOpen() const { return open_; }

    // Set on the open view; a text that does not compile gives 801 and the previous setting stays.
    int setOrder(std::string_view text);
    int setFilter(std::string_view text);
    const std::string& order() const { return orderText_; }
    const std::string& filter() const { return filterText_; }

    void setBuffer(int recordsPerPage, int pagesBehind, int pagesAhead, int timeoutSeconds);
    void setQuickScan(bool on) { quickScan_ = on; }
    bool quickScan() const { return quickScan_; }

    int set();
    // SET to the end: positions after the last record of the current order, so that PREVIOUS
    // reads the last record that passes and NEXT gives 33.
    int setToEnd();
    // SET from the key values in the buffer: positions so that NEXT reads the first record (that
    // passes) whose order values are at or after the values the primary table's record buffer
    // holds now, as the order compares them. Reading through a key, the key's components are
    // taken from the buffer, those after the order's included, so a caller wanting the first
    // record of a value puts the lowest value of the order into them. PREVIOUS right after it
    // reads backwards from the same values (records equal to them may come either way). Without
    // an order it is SET.
    int setFromBuffer();
    int next();
    int previous();
    int position(std::string& out);
    int reset(const std::string& position);
    int reget(const std::string& position);
    int watch();
    int flush();

    // The key the view reads through (index in the primary's keys), -1 for record order or a sort.
    int readingKey() const { return mode_ == Mode::Key ? match_.key : -1; }
    bool sorting() const { return mode_ == Mode::Sort; }
    // Records read from the primary table since OPEN (tests see an early stop by it).
    std::uint64_t primaryReads() const { return primaryReads_; }

private:
    enum class Mode { File, Key, Sort };
    struct JoinState;

    int finish(const char* operation, const std::string& argument, int rc);
    int fileOp(const char* operation, drivers::DriverFile& file, int rc);
    void chooseMode();

    // Key and record order.
    int driverSet();
    int driverStep(bool forward);
    int driverPosition(std::string* out);
    int driverReset(const std::string& position);
    int driverReget(const std::string& position);
    int startAtCondition(bool* started);
    int stepKeyed(bool viewForward);
    bool stopsHere(bool viewForward);

    // Sorted lists.
    int readList();
    int stepSorted(bool viewForward);
    int loadListEntry(std::size_t index, bool* passes);

    // The record in the buffers: filter terms, joins. With `memoOnPass` a passing record has its
    // memos read when they were left out.
    int accept(bool* passes, bool memoOnPass = true);
    // *wantsMemo: the decision needs the memos, which the read left out.
    int acceptRecord(bool* passes, bool* wantsMemo);
    int termsPass(bool beforeJoins, bool* passes, bool* wantsMemo);
    // Reads the memos of the record in the buffers by reading it again; *found false when it is
    // gone, *same false when its record changed.
    int readPendingMemo(bool* found, bool* same);
    void chooseMemoReading();
    bool deferMemoNow() const;
    int fetchJoins(std::vector<JoinState>& joins, bool* passes);
    int fetchJoin(JoinState& join, bool* found);
    void clearJoins(std::vector<JoinState>& joins);

    int restoreCurrent();
    std::string modePrefix() const;

    ViewDeclaration declaration_;
    std::vector<JoinState> joins_;
    std::vector<const drivers::FileDeclaration*> joinedFiles_;
    ViewTrace trace_;
    std::string label_;

    bool open_ = false;
    unsigned openMode_ = 0;
    std::string orderText_, filterText_;
    std::vector<OrderComponent> order_;
    std::vector<FilterTerm> terms_;
    Mode mode_ = Mode::File;
    KeyMatch match_;
    int recordsPerPage_ = 0, pagesBehind_ = 0, pagesAhead_ = 0, timeout_ = 0;
    bool quickScan_ = false;

    // Where reading stands.
    bool beforeFirst_ = true;    // after SET: PREVIOUS gives 33
    bool afterLast_ = false;     // after setToEnd: NEXT gives 33
    std::string skipOnPrevious_; // after RESET: the reset record, which PREVIOUS passes over
    std::string current_;        // the view position of the last record returned, empty for none
    std::string lastReset_;      // the position of the last RESET, until the next SET
    std::uint64_t primaryReads_ = 0;

    // Reading without memos (see the top of this file).
    bool deferMemos_ = false;    // the filter allows it
    bool linksReadMemo_ = false; // a link expression reads a memo of the primary table
    bool joinsPrimary_ = false;  // a join reads the primary table's own buffers
    bool memoPending_ = false;   // the buffers hold a record read without its memos
    std::uint64_t deferred_ = 0; // records read without memos with this filter, and those read again
    std::uint64_t rereads_ = 0;

    // Sorted reading.
    std::vector<SortEntry> list_;
    bool listStale_ = true;
    std::ptrdiff_t nextIndex_ = 0, previousIndex_ = -1;
};

} // namespace docket::runtime
