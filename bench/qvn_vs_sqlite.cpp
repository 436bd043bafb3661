// The memo register's storage work done by the native driver (through the runtime's file
// statements, the file opened shared as the application opens it) and by SQLite, in one process,
// over the same generated rows. Each run builds both stores afresh and times every case on both,
// the two engines taking turns at going first; the table shows the median of the runs and the
// ratio SQLite time / QVN time (above 1: QVN is faster).
//
// The table has the memo register's shape: entry number (LONG, unique descending key), date
// (DATE), memo number (CSTRING(31)), subject (CSTRING(81)), type (LONG), duplicate keys over the
// memo number, the date and the type, and a MEMO(8192) body of 300 to 3000 bytes of rich text.
// SQLite holds the same columns with the entry number as its rowid and an index per key; it runs
// in WAL mode with synchronous=FULL throughout, because every commit of the native driver reaches
// the disk before it returns.
//
// Cases (per size N):
//   bulk_add          N ADDs inside one LOGOUT/COMMIT; BEGIN, N INSERTs, COMMIT
//   file_size         bytes of the file after the bulk add (SQLite after a WAL checkpoint)
//   get_random        GET by the unique key, memo included; per operation
//   read_date_order   every record in date order with its memo: SET(key) + NEXT loop
//   filtered_read     a View filtered by INSTRING over the subject, record order
//   page_fill         SET(date key, values) at a random date and 20 NEXTs; per page
//   page_fill_cold    the same for 50 pages, the file (a connection) opened anew for each
//   put_random        GET + change of the type (a key field) + PUT, inside one transaction; per
//                     operation. The commit cost is left to durable_add.
//   durable_add       ADDs outside a transaction (each committed by the driver) into the table of
//                     N records; SQLite autocommit INSERTs. Per record.
//
// Run: qvn_vs_sqlite [--quick | --size N] [--runs K] [--json FILE] [--dir FOLDER] [--keep]
//   --quick   10,000 records only (otherwise 10,000 and 200,000)
//   --size N  N records only (a reduced run for a profiler)
//   --runs K  runs per size (default 5 for 10,000 and 3 for 200,000)
//   --json    also writes {"case": {"qvn": s, "sqlite": s, "ratio": r}, ...}
//   --dir     where the files go (default: the temporary folder)
//   --keep    leaves the last run's native file in the folder, for `qvn info` and `qvn check`
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include <sqlite3.h>

#include "runtime/expression/binding_scopes.h"
#include "runtime/core/error_state.h"
#include "files/file_statements.h"
#include "files/read_run.h"
#include "files/record_fields.h"
#include "files/view.h"

using namespace docket;
using drivers::FileDeclaration;
using runtime::TypeCode;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void fail(const char* what, int code) {
    std::fprintf(stderr, "qvn_vs_sqlite: %s failed (%d)\n", what, code);
    std::exit(1);
}

// ---------------------------------------------------------------------------------------------
// The rows, generated once from fixed seeds so that both engines and every run see the same.

struct Row {
    std::int32_t id;
    std::int32_t date;
    std::string number;
    std::string subject;
    std::int32_t type;
    std::string body;
};

const char* const kWords[] = {
    "anggaran",  "rapat",     "koordinasi", "laporan",  "bulanan", "kegiatan",     "pegawai",    "kantor",
    "bagian",    "keuangan",  "umum",       "direksi",  "surat",   "edaran",       "undangan",   "tahunan",
    "program",   "kerja",     "evaluasi",   "mutasi",   "cuti",    "pajak",        "inventaris", "pengadaan",
    "barang",    "jasa",      "proyek",     "wilayah",  "cabang",  "pusat",        "sesuai",     "dengan",
    "ketentuan", "yang",      "berlaku",    "mohon",    "segera",  "dilaksanakan", "terima",     "kasih",
    "atas",      "perhatian", "tanggal",    "nomor",    "perihal", "lampiran",     "kepada",     "yth",
    "pimpinan",  "staf",      "divisi",     "hasil",    "rencana", "target",       "realisasi",  "periode",
    "triwulan",  "semester",  "audit",      "internal", "sistem",  "data",         "informasi",  "teknologi"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];
const char* const kUnits[] = {"SK", "DIR", "KEU", "UMM", "SDM", "TI", "PGD", "AUD"};

// Rich text as the editor streams it out: a header with the font and colour tables, paragraphs of
// words ending in \par, some bold and italic runs, the closing brace.
std::string richText(std::mt19937& random, std::size_t target) {
    std::string text =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\froman\\fcharset0 Times New Roman;}}\r\n{\\colortbl ;\\red0\\green0\\blue0;}\r\n"
        "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    const std::string tail = "\\par\r\n}\r\n";
    int inParagraph = 0;
    while (text.size() + tail.size() + 16 < target) {
        const unsigned dice = random() % 40;
        const std::string word = kWords[random() % kWordCount];
        if (dice == 0) {
            text += "\\b " + word + " " + kWords[random() % kWordCount] + "\\b0 ";
        } else if (dice == 1) {
            text += "\\i " + word + "\\i0 ";
        } else {
            text += word;
            text += dice < 4 ? ", " : " ";
        }
        if (++inParagraph > 12 + static_cast<int>(random() % 30)) {
            text += "\\par\r\n";
            inParagraph = 0;
        }
    }
    while (text.size() + tail.size() < target) text += 'x';
    return text + tail;
}

std::vector<Row> makeRows(int count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Row> rows(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Row& r = rows[static_cast<std::size_t>(i)];
        r.id = i + 1;
        r.date = 80000 + static_cast<std::int32_t>(random() % 3650); // ten years, many equal dates
        r.number = std::to_string(random() % 10000) + "/" + kUnits[random() % 8] + "/" +
                   std::to_string(2015 + random() % 10);
        const int words = 3 + static_cast<int>(random() % 6);
        for (int w = 0; w < words; ++w) {
            if (w) r.subject += ' ';
            r.subject += kWords[random() % kWordCount];
        }
        r.type = 1 + static_cast<std::int32_t>(random() % 8);
        r.body = richText(random, 300 + random() % 2701);
    }
    return rows;
}

// The random operations' arguments, the same for both engines.
struct Probes {
    std::vector<std::int32_t> getIds;
    std::vector<std::int32_t> pageDates;
    std::vector<std::int32_t> putIds;
    std::vector<std::int32_t> putTypes;
};

Probes makeProbes(int records, int gets, int pages, int puts) {
    std::mt19937 random(99);
    Probes p;
    const auto n = static_cast<unsigned>(records);
    for (int i = 0; i < gets; ++i) p.getIds.push_back(1 + static_cast<std::int32_t>(random() % n));
    for (int i = 0; i < pages; ++i) p.pageDates.push_back(80000 + static_cast<std::int32_t>(random() % 3650));
    for (int i = 0; i < puts; ++i) {
        p.putIds.push_back(1 + static_cast<std::int32_t>(random() % n));
        p.putTypes.push_back(1 + static_cast<std::int32_t>(random() % 8));
    }
    return p;
}

constexpr const char* kFilterWord = "anggaran";

// What a case read, so that both engines can be checked to have done the same work.
struct Tally {
    long rows = 0;
    long long idSum = 0;
    bool operator==(const Tally&) const = default;
};

struct Times {
    std::map<std::string, double> value; // case name -> seconds (bytes for file_size)
    std::map<std::string, Tally> tally;
};

// ---------------------------------------------------------------------------------------------
// The native side: the memo table declared in code as the data dictionary declares it.

struct MemoTable {
    FileDeclaration declaration;
    drivers::DriverFile file{&declaration, nullptr};
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> body;

    enum Field { Id = 1, Date, Number, Subject, Type };
    enum Key { Primary = 0, ByNumber, ByDate, ByType };

    explicit MemoTable(const std::string& path) {
        declaration.label = "MEMO_DB";
        declaration.driver = "QUORVANE";
        declaration.name = path;
        field("MEM:MEMO_ID", TypeCode::Long, 4);
        field("MEM:TANGGAL_MEMO", TypeCode::Date, 4);
        field("MEM:MEMO_NO", TypeCode::CString, 31);
        field("MEM:PERIHAL", TypeCode::CString, 81);
        field("MEM:JENIS_ID", TypeCode::Long, 4);
        record.assign(declaration.recordLength, 0);
        declaration.record = record.data();
        body.assign(8192, ' ');
        drivers::MemoDeclaration memo;
        memo.label = "MEM:ISI_MEMO";
        memo.size = 8192;
        memo.buffer = body.data();
        declaration.memos.push_back(memo);
        // The entry number's component is negated: the primary key runs newest first.
        key("MEM:PRIMARYKEY", drivers::key_flag::kPrimary, {-Id});
        key("MEM:KEYNOMORMEMO", drivers::key_flag::kDup, {Number});
        key("MEM:KEYTANGGALMEMO", drivers::key_flag::kDup, {Date});
        key("MEM:KEYJENISMEMO", drivers::key_flag::kDup, {Type});
    }
    void field(const std::string& label, TypeCode type, std::uint32_t size) {
        declaration.appendField(label, type, size);
    }
    void key(const std::string& label, std::uint16_t flags, std::vector<std::int32_t> components) {
        drivers::KeyDeclaration k;
        k.label = label;
        k.flags = flags;
        k.components = std::move(components);
        declaration.keys.push_back(k);
    }
    const drivers::KeyDeclaration& keyDecl(Key k) const { return declaration.keys[k]; }
    runtime::KeyRef keyRef(Key k) { return runtime::KeyRef{file, declaration.keys[k]}; }
    std::uint8_t* at(Field f) { return record.data() + declaration.fields[f - 1].offset; }
    void setLong(Field f, std::int32_t v) { std::memcpy(at(f), &v, 4); }
    std::int32_t getLong(Field f) {
        std::int32_t v;
        std::memcpy(&v, at(f), 4);
        return v;
    }
    void fill(const Row& r) {
        setLong(Id, r.id);
        setLong(Date, r.date);
        runtime::writeText(TypeCode::CString, at(Number), 31, r.number);
        runtime::writeText(TypeCode::CString, at(Subject), 81, r.subject);
        setLong(Type, r.type);
        runtime::writeText(TypeCode::String, body.data(), body.size(), r.body);
    }
};

void check(const char* what, int rc) {
    if (rc != 0) fail(what, rc);
}

// Each case of the native side is a function of its own, kept out of line so that a profiler
// (callgrind --toggle-collect=*qvnGetRandom* and the like) can tell the cases apart.
#define QVN_CASE [[gnu::noinline]] void

QVN_CASE qvnBulkAdd(MemoTable& t, const std::vector<Row>& rows) {
    drivers::DriverFile* files[] = {&t.file};
    check("LOGOUT", runtime::logout(1, files));
    for (const Row& r : rows) {
        t.fill(r);
        check("ADD", runtime::add(t.file));
    }
    check("COMMIT", runtime::commit());
}

QVN_CASE qvnGetRandom(MemoTable& t, const Probes& probes, Tally* tally) {
    for (std::int32_t id : probes.getIds) {
        t.setLong(MemoTable::Id, id);
        check("GET", runtime::get(t.file, t.keyDecl(MemoTable::Primary)));
        ++tally->rows;
        tally->idSum += t.getLong(MemoTable::Id);
    }
}

QVN_CASE qvnReadDateOrder(MemoTable& t, Tally* tally) {
    runtime::ReadRun run(t.file);
    check("SET", runtime::set(t.keyRef(MemoTable::ByDate)));
    while (runtime::next(t.file) == 0) {
        ++tally->rows;
        tally->idSum += t.getLong(MemoTable::Id);
    }
    if (runtime::errorCode() != 33) fail("NEXT", runtime::errorCode());
}

QVN_CASE qvnFilteredRead(runtime::View& view, MemoTable& t, Tally* tally) {
    check("View filter", view.setFilter(std::string("INSTRING('") + kFilterWord + "', MEM:PERIHAL, 1, 1)"));
    check("View SET", view.set());
    while (view.next() == 0) {
        ++tally->rows;
        tally->idSum += t.getLong(MemoTable::Id);
    }
}

QVN_CASE qvnPageFill(MemoTable& t, const Probes& probes, Tally* tally) {
    for (std::int32_t date : probes.pageDates) {
        t.setLong(MemoTable::Date, date);
        runtime::ReadRun run(t.file); // one read access for the page, as a list fills one
        check("SET(key, key)", runtime::set(t.keyRef(MemoTable::ByDate), t.keyDecl(MemoTable::ByDate)));
        for (int i = 0; i < 20 && runtime::next(t.file) == 0; ++i) {
            ++tally->rows;
            tally->idSum += t.getLong(MemoTable::Id);
        }
    }
}

// The page fill as the memo list pays it at start-up: the file opened anew for each page and
// closed after it, as SQLite's side opens and closes a connection. The file is closed before the
// clock starts, so that dropping the warm cache of the earlier cases is not counted.
constexpr std::size_t kColdPages = 50;

QVN_CASE qvnPageFillCold(MemoTable& t, const Probes& probes, Tally* tally) {
    for (std::size_t p = 0; p < std::min(kColdPages, probes.pageDates.size()); ++p) {
        check("OPEN", runtime::open(t.file, 0x42));
        {
            runtime::ReadRun run(t.file);
            t.setLong(MemoTable::Date, probes.pageDates[p]);
            check("SET(key, key)", runtime::set(t.keyRef(MemoTable::ByDate), t.keyDecl(MemoTable::ByDate)));
            for (int i = 0; i < 20 && runtime::next(t.file) == 0; ++i) {
                ++tally->rows;
                tally->idSum += t.getLong(MemoTable::Id);
            }
        }
        check("CLOSE", runtime::close(t.file));
    }
}

QVN_CASE qvnPutRandom(MemoTable& t, const Probes& probes) {
    drivers::DriverFile* files[] = {&t.file};
    check("LOGOUT", runtime::logout(1, files));
    for (std::size_t i = 0; i < probes.putIds.size(); ++i) {
        t.setLong(MemoTable::Id, probes.putIds[i]);
        check("GET", runtime::get(t.file, t.keyDecl(MemoTable::Primary)));
        t.setLong(MemoTable::Type, probes.putTypes[i]);
        check("PUT", runtime::put(t.file));
    }
    check("COMMIT", runtime::commit());
}

QVN_CASE qvnDurableAdd(MemoTable& t, const std::vector<Row>& extra) {
    for (const Row& r : extra) {
        t.fill(r);
        check("ADD", runtime::add(t.file));
    }
}

bool keepFile = false; // --keep: the native file stays after the run

void runQvn(const std::filesystem::path& folder, const std::string& size, const std::vector<Row>& rows,
            const std::vector<Row>& extra, const Probes& probes, Times* out) {
    const std::filesystem::path path = folder / "MEMO.DB";
    std::filesystem::remove(path);
    MemoTable t(path.string());
    check("CREATE", runtime::create(t.file));
    check("OPEN", runtime::open(t.file, 0x42));
    auto timed = [&](const std::string& name, double divisor, auto work) {
        const auto start = Clock::now();
        work();
        out->value[name + "_" + size] = seconds(start) / divisor;
    };
    auto perOp = [](const auto& v) { return static_cast<double>(v.size()); };

    timed("bulk_add", 1, [&] { qvnBulkAdd(t, rows); });
    out->value["file_size_" + size] = static_cast<double>(std::filesystem::file_size(path));
    timed("get_random", perOp(probes.getIds),
          [&] { qvnGetRandom(t, probes, &out->tally["get_random_" + size]); });
    timed("read_date_order", 1, [&] { qvnReadDateOrder(t, &out->tally["read_date_order_" + size]); });
    runtime::pushScope(false);
    runtime::bindTableFields(t.declaration);
    {
        runtime::ViewDeclaration declaration;
        declaration.primary = &t.file;
        runtime::View view(declaration);
        check("View OPEN", view.open());
        timed("filtered_read", 1, [&] { qvnFilteredRead(view, t, &out->tally["filtered_read_" + size]); });
        view.close();
    }
    runtime::popScope();
    timed("page_fill", perOp(probes.pageDates),
          [&] { qvnPageFill(t, probes, &out->tally["page_fill_" + size]); });
    check("CLOSE", runtime::close(t.file));
    timed("page_fill_cold", static_cast<double>(std::min(kColdPages, probes.pageDates.size())),
          [&] { qvnPageFillCold(t, probes, &out->tally["page_fill_cold_" + size]); });
    check("OPEN", runtime::open(t.file, 0x42));
    timed("put_random", perOp(probes.putIds), [&] { qvnPutRandom(t, probes); });
    timed("durable_add", perOp(extra), [&] { qvnDurableAdd(t, extra); });

    check("CLOSE", runtime::close(t.file));
    if (!keepFile) std::filesystem::remove(path);
}

// ---------------------------------------------------------------------------------------------
// The SQLite side.

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "qvn_vs_sqlite: %s: %s\n", sql, message ? message : "?");
        std::exit(1);
    }
}

sqlite3_stmt* prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "qvn_vs_sqlite: %s: %s\n", sql, sqlite3_errmsg(db));
        std::exit(1);
    }
    return stmt;
}

void stepDone(sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_DONE) fail("sqlite3_step", sqlite3_errcode(sqlite3_db_handle(stmt)));
    sqlite3_reset(stmt);
}

void bindRow(sqlite3_stmt* insert, const Row& r) {
    sqlite3_bind_int(insert, 1, r.id);
    sqlite3_bind_int(insert, 2, r.date);
    sqlite3_bind_text(insert, 3, r.number.data(), static_cast<int>(r.number.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 4, r.subject.data(), static_cast<int>(r.subject.size()), SQLITE_STATIC);
    sqlite3_bind_int(insert, 5, r.type);
    sqlite3_bind_text(insert, 6, r.body.data(), static_cast<int>(r.body.size()), SQLITE_STATIC);
}

// Reads every column of the row, as the native driver fills the whole record and memo buffer.
void takeRow(sqlite3_stmt* stmt, Tally* tally, long long* bytes) {
    tally->idSum += sqlite3_column_int(stmt, 0);
    ++tally->rows;
    *bytes += sqlite3_column_int(stmt, 1) + sqlite3_column_int(stmt, 4);
    for (int c : {2, 3, 5}) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        *bytes += sqlite3_column_bytes(stmt, c) + (text ? text[0] : 0);
    }
}

long long sink = 0; // keeps the columns read from being optimised away

void runSqlite(const std::filesystem::path& folder, const std::string& size, const std::vector<Row>& rows,
               const std::vector<Row>& extra, const Probes& probes, Times* out) {
    const std::filesystem::path path = folder / "memo.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) fail("sqlite3_open", 0);
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
             "CREATE TABLE memo(memo_id INTEGER PRIMARY KEY, tanggal INTEGER NOT NULL, memo_no TEXT NOT NULL,"
             " perihal TEXT NOT NULL, jenis_id INTEGER NOT NULL, isi_memo TEXT NOT NULL);"
             "CREATE INDEX memo_no ON memo(memo_no);"
             "CREATE INDEX memo_tanggal ON memo(tanggal);"
             "CREATE INDEX memo_jenis ON memo(jenis_id);");
    sqlite3_stmt* insert = prepare(db, "INSERT INTO memo VALUES(?,?,?,?,?,?)");
    sqlite3_stmt* byId = prepare(db, "SELECT * FROM memo WHERE memo_id = ?");
    sqlite3_stmt* byDate = prepare(db, "SELECT * FROM memo ORDER BY tanggal");
    sqlite3_stmt* filtered = prepare(db, "SELECT * FROM memo WHERE instr(perihal, ?) > 0");
    sqlite3_stmt* page = prepare(db, "SELECT * FROM memo WHERE tanggal >= ? ORDER BY tanggal LIMIT 20");
    sqlite3_stmt* update = prepare(db, "UPDATE memo SET jenis_id = ? WHERE memo_id = ?");
    long long bytes = 0;

    auto start = Clock::now();
    exec(db, "BEGIN");
    for (const Row& r : rows) {
        bindRow(insert, r);
        stepDone(insert);
    }
    exec(db, "COMMIT");
    out->value["bulk_add_" + size] = seconds(start);
    exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    out->value["file_size_" + size] = static_cast<double>(std::filesystem::file_size(path));

    Tally tally;
    start = Clock::now();
    for (std::int32_t id : probes.getIds) {
        sqlite3_bind_int(byId, 1, id);
        if (sqlite3_step(byId) != SQLITE_ROW) fail("SELECT by id", id);
        takeRow(byId, &tally, &bytes);
        sqlite3_reset(byId);
    }
    out->value["get_random_" + size] = seconds(start) / static_cast<double>(probes.getIds.size());
    out->tally["get_random_" + size] = tally;

    tally = {};
    start = Clock::now();
    while (sqlite3_step(byDate) == SQLITE_ROW) takeRow(byDate, &tally, &bytes);
    sqlite3_reset(byDate);
    out->value["read_date_order_" + size] = seconds(start);
    out->tally["read_date_order_" + size] = tally;

    tally = {};
    start = Clock::now();
    sqlite3_bind_text(filtered, 1, kFilterWord, -1, SQLITE_STATIC);
    while (sqlite3_step(filtered) == SQLITE_ROW) takeRow(filtered, &tally, &bytes);
    sqlite3_reset(filtered);
    out->value["filtered_read_" + size] = seconds(start);
    out->tally["filtered_read_" + size] = tally;

    tally = {};
    start = Clock::now();
    for (std::int32_t date : probes.pageDates) {
        sqlite3_bind_int(page, 1, date);
        while (sqlite3_step(page) == SQLITE_ROW) takeRow(page, &tally, &bytes);
        sqlite3_reset(page);
    }
    out->value["page_fill_" + size] = seconds(start) / static_cast<double>(probes.pageDates.size());
    out->tally["page_fill_" + size] = tally;

    // Cold: a connection of its own for each page, opened and closed around it.
    tally = {};
    const std::size_t coldPages = std::min(kColdPages, probes.pageDates.size());
    start = Clock::now();
    for (std::size_t p = 0; p < coldPages; ++p) {
        sqlite3* cold = nullptr;
        if (sqlite3_open(path.c_str(), &cold) != SQLITE_OK) fail("sqlite3_open", 0);
        sqlite3_stmt* coldPage = prepare(cold, "SELECT * FROM memo WHERE tanggal >= ? ORDER BY tanggal LIMIT 20");
        sqlite3_bind_int(coldPage, 1, probes.pageDates[p]);
        while (sqlite3_step(coldPage) == SQLITE_ROW) takeRow(coldPage, &tally, &bytes);
        sqlite3_finalize(coldPage);
        sqlite3_close(cold);
    }
    out->value["page_fill_cold_" + size] = seconds(start) / static_cast<double>(coldPages);
    out->tally["page_fill_cold_" + size] = tally;

    start = Clock::now();
    exec(db, "BEGIN");
    for (std::size_t i = 0; i < probes.putIds.size(); ++i) {
        sqlite3_bind_int(update, 1, probes.putTypes[i]);
        sqlite3_bind_int(update, 2, probes.putIds[i]);
        stepDone(update);
    }
    exec(db, "COMMIT");
    out->value["put_random_" + size] = seconds(start) / static_cast<double>(probes.putIds.size());

    start = Clock::now();
    for (const Row& r : extra) {
        bindRow(insert, r);
        stepDone(insert);
    }
    out->value["durable_add_" + size] = seconds(start) / static_cast<double>(extra.size());

    for (sqlite3_stmt* s : {insert, byId, byDate, filtered, page, update}) sqlite3_finalize(s);
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
    sink += bytes;
}

// ---------------------------------------------------------------------------------------------

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Result {
    std::string name;
    double qvn;
    double sqlite;
};

std::string shown(const std::string& name, double v) {
    char text[64];
    if (name.rfind("file_size", 0) == 0)
        std::snprintf(text, sizeof text, "%.0f B", v);
    else if (v >= 1)
        std::snprintf(text, sizeof text, "%.3f s", v);
    else if (v >= 1e-3)
        std::snprintf(text, sizeof text, "%.3f ms", v * 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f us", v * 1e6);
    return text;
}

void benchSize(int n, int runs, const std::filesystem::path& folder, std::vector<Result>* results) {
    const std::string size = std::to_string(n);
    const int extraCount = 1000;
    std::fprintf(stderr, "generating %d rows...\n", n);
    const std::vector<Row> rows = makeRows(n, 1);
    std::vector<Row> extra = makeRows(extraCount, 2);
    for (Row& r : extra) r.id += n;
    const Probes probes = makeProbes(n, std::min(n, 20000), 2000, 2000);

    std::map<std::string, std::vector<double>> qvn, sqlite;
    std::vector<std::string> order;
    for (int run = 0; run < runs; ++run) {
        Times q, s;
        // The engines take turns at going first, so that neither always meets a colder cache.
        if (run % 2 == 0) {
            runQvn(folder, size, rows, extra, probes, &q);
            runSqlite(folder, size, rows, extra, probes, &s);
        } else {
            runSqlite(folder, size, rows, extra, probes, &s);
            runQvn(folder, size, rows, extra, probes, &q);
        }
        for (const auto& [name, tally] : q.tally)
            if (!(s.tally[name] == tally)) {
                std::fprintf(stderr,
                             "qvn_vs_sqlite: %s read %ld rows (id sum %lld) in QVN, %ld (%lld) in SQLite\n",
                             name.c_str(), tally.rows, tally.idSum, s.tally[name].rows, s.tally[name].idSum);
                std::exit(1);
            }
        if (run == 0) {
            std::fprintf(stderr, "  rows read (both engines alike):");
            for (const auto& [name, tally] : q.tally)
                std::fprintf(stderr, " %s %ld", name.c_str(), tally.rows);
            std::fprintf(stderr, "\n");
        }
        if (order.empty()) {
            // The order in which the cases ran.
            for (const char* c : {"bulk_add_", "file_size_", "get_random_", "read_date_order_",
                                  "filtered_read_", "page_fill_", "page_fill_cold_", "put_random_",
                                  "durable_add_"})
                order.push_back(c + size);
        }
        for (const auto& [name, v] : q.value) qvn[name].push_back(v);
        for (const auto& [name, v] : s.value) sqlite[name].push_back(v);
        std::fprintf(stderr, "  %s records: run %d of %d done (bulk add QVN %.2f s, SQLite %.2f s)\n",
                     size.c_str(), run + 1, runs, q.value["bulk_add_" + size], s.value["bulk_add_" + size]);
    }
    for (const std::string& name : order) results->push_back({name, median(qvn[name]), median(sqlite[name])});
}

void usage() {
    std::fprintf(
        stderr,
        "usage: qvn_vs_sqlite [--quick | --size N] [--runs K] [--json FILE] [--dir FOLDER] [--keep]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int runs = 0;
    int size = 0;
    std::string json;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "docket-qvn-vs-sqlite";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            quick = true;
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs < 1) usage();
        } else if (a == "--json" && i + 1 < argc) {
            json = argv[++i];
        } else if (a == "--size" && i + 1 < argc) {
            size = std::atoi(argv[++i]);
            if (size < 1) usage();
        } else if (a == "--keep") {
            keepFile = true;
        } else if (a == "--dir" && i + 1 < argc) {
            folder = argv[++i];
        } else {
            usage();
        }
    }
    std::filesystem::create_directories(folder);

    std::vector<Result> results;
    if (size) {
        benchSize(size, runs ? runs : 3, folder, &results);
    } else {
        benchSize(10000, runs ? runs : 5, folder, &results);
        if (!quick) benchSize(200000, runs ? runs : 3, folder, &results);
    }

    std::printf("%-24s %14s %14s %8s\n", "case", "QVN", "SQLite", "ratio");
    for (const Result& r : results)
        std::printf("%-24s %14s %14s %8.2f\n", r.name.c_str(), shown(r.name, r.qvn).c_str(),
                    shown(r.name, r.sqlite).c_str(), r.sqlite / r.qvn);
    std::printf("ratio = SQLite / QVN (time: above 1 QVN is faster; file size: above 1 QVN is smaller)\n");
    std::printf("per operation: get_random, page_fill and page_fill_cold (20 records), put_random, durable_add; "
                "whole case: the others\n");

    if (!json.empty()) {
        std::FILE* f = std::fopen(json.c_str(), "w");
        if (!f) fail("writing the JSON file", errno);
        std::fprintf(f, "{");
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Result& r = results[i];
            std::fprintf(f, "%s\n  \"%s\": {\"qvn\": %.9g, \"sqlite\": %.9g, \"ratio\": %.6g}", i ? "," : "",
                         r.name.c_str(), r.qvn, r.sqlite, r.sqlite / r.qvn);
        }
        std::fprintf(f, "\n}\n");
        std::fclose(f);
    }
    // Each run removed its own files; the folder goes only when nothing else is in it.
    std::error_code ignored;
    std::filesystem::remove(folder, ignored);
    return sink == -1 ? 1 : 0;
}
