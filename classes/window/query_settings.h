#pragma once
// The settings window of a QueryByExample ("Query by Example Settings"): on its "Query Settings"
// tab a list of conditions (Field, Operator, Value) and on its "Saved Queries" tab the queries
// saved for the list, with a name entry and Save, Delete and Load.
//
// Editing the conditions: a row is edited in the three editors under the list (a drop list of the
// field titles, sorted; a drop list of the six operators; a value entry). Choosing a row puts it
// into the editors; "&Insert" adds the editors' row, "&Change" replaces the highlighted row with
// them, "&Delete" removes it. OK applies the rows to the query (each row is one condition, see
// QueryByExample); Cancel and the close box leave the query as it was; "C&lear" empties the rows.
// Load puts a saved query's conditions into the rows (OK applies them); Save saves the rows as
// they stand under the typed name. The window's place is kept under "QBE-" FAMILY, and the query
// it closes with is saved as "tsMRU".
//
// Runs nested on the program thread of the list's window, like every other window.
#include <string>

namespace docket::classes {

class QueryByExample;

// Runs the window; true when the user left it with OK (the query's conditions were replaced).
bool runQuerySettings(QueryByExample& query);

} // namespace docket::classes
