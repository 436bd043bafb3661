// qvn info FILE and qvn check FILE: what a native file holds, and whether it is sound.
#include <cstdio>
#include <cstring>
#include <string>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/table_check.h"
#include "drivers/qvn/transactions.h"

namespace docket::qvn_tool {

namespace {

using drivers::qvn::FileReport;

bool parseArguments(int argc, char** argv, std::string* path, std::string* password) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc) {
            *password = argv[++i];
        } else if (path->empty() && argv[i][0] != '-') {
            *path = argv[i];
        } else {
            return false;
        }
    }
    return !path->empty();
}

void printInfo(const FileReport& r) {
    const auto& h = r.header;
    std::printf("file size        %llu bytes\n", static_cast<unsigned long long>(r.fileSize));
    std::printf("change counter   %u\n", h.changeCounter);
    std::printf("last number      %u (0x%08X)\n", h.lastNumber, h.lastNumber);
    std::printf("root page        %u\n", h.root);
    std::printf("log start/end    %u / %u\n", h.logStart, h.logEnd);
    std::printf("commit log       %s\n", r.logPending ? "pending" : "none");
    std::printf("page space end   %llu\n", static_cast<unsigned long long>(drivers::qvn::pageSpaceEnd(h)));
    std::printf("tree depth       %d\n", r.depth);
    std::printf("entries          %llu\n", static_cast<unsigned long long>(r.entries));
    std::printf("pages in tree    %llu\n", static_cast<unsigned long long>(r.pagesInTree));
    std::printf("class  first        end          pages\n");
    for (int c = 1; c <= drivers::qvn::kMaxClass; ++c)
        if (h.end[c] != h.first[c])
            std::printf("%5d  %-12u %-12u %u\n", c, h.first[c], h.end[c], r.pagesPerClass[c]);
    std::printf("tables           %zu\n", r.tables.size());
    for (const auto& [name, number] : r.tables) std::printf("  %-30s %u\n", name.c_str(), number);
}

int usage(const char* command) {
    std::fprintf(stderr, "usage: qvn %s FILE [--password P]\n", command);
    return 2;
}

} // namespace

int runInfo(int argc, char** argv) {
    std::string path, password;
    if (!parseArguments(argc, argv, &path, &password)) return usage("info");
    const FileReport report = drivers::qvn::examineFile(path, password);
    if (!report.opened) {
        for (const auto& p : report.problems)
            std::fprintf(stderr, "qvn info: %s: %s\n", path.c_str(), p.c_str());
        return 1;
    }
    printInfo(report);
    return 0;
}

int runCheck(int argc, char** argv) {
    std::string path, password;
    if (!parseArguments(argc, argv, &path, &password)) return usage("check");
    // A file left with a pending commit log is recovered when it is opened: whether the log is
    // applied depends on the transaction control file, so the question must be in place first.
    drivers::qvn::installTransactionCheck();
    FileReport report = drivers::qvn::examineFile(path, password);
    // The tables are checked on a sound tree only: a damaged one would stop the driver.
    if (report.opened && report.problems.empty()) drivers::qvn::checkTables(path, password, &report.problems);
    for (const auto& p : report.problems) std::printf("%s: %s\n", path.c_str(), p.c_str());
    if (!report.problems.empty()) return 1;
    std::printf("%s: sound (%llu entries in %llu pages, depth %d)\n", path.c_str(),
                static_cast<unsigned long long>(report.entries),
                static_cast<unsigned long long>(report.pagesInTree), report.depth);
    return 0;
}

} // namespace docket::qvn_tool
