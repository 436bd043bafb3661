#pragma once
// The memo list, "Browse Memo": the program's main window. It lists the memos with the names of
// their types in one of three orders chosen by its tabs (by entry, newest first; by memo number; by
// memo date), finds a memo by number or date as typed, restricts the list by query-by-example, and
// calls the memo form to insert, change or delete a memo. Closing it ends the program.
//
// Runs on the program's first program thread; every window it opens nests inside it.
#include <cstdint>

namespace docket::app {

// The procedure (the program's `Main`).
void MemoListProcedure();

} // namespace docket::app
