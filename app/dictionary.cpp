#include "app/dictionary.h"

#include <memory>

#include "runtime/expression/binding_scopes.h"
#include "runtime/core/dates.h"

namespace docket::app {

using classes::RuleNone;
using classes::RuleRestrict;

MemoTableAccessType* MemoTableAccess = nullptr;
JenisTableAccessType* JenisTableAccess = nullptr;
MemoRelationsType* MemoRelations = nullptr;
JenisRelationsType* JenisRelations = nullptr;

namespace {

// The objects themselves; the global references above point at them while they live.
struct Objects {
    std::unique_ptr<MemoTableAccessType> memoAccess = std::make_unique<MemoTableAccessType>();
    std::unique_ptr<JenisTableAccessType> jenisAccess = std::make_unique<JenisTableAccessType>();
    std::unique_ptr<MemoRelationsType> memoRelations = std::make_unique<MemoRelationsType>();
    std::unique_ptr<JenisRelationsType> jenisRelations = std::make_unique<JenisRelationsType>();
};

std::unique_ptr<Objects>& objects() {
    static std::unique_ptr<Objects> o;
    return o;
}

} // namespace

drivers::DriverFile& memoFile() {
    static drivers::DriverFile file{&memoDeclaration(), nullptr};
    return file;
}

drivers::DriverFile& jenisFile() {
    static drivers::DriverFile file{&jenisDeclaration(), nullptr};
    return file;
}

void MemoTableAccessType::FillNewRecord() {
    MEM.TANGGAL_MEMO = runtime::today();
}

void MemoTableAccessType::Shutdown() {
    TableAccess::Shutdown();
    MemoTableAccess = nullptr;
}

void JenisTableAccessType::Shutdown() {
    TableAccess::Shutdown();
    JenisTableAccess = nullptr;
}

void MemoRelationsType::InitRelations() {
    // A lookup: list windows show the type name beside each memo.
    RelateTo(*JenisRelations);
}

void JenisRelationsType::InitRelations() {
    const auto& memoKeys = memoDeclaration().keys;
    RelateTo(*MemoRelations, RuleNone, RuleRestrict, &memoKeys[mem_key::kKeyJenisMemo]);
    LinkFields(jen_field::kJenisId, mem_field::kJenisId);
}

void dictionaryStartup(classes::ErrorReporter& errors) {
    if (objects()) return;
    objects() = std::make_unique<Objects>();
    Objects& o = *objects();
    MemoRelations = o.memoRelations.get();
    JenisRelations = o.jenisRelations.get();

    MemoTableAccess = o.memoAccess.get();
    MemoTableAccess->Init(memoFile(), errors);
    MemoTableAccess->SetBuffer(reinterpret_cast<std::uint8_t*>(&MEM), sizeof MEM);
    MemoTableAccess->CREATE = true;
    MemoTableAccess->LOCKRECOVER = 10;
    const auto& memoKeys = memoDeclaration().keys;
    MemoTableAccess->DeclareKey("Urut Entry", memoKeys[mem_key::kPrimaryKey], true);
    MemoTableAccess->DeclareKey("Urut Nomor Memo", memoKeys[mem_key::kKeyNomorMemo]);
    MemoTableAccess->DeclareKey("Urut Tanggal Memo", memoKeys[mem_key::kKeyTanggalMemo]);
    MemoTableAccess->DeclareKey("Urut Jenis Memo", memoKeys[mem_key::kKeyJenisMemo]);
    MemoRelations->Init(*MemoTableAccess, true);

    JenisTableAccess = o.jenisAccess.get();
    JenisTableAccess->Init(jenisFile(), errors);
    JenisTableAccess->SetBuffer(reinterpret_cast<std::uint8_t*>(&JEN), sizeof JEN);
    JenisTableAccess->CREATE = true;
    JenisTableAccess->LOCKRECOVER = 10;
    const auto& jenisKeys = jenisDeclaration().keys;
    JenisTableAccess->DeclareKey("Urut Jenis ID", jenisKeys[jen_key::kPrimaryKey], true);
    JenisTableAccess->DeclareKey("Urut Jenis Memo", jenisKeys[jen_key::kKeyJenis]);
    JenisRelations->Init(*JenisTableAccess, true);
}

void dictionaryShutdown() {
    if (!objects()) return;
    if (MemoRelations) MemoRelations->Shutdown();
    if (JenisRelations) JenisRelations->Shutdown();
    MemoRelations = nullptr;
    JenisRelations = nullptr;
    MemoTableAccess = nullptr;
    JenisTableAccess = nullptr;
    objects().reset();
}

void MemoTableAccessType::BindFields() {
    TableAccess::BindFields();
    runtime::bindVariable("MEM:Isi_Memo",
                          runtime::BoundVariable{runtime::TypeCode::String, MEM_ISI_MEMO, kMemoBodySize, 0});
}

} // namespace docket::app
