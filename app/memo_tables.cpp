#include "app/memo_tables.h"

#include <string>

namespace docket::app {

using drivers::FileDeclaration;
using drivers::KeyDeclaration;
using drivers::MemoDeclaration;
using runtime::TypeCode;

MemoRecord MEM{};
char MEM_ISI_MEMO[kMemoBodySize]{};
JenisRecord JEN{};
MemoRecord MemoHistoryCopy{};
JenisRecord JenisHistoryCopy{};

namespace {

KeyDeclaration key(const char* label, std::uint16_t flags, std::int32_t component) {
    KeyDeclaration k;
    k.label = label;
    k.flags = flags;
    k.components = {component};
    return k;
}

std::string& dataFolder() {
    static std::string folder;
    return folder;
}

std::string inFolder(const char* name) {
    const std::string& folder = dataFolder();
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

FileDeclaration makeMemoDeclaration() {
    FileDeclaration d;
    d.label = "MEMO_DB";
    d.driver = "QUORVANE";
    d.name = inFolder("MEMO.DB");
    // The fields in the order and widths of MemoRecord, which the layout test checks offset by
    // offset.
    d.appendField("MEM:MEMO_ID", TypeCode::Long, 4);
    d.appendField("MEM:TANGGAL_MEMO", TypeCode::Date, 4);
    d.appendField("MEM:MEMO_NO", TypeCode::CString, 31);
    d.appendField("MEM:PERIHAL", TypeCode::CString, 81);
    d.appendField("MEM:JENIS_ID", TypeCode::Long, 4);
    d.record = reinterpret_cast<std::uint8_t*>(&MEM);
    MemoDeclaration body;
    body.label = "MEM:ISI_MEMO";
    body.size = kMemoBodySize;
    body.buffer = reinterpret_cast<std::uint8_t*>(MEM_ISI_MEMO);
    d.memos = {body};
    // The primary key's component is stored negated: the newest memo comes first.
    d.keys = {
        key("MEM:PRIMARYKEY", drivers::key_flag::kPrimary, -mem_field::kMemoId),
        key("MEM:KEYNOMORMEMO", drivers::key_flag::kDup, mem_field::kMemoNo),
        key("MEM:KEYTANGGALMEMO", drivers::key_flag::kDup, mem_field::kTanggalMemo),
        key("MEM:KEYJENISMEMO", drivers::key_flag::kDup, mem_field::kJenisId),
    };
    return d;
}

FileDeclaration makeJenisDeclaration() {
    FileDeclaration d;
    d.label = "MEMO_JENIS";
    d.driver = "QUORVANE";
    d.name = inFolder("JENIS.DB");
    d.appendField("JEN:JENIS_ID", TypeCode::Long, 4);
    d.appendField("JEN:JENIS_MEMO", TypeCode::CString, 31);
    d.record = reinterpret_cast<std::uint8_t*>(&JEN);
    d.keys = {
        key("JEN:PRIMARYKEY", drivers::key_flag::kPrimary, jen_field::kJenisId),
        key("JEN:KEYJENIS", 0, jen_field::kJenisMemo),
    };
    return d;
}

} // namespace

FileDeclaration& memoDeclaration() {
    static FileDeclaration d = makeMemoDeclaration();
    return d;
}

FileDeclaration& jenisDeclaration() {
    static FileDeclaration d = makeJenisDeclaration();
    return d;
}

void setDataFolder(const std::string& folder) {
    dataFolder() = folder;
    memoDeclaration().name = inFolder("MEMO.DB");
    jenisDeclaration().name = inFolder("JENIS.DB");
}

const char* memoPicture(int field) {
    switch (field) {
    case mem_field::kMemoId:
        return "@n-14";
    case mem_field::kTanggalMemo:
        return "@d17";
    case mem_field::kMemoNo:
        return "@s30";
    case mem_field::kPerihal:
        return "@s80";
    default:
        return "";
    }
}

const char* jenisPicture(int field) {
    switch (field) {
    case jen_field::kJenisId:
        return "@n-14";
    case jen_field::kJenisMemo:
        return "@s30";
    default:
        return "";
    }
}

} // namespace docket::app
