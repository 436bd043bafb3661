// Views against SQLite on the memo register's shape: memos joined to their types by type number.
// Two cases, each run by both in one process over the same rows:
//   - a filtered read: every memo of one type whose subject holds a word, in record order;
//   - a page fill: the 20 memos from a random entry number on, in entry order, as a list shows
//     one screenful after a locate.
// Run: build/bench/view_bench [MEMOS] [FOLDER]   (MEMOS defaults to 50000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "runtime/expression/binding_scopes.h"
#include "runtime/core/error_state.h"
#include "files/file_statements.h"
#include "files/record_fields.h"
#include "files/view.h"

using namespace docket;
using drivers::FileDeclaration;
using runtime::TypeCode;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A native table declared in code, as the data dictionary will declare them.
struct Table {
    FileDeclaration declaration;
    drivers::DriverFile file{&declaration, nullptr};
    std::vector<std::uint8_t> record;
    std::deque<std::vector<std::uint8_t>> memos;

    Table(const std::string& label, const std::string& path) {
        declaration.label = label;
        declaration.driver = "QUORVANE";
        declaration.name = path;
    }
    void field(const std::string& label, TypeCode type, std::uint32_t size) {
        declaration.appendField(label, type, size);
        record.resize(declaration.recordLength);
        declaration.record = record.data();
    }
    void memo(const std::string& label, std::uint32_t size) {
        drivers::MemoDeclaration m;
        m.label = label;
        m.size = size;
        m.buffer = memos.emplace_back(size, ' ').data();
        declaration.memos.push_back(m);
    }
    void key(const std::string& label, std::uint16_t flags, std::vector<std::int32_t> components) {
        drivers::KeyDeclaration k;
        k.label = label;
        k.flags = flags;
        k.components = std::move(components);
        declaration.keys.push_back(k);
    }
    std::uint8_t* at(int field) { return record.data() + declaration.fields[field - 1].offset; }
    void setLong(int field, std::int32_t v) { std::memcpy(at(field), &v, 4); }
    void setText(int field, const std::string& text) {
        runtime::writeText(TypeCode::String, at(field), declaration.fields[field - 1].size, text);
    }
};

const char* kWords[] = {"anggaran", "rapat",      "cuti",  "laporan",
                        "mutasi",   "inventaris", "pajak", "rapat kerja"};
const char* kTypes[] = {"", "Surat", "Nota", "Edaran", "Undangan"};

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 50000;
    const std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "docket-view-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    Table memo("MEMO_DB", (folder / "MEMO.DB").string());
    memo.field("MEM:MEMO_ID", TypeCode::Long, 4);
    memo.field("MEM:MEMO_NO", TypeCode::String, 20);
    memo.field("MEM:TANGGAL", TypeCode::Date, 4);
    memo.field("MEM:JENIS", TypeCode::Long, 4);
    memo.field("MEM:PERIHAL", TypeCode::String, 60);
    memo.memo("MEM:ISI", 1024);
    memo.key("MEM:KEY_ID", drivers::key_flag::kPrimary, {1});
    memo.key("MEM:KEY_NO", drivers::key_flag::kDup | drivers::key_flag::kNoCase, {2});
    memo.key("MEM:KEY_TANGGAL", drivers::key_flag::kDup, {-3});
    Table type("MEMO_JENIS", (folder / "JENIS.DB").string());
    type.field("JEN:JENIS", TypeCode::Long, 4);
    type.field("JEN:NAMA", TypeCode::String, 30);
    type.key("JEN:KEY_JENIS", drivers::key_flag::kPrimary, {1});
    for (Table* t : {&memo, &type})
        if (runtime::create(t->file) || runtime::open(t->file, 0x42)) {
            std::fprintf(stderr, "cannot create %s\n", t->declaration.label.c_str());
            return 1;
        }

    sqlite3* db = nullptr;
    const std::string sqlitePath = (folder / "memo.sqlite").string();
    sqlite3_open(sqlitePath.c_str(), &db);
    sqlite3_exec(
        db,
        "PRAGMA synchronous=FULL;"
        "CREATE TABLE jenis(jenis INTEGER PRIMARY KEY, nama TEXT);"
        "CREATE TABLE memo(memo_id INTEGER PRIMARY KEY, memo_no TEXT, tanggal INTEGER, jenis INTEGER,"
        " perihal TEXT, isi TEXT);"
        "CREATE INDEX memo_no ON memo(memo_no COLLATE NOCASE);"
        "CREATE INDEX memo_tanggal ON memo(tanggal DESC);",
        nullptr, nullptr, nullptr);
    sqlite3_stmt* insertMemo = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO memo VALUES(?,?,?,?,?,?)", -1, &insertMemo, nullptr);

    // The same rows for both.
    std::mt19937 random(7);
    for (int j = 1; j <= 4; ++j) {
        type.setLong(1, j);
        type.setText(2, kTypes[j]);
        runtime::add(type.file);
        std::string sql = "INSERT INTO jenis VALUES(" + std::to_string(j) + ",'" + kTypes[j] + "')";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    drivers::DriverFile* files[] = {&memo.file};
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    runtime::logout(1, files);
    for (int id = 1; id <= n; ++id) {
        const std::string no = "M-" + std::to_string(random() % 100000);
        const int date = 80000 + static_cast<int>(random() % 3000);
        const int jenis = 1 + static_cast<int>(random() % 5); // 5 has no type record
        const std::string subject = std::string(kWords[random() % 8]) + " " + std::to_string(id);
        const std::string body = "Isi memo " + std::to_string(id);
        memo.setLong(1, id);
        memo.setText(2, no);
        memo.setLong(3, date);
        memo.setLong(4, jenis);
        memo.setText(5, subject);
        runtime::writeText(TypeCode::String, memo.declaration.memos[0].buffer, 1024, body);
        if (runtime::add(memo.file)) {
            std::fprintf(stderr, "ADD failed: %d\n", runtime::errorCode());
            return 1;
        }
        sqlite3_bind_int(insertMemo, 1, id);
        sqlite3_bind_text(insertMemo, 2, no.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insertMemo, 3, date);
        sqlite3_bind_int(insertMemo, 4, jenis);
        sqlite3_bind_text(insertMemo, 5, subject.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertMemo, 6, body.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insertMemo);
        sqlite3_reset(insertMemo);
        if (id % 1000 == 0) {
            runtime::commit();
            runtime::logout(1, files);
            sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
        }
    }
    runtime::commit();
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insertMemo);

    runtime::pushScope(false);
    runtime::bindTableFields(memo.declaration);
    runtime::bindTableFields(type.declaration);
    runtime::ViewDeclaration declaration;
    declaration.primary = &memo.file;
    runtime::ViewJoin join;
    join.file = &type.file;
    join.key = 0;
    join.parentFields = {4};
    declaration.joins.push_back(join);
    runtime::View view(declaration);
    if (view.open() != 0) return 1;

    // Filtered read.
    const int rounds = 5;
    long viewRows = 0, sqliteRows = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        view.setFilter("MEM:JENIS = 2 AND INSTRING('rapat', MEM:PERIHAL, 1, 1)");
        view.set();
        while (view.next() == 0) ++viewRows;
    }
    const double viewFiltered = seconds(start) / rounds;
    sqlite3_stmt* filtered = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT m.*, j.nama FROM memo m LEFT JOIN jenis j ON j.jenis = m.jenis"
                       " WHERE m.jenis = 2 AND instr(m.perihal, 'rapat') > 0 ORDER BY m.memo_id",
                       -1, &filtered, nullptr);
    start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        while (sqlite3_step(filtered) == SQLITE_ROW) ++sqliteRows;
        sqlite3_reset(filtered);
    }
    const double sqliteFiltered = seconds(start) / rounds;

    // Page fills at random entry numbers.
    const int pages = 2000;
    std::vector<int> from(pages);
    for (int& f : from) f = 1 + static_cast<int>(random() % static_cast<unsigned>(n));
    view.setOrder("MEM:MEMO_ID");
    long viewPageRows = 0, sqlitePageRows = 0;
    start = std::chrono::steady_clock::now();
    for (int f : from) {
        view.setFilter("MEM:MEMO_ID >= " + std::to_string(f));
        view.set();
        for (int i = 0; i < 20 && view.next() == 0; ++i) ++viewPageRows;
    }
    const double viewPage = seconds(start) / pages;
    sqlite3_stmt* page = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT m.*, j.nama FROM memo m LEFT JOIN jenis j ON j.jenis = m.jenis"
                       " WHERE m.memo_id >= ? ORDER BY m.memo_id LIMIT 20",
                       -1, &page, nullptr);
    start = std::chrono::steady_clock::now();
    for (int f : from) {
        sqlite3_bind_int(page, 1, f);
        while (sqlite3_step(page) == SQLITE_ROW) ++sqlitePageRows;
        sqlite3_reset(page);
    }
    const double sqlitePage = seconds(start) / pages;

    std::printf("memos            %d, joined to 4 types (outer join)\n", n);
    std::printf("filtered read    view %.2f ms (%ld rows), sqlite %.2f ms (%ld rows), ratio %.2f\n",
                viewFiltered * 1e3, viewRows / rounds, sqliteFiltered * 1e3, sqliteRows / rounds,
                viewFiltered / sqliteFiltered);
    std::printf("20-row page fill view %.1f us, sqlite %.1f us, ratio %.2f (%ld and %ld rows)\n",
                viewPage * 1e6, sqlitePage * 1e6, viewPage / sqlitePage, viewPageRows, sqlitePageRows);
    sqlite3_finalize(filtered);
    sqlite3_finalize(page);
    sqlite3_close(db);
    view.close();
    runtime::popScope();
    runtime::close(memo.file);
    runtime::close(type.file);
    std::filesystem::remove_all(folder);
    return viewRows == sqliteRows && viewPageRows == sqlitePageRows ? 0 : 1;
}
