// The native file's entry tree: inserting and then looking up N random entries of 16 to 200
// bytes (key parts of 12 bytes), committing every 1000 inserts as a batch of changes would.
// Prints entries per second, the file size and its pages.
// Run: build/bench/qvn_tree_bench [N] [FILE]   (N defaults to 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

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

} // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string path = argc > 2 ? argv[2] : "qvn_tree_bench.QVN";
    std::filesystem::remove(path);
    std::unique_ptr<QvnFile> file;
    if (QvnFile::openPrivate(path, 0x12, {}, &file) != 0) return 1;
    std::mt19937_64 random(1);
    auto start = std::chrono::steady_clock::now();
    if (file->beginAccess(true) != 0) return 1;
    for (long i = 0; i < n; ++i) {
        const std::string key = keyFor(static_cast<std::uint64_t>(i));
        const std::size_t total = 16 + random() % 185;
        std::string data(total - key.size(), ' ');
        for (std::size_t j = 0; j < data.size() / 2; ++j) data[j] = static_cast<char>('A' + random() % 26);
        bool existed = false;
        if (file->insert(Entry{key + data, 12}, &existed) != 0) return 1;
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
        if (file->find(keyFor(static_cast<std::uint64_t>(random() % n)), &e, &found) != 0) return 1;
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
    return report.problems.empty() ? 0 : 1;
}
