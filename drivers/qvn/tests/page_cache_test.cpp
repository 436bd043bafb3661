// The page cache and the commit's page images: changed pages are never dropped, unchanged ones go
// least recently used first within the bounds, another station's commit empties the cache, the
// images written after pages moved equal fresh encodings, and decoding reuses storage safely.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string_view>

#include "drivers/qvn/tests/qvn_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::string keyOf(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "c%07d", i);
    return text;
}

std::unique_ptr<QvnFile> openFile(const std::string& path) {
    std::unique_ptr<QvnFile> file;
    EXPECT_EQ(QvnFile::openPrivate(path, kReadWriteShared, {}, &file), 0);
    return file;
}

// A committed file of `count` entries of `size` data bytes; the model gets them too.
std::unique_ptr<QvnFile> filledFile(const std::string& path, int count, std::size_t size, Model* model) {
    auto f = openFile(path);
    EXPECT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < count; ++i) {
        const std::string data(size, static_cast<char>('a' + i % 26));
        bool existed = false;
        EXPECT_EQ(f->replace(makeEntry(keyOf(i), data), &existed), 0);
        if (model) (*model)[keyOf(i)] = data;
    }
    EXPECT_EQ(f->flush(), 0);
    f->endAccess();
    return f;
}

// Every page of the tree, parents before children.
// The file's pages, or with `level` only those of that level (0: the leaves).
std::vector<std::uint32_t> pageNumbers(QvnFile& f, int level = -1) {
    std::vector<std::uint32_t> numbers;
    EXPECT_EQ(f.beginAccess(false), 0);
    std::vector<std::uint32_t> pending{f.header().root};
    while (!pending.empty()) {
        const std::uint32_t number = pending.back();
        pending.pop_back();
        Page* page = nullptr;
        EXPECT_EQ(f.store().load(number, &page), 0);
        if (page == nullptr) break;
        if (level < 0 || page->level == level) numbers.push_back(number);
        pending.insert(pending.end(), page->children.begin(), page->children.end());
    }
    f.endAccess();
    return numbers;
}

// Counts the pages moved in the page space (each move asks for the page's parent); every page is
// its own root here.
struct MoveCounter : ParentLocator {
    int moves = 0;
    int locateParent(Page*, Page** parent, std::size_t*) override {
        ++moves;
        *parent = nullptr;
        return 0;
    }
};

// Places every page made since the last commit in the class it was made for.
int placeAll(PageStore& store) {
    return store.placeNewPages([](const Page* page) { return page->pageClass; });
}

// The pages of classes 1 to 15, placed and packed; the larger classes hold few pages, as in a file
// of records (a range of few pages moves whole).
void fillClasses(PageStore& store, std::vector<Page*>* ofClass4 = nullptr) {
    for (int c = 1; c <= 15; ++c)
        for (int i = 0; i < (c <= 4 ? 100 : 2); ++i) {
            Page* page = nullptr;
            ASSERT_EQ(store.create(0, c, &page), 0);
            if (c == 4 && ofClass4 != nullptr) ofClass4->push_back(page);
        }
    ASSERT_EQ(placeAll(store), 0);
    ASSERT_EQ(store.closeGaps(), 0);
}

// Every page has a place of its own class, in whole ranges ordered by class, with at most the
// gap that closeGaps keeps below each.
void expectPacked(PageStore& store, int classes) {
    const FileHeader& h = store.header();
    std::map<int, std::vector<std::uint32_t>> places;
    for (Page* page : store.changedPages()) {
        ASSERT_TRUE(page->placed()) << page->number;
        places[page->pageClass].push_back(page->number);
    }
    std::uint32_t below = 0;
    for (int c = 1; c <= classes; ++c) {
        const std::vector<std::uint32_t>& numbers = places[c];
        ASSERT_EQ(h.end[c] - h.first[c], numbers.size() * c) << "class " << c;
        EXPECT_GE(h.first[c], below) << "class " << c;
        // What is left of the room is at most two pages of the class (or a sixteenth of its range).
        EXPECT_LE(h.first[c] - below, std::max<std::uint32_t>(2, numbers.size() / 16) * c) << "class " << c;
        for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], h.first[c] + i * c);
        below = h.end[c];
    }
}

// A page store without a file, whose moves are counted.
class QvnPageSpace : public ::testing::Test {
protected:
    QvnPageSpace() { store.setLocator(&counter); }
    BlockIo io;
    PageStore store{io};
    MoveCounter counter;
};

// New pages get their places at the commit, a class at a time: the ranges above a class are
// shifted once for all of its new pages, and no range is moved after it got its new pages.
TEST_F(QvnPageSpace, NewPagesArePlacedAtTheCommitAClassAtATime) {
    fillClasses(store);
    counter.moves = 0;
    for (int i = 0; i < 300; ++i) {
        Page* page = nullptr;
        ASSERT_EQ(store.create(0, i % 3 == 0 ? 2 : 4, &page), 0);
        EXPECT_FALSE(page->placed());
    }
    EXPECT_EQ(counter.moves, 0); // nothing is placed, so nothing moves, before the commit
    ASSERT_EQ(placeAll(store), 0);
    // Class 2's 100 pages shift ranges 3 and 4 by 200 units (67 and 50 of their pages) and ranges
    // 5 to 15 whole (22); class 4's 200 shift ranges 5 to 15 whole once more: 162 moves in all.
    EXPECT_LE(counter.moves, 165);
    ASSERT_EQ(store.closeGaps(), 0);
    expectPacked(store, 15);
}

// The references to a new page (its parent's child number, the header's root) are given its place.
TEST_F(QvnPageSpace, PlacingNewPagesPutsTheirPlacesIntoTheirParents) {
    fillClasses(store);
    Page* root = nullptr;
    Page* left = nullptr;
    Page* right = nullptr;
    // Classes above the others, so that no page moves (the counting locator would take each
    // moved page for the root).
    ASSERT_EQ(store.create(1, 17, &root), 0);
    ASSERT_EQ(store.create(0, 16, &left), 0);
    ASSERT_EQ(store.create(0, 20, &right), 0);
    root->children = {left->number, right->number, 7};
    store.header().root = root->number;
    ASSERT_TRUE(store.hasPages());
    ASSERT_EQ(placeAll(store), 0);
    EXPECT_TRUE(root->placed() && left->placed() && right->placed());
    EXPECT_EQ(store.header().root, root->number);
    EXPECT_EQ(root->children, (std::vector<std::uint32_t>{left->number, right->number, 7}));
    EXPECT_EQ(classOfNumber(store.header(), left->number), 16);
    EXPECT_EQ(classOfNumber(store.header(), right->number), 20);

    // A reference to a new page that is not held any more is a fault, not a wrong number.
    Page* orphanParent = nullptr;
    Page* gone = nullptr;
    ASSERT_EQ(store.create(1, 21, &orphanParent), 0);
    ASSERT_EQ(store.create(0, 21, &gone), 0);
    orphanParent->children = {gone->number};
    ASSERT_EQ(store.release({gone}), 0);
    FaultRecorder faults;
    EXPECT_EQ(placeAll(store), 36);
    EXPECT_EQ(faults.messages.size(), 1u);
}

// A run of placed pages moving up into one class in one commit (a large change growing its
// leaves) shifts the eleven larger classes' ranges of few pages now and then, not for every page.
TEST_F(QvnPageSpace, ARunOfPagesMovingIntoAClassShiftsTheLargerClassesRarely) {
    std::vector<Page*> small;
    fillClasses(store);
    for (int i = 0; i < 300; ++i) {
        Page* page = nullptr;
        ASSERT_EQ(store.create(0, 3, &page), 0);
        small.push_back(page);
    }
    ASSERT_EQ(placeAll(store), 0);
    ASSERT_EQ(store.closeGaps(), 0);
    counter.moves = 0;
    for (Page* page : small) ASSERT_EQ(store.relocate(page, 4), 0);
    // A page of each larger range for every page would be about 1800 moves (each relocation also
    // moves the last page of class 3 into the place left).
    EXPECT_LT(counter.moves, 700);
    ASSERT_EQ(store.closeGaps(), 0);
    expectPacked(store, 15);
}

// One page a commit changing class, as a durable add's leaves do: the gap its old place leaves is
// kept for the class above to grow into, instead of being closed at the commit and opened again
// by shifting every larger range at the next one.
TEST_F(QvnPageSpace, CommitsOfOnePageMovingUpAClassShiftLittle) {
    std::vector<Page*> small;
    fillClasses(store, &small);
    counter.moves = 0;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(store.relocate(small[static_cast<std::size_t>(i)], 5), 0);
        ASSERT_EQ(store.closeGaps(), 0);
    }
    // Closing every gap at each commit took 489 moves; keeping them takes 146.
    EXPECT_LT(counter.moves, 250);
    const FileHeader& h = store.header();
    EXPECT_EQ(h.end[4] - h.first[4], 50u * 4);
    EXPECT_EQ(h.end[5] - h.first[5], 52u * 5);
    for (int c = 2; c <= 15; ++c) EXPECT_GE(h.first[c], h.end[c - 1]) << "class " << c;
}

// A closed file leaves its pages to the next one opened, which decodes its own pages into them.
TEST(QvnCache, AFileOpenedAfterAnotherClosedReadsItsOwnPages) {
    ScratchDir dir;
    Model first, second;
    filledFile(dir.file("first.QVN"), 2000, 120, &first).reset();
    filledFile(dir.file("second.QVN"), 1500, 40, &second).reset();
    for (int round = 0; round < 3; ++round) {
        for (const auto& [name, model] : {std::pair{"first.QVN", &first}, std::pair{"second.QVN", &second}}) {
            auto f = openFile(dir.file(name));
            EXPECT_EQ(readAll(*f), *model) << name << " round " << round;
        }
    }
}

// A number past every place is a new page's: one not held is not read from the file.
TEST(QvnCache, ANumberPastEveryPlaceIsNeverRead) {
    BlockIo io;
    PageStore store(io);
    FaultRecorder faults;
    Page* page = nullptr;
    EXPECT_EQ(store.load(kFirstUnplaced + 3, &page), 36);
    EXPECT_EQ(page, nullptr);
    EXPECT_EQ(faults.messages.size(), 1u);
}

TEST(QvnCache, ChangedPagesAreListedInOrderAndNeverDropped) {
    ScratchDir dir;
    const std::string path = dir.file("dirty.QVN");
    Model model;
    auto f = filledFile(path, 3000, 150, &model);
    // A budget of one byte: every unchanged page beyond the minimum goes at the end of an access.
    f->store().setCacheBounds(1, PageStore::defaultHoldBelow());
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 3000; i += 10) {
        const std::string data(90 + i % 120, 'z');
        bool existed = false;
        ASSERT_EQ(f->replace(makeEntry(keyOf(i), data), &existed), 0);
        model[keyOf(i)] = data;
    }
    const std::vector<Page*> changed = f->store().changedPages();
    ASSERT_GT(changed.size(), PageStore::kKeepAtLeast);
    EXPECT_EQ(changed.size(), f->store().changedCount());
    for (std::size_t i = 0; i < changed.size(); ++i) {
        EXPECT_TRUE(changed[i]->dirty());
        if (i > 0) {
            EXPECT_LT(changed[i - 1]->number, changed[i]->number);
        }
    }
    // The access ends without a commit (as a batch's does): the unchanged pages shrink to the
    // minimum, the changed ones all stay.
    f->endAccess();
    EXPECT_LE(f->store().heldClean(), PageStore::kKeepAtLeast);
    EXPECT_EQ(f->store().changedCount(), changed.size());
    for (const Page* page : changed) EXPECT_TRUE(f->store().holds(page->number));

    ASSERT_EQ(f->beginAccess(true), 0);
    ASSERT_EQ(f->flush(), 0);
    EXPECT_FALSE(f->store().hasChanges());
    EXPECT_EQ(f->store().changedCount(), 0u);
    EXPECT_TRUE(f->store().changedPages().empty());
    // The committed pages beyond the bounds went with the commit, the last changed stayed.
    EXPECT_LE(f->store().held(), PageStore::kKeepAtLeast);
    for (int i = 3000 - 10; i >= 0; i -= 10) {
        Entry e;
        bool found = false;
        ASSERT_EQ(f->find(keyOf(i), &e, &found), 0);
        ASSERT_TRUE(found);
        EXPECT_EQ(e.data(), model[keyOf(i)]);
    }
    f->endAccess();
    EXPECT_LE(f->store().held(), PageStore::kKeepAtLeast);
    f.reset();
    EXPECT_EQ(readAll(*openFile(path)), model);
    expectClean(path);
}

TEST(QvnCache, TheLeastRecentlyUsedPageGoesFirst) {
    ScratchDir dir;
    auto f = filledFile(dir.file("lru.QVN"), 3000, 150, nullptr);
    const std::vector<std::uint32_t> pages = pageNumbers(*f, 0);
    ASSERT_GE(pages.size(), 30u);
    PageStore& store = f->store();

    ASSERT_EQ(f->beginAccess(false), 0);
    store.dropAll();
    Page* page = nullptr;
    for (int i = 0; i < 30; ++i) ASSERT_EQ(store.load(pages[i], &page), 0);
    ASSERT_EQ(store.load(pages[0], &page), 0); // from least to most recent: 1, 2, ..., 29, 0
    ASSERT_EQ(store.heldClean(), 30u);

    // One byte over the budget drops exactly the least recently used page.
    store.setCacheBounds(store.heldCleanBytes() - 1, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(pages[1]));
    EXPECT_TRUE(store.holds(pages[0]));
    EXPECT_TRUE(store.holds(pages[2]));
    store.setCacheBounds(store.heldCleanBytes() - 1, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(pages[2]));
    EXPECT_EQ(store.heldClean(), 28u);

    // Below 25 pages: pages 3 to 6 go, the 24 most recent stay.
    store.setCacheBounds(PageStore::defaultCacheBytes(), 25);
    store.trim();
    EXPECT_EQ(store.heldClean(), 24u);
    for (int i = 3; i <= 6; ++i) EXPECT_FALSE(store.holds(pages[i])) << i;
    for (int i = 7; i < 30; ++i) EXPECT_TRUE(store.holds(pages[i])) << i;
    EXPECT_TRUE(store.holds(pages[0]));

    // Whatever the bounds, the minimum stays.
    store.setCacheBounds(0, 1);
    f->endAccess();
    EXPECT_EQ(store.heldClean(), PageStore::kKeepAtLeast);
    EXPECT_TRUE(store.holds(pages[0]));
}

TEST(QvnCache, InteriorPagesOutlastLeavesWhileLeavesKeepAnEighth) {
    ScratchDir dir;
    // Enough interior pages that the store holds more than its least once the leaves are gone.
    auto f = filledFile(dir.file("interior.QVN"), 15000, 150, nullptr);
    const std::vector<std::uint32_t> leaves = pageNumbers(*f, 0);
    const std::vector<std::uint32_t> interior = pageNumbers(*f, 1);
    ASSERT_GE(leaves.size(), 40u);
    ASSERT_GT(interior.size(), PageStore::kKeepAtLeast);
    PageStore& store = f->store();

    ASSERT_EQ(f->beginAccess(false), 0);
    store.dropAll();
    Page* page = nullptr;
    // The interior pages are used first and never again; the leaves after them.
    for (std::uint32_t number : interior) ASSERT_EQ(store.load(number, &page), 0);
    const std::size_t interiorBytes = store.heldCleanBytes();
    for (std::size_t i = 0; i < 40; ++i) ASSERT_EQ(store.load(leaves[i], &page), 0);
    const std::size_t all = store.heldCleanBytes();

    // Over a budget that the interior pages take less than seven eighths of, leaves go, oldest
    // first, although every interior page was used before them.
    store.setCacheBounds(all - 1, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(leaves[0]));
    EXPECT_TRUE(store.holds(leaves[1]));
    for (std::uint32_t number : interior) EXPECT_TRUE(store.holds(number)) << number;

    // Where they take two thirds of the budget, the leaves still go first.
    store.setCacheBounds(interiorBytes * 3 / 2, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(leaves[20]));
    for (std::uint32_t number : interior) EXPECT_TRUE(store.holds(number)) << number;

    // Interior pages above seven eighths of the budget go too, the least recently used first.
    store.setCacheBounds(interiorBytes * 8 / 7 - 8, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(interior[0]));
    EXPECT_TRUE(store.holds(interior.back()));
    f->endAccess();
}

TEST(QvnCache, LeavesUsedAgainOutlastAPassOverLeavesUsedOnce) {
    ScratchDir dir;
    auto f = filledFile(dir.file("scan.QVN"), 6000, 150, nullptr);
    const std::vector<std::uint32_t> leaves = pageNumbers(*f, 0);
    ASSERT_GE(leaves.size(), 65u);
    PageStore& store = f->store();

    ASSERT_EQ(f->beginAccess(false), 0);
    store.dropAll();
    Page* page = nullptr;
    for (int i = 0; i < 25; ++i) ASSERT_EQ(store.load(leaves[i], &page), 0);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(store.load(leaves[i], &page), 0); // used again
    store.setCacheBounds(store.heldCleanBytes() - 1, PageStore::defaultHoldBelow());
    store.trim();
    EXPECT_FALSE(store.holds(leaves[5])); // the oldest leaf used once

    // A pass over forty leaves, each used once, and room for thirty of the 64 held: the leaves
    // used once go, the older first, and those used twice stay although they were used before
    // all of them.
    for (int i = 25; i < 65; ++i) ASSERT_EQ(store.load(leaves[i], &page), 0);
    store.setCacheBounds(store.heldCleanBytes() * 30 / 64, PageStore::defaultHoldBelow());
    store.trim();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(store.holds(leaves[i])) << i;
    for (int i = 6; i < 35; ++i) EXPECT_FALSE(store.holds(leaves[i])) << i;
    EXPECT_TRUE(store.holds(leaves[64]));
    f->endAccess();
}

TEST(QvnCache, BoundsHoldBetweenOperations) {
    ScratchDir dir;
    auto f = filledFile(dir.file("bounds.QVN"), 6000, 150, nullptr);
    const std::size_t total = pageNumbers(*f).size();
    PageStore& store = f->store();
    std::mt19937 random(7);
    auto findSome = [&](std::size_t bytes, std::size_t holdBelow) {
        store.setCacheBounds(bytes, holdBelow);
        for (int i = 0; i < 2000; ++i) {
            Entry e;
            bool found = false;
            ASSERT_EQ(f->find(keyOf(static_cast<int>(random() % 6000)), &e, &found), 0);
            ASSERT_TRUE(found);
            ASSERT_TRUE(store.heldClean() <= PageStore::kKeepAtLeast ||
                        (store.heldCleanBytes() <= bytes && store.heldClean() < holdBelow))
                << store.heldClean() << " pages, " << store.heldCleanBytes() << " bytes";
        }
        EXPECT_GE(store.held(), PageStore::kKeepAtLeast);
    };
    findSome(256 * 1024, 1000);           // the memory budget binds
    findSome(PageStore::defaultCacheBytes(), 30); // the number of pages binds
    findSome(1, 1);                       // only the minimum stays

    // With the real bounds a file of a few hundred pages stays whole once read.
    store.setCacheBounds(PageStore::defaultCacheBytes(), PageStore::defaultHoldBelow());
    for (const std::uint32_t number : pageNumbers(*f)) EXPECT_TRUE(store.holds(number)) << number;
    EXPECT_EQ(store.held(), total);
    EXPECT_LT(store.heldCleanBytes(), PageStore::defaultCacheBytes());
}

TEST(QvnCache, AnotherStationsCommitDropsTheCachedPages) {
    ScratchDir dir;
    const std::string path = dir.file("stations.QVN");
    Model model;
    auto a = filledFile(path, 2000, 100, &model);
    EXPECT_EQ(readAll(*a), model);
    const std::size_t whole = a->store().held();
    ASSERT_GT(whole, 30u);

    // Nothing changed: the cache stays valid from access to access.
    Entry e;
    bool found = false;
    ASSERT_EQ(a->find(keyOf(1234), &e, &found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(a->store().held(), whole);

    auto b = openFile(path);
    ASSERT_EQ(b->beginAccess(true), 0);
    bool existed = false;
    ASSERT_EQ(b->replace(makeEntry(keyOf(1234), "changed by b"), &existed), 0);
    ASSERT_EQ(b->flush(), 0);
    b->endAccess();

    // The change counter moved: every cached page goes and the path is read anew.
    ASSERT_EQ(a->find(keyOf(1234), &e, &found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(e.bytes.substr(e.keyLength), "changed by b");
    EXPECT_LT(a->store().held(), whole);
    model[keyOf(1234)] = "changed by b";
    EXPECT_EQ(readAll(*a), model);
}

TEST(QvnCache, CommittedImagesEqualFreshEncodings) {
    ScratchDir dir;
    const std::string path = dir.file("images.QVN");
    Model model;
    auto f = filledFile(path, 1500, 80, &model);
    // Entries of new sizes all over the file: pages change class and move, and others move into
    // the places they leave, so phase 1 patches the numbers of many kept images.
    ASSERT_EQ(f->beginAccess(true), 0);
    for (int i = 0; i < 1500; i += 7) {
        const std::string data(20 + i % 300, static_cast<char>('A' + i % 26));
        bool existed = false;
        ASSERT_EQ(f->replace(makeEntry(keyOf(i), data), &existed), 0);
        model[keyOf(i)] = data;
    }
    for (int i = 3; i < 1500; i += 11) {
        bool existed = false;
        ASSERT_EQ(f->erase(keyOf(i), &existed), 0);
        model.erase(keyOf(i));
    }
    ASSERT_EQ(f->flush(), 0);
    f->endAccess();

    // Every page on disk is byte for byte what encoding the page afresh gives.
    ASSERT_EQ(f->beginAccess(false), 0);
    f->store().dropAll();
    std::vector<std::uint32_t> pending{f->header().root};
    int pages = 0;
    while (!pending.empty()) {
        const std::uint32_t number = pending.back();
        pending.pop_back();
        Page* page = nullptr;
        ASSERT_EQ(f->store().load(number, &page), 0);
        std::vector<Entry> entries(page->size());
        for (std::size_t i = 0; i < page->size(); ++i) page->copyEntry(i, &entries[i]);
        EncodedPage fresh;
        ASSERT_EQ(encodePage(page->level, entries, page->children, number, &fresh), 0);
        std::string stored(fresh.bytes.size(), '\0');
        ASSERT_EQ(f->io().readFull(pageAddress(number), reinterpret_cast<std::uint8_t*>(stored.data()),
                                   stored.size()),
                  0);
        EXPECT_EQ(stored, fresh.bytes) << "page " << number;
        pending.insert(pending.end(), page->children.begin(), page->children.end());
        ++pages;
    }
    EXPECT_GT(pages, 10);
    f->endAccess();
    const std::uint64_t end = pageSpaceEnd(f->header());
    f.reset();
    // Closed, the file has no log left: it ends with its page space.
    EXPECT_EQ(std::filesystem::file_size(path), end);
    EXPECT_EQ(readAll(*openFile(path)), model);
    expectClean(path);
}

TEST(QvnCache, PageIndexAgainstAnOrderedMap) {
    PageIndex index;
    std::map<std::uint32_t, Page*> model;
    std::mt19937 random(99);
    auto check = [&] {
        ASSERT_EQ(index.size(), model.size());
        for (const auto& [number, page] : model) ASSERT_EQ(index.find(number), page) << number;
    };
    // Numbers of one class are spaced by the class: stride 7 over a small range crowds a small
    // table, so runs of occupied slots wrap around its end and deletions shift entries back over
    // it; the larger range makes the table grow.
    for (const std::uint32_t range : {60u, 3000u}) {
        for (int step = 0; step < 60000; ++step) {
            const auto number = static_cast<std::uint32_t>(random() % range * 7);
            const int what = static_cast<int>(random() % 3);
            if (what == 0 && model.count(number) == 0) {
                auto page = std::make_unique<Page>();
                page->number = number;
                model[number] = page.get();
                index.insert(std::move(page));
            } else if (what == 1) {
                const std::unique_ptr<Page> page = index.take(number);
                const auto it = model.find(number);
                ASSERT_EQ(page.get(), it == model.end() ? nullptr : it->second) << number;
                if (it != model.end()) model.erase(it);
            } else {
                const auto it = model.find(number);
                ASSERT_EQ(index.find(number), it == model.end() ? nullptr : it->second) << number;
            }
            if (step % 1000 == 0) check();
        }
    }
    check();
    while (!model.empty()) {
        const auto it = std::next(model.begin(), static_cast<long>(random() % model.size()));
        ASSERT_EQ(index.take(it->first).get(), it->second);
        model.erase(it);
        if (model.size() % 500 == 0) check();
    }
    EXPECT_EQ(index.find(7), nullptr);
    index.clear();
    EXPECT_EQ(index.size(), 0u);
    EXPECT_EQ(index.take(7), nullptr);
}

TEST(QvnCache, DecodingIntoAUsedVectorGivesTheSameEntries) {
    const std::vector<Entry> entries{makeEntry("ab", "c"),
                                     makeEntry("ab", "d"),
                                     makeEntry("abx", ""),
                                     makeEntry(std::string(40, 'k'), std::string(300, 'v')),
                                     makeEntry(std::string(40, 'k') + "2", "w"),
                                     makeEntry("q", "rs")};
    std::string encoded;
    encodeEntries(entries, &encoded);
    const auto* data = reinterpret_cast<const std::uint8_t*>(encoded.data());
    auto same = [&](const std::vector<Entry>& got) {
        ASSERT_EQ(got.size(), entries.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].bytes, entries[i].bytes) << i;
            EXPECT_EQ(got[i].keyLength, entries[i].keyLength) << i;
        }
    };
    // Longer and shorter leftovers, long strings where short ones go and the other way round.
    std::vector<Entry> used(9, makeEntry(std::string(500, 'x'), std::string(700, 'y')));
    ASSERT_EQ(decodeEntries(data, encoded.size(), entries.size(), &used), 0);
    same(used);
    std::vector<Entry> few{makeEntry("z", "")};
    ASSERT_EQ(decodeEntries(data, encoded.size(), entries.size(), &few), 0);
    same(few);
    // Decoding again into its own result changes nothing.
    ASSERT_EQ(decodeEntries(data, encoded.size(), entries.size(), &few), 0);
    same(few);
    // A damaged image still fails, whatever the vector held.
    EXPECT_EQ(decodeEntries(data, encoded.size() - 1, entries.size(), &used), 1602);

    // Into one buffer: a small one grows while entries share bytes with the one before, a large
    // one keeps its size and its leftovers stay outside the spans.
    for (PageBytes buffer : {PageBytes(5, 'x'), PageBytes(4000, 'x')}) {
        const std::size_t before = buffer.size();
        PageSpans spans(2);
        ASSERT_EQ(decodeEntrySpans(data, encoded.size(), entries.size(), &buffer, &spans), 0);
        ASSERT_EQ(spans.size(), entries.size());
        for (std::size_t i = 0; i < spans.size(); ++i) {
            EXPECT_EQ(std::string_view(buffer).substr(spans[i].offset, spans[i].length), entries[i].bytes)
                << i;
            EXPECT_EQ(spans[i].keyLength, entries[i].keyLength) << i;
        }
        if (before > 1000) {
            EXPECT_EQ(buffer.size(), before);
        }
        EXPECT_EQ(decodeEntrySpans(data, encoded.size() - 1, entries.size(), &buffer, &spans), 1602);
    }
}

// Whether blocks come from the ordinary heap (under a sanitizer), where reuse is not ours to test.
bool pageMemoryFromHeap() {
    void* a = allocatePageMemory(1000);
    freePageMemory(a, 1000);
    void* b = allocatePageMemory(1000);
    freePageMemory(b, 1000);
    return a != b;
}

TEST(QvnPageMemory, BlocksOfEverySizeAreAlignedWholeAndApart) {
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    for (std::size_t bytes = 1; bytes <= 24 * 1024; bytes += bytes < 256 ? 1 : 61) {
        auto* p = static_cast<unsigned char*>(allocatePageMemory(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u) << bytes;
        std::fill_n(p, bytes, static_cast<unsigned char>(blocks.size()));
        blocks.emplace_back(p, bytes);
    }
    // No block was written over by another.
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto [p, bytes] = blocks[i];
        EXPECT_TRUE(std::all_of(p, p + bytes, [i](unsigned char c) {
            return c == static_cast<unsigned char>(i);
        })) << bytes;
    }
    for (const auto& [p, bytes] : blocks) freePageMemory(p, bytes);
}

TEST(QvnPageMemory, FreedBlocksServeLaterOnesBeforeMoreMemoryIsTaken) {
    if (pageMemoryFromHeap()) GTEST_SKIP() << "blocks come from the ordinary heap here";
    // A freed block is the next one of its class.
    void* first = allocatePageMemory(4000);
    freePageMemory(first, 4000);
    EXPECT_EQ(allocatePageMemory(3970), first);
    freePageMemory(first, 3970);

    // Large blocks freed serve small ones: sizes asked for changing over time do not make the
    // memory kept grow.
    std::vector<void*> large;
    for (int i = 0; i < 600; ++i) large.push_back(allocatePageMemory(9000)); // over two pieces
    const std::size_t held = pageMemoryHeld();
    for (void* p : large) freePageMemory(p, 9000);
    std::vector<void*> small;
    for (int i = 0; i < 4000; ++i) small.push_back(allocatePageMemory(700)); // more than a piece
    EXPECT_EQ(pageMemoryHeld(), held);
    for (void* p : small) freePageMemory(p, 700);
}

TEST(QvnPageMemory, APieceWhoseBlocksAreAllFreedServesBlocksOfAnySize) {
    if (pageMemoryFromHeap()) GTEST_SKIP() << "blocks come from the ordinary heap here";
    // Small blocks never join into larger ones, but a piece none of whose blocks is given out is
    // cut anew: the objects of a file's pages freed at its close make room for the entries of
    // the next file's pages.
    constexpr std::size_t kPieceBytes = std::size_t{2} << 20;
    std::vector<void*> small;
    for (int i = 0; i < 15000; ++i) small.push_back(allocatePageMemory(700)); // some five pieces
    for (void* p : small) freePageMemory(p, 700);
    const std::size_t held = pageMemoryHeld();
    std::vector<void*> large;
    for (int i = 0; i < 1000; ++i) large.push_back(allocatePageMemory(9000)); // over four pieces
    // A piece that other tests' blocks keep, or the one being cut, may not serve.
    EXPECT_LE(pageMemoryHeld(), held + 2 * kPieceBytes);
    for (void* p : large) freePageMemory(p, 9000);
}

TEST(QvnPageMemory, PagesKeptFromAClosedFileHoldNoPieceBack) {
    if (pageMemoryFromHeap()) GTEST_SKIP() << "blocks come from the ordinary heap here";
    // A file's pages read into some pieces of page memory; closed, the few pages kept for the
    // next file must not keep those pieces from serving blocks of another size.
    constexpr std::size_t kPieceBytes = std::size_t{2} << 20;
    ScratchDir dir;
    const std::string path = dir.file("pieces.QVN");
    filledFile(path, 80000, 150, nullptr).reset();
    std::size_t held = 0;
    {
        auto f = openFile(path);
        EXPECT_EQ(readAll(*f).size(), 80000u); // its pages take every page kept from before
        held = pageMemoryHeld();
    }
    std::vector<void*> large;
    for (std::size_t taken = 0; taken + 4 * kPieceBytes < held; taken += 19000)
        large.push_back(allocatePageMemory(19000));
    EXPECT_LE(pageMemoryHeld(), held + 2 * kPieceBytes);
    for (void* p : large) freePageMemory(p, 19000);
}

TEST(QvnPageMemory, BlocksStayWholeWhilePiecesAreFreedAndCutAnew) {
    // Blocks of random sizes given out and freed in random order, so that pieces go idle, are cut
    // anew and serve other sizes: each block keeps what was written into it until it is freed.
    std::mt19937 random(5);
    struct Live {
        unsigned char* p;
        std::size_t bytes;
        unsigned char mark;
    };
    std::vector<Live> live;
    auto intact = [](const Live& b) {
        return std::all_of(b.p, b.p + b.bytes, [&b](unsigned char c) { return c == b.mark; });
    };
    for (int step = 0; step < 60000; ++step) {
        // Waves of growth and shrinking, so that whole pieces empty out between them.
        const bool grow = (step / 5000) % 2 == 0 ? random() % 4 != 0 : random() % 4 == 0;
        if (grow || live.empty()) {
            const std::size_t bytes = random() % 2 == 0 ? 1 + random() % 1500 : 1 + random() % 16000;
            auto* p = static_cast<unsigned char*>(allocatePageMemory(bytes));
            const auto mark = static_cast<unsigned char>(step);
            std::fill_n(p, bytes, mark);
            live.push_back({p, bytes, mark});
        } else {
            const std::size_t i = random() % live.size();
            ASSERT_TRUE(intact(live[i])) << "step " << step << ", " << live[i].bytes << " bytes";
            freePageMemory(live[i].p, live[i].bytes);
            live[i] = live.back();
            live.pop_back();
        }
    }
    for (const Live& b : live) {
        EXPECT_TRUE(intact(b)) << b.bytes << " bytes";
        freePageMemory(b.p, b.bytes);
    }
}

TEST(QvnPageMemory, PageStringsAndVectorsWorkAsTheOrdinaryOnes) {
    PageBytes bytes(5000, 'a');
    bytes += "tail";
    PageBytes copy = bytes;
    copy.resize(3);
    EXPECT_EQ(std::string_view(bytes).substr(4998), "aatail");
    EXPECT_EQ(std::string_view(copy), "aaa");
    PageSpans spans(300);
    spans[299].offset = 7;
    spans.resize(10000); // past the largest block: from the heap, and back
    EXPECT_EQ(spans[299].offset, 7u);
    PageSpans().swap(spans);
    EXPECT_TRUE(spans.empty());
}

} // namespace
} // namespace docket::drivers::qvn
