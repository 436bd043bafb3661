// BIND, the scopes, bound variables of every type and the compile-once filter API.
#include "runtime/expression/binding_scopes.h"

#include <cstring>
#include <thread>

#include "expr_test_support.h"

namespace docket::runtime {
namespace {

class Binding : public testing::ExpressionTest {};

TEST_F(Binding, NamesAreCutLikeTheScannerCutsThem) {
    EXPECT_EQ(bindingName("MEM:MEMO_ID,x"), "MEM:MEMO_ID");
    EXPECT_EQ(bindingName("NAME$x"), "NAME$");
    EXPECT_EQ(bindingName("NAME#$"), "NAME#");
    EXPECT_EQ(bindingName("Q\"R"), "Q\"");
    EXPECT_EQ(bindingName("A B"), "A");
    EXPECT_EQ(bindingName("?BROWSE:1 "), "?BROWSE:1");
    EXPECT_EQ(bindingName("?1"), "");
    EXPECT_EQ(bindingName("-A"), "");
    EXPECT_EQ(bindingName(std::string(150, 'x')).size(), 99u);
}

TEST_F(Binding, BindRefusesKeywordsFunctionsAndUnreadableVariables) {
    std::int32_t v = 1;
    EXPECT_FALSE(bindVariable("UPPER", bindLong(&v)));
    EXPECT_FALSE(bindVariable("and", bindLong(&v)));
    EXPECT_FALSE(bindVariable("", bindLong(&v)));
    EXPECT_FALSE(bindVariable("X", BoundVariable{TypeCode::Long, nullptr, 4, 0}));
    EXPECT_FALSE(bindVariable("X", BoundVariable{TypeCode::Long, &v, 2, 0}));
    EXPECT_FALSE(bindVariable("X", BoundVariable{TypeCode::Group, &v, 4, 0}));
    EXPECT_EQ(ev("UPPER('a')"), "A");
}

TEST_F(Binding, NamesCompareWithoutRegardToCase) {
    std::int32_t v = 42;
    ASSERT_TRUE(bindVariable("MEM:MEMO_ID", bindLong(&v)));
    EXPECT_EQ(ev("mem:memo_id + 0"), "42");
    EXPECT_EQ(ev("upper('x') & Mem:Memo_Id"), "X42");
    std::int32_t w = 7;
    ASSERT_TRUE(bindVariable("mem:memo_id", bindLong(&w))); // the same name: replaced
    EXPECT_EQ(ev("MEM:MEMO_ID"), "7");
    EXPECT_TRUE(unbindVariable("MEM:MEMO_ID"));
    EXPECT_FALSE(compiles("MEM:MEMO_ID"));
    EXPECT_FALSE(unbindVariable("UPPER"));
}

TEST_F(Binding, NamesLongerThan99CharactersAreCutBeforeLookup) {
    std::int32_t v = 5;
    const std::string base(99, 'L');
    ASSERT_TRUE(bindVariable(base, bindLong(&v)));
    EXPECT_EQ(ev(base + "XYZ * 2"), "10");
    EXPECT_EQ(ev(base + std::string(500, 'Q')), "5");
    std::int32_t w = 6;
    ASSERT_TRUE(bindVariable(base + "EXTRA", bindLong(&w))); // cut to the same 99: replaces
    EXPECT_EQ(ev(base), "6");
}

TEST_F(Binding, PushScopeWithoutInheritHidesOuterNames) {
    std::int32_t outer = 1, inner = 2;
    ASSERT_TRUE(bindVariable("OUTER", bindLong(&outer)));
    pushScope(false);
    EXPECT_FALSE(compiles("OUTER"));
    EXPECT_EQ(ev("UPPER('b') & TODAY() * 0"), "B0"); // built-ins stay visible in a hidden scope
    ASSERT_TRUE(bindVariable("INNER", bindLong(&inner)));
    EXPECT_EQ(ev("INNER"), "2");
    EXPECT_TRUE(popScope());
    EXPECT_EQ(ev("OUTER"), "1");
    EXPECT_FALSE(compiles("INNER")); // released with its scope
}

TEST_F(Binding, PushScopeWithInheritSeesOuterNamesAndShadowsThem) {
    std::int32_t outer = 1, shadow = 9;
    ASSERT_TRUE(bindVariable("X", bindLong(&outer)));
    pushScope(true);
    EXPECT_EQ(ev("X"), "1");
    ASSERT_TRUE(bindVariable("X", bindLong(&shadow)));
    EXPECT_EQ(ev("X"), "9");
    EXPECT_TRUE(popScope());
    EXPECT_EQ(ev("X"), "1");
}

TEST_F(Binding, TheLookupStopsAtTheFirstHidingPush) {
    std::int32_t a = 1, b = 2, c = 3;
    ASSERT_TRUE(bindVariable("A", bindLong(&a)));
    pushScope(false);
    ASSERT_TRUE(bindVariable("B", bindLong(&b)));
    pushScope(true);
    ASSERT_TRUE(bindVariable("C", bindLong(&c)));
    EXPECT_EQ(ev("B + C"), "5");
    EXPECT_FALSE(compiles("A"));
    EXPECT_EQ(scopeDepth(), 2);
    EXPECT_TRUE(popScope());
    EXPECT_TRUE(popScope());
    EXPECT_EQ(ev("A"), "1");
    EXPECT_FALSE(compiles("B"));
}

TEST_F(Binding, PopWithoutPushPosts802) {
    clearError();
    EXPECT_FALSE(popScope());
    EXPECT_EQ(errorCode(), 802);
    EXPECT_EQ(errorText(), "Mismatched PUSHSCOPE/POPSCOPE");
    pushScope(true);
    EXPECT_TRUE(popScope());
    EXPECT_FALSE(popScope());
}

TEST_F(Binding, ClearingAScopeReleasesItsBindingsOnly) {
    std::int32_t a = 1, b = 2;
    ASSERT_TRUE(bindVariable("A", bindLong(&a)));
    pushScope(true);
    ASSERT_TRUE(bindVariable("B", bindLong(&b)));
    clearScope();
    EXPECT_FALSE(compiles("B"));
    EXPECT_EQ(ev("A + LEN('xy')"), "3"); // outer bindings and built-ins are still there
    EXPECT_TRUE(popScope());
    EXPECT_EQ(ev("A"), "1");
}

TEST_F(Binding, EachThreadHasItsOwnTable) {
    std::int32_t v = 3;
    ASSERT_TRUE(bindVariable("MINE", bindLong(&v)));
    bool otherSees = true;
    std::thread other([&otherSees] { otherSees = compileExpression("MINE") != nullptr; });
    other.join();
    EXPECT_FALSE(otherSees);
    EXPECT_EQ(ev("MINE"), "3");
}

TEST_F(Binding, EveryBindableTypeIsReadInPlace) {
    std::uint8_t byte = 200;
    std::int16_t shortValue = -300;
    std::uint16_t ushortValue = 60000;
    std::int32_t longValue = -70000;
    std::uint32_t ulongValue = 4000000000u;
    std::int32_t date = 4, time = 360001;
    float sreal = 1.5f;
    double real = -2.25;
    std::uint8_t decimal[3] = {0x10, 0x12, 0x50}; // DECIMAL(5,2) -12.50
    char string[5] = {'a', 'b', ' ', ' ', ' '};
    char cstring[6] = {'x', 'y', 0, 'z', 'z', 0};
    char pstring[5] = {3, 'p', 'q', 'r', 's'};
    ASSERT_TRUE(bindVariable("T:BYTE", {TypeCode::Byte, &byte, 1, 0}));
    ASSERT_TRUE(bindVariable("T:SHORT", {TypeCode::Short, &shortValue, 2, 0}));
    ASSERT_TRUE(bindVariable("T:USHORT", {TypeCode::UShort, &ushortValue, 2, 0}));
    ASSERT_TRUE(bindVariable("T:LONG", {TypeCode::Long, &longValue, 4, 0}));
    ASSERT_TRUE(bindVariable("T:ULONG", {TypeCode::ULong, &ulongValue, 4, 0}));
    ASSERT_TRUE(bindVariable("T:DATE", {TypeCode::Date, &date, 4, 0}));
    ASSERT_TRUE(bindVariable("T:TIME", {TypeCode::Time, &time, 4, 0}));
    ASSERT_TRUE(bindVariable("T:SREAL", {TypeCode::SReal, &sreal, 4, 0}));
    ASSERT_TRUE(bindVariable("T:REAL", {TypeCode::Real, &real, 8, 0}));
    ASSERT_TRUE(bindVariable("T:DECIMAL", {TypeCode::Decimal, decimal, 3, 2}));
    ASSERT_TRUE(bindVariable("T:STRING", {TypeCode::String, string, 5, 0}));
    ASSERT_TRUE(bindVariable("T:CSTRING", {TypeCode::CString, cstring, 6, 0}));
    ASSERT_TRUE(bindVariable("T:PSTRING", {TypeCode::PString, pstring, 5, 0}));
    const std::pair<const char*, const char*> cases[] = {
        {"T:BYTE", "200"},          {"T:SHORT", "-300"},          {"T:USHORT", "60000"},
        {"T:LONG", "-70000"},       {"T:ULONG", "4000000000"},    {"YEAR(T:DATE)", "1801"},
        {"T:TIME", "360001"},       {"T:SREAL * 2", "3"},         {"T:REAL", "-2.25"},
        {"T:DECIMAL", "-12.5"},     {"T:STRING & '|'", "ab   |"}, {"T:STRING = 'ab'", "1"},
        {"T:CSTRING & '|'", "xy|"}, {"T:PSTRING", "pqr"},         {"LEN(T:PSTRING)", "3"},
        {"T:ULONG > T:LONG", "1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ev(text), expected) << text;

    // A full CSTRING (no zero inside) is read to its end; a PSTRING count beyond its storage is cut.
    std::memcpy(cstring, "abcdef", 6);
    pstring[0] = 100;
    EXPECT_EQ(ev("T:CSTRING"), "abcdef");
    EXPECT_EQ(ev("T:PSTRING"), "pqrs");
}

TEST_F(Binding, ACompiledFilterSeesTheBufferAsItChanges) {
    struct Record {
        std::int32_t id;
        char subject[20];
        std::int32_t type;
    } record{};
    ASSERT_TRUE(bindVariable("MEM:MEMO_ID", bindLong(&record.id)));
    ASSERT_TRUE(bindVariable("MEM:PERIHAL", bindString(record.subject, sizeof record.subject)));
    ASSERT_TRUE(bindVariable("MEM:JENIS_ID", bindLong(&record.type)));
    auto filter =
        compileExpression("INSTRING('RAPAT', UPPER(MEM:PERIHAL), 1, 1) <> 0 AND (MEM:JENIS_ID = 3)");
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->kind(), ValueKind::Logical);

    const auto fill = [&record](std::int32_t id, const char* subject, std::int32_t type) {
        record.id = id;
        std::memset(record.subject, ' ', sizeof record.subject);
        std::memcpy(record.subject, subject, std::strlen(subject));
        record.type = type;
    };
    fill(1, "Rapat bulanan", 3);
    EXPECT_TRUE(filter->isTrue());
    fill(2, "Rapat bulanan", 4);
    EXPECT_FALSE(filter->isTrue());
    fill(3, "Surat edaran", 3);
    EXPECT_FALSE(filter->isTrue());
    fill(4, "Undangan rapat", 3);
    EXPECT_TRUE(filter->isTrue());

    // The tree outlives the scope its names were bound in: it refers to the variables themselves.
    clearScope();
    EXPECT_TRUE(filter->isTrue());
    auto text = compileExpression("'x' & 1.5");
    EXPECT_EQ(text->textValue(), "x1.5");
    EXPECT_EQ(text->realValue(), 0.0);
    auto number = compileExpression("7 / 2");
    EXPECT_EQ(number->integerValue(), 3);
    EXPECT_EQ(number->realValue(), 3.5);
}

} // namespace
} // namespace docket::runtime
