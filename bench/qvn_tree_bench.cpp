// The native file's entry tree: inserting and then looking up N random entries of 16 to 200
// bytes (key parts of 12 bytes), committing every 1000 inserts as a batch of changes would.
// Prints entries per second, the file size and its pages, and the same work done by SQLite in the
// same process: a WITHOUT ROWID table keyed by the same 12 bytes, one transaction per 1000 inserts,
// synchronous=FULL with a rollback journal, so both commit durably.
// Run: build/bench/qvn_tree_bench [N] [FILE]   (N defaults to 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/qvn_file.h"

using namespace docket::drivers::qvn;

namespace {

std::string keyFor(std::uint64_t n) {
    std::string key(12, '\0');
    std::mt19937_64 mix(n);
    const std::uint64_t v = mix();
    for (int i = 0; i < 8; ++i) key[4 + i] = static_cast<char>(v >> (56 - 8 * i));
    key[0] = 0, key[1] = 0, key[2] = 0, key[3] = 1; // a table number, as records carry
    return key;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Workload {
    std::vector<std::string> keys;
    std::vector<std::string> data;
    std::vector<std::uint64_t> lookups;
};

Workload makeWorkload(long n) {
    Workload w;
    std::mt19937_64 random(1);
    for (long i = 0; i < n; ++i) {
        w.keys.push_back(keyFor(static_cast<std::uint64_t>(i)));
        const std::size_t total = 16 + random() % 185;
        std::string data(total - 12, ' ');
        for (std::size_t j = 0; j < data.size() / 2; ++j) data[j] = static_cast<char>('A' + random() % 26);
        w.data.push_back(std::move(data));
    }
    for (long i = 0; i < n; ++i) w.lookups.push_back(random() % static_cast<std::uint64_t>(n));
    return w;
}

int runSqlite(const Workload& w, const std::string& path) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return 1;
    sqlite3_exec(db, "PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE;"
                     "CREATE TABLE t(k BLOB PRIMARY KEY, v BLOB) WITHOUT ROWID;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO t VALUES(?, ?)", -1, &insert, nullptr);
    sqlite3_prepare_v2(db, "SELECT v FROM t WHERE k = ?", -1, &select, nullptr);
    const long n = static_cast<long>(w.keys.size());
    auto start = std::chrono::steady_clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (long i = 0; i < n; ++i) {
        sqlite3_bind_blob(insert, 1, w.keys[i].data(), 12, SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, w.data[i].data(), static_cast<int>(w.data[i].size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) return 1;
        sqlite3_reset(insert);
        if ((i + 1) % 1000 == 0) sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double insertTime = seconds(start);
    start = std::chrono::steady_clock::now();
    long hits = 0;
    for (long i = 0; i < n; ++i) {
        sqlite3_bind_blob(select, 1, w.keys[w.lookups[i]].data(), 12, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW) ++hits;
        sqlite3_reset(select);
    }
    const double lookupTime = seconds(start);
    sqlite3_finalize(insert);
    sqlite3_finalize(select);
    sqlite3_close(db);
    std::printf("sqlite insert    %.0f entries/s (%.2f s, a commit every 1000)\n", n / insertTime, insertTime);
    std::printf("sqlite lookup    %.0f entries/s (%.2f s, %ld found)\n", n / lookupTime, lookupTime, hits);
    std::printf("sqlite file size %llu bytes\n",
                static_cast<unsigned long long>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string path = argc > 2 ? argv[2] : "qvn_tree_bench.QVN";
    std::filesystem::remove(path);
    std::unique_ptr<QvnFile> file;
    if (QvnFile::openPrivate(path, 0x12, {}, &file) != 0) return 1;
    const Workload w = makeWorkload(n);
    auto start = std::chrono::steady_clock::now();
    if (file->beginAccess(true) != 0) return 1;
    for (long i = 0; i < n; ++i) {
        bool existed = false;
        if (file->insert(Entry{w.keys[i] + w.data[i], 12}, &existed) != 0) return 1;
        if ((i + 1) % 1000 == 0 && file->flush() != 0) return 1;
    }
    if (file->flush() != 0) return 1;
    file->endAccess();
    const double insertTime = seconds(start);

    start = std::chrono::steady_clock::now();
    long hits = 0;
    if (file->beginAccess(false) != 0) return 1;
    for (long i = 0; i < n; ++i) {
        Entry e;
        bool found = false;
        if (file->find(w.keys[w.lookups[i]], &e, &found) != 0) return 1;
        hits += found ? 1 : 0;
    }
    file->endAccess();
    const double lookupTime = seconds(start);
    file.reset();

    const FileReport report = examineFile(path, {});
    std::printf("entries          %ld (16 to 200 bytes, 12-byte key parts)\n", n);
    std::printf("insert           %.0f entries/s (%.2f s, a commit every 1000)\n", n / insertTime,
                insertTime);
    std::printf("lookup           %.0f entries/s (%.2f s, %ld found)\n", n / lookupTime, lookupTime, hits);
    std::printf("file size        %llu bytes\n", static_cast<unsigned long long>(report.fileSize));
    std::printf("pages            %llu, tree depth %d\n", static_cast<unsigned long long>(report.pagesInTree),
                report.depth);
    std::printf("check            %s\n", report.problems.empty() ? "sound" : report.problems[0].c_str());
    std::filesystem::remove(path);
    if (!report.problems.empty()) return 1;
    return runSqlite(w, path + ".sqlite");
}
