// TableRelations over real native tables: the memo register's two tables with their restrict
// rule, and a chain of three tables (country, region, city) with cascade, clear and restrict rules
// inside transactions, including failures half way that must leave all three tables as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "classes/data/table_access.h"
#include "classes/data/table_relations.h"
#include "classes/data/tests/table_test_support.h"
#include "files/file_statements.h"
#include "files/record_fields.h"

namespace docket::classes {
namespace {

using namespace testing;
using drivers::key_flag::kDup;
using drivers::key_flag::kPrimary;

// ---- The memo register's tables ------------------------------------------------------------------

struct MemoRegister {
    explicit MemoRegister(const ScratchDir& dir)
        : types("MEMO_JENIS", dir.file("JENIS.DB")), memos("MEMO_DB", dir.file("MEMO.DB")) {
        types.field("JEN:JENIS_ID", TypeCode::Long, 4);
        types.field("JEN:JENIS_MEMO", TypeCode::CString, 31);
        typeId = &types.key("JEN:PRIMARYKEY", kPrimary, {1});
        typeName = &types.key("JEN:KEYJENIS", 0, {2});
        memos.field("MEM:MEMO_ID", TypeCode::Long, 4);
        memos.field("MEM:TANGGAL_MEMO", TypeCode::Date, 4);
        memos.field("MEM:MEMO_NO", TypeCode::CString, 31);
        memos.field("MEM:PERIHAL", TypeCode::CString, 81);
        memos.field("MEM:JENIS_ID", TypeCode::Long, 4);
        memos.memo("MEM:ISI_MEMO", 256);
        memoId = &memos.key("MEM:PRIMARYKEY", kPrimary, {-1});
        memoType = &memos.key("MEM:KEYJENISMEMO", kDup, {5});
    }
    void start(ErrorReporter& reporter, std::uint8_t typeUpdateRule = RuleNone) {
        memoAccess.Init(memos.file, reporter);
        memoAccess.DeclareKey("Urut Entry", *memoId, true);
        memoAccess.DeclareKey("Urut Jenis Memo", *memoType);
        memoRelations.Init(memoAccess, true);
        memoRelations.RelateTo(typeRelations);
        typeAccess.Init(types.file, reporter);
        typeAccess.DeclareKey("Urut Jenis ID", *typeId, true);
        typeAccess.DeclareKey("Urut Jenis Memo", *typeName);
        typeRelations.Init(typeAccess, true);
        typeRelations.RelateTo(memoRelations, typeUpdateRule, RuleRestrict, memoType);
        typeRelations.LinkFields(1, 5);
    }
    // Types 1 "Surat", 2 "Nota", 3 "Edaran"; memos of types 1, 1 and 3.
    void seed() {
        ASSERT_EQ(typeRelations.Open(), Severity::Proceed);
        for (const char* name : {"Surat", "Nota", "Edaran"}) {
            runtime::clearRecord(types.declaration);
            types.setText(2, name);
            ASSERT_EQ(typeAccess.PrepareNewRecord(true), Severity::Proceed);
            ASSERT_EQ(typeAccess.Insert(kReport), Severity::Proceed);
        }
        for (int type : {1, 1, 3}) {
            ASSERT_EQ(memoAccess.PrepareNewRecord(false), Severity::Proceed);
            memos.setLong(5, type);
            memos.setText(4, "about type " + std::to_string(type));
            ASSERT_EQ(memoAccess.Insert(kReport), Severity::Proceed);
        }
    }
    std::vector<std::string> typeRows() {
        return types.dump(typeId,
                          [this] { return std::to_string(types.getLong(1)) + " " + types.getText(2); });
    }
    std::vector<std::string> memoRows() {
        return memos.dump(memoId, [this] {
            return std::to_string(memos.getLong(1)) + ":" + std::to_string(memos.getLong(5));
        });
    }
    bool readType(int id) {
        types.setLong(1, id);
        return typeAccess.ReadByKey(*typeId) == Severity::Proceed;
    }

    Table types, memos;
    const KeyDeclaration *typeId, *typeName, *memoId, *memoType;
    TableAccess memoAccess, typeAccess;
    TableRelations memoRelations, typeRelations;
};

class MemoRegisterTest : public ::testing::Test {
protected:
    ScratchDir dir;
    Messages messages;
    Halts halts;
    ErrorReporter reporter;
    MemoRegister reg{dir};
};

TEST_F(MemoRegisterTest, OpenAndCloseWalkBothTablesOnceAroundTheCycle) {
    reg.start(reporter);
    ASSERT_EQ(reg.memoRelations.Open(), Severity::Proceed);
    EXPECT_EQ(reg.memoAccess.SelectThreadState().OPENED, 1);
    EXPECT_EQ(reg.typeAccess.SelectThreadState().OPENED, 1);
    EXPECT_NE(reg.types.file.state, nullptr) << "the walk makes every table usable";
    ASSERT_EQ(reg.typeRelations.Open(), Severity::Proceed);
    EXPECT_EQ(reg.memoAccess.SelectThreadState().OPENED, 2);
    reg.typeRelations.Close();
    reg.memoRelations.Close();
    EXPECT_EQ(reg.memoAccess.SelectThreadState().OPENED, 0);
    EXPECT_EQ(reg.types.file.state, nullptr);
    EXPECT_EQ(reg.memos.file.state, nullptr);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MemoRegisterTest, DeletingAReferencedTypeIsRestricted) {
    reg.start(reporter);
    reg.seed();
    const auto types = reg.typeRows(), memos = reg.memoRows();
    ASSERT_TRUE(reg.readType(1));
    messages.answer("Record Delete Error", {button::kNo});
    EXPECT_EQ(reg.typeRelations.Delete(true), Severity::Inform);
    EXPECT_EQ(messages.titles(),
              (std::vector<std::string>{"Confirm Delete", "Referential Integrity Delete Error",
                                        "Record Delete Error"}));
    EXPECT_EQ(messages.shown[1].text, "This record is referenced from the file " +
                                          reg.memoAccess.FILENAMEVALUE +
                                          ". This record cannot be deleted while these references exist.");
    EXPECT_EQ(reg.typeRows(), types);
    EXPECT_EQ(reg.memoRows(), memos);

    // Declining the confirmation does nothing at all; an unreferenced type goes.
    messages.shown.clear();
    ASSERT_TRUE(reg.readType(2));
    messages.answer("Confirm Delete", {button::kNo});
    EXPECT_EQ(reg.typeRelations.Delete(true), Severity::Inform);
    EXPECT_EQ(messages.titles(), std::vector<std::string>{"Confirm Delete"});
    EXPECT_EQ(reg.typeRelations.Delete(false), Severity::Proceed);
    EXPECT_EQ(reg.typeRows(), (std::vector<std::string>{"1 Surat", "3 Edaran"}));
    EXPECT_EQ(reg.memoAccess.SelectThreadState().OPENED, 1) << "the related tables are closed again";
    reg.typeRelations.Close();
}

TEST_F(MemoRegisterTest, ChangingARestrictedLinkPutsTheOldValueBack) {
    reg.start(reporter, RuleRestrict);
    reg.seed();
    ASSERT_TRUE(reg.readType(1));
    reg.typeRelations.SaveLinks();
    reg.types.setLong(1, 7);
    reg.types.setText(2, "Surat Dinas");
    EXPECT_EQ(reg.typeRelations.Update(false), Severity::Inform);
    EXPECT_EQ(messages.titles(), std::vector<std::string>{"Referential Integrity Update Error"});
    EXPECT_EQ(messages.shown[0].text,
              "This record is referenced from the file " + reg.memoAccess.FILENAMEVALUE +
                  ". Linking field(s) have been restricted from change and have been reset "
                  "to original values.");
    EXPECT_EQ(reg.types.getLong(1), 1) << "the old linking value is back in the buffer";
    EXPECT_EQ(reg.types.getText(2), "Surat Dinas") << "the other changes stay for another try";
    EXPECT_EQ(reg.typeRows(), (std::vector<std::string>{"1 Surat", "2 Nota", "3 Edaran"}));
    EXPECT_EQ(reg.memoAccess.SelectThreadState().OPENED, 1) << "a refused update closes what it opened";

    // Without a transaction the restriction is checked before anything is written.
    reg.typeRelations.USELOGOUT = false;
    reg.types.setLong(1, 7);
    EXPECT_EQ(reg.typeRelations.Update(false), Severity::Inform);
    EXPECT_EQ(reg.types.getLong(1), 1);
    EXPECT_EQ(reg.typeRows(), (std::vector<std::string>{"1 Surat", "2 Nota", "3 Edaran"}));
    reg.typeRelations.USELOGOUT = true;
    messages.shown.resize(1);

    // With the link unchanged the record is written; an unreferenced type may change its number.
    ASSERT_TRUE(reg.readType(1));
    reg.typeRelations.SaveLinks();
    reg.types.setText(2, "Surat Dinas");
    EXPECT_EQ(reg.typeRelations.Update(false), Severity::Proceed);
    ASSERT_TRUE(reg.readType(2));
    reg.typeRelations.SaveLinks();
    reg.types.setLong(1, 9);
    EXPECT_EQ(reg.typeRelations.Update(false), Severity::Proceed);
    EXPECT_EQ(reg.typeRows(), (std::vector<std::string>{"1 Surat Dinas", "3 Edaran", "9 Nota"}));
    EXPECT_EQ(messages.shown.size(), 1u);
    reg.typeRelations.Close();
}

TEST_F(MemoRegisterTest, ReleasingAReservedNumberDeletesThroughTheRules) {
    reg.start(reporter);
    reg.seed();
    ASSERT_EQ(reg.typeAccess.PrepareNewRecord(false), Severity::Proceed);
    EXPECT_EQ(reg.types.getLong(1), 4);
    EXPECT_EQ(reg.typeRelations.ReleaseAutoNumber(), Severity::Proceed);
    EXPECT_EQ(reg.typeRows(), (std::vector<std::string>{"1 Surat", "2 Nota", "3 Edaran"}));
    EXPECT_TRUE(messages.shown.empty());
    reg.typeRelations.Close();
}

TEST_F(MemoRegisterTest, AnUpdateFromAFormAfterAnotherStationShowsItsVersion) {
    reg.start(reporter);
    reg.seed();
    reg.typeRelations.Close();
    const std::string memoPath = dir.file("MEMO.DB");
    Station other([&](Station& self) {
        for (const char* subject : {"first change elsewhere", "second change elsewhere"}) {
            if (!self.awaitParent()) return 1;
            MemoRegister mine(dir);
            if (runtime::open(mine.memos.file, 0x42)) return 2;
            mine.memos.setLong(1, 1);
            if (runtime::get(mine.memos.file, *mine.memoId)) return 3;
            mine.memos.setText(4, subject);
            if (runtime::put(mine.memos.file)) return 4;
            runtime::close(mine.memos.file);
            self.tellParent();
        }
        return 0;
    });
    ASSERT_EQ(reg.memoRelations.Open(), Severity::Proceed);
    for (bool fromForm : {true, false}) {
        runtime::watch(reg.memos.file);
        reg.memos.setLong(1, 1);
        ASSERT_EQ(reg.memoAccess.ReadByKey(*reg.memoId), Severity::Proceed);
        reg.memoRelations.SaveLinks();
        reg.memos.setText(4, "mine");
        other.tellChild();
        ASSERT_TRUE(other.awaitChild());
        messages.shown.clear();
        EXPECT_EQ(reg.memoRelations.Update(fromForm), Severity::Inform);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].title, "Record Was Not Updated");
        EXPECT_EQ(Contains(messages.shown[0].text, "Those changes will now be displayed").operator bool(),
                  fromForm);
        EXPECT_EQ(reg.memos.getText(4), fromForm ? "first change elsewhere" : "second change elsewhere");
    }
    EXPECT_EQ(other.finish(), 0);
    reg.memoRelations.Close();
}

// ---- A chain of three tables ---------------------------------------------------------------------

struct Chain {
    explicit Chain(const ScratchDir& dir)
        : country("COUNTRY", dir.file("country.qvn")), region("REGION", dir.file("region.qvn")),
          city("CITY", dir.file("city.qvn")) {
        country.field("CTY:CODE", TypeCode::CString, 4);
        country.field("CTY:NAME", TypeCode::CString, 20);
        countryKey = &country.key("CTY:KEY", kPrimary, {1});
        region.field("REG:CODE", TypeCode::CString, 4);
        region.field("REG:REGION", TypeCode::CString, 4);
        regionKey = &region.key("REG:KEY", kPrimary, {1, 2});
        city.field("CIT:CODE", TypeCode::CString, 4);
        city.field("CIT:REGION", TypeCode::CString, 4);
        city.field("CIT:NAME", TypeCode::CString, 20);
        cityKey = &city.key("CIT:KEY", kPrimary, {1, 2, 3});
    }
    void start(ErrorReporter& reporter, std::uint8_t countryUpdate, std::uint8_t countryDelete,
               std::uint8_t regionUpdate, std::uint8_t regionDelete) {
        countryAccess.Init(country.file, reporter);
        countryAccess.DeclareKey("Urut Negara", *countryKey);
        regionAccess.Init(region.file, reporter);
        regionAccess.DeclareKey("Urut Wilayah", *regionKey);
        cityAccess.Init(city.file, reporter);
        cityAccess.DeclareKey("Urut Kota", *cityKey);
        countries.Init(countryAccess, true);
        regions.Init(regionAccess, true);
        cities.Init(cityAccess, true);
        countries.RelateTo(regions, countryUpdate, countryDelete, regionKey);
        countries.LinkFields(1, 1);
        regions.RelateTo(cities, regionUpdate, regionDelete, cityKey);
        regions.LinkFields(1, 1);
        regions.LinkFields(2, 2);
        // Lookups back to the parents: the walks must not loop.
        regions.RelateTo(countries);
        cities.RelateTo(regions);
    }
    void seed(const std::vector<std::string>& cityRows) {
        ASSERT_EQ(countries.Open(), Severity::Proceed);
        for (auto [code, name] : {std::pair{"ID", "Indonesia"}, {"MY", "Malaysia"}}) {
            country.setText(1, code);
            country.setText(2, name);
            ASSERT_EQ(countryAccess.Insert(kReport), Severity::Proceed);
        }
        for (auto [code, reg] : {std::pair{"ID", "JB"}, {"ID", "JT"}, {"MY", "SL"}}) {
            region.setText(1, code);
            region.setText(2, reg);
            ASSERT_EQ(regionAccess.Insert(kReport), Severity::Proceed);
        }
        for (const auto& row : cityRows) {
            city.setText(1, row.substr(0, 2));
            city.setText(2, row.substr(3, 2));
            city.setText(3, row.substr(6));
            ASSERT_EQ(cityAccess.Insert(kReport), Severity::Proceed);
        }
    }
    std::vector<std::string> countryRows() {
        return country.dump(countryKey, [this] { return country.getText(1) + " " + country.getText(2); });
    }
    std::vector<std::string> regionRows() {
        return region.dump(regionKey, [this] { return region.getText(1) + "/" + region.getText(2); });
    }
    std::vector<std::string> cityRows() {
        return city.dump(cityKey,
                         [this] { return city.getText(1) + "/" + city.getText(2) + "/" + city.getText(3); });
    }
    bool readCountry(const std::string& code) {
        country.setText(1, code);
        return countryAccess.ReadByKey(*countryKey) == Severity::Proceed;
    }

    Table country, region, city;
    const KeyDeclaration *countryKey, *regionKey, *cityKey;
    TableAccess countryAccess, regionAccess, cityAccess;
    TableRelations countries, regions, cities;
};

const std::vector<std::string> kCities = {"ID/JB/Bandung", "ID/JB/Bogor", "ID/JT/Semarang", "MY/SL/Klang"};

class ChainTest : public ::testing::Test {
protected:
    void TearDown() override { chain.countries.Close(); }
    ScratchDir dir;
    Messages messages;
    Halts halts;
    ErrorReporter reporter;
    Chain chain{dir};
};

TEST_F(ChainTest, CascadeCarriesANewCodeThroughAllThreeTables) {
    chain.start(reporter, RuleCascade, RuleRestrict, RuleCascade, RuleRestrict);
    chain.seed(kCities);
    ASSERT_TRUE(chain.readCountry("ID"));
    chain.countries.SaveLinks();
    chain.country.setText(1, "IN");
    EXPECT_EQ(chain.countries.Update(false), Severity::Proceed);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(chain.countryRows(), (std::vector<std::string>{"IN Indonesia", "MY Malaysia"}));
    EXPECT_EQ(chain.regionRows(), (std::vector<std::string>{"IN/JB", "IN/JT", "MY/SL"}));
    EXPECT_EQ(chain.cityRows(),
              (std::vector<std::string>{"IN/JB/Bandung", "IN/JB/Bogor", "IN/JT/Semarang", "MY/SL/Klang"}));
    EXPECT_FALSE(relationsTransactionActive());
}

TEST_F(ChainTest, ClearEmptiesTheLinksAndCascadesTheEmptiedValue) {
    chain.start(reporter, RuleClear, RuleRestrict, RuleCascade, RuleRestrict);
    chain.seed(kCities);
    ASSERT_TRUE(chain.readCountry("ID"));
    chain.countries.SaveLinks();
    chain.country.setText(1, "IN");
    EXPECT_EQ(chain.countries.Update(false), Severity::Proceed);
    EXPECT_EQ(chain.regionRows(), (std::vector<std::string>{"/JB", "/JT", "MY/SL"}));
    EXPECT_EQ(chain.cityRows(),
              (std::vector<std::string>{"/JB/Bandung", "/JB/Bogor", "/JT/Semarang", "MY/SL/Klang"}));
}

TEST_F(ChainTest, AFailureHalfWayThroughACascadeRollsBackAllThreeTables) {
    chain.start(reporter, RuleCascade, RuleRestrict, RuleCascade, RuleRestrict);
    // A city already filed under the new code: the cascade of the second region collides with it,
    // after the country, the first region and its cities were written.
    chain.seed({"ID/JB/Bandung", "ID/JB/Bogor", "ID/JT/Semarang", "IN/JT/Semarang", "MY/SL/Klang"});
    const auto countries = chain.countryRows(), regions = chain.regionRows(), cities = chain.cityRows();
    ASSERT_TRUE(chain.readCountry("ID"));
    chain.countries.SaveLinks();
    chain.country.setText(1, "IN");
    chain.country.setText(2, "Republik Indonesia");
    EXPECT_EQ(chain.countries.Update(false), Severity::Inform);
    ASSERT_EQ(messages.titles(), std::vector<std::string>{"Record was not updated"});
    EXPECT_EQ(messages.shown[0].text,
              "An error (Creates Duplicate Key (40)) was experienced when making changes to the " +
                  chain.cityAccess.FILENAMEVALUE + " file.");
    EXPECT_EQ(chain.country.getText(1), "ID") << "the buffer's link shows the value on file again";
    EXPECT_EQ(chain.countryRows(), countries);
    EXPECT_EQ(chain.regionRows(), regions);
    EXPECT_EQ(chain.cityRows(), cities);
    EXPECT_FALSE(relationsTransactionActive());

    // Nothing is left half done: the same change without the collision goes through.
    messages.shown.clear();
    chain.city.setText(1, "IN");
    chain.city.setText(2, "JT");
    chain.city.setText(3, "Semarang");
    ASSERT_EQ(chain.cityAccess.ReadByKey(*chain.cityKey), Severity::Proceed);
    ASSERT_EQ(chain.cityAccess.Delete(), Severity::Proceed);
    ASSERT_TRUE(chain.readCountry("ID"));
    chain.countries.SaveLinks();
    chain.country.setText(1, "IN");
    EXPECT_EQ(chain.countries.Update(false), Severity::Proceed);
    EXPECT_EQ(chain.cityRows(),
              (std::vector<std::string>{"IN/JB/Bandung", "IN/JB/Bogor", "IN/JT/Semarang", "MY/SL/Klang"}));
}

TEST_F(ChainTest, CascadeDeleteRemovesTheWholeBranch) {
    chain.start(reporter, RuleCascade, RuleCascade, RuleCascade, RuleCascade);
    chain.seed(kCities);
    ASSERT_TRUE(chain.readCountry("ID"));
    EXPECT_EQ(chain.countries.Delete(false), Severity::Proceed);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(chain.countryRows(), std::vector<std::string>{"MY Malaysia"});
    EXPECT_EQ(chain.regionRows(), std::vector<std::string>{"MY/SL"});
    EXPECT_EQ(chain.cityRows(), std::vector<std::string>{"MY/SL/Klang"});
}

TEST_F(ChainTest, ARestrictionDeepInACascadeDeleteRollsEverythingBack) {
    chain.start(reporter, RuleCascade, RuleCascade, RuleCascade, RuleRestrict);
    // The first region has no cities and is deleted before the second one meets its city.
    chain.seed({"ID/JT/Semarang", "MY/SL/Klang"});
    const auto countries = chain.countryRows(), regions = chain.regionRows(), cities = chain.cityRows();
    ASSERT_TRUE(chain.readCountry("ID"));
    messages.answer("Record Delete Error", {button::kNo});
    EXPECT_EQ(chain.countries.Delete(false), Severity::Inform);
    EXPECT_EQ(messages.titles(),
              (std::vector<std::string>{"Referential Integrity Delete Error", "Record Delete Error"}));
    EXPECT_EQ(chain.countryRows(), countries);
    EXPECT_EQ(chain.regionRows(), regions);
    EXPECT_EQ(chain.cityRows(), cities);

    // Asked to try again, the delete runs again (and is refused again).
    messages.shown.clear();
    messages.answer("Record Delete Error", {button::kYes, button::kNo});
    ASSERT_TRUE(chain.readCountry("ID"));
    EXPECT_EQ(chain.countries.Delete(false), Severity::Inform);
    EXPECT_EQ(messages.count("Referential Integrity Delete Error"), 2);
    EXPECT_EQ(chain.regionRows(), regions);
}

TEST_F(ChainTest, ClearOnDeleteKeepsTheDependentsWithoutTheirLink) {
    chain.start(reporter, RuleCascade, RuleClear, RuleCascade, RuleRestrict);
    chain.seed(kCities);
    ASSERT_TRUE(chain.readCountry("ID"));
    EXPECT_EQ(chain.countries.Delete(false), Severity::Proceed);
    EXPECT_EQ(chain.countryRows(), std::vector<std::string>{"MY Malaysia"});
    EXPECT_EQ(chain.regionRows(), (std::vector<std::string>{"/JB", "/JT", "MY/SL"}));
    EXPECT_EQ(chain.cityRows(),
              (std::vector<std::string>{"/JB/Bandung", "/JB/Bogor", "/JT/Semarang", "MY/SL/Klang"}));
}

TEST(LinkFieldPairsValues, CopyAndCompareAcrossTypesAsValues) {
    ScratchDir dir;
    Table left("L", dir.file("l")), right("R", dir.file("r"));
    left.field("L:NUM", TypeCode::Long, 4);
    left.field("L:TEXT", TypeCode::String, 8);
    left.field("L:SMALL", TypeCode::Short, 2);
    right.field("R:TEXT", TypeCode::CString, 8);
    right.field("R:NUM", TypeCode::Long, 4);
    right.field("R:BIG", TypeCode::Long, 4);
    LinkFieldPairs pairs;
    pairs.AddPair(FieldRef::of(left.declaration, 1), FieldRef::of(right.declaration, 1)); // LONG - CSTRING
    pairs.AddPair(FieldRef::of(left.declaration, 2), FieldRef::of(right.declaration, 2)); // STRING - LONG
    pairs.AddPair(FieldRef::of(left.declaration, 3), FieldRef::of(right.declaration, 3)); // SHORT - LONG

    left.setLong(1, -42);
    left.setText(2, "17");
    std::int16_t small = 7;
    std::memcpy(left.at(3), &small, 2);
    pairs.AssignLeftToRight();
    EXPECT_EQ(right.getText(1), "-42");
    EXPECT_EQ(right.getLong(2), 17);
    EXPECT_EQ(right.getLong(3), 7);
    EXPECT_TRUE(pairs.EqualLeftRight()) << "a STRING's blanks do not count";

    pairs.AssignLeftToSaved();
    EXPECT_TRUE(pairs.EqualLeftSaved());
    right.setLong(3, 70000); // does not fit the SHORT: it arrives as 0
    pairs.AssignRightToLeft();
    std::memcpy(&small, left.at(3), 2);
    EXPECT_EQ(small, 0);
    EXPECT_FALSE(pairs.EqualLeftSaved());
    pairs.AssignSavedToLeft();
    EXPECT_TRUE(pairs.EqualLeftSaved());

    pairs.ClearRight();
    EXPECT_EQ(right.getText(1), "");
    EXPECT_EQ(right.getLong(2), 0);
    EXPECT_FALSE(pairs.EqualRightSaved());
    pairs.AssignSavedToRight();
    EXPECT_TRUE(pairs.EqualRightSaved());
    EXPECT_TRUE(LinkFieldPairs().EqualLeftRight()) << "no pairs: equal";
}

// Records the operations the runtime runs on its table.
struct RecordingAccess : TableAccess {
    std::vector<drivers::OperationCode> seen;
    int OperationStarting(drivers::OperationCode code) override {
        seen.push_back(code);
        return TableAccess::OperationStarting(code);
    }
};

TEST(TableRelationsFastScan, IsSentToTheTableAndWithPropagateToEveryRelatedTable) {
    ScratchDir dir;
    ErrorReporter reporter;
    Chain chain(dir);
    RecordingAccess countryAccess, regionAccess, cityAccess;
    TableRelations countries, regions, cities;
    countryAccess.Init(chain.country.file, reporter);
    regionAccess.Init(chain.region.file, reporter);
    cityAccess.Init(chain.city.file, reporter);
    countries.Init(countryAccess, true);
    regions.Init(regionAccess, true);
    cities.Init(cityAccess, true);
    countries.RelateTo(regions);
    regions.RelateTo(cities);
    cities.RelateTo(countries);
    ASSERT_EQ(countries.Open(), Severity::Proceed);
    auto sends = [](const RecordingAccess& a) {
        return std::count(a.seen.begin(), a.seen.end(), drivers::OperationCode::SEND);
    };
    countries.SetFastScan(true, false);
    EXPECT_EQ(sends(countryAccess), 1);
    EXPECT_EQ(sends(regionAccess), 0);
    countries.SetFastScan(false, true);
    EXPECT_EQ(sends(countryAccess), 2);
    EXPECT_EQ(sends(regionAccess), 1);
    EXPECT_EQ(sends(cityAccess), 1);
    countries.Close();
    EXPECT_EQ(chain.city.file.state, nullptr);
    countries.Shutdown();
    EXPECT_TRUE(countryAccess.CLEANEDUP);
    EXPECT_TRUE(countries.RELATIONS.empty());
}

} // namespace
} // namespace docket::classes
