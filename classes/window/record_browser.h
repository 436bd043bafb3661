#pragma once
// RecordBrowser: a ViewReader that also owns a list box of its window. It keeps in the list's
// display queue (ListRows) only the screenful the list shows, each row with the view position of
// its record; it scrolls by reading rows at either end, jumps with locators and the thumb, keeps
// the highlighted record in the record buffer, and runs the window's update form for insert,
// change, delete and view, refreshing itself after it.
//
// What stays true:
// - The queue never holds more than LASTITEMS rows; nothing reads the whole table. The bottom of
//   the order is reached by setting the view to its end, a locator or thumb value by setting it
//   from the key values in the buffer.
// - Mended: an action key, a double click or a stale popup item presses a button only while that
//   button exists, shows and is enabled; the enabled states are recomputed on every Redisplay. An
//   empty list's Delete key deletes nothing.
// - Mended: before a change, delete, view or select the highlighted record is read again (REGET);
//   when that fails the record buffer is cleared and the list refilled, and no request runs, so no
//   change or delete ever reaches a record other than the highlighted one.
// - Mended: a refill that finds nothing at or after its old position (the records there were
//   deleted) sets the view to the end and fills backwards: the list is never empty while records
//   match.
// - Positions 0 and 1 of the thumb act as the top and 100 as the bottom, also with a thumb step
//   (whose last table entry lies a step before the last value).
//
// Runs on the program thread of its window; the window flow hands it each event through its
// window component (WindowComponent()), and the browser reads the event from the window.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes/window/locators.h"
#include "classes/window/popup_menu.h"
#include "classes/window/thumb_steps.h"
#include "classes/window/view_reader.h"
#include "classes/window/window_flow.h"
#include "classes/window/window_member.h"
#include "ui/use_variable.h"

namespace docket::classes {

// The display queue: rows of column texts (numbers in plain form, as the list's pictures expect)
// and the view position of each row's record.
class ListRows final : public ui::ListSource {
public:
    struct Row {
        std::vector<std::string> fields;
        std::string position;
    };
    int rowCount() const override { return static_cast<int>(rows.size()); }
    std::string field(int row, int field) const override;
    std::vector<Row> rows;
};

// Modes of RefillList.
inline constexpr std::uint8_t FillAroundCurrent = 0; // from the highlighted row's position
inline constexpr std::uint8_t FillFromView = 2;      // the view was positioned by the caller

// Directions of FetchRows.
inline constexpr std::uint8_t FillBackward = 1;
inline constexpr std::uint8_t FillForward = 2;

class RecordBrowser : public ViewReader, public LocatorHost, public BrowseMember {
public:
    RecordBrowser();
    ~RecordBrowser() override;

    // `listControl` is the list; the window flow owns the window (opened later, at its Init).
    void Init(std::int32_t listControl, runtime::View& view, TableRelations& primary, WindowFlow& window);

    // ---- Operations for the window code ----
    std::uint16_t AddOrder(ThumbStep* thumb, const KeyDeclaration& key);
    void AttachLocator(StepFinder& locator);
    // Adds a column of the queue showing `viewField`; columns are numbered 1.. in the order added.
    void LinkColumn(const FieldRef& viewField);
    // A field whose change (seen at a window reset) makes the list reload.
    void WatchField(const FieldRef& field);
    ListRows& Queue() { return BEHAVIOR; }

    // ---- Virtual operations ----
    virtual Severity HandleEvent();
    virtual void HandleKey();
    virtual void HandleScroll(std::uint32_t event);
    virtual void ScrollByRow(std::uint32_t event);
    virtual void ScrollByPage(std::uint32_t event);
    virtual void ScrollToEnd(std::uint32_t event);
    virtual void HandleNewSelection();
    // Reads up to ITEMSTOFILL rows in `direction`; the number read.
    virtual int FetchRows(std::uint8_t direction);
    virtual void RefillList(std::uint8_t mode);
    virtual void RefreshThumb();
    virtual void Redisplay();
    virtual void LoadCurrentRecord();
    virtual void RefreshAfterForm(std::uint8_t request, std::uint8_t response);
    // The order a window reset asks for; the window's code overrides it (default: the current).
    virtual std::uint16_t ChooseOrder() { return CurrentNumber(); }
    // The browser reset a window reset runs.
    virtual void ResetBrowse(std::uint8_t force);
    // Query-by-example: what the query control and EVENT:Locate run (set by the window code).
    std::function<void()> QUERYACTION;

    Severity Next() override;
    Severity Previous() override;
    void Shutdown() override;

    // ---- LocatorHost ----
    bool LocatorHasRows() override { return !BEHAVIOR.rows.empty(); }
    bool LocatorStepDown() override;
    ui::Window* LocatorWindow() override { return window(); }

    // ---- BrowseMember ----
    WindowMember& WindowComponent() override { return component_; }
    void StartSelecting() override { SELECTING = 1; }

    // Positions the view at the free element's value in the buffer (the key's later components
    // set to their first value) and fills the list from there.
    void LocateFromBuffer(bool keepLaterComponents = false);

    // ---- Fields ----
    std::uint8_t ACTIVEINVISIBLE = 0;
    std::uint8_t ALLOWUNFILLED = 0;
    std::uint16_t ASKPROCEDURE = 0;
    ListRows BEHAVIOR;
    std::int32_t CHANGECONTROL = 0, DELETECONTROL = 0, INSERTCONTROL = 0, PRINTCONTROL = 0, QUERYCONTROL = 0,
                 SELECTCONTROL = 0, TOOLCONTROL = 0, VIEWCONTROL = 0;
    std::int32_t CURRENTCHOICE = 0;
    std::int32_t CURRENTEVENT = 0;
    LinkFieldPairs FIELDS; // left: the view's field; right: unused (the column is the pair's index)
    std::uint8_t FILELOADED = 0;
    std::uint8_t HASTHUMB = 1;
    std::uint8_t HIDESELECT = 0;
    std::int32_t ILC = 0; // the list control
    std::int32_t ITEMSTOFILL = 0;
    std::int32_t LASTCHOICE = 0, PREVCHOICE = 0;
    std::int32_t LASTITEMS = 0;
    std::uint8_t LOADPENDING = 0;
    std::uint8_t LOADED = 0;
    std::uint8_t NEEDREFRESH = 0;
    PopupMenu* POPUP = nullptr;
    std::uint16_t PRINTPROCEDURE = 0;
    std::uint8_t QUICKSCAN = 1;
    std::uint8_t RECORDSTATUS = 0;
    std::uint8_t RETAINROW = 1; // on by default: a refill keeps the highlighted record's screen row
    std::uint8_t SELECTWHOLERECORD = 0, SELECTING = 0;
    std::uint8_t STARTATCURRENT = 0;
    WindowFlow* WINDOW = nullptr;

    // Where the list stands in the order, for the thumb without a step.
    bool atStart() const { return atStart_; }
    bool atEnd() const { return atEnd_; }

protected:
    ui::Window* window() const { return WINDOW != nullptr ? WINDOW->window() : nullptr; }
    // Presses a button (posts EVENT:Accepted) when it exists, shows and is enabled.
    bool pressButton(std::int32_t control);
    bool usable(std::int32_t control) const;
    Severity onAccepted(std::int32_t control);
    void runRequest(std::uint8_t request);
    void computeBounds();
    void buildPopup();
    void showList();
    int visibleRows() const;
    void fillScreen(int above); // after the view was positioned: forward, then backward to a full list

private:
    class Component final : public WindowMember {
    public:
        explicit Component(RecordBrowser& browser) : b_(browser) {}
        void Shutdown() override { b_.Shutdown(); }
        void Reset(std::uint8_t force) override { b_.ResetBrowse(force); }
        std::uint8_t NeedsRefresh() override { return b_.NEEDREFRESH; }
        void ArmAlerts() override;
        Severity OnEvent() override { return b_.HandleEvent(); }
        void Update() override {}
        void Redisplay() override { b_.Redisplay(); }

    private:
        RecordBrowser& b_;
    };

    Component component_{*this};
    PopupMenu ownPopup_;
    bool popupBuilt_ = false;
    bool atStart_ = false, atEnd_ = false;
    bool shutDown_ = false;
    std::vector<FieldRef> watched_;
    std::vector<std::vector<std::uint8_t>> watchedValues_;
};

} // namespace docket::classes
