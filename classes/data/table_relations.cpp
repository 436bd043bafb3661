#include "classes/data/table_relations.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>

#include "runtime/core/error_state.h"
#include "runtime/core/thread_hook.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/thread_state.h"

namespace docket::classes {

namespace {
// LOGOUT's timeout, in the driver's units.
constexpr std::int32_t kLogoutTimeout = 2;

std::atomic<std::int32_t> walkStamp{0};

// Whether the running thread is inside a transaction begun here.
runtime::ThreadSlot<bool> threadInTransaction;

bool isActiveRule(std::uint8_t rule) {
    return rule == RuleClear || rule == RuleRestrict || rule == RuleCascade;
}

void markTransaction(bool active) { threadInTransaction.get() = active; }

} // namespace

bool relationsTransactionActive() {
    const bool* active = threadInTransaction.find();
    return active && *active;
}

void rollbackRelationsTransaction() {
    if (!relationsTransactionActive()) return;
    markTransaction(false);
    runtime::rollback();
}

// ---- Set-up --------------------------------------------------------------------------------------

void TableRelations::Init(TableAccess& tableAccess, bool useLogout) {
    ME = &tableAccess;
    USELOGOUT = useLogout;
    RELATIONS.clear();
    LASTTOUCHED = 0;
    shutDown_ = false;
    initialised_ = true;
    InitRelations();
}

void TableRelations::InitRelations() {}

void TableRelations::RelateTo(TableRelations& related, std::uint8_t updateRule, std::uint8_t deleteRule,
                              const KeyDeclaration* hisKey) {
    RelationEntry entry;
    entry.FILE = &related;
    entry.HISKEY = hisKey;
    entry.UPDATEMODE = updateRule;
    entry.DELETEMODE = deleteRule;
    RELATIONS.push_back(std::move(entry));
}

void TableRelations::LinkFields(int leftField, int rightField) {
    if (RELATIONS.empty() || !ME || !RELATIONS.back().FILE->ME) return;
    LinkFields(FieldRef::of(*ME->FILE->declaration, leftField),
               FieldRef::of(*RELATIONS.back().FILE->ME->FILE->declaration, rightField));
}

void TableRelations::LinkFields(const FieldRef& leftField, const FieldRef& rightField) {
    if (RELATIONS.empty()) return;
    RELATIONS.back().FIELDS.AddPair(leftField, rightField);
}

void TableRelations::Shutdown() {
    if (!initialised_ || shutDown_) return;
    shutDown_ = true;
    if (ME) ME->Shutdown();
    RELATIONS.clear();
}

Severity TableRelations::ReleaseAutoNumber() {
    return ME->ReleaseAutoNumber(this);
}

void TableRelations::SaveLinks() {
    for (auto& relation : RELATIONS) relation.FIELDS.AssignLeftToSaved();
}

// ---- Walks ---------------------------------------------------------------------------------------

std::int32_t TableRelations::nextStamp() {
    return walkStamp.fetch_add(1) + 1;
}

Severity TableRelations::Open() {
    return openWalk(nextStamp());
}

Severity TableRelations::openWalk(std::int32_t stamp) {
    if (LASTTOUCHED == stamp || !ME) return Severity::Proceed;
    LASTTOUCHED = stamp;
    Severity result = ME->Open(kReport);
    if (result != Severity::Proceed) return result;
    result = ME->RequireOpen();
    if (result != Severity::Proceed) return result;
    for (auto& relation : RELATIONS) {
        result = relation.FILE->openWalk(stamp);
        if (result != Severity::Proceed) return result;
    }
    return Severity::Proceed;
}

Severity TableRelations::Close() {
    closeWalk(nextStamp());
    return Severity::Proceed;
}

void TableRelations::closeWalk(std::int32_t stamp) {
    if (LASTTOUCHED == stamp || !ME) return;
    LASTTOUCHED = stamp;
    ME->Close();
    for (auto& relation : RELATIONS) relation.FILE->closeWalk(stamp);
}

Severity TableRelations::openRelated() {
    const std::int32_t stamp = nextStamp();
    LASTTOUCHED = stamp;
    for (auto& relation : RELATIONS) {
        const Severity result = relation.FILE->openWalk(stamp);
        if (result != Severity::Proceed) return result;
    }
    return Severity::Proceed;
}

void TableRelations::closeRelated() {
    const std::int32_t stamp = nextStamp();
    LASTTOUCHED = stamp;
    for (auto& relation : RELATIONS) relation.FILE->closeWalk(stamp);
}

void TableRelations::SetFastScan(bool on, bool propagate) {
    if (propagate) {
        fastScanWalk(nextStamp(), on);
        return;
    }
    std::string ignored;
    runtime::send(*ME->FILE, on ? "QUICKSCAN=on" : "QUICKSCAN=off", ignored);
}

void TableRelations::fastScanWalk(std::int32_t stamp, bool on) {
    if (LASTTOUCHED == stamp || !ME) return;
    LASTTOUCHED = stamp;
    std::string ignored;
    runtime::send(*ME->FILE, on ? "QUICKSCAN=on" : "QUICKSCAN=off", ignored);
    for (auto& relation : RELATIONS) relation.FILE->fastScanWalk(stamp, on);
}

// ---- Transactions --------------------------------------------------------------------------------

void TableRelations::Coverage::add(DriverFile* file) {
    if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
}

void TableRelations::coverUpdate(Coverage& coverage) const {
    if (std::find(coverage.updated.begin(), coverage.updated.end(), this) != coverage.updated.end()) return;
    coverage.updated.push_back(this);
    coverage.add(ME->FILE);
    for (const auto& relation : RELATIONS)
        if (relation.UPDATEMODE == RuleClear || relation.UPDATEMODE == RuleCascade)
            relation.FILE->coverUpdate(coverage);
}

void TableRelations::coverDelete(Coverage& coverage) const {
    if (std::find(coverage.deleted.begin(), coverage.deleted.end(), this) != coverage.deleted.end()) return;
    coverage.deleted.push_back(this);
    coverage.add(ME->FILE);
    for (const auto& relation : RELATIONS) {
        if (relation.DELETEMODE == RuleCascade)
            relation.FILE->coverDelete(coverage);
        else if (relation.DELETEMODE == RuleClear)
            relation.FILE->coverUpdate(coverage);
    }
}

Severity TableRelations::beginTransaction(const std::vector<DriverFile*>& files) {
    const int rc = runtime::logout(kLogoutTimeout, files);
    if (rc == 0) {
        markTransaction(true);
        return Severity::Proceed;
    }
    if (rc == runtime::error::kUnsupportedDriverFunction) {
        USELOGOUT = false;
        return Severity::Proceed;
    }
    ME->PostError(21);
    return Severity::Inform;
}

// ---- Update ----------------------------------------------------------------------------------------

Severity TableRelations::Update(bool fromForm) {
    Severity result = openRelated();
    if (result != Severity::Proceed) {
        closeRelated();
        return result;
    }
    if (USELOGOUT) {
        Coverage coverage;
        coverUpdate(coverage);
        result = beginTransaction(coverage.files);
        if (result != Severity::Proceed) {
            closeRelated();
            return result;
        }
    }
    // Restrictions are checked before this record is written: a refused change then leaves
    // nothing to undo, also without a transaction.
    for (auto& relation : RELATIONS) {
        if (relation.UPDATEMODE != RuleRestrict || relation.FIELDS.EqualLeftSaved()) continue;
        result = relation.FILE->UpdateChildren(relation.UPDATEMODE, relation.FIELDS, relation.HISKEY);
        if (result != Severity::Proceed) {
            rollbackRelationsTransaction();
            closeRelated();
            return result;
        }
    }
    result = ME->Update(kSilent);
    if (result != Severity::Proceed) {
        rollbackRelationsTransaction();
        ThreadState& ts = ME->SelectThreadState();
        if (fromForm && ts.LASTERROR == 6) ts.LASTERROR = 7;
        if (result == Severity::Inform) ME->PostLastError();
        const bool changedElsewhere = result == Severity::Inform && (ts.LASTERROR == 6 || ts.LASTERROR == 7);
        closeRelated();
        return changedElsewhere ? Severity::Inform : Severity::Question;
    }
    for (auto& relation : RELATIONS) {
        if ((relation.UPDATEMODE != RuleClear && relation.UPDATEMODE != RuleCascade) ||
            relation.FIELDS.EqualLeftSaved())
            continue;
        result = relation.FILE->UpdateChildren(relation.UPDATEMODE, relation.FIELDS, relation.HISKEY);
        if (result != Severity::Proceed) {
            // This record's linking fields show the values it still has on file (after the
            // rollback) again.
            relation.FIELDS.AssignSavedToLeft();
            rollbackRelationsTransaction();
            closeRelated();
            return result;
        }
    }
    if (relationsTransactionActive()) {
        markTransaction(false);
        if (runtime::commit() != 0) {
            ME->PostError(25);
            closeRelated();
            return Severity::Question;
        }
    }
    closeRelated();
    return Severity::Proceed;
}

void TableRelations::positionChildren(LinkFieldPairs& pairs, const KeyDeclaration* key) {
    if (!key) {
        runtime::set(*ME->FILE);
        return;
    }
    FileDeclaration& d = *ME->FILE->declaration;
    for (std::int32_t component : key->components) {
        const int field = std::abs(component);
        if (field < 1 || static_cast<std::size_t>(field) > d.fields.size()) continue;
        const bool linking = std::any_of(pairs.Pairs().begin(), pairs.Pairs().end(), [&](const auto& p) {
            return p.right.file == &d && p.right.field == field;
        });
        if (!linking) setExtremeValue(runtime::fieldVariable(d, field), component < 0);
    }
    runtime::set(runtime::KeyRef{*ME->FILE, *key}, *key);
}

Severity TableRelations::readChild(bool& more) {
    more = false;
    const Severity read = ME->Next(kSilent);
    if (read == Severity::Proceed) {
        more = true;
        return Severity::Proceed;
    }
    if (read == Severity::Inform && ME->SelectThreadState().ATEOF) return Severity::Proceed;
    // A dependent that cannot be read (a read error, or a record held by another station) cannot
    // be checked: the change is abandoned.
    rollbackRelationsTransaction();
    ME->PostLastError();
    return Severity::Inform;
}

Severity TableRelations::writeWithCascade() {
    for (auto& relation : RELATIONS) {
        if (!isActiveRule(relation.UPDATEMODE) || relation.FIELDS.EqualLeftSaved()) continue;
        const Severity result =
            relation.FILE->UpdateChildren(relation.UPDATEMODE, relation.FIELDS, relation.HISKEY);
        if (result != Severity::Proceed) return Severity::Inform;
    }
    if (ME->Update(kSilent) != Severity::Proceed) {
        rollbackRelationsTransaction();
        ME->PostLastError();
        return Severity::Inform;
    }
    return Severity::Proceed;
}

Severity TableRelations::UpdateChildren(std::uint8_t rule, LinkFieldPairs& pairs, const KeyDeclaration* key) {
    if (ME->RequireOpen() != Severity::Proceed) return Severity::Fatal;
    const std::uint16_t state = ME->PushTableState();
    runtime::clearRecord(*ME->FILE->declaration);
    pairs.AssignSavedToRight();
    positionChildren(pairs, key);
    Severity result = Severity::Proceed;
    for (;;) {
        bool more = false;
        result = readChild(more);
        if (result != Severity::Proceed || !more) break;
        if (!pairs.EqualRightSaved()) {
            if (key) break; // past the dependents in key order
            continue;       // a scan in record order looks at every record
        }
        SaveLinks();
        if (rule == RuleRestrict) {
            ME->NoteError(31);
            rollbackRelationsTransaction();
            ME->PostLastError();
            pairs.AssignSavedToLeft();
            result = Severity::Inform;
            break;
        }
        if (rule == RuleClear)
            pairs.ClearRight();
        else
            pairs.AssignLeftToRight();
        result = writeWithCascade();
        if (result != Severity::Proceed) break;
    }
    ME->PopTableState(state);
    return result;
}

// ---- Delete ----------------------------------------------------------------------------------------

Severity TableRelations::Delete(bool ask) {
    if (ask && ME->PostError(9) != Severity::Proceed) return Severity::Inform;
    for (;;) {
        const std::string position = ME->Position();
        Severity result = openRelated();
        if (result == Severity::Proceed && USELOGOUT) {
            Coverage coverage;
            coverDelete(coverage);
            result = beginTransaction(coverage.files);
        }
        if (result == Severity::Proceed && ME->Reget(position) != Severity::Proceed) {
            // The record is no longer there to be deleted (or cannot be read).
            ME->NoteError(11);
            rollbackRelationsTransaction();
            result = ME->PostLastError();
            if (result == Severity::Proceed) result = Severity::Inform;
        }
        if (result == Severity::Proceed) {
            for (auto& relation : RELATIONS) {
                if (!isActiveRule(relation.DELETEMODE)) continue;
                if (relation.FILE->DeleteChildren(relation.DELETEMODE, relation.FIELDS, relation.HISKEY) !=
                    Severity::Proceed) {
                    result = Severity::Inform;
                    break;
                }
            }
        }
        if (result == Severity::Proceed) {
            ME->Delete();
            if (runtime::errorCode() != 0) {
                ME->NoteError(11);
                rollbackRelationsTransaction();
                ME->PostLastError();
                result = Severity::Inform;
            } else if (relationsTransactionActive()) {
                markTransaction(false);
                if (runtime::commit() != 0) {
                    ME->PostError(11);
                    result = Severity::Inform;
                }
            }
        }
        rollbackRelationsTransaction(); // nothing is left open whatever happened above
        closeRelated();
        if (result == Severity::Proceed) return result;
        if (ME->PostError(33) != Severity::Proceed) return result;
    }
}

Severity TableRelations::DeleteChildren(std::uint8_t rule, LinkFieldPairs& pairs, const KeyDeclaration* key) {
    if (ME->RequireOpen() != Severity::Proceed) return Severity::Fatal;
    const std::uint16_t state = ME->PushTableState();
    runtime::clearRecord(*ME->FILE->declaration);
    pairs.AssignLeftToRight();
    positionChildren(pairs, key);
    Severity result = Severity::Proceed;
    for (;;) {
        bool more = false;
        result = readChild(more);
        if (result != Severity::Proceed || !more) break;
        if (!pairs.EqualLeftRight()) {
            if (key) break;
            continue;
        }
        if (ME->SkipRecord()) continue;
        if (rule == RuleRestrict) {
            ME->NoteError(30);
            rollbackRelationsTransaction();
            ME->PostLastError();
            result = Severity::Inform;
            break;
        }
        if (rule == RuleClear) {
            SaveLinks();
            pairs.ClearRight();
            result = writeWithCascade();
            if (result != Severity::Proceed) break;
            continue;
        }
        for (auto& relation : RELATIONS) {
            if (!isActiveRule(relation.DELETEMODE)) continue;
            if (relation.FILE->DeleteChildren(relation.DELETEMODE, relation.FIELDS, relation.HISKEY) !=
                Severity::Proceed) {
                result = Severity::Inform;
                break;
            }
        }
        if (result != Severity::Proceed) break;
        ME->Delete();
        if (runtime::errorCode() != 0) {
            ME->NoteError(11);
            rollbackRelationsTransaction();
            ME->PostLastError();
            result = Severity::Inform;
            break;
        }
    }
    ME->PopTableState(state);
    return result;
}

} // namespace docket::classes
