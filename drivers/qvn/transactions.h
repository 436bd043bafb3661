#pragma once
// Transactions over several native files (LOGOUT, COMMIT, ROLLBACK) and the question that the
// recovery of an interrupted commit asks: did it belong to a transaction that never reached its
// commit point?
//
// The runtime sends LOGOUT to each file of a transaction in turn and later COMMIT or ROLLBACK to
// each of them. The driver gathers consecutive LOGOUTs into one transaction (the first other
// operation closes the gathering); the first COMMIT or ROLLBACK of any of its tables ends the
// whole transaction, and the later ones of the same transaction answer 0.
//
// From its first change in a file until it ends, a transaction keeps a write access on that file:
// its changes stay private to the station, and no other station commits under it. The access on a
// second or later file is tried without waiting (5 when another station writes it), so two
// stations' transactions can never wait for each other.
#include <cstdint>
#include <string>

#include "drivers/qvn/qvn_file.h"

namespace docket::drivers::qvn {

class QvnTable;

// The name that markers record for the default control file: "quorvane.tcf" in the directory of
// the file that holds the marker.
inline constexpr const char* kDefaultTcfMarkerName = "C:\\quorvanE.TCF";
// The default control file of the physical file at `path`.
std::string defaultControlFile(const std::string& path);

// LOGOUT of one table: 56 when it is already in a transaction, 48 when the transaction would need
// more than 100 default control files. `seconds` (the first LOGOUT's of a transaction counts)
// bounds the wait for the write access of the transaction's first changed file when it is above
// 0: after it the change fails with 5. At 0 or below the wait has no end, as for a single change.
int logout(QvnTable& table, std::int32_t seconds = 0);
// 91 when the table is in no transaction.
int commit(QvnTable& table);
int rollback(QvnTable& table);
// Every operation other than LOGOUT closes the gathering of the current LOGOUTs.
void closeLogoutGathering();
// The table's first change in its file within a transaction takes the transaction's write access.
int joinChange(QvnTable& table);
// A table that closes (or is destroyed) inside a transaction rolls the transaction back.
void leaveTransaction(QvnTable& table);

// Installs the control-file question as every QvnFile's default (idempotent).
void installTransactionCheck();
int checkTransaction(QvnFile& file, bool* unfinished);

} // namespace docket::drivers::qvn
