#pragma once
// The memo register's two tables as the driver sees them: MEMO_DB (one row per memo, with the memo
// body) and MEMO_JENIS (the memo types), their record layouts, keys and the process-wide record
// buffers. The declarations and buffers live for the whole program.
#include <cstdint>
#include <string>

#include "drivers/declaration.h"

namespace docket::app {

#pragma pack(push, 1)
// The 124-byte record of MEMO_DB (field prefix MEM).
struct MemoRecord {
    std::int32_t MEMO_ID;      // entry number, numbered automatically
    std::int32_t TANGGAL_MEMO; // memo date (day number)
    char MEMO_NO[31];          // CSTRING(31)
    char PERIHAL[81];          // CSTRING(81): subject
    std::int32_t JENIS_ID;     // memo type: JEN:JENIS_ID
};
// The 35-byte record of MEMO_JENIS (field prefix JEN).
struct JenisRecord {
    std::int32_t JENIS_ID;
    char JENIS_MEMO[31]; // CSTRING(31): type name
};
#pragma pack(pop)
static_assert(sizeof(MemoRecord) == 124);
static_assert(sizeof(JenisRecord) == 35);

// The memo body: MEMO(8192), the rich text as the editor streams it out.
inline constexpr std::uint32_t kMemoBodySize = 8192;

// Field numbers (1-based, as key components count them).
namespace mem_field {
inline constexpr int kMemoId = 1, kTanggalMemo = 2, kMemoNo = 3, kPerihal = 4, kJenisId = 5;
}
namespace jen_field {
inline constexpr int kJenisId = 1, kJenisMemo = 2;
}
// Key numbers (0-based, in declaration order).
namespace mem_key {
inline constexpr int kPrimaryKey = 0, kKeyNomorMemo = 1, kKeyTanggalMemo = 2, kKeyJenisMemo = 3;
}
namespace jen_key {
inline constexpr int kPrimaryKey = 0, kKeyJenis = 1;
}

// The process-wide buffers.
extern MemoRecord MEM;
extern char MEM_ISI_MEMO[kMemoBodySize];
extern JenisRecord JEN;
// Copies of the records for the ditto key of the forms.
extern MemoRecord MemoHistoryCopy;
extern JenisRecord JenisHistoryCopy;

// The declarations, bound to the buffers above. The file names may be given a folder with
// setDataFolder before the tables are first opened.
drivers::FileDeclaration& memoDeclaration();
drivers::FileDeclaration& jenisDeclaration();

// The display picture of a field ("@n-14", "@d17", "@s30", "@s80"); empty when it is not shown.
const char* memoPicture(int field);
const char* jenisPicture(int field);

// Places "MEMO.DB" and "JENIS.DB" in `folder` (empty: the current folder).
void setDataFolder(const std::string& folder);

} // namespace docket::app
