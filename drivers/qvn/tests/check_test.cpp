// The file check on sound and damaged files, and the driver's behaviour on damaged pages: a
// reported problem or an integrity stop, never a crash.
#include <fstream>
#include <iostream>
#include <map>
#include <random>

#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/tests/qvn_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::string build(const ScratchDir& dir, const std::string& name, int entries) {
    const std::string path = dir.file(name);
    std::unique_ptr<QvnFile> f;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &f), 0);
    EXPECT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < entries; ++i) {
        bool existed = false;
        EXPECT_EQ(
            f->replace(makeEntry("key" + std::to_string(i * 7919 % 10007), std::string(90, 'p')), &existed),
            0);
    }
    if (entries > 0) {
        bool existed = false;
        // The table number is stored little-endian, as the driver writes it.
        Entry tableName{std::string("\xFE") + "MEMOS" + std::string("\x05\x00\x00\x00", 4), 6};
        EXPECT_EQ(f->replace(tableName, &existed), 0);
    }
    EXPECT_EQ(f->flush(), 0);
    f->endAccess();
    return path;
}

void patch(const std::string& path, std::uint64_t offset, const std::string& bytes) {
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(QvnCheck, SoundFileReportsItsContent) {
    ScratchDir dir;
    const std::string path = build(dir, "sound.QVN", 2000);
    const FileReport r = examineFile(path, {});
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(r.entries, 2001u);
    EXPECT_GE(r.depth, 2);
    ASSERT_EQ(r.tables.size(), 1u);
    EXPECT_EQ(r.tables[0], (std::pair<std::string, std::uint32_t>{"MEMOS", 5}));
    EXPECT_FALSE(r.logPending);
    std::uint64_t pages = 0;
    for (auto n : r.pagesPerClass) pages += n;
    EXPECT_EQ(pages, r.pagesInTree);
}

TEST(QvnCheck, FindsDamage) {
    ScratchDir dir;
    const std::string path = build(dir, "damaged.QVN", 2000);
    const FileReport sound = examineFile(path, {});
    const std::uint64_t root = pageAddress(sound.header.root);
    patch(path, root + 1, "\x77"); // the root's own address
    FileReport r = examineFile(path, {});
    EXPECT_FALSE(r.problems.empty());

    const std::string other = build(dir, "ranges.QVN", 2000);
    FileReport h = examineFile(other, {});
    int used = 0;
    for (int c = 1; c <= kMaxClass; ++c)
        if (h.header.end[c] != h.header.first[c]) used = c;
    // A range that claims one page more than the file has.
    std::string end(4, '\0');
    put32(reinterpret_cast<std::uint8_t*>(end.data()), h.header.end[used] + used);
    patch(other, 272 + 4 * used, end);
    EXPECT_FALSE(examineFile(other, {}).problems.empty());

    patch(other, 14, "xxxx");
    r = examineFile(other, {});
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.openError, 36);
}

// The fault number of an integrity stop's message, or 0 when the message has another form.
int faultNumberOf(const std::string& message) {
    const std::string head = "Possible data corruption in file (";
    if (message.rfind(head, 0) != 0 || message.back() != ')') return 0;
    const std::string digits = message.substr(head.size(), message.size() - head.size() - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoi(digits);
}

// Random damage, mostly to the header and the page headers. Each damaged file must end in one of
// the driver's answers: refused with 36 (Invalid Data File), stopped by an integrity stop that
// names its fault number and fails the operation with 36, or read and changed to the end. A file
// that the check finds sound must never stop the driver.
TEST(QvnCheck, DamagedFilesEndInAnErrorCodeOrAFaultNumber) {
    ScratchDir dir;
    const std::string original = build(dir, "orig.QVN", 1500);
    std::ifstream in(original, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Model written;
    {
        std::unique_ptr<QvnFile> f;
        ASSERT_EQ(QvnFile::openPrivate(original, kReadOnlyShared, {}, &f), 0);
        written = readAll(*f);
        ASSERT_EQ(written.size(), 1501u);
    }
    std::mt19937 random(99);
    FaultRecorder faults;
    const std::string path = dir.file("victim.QVN");
    std::map<int, int> refusals; // error code of a refused open or access -> rounds
    std::map<int, int> stops;    // fault number -> rounds that stopped with it
    int readToTheEnd = 0, readChanged = 0, checkFound = 0;
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string damaged = bytes;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = random() % 2
                                       ? random() % 512
                                       : 512 + (random() % (damaged.size() / 256 - 2)) * 256 + random() % 32;
            damaged[at] = static_cast<char>(random());
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
        faults.messages.clear();
        const FileReport report = examineFile(path, {});
        const bool checkSound = report.opened && report.problems.empty();
        if (!checkSound) ++checkFound;
        if (!report.opened) {
            EXPECT_NE(report.openError, 0);
        }
        faults.messages.clear(); // the check's own stops, if any, are not the driver's

        // The driver: open, read every entry, change two and commit.
        int rc = 0;
        std::unique_ptr<QvnFile> f;
        Model seen;
        bool accessed = false;
        if ((rc = QvnFile::openPrivate(path, kReadWriteShared, {}, &f)) == 0 &&
            (rc = f->beginAccess(true)) == 0) {
            accessed = true;
            Entry e;
            bool found = false;
            std::string key;
            for (int steps = 0; steps < 5000; ++steps) {
                if ((rc = f->seekForward(key, !key.empty(), &e, &found)) != 0 || !found) break;
                key = std::string(e.key());
                seen[key] = std::string(e.data());
            }
            bool existed = false;
            if (rc == 0 && (rc = f->replace(makeEntry("key5", "new"), &existed)) == 0 &&
                (rc = f->erase("key77", &existed)) == 0)
                rc = f->flush();
            f->endAccess();
        }

        // What it came to.
        std::vector<int> numbers;
        for (const std::string& m : faults.messages) {
            numbers.push_back(faultNumberOf(m));
            EXPECT_GT(numbers.back(), 0) << "an integrity stop without a fault number: " << m;
        }
        if (!numbers.empty()) {
            EXPECT_EQ(rc, kInvalidDataFile) << "an integrity stop that did not fail the operation";
            ++stops[numbers.front()];
        } else if (rc != 0) {
            // A header that does not decode is refused with 36 without a stop, at the open or when
            // a later access reads it again.
            EXPECT_EQ(rc, kInvalidDataFile) << (accessed ? "after the open" : "at the open");
            ++refusals[rc];
        } else {
            ++readToTheEnd;
        }
        if (checkSound) {
            EXPECT_TRUE(numbers.empty())
                << "the check found the file sound, the driver stopped with " << numbers.front();
        }
        // The format keeps no checksums: a changed byte inside an entry that leaves the order of
        // the keys intact reads without complaint. Such rounds are counted, not failed.
        if (numbers.empty() && accessed && rc == 0 && seen != written) ++readChanged;
    }
    std::string summary = "read to the end " + std::to_string(readToTheEnd) + " (" +
                          std::to_string(readChanged) + " with changed entries); refused:";
    for (const auto& [code, n] : refusals) summary += " " + std::to_string(code) + "x" + std::to_string(n);
    summary += "; stops:";
    for (const auto& [number, n] : stops) summary += " " + std::to_string(number) + "x" + std::to_string(n);
    std::cout << summary << "; check found damage in " << checkFound << "\n";
    // The damage is found, in every way the driver has of saying so.
    EXPECT_GT(checkFound, 50);
    EXPECT_FALSE(refusals.empty());
    EXPECT_GE(stops.size(), 2u);
}

} // namespace
} // namespace docket::drivers::qvn
