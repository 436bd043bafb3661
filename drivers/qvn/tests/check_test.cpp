// The file check on sound and damaged files, and the driver's behaviour on damaged pages: a
// reported problem or an integrity stop, never a crash.
#include <fstream>
#include <random>

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

TEST(QvnCheck, DamagedFilesNeverCrashTheDriverOrTheCheck) {
    ScratchDir dir;
    const std::string original = build(dir, "orig.QVN", 1500);
    std::ifstream in(original, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::mt19937 random(99);
    FaultRecorder faults;
    const std::string path = dir.file("victim.QVN");
    for (int round = 0; round < 150; ++round) {
        std::string damaged = bytes;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly the header and page headers, where damage hurts most.
            const std::size_t at = random() % 2
                                       ? random() % 512
                                       : 512 + (random() % (damaged.size() / 256 - 2)) * 256 + random() % 32;
            damaged[at] = static_cast<char>(random());
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
        examineFile(path, {});
        std::unique_ptr<QvnFile> f;
        if (QvnFile::openPrivate(path, kReadWriteShared, {}, &f) != 0) continue;
        if (f->beginAccess(true) != 0) continue;
        Entry e;
        bool found = false;
        std::string key;
        for (int steps = 0; steps < 5000 && f->seekForward(key, !key.empty(), &e, &found) == 0 && found;
             ++steps)
            key = std::string(e.key());
        bool existed = false;
        if (f->replace(makeEntry("key5", "new"), &existed) == 0 && f->erase("key77", &existed) == 0)
            f->flush();
        f->endAccess();
    }
}

} // namespace
} // namespace docket::drivers::qvn
