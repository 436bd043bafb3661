#pragma once
// The memo type form, UpdateMEMO_JENIS: one row of MEMO_JENIS added, changed, deleted or viewed,
// by the request in PendingRequest; the outcome is left in LastResponse. For an insert the caller
// primes the record first (JenisTableAccess->PrepareNewRecord, then the typed name into
// JEN:JENIS_MEMO). Runs on the program thread, nested in the window that calls it.
namespace docket::app {

void UpdateMEMO_JENIS();

} // namespace docket::app
