#pragma once
// The memo form, UpdateMEMO_DB: one memo of MEMO_DB added, changed, deleted or viewed, by the
// request in PendingRequest; the outcome is left in LastResponse. The memo list calls it for its
// Insert, Change, Delete and View buttons: for an insert it primes the record first
// (MemoRelations->PrepareNewRecord gives the next MEM:MEMO_ID and today's date), for the others
// it reads the memo (with its body in MEM_ISI_MEMO and its type in JEN) before the call. A delete
// request runs without showing the form. Runs on the program thread, nested in the memo list.
//
// While the form runs, its rich-text editor is reachable through MemoEditor (null otherwise).
namespace docket::rtf {
class kwRTF;
}

namespace docket::app {

void UpdateMEMO_DB();

extern rtf::kwRTF* MemoEditor;

} // namespace docket::app
