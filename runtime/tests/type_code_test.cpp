#include "runtime/core/type_code.h"

#include <gtest/gtest.h>

namespace docket::runtime {
namespace {

TEST(TypeCode, NamesAndWidths) {
    EXPECT_STREQ(typeName(TypeCode::End), "END");
    EXPECT_STREQ(typeName(TypeCode::PDecimal), "PDECIMAL");
    EXPECT_STREQ(typeName(TypeCode::BFloat8), "BFLOAT8");
    EXPECT_STREQ(typeName(std::uint8_t{17}), "(17)");
    EXPECT_STREQ(typeName(TypeCode::String), "STRING");
    EXPECT_STREQ(typeName(TypeCode::StdNum), "STDNUM");
    EXPECT_STREQ(typeName(std::uint8_t{31}), "UNKNOWN");
    EXPECT_STREQ(typeName(std::uint8_t{255}), "UNKNOWN");
    EXPECT_EQ(fixedWidth(TypeCode::Byte), 1u);
    EXPECT_EQ(fixedWidth(TypeCode::UShort), 2u);
    EXPECT_EQ(fixedWidth(TypeCode::Date), 4u);
    EXPECT_EQ(fixedWidth(TypeCode::Real), 8u);
    EXPECT_EQ(fixedWidth(TypeCode::String), 0u);
}

TEST(TypeCode, PackedDecimalBytes) {
    std::uint8_t d[3];
    writeDecimal(d, 3, 2, -123.45L);
    EXPECT_EQ(d[0], 0xD1);
    EXPECT_EQ(d[1], 0x23);
    EXPECT_EQ(d[2], 0x45);
    EXPECT_EQ(decimalText(d, 3, 2), "-123.45");
    EXPECT_DOUBLE_EQ(static_cast<double>(readDecimal(d, 3, 2)), -123.45);

    writeDecimal(d, 3, 2, 0.005L); // rounds half away from zero
    EXPECT_EQ(decimalText(d, 3, 2), "0.01");
    writeDecimal(d, 3, 0, -0.0L);
    EXPECT_EQ(d[0], 0x00) << "zero is never negative";
    EXPECT_EQ(decimalText(d, 3, 0), "0");
    writeDecimal(d, 3, 0, 1234567.0L); // 5 digits fit: the low ones are kept
    EXPECT_EQ(decimalText(d, 3, 0), "34567");
    // A sign nibble of any non-zero value means negative.
    const std::uint8_t raw[] = {0x90, 0x05};
    EXPECT_EQ(decimalText(raw, 2, 1), "-0.5");
}

TEST(TypeCode, StringFields) {
    std::uint8_t s[6];
    writeText(TypeCode::String, s, 6, "ab");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s), 6), "ab    ");
    EXPECT_EQ(readText(TypeCode::String, s, 6), "ab    ");
    writeText(TypeCode::CString, s, 6, "abcdefgh");
    EXPECT_EQ(s[5], 0);
    EXPECT_EQ(readText(TypeCode::CString, s, 6), "abcde");
    writeText(TypeCode::PString, s, 6, "xyz");
    EXPECT_EQ(s[0], 3);
    EXPECT_EQ(readText(TypeCode::PString, s, 6), "xyz");
    s[0] = 200; // a damaged length byte never reads past the field
    EXPECT_EQ(readText(TypeCode::PString, s, 6).size(), 5u);
}

TEST(TypeCode, LittleEndianIntegers) {
    std::uint8_t b[4];
    writeU32(b, 0x12345678);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(readU32(b), 0x12345678u);
    writeU16(b, 0xBEEF);
    EXPECT_EQ(b[0], 0xEF);
    EXPECT_EQ(readU16(b), 0xBEEF);
}

} // namespace
} // namespace docket::runtime
