// BUILD of the file, of a key (and of every key with FULLBUILD), of dynamic indexes with and
// without a filter, cancelled builds, and PACK.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/tests/qvn_test_util.h"
#include "drivers/qvn/tests/table_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;
using enum OperationCode;

// ID LONG, NAME CSTRING(20), GRP LONG; NOTE MEMO(800). Keys: 0 ID (unique), 1 INDEX over NAME with
// DUP, 2 INDEX over GRP without DUP, 3 INDEX without components.
struct People : TestTable {
    explicit People(const std::string& name) : TestTable(name) {
        field("ID", TypeCode::Long, 4);
        field("NAME", TypeCode::CString, 20);
        field("GRP", TypeCode::Long, 4);
        memo("NOTE", 800);
        key("ID_KEY", 0, {1});
        key("NAME_IDX", key_flag::kIndex | key_flag::kDup, {2});
        key("GRP_IDX", key_flag::kIndex, {3});
        key("DYN", key_flag::kIndex | key_flag::kDup, {});
    }
    int addPerson(std::int32_t id, const std::string& name, std::int32_t group,
                  const std::string& note = {}) {
        setLong(1, id);
        setText(2, name);
        setLong(3, group);
        setMemo(0, note);
        return call(ADD);
    }
    // The IDs read through key `key` from its start.
    std::vector<std::int32_t> idsBy(int key) {
        std::vector<std::int32_t> ids;
        EXPECT_EQ(callKey(SETkey, key), 0);
        while (call(NEXT) == 0) ids.push_back(getLong(1));
        return ids;
    }
    int build(OperationCode code, int key = -1, const std::string& text = {},
              const std::string& filter = {}) {
        DriverArguments args;
        args.text = text;
        args.result = filter;
        return key < 0 ? call(code, args) : callKey(code, key, args);
    }
    int send(const std::string& command) {
        DriverArguments args;
        args.text = command;
        return call(SEND, args);
    }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class BuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("people.qvn");
        ASSERT_EQ(t.call(CREATE), 0);
        ASSERT_EQ(t.call(OPEN), 0);
        const char* names[] = {"dora", "anna", "carl", "bert", "emil"};
        for (int i = 0; i < 5; ++i) ASSERT_EQ(t.addPerson(i + 1, names[i], 10 + i % 2), 0);
    }
    ScratchDir dir;
    std::string path = dir.file("people.qvn");
    People t{path};
};

TEST_F(BuildTest, BuildOfTheFileFillsIndexesAndRebuildsKeys) {
    EXPECT_EQ(t.records(1), 0u); // ADD keeps no INDEX
    EXPECT_TRUE(t.idsBy(1).empty());
    EXPECT_EQ(t.build(BUILDfile), 40); // GRP_IDX has no DUP, and groups repeat
    EXPECT_EQ(t.records(1), 0u);       // the failed build left every key as it was
    EXPECT_EQ(t.records(0), 5u);

    // With unique groups the whole file builds; the index reads in name order.
    t.call(SETfile);
    for (std::int32_t g = 100; t.call(NEXT) == 0; ++g) {
        t.setLong(3, g);
        ASSERT_EQ(t.call(PUT), 0);
    }
    ASSERT_EQ(t.build(BUILDfile), 0);
    EXPECT_EQ(t.records(1), 5u);
    EXPECT_EQ(t.records(2), 5u);
    EXPECT_EQ(t.idsBy(1), (std::vector<std::int32_t>{2, 4, 3, 1, 5}));
    t.setText(2, "carl");
    ASSERT_EQ(t.callKey(GETfilekey, 1), 0);
    EXPECT_EQ(t.getLong(1), 3);
    t.call(CLOSE);
    expectTablesClean(path);
}

TEST_F(BuildTest, BuildOfOneKeyAndFullBuild) {
    ASSERT_EQ(t.build(BUILDkey, 1), 0);
    EXPECT_EQ(t.records(1), 5u);
    EXPECT_EQ(t.records(2), 0u); // only the key asked for
    EXPECT_EQ(t.build(BUILDkey, 2), 40);
    EXPECT_EQ(t.records(2), 0u);

    // A later ADD leaves the index behind until the next build; FULLBUILD rebuilds every key.
    ASSERT_EQ(t.addPerson(6, "alma", 20), 0);
    EXPECT_EQ(t.records(1), 5u);
    EXPECT_EQ(t.send("FULLBUILD=ON"), 0);
    EXPECT_EQ(t.build(BUILDkey, 0), 40); // now GRP_IDX is part of it
    EXPECT_EQ(t.records(1), 5u);
    EXPECT_EQ(t.send("FULLBUILD=OFF"), 0);
    ASSERT_EQ(t.build(BUILDkey, 1), 0);
    EXPECT_EQ(t.idsBy(1), (std::vector<std::int32_t>{6, 2, 4, 3, 1, 5}));
}

TEST_F(BuildTest, ADynamicIndexLivesInMemoryOnly) {
    t.call(CLOSE);
    const std::string before = readFile(path);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_TRUE(t.idsBy(3).empty());     // not built yet
    EXPECT_EQ(t.build(BUILDkey, 3), 76); // no components to build with

    ASSERT_EQ(t.build(BUILDdyn, 3, "-GRP, +name"), 0);
    EXPECT_EQ(t.records(3), 5u);
    EXPECT_EQ(t.idsBy(3), (std::vector<std::int32_t>{2, 4, 3, 1, 5}));
    t.setLong(3, 10);
    t.setText(2, "carl");
    ASSERT_EQ(t.callKey(GETfilekey, 3), 0);
    EXPECT_EQ(t.getLong(1), 3);

    // Built again with a filter: exactly the matching records, the old entries gone.
    ASSERT_EQ(t.build(BUILDdynfilter, 3, "+NAME", "GRP = 10 AND ID > 1"), 0);
    EXPECT_EQ(t.idsBy(3), (std::vector<std::int32_t>{3, 5}));
    EXPECT_EQ(t.records(3), 2u);
    t.setLong(1, 77); // the build leaves the record buffer alone
    ASSERT_EQ(t.build(BUILDdynfilter, 3, "+NAME", "INSTRING('a', NAME, 1, 1)"), 0);
    EXPECT_EQ(t.getLong(1), 77);
    EXPECT_EQ(t.idsBy(3), (std::vector<std::int32_t>{2, 3, 1}));
    EXPECT_EQ(t.build(BUILDkey, 3), 0); // again with the components it was given, without filter
    EXPECT_EQ(t.records(3), 5u);

    // Bad texts change nothing.
    EXPECT_EQ(t.build(BUILDdyn, 3, "+NOPE"), 76);
    EXPECT_EQ(t.build(BUILDdyn, 3, ""), 76);
    EXPECT_EQ(t.build(BUILDdynfilter, 3, "+ID", "GRP = ("), 76);
    EXPECT_EQ(t.build(BUILDdynfilter, 3, "+ID", "UNKNOWN = 1"), 76);
    EXPECT_EQ(t.records(3), 5u);
    EXPECT_EQ(t.build(BUILDdynfilter, 0, "", "ID > 2"), 76); // a maintained key takes no filter

    t.call(CLOSE);
    EXPECT_EQ(readFile(path), before);
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_TRUE(t.idsBy(3).empty()); // gone with the close
    t.call(CLOSE);
    expectTablesClean(path);
}

TEST_F(BuildTest, AFilteredStoredIndexHoldsExactlyTheMatchingRecords) {
    ASSERT_EQ(t.build(BUILDdynfilter, 1, "", "GRP = 11"), 0);
    EXPECT_EQ(t.idsBy(1), (std::vector<std::int32_t>{2, 4}));
    EXPECT_EQ(t.records(1), 2u);
    // Built into the file: another open of the table sees it.
    People other(path);
    ASSERT_EQ(other.call(OPEN), 0);
    EXPECT_EQ(other.idsBy(1), (std::vector<std::int32_t>{2, 4}));
}

TEST_F(BuildTest, CancelledBuildsAndChangesDuringABuild) {
    // The driver's calls are serialised, so a nested change can only come from code that holds the
    // table itself.
    auto* table = static_cast<QvnTable*>(t.file.state.get());
    int asked = 0, nested = -1;
    setBuildProgress([&](std::uint64_t walked) {
        ++asked;
        if (walked == 2) nested = table->add();
        return walked < 4;
    });
    EXPECT_EQ(t.build(BUILDkey, 1), 93);
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(nested, 92);
    EXPECT_EQ(t.records(1), 0u);
    setBuildProgress([&](std::uint64_t) {
        nested = table->buildKeys(-1);
        return true;
    });
    EXPECT_EQ(t.build(BUILDkey, 1), 0);
    EXPECT_EQ(nested, 92);
    setBuildProgress({});
    EXPECT_EQ(t.records(1), 5u);
    EXPECT_EQ(t.records(), 5u);
}

TEST_F(BuildTest, BuildOfAClosedFileOpensItForTheBuild) {
    t.call(CLOSE);
    ASSERT_EQ(t.build(BUILDkey, 1), 0);
    EXPECT_EQ(t.call(POINTERfile), 37); // closed again
    ASSERT_EQ(t.call(OPEN), 0);
    EXPECT_EQ(t.records(1), 5u);

    People reader(path);
    DriverArguments args;
    args.openMode = kReadOnlyShared;
    ASSERT_EQ(reader.call(OPEN, args), 0);
    EXPECT_EQ(reader.build(BUILDkey, 1), 5);
    EXPECT_EQ(reader.call(PACK), 5);
}

TEST(PackTest, RecordsKeysAndMemosSurviveAndTheFileShrinks) {
    ScratchDir dir;
    const std::string path = dir.file("pack.qvn");
    People t(path);
    ASSERT_EQ(t.call(CREATE), 0);
    ASSERT_EQ(t.call(OPEN), 0);
    for (int i = 1; i <= 1400; ++i)
        ASSERT_EQ(
            t.addPerson(i, "n" + std::to_string(i), i, std::string(static_cast<std::size_t>(i % 700), 'm')),
            0);
    ASSERT_EQ(t.build(BUILDkey, 1), 0);
    // Keep every seventh record: most pages end up sparse.
    t.call(SETfile);
    while (t.call(NEXT) == 0) {
        if (t.getLong(1) % 7) {
            ASSERT_EQ(t.call(DELETE), 0);
        }
    }
    ASSERT_EQ(t.build(BUILDkey, 1), 0);
    const std::uint64_t pagesBefore = examineFile(path, "").pagesInTree;
    ASSERT_EQ(t.call(PACK), 0);
    EXPECT_EQ(t.records(), 200u);
    EXPECT_EQ(t.records(1), 200u);
    std::vector<std::int32_t> ids = t.idsBy(0);
    ASSERT_EQ(ids.size(), 200u);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(ids[i], static_cast<std::int32_t>(7 * (i + 1)));
    }
    t.setLong(1, 693);
    ASSERT_EQ(t.callKey(GETfilekey, 0), 0);
    EXPECT_EQ(t.getMemo(0).substr(0, 694), std::string(693, 'm') + " ");
    EXPECT_EQ(t.idsBy(1).size(), 200u);
    t.setText(2, "n693");
    ASSERT_EQ(t.callKey(GETfilekey, 1), 0);
    EXPECT_EQ(t.getLong(1), 693);
    // New records after PACK go in as before.
    ASSERT_EQ(t.addPerson(5000, "new", 1, "memo"), 0);
    t.call(CLOSE);
    expectTablesClean(path);
    EXPECT_LT(examineFile(path, "").pagesInTree, pagesBefore);
}

} // namespace
} // namespace docket::drivers::qvn
