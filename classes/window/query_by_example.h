#pragma once
// QueryByExample: restricts a record list by example. The list registers its fields (the name the
// view knows, a title, a display picture); the user gives each field a condition text (operator
// characters and a value, "*" marking contains and begins, "^" a case-free comparison) in the
// settings window (query_settings.h); BuildQueryFilter turns the conditions into one filter
// expression for the list's view. Queries are saved by name in the INI store as catalogued sectors
// of family "Query" and type FAMILY; the one named "tsMRU" holds the conditions the settings window
// was last closed with. The popup menu of the list gets a "View" submenu with the saved queries and
// "C&lear".
//
// What stays true:
// - The filter always compiles, whatever the user typed. A value on a field that is not a string
//   goes in only as a plain number (deformatted through the field's picture); anything else goes in
//   as a quoted literal with its apostrophes doubled; a blank value on such a field compares with 0;
//   a condition without an operator compares with "=".
// - Contains and begins on a field with a numeric picture compare against the picture's text from
//   its first visible character (LEFT(FORMAT(...))), so a right-aligned picture's leading blanks do
//   not stop "Begins".
// - Mended: an operator holding both "<" and ">" is written "<>", which is what it means; the
//   filter language reads no "><".
// - A query name that is blank, is "tsMRU", is longer than 99 characters or holds ",", "[", "]" or a
//   line break is refused with a message; nothing is written, so the catalogue never holds a name
//   that cannot be read back.
// - A field registered with a text source (AddTextItem: a memo body searched by its words) is not
//   put into the filter; Matches tests its conditions against the record in the buffers, and the
//   list's CheckRecord asks it.
//
// Saved query layout (the section of the sector): "Query" the number of field entries n, and
// "Query_i" (i = 1..n) the field's name and its QUERYSTRING joined by ","; QUERYSTRING is the LOW,
// MIDDLE and HIGH texts joined by "|", each with "\" written "\\", "|" written "\|" and line breaks
// written "\n". A loaded query puts each text back where it came from.
//
// Runs on the program thread of the list's window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes/window/query_filter.h"

namespace docket::ui {
class Window;
}

namespace docket::classes {

class ErrorReporter;
class IniStore;
class PopupMenu;

// The operators the settings window offers, in its order.
inline constexpr const char* kQueryOperators[] = {"Contains", "Begins", "NOT =", "=", "<=", ">="};
// The family of saved-query sectors, and the query the settings window saves on closing.
inline constexpr const char* kQueryFamily = "Query";
inline constexpr const char* kRecentQuery = "tsMRU";
// Popup item names.
inline constexpr const char* kQueryEmptyItem = "tsQBEEmpty";
inline constexpr const char* kQueryClearItem = "tsQBEClear";
inline constexpr const char* kQueryViewItem = "tsQBEView";

class QueryByExample {
public:
    QueryByExample() = default;
    virtual ~QueryByExample() = default;
    QueryByExample(const QueryByExample&) = delete;
    QueryByExample& operator=(const QueryByExample&) = delete;

    // `ini` null disables saving; `parent` is the list's window (the settings window centres on it).
    void Init(ErrorReporter* errors, IniStore* ini, const std::string& family, ui::Window* parent = nullptr);
    void Kill();

    void AddItem(const std::string& name, const std::string& title, const std::string& picture,
                 bool forceEditPicture = false);
    void AddTextItem(const std::string& name, const std::string& title, std::function<std::string()> text);

    // ---- Virtual operations ----
    virtual std::string BuildQueryFilter();
    // The conditions of one field one at a time: pass false first, then the flag returned, while it
    // is true. `out` is left blank (operator and value) when the field has no condition.
    virtual bool GetNextCondition(const QueryField& field, QueryCondition& out, bool previousMore);
    virtual void SetValues(const std::string& name, const std::string& low, const std::string& high,
                           const std::string& middle, bool keepLow, bool keepHigh, bool keepMiddle);
    virtual void Clear(bool all = true);
    // The settings window; true when the user left it with OK.
    virtual bool Ask();

    // True when any field has a condition.
    bool HasConditions() const;
    // The conditions of the text-source fields hold for the record in the buffers.
    bool Matches() const;

    // ---- Saved queries ----
    // False, with a message to the user, when the name is refused (see the header) or nothing can
    // be saved.
    bool SaveQuery(const std::string& name);
    bool SaveQuery(const std::string& name, std::string& refusal); // the reason instead of a message
    // Saves the conditions as "tsMRU" (the settings window does on closing).
    bool SaveRecent();
    bool LoadQuery(const std::string& name);
    void DeleteQuery(const std::string& name);
    std::vector<std::string> SavedQueries() const;
    // Why a name cannot be a query's name; empty when it can.
    static std::string CheckQueryName(const std::string& name);

    // ---- The list's popup menu ----
    // Adds the separator and the "View" submenu; its entries post EVENT:NewSelection to `control`.
    void AddToPopup(PopupMenu& popup, std::int16_t control);
    // Rebuilds the submenu's entries (saved queries changed, or the current one).
    void RefreshPopup();
    // For the name of a popup item: the query it stands for ("tsQBEClear" for Clear), blank when
    // the item is not one of the submenu's.
    std::string QueryOfPopupItem(const std::string& itemName) const;
    // Applies a popup choice: loads that query or clears every condition. False when the item is
    // not one of the submenu's or the query cannot be loaded.
    bool ApplyPopupChoice(const std::string& itemName);

    // ---- Fields ----
    ErrorReporter* ERRORS = nullptr;
    std::vector<QueryField> FIELDS;
    std::string FAMILY;
    IniStore* INIMGR = nullptr;
    struct PopupLink {
        std::string dQUERYNAME;
        std::string dPOPUPID;
    };
    std::vector<PopupLink> POPUPLIST;
    std::uint8_t QKSUPPORT = 0;
    std::string QKICON;
    std::string QKMENUICON;
    std::uint16_t QKSUBMENUPOS = 0;
    std::string QKCURRENTQUERY; // at most 99 characters
    ui::Window* PARENTWINDOW = nullptr;
    ui::Window* WINDOW = nullptr; // the settings window while open

private:
    QueryField* find(const std::string& name);
    std::string sectionOf(const std::string& name) const;
    bool save(const std::string& name, std::string& refusal);
    // The value as the filter writes it for `field`.
    std::string literalFor(const QueryField& field, const std::string& value, bool numberWanted) const;
    PopupMenu* popup_ = nullptr;
    std::int16_t popupControl_ = 0;
};

} // namespace docket::classes
