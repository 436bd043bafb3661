#include "app/memo_tables.h"

#include <cstddef>
#include <string>

namespace docket::app {

using drivers::FieldDeclaration;
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

FieldDeclaration field(const char* label, TypeCode type, std::size_t offset, std::uint32_t size) {
    FieldDeclaration f;
    f.type = type;
    f.offset = static_cast<std::uint32_t>(offset);
    f.size = size;
    f.label = label;
    if (type == TypeCode::CString || type == TypeCode::String) f.elementLength = size;
    return f;
}

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
    d.recordLength = sizeof(MemoRecord);
    d.record = reinterpret_cast<std::uint8_t*>(&MEM);
    d.fields = {
        field("MEM:MEMO_ID", TypeCode::Long, offsetof(MemoRecord, MEMO_ID), 4),
        field("MEM:TANGGAL_MEMO", TypeCode::Date, offsetof(MemoRecord, TANGGAL_MEMO), 4),
        field("MEM:MEMO_NO", TypeCode::CString, offsetof(MemoRecord, MEMO_NO), 31),
        field("MEM:PERIHAL", TypeCode::CString, offsetof(MemoRecord, PERIHAL), 81),
        field("MEM:JENIS_ID", TypeCode::Long, offsetof(MemoRecord, JENIS_ID), 4),
    };
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
    d.recordLength = sizeof(JenisRecord);
    d.record = reinterpret_cast<std::uint8_t*>(&JEN);
    d.fields = {
        field("JEN:JENIS_ID", TypeCode::Long, offsetof(JenisRecord, JENIS_ID), 4),
        field("JEN:JENIS_MEMO", TypeCode::CString, offsetof(JenisRecord, JENIS_MEMO), 31),
    };
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
