// The import schema: every type, key words and directions, and the messages for bad text.
#include <gtest/gtest.h>

#include "tools/qvn/schema.h"

namespace docket::qvn_tool {
namespace {

using runtime::TypeCode;

TEST(SchemaTest, TheIssuesExampleGivesFieldsMemoAndKeys) {
    SchemaTable t;
    std::string error;
    ASSERT_TRUE(parseSchema(
        "ID:LONG,NAME:CSTRING(41),NOTE:MEMO(2000);KEY ID_KEY=+ID PRIMARY;KEY NAME_KEY=+NAME DUP NOCASE", &t,
        &error))
        << error;
    const auto& d = t.declaration;
    ASSERT_EQ(d.fields.size(), 2u);
    EXPECT_EQ(d.fields[1].label, "NAME");
    EXPECT_EQ(d.fields[1].type, TypeCode::CString);
    EXPECT_EQ(d.fields[1].offset, 4u);
    EXPECT_EQ(d.fields[1].elementLength, 41u);
    EXPECT_EQ(d.recordLength, 45u);
    ASSERT_EQ(d.memos.size(), 1u);
    EXPECT_EQ(d.memos[0].size, 2000u);
    ASSERT_NE(d.memos[0].buffer, nullptr);
    ASSERT_EQ(d.keys.size(), 2u);
    EXPECT_EQ(d.keys[0].flags, drivers::key_flag::kPrimary);
    EXPECT_EQ(d.keys[1].flags, drivers::key_flag::kDup | drivers::key_flag::kNoCase);
    EXPECT_EQ(d.keys[1].components, std::vector<std::int32_t>{2});
    EXPECT_EQ(d.record, t.record.data());
}

TEST(SchemaTest, EveryTypeHasItsSizeAndDecimalsTheirPlaces) {
    SchemaTable t;
    std::string error;
    ASSERT_TRUE(parseSchema(" a:byte , B:SHORT,C:USHORT,D:LONG,E:ULONG,F:DATE,G:TIME,H:SREAL,I:REAL,"
                            "J:DECIMAL(9,2),K:STRING(20),L:PSTRING(10),M:BLOB,MEM:N:DECIMAL(4);"
                            "KEY  MIX = -J,+K,+A  opt  nocase",
                            &t, &error))
        << error;
    const auto& d = t.declaration;
    const std::uint32_t sizes[] = {1, 2, 2, 4, 4, 4, 4, 4, 8, 5, 20, 10, 3};
    ASSERT_EQ(d.fields.size(), std::size(sizes));
    for (std::size_t i = 0; i < d.fields.size(); ++i)
        EXPECT_EQ(d.fields[i].size, sizes[i]) << d.fields[i].label;
    EXPECT_EQ(d.fields[0].label, "A");
    EXPECT_EQ(d.fields[9].digits, 9);
    EXPECT_EQ(d.fields[9].places, 2);
    EXPECT_EQ(d.fields[12].label, "MEM:N");
    EXPECT_EQ(d.fields[12].places, 0);
    ASSERT_EQ(d.memos.size(), 1u);
    EXPECT_TRUE(d.memos[0].isBlob());
    EXPECT_NE(d.memos[0].blob, nullptr);
    EXPECT_EQ(d.keys[0].components, (std::vector<std::int32_t>{-10, 11, 1}));
    EXPECT_EQ(d.keys[0].flags, drivers::key_flag::kOpt | drivers::key_flag::kNoCase);
}

TEST(SchemaTest, BadTextIsRefusedWithAMessageNamingTheItem) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "no fields"},
        {"ID", "NAME:TYPE is needed"},
        {"ID:LONGER", "unknown type 'LONGER'"},
        {"ID:LONG(4)", "LONG takes no length"},
        {"NAME:CSTRING", "CSTRING needs a length"},
        {"NAME:CSTRING(0)", "CSTRING needs a length from 1 to 65535"},
        {"NAME:STRING(20", "')' is missing"},
        {"NAME:PSTRING(300)", "from 1 to 256"},
        {"N:MEMO(64001)", "MEMO needs a length from 1 to 64000"},
        {"N:MEMO(100)", "no fields, only memos"},
        {"A:DECIMAL(40,2)", "1 to 31 digits"},
        {"A:DECIMAL(3,5)", "no more places than digits"},
        {"A:DECIMAL(x)", "DECIMAL needs (digits)"},
        {"1A:LONG", "'1A' is not a name"},
        {"A:LONG,a:SHORT", "the name A is used twice"},
        {"A:LONG;K=+A", "a key begins with 'KEY NAME='"},
        {"A:LONG;KEY K+A", "'=' is missing"},
        {"A:LONG;KEY K=A", "needs '+' or '-'"},
        {"A:LONG;KEY K=+B", "names no field"},
        {"A:LONG,N:MEMO(10);KEY K=+N", "names a memo"},
        {"A:LONG;KEY K=+A UNIQUE", "unknown key word 'UNIQUE'"},
        {"A:LONG;KEY K=+A PRIMARY DUP", "PRIMARY key cannot be DUP"},
        {"A:LONG;KEY K=", "no components"},
        {"A:LONG;KEY K=+A;KEY k=-A", "the name K is used twice"},
        {"A:LONG;", "a key begins"},
    };
    for (const auto& c : cases) {
        SchemaTable t;
        std::string error;
        EXPECT_FALSE(parseSchema(c.text, &t, &error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << " -> " << error;
    }
}

} // namespace
} // namespace docket::qvn_tool
