// The entry tree through a QvnFile: opening, lookups, splits, deletes, the number counter, and a
// randomized model test against an ordered map with flushes and reopening.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "drivers/qvn/physical_name.h"
#include "drivers/qvn/tests/qvn_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::unique_ptr<QvnFile> openFile(const std::string& path, unsigned mode = kReadWriteShared,
                                  const std::string& password = {}) {
    std::unique_ptr<QvnFile> file;
    EXPECT_EQ(QvnFile::openPrivate(path, mode, password, &file), 0);
    return file;
}

void put(QvnFile& f, const std::string& key, const std::string& data) {
    bool existed = false;
    ASSERT_EQ(f.replace(makeEntry(key, data), &existed), 0);
}

std::string keyOf(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "k%07d", i);
    return text;
}

TEST(QvnOpen, EmptyShortAndForeignFiles) {
    ScratchDir dir;
    { std::ofstream(dir.file("empty.QVN")); }
    std::unique_ptr<QvnFile> file;
    EXPECT_EQ(QvnFile::openPrivate(dir.file("empty.QVN"), kReadWriteShared, {}, &file), 0);
    file.reset();
    { std::ofstream(dir.file("short.QVN")) << std::string(100, 'x'); }
    EXPECT_EQ(QvnFile::openPrivate(dir.file("short.QVN"), kReadWriteShared, {}, &file), 36);
    { std::ofstream(dir.file("foreign.QVN")) << std::string(1024, 'x'); }
    EXPECT_EQ(QvnFile::openPrivate(dir.file("foreign.QVN"), kReadWriteShared, {}, &file), 36);
    EXPECT_EQ(QvnFile::openPrivate(dir.file("missing/x.QVN"), kReadWriteShared, {}, &file), 3);
}

TEST(QvnOpen, OneSharedFilePerPhysicalPath) {
    ScratchDir dir;
    std::shared_ptr<QvnFile> a, b;
    ASSERT_EQ(QvnFile::open(dir.file("Shared.QVN"), kReadWriteShared, {}, &a), 0);
    ASSERT_EQ(QvnFile::open(dir.file("SHARED.qvn"), kReadWriteShared, {}, &b), 0);
    EXPECT_EQ(a.get(), b.get());
    const PhysicalName plain = splitPhysicalName(dir.file("memo"));
    EXPECT_EQ(plain.path, dir.file("memo.QVN"));
    EXPECT_EQ(plain.table, "UNNAMED");
    const PhysicalName named = splitPhysicalName(dir.file("data.db") + "\\!memos");
    EXPECT_EQ(named.path, dir.file("data.db"));
    EXPECT_EQ(named.table, "MEMOS");
}

TEST(QvnTree, FindSeekAndStep) {
    ScratchDir dir;
    auto f = openFile(dir.file("a.QVN"));
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 50; i += 2) put(*f, keyOf(i), "d" + std::to_string(i));
    Entry e;
    bool found = false;
    ASSERT_EQ(f->find(keyOf(10), &e, &found), 0);
    EXPECT_TRUE(found);
    EXPECT_EQ(e.bytes, keyOf(10) + "d10");
    ASSERT_EQ(f->find(keyOf(11), &e, &found), 0);
    EXPECT_FALSE(found);
    ASSERT_EQ(f->seekForward(keyOf(11), false, &e, &found), 0);
    EXPECT_EQ(e.key(), keyOf(12));
    ASSERT_EQ(f->seekForward(keyOf(12), true, &e, &found), 0);
    EXPECT_EQ(e.key(), keyOf(14));
    ASSERT_EQ(f->seekBackward(keyOf(12), true, &e, &found), 0);
    EXPECT_EQ(e.key(), keyOf(10));
    ASSERT_EQ(f->seekBackward(keyOf(0), true, &e, &found), 0);
    EXPECT_FALSE(found);
    // A key that is a prefix of another sorts first.
    put(*f, "k", "short");
    ASSERT_EQ(f->seekForward("k", true, &e, &found), 0);
    EXPECT_EQ(e.key(), keyOf(0));
    bool existed = true;
    EXPECT_EQ(f->insert(makeEntry(keyOf(2), "other"), &existed), 0);
    EXPECT_TRUE(existed);
    ASSERT_EQ(f->find(keyOf(2), &e, &found), 0);
    EXPECT_EQ(e.bytes, keyOf(2) + "d2");
    EXPECT_EQ(f->flush(), 0);
    f->endAccess();
}

// The split rule decides the shape of every stored tree; these are its boundaries.
TEST(QvnTree, SplitRuleBoundaries) {
    // A crowded page: 21 entries or more split from 4,097 bytes of entries on; 20 do not.
    EXPECT_FALSE(EntryTree::needsSplit(20, 4097, false));
    EXPECT_TRUE(EntryTree::needsSplit(21, 4097, false));
    EXPECT_FALSE(EntryTree::needsSplit(21, 4096, false));
    EXPECT_TRUE(EntryTree::needsSplit(200, 9000, false));
    // Otherwise a page splits when its worst-case image (13-byte header, 5 bytes per entry, 4 more
    // per entry of an interior page) would pass the largest page, 15,104 bytes. That comes before
    // the 15,095-byte full size for any page with an entry, so the full size never decides alone.
    EXPECT_FALSE(EntryTree::needsSplit(1, 15104 - 13 - 5, false));
    EXPECT_TRUE(EntryTree::needsSplit(1, 15104 - 13 - 5 + 1, false));
    EXPECT_FALSE(EntryTree::needsSplit(20, 15104 - 13 - 100, false));
    EXPECT_TRUE(EntryTree::needsSplit(20, 15104 - 13 - 100 + 1, false));
    EXPECT_FALSE(EntryTree::needsSplit(2, 15104 - 13 - 18, true));
    EXPECT_TRUE(EntryTree::needsSplit(2, 15104 - 13 - 18 + 1, true));
}

// The number of entries of each leaf, in key order.
void collectLeaves(QvnFile& f, std::uint32_t number, std::vector<std::size_t>* sizes) {
    Page* page = nullptr;
    ASSERT_EQ(f.store().load(number, &page), 0);
    if (page->level == 0) {
        sizes->push_back(page->size());
        return;
    }
    const std::vector<std::uint32_t> children = page->children;
    for (std::uint32_t child : children) collectLeaves(f, child, sizes);
}

std::vector<std::size_t> leafSizes(QvnFile& f) {
    std::vector<std::size_t> sizes;
    EXPECT_EQ(f.beginAccess(false), 0);
    collectLeaves(f, f.header().root, &sizes);
    f.endAccess();
    return sizes;
}

// Entries that come in as a run, each next to the one before, split beside the newest entry, so
// the pages behind the run stay full: 19 of the 21 entries that make a page of 200-byte entries
// split, where the middle would leave 10; a run closed by three entries of another leaves 17.
// Entries in no order split at the middle.
TEST(QvnTree, RunsOfEntriesLeaveFullPagesBehind) {
    ScratchDir dir;
    const std::string data(200, 'r');
    struct Case {
        const char* name;
        std::vector<int> closing; // put in first
        bool descending;
    };
    for (const Case& c :
         {Case{"ascending", {}, false}, Case{"ascending, closed", {90001, 90002, 90003}, false},
          Case{"descending", {}, true}, Case{"descending, closed", {0, 1, 2}, true}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string("run") + (c.descending ? "d" : "a") +
                                          std::to_string(c.closing.size()) + ".QVN");
        auto f = openFile(path);
        ASSERT_EQ(f->beginAccess(true), 0);
        Model model;
        for (int k : c.closing) put(*f, keyOf(k), data), model[keyOf(k)] = data;
        for (int i = 0; i < 3000; ++i) {
            const int k = c.descending ? 80000 - i : 10 + i;
            put(*f, keyOf(k), data);
            model[keyOf(k)] = data;
        }
        ASSERT_EQ(f->flush(), 0);
        f->endAccess();
        std::vector<std::size_t> sizes = leafSizes(*f);
        // Behind the run every leaf keeps what came before the closing entries: all but the
        // newest entry of the 21. Only the run's last leaf (first, descending) is not full.
        if (c.descending) std::reverse(sizes.begin(), sizes.end());
        const std::size_t full = 20 - c.closing.size() - (c.closing.empty() ? 1 : 0);
        std::size_t short_ = 0;
        for (std::size_t i = 0; i + 1 < sizes.size(); ++i) short_ += sizes[i] < full;
        EXPECT_EQ(short_, 0u);
        EXPECT_LE(sizes.size(), 3000 / full + 2);
        int depth = 0;
        ASSERT_EQ(f->beginAccess(false), 0);
        ASSERT_EQ(f->tree().depth(&depth), 0);
        f->endAccess();
        EXPECT_LE(depth, 3); // a middle split makes it 4
        EXPECT_EQ(readAll(*f), model);
        f.reset();
        expectClean(path);
    }

    // In no order: the format's middle split; every leaf but the first and last holds 10 or more.
    const std::string path = dir.file("shuffled.QVN");
    auto f = openFile(path);
    std::vector<int> order(3000);
    for (int i = 0; i < 3000; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(4));
    ASSERT_EQ(f->beginAccess(true), 0);
    Model model;
    for (int k : order) put(*f, keyOf(k), data), model[keyOf(k)] = data;
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    const std::vector<std::size_t> sizes = leafSizes(*f);
    std::size_t under = 0;
    for (std::size_t i = 1; i + 1 < sizes.size(); ++i) under += sizes[i] < 10;
    EXPECT_LE(under, sizes.size() / 20);
    EXPECT_EQ(readAll(*f), model);
    f.reset();
    expectClean(path);
}

TEST(QvnTree, SplitsKeepTheRootNumberAndDeletesShrinkTheFile) {
    ScratchDir dir;
    const std::string path = dir.file("split.QVN");
    auto f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    put(*f, keyOf(0), std::string(100, 'x'));
    const std::uint32_t root = f->header().root;
    for (int i = 1; i < 3000; ++i) put(*f, keyOf(i), std::string(100, static_cast<char>('a' + i % 26)));
    EXPECT_EQ(f->header().root, root);
    int depth = 0;
    ASSERT_EQ(f->tree().depth(&depth), 0);
    EXPECT_GE(depth, 2);
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    f.reset();
    expectClean(path);
    const auto grown = std::filesystem::file_size(path);

    f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    std::mt19937 random(2);
    std::vector<int> order(3000);
    for (int i = 0; i < 3000; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (std::size_t n = 0; n < order.size(); ++n) {
        bool existed = false;
        ASSERT_EQ(f->erase(keyOf(order[n]), &existed), 0);
        ASSERT_TRUE(existed);
        if (n % 500 == 0) {
            ASSERT_EQ(f->flush(), 0);
        }
    }
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    EXPECT_TRUE(readAll(*f).empty());
    f.reset();
    expectClean(path);
    EXPECT_LE(std::filesystem::file_size(path), 512u + 256u);
    EXPECT_LT(std::filesystem::file_size(path), grown);
}

TEST(QvnTree, DeletingInteriorEntries) {
    ScratchDir dir;
    const std::string path = dir.file("interior.QVN");
    auto f = openFile(path);
    Model model;
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 4000; ++i) {
        put(*f, keyOf(i), std::string(60, 'v'));
        model[keyOf(i)] = std::string(60, 'v');
    }
    ASSERT_EQ(f->flush(), 0);
    // Delete every entry that sits in the root until the root is a leaf again.
    for (int round = 0; round < 200; ++round) {
        Page* root = nullptr;
        ASSERT_EQ(f->store().load(f->header().root, &root), 0);
        if (root->level == 0) break;
        const std::string key(root->keyAt(root->size() - 1));
        bool existed = false;
        ASSERT_EQ(f->erase(key, &existed), 0);
        ASSERT_TRUE(existed);
        model.erase(key);
    }
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    EXPECT_EQ(readAll(*f), model);
    f.reset();
    expectClean(path);
}

TEST(QvnTree, LargeEntriesSplitIntoEmptyPagesSafely) {
    ScratchDir dir;
    const std::string path = dir.file("large.QVN");
    auto f = openFile(path);
    Model model;
    std::mt19937 random(8);
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 400; ++i) {
        const std::string key = keyOf(static_cast<int>(random() % 300));
        if (random() % 3 == 0) {
            bool existed = false;
            ASSERT_EQ(f->erase(key, &existed), 0);
            model.erase(key);
        } else {
            const std::size_t length =
                random() % 2 ? 7000 + random() % (kMaxEntryLength - 7000 - key.size()) : random() % 3000;
            std::string data(length, '\0');
            for (auto& c : data) c = static_cast<char>(random());
            put(*f, key, data);
            model[key] = data;
        }
        if (i % 37 == 0) {
            ASSERT_EQ(f->flush(), 0);
        }
    }
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    EXPECT_EQ(readAll(*f), model);
    f.reset();
    expectClean(path);
}

TEST(QvnTree, NumberCounterIsBigEndianAndStopsBeforeTheNameArea) {
    ScratchDir dir;
    const std::string path = dir.file("counter.QVN");
    auto f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    std::uint32_t n = 0;
    ASSERT_EQ(f->nextNumber(&n), 0);
    EXPECT_EQ(n, 1u);
    f->store().header().lastNumber = 0xFDFFFFFD;
    ASSERT_EQ(f->nextNumber(&n), 0);
    EXPECT_EQ(n, 0xFDFFFFFEu);
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    f.reset();
    std::ifstream in(path, std::ios::binary);
    char bytes[24];
    in.read(bytes, 24);
    EXPECT_EQ(std::string(bytes + 20, 4), std::string("\xFD\xFF\xFF\xFE", 4));

    f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    ASSERT_EQ(f->nextNumber(&n), 0);
    EXPECT_EQ(n, 0xFDFFFFFFu);
    FaultRecorder faults;
    EXPECT_EQ(f->nextNumber(&n), 36);
    ASSERT_EQ(faults.messages.size(), 1u);
    EXPECT_EQ(faults.messages[0], "Possible data corruption in file (1173)");
    f->endAccess();
}

TEST(QvnTree, ChangesNeedAWriteAccess) {
    ScratchDir dir;
    auto f = openFile(dir.file("access.QVN"));
    FaultRecorder faults;
    bool existed = false;
    EXPECT_EQ(f->insert(makeEntry("a", "b"), &existed), 36);
    EXPECT_EQ(f->erase("a", &existed), 36);
    std::uint32_t n = 0;
    EXPECT_EQ(f->nextNumber(&n), 36);
    EXPECT_EQ(faults.messages, (std::vector<std::string>{"Possible data corruption in file (231)",
                                                         "Possible data corruption in file (1203)",
                                                         "Possible data corruption in file (1163)"}));
    // The box that shows an integrity stop names the driver.
    EXPECT_EQ(faults.captions, std::vector<std::string>(3, "Quorvane File Driver Error"));
    auto reader = openFile(dir.file("access.QVN"), kReadOnlyShared);
    EXPECT_EQ(reader->beginAccess(true), 5);
}

TEST(QvnTree, ScrambledFileNeedsItsPassword) {
    ScratchDir dir;
    const std::string path = dir.file("secret.QVN");
    auto f = openFile(path, kReadWriteShared, "owner");
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 300; ++i) put(*f, keyOf(i), "plain text value");
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    f.reset();
    std::ifstream in(path, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(raw.find("qUoR"), std::string::npos);
    EXPECT_EQ(raw.find("plain text"), std::string::npos);
    std::unique_ptr<QvnFile> wrong;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadWriteShared, "other", &wrong), 36);
    f = openFile(path, kReadWriteShared, "owner");
    EXPECT_EQ(readAll(*f).size(), 300u);
    f.reset();
    expectClean(path, "owner");
}

TEST(QvnTree, CacheStaysWithinItsCapBetweenOperations) {
    ScratchDir dir;
    auto f = openFile(dir.file("cache.QVN"));
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 20000; ++i) put(*f, keyOf(i), std::string(150, 'c'));
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    std::mt19937 random(4);
    for (int i = 0; i < 3000; ++i) {
        Entry e;
        bool found = false;
        ASSERT_EQ(f->find(keyOf(static_cast<int>(random() % 20000)), &e, &found), 0);
        ASSERT_TRUE(found);
        ASSERT_LT(f->store().held(), PageStore::defaultHoldBelow());
    }
    EXPECT_GE(f->store().held(), PageStore::kKeepAtLeast);
}

// Millions of operations in a long run: DOCKET_QVN_MODEL_OPS sets the count (a few hundred
// thousand by default, so the suite stays quick).
// Unchanged pages are searched by eight-byte heads after the prefix their keys share; ties, keys
// that are prefixes of others, zero bytes that look like padding, and keys that differ only past
// the eight bytes must all land where a plain search lands, on clean pages and changed ones.
TEST(QvnTree, SearchesOfUnchangedPagesAgreeWithTheOrderOfKeys) {
    ScratchDir dir;
    const std::string path = dir.file("heads.QVN");
    Model model;
    std::vector<std::string> probes;
    {
        auto f = openFile(path);
        ASSERT_EQ(f->beginAccess(true), 0);
        for (int i = 0; i < 3000; ++i) {
            const std::string n = std::to_string(i % 700);
            // Shared prefixes of several lengths, zero bytes, and a tail past the eight bytes.
            std::string key =
                std::string("P\x01", 2) + std::string(static_cast<std::size_t>(i % 3), '\0') + n;
            if (i % 5 == 1) key += std::string(9, 'x') + std::to_string(i);
            if (i % 7 == 2) key.push_back('\0');
            put(*f, key, "v" + std::to_string(i));
            model[key] = "v" + std::to_string(i);
        }
        ASSERT_EQ(f->flush(), 0);
        f->endAccess();
    }
    for (const auto& [key, data] : model) {
        probes.push_back(key);
        probes.push_back(key + std::string(1, '\0'));
        probes.push_back(key.substr(0, key.size() - 1));
        probes.push_back(key.substr(0, 3));
    }
    probes.push_back("P");
    probes.push_back("Q");
    probes.push_back(std::string("P\x01\xff", 3));
    auto check = [&](QvnFile& f) {
        ASSERT_EQ(f.beginAccess(false), 0);
        for (std::size_t i = 0; i < probes.size(); ++i) {
            const std::string& probe = probes[i];
            Entry e;
            bool found = false;
            ASSERT_EQ(f.find(probe, &e, &found), 0);
            ASSERT_EQ(found, model.count(probe) == 1) << probe;
            // Going down towards another key meanwhile changes nothing of the answer.
            const std::string& along = probes[(i * 7919) % probes.size()];
            e = Entry{};
            ASSERT_EQ(f.find(probe, along, &e, &found), 0);
            ASSERT_EQ(found, model.count(probe) == 1) << probe << " along " << along;
            if (found) {
                ASSERT_EQ(e.key(), probe);
                ASSERT_EQ(e.data(), model[probe]);
            }
            for (const bool strict : {false, true}) {
                ASSERT_EQ(f.seekForward(probe, strict, &e, &found), 0);
                auto after = strict ? model.upper_bound(probe) : model.lower_bound(probe);
                ASSERT_EQ(found, after != model.end()) << probe;
                if (found) {
                    ASSERT_EQ(e.key(), after->first) << probe;
                }
                ASSERT_EQ(f.seekBackward(probe, strict, &e, &found), 0);
                auto before = strict ? model.lower_bound(probe) : model.upper_bound(probe);
                ASSERT_EQ(found, before != model.begin()) << probe;
                if (found) {
                    ASSERT_EQ(e.key(), std::prev(before)->first) << probe;
                }
            }
        }
        f.endAccess();
    };
    auto f = openFile(path);
    check(*f); // pages read from the file
    ASSERT_GT(f->store().held(), 3u);
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 3000; i += 3) {
        const std::string key = std::string("P\x01", 2) + std::to_string(i) + "y";
        put(*f, key, "w");
        model[key] = "w";
    }
    f->endAccess(); // changed pages, searched without their heads
    check(*f);
    ASSERT_EQ(f->beginAccess(true), 0);
    ASSERT_EQ(f->flush(), 0); // committed pages get their heads again
    f->endAccess();
    check(*f);
}

TEST(QvnTree, GoingTowardsASecondKeyReadsNothingForIt) {
    ScratchDir dir;
    const std::string path = dir.file("along.QVN");
    {
        auto f = openFile(path);
        ASSERT_EQ(f->beginAccess(true), 0);
        for (int i = 0; i < 6000; ++i) {
            put(*f, "a" + keyOf(i), std::string(100, 'a'));
            put(*f, "z" + keyOf(i), std::string(100, 'z'));
        }
        ASSERT_EQ(f->flush(), 0);
        f->endAccess();
    }
    auto f = openFile(path);
    ASSERT_EQ(f->beginAccess(false), 0);
    Entry e;
    bool found = false;
    ASSERT_EQ(f->find("a" + keyOf(10), &e, &found), 0);
    ASSERT_TRUE(found);
    const std::size_t held = f->store().held();
    // The way towards the second key is not known yet: nothing is read for it.
    ASSERT_EQ(f->find("a" + keyOf(10), "z" + keyOf(10), &e, &found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(f->store().held(), held);
    // Once known, it is gone down along; the answers are the first key's.
    ASSERT_EQ(f->find("z" + keyOf(10), &e, &found), 0);
    ASSERT_TRUE(found);
    ASSERT_GT(f->store().held(), held);
    ASSERT_EQ(f->find("a" + keyOf(5999), "z" + keyOf(11), &e, &found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(e.key(), "a" + keyOf(5999));
    ASSERT_EQ(f->find("a" + keyOf(6000), "z" + keyOf(11), &e, &found), 0);
    EXPECT_FALSE(found);
    f->endAccess();
}

// A page keeps the heads of up to Page::kInline entries, and an interior page the pages below
// it, in arrays of its own and more in vectors: leaves and interior pages on both sides of that
// count answer every search from the file, and again after other pages left the cache.
TEST(QvnTree, PagesOfEveryCountAroundTheInlineHeadsAnswerSearches) {
    ScratchDir dir;
    const std::string path = dir.file("inline.QVN");
    Model model;
    std::mt19937 random(7);
    {
        auto f = openFile(path);
        ASSERT_EQ(f->beginAccess(true), 0);
        // Entries of about 4,097 / 33 bytes: pages of 16 to 33 entries.
        for (int i = 0; i < 6000; ++i) {
            const std::string key = keyOf(static_cast<int>(random() % 100000) * 2);
            const std::string data(100 + random() % 30, 'd');
            put(*f, key, data);
            model[key] = data;
        }
        ASSERT_EQ(f->flush(), 0);
        f->endAccess();
    }
    auto f = openFile(path);
    std::set<std::size_t> counts;
    ASSERT_EQ(f->beginAccess(false), 0);
    std::vector<std::uint32_t> pending{f->header().root};
    bool interiorAbove = false;
    while (!pending.empty()) {
        Page* page = nullptr;
        ASSERT_EQ(f->store().load(pending.back(), &page), 0);
        pending.pop_back();
        counts.insert(page->size());
        if (page->level != 0) {
            interiorAbove = interiorAbove || page->size() > Page::kInline;
            pending.insert(pending.end(), page->children.begin(), page->children.end());
        }
    }
    f->endAccess();
    ASSERT_TRUE(counts.count(Page::kInline) && counts.count(Page::kInline + 1) &&
                counts.count(Page::kInline - 1));
    ASSERT_TRUE(interiorAbove);
    auto check = [&] {
        ASSERT_EQ(f->beginAccess(false), 0);
        for (const auto& [key, data] : model) {
            Entry e;
            bool found = false;
            ASSERT_EQ(f->find(key, &e, &found), 0);
            ASSERT_TRUE(found) << key;
            ASSERT_EQ(e.data(), data);
            // The odd number just past the key lies between two keys.
            std::string past = key;
            ++past.back();
            ASSERT_EQ(f->find(past, &e, &found), 0);
            ASSERT_FALSE(found) << past;
            ASSERT_EQ(f->seekForward(past, false, &e, &found), 0);
            auto after = model.upper_bound(key);
            ASSERT_EQ(found, after != model.end());
            if (found) {
                ASSERT_EQ(e.key(), after->first);
            }
        }
        f->endAccess();
    };
    check();
    // A small cache drops pages between accesses: pages below known before must be looked up anew.
    f->store().setCacheBounds(std::size_t{1} << 20, 100);
    for (int round = 0; round < 3; ++round) check();
}

// A walk that steps from its leaf hint must see what a search from the root sees: entries this
// station adds between two steps, another station's commit, and pages dropped from the cache.
TEST(QvnTree, StepsFromALeafHintSeeEveryChangeBetweenThem) {
    ScratchDir dir;
    const std::string path = dir.file("hint.QVN");
    auto f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 4000; i += 2) put(*f, keyOf(i), std::string(40, 'h'));
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();

    LeafHint hint;
    Entry e;
    bool found = false;
    auto step = [&](const std::string& from, bool strict) {
        found = false;
        EXPECT_EQ(f->seekForward(from, strict, &hint, &e, &found), 0);
        return found ? std::string(e.key()) : std::string();
    };
    std::vector<std::string> walked;
    for (std::string at = step(keyOf(0), false); !at.empty(); at = step(at, true)) walked.push_back(at);
    ASSERT_EQ(walked.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(walked[i], keyOf(2 * i));

    // This station adds the entry right after the one stood on.
    EXPECT_EQ(step(keyOf(100), false), keyOf(100));
    ASSERT_EQ(f->beginAccess(true), 0);
    put(*f, keyOf(101), "new");
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();
    EXPECT_EQ(step(keyOf(100), true), keyOf(101));

    // Another station commits one in between.
    EXPECT_EQ(step(keyOf(200), false), keyOf(200));
    {
        auto other = openFile(path);
        ASSERT_EQ(other->beginAccess(true), 0);
        put(*other, keyOf(201), "theirs");
        ASSERT_EQ(other->flush(), 0);
        other->endAccess();
    }
    EXPECT_EQ(step(keyOf(200), true), keyOf(201));

    // The pages are dropped between two steps (a cache of one byte keeps only the minimum).
    EXPECT_EQ(step(keyOf(300), false), keyOf(300));
    f->store().setCacheBounds(1, PageStore::defaultHoldBelow());
    ASSERT_EQ(f->beginAccess(false), 0);
    for (int i = 3000; i < 4000; i += 2) {
        bool any = false;
        ASSERT_EQ(f->find(keyOf(i), &e, &any), 0);
    }
    f->endAccess();
    EXPECT_EQ(step(keyOf(300), true), keyOf(302));
}

TEST(QvnTree, RandomOperationsAgainstAnOrderedMap) {
    long operations = 200000;
    if (const char* text = std::getenv("DOCKET_QVN_MODEL_OPS")) operations = std::atol(text);
    ScratchDir dir;
    const std::string path = dir.file("model.QVN");
    Model model;
    std::mt19937_64 random(12345);
    auto f = openFile(path);
    ASSERT_EQ(f->beginAccess(true), 0);
    long untilFlush = 1 + static_cast<long>(random() % 2000);
    int flushes = 0;
    for (long op = 0; op < operations; ++op) {
        // Keys with shared prefixes and runs, so both compressions are exercised.
        const std::uint64_t pick = random() % 40000;
        std::string key = "T" + std::string(pick % 5, '\0') + std::to_string(pick);
        const int what = static_cast<int>(random() % 10);
        bool existed = false;
        if (what < 5) {
            std::string data(16 + random() % 185 - key.size() % 16, ' ');
            for (std::size_t i = 0; i < data.size() / 3; ++i)
                data[random() % data.size()] = static_cast<char>(random());
            ASSERT_EQ(f->replace(makeEntry(key, data), &existed), 0);
            ASSERT_EQ(existed, model.count(key) == 1);
            model[key] = data;
        } else if (what < 8) {
            ASSERT_EQ(f->erase(key, &existed), 0);
            ASSERT_EQ(existed, model.erase(key) == 1);
        } else {
            Entry e;
            bool found = false;
            ASSERT_EQ(f->seekForward(key, what == 9, &e, &found), 0);
            auto it = what == 9 ? model.upper_bound(key) : model.lower_bound(key);
            ASSERT_EQ(found, it != model.end());
            if (found) {
                ASSERT_EQ(e.bytes, it->first + it->second);
            }
        }
        if (--untilFlush == 0 || op + 1 == operations) {
            // The full size a changed page keeps between changes is the sum of its entries.
            for (const Page* page : f->store().changedPages()) {
                std::size_t sum = 0;
                for (std::size_t i = 0; i < page->size(); ++i) sum += page->bytesAt(i).size();
                ASSERT_EQ(page->fullSize(), sum) << "page " << page->number;
            }
            ASSERT_EQ(f->flush(), 0);
            f->endAccess();
            untilFlush = 1 + static_cast<long>(random() % 2000);
            if (++flushes % 15 == 0 || op + 1 == operations) {
                f.reset();
                expectClean(path);
                f = openFile(path);
                ASSERT_EQ(readAll(*f), model);
                ASSERT_EQ(walkAll(*f), model);
            }
            ASSERT_EQ(f->beginAccess(true), 0);
        }
    }
    f->endAccess();
}

} // namespace
} // namespace docket::drivers::qvn
