// The entry tree's forward cursor over a tree of several levels: walking across leaves and the
// interior entries between them, seeking at and past the ends, and walking on while the tree
// changes under it (erases, inserts, data changed in place and grown).
#include <gtest/gtest.h>

#include "drivers/qvn/tests/qvn_test_util.h"

namespace docket::drivers::qvn {
namespace {

using namespace testing;

std::string keyOf(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "c%06d", i);
    return text;
}

class CursorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QvnFile::openPrivate(dir.file("cursor.QVN"), kReadWriteShared, {}, &file), 0);
        ASSERT_EQ(file->beginAccess(true), 0);
    }
    void TearDown() override {
        if (file->inAccess()) file->endAccess();
    }
    // Entries 0, 2, 4, ... of 100-byte data: enough for several leaves under interior pages.
    void fill(int count) {
        for (int i = 0; i < count; i += 2) put(keyOf(i), std::string(100, static_cast<char>('a' + i % 26)));
        int levels = 0;
        ASSERT_EQ(file->tree().depth(&levels), 0);
        ASSERT_GE(levels, 2);
    }
    void put(const std::string& key, const std::string& data) {
        bool existed = false;
        ASSERT_EQ(file->replace(makeEntry(key, data), &existed), 0);
        model[key] = data;
    }
    // The rest of the walk from where the cursor stands.
    Model walk(EntryCursor& c) {
        Model seen;
        while (c.valid()) {
            seen[std::string(c.key())] = std::string(c.data());
            if (c.next() != 0) ADD_FAILURE() << "next failed";
        }
        return seen;
    }

    ScratchDir dir;
    std::unique_ptr<QvnFile> file;
    Model model;
};

TEST_F(CursorTest, WalksEveryEntryInOrderAcrossLeavesAndStopsAtTheEnd) {
    fill(4000);
    EntryCursor c(file->tree());
    ASSERT_EQ(c.seek("", false), 0);
    std::string previous;
    std::size_t count = 0;
    while (c.valid()) {
        EXPECT_LT(previous, std::string(c.key()));
        previous = std::string(c.key());
        EXPECT_EQ(c.bytes(), previous + model[previous]);
        ++count;
        ASSERT_EQ(c.next(), 0);
    }
    EXPECT_EQ(count, model.size());
    // Past the end the cursor stays invalid.
    ASSERT_EQ(c.next(), 0);
    EXPECT_FALSE(c.valid());

    // Seeks: at a key, between keys, strictly after, at and after the last key.
    ASSERT_EQ(c.seek(keyOf(1000), false), 0);
    EXPECT_EQ(c.key(), keyOf(1000));
    ASSERT_EQ(c.seek(keyOf(1000), true), 0);
    EXPECT_EQ(c.key(), keyOf(1002));
    ASSERT_EQ(c.seek(keyOf(1001), false), 0);
    EXPECT_EQ(c.key(), keyOf(1002));
    ASSERT_EQ(c.seek(keyOf(3998), false), 0);
    EXPECT_EQ(c.key(), keyOf(3998));
    ASSERT_EQ(c.next(), 0);
    EXPECT_FALSE(c.valid());
    ASSERT_EQ(c.seek(keyOf(3998), true), 0);
    EXPECT_FALSE(c.valid());
    ASSERT_EQ(c.seek("zzz", false), 0);
    EXPECT_FALSE(c.valid());

    // From every key the rest of the walk is the model's rest.
    for (int from : {0, 1, 777, 2000, 3333, 3997}) {
        ASSERT_EQ(c.seek(keyOf(from), false), 0);
        EXPECT_EQ(walk(c), Model(model.lower_bound(keyOf(from)), model.end())) << from;
    }
}

TEST_F(CursorTest, AnEmptyFileHasNothingToWalk) {
    EntryCursor c(file->tree());
    ASSERT_EQ(c.seek("", false), 0);
    EXPECT_FALSE(c.valid());
    ASSERT_EQ(c.next(), 0);
    EXPECT_FALSE(c.valid());
    ASSERT_EQ(c.setData("x"), 0); // nothing stood on, nothing changed
    EXPECT_TRUE(readAll(*file).empty());
}

TEST_F(CursorTest, WalkingOnWhileTheTreeChanges) {
    fill(3000);
    EntryCursor c(file->tree());
    // Erasing the entry stood on and inserting ahead of the cursor: the walk goes on from its key
    // and meets what was inserted ahead, never what was erased.
    Model seen;
    ASSERT_EQ(c.seek("", false), 0);
    while (c.valid()) {
        const std::string key(c.key());
        seen[key] = std::string(c.data());
        const int i = std::stoi(key.substr(1));
        if (i % 4 == 0) {
            bool existed = false;
            ASSERT_EQ(file->erase(key, &existed), 0);
            ASSERT_TRUE(existed);
            model.erase(key);
        }
        if (i % 10 == 0 && i + 1 < 3000) put(keyOf(i + 1), "inserted");
        ASSERT_EQ(c.next(), 0);
    }
    for (const auto& [key, data] : model) EXPECT_TRUE(seen.count(key)) << key;
    EXPECT_EQ(seen.count(keyOf(11)), 1u);
    EXPECT_EQ(readAll(*file), model);

    // Data changed in place (same size) and grown past a page's room: the cursor stays on its
    // entry and walks on.
    ASSERT_EQ(c.seek("", false), 0);
    int n = 0;
    for (; c.valid(); ++n) {
        const std::string key(c.key());
        std::string data(c.data());
        if (n % 3 != 2) {
            if (n % 3 == 0)
                std::fill(data.begin(), data.end(), 'z');
            else
                data = std::string(900, 'g');
            ASSERT_EQ(c.setData(data), 0);
            EXPECT_EQ(c.key(), key);
            EXPECT_EQ(c.data(), data);
            model[key] = data;
        }
        ASSERT_EQ(c.next(), 0);
    }
    EXPECT_EQ(n, static_cast<int>(model.size()));
    EXPECT_EQ(readAll(*file), model);
    ASSERT_EQ(file->flush(), 0);
    file->endAccess();
    file.reset();
    ASSERT_EQ(QvnFile::openPrivate(dir.file("cursor.QVN"), kReadWriteShared, {}, &file), 0);
    EXPECT_EQ(readAll(*file), model);
    expectClean(dir.file("cursor.QVN"));
}

TEST_F(CursorTest, ChangesCountEveryChangeOfTheTree) {
    const std::uint64_t start = file->tree().changes();
    put("a", "1");
    EXPECT_GT(file->tree().changes(), start);
    const std::uint64_t afterPut = file->tree().changes();
    Entry e;
    bool found = false;
    ASSERT_EQ(file->find("a", &e, &found), 0);
    EntryCursor c(file->tree());
    ASSERT_EQ(c.seek("a", false), 0);
    EXPECT_EQ(file->tree().changes(), afterPut); // reading changes nothing
    ASSERT_EQ(c.setData("2"), 0);
    EXPECT_GT(file->tree().changes(), afterPut);
    const std::uint64_t afterSet = file->tree().changes();
    bool existed = false;
    ASSERT_EQ(file->erase("a", &existed), 0);
    EXPECT_GT(file->tree().changes(), afterSet);
}

} // namespace
} // namespace docket::drivers::qvn
