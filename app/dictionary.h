#pragma once
// The memo register's data dictionary at run time: the four file-access objects over MEMO_DB and
// MEMO_JENIS, reachable through global references from dictionary start-up to shut-down.
//
// MEMO_JENIS is the parent of MEMO_DB (one memo type, many memos, JEN:JENIS_ID = MEM:JENIS_ID, read
// on the child side through MEM:KEYJENISMEMO): a memo type that a memo uses cannot be deleted
// (RuleRestrict); a change of a type's number is not passed on (RuleNone). Seen from MEMO_DB the
// relation is a plain lookup.
#include "app/memo_tables.h"
#include "classes/data/error_reporter.h"
#include "classes/data/table_access.h"
#include "classes/data/table_relations.h"

namespace docket::app {

// The runtime blocks of the two tables.
drivers::DriverFile& memoFile();
drivers::DriverFile& jenisFile();

// MEMO_DB's access: a new record is primed with today's date; the body is bound for expressions
// as "MEM:Isi_Memo" (STRING(8192)) after the record's fields.
class MemoTableAccessType : public classes::TableAccess {
public:
    void FillNewRecord() override;
    void BindFields() override;
    void Shutdown() override;
};

class JenisTableAccessType : public classes::TableAccess {
public:
    void Shutdown() override;
};

class MemoRelationsType : public classes::TableRelations {
public:
    void InitRelations() override;
};

class JenisRelationsType : public classes::TableRelations {
public:
    void InitRelations() override;
};

// The global references: null before start-up and after shut-down.
extern MemoTableAccessType* MemoTableAccess;
extern JenisTableAccessType* JenisTableAccess;
extern MemoRelationsType* MemoRelations;
extern JenisRelationsType* JenisRelations;

// Creates and initialises the four objects in the dictionary's order, with `errors` as their
// reporter. Does nothing when they exist already.
void dictionaryStartup(classes::ErrorReporter& errors);
// Shuts MemoRelations and then JenisRelations down (each with its table access) and releases the
// objects.
void dictionaryShutdown();

} // namespace docket::app
