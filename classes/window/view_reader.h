#pragma once
// ViewReader: owns a runtime view (an ordered, filtered, joined reading of tables) and everything
// needed to read it in order: its sort orders (each from a key: order text, free element, range
// limits, named filters), which it turns into the view's order and filter texts, and the view's
// read-buffer settings (PAGESIZE records per page, PAGESBEHIND, PAGESAHEAD, TIMEOUT).
//
// What stays true:
// - The view's filter is exactly the current order's range terms and named filters joined with AND.
//   Mended: a filter longer than 5000 characters is refused with message 40 ("View Open Error")
//   and the filter before it stays, in the view and in the order's named filters; it is never cut.
// - Order and filter texts the view refuses are reported as message 40; the view keeps reading
//   with its previous settings.
// - Next and Previous give Proceed (a record that CheckRecord accepts is in the buffers), Inform
//   at either end (or out of range) and Fatal after a read error, reported as message 1 through
//   the primary table.
//
// Fields and operations keep the names their design fixes; the virtual operations are in slot
// order. Runs on the program thread of the window that owns it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classes/data/link_field_pairs.h"
#include "classes/data/severity.h"
#include "classes/data/table_relations.h"
#include "files/view.h"

namespace docket::classes {

class StepFinder;
class ThumbStep;

struct NamedFilter {
    std::string ID; // at most 30 characters
    std::string FILTER;
};

struct OrderEntry {
    std::unique_ptr<std::vector<NamedFilter>> FILTER; // created on first use
    FieldRef FREEELEMENT;
    std::size_t FREEPOSITION = 0; // the free element's component in MAINKEY (0-based)
    std::uint8_t LIMITTYPE = 0;
    const KeyDeclaration* MAINKEY = nullptr;
    std::string ORDER;
    LinkFieldPairs RANGELIST;
    // The record browser's part.
    StepFinder* LOCATOR = nullptr;
    LinkFieldPairs RESETS;
    ThumbStep* THUMB = nullptr;
};

// Results of CheckRecord.
inline constexpr std::uint8_t RecordAccepted = 0;
inline constexpr std::uint8_t RecordOutOfRange = 1;
inline constexpr std::uint8_t RecordFiltered = 2;

// The longest filter the reader builds.
inline constexpr std::size_t kFilterLimit = 5000;

class ViewReader {
public:
    ViewReader() = default;
    virtual ~ViewReader() = default;
    ViewReader(const ViewReader&) = delete;
    ViewReader& operator=(const ViewReader&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual void ExtendOrder(std::string_view text);
    virtual Severity BuildFilter();
    virtual Severity InstallOrder();
    // Re-applies the filter; true when the range values changed since the last test.
    virtual bool ApplyRange();
    virtual void CloseView();
    virtual std::string FreeElementName();
    virtual std::size_t FreeElementPosition();
    virtual void Shutdown();
    virtual Severity Next();
    virtual Severity Open();
    virtual Severity Previous();
    virtual Severity PrepareNewRecord(bool keepBuffer);
    virtual Severity Reset();
    virtual Severity ResetToStart();
    virtual void ProcessRecord() {}
    virtual Severity SetNamedFilter(std::string_view text, std::string_view id = {});
    virtual void SetOrderText(std::string_view text);
    virtual bool SelectOrder(std::uint16_t number);
    virtual std::uint8_t CheckRecord();

    // ---- Other operations ----
    void Init(runtime::View& view, TableRelations& primary, std::vector<OrderEntry>* orders = nullptr);
    std::uint16_t AddOrder(const KeyDeclaration& key);

    // The current order, null before the first AddOrder.
    OrderEntry* Current();
    std::uint16_t CurrentNumber() const { return current_; }
    // The filter text BuildFilter makes for the current order.
    std::string FilterText();
    // The primary table's record buffer.
    FileDeclaration& Record() const;

    std::uint8_t DISPOSEORDER = 0;
    std::uint8_t OPENED = 0;
    std::vector<OrderEntry>* ORDER = nullptr;
    std::uint16_t PAGESAHEAD = 0;
    std::uint16_t PAGESBEHIND = 2;
    std::uint16_t PAGESIZE = 20;
    TableRelations* PRIMARY = nullptr;
    std::uint16_t TIMEOUT = 60;
    runtime::View* VIEW = nullptr;

protected:
    Severity report(std::uint16_t id);
    Severity readResult(int rc);

private:
    std::unique_ptr<std::vector<OrderEntry>> ownOrders_;
    std::uint16_t current_ = 0; // 1-based; 0 none
};

} // namespace docket::classes
