// A typical query filter (three comparisons, an INSTRING and an UPPER over bound record fields),
// evaluated once per record as a view does: docket's compiled expression against SQLite, once as
// a prepared SELECT of the filter with bound parameters stepped per evaluation, once as a scan of
// an in-memory table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/expression/binding_scopes.h"
#include "runtime/expression/expression.h"

namespace {

using namespace docket::runtime;

constexpr const char* kFilter = "MEM:JENIS_ID = 3 AND MEM:TANGGAL >= 80000 AND MEM:MEMO_ID <> 7 AND "
                                "INSTRING('RAPAT', UPPER(MEM:PERIHAL), 1, 1) <> 0";
constexpr const char* kSqlFilter = "jenis_id = 3 AND tanggal >= 80000 AND memo_id <> 7 AND "
                                   "instr(upper(perihal), 'RAPAT') <> 0";

struct Record {
    std::int32_t memoId;
    std::int32_t jenisId;
    std::int32_t tanggal;
    char perihal[60]; // STRING(60), blank-padded
};

// Records where most of them reach the INSTRING (type 3, recent), about half of those pass.
const std::vector<Record>& records() {
    static const std::vector<Record> all = [] {
        static const char* subjects[] = {"Rapat koordinasi bulanan bagian umum", "Surat edaran direksi",
                                         "Undangan rapat tahunan", "Laporan keuangan triwulan"};
        std::vector<Record> v(1024);
        for (std::size_t i = 0; i < v.size(); ++i) {
            Record& r = v[i];
            r.memoId = static_cast<std::int32_t>(i);
            r.jenisId = i % 8 == 0 ? 2 : 3;
            r.tanggal = 79990 + static_cast<std::int32_t>(i % 100);
            std::memset(r.perihal, ' ', sizeof r.perihal);
            const char* s = subjects[i % 4];
            std::memcpy(r.perihal, s, std::strlen(s));
        }
        return v;
    }();
    return all;
}

Record buffer; // the record buffer the view fills and the filter reads

void bindRecordBuffer() {
    static const bool once = [] {
        bindVariable("MEM:MEMO_ID", bindLong(&buffer.memoId));
        bindVariable("MEM:JENIS_ID", bindLong(&buffer.jenisId));
        bindVariable("MEM:TANGGAL", BoundVariable{TypeCode::Date, &buffer.tanggal, 4, 0});
        bindVariable("MEM:PERIHAL", bindString(buffer.perihal, sizeof buffer.perihal));
        return true;
    }();
    (void)once;
}

void BM_DocketCompiledFilter(benchmark::State& state) {
    bindRecordBuffer();
    auto filter = compileExpression(kFilter);
    if (!filter) {
        state.SkipWithError("filter does not compile");
        return;
    }
    const auto& rs = records();
    std::size_t i = 0;
    std::int64_t passed = 0;
    for (auto _ : state) {
        std::memcpy(&buffer, &rs[i++ & 1023], sizeof buffer);
        passed += filter->isTrue();
    }
    benchmark::DoNotOptimize(passed);
    state.SetItemsProcessed(state.iterations());
    state.counters["pass%"] = 100.0 * static_cast<double>(passed) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DocketCompiledFilter)->Iterations(1000000);

void BM_DocketEvaluate(benchmark::State& state) {
    // EVALUATE compiles, evaluates and frees every time: the cost a filter avoids by compiling once.
    bindRecordBuffer();
    const auto& rs = records();
    std::size_t i = 0;
    for (auto _ : state) {
        std::memcpy(&buffer, &rs[i++ & 1023], sizeof buffer);
        benchmark::DoNotOptimize(evaluate(kFilter));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DocketEvaluate);

sqlite3* openMemory() {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    return db;
}

void BM_SqlitePreparedSelect(benchmark::State& state) {
    sqlite3* db = openMemory();
    const std::string sql =
        std::string("SELECT ") + "?3 = 3 AND ?4 >= 80000 AND ?1 <> 7 AND instr(upper(?2), 'RAPAT') <> 0";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
    }
    const auto& rs = records();
    std::size_t i = 0;
    std::int64_t passed = 0;
    for (auto _ : state) {
        const Record& r = rs[i++ & 1023];
        sqlite3_bind_int(stmt, 1, r.memoId);
        sqlite3_bind_text(stmt, 2, r.perihal, sizeof r.perihal, SQLITE_STATIC);
        sqlite3_bind_int(stmt, 3, r.jenisId);
        sqlite3_bind_int(stmt, 4, r.tanggal);
        if (sqlite3_step(stmt) == SQLITE_ROW) passed += sqlite3_column_int(stmt, 0);
        sqlite3_reset(stmt);
    }
    benchmark::DoNotOptimize(passed);
    state.SetItemsProcessed(state.iterations());
    state.counters["pass%"] = 100.0 * static_cast<double>(passed) / static_cast<double>(state.iterations());
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}
BENCHMARK(BM_SqlitePreparedSelect)->Iterations(1000000);

// A whole table of a million records filtered in one pass: per record, docket copies the record
// into the buffer and evaluates the filter; SQLite runs SELECT count(*) ... WHERE over its table.
constexpr int kTableRows = 1000000;

void BM_DocketScanMillion(benchmark::State& state) {
    bindRecordBuffer();
    auto filter = compileExpression(kFilter);
    const auto& rs = records();
    std::int64_t passed = 0;
    for (auto _ : state) {
        passed = 0;
        for (int row = 0; row < kTableRows; ++row) {
            std::memcpy(&buffer, &rs[static_cast<std::size_t>(row) & 1023], sizeof buffer);
            passed += filter->isTrue();
        }
        benchmark::DoNotOptimize(passed);
    }
    state.SetItemsProcessed(state.iterations() * kTableRows);
    state.counters["passed"] = static_cast<double>(passed);
}
BENCHMARK(BM_DocketScanMillion)->Unit(benchmark::kMillisecond);

void BM_SqliteScanMillion(benchmark::State& state) {
    sqlite3* db = openMemory();
    sqlite3_exec(db, "CREATE TABLE memo(memo_id INTEGER, jenis_id INTEGER, tanggal INTEGER, perihal TEXT)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO memo VALUES (?1, ?2, ?3, ?4)", -1, &insert, nullptr);
    const auto& rs = records();
    for (int row = 0; row < kTableRows; ++row) {
        const Record& r = rs[static_cast<std::size_t>(row) & 1023];
        sqlite3_bind_int(insert, 1, r.memoId);
        sqlite3_bind_int(insert, 2, r.jenisId);
        sqlite3_bind_int(insert, 3, r.tanggal);
        sqlite3_bind_text(insert, 4, r.perihal, sizeof r.perihal, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_stmt* count = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM memo WHERE ") + kSqlFilter;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &count, nullptr);
    std::int64_t passed = 0;
    for (auto _ : state) {
        if (sqlite3_step(count) == SQLITE_ROW) passed = sqlite3_column_int64(count, 0);
        sqlite3_reset(count);
        benchmark::DoNotOptimize(passed);
    }
    state.SetItemsProcessed(state.iterations() * kTableRows);
    state.counters["passed"] = static_cast<double>(passed);
    sqlite3_finalize(count);
    sqlite3_close(db);
}
BENCHMARK(BM_SqliteScanMillion)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
