#pragma once
// The single sorted tree of entries of a physical file. Interior pages hold real entries (the
// middle entries that went up at splits), each with the child page that holds the entries between
// it and the next entry of the page; every interior page begins with the empty entry. All leaves
// lie at the same depth.
//
// Deleting keeps the tree valid without merging neighbours: an entry deleted from an interior page
// is replaced by its predecessor (the largest entry below it on the left); a page whose whole
// subtree has become empty is released and its separating entry moves down into the neighbouring
// leaf, unless that leaf would then have to split, in which case the empty page stays (so it is
// never more than one per full neighbour); a root left with only the empty entry takes over its
// child's content, so the tree also gets lower again. Every released page frees its place at once.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/qvn/internal/page_store.h"

namespace docket::drivers::qvn {

// Where a walk in key order last stood: a leaf and a position in it. It stays good while the tree
// and the pages held are unchanged (the counts it keeps tell), and then the next step is the next
// entry of that leaf, with no search from the root. Anything else makes the step search as usual.
struct LeafHint {
    const Page* page = nullptr;
    std::size_t index = 0;
    std::uint64_t changes = 0;
    std::uint64_t generation = 0;
};

// The interior pages above a place in the tree and the child taken in each, from the root down.
// A page's level is one byte, so no path is longer than 255 steps: the path is held in place and
// keeping it allocates nothing.
class TreePath {
public:
    struct Step {
        Page* page;
        std::size_t index; // entry position in this page (or child position on the way down)
    };
    void clear() { size_ = 0; }
    bool empty() const { return size_ == 0; }
    // False when the path is full, which only a damaged file can make happen.
    bool push(Step step) {
        if (size_ == steps_.size()) return false;
        steps_[size_++] = step;
        return true;
    }
    Step pop() { return steps_[--size_]; }
    // Drops `page` and the steps below it.
    void cutAt(const Page* page) {
        for (std::size_t i = 0; i < size_; ++i)
            if (steps_[i].page == page) {
                size_ = i;
                return;
            }
    }

private:
    std::array<Step, 255> steps_;
    std::size_t size_ = 0;
};

class EntryTree : public ParentLocator {
public:
    explicit EntryTree(PageStore& store) : store_(store) { store_.setLocator(this); }

    // 0 with *found false when there is no such entry; otherwise an error code.
    int find(std::string_view key, Entry* out, bool* found) { return find(key, {}, out, found); }
    // find, which meanwhile also goes down towards `along`, as far as the way is known in memory,
    // asking for the cache lines of each page it reaches: a search for `along` right after it
    // (a record's memo after the record) then finds its pages in the processor's caches. In a
    // large tree nearly every page below the top is a cache miss, and the two ways down wait for
    // their misses together instead of one after the other. Nothing is read from the file for
    // `along`, and no error can come from it.
    int find(std::string_view key, std::string_view along, Entry* out, bool* found);
    // First entry whose key is at or after `key` (`strict`: after it).
    int seekForward(std::string_view key, bool strict, Entry* out, bool* found);
    // seekForward that starts from `hint` when it stood on `key`, and leaves it where it stops.
    int seekForward(std::string_view key, bool strict, LeafHint* hint, Entry* out, bool* found);
    // Last entry whose key is at or before `key` (`strict`: before it).
    int seekBackward(std::string_view key, bool strict, Entry* out, bool* found);
    int first(Entry* out, bool* found) { return seekForward({}, false, out, found); }
    int last(Entry* out, bool* found);

    // Inserts `entry`; with an entry of equal key part present it is replaced when `replace` is set
    // and otherwise left alone. *existed tells which case it was.
    int insert(const Entry& entry, bool replace, bool* existed);
    int erase(std::string_view key, bool* existed);

    int depth(int* levels);

    // Counts every change of the tree's entries (insert, replace, erase, a data part changed in
    // place). A reader that remembers it can tell later that nothing changed in between.
    std::uint64_t changes() const { return changes_; }

    int locateParent(Page* page, Page** parent, std::size_t* index) override;

    static bool needsSplit(std::size_t count, std::size_t full, bool interior);

private:
    friend class EntryCursor;
    // Where the first entry at or after (`strict`: after) `key` lies: the page and position. With
    // `path`, also the interior pages above it with the child taken in each, from the root down.
    int locate(std::string_view key, bool strict, Page** page, std::size_t* index, bool* found,
               TreePath* path = nullptr);
    int root(Page** page);
    // The entries of a page that is about to change: the page is marked changed first, which
    // also gives its entries storage of their own. Every change of a page's entries goes here.
    std::vector<Entry>& edit(Page* page) {
        page->forgetFullSize();
        page->headCount = 0;
        store_.touch(page);
        return page->entries;
    }
    int child(Page* parent, std::size_t index, Page** out);
    // One step down from `page` towards `key` through the pages below that an unchanged page
    // keeps, asking for the lines of the page reached: null where the way is not known in memory.
    Page* knownChild(Page* page, std::string_view key);
    // `added`: where in the last page of `path` an entry of a run was put in, or kNoEnd.
    static constexpr std::size_t kNoEnd = static_cast<std::size_t>(-1);
    static std::size_t addedInRun(Page* page, std::size_t index);
    static std::size_t splitPoint(const Page* page, std::size_t added);
    int balance(std::vector<Page*> path, std::size_t added);
    // Splits `page` until its halves fit; *raised: where the entry that went up lies in `parent`
    // when it continues a run there and was the only one to go up, or kNoEnd.
    int splitLevel(Page* parent, Page* page, std::size_t added, std::size_t* raised);
    int splitRoot(Page* rootPage, Page** moved);
    // Splits at entry `middle`, which goes up into `parent`; *raisedAt as addedInRun gives it.
    int splitChild(Page* parent, Page* page, std::size_t middle, Page** right, std::size_t* raisedAt);
    int releaseSubtree(Page* page);
    int prune(std::vector<Page*> path);
    int collapseRoot();
    int edgeLeaf(Page* top, bool rightmost, std::vector<Page*>* path);
    int lowestKey(Page* page, std::string* key, bool* found);
    int scanForParent(Page* page, std::uint32_t target, Page** parent, std::size_t* index);

    PageStore& store_;
    std::uint64_t changes_ = 0;
    // The root page as last looked up, valid while the store's generation is rootGeneration_.
    Page* rootPage_ = nullptr;
    std::uint64_t rootGeneration_ = 0;
};

// A forward walk over the entries in key order. It stands on one entry and keeps the pages above
// it; next() steps along the page that holds it, up to the entry after the child it came from when
// it leaves a page, and down to the leftmost leaf below an entry of an interior page. Only when
// the tree or the pages held changed since the cursor last moved does it find its place again
// from the root and the key it stood on, so a walk may change the tree as it goes.
//
// Valid within one access only: the page stood on is kept, and the page store drops pages only at
// the end of an access, when changes are dropped, or when the tree releases them (a change, which
// makes the cursor go down from the root again). Between accesses the pages may be read anew from
// a file that another station changed.
class EntryCursor {
public:
    explicit EntryCursor(EntryTree& tree) : tree_(tree) {}

    // Stands on the first entry at or after (`strict`: after) `key`; valid() false when none.
    int seek(std::string_view key, bool strict);
    // Stands on the entry after the current one; valid() false past the last. Does nothing when
    // not valid.
    int next();
    bool valid() const { return valid_; }
    // The entry stood on: only while valid(), and only until the tree or the cursor next moves.
    std::string_view key() const { return key_; }
    std::string_view data() const { return page_->dataAt(index_); }
    std::string_view bytes() const { return page_->bytesAt(index_); }
    // Replaces the data part of the entry stood on (a change of the tree; the caller has the write
    // access). The cursor stays on it. An entry that grows may have to split its page and is then
    // inserted anew through the root.
    int setData(std::string_view data);

private:
    int standAt(Page* page, std::size_t index);

    int standChecked(Page* page, std::size_t index);

    EntryTree& tree_;
    bool valid_ = false;
    std::string key_;
    Page* page_ = nullptr;
    std::size_t index_ = 0;
    // The interior pages above page_ and the child taken in each: leaving a page, the walk goes
    // up to the entry after that child instead of down from the root.
    TreePath path_;
    std::uint64_t changes_ = 0;    // the tree's change count when the cursor was placed
    std::uint64_t generation_ = 0; // and the page store's
};

} // namespace docket::drivers::qvn
