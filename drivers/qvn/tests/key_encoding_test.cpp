// Key bytes must sort exactly as the declared order: checked byte by byte for the listed edge cases
// and against a model sort of random values for every type, in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "drivers/qvn/internal/key_encoding.h"
#include "runtime/core/char_tables.h"
#include "runtime/core/type_code.h"

namespace docket::drivers::qvn {
namespace {

using runtime::TypeCode;

struct Single {
    FileDeclaration declaration;
    KeyDeclaration key;
    CharTables tables = CharTables::current();
    KeyContext context{&tables, false};
    std::vector<std::uint8_t> record;

    Single(TypeCode type, std::uint32_t size, bool descending = false, std::uint16_t flags = 0) {
        FieldDeclaration f;
        f.type = type;
        f.size = size;
        f.elementLength = size;
        declaration.fields.push_back(f);
        declaration.recordLength = size;
        record.assign(size, 0);
        key.flags = flags;
        key.components = {descending ? -1 : 1};
    }
    std::string encode() const { return encodeKey(declaration, key, record.data(), context); }
    template <typename T> std::string encode(T value) {
        std::memcpy(record.data(), &value, sizeof value);
        return encode();
    }
};

TEST(KeyEncoding, SignedShortsAndRealsOrderByValueAndDescendingReverses) {
    for (bool descending : {false, true}) {
        Single s(TypeCode::Short, 2, descending);
        const std::string a = s.encode<std::int16_t>(-1), b = s.encode<std::int16_t>(0),
                          c = s.encode<std::int16_t>(1);
        EXPECT_EQ(a < b && b < c, !descending);
        EXPECT_EQ(a > b && b > c, descending);
        Single r(TypeCode::Real, 8, descending);
        std::vector<std::string> keys;
        for (double v : {-2.5, -1.0, 0.0, 3.0}) keys.push_back(r.encode(v));
        EXPECT_EQ(std::is_sorted(keys.begin(), keys.end()), !descending);
        EXPECT_EQ(std::is_sorted(keys.rbegin(), keys.rend()), descending);
    }
    Single s(TypeCode::Short, 2);
    EXPECT_EQ(s.encode<std::int16_t>(1), std::string("\x80\x01", 2)); // reversed, top bit inverted
}

TEST(KeyEncoding, DecimalNegativesSortBelowPositives) {
    Single d(TypeCode::Decimal, 3);
    auto enc = [&](long double v) {
        runtime::writeDecimal(d.record.data(), 3, 2, v);
        return d.encode();
    };
    EXPECT_LT(enc(-100), enc(-1));
    EXPECT_LT(enc(-1), enc(0));
    EXPECT_LT(enc(0), enc(0.01L));
    EXPECT_LT(enc(0.01L), enc(999));
}

TEST(KeyEncoding, CStringIgnoresBytesAfterItsZeroAndPStringItsLengthByte) {
    Single c(TypeCode::CString, 8);
    std::memcpy(c.record.data(), "ab\0xyzw", 8);
    const std::string first = c.encode();
    std::memcpy(c.record.data(), "ab\0QQQQ", 8);
    EXPECT_EQ(first, c.encode());
    EXPECT_EQ(first.size(), 8u);
    Single p(TypeCode::PString, 5);
    std::memcpy(p.record.data(), "\2abZZ", 5);
    EXPECT_EQ(p.encode().size(), 5u);
    std::memcpy(p.record.data(), "\2abQQ", 5);
    EXPECT_EQ(p.encode(), std::string(p.encode()));
    std::string withGarbage = p.encode();
    std::memcpy(p.record.data(), "\2ab\0\0", 5);
    EXPECT_EQ(withGarbage, p.encode());
}

TEST(KeyEncoding, OptEmptinessByType) {
    Single s(TypeCode::String, 4);
    s.key.flags = key_flag::kOpt;
    std::memcpy(s.record.data(), "    ", 4);
    EXPECT_TRUE(keyIsEmpty(s.declaration, s.key, s.record.data()));
    s.record[2] = 'x';
    EXPECT_FALSE(keyIsEmpty(s.declaration, s.key, s.record.data()));
    Single c(TypeCode::CString, 4);
    std::memcpy(c.record.data(), "\0abc", 4);
    EXPECT_TRUE(keyIsEmpty(c.declaration, c.key, c.record.data()));
    Single l(TypeCode::Long, 4);
    EXPECT_TRUE(keyIsEmpty(l.declaration, l.key, l.record.data()));
    l.record[3] = 1;
    EXPECT_FALSE(keyIsEmpty(l.declaration, l.key, l.record.data()));
}

// Random values of one type: sorting by key bytes must equal sorting by the model's comparison.
template <typename T>
void modelSort(TypeCode type, std::function<T(std::mt19937&)> make,
               std::function<bool(const T&, const T&)> less,
               std::function<void(std::uint8_t*, const T&)> store, std::uint32_t size,
               std::uint16_t flags = 0) {
    std::mt19937 random(static_cast<unsigned>(size * 7919 + static_cast<unsigned>(type)));
    for (bool descending : {false, true}) {
        Single s(type, size, descending, flags);
        std::vector<std::pair<std::string, T>> items;
        for (int i = 0; i < 300; ++i) {
            T v = make(random);
            store(s.record.data(), v);
            items.emplace_back(s.encode(), v);
        }
        std::stable_sort(items.begin(), items.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < items.size(); ++i) {
            const T& a = items[i - 1].second;
            const T& b = items[i].second;
            // Neighbours in key order never violate the model order.
            EXPECT_FALSE(descending ? less(a, b) : less(b, a))
                << "type " << static_cast<int>(type) << " at " << i;
            // Equal keys mean equal values in the model.
            if (items[i - 1].first == items[i].first) {
                EXPECT_FALSE(less(a, b) || less(b, a));
            }
        }
    }
}

template <typename T> void modelSortNumber(TypeCode type, T low, T high) {
    modelSort<T>(
        type,
        [=](std::mt19937& r) {
            if constexpr (std::is_floating_point_v<T>)
                return std::uniform_real_distribution<T>(low, high)(r);
            else
                return static_cast<T>(std::uniform_int_distribution<long long>(low, high)(r));
        },
        [](const T& a, const T& b) { return a < b; },
        [](std::uint8_t* p, const T& v) { std::memcpy(p, &v, sizeof v); }, sizeof(T));
}

TEST(KeyEncoding, EveryNumericTypeSortsLikeItsValues) {
    modelSortNumber<std::uint8_t>(TypeCode::Byte, 0, 255);
    modelSortNumber<std::int16_t>(TypeCode::Short, -32768, 32767);
    modelSortNumber<std::uint16_t>(TypeCode::UShort, 0, 65535);
    modelSortNumber<std::int32_t>(TypeCode::Long, -2147483647 - 1, 2147483647);
    modelSortNumber<std::uint32_t>(TypeCode::ULong, 0, 4294967295u);
    modelSortNumber<std::uint32_t>(TypeCode::Date, 4, 2994626);
    modelSortNumber<std::uint32_t>(TypeCode::Time, 1, 8640000);
    modelSortNumber<float>(TypeCode::SReal, -1e6f, 1e6f);
    modelSortNumber<double>(TypeCode::Real, -1e12, 1e12);
    modelSort<long double>(
        TypeCode::Decimal,
        [](std::mt19937& r) {
            return std::uniform_int_distribution<long long>(-9999999, 9999999)(r) / 100.0L;
        },
        [](const long double& a, const long double& b) { return a < b; },
        [](std::uint8_t* p, const long double& v) { runtime::writeDecimal(p, 4, 2, v); }, 4);
}

std::string randomText(std::mt19937& r, bool mixedCase) {
    static const std::string letters = "abcdeABCDE \xe9\xc9\xe8z";
    std::string s;
    const int length = std::uniform_int_distribution<int>(0, 7)(r);
    for (int i = 0; i < length; ++i) {
        char c = letters[std::uniform_int_distribution<std::size_t>(0, letters.size() - 1)(r)];
        if (!mixedCase) c = static_cast<char>(runtime::upperChar(static_cast<unsigned char>(c)));
        s.push_back(c);
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

TEST(KeyEncoding, StringsSortInCollatingOrderAndNoCaseIgnoresCase) {
    for (TypeCode type : {TypeCode::String, TypeCode::CString, TypeCode::PString}) {
        for (bool noCase : {false, true}) {
            modelSort<std::string>(
                type, [](std::mt19937& r) { return randomText(r, true); },
                [noCase](const std::string& a, const std::string& b) {
                    return (noCase ? runtime::collateCompareNoCase(a, b) : runtime::collateCompare(a, b)) < 0;
                },
                [type](std::uint8_t* p, const std::string& v) { runtime::writeText(type, p, 9, v); }, 9,
                noCase ? key_flag::kNoCase : 0);
        }
    }
    Single s(TypeCode::String, 4, false, key_flag::kNoCase);
    std::memcpy(s.record.data(), "abc ", 4);
    const std::string lower = s.encode();
    std::memcpy(s.record.data(), "ABC ", 4);
    EXPECT_EQ(lower, s.encode());
}

TEST(KeyEncoding, CollationEntryRoundTripsWithItsOemFlag) {
    const CharTables t = CharTables::current();
    CharTables back;
    bool oem = false;
    ASSERT_TRUE(CharTables::fromEntry(t.toEntry(true), &back, &oem));
    EXPECT_TRUE(oem);
    EXPECT_EQ(back.bytes, t.bytes);
    EXPECT_FALSE(CharTables::fromEntry(t.toEntry(false).substr(1), &back, &oem));
    EXPECT_LT(t.rank('E', false), t.rank(0xC9, false)); // "E" < "É" < "F"
    EXPECT_LT(t.rank(0xC9, false), t.rank('F', false));
}

TEST(KeyEncoding, ComponentsNamingArraysOrNoFieldAreRefused) {
    Single s(TypeCode::Long, 8);
    s.declaration.fields[0].elements = 2;
    EXPECT_EQ(checkKeyComponents(s.declaration, s.key), 75);
    s.declaration.fields[0].elements = 1;
    EXPECT_EQ(checkKeyComponents(s.declaration, s.key), 0);
    s.key.components = {2};
    EXPECT_EQ(checkKeyComponents(s.declaration, s.key), 75);
}

} // namespace
} // namespace docket::drivers::qvn
