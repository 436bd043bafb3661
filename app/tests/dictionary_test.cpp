// The memo register's tables through the dictionary's file-access objects: declarations as the
// driver sees them, first use in a fresh folder, auto-numbering with today's date, the duplicate
// type name, the restricted delete of a type in use, and the newest memo first.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/dictionary.h"
#include "classes/data/tests/table_test_support.h"
#include "runtime/core/dates.h"
#include "runtime/expression/expression.h"
#include "files/file_statements.h"

namespace docket::app {
namespace {

using namespace classes;
using classes::testing::Halts;
using classes::testing::Messages;
using classes::testing::ScratchDir;
using classes::testing::Station;

TEST(MemoTables, DeclarationsMatchTheStoredLayout) {
    const auto& m = memoDeclaration();
    EXPECT_EQ(m.recordLength, 124u);
    ASSERT_EQ(m.fields.size(), 5u);
    EXPECT_EQ(m.fields[2].offset, 8u);
    EXPECT_EQ(m.fields[3].offset, 39u);
    EXPECT_EQ(m.fields[4].offset, 120u);
    ASSERT_EQ(m.memos.size(), 1u);
    EXPECT_EQ(m.memos[0].size, 8192u);
    ASSERT_EQ(m.keys.size(), 4u);
    EXPECT_EQ(m.keys[0].flags, 16);
    EXPECT_EQ(m.keys[0].components, std::vector<std::int32_t>{-1});
    for (int k = 1; k < 4; ++k) EXPECT_EQ(m.keys[static_cast<std::size_t>(k)].flags, 1);
    const auto& j = jenisDeclaration();
    EXPECT_EQ(j.recordLength, 35u);
    EXPECT_EQ(j.keys[1].flags, 0);
    EXPECT_STREQ(memoPicture(mem_field::kTanggalMemo), "@d17");
    EXPECT_STREQ(memoPicture(mem_field::kJenisId), "");
}

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        setDataFolder(dir.file(""));
        dictionaryStartup(reporter);
    }
    void TearDown() override {
        dictionaryShutdown();
        setDataFolder("");
    }
    Severity addType(const char* name) {
        if (Severity s = JenisTableAccess->PrepareNewRecord(false); s != Severity::Proceed) return s;
        std::snprintf(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, "%s", name);
        const Severity s = JenisTableAccess->Insert(kReport);
        if (s != Severity::Proceed) JenisTableAccess->ReleaseAutoNumber();
        return s;
    }
    Severity addMemo(std::int32_t type, const char* subject) {
        if (Severity s = MemoTableAccess->PrepareNewRecord(false); s != Severity::Proceed) return s;
        MEM.JENIS_ID = type;
        std::snprintf(MEM.PERIHAL, sizeof MEM.PERIHAL, "%s", subject);
        return MemoTableAccess->Insert(kReport);
    }

    ScratchDir dir;
    Messages messages;
    Halts halts;
    ErrorReporter reporter;
};

TEST_F(DictionaryTest, AFreshFolderGetsBothFilesOnFirstUseAndNumbersNewRecords) {
    EXPECT_NE(MemoRelations, nullptr);
    EXPECT_NE(JenisTableAccess, nullptr);
    ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
    ASSERT_EQ(addType("Nota Dinas"), Severity::Proceed);
    EXPECT_EQ(JEN.JENIS_ID, 1);
    EXPECT_TRUE(std::filesystem::exists(dir.file("JENIS.DB")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("MEMO.DB")));
    ASSERT_EQ(addMemo(1, "first"), Severity::Proceed);
    EXPECT_EQ(MEM.MEMO_ID, 1);
    EXPECT_EQ(MEM.TANGGAL_MEMO, runtime::today());
    ASSERT_EQ(addMemo(1, "second"), Severity::Proceed);
    EXPECT_EQ(MEM.MEMO_ID, 2);

    // Reading by the primary key from the start gives the newest memo first.
    ASSERT_EQ(runtime::set(runtime::KeyRef{memoFile(), memoDeclaration().keys[mem_key::kPrimaryKey]}), 0);
    ASSERT_EQ(MemoTableAccess->Next(kReport), Severity::Proceed);
    EXPECT_EQ(MEM.MEMO_ID, 2);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(JenisRelations->Close(), Severity::Proceed);
}

TEST_F(DictionaryTest, ADuplicateTypeNameIsRefusedWithTheKeyDescription) {
    ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
    ASSERT_EQ(addType("Undangan"), Severity::Proceed);
    EXPECT_EQ(addType("Undangan"), Severity::Inform);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Duplicate Key Error");
    EXPECT_EQ(messages.shown[0].text,
              "Adding this record creates a duplicate entry for the key: Urut Jenis Memo");
    std::uint64_t count = 0;
    ASSERT_EQ(runtime::records(jenisFile(), count), 0);
    EXPECT_EQ(count, 1u);
    JenisRelations->Close();
}

TEST_F(DictionaryTest, ATypeInUseCannotBeDeletedAndAnUnusedOneCan) {
    ASSERT_EQ(JenisRelations->Open(), Severity::Proceed);
    ASSERT_EQ(addType("Laporan"), Severity::Proceed);
    ASSERT_EQ(addType("Pengumuman"), Severity::Proceed);
    ASSERT_EQ(addMemo(1, "uses Laporan"), Severity::Proceed);

    JEN.JENIS_ID = 1;
    ASSERT_EQ(JenisTableAccess->ReadByKey(jenisDeclaration().keys[jen_key::kPrimaryKey]), Severity::Proceed);
    messages.answer("Record Delete Error", {button::kNo});
    EXPECT_EQ(JenisRelations->Delete(false), Severity::Inform);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown[0].title, "Referential Integrity Delete Error");
    EXPECT_EQ(messages.shown[0].text, "This record is referenced from the file " + dir.file("MEMO.DB") +
                                          ". This record cannot be deleted while these references exist.");
    std::uint64_t types = 0, memos = 0;
    ASSERT_EQ(runtime::records(jenisFile(), types), 0);
    ASSERT_EQ(runtime::records(memoFile(), memos), 0);
    EXPECT_EQ(types, 2u);
    EXPECT_EQ(memos, 1u);

    messages.shown.clear();
    JEN.JENIS_ID = 2;
    ASSERT_EQ(JenisTableAccess->ReadByKey(jenisDeclaration().keys[jen_key::kPrimaryKey]), Severity::Proceed);
    EXPECT_EQ(JenisRelations->Delete(false), Severity::Proceed);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(runtime::records(jenisFile(), types), 0);
    EXPECT_EQ(types, 1u);
    JenisRelations->Close();
}

TEST_F(DictionaryTest, AWholeBodyIsStoredAndTheBodyIsBoundForExpressions) {
    ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
    ASSERT_EQ(MemoTableAccess->PrepareNewRecord(false), Severity::Proceed);
    std::memset(MEM_ISI_MEMO, 'x', kMemoBodySize);
    MEM_ISI_MEMO[0] = '{';
    MEM_ISI_MEMO[kMemoBodySize - 1] = '}';
    std::snprintf(MEM.PERIHAL, sizeof MEM.PERIHAL, "long");
    ASSERT_EQ(MemoTableAccess->Insert(kReport), Severity::Proceed);
    std::memset(MEM_ISI_MEMO, 0, kMemoBodySize);
    ASSERT_EQ(MemoTableAccess->ReadByKey(memoDeclaration().keys[mem_key::kPrimaryKey]), Severity::Proceed);
    EXPECT_EQ(MEM_ISI_MEMO[0], '{');
    EXPECT_EQ(MEM_ISI_MEMO[kMemoBodySize - 1], '}');

    MemoTableAccess->BindFields();
    EXPECT_EQ(runtime::evaluate("INSTRING('}', MEM:Isi_Memo, 1, 1) = 8192 AND MEM:PERIHAL = 'long'"), "1");
    MemoRelations->Close();
}

TEST_F(DictionaryTest, ShutDownEmptiesTheGlobalReferences) {
    dictionaryShutdown();
    EXPECT_EQ(MemoTableAccess, nullptr);
    EXPECT_EQ(JenisTableAccess, nullptr);
    EXPECT_EQ(MemoRelations, nullptr);
    EXPECT_EQ(JenisRelations, nullptr);
}

// Two stations priming a new memo at once get consecutive numbers.
TEST(DictionaryStations, TwoStationsPrimingAtOnceGetConsecutiveNumbers) {
    ScratchDir dir;
    auto station = [&](Station& s) {
        setDataFolder(dir.file(""));
        ErrorReporter reporter;
        dictionaryStartup(reporter);
        if (MemoRelations->Open() != Severity::Proceed) return 2;
        if (!s.awaitParent()) return 3;
        int rc = 0;
        for (int i = 0; i < 20 && rc == 0; ++i)
            if (MemoTableAccess->PrepareNewRecord(false) != Severity::Proceed ||
                MemoTableAccess->Insert(kSilent) != Severity::Proceed)
                rc = 4;
        MemoRelations->Close();
        dictionaryShutdown();
        return rc;
    };
    {
        // The files exist before the stations start, so that neither has to create them.
        setDataFolder(dir.file(""));
        ErrorReporter reporter;
        dictionaryStartup(reporter);
        ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
        ASSERT_EQ(MemoTableAccess->PrepareNewRecord(false), Severity::Proceed);
        ASSERT_EQ(MemoTableAccess->Insert(kSilent), Severity::Proceed);
        MemoRelations->Close();
        dictionaryShutdown();
    }
    Station a(station), b(station);
    a.tellChild();
    b.tellChild();
    EXPECT_EQ(a.finish(), 0);
    EXPECT_EQ(b.finish(), 0);

    ErrorReporter reporter;
    dictionaryStartup(reporter);
    ASSERT_EQ(MemoRelations->Open(), Severity::Proceed);
    std::vector<std::int32_t> ids;
    ASSERT_EQ(runtime::set(runtime::KeyRef{memoFile(), memoDeclaration().keys[mem_key::kPrimaryKey]}), 0);
    while (MemoTableAccess->Next(kSilent) == Severity::Proceed) ids.push_back(MEM.MEMO_ID);
    ASSERT_EQ(ids.size(), 41u);
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], static_cast<std::int32_t>(41 - i));
    MemoRelations->Close();
    dictionaryShutdown();
    setDataFolder("");
}

} // namespace
} // namespace docket::app
