#pragma once
// TableDropCombo: a drop combo over a small lookup table (the memo types). It is a ViewReader that
// reads every record of its view into the combo's display queue, highlights the row that matches
// the form's current value, and, when a row is taken over, copies the lookup record's values into
// the form's target fields (UPDATEFIELDS, lookup field -> target field). The entry part completes
// what the user types from the list (type-ahead), and a typed value that is not in the list can be
// added: through an update form (ASKPROCEDURE, run by the window's CallProcedure with an insert
// request) or, with AUTOADDFLAG, after the question "Add New Record?".
//
// What stays true:
// - The target fields change only to the values of a lookup record that was read back: a refill
//   reads the highlighted row again through its own view (re-opened when it has been closed), and
//   when that read fails the targets keep the values they had. A form never silently loses its type.
// - A typed value is taken over only on a whole-value match (without regard to case unless
//   CASESENSITIVEFLAG): "Sura" never selects "Surat", and a value that is the prefix of another one
//   can be added. Type-ahead, which only completes, still shows the first row the prefix begins.
// - The display queue holds, per row, the display fields as text; the view position of each row is
//   kept beside it (VIEWPOSITION), so the queue's rows stay plain text for the list.
//
// Fields and operations keep the names their design fixes. Runs on the program thread of its
// window; the type-ahead works on the entry's key presses (a filter on the entry widget) and hands
// a completed row to the window as EVENT:NewSelection, so the lookup is read in the window's loop.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/data/link_field_pairs.h"
#include "classes/window/view_reader.h"
#include "classes/window/window_member.h"
#include "ui/use_variable.h"

class QObject;

namespace docket::classes {

class WindowFlow;

class TableDropCombo : public ViewReader {
public:
    TableDropCombo();
    ~TableDropCombo() override;

    // control: the combo; queue: its display queue (bound to the control as its list); view: the
    // lookup view; primary: the lookup table's relations; useField: the entry's field.
    void Init(std::int32_t control, ui::QueueSource& queue, runtime::View& view, TableRelations& primary,
              WindowFlow& window, ErrorReporter& errors, const FieldRef& useField, bool autoAdd,
              bool caseSensitive, bool syncronizeView);
    // A display field: the view field shown in queue column `queueField` (1-based).
    void LinkColumn(const FieldRef& viewField, int queueField);
    // An update pair: `target` := `lookup` whenever a row is taken over.
    void AddSavedField(const FieldRef& lookup, const FieldRef& target);

    // Refills the queue (unless loaded and the range unchanged, when not forced); the highlighted
    // row (1-based), 0 for none.
    int RefillList(bool force);
    // Takes row `row` over: reads its lookup record back and copies the update pairs.
    void HandleNewSelection(int row);
    // The entry was accepted with `value`: the whole-value match is taken over, a missing value
    // offered for adding. True when a row was taken over.
    bool TakeEntry(const std::string& value);
    // 0 when the record was added, else 5 (Inform).
    Severity AddNewRecord(const std::string& value);
    // The first row (1-based) whose first display value begins with `prefix` (whole: equals it);
    // 0 for none.
    int FindRow(const std::string& prefix, bool whole) const;
    // One key of type-ahead on the entry: the entry's text and selection before the key, the key
    // code (37/39 arrows, 8 Backspace; ignored when `character` is empty and it is no Backspace,
    // or with Ctrl or Alt). Gives the new text and the start of its selected tail; false when the
    // key is not completion's to handle.
    struct Completion {
        std::string text;
        int selectFrom = 0;
        int row = 0;
    };
    bool TypeAhead(const std::string& text, int selectionStart, int cursor, int keyCode,
                   const std::string& character, Completion& out);

    void Shutdown() override;
    WindowMember& Component() { return component_; }

    // ---- Fields ----
    struct DisplayPair {
        FieldRef VIEWFIELD;
        int QUEUEFIELD = 1;
    };
    std::vector<DisplayPair> DISPLAYFIELDS;
    LinkFieldPairs UPDATEFIELDS; // left: the lookup field, right: the target
    WindowFlow* WINDOW = nullptr;
    std::uint8_t DEFAULTFILL = 1;
    std::uint8_t INITSYNCPAIR = 1;
    std::uint8_t ALLOWRESET = 0;
    std::int32_t LISTCONTROL = 0;
    ui::QueueSource* LISTQUEUE = nullptr;
    std::uint8_t LOADED = 0;
    std::vector<std::string> VIEWPOSITION; // per queue row
    std::uint16_t ASKPROCEDURE = 0;
    FieldRef USEFIELD;
    std::int32_t ENTRYFIELD = 0;
    std::uint8_t ENTRYCOMPLETION = 1;
    std::uint8_t REMOVEDUPLICATESFLAG = 0;
    ErrorReporter* ERRMGR = nullptr;
    std::uint8_t AUTOADDFLAG = 0;
    std::uint8_t CASESENSITIVEFLAG = 0;
    std::uint8_t SYNCRONIZEVIEWFLAG = 0;
    std::uint8_t ECON = 0;

private:
    class Member : public WindowMember {
    public:
        explicit Member(TableDropCombo& combo) : c_(combo) {}
        void Shutdown() override { c_.Shutdown(); }
        void Reset(std::uint8_t force) override;
        std::uint8_t NeedsRefresh() override;
        void ArmAlerts() override {}
        Severity OnEvent() override;
        void Update() override;
        void Redisplay() override;

    private:
        TableDropCombo& c_;
    };
    class KeyFilter;

    bool matches(const std::string& value, const std::string& prefix, bool whole) const;
    std::string useValue() const;
    void setUseValue(const std::string& value);
    void highlight(int row);
    int currentRow_() const; // the list's highlighted row
    void watchEntry();
    bool onKey(int keyCode, const std::string& character, bool ctrlOrAlt);

    Member component_{*this};
    std::unique_ptr<KeyFilter> filter_;
    bool refresh_ = false; // a taken-over row wants the window redisplayed
    bool shutDown_ = false;
    std::string typed_;     // what the user typed of the completed text
    std::string completed_; // the text completion last showed
};

} // namespace docket::classes
