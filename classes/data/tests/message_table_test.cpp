// The built-in message table byte by byte, and the loading of packed tables that are cut short or
// claim more records than they hold.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "classes/data/error_reporter.h"

namespace docket::classes {
namespace {

struct Record {
    unsigned severity;
    std::string title;
    std::string text;
};

// Walks a packed table strictly, failing the test on any overrun.
std::map<unsigned, Record> walk(std::span<const std::uint8_t> t, std::size_t& consumed) {
    std::map<unsigned, Record> out;
    std::size_t at = 2;
    const unsigned count = t[0] | (t[1] << 8);
    for (unsigned i = 0; i < count; ++i) {
        EXPECT_LE(at + 4, t.size());
        unsigned id = t[at] | (t[at + 1] << 8);
        Record r;
        r.severity = t[at + 2];
        std::size_t l1 = t[at + 3];
        r.title.assign(reinterpret_cast<const char*>(&t[at + 4]), l1);
        std::size_t l2 = t[at + 4 + l1];
        r.text.assign(reinterpret_cast<const char*>(&t[at + 5 + l1]), l2);
        at += 5 + l1 + l2;
        EXPECT_LE(at, t.size());
        EXPECT_TRUE(out.emplace(id, r).second) << "id " << id << " twice";
    }
    consumed = at;
    return out;
}

TEST(MessageTable, BuiltInTableLayout) {
    auto table = builtInMessageTable();
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(table[0], 43);
    EXPECT_EQ(table[1], 0);

    // The first record, byte for byte.
    const std::string title1 = "Record Retrieval Error";
    const std::string text1 = "Error: (%ErrorText) attempting to access a record from the %File file.  "
                              "Returning to previous window.";
    std::vector<std::uint8_t> first = {1, 0, 5, static_cast<std::uint8_t>(title1.size())};
    first.insert(first.end(), title1.begin(), title1.end());
    first.push_back(static_cast<std::uint8_t>(text1.size()));
    first.insert(first.end(), text1.begin(), text1.end());
    EXPECT_EQ(std::vector<std::uint8_t>(table.begin() + 2, table.begin() + 2 + first.size()), first);

    std::size_t consumed = 0;
    auto records = walk(table, consumed);
    EXPECT_EQ(consumed, table.size()) << "no bytes after the last record";
    ASSERT_EQ(records.size(), 43u);
    EXPECT_EQ(records.count(29), 0u);
    EXPECT_EQ(records.begin()->first, 1u);
    EXPECT_EQ(records.rbegin()->first, 44u);

    EXPECT_EQ(records[23].severity, 3u);
    EXPECT_EQ(records[23].title, "File Access Error");
    EXPECT_EQ(records[23].text, "File (%File) could not be opened.  Error: %ErrorText.");
    EXPECT_EQ(records[39].severity, 2u);
    EXPECT_EQ(records[9].severity, 1u);
    EXPECT_EQ(records[9].text, "Are you sure you want to delete the highlighted record?");
    EXPECT_EQ(
        records[7].text,
        "This record was changed by another station. Those changes will now be displayed. Use the Ditto "
        "Button or Ctrl+' to recall your changes.");
    EXPECT_EQ(records[42].text, "The following SMTP Error occurred: %Message ");
    EXPECT_EQ(records[43].text, "%Message ");
    EXPECT_EQ(records[44].text, "%Message ");
    EXPECT_EQ(records[44].title, "Winsock Error");

    std::map<unsigned, unsigned> bySeverity;
    for (const auto& [id, r] : records) ++bySeverity[r.severity];
    EXPECT_EQ(bySeverity, (std::map<unsigned, unsigned>{{1, 9}, {2, 1}, {3, 3}, {5, 30}}));
}

// Builds a packed table from (id, severity, title, text) records.
std::vector<std::uint8_t> pack(std::uint16_t count,
                               const std::vector<std::tuple<int, int, std::string, std::string>>& rs) {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(count & 0xFF),
                                     static_cast<std::uint8_t>(count >> 8)};
    for (const auto& [id, sev, title, text] : rs) {
        out.push_back(static_cast<std::uint8_t>(id & 0xFF));
        out.push_back(static_cast<std::uint8_t>(id >> 8));
        out.push_back(static_cast<std::uint8_t>(sev));
        out.push_back(static_cast<std::uint8_t>(title.size()));
        out.insert(out.end(), title.begin(), title.end());
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

TEST(MessageTable, MalformedTablesLoadOnlyWholeRecords) {
    const auto good = pack(3, {{300, 5, "A", "first"}, {301, 1, "Bee", "second"}, {302, 3, "", ""}});
    // Record boundaries: after the count, after each record.
    const std::vector<std::size_t> ends = {2, 2 + 11, 2 + 11 + 14, good.size()};
    for (std::size_t size = 0; size <= good.size(); ++size) {
        // A copy of exactly `size` bytes, so that a read past the end is caught by the sanitizers.
        std::vector<std::uint8_t> cutTable(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        ErrorReporter reporter;
        const std::size_t before = reporter.ERRORS.size();
        reporter.AddMessageTable(cutTable);
        std::size_t whole = 0;
        for (std::size_t i = 1; i < ends.size(); ++i)
            if (size >= ends[i]) whole = i;
        EXPECT_EQ(reporter.ERRORS.size() - before, whole) << "size " << size;
    }

    // A count larger than the records present, and a title length running past the end.
    ErrorReporter reporter;
    const std::size_t before = reporter.ERRORS.size();
    auto overCounted = pack(9, {{300, 5, "A", "first"}});
    reporter.AddMessageTable(overCounted);
    std::vector<std::uint8_t> longTitle = {1, 0, 0x2C, 0x01, 5, 200, 'x'};
    reporter.AddMessageTable(longTitle);
    ASSERT_EQ(reporter.ERRORS.size(), before + 1);
    EXPECT_EQ(reporter.ERRORS.back().MESSAGE, "first");
    EXPECT_EQ(reporter.ERRORS.back().CATEGORY, "");
}

} // namespace
} // namespace docket::classes
