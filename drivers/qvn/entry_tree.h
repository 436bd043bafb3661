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
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/qvn/page_store.h"

namespace docket::drivers::qvn {

class EntryTree : public ParentLocator {
public:
    explicit EntryTree(PageStore& store) : store_(store) { store_.setLocator(this); }

    // 0 with *found false when there is no such entry; otherwise an error code.
    int find(std::string_view key, Entry* out, bool* found);
    // First entry whose key is at or after `key` (`strict`: after it).
    int seekForward(std::string_view key, bool strict, Entry* out, bool* found);
    // Last entry whose key is at or before `key` (`strict`: before it).
    int seekBackward(std::string_view key, bool strict, Entry* out, bool* found);
    int first(Entry* out, bool* found) { return seekForward({}, false, out, found); }
    int last(Entry* out, bool* found);

    // Inserts `entry`; with an entry of equal key part present it is replaced when `replace` is set
    // and otherwise left alone. *existed tells which case it was.
    int insert(const Entry& entry, bool replace, bool* existed);
    int erase(std::string_view key, bool* existed);

    int depth(int* levels);

    int locateParent(Page* page, Page** parent, std::size_t* index) override;

    static bool needsSplit(std::size_t count, std::size_t full, bool interior);

private:
    struct Step {
        Page* page;
        std::size_t index; // entry position in this page (or child position on the way down)
    };
    int root(Page** page);
    int child(Page* parent, std::size_t index, Page** out);
    int balance(std::vector<Page*> path);
    int splitLevel(Page* parent, Page* page);
    int splitRoot(Page* rootPage, Page** moved);
    int splitChild(Page* parent, Page* page, Page** right);
    int releaseSubtree(Page* page);
    int prune(std::vector<Page*> path);
    int collapseRoot();
    int edgeLeaf(Page* top, bool rightmost, std::vector<Page*>* path);
    int lowestKey(Page* page, std::string* key, bool* found);
    int scanForParent(Page* page, std::uint32_t target, Page** parent, std::size_t* index);

    PageStore& store_;
};

} // namespace docket::drivers::qvn
