// Evaluating a compiled expression asks for no heap memory once it has been evaluated once: string
// results reuse the buffers the tree owns. The test binary counts every global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/expression/binding_scopes.h"
#include "runtime/expression/expression.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace docket::runtime {
namespace {

struct Record {
    std::int32_t id = 0;
    char subject[60] = {};
    std::int32_t type = 0;
    std::int32_t date = 0;
    double amount = 0;
};

void fill(Record& r, int i) {
    static const char* subjects[] = {"Rapat koordinasi bulanan", "Surat edaran direksi",
                                     "Undangan RAPAT umum"};
    r.id = i;
    std::memset(r.subject, ' ', sizeof r.subject);
    const char* s = subjects[i % 3];
    std::memcpy(r.subject, s, std::strlen(s));
    r.type = i % 5;
    r.date = 80000 + i;
    r.amount = i * 1.25;
}

TEST(ExpressionAllocations, WarmedUpEvaluationDoesNotAllocate) {
    Record r;
    ASSERT_TRUE(bindVariable("MEM:MEMO_ID", bindLong(&r.id)));
    ASSERT_TRUE(bindVariable("MEM:PERIHAL", bindString(r.subject, sizeof r.subject)));
    ASSERT_TRUE(bindVariable("MEM:JENIS_ID", bindLong(&r.type)));
    ASSERT_TRUE(bindVariable("MEM:TANGGAL", BoundVariable{TypeCode::Date, &r.date, 4, 0}));
    ASSERT_TRUE(bindVariable("MEM:AMOUNT", bindReal(&r.amount)));
    const char* texts[] = {
        "MEM:JENIS_ID >= 1 AND MEM:TANGGAL > 80010 AND MEM:MEMO_ID <> 7 AND "
        "INSTRING('RAPAT', UPPER(MEM:PERIHAL), 1, 1) <> 0",
        "SUB(MEM:PERIHAL, 1, 5) = 'Rapat' OR CLIP(MEM:PERIHAL) & '!' = 'x'",
        "LEFT(MEM:PERIHAL, 10) & FORMAT(MEM:MEMO_ID, @s8) & MEM:AMOUNT & LOWER(MEM:PERIHAL)",
        "CHOOSE(MEM:JENIS_ID + 1, 'a', 'b', MEM:PERIHAL) & CENTER(MEM:PERIHAL, 70) & RIGHT(MEM:PERIHAL)",
        "MEM:AMOUNT * 2 / 3 + MEM:MEMO_ID ^ 2 & ROUND(MEM:AMOUNT, .1) & DAY(MEM:TANGGAL) & ALL('ab', 20)",
        "MEM:PERIHAL[3:9] = 'pat' OR INLIST(MEM:JENIS_ID, 1, 2, '3') AND MEM:PERIHAL > 10",
    };
    for (const char* text : texts) {
        auto expression = compileExpression(text);
        ASSERT_NE(expression, nullptr) << text;
        // The warm-up pass takes every path of the expression, so each buffer has grown to fit.
        for (int i = 0; i < 1000; ++i) {
            fill(r, i);
            (void)expression->isTrue();
            (void)expression->textValue();
            (void)expression->realValue();
        }
        const long before = allocations.load();
        for (int i = 0; i < 1000; ++i) {
            fill(r, i);
            (void)expression->isTrue();
            (void)expression->textValue();
            (void)expression->realValue();
        }
        EXPECT_EQ(allocations.load() - before, 0) << text;
    }
}

} // namespace
} // namespace docket::runtime
