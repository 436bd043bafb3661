// Memory in large aligned pieces: aligned as asked, usable to its last byte, pieces apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/memory.h"

namespace docket::platform {
namespace {

TEST(HugePageMemory, PiecesAreAlignedWholeAndApart) {
    constexpr std::size_t kPiece = std::size_t{2} << 20;
    auto* a = static_cast<unsigned char*>(hugePageMemory(kPiece, kPiece));
    auto* b = static_cast<unsigned char*>(hugePageMemory(kPiece, kPiece));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % kPiece, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % kPiece, 0u);
    EXPECT_TRUE(a + kPiece <= b || b + kPiece <= a);
    std::memset(a, 0x5A, kPiece);
    std::memset(b, 0xA5, kPiece);
    EXPECT_EQ(a[0], 0x5A);
    EXPECT_EQ(a[kPiece - 1], 0x5A);
    EXPECT_EQ(b[kPiece - 1], 0xA5);
    // A smaller alignment than the size works too.
    auto* c = static_cast<unsigned char*>(hugePageMemory(3 * 4096, 4096));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(c) % 4096, 0u);
    std::memset(c, 1, 3 * 4096);
}

} // namespace
} // namespace docket::platform
