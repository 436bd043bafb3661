#pragma once
// TableRelations: one table (its TableAccess, ME) and the tables related to it. It opens and
// closes them together, and when a record of ME is updated or deleted it applies the referential
// rules towards the dependent tables (clear, restrict, cascade), inside a transaction when
// USELOGOUT is on.
//
// A relation links fields of this table (left) to fields of the related table (right) and names
// the related table's key that starts with the right fields (HISKEY). A relation without rules is
// a plain lookup: it only makes the related table open and close with this one.
//
// The link values of the record as it was read must be saved (SaveLinks) before the record is
// changed; Update compares the changed record with them to find the relations to act on.
#include <cstdint>
#include <vector>

#include "classes/data/link_field_pairs.h"
#include "classes/data/severity.h"
#include "classes/data/table_access.h"

namespace docket::classes {

enum RelationRule : std::uint8_t {
    RuleNone = 0,
    RuleClear = 1,    // the dependents' linking fields are cleared
    RuleRestrict = 2, // the change is refused while dependents exist
    RuleCascade = 3,  // the dependents follow (update: take the new value; delete: are deleted)
};

class TableRelations;

struct RelationEntry {
    TableRelations* FILE = nullptr; // the related table
    LinkFieldPairs FIELDS;          // left: this table's field; right: the related table's
    const KeyDeclaration* HISKEY = nullptr;
    std::uint8_t UPDATEMODE = RuleNone;
    std::uint8_t DELETEMODE = RuleNone;
};

class TableRelations {
public:
    TableRelations() = default;
    virtual ~TableRelations() = default;
    TableRelations(const TableRelations&) = delete;
    TableRelations& operator=(const TableRelations&) = delete;

    // ---- Virtual operations, in slot order ----
    // Forwards to ME, deleting the reserved record with this object's rules.
    virtual Severity ReleaseAutoNumber();
    // Closes ME and every related table (each once, whatever the cycles).
    virtual Severity Close();
    // Deletes ME's current record with the delete rules; `ask` asks "Confirm Delete" first. After
    // a failure the user is asked whether to try again.
    virtual Severity Delete(bool ask);
    // Run on the dependent table for a parent record being deleted.
    virtual Severity DeleteChildren(std::uint8_t rule, LinkFieldPairs& pairs, const KeyDeclaration* key);
    // The Init hook: a derived object adds its relations here. Init calls it last.
    virtual void InitRelations();
    // Opens ME and every related table (each once). Stops at the first failure.
    virtual Severity Open();
    // Saves the current link values of every relation (left to saved).
    virtual void SaveLinks();
    // SEND "QUICKSCAN=on" or "=off" to the table and, with propagate, to every related table.
    virtual void SetFastScan(bool on, bool propagate);
    // Writes ME's changed record and applies the update rules. `fromForm`: a record changed by
    // another station meanwhile is reported as shown to the user (message 7 instead of 6).
    virtual Severity Update(bool fromForm);
    // Run on the dependent table for a parent whose linking value changed.
    virtual Severity UpdateChildren(std::uint8_t rule, LinkFieldPairs& pairs, const KeyDeclaration* key);

    // ---- Other operations ----
    void Init(TableAccess& tableAccess, bool useLogout);
    // Adds a relation to `related`; without rules and key it is a lookup relation.
    void RelateTo(TableRelations& related, std::uint8_t updateRule = RuleNone,
                  std::uint8_t deleteRule = RuleNone, const KeyDeclaration* hisKey = nullptr);
    // Appends a pair to the relation added last: a field of this table and one of the related
    // table, by field number or as references.
    void LinkFields(int leftField, int rightField);
    void LinkFields(const FieldRef& leftField, const FieldRef& rightField);
    // Shuts down ME too and forgets the relations. Runs once.
    void Shutdown();

    // ---- Fields ----
    TableAccess* ME = nullptr;
    std::vector<RelationEntry> RELATIONS;
    TableRelations* ALIASFILE = nullptr;
    bool USELOGOUT = false;
    std::int32_t LASTTOUCHED = 0;

private:
    static std::int32_t nextStamp();
    Severity openWalk(std::int32_t stamp);
    void closeWalk(std::int32_t stamp);
    void fastScanWalk(std::int32_t stamp, bool on);
    // ME is stamped first, so that walks through the related tables never come back to it.
    Severity openRelated();
    void closeRelated();
    // The files a transaction must cover: ME, and those the update (or delete) rules may change.
    struct Coverage {
        std::vector<DriverFile*> files;
        std::vector<const TableRelations*> updated, deleted;
        void add(DriverFile* file);
    };
    void coverUpdate(Coverage& coverage) const;
    void coverDelete(Coverage& coverage) const;
    // LOGOUT over `files`: Proceed (also when the driver has no transactions: USELOGOUT goes
    // off), or Inform after "Transaction cancelled".
    Severity beginTransaction(const std::vector<DriverFile*>& files);
    void commitTransaction();
    // Positions the key at the linking values in the right fields: its other components take
    // their lowest value in the key's direction. Without a key the whole table is scanned.
    void positionChildren(LinkFieldPairs& pairs, const KeyDeclaration* key);
    // Writes a dependent record with its own update cascade.
    Severity writeWithCascade();
    // The next dependent candidate: Proceed with `more` false at the end; a read failure is
    // reported (after the rollback) and gives Inform.
    Severity readChild(bool& more);

    bool shutDown_ = false;
    bool initialised_ = false;
};

// Whether the current thread is inside a transaction begun by a TableRelations; its rollback.
bool relationsTransactionActive();
void rollbackRelationsTransaction();

} // namespace docket::classes
