#include "drivers/qvn/internal/entry_tree.h"

#include <algorithm>
#include <cstring>

#include "drivers/qvn/internal/fault.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {

namespace {
constexpr std::size_t kSplitFull = 15095;
constexpr std::size_t kSplitCrowdedFull = 4097;
constexpr std::size_t kSplitCrowdedCount = 21;

// First position whose key is at or after (`after`: after) `key`. With `equal`, also whether the
// key there is `key` itself; the heads tell that without reading the key where they differ, which
// on the way down through a tree is nearly every page.
std::size_t position(Page* page, std::string_view key, bool after, bool* equal = nullptr) {
    // A changed interior page is searched on the way to every entry put in below it, and changes
    // only when a page below splits or goes: it keeps a search index as an unchanged page does,
    // until EntryTree::edit forgets it. A changed leaf changes with nearly every search.
    if (page->headCount == 0 && page->level != 0 && page->dirty()) indexHeads(*page);
    std::size_t lo = 0, hi = page->size();
    if (equal != nullptr) *equal = false;
    if (page->headCount != 0 && !key.empty()) {
        // Every key from headStart on begins with headShared; a key that does not
        // lies before or after all of them, and one that does is searched by the heads.
        lo = page->headStart;
        const std::string_view shared = page->headShared;
        const std::size_t n = std::min(shared.size(), key.size());
        const int r = n == 0 ? 0 : std::memcmp(key.data(), shared.data(), n);
        if (r < 0 || (r == 0 && key.size() < shared.size())) return lo;
        if (r > 0) return hi;
        const std::uint64_t* heads = page->headData();
        if (!Page::inlines(hi)) {
            // The heads of a large page lie apart from it: the first three steps' lines at once.
            __builtin_prefetch(heads + (lo + hi) / 2);
            __builtin_prefetch(heads + (3 * lo + hi) / 4);
            __builtin_prefetch(heads + (lo + 3 * hi) / 4);
        }
        const std::uint64_t head = keyHead(key, shared.size());
        const std::size_t end = hi;
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            const int c = heads[mid] < head ? -1 : heads[mid] > head ? 1 : compareKeys(page->keyAt(mid), key);
            if (c < 0 || (after && c == 0))
                lo = mid + 1;
            else
                hi = mid;
        }
        if (equal != nullptr && lo < end && heads[lo] == head) *equal = compareKeys(page->keyAt(lo), key) == 0;
        return lo;
    }
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const int c = compareKeys(page->keyAt(mid), key);
        if (c < 0 || (after && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    if (equal != nullptr && lo < page->size()) *equal = compareKeys(page->keyAt(lo), key) == 0;
    return lo;
}

// Asks for the cache lines of a page that a search through it reads, all at once, as soon as the
// page is known. In a large tree nearly every page below the top levels is a cache miss, and the
// search otherwise fetched them one after the other: the page, the heads it halves through, the
// reference to the page below. A leaf's entry spans (the first lines; the pages of records and
// memo segments have few entries) are asked for too. Only advice: nothing is read here.
void askForLines(const Page* page, bool leaf) {
    const char* at = reinterpret_cast<const char*>(page);
    for (std::size_t offset = 0; offset < sizeof(Page); offset += 64) __builtin_prefetch(at + offset);
    if (leaf) {
        const char* spans = reinterpret_cast<const char*>(page->spans.data());
        for (std::size_t offset = 0; offset < 256; offset += 64) __builtin_prefetch(spans + offset);
    }
}

} // namespace

bool EntryTree::needsSplit(std::size_t count, std::size_t full, bool interior) {
    // Besides the size rules of the format, a page splits when its worst-case image (every entry
    // with its flag and both lengths) would not fit the largest page: below those rules a page of
    // many mid-sized entries could otherwise grow past 15104 bytes and could not be stored.
    const std::size_t worst = kPageHeaderSize + (interior ? 4 : 0) * count + full + kEntryOverhead * count;
    return full >= kSplitFull || (full >= kSplitCrowdedFull && count >= kSplitCrowdedCount) ||
           worst > kMaxPageSize;
}

int EntryTree::root(Page** page) {
    *page = nullptr;
    if (!store_.hasPages()) return 0;
    // Every search begins at the root: it is looked up in the page index once while no page
    // leaves the store, and not again for each search, where at 200,000 records the index's slot
    // was a cache miss nearly every time.
    const std::uint32_t number = store_.header().root;
    if (rootPage_ != nullptr && rootGeneration_ == store_.generation() && rootPage_->number == number) {
        PageStore::markUsed(rootPage_);
        *page = rootPage_;
        return 0;
    }
    const int rc = store_.load(number, page);
    rootPage_ = *page;
    rootGeneration_ = store_.generation();
    return rc;
}

int EntryTree::child(Page* parent, std::size_t index, Page** out) {
    if (parent->level == 0 || index >= parent->children.size()) return internalFault(1894);
    if (parent->dirty()) {
        const int rc = store_.load(parent->children[index], out);
        if (rc != 0) return rc;
        if ((*out)->level + 1 != parent->level) return internalFault(1894);
        return 0;
    }
    // An unchanged page keeps the pages it led to while no page leaves the store (loading never
    // drops one): on the way down, each level then costs the page itself, not a slot of the page
    // index as well, and at 200,000 records that slot is a cache miss on nearly every level.
    const std::uint64_t generation = store_.generation();
    if (parent->belowGeneration != generation) {
        parent->forgetBelow();
        parent->belowGeneration = generation;
    }
    Page*& known = parent->belowData()[index];
    if (known != nullptr) {
        askForLines(known, parent->level == 1);
        PageStore::markUsed(known);
        *out = known;
        return 0;
    }
    // A page as read from the file cannot refer to a page made since the last commit.
    if (parent->children[index] >= kFirstUnplaced) return internalFault(1735);
    const int rc = store_.load(parent->children[index], out);
    if (rc != 0) return rc;
    if ((*out)->level + 1 != parent->level) return internalFault(1894);
    known = *out;
    return 0;
}

Page* EntryTree::knownChild(Page* page, std::string_view key) {
    if (page->level == 0 || page->dirty() || page->belowGeneration != store_.generation()) return nullptr;
    bool equal = false;
    const std::size_t idx = position(page, key, false, &equal);
    if (equal) return nullptr; // the search ends on this page
    Page* below = page->belowData()[idx == 0 ? 0 : idx - 1];
    if (below != nullptr) askForLines(below, page->level == 1);
    return below;
}

int EntryTree::find(std::string_view key, std::string_view along, Entry* out, bool* found) {
    *found = false;
    if (key.empty()) return 0;
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0 || p == nullptr) return rc;
    Page* ahead = along.empty() ? nullptr : p; // on the way towards `along`
    for (;;) {
        if (ahead != nullptr) ahead = knownChild(ahead, along);
        bool equal = false;
        const std::size_t idx = position(p, key, false, &equal);
        if (equal) {
            p->copyEntry(idx, out);
            *found = true;
            return 0;
        }
        if (p->level == 0) return 0;
        if ((rc = child(p, idx == 0 ? 0 : idx - 1, &p)) != 0) return rc;
    }
}

int EntryTree::locate(std::string_view key, bool strict, Page** page, std::size_t* index, bool* found,
                      TreePath* path) {
    *found = false;
    if (path != nullptr) path->clear();
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0 || p == nullptr) return rc;
    // The candidates met on the way down: the first entry of an interior page past the key, which
    // is the answer when the child below holds nothing past the key.
    Page* candidate = nullptr;
    std::size_t at = 0;
    for (;;) {
        bool equal = false;
        std::size_t idx = position(p, key, strict, strict ? nullptr : &equal);
        if (p->level == 0) {
            if (idx < p->size()) {
                candidate = p;
                at = idx;
            }
            break;
        }
        if (idx == 0) {
            // Only the empty key comes before the interior page's first entry.
            idx = 1;
            equal = !strict && 1 < p->size() && compareKeys(p->keyAt(1), key) == 0;
        }
        if (idx < p->size()) {
            candidate = p;
            at = idx;
            if (equal) break;
        }
        if (path != nullptr && !path->push({p, idx - 1})) return internalFault(1894);
        if ((rc = child(p, idx - 1, &p)) != 0) return rc;
    }
    if (candidate != nullptr) {
        // On a damaged page whose entries are out of order the search can land wrong; stepping
        // must still never go back, or a reader would loop.
        const int c = compareKeys(candidate->keyAt(at), key);
        if (c < 0 || (strict && c == 0)) return internalFault(1602);
        *page = candidate;
        *index = at;
        *found = true;
        // An answer in an interior page has above it only the pages above that one.
        if (path != nullptr && candidate->level != 0) path->cutAt(candidate);
    }
    return 0;
}

int EntryTree::seekForward(std::string_view key, bool strict, Entry* out, bool* found) {
    Page* page = nullptr;
    std::size_t index = 0;
    const int rc = locate(key, strict, &page, &index, found);
    if (rc == 0 && *found) page->copyEntry(index, out);
    return rc;
}

int EntryTree::seekForward(std::string_view key, bool strict, LeafHint* hint, Entry* out, bool* found) {
    if (strict && hint->page != nullptr && hint->changes == changes_ &&
        hint->generation == store_.generation()) {
        const Page* page = hint->page;
        const std::size_t at = hint->index + 1;
        // In a leaf, the entry after the one stood on is the next of the whole tree.
        if (at < page->size() && page->keyAt(at - 1) == key) {
            // The order is checked as in a search: a damaged page must not make a walk go back.
            if (compareKeys(page->keyAt(at), key) <= 0) return internalFault(1602);
            hint->index = at;
            page->copyEntry(at, out);
            *found = true;
            return 0;
        }
    }
    Page* page = nullptr;
    std::size_t index = 0;
    const int rc = locate(key, strict, &page, &index, found);
    hint->page = nullptr;
    if (rc != 0 || !*found) return rc;
    page->copyEntry(index, out);
    if (page->level == 0) *hint = LeafHint{page, index, changes_, store_.generation()};
    return 0;
}

int EntryTree::seekBackward(std::string_view key, bool strict, Entry* out, bool* found) {
    *found = false;
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0 || p == nullptr) return rc;
    const Page* candidate = nullptr;
    std::size_t at = 0;
    for (;;) {
        // entries [0, idx) are before (or at) the key
        const std::size_t idx = position(p, key, !strict);
        if (p->level == 0) {
            if (idx > 0) candidate = p, at = idx - 1;
            break;
        }
        if (idx == 0) break;
        if (idx - 1 >= 1) candidate = p, at = idx - 1;
        if ((rc = child(p, idx - 1, &p)) != 0) return rc;
    }
    if (candidate != nullptr) {
        const int c = compareKeys(candidate->keyAt(at), key);
        if (c > 0 || (strict && c == 0)) return internalFault(1602);
        candidate->copyEntry(at, out);
        *found = true;
    }
    return 0;
}

int EntryTree::last(Entry* out, bool* found) {
    *found = false;
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0 || p == nullptr) return rc;
    const Page* candidate = nullptr;
    for (;;) {
        if (p->level == 0) {
            if (!p->empty()) candidate = p;
            break;
        }
        if (p->size() >= 2) candidate = p;
        if ((rc = child(p, p->size() - 1, &p)) != 0) return rc;
    }
    if (candidate != nullptr) {
        candidate->copyEntry(candidate->size() - 1, out);
        *found = true;
    }
    return 0;
}

int EntryTree::insert(const Entry& entry, bool replace, bool* existed) {
    *existed = false;
    if (entry.bytes.size() > kMaxEntryLength) return internalFault(824);
    if (entry.keyLength == 0 || entry.keyLength > entry.bytes.size())
        return runtime::error::kInvalidKeyLength;
    ++changes_;
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0) return rc;
    if (p == nullptr) {
        if ((rc = store_.create(0, 1, &p)) != 0) return rc;
        store_.header().root = p->number;
    }
    const std::string_view key = entry.key();
    std::vector<Page*> path;
    for (;;) {
        path.push_back(p);
        bool equal = false;
        const std::size_t idx = position(p, key, false, &equal);
        if (equal) {
            *existed = true;
            if (!replace) return 0;
            edit(p)[idx] = entry;
            return balance(path, kNoEnd);
        }
        if (p->level == 0) {
            const std::size_t full = p->knownFullSize();
            std::vector<Entry>& entries = edit(p);
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(idx), entry);
            if (full != Page::kUnknownSize) p->setFullSize(full + entry.bytes.size());
            return balance(path, addedInRun(p, idx));
        }
        if (idx == 0) return internalFault(1602);
        if ((rc = child(p, idx - 1, &p)) != 0) return rc;
    }
}

// Notes that an entry was put into `page` at `index`, and returns `index` when it continues a run
// (the entry before went in just before it, or at the same place, ahead of it), kNoEnd otherwise.
std::size_t EntryTree::addedInRun(Page* page, std::size_t index) {
    const std::uint32_t before = page->lastAdded;
    page->lastAdded = static_cast<std::uint32_t>(std::min<std::size_t>(index, Page::kNoneAdded - 1));
    return before != Page::kNoneAdded && (before + 1 == index || before == index) ? index : kNoEnd;
}

// Where a page that must split is divided: the index of the entry that goes up. The middle entry,
// unless the page overflowed with an entry of a run put in at one end of it, or next to the few
// entries that close the page on that side. Records, their memos and a key over a counter or over
// a value with a counter behind it come in ascending (for a descending key, descending) order,
// each next to the one before; a split at the middle would leave every page behind such a run
// half full, and the tree half again as deep. Split beside the new entry instead: the page behind
// the run keeps all of it, and the page ahead takes the next ones. Entries put in at random split
// at the middle, as the halves are pages like any other: a station that always splits at the
// middle reads and changes them alike.
std::size_t EntryTree::splitPoint(const Page* page, std::size_t added) {
    constexpr std::size_t kCloseBy = 3; // entries of another run that may close the page
    const std::size_t n = page->size();
    // A leaf keeps at least one entry on each side; an interior page at least one besides its
    // empty first entry, so that neither half is a page of a single child.
    const std::size_t lowest = page->level == 0 ? 1 : 2;
    if (added >= n || n < lowest + 2 * kCloseBy + 2) return n / 2;
    const std::size_t after = n - 1 - added;
    if (after == 0) return n - 2;        // the page ahead starts with the new entry
    if (after <= kCloseBy) return added; // it goes up; the next ones go in ahead of it
    const std::size_t before = added + 1 - lowest;
    if (before == 0) return lowest;
    if (before <= kCloseBy) return added;
    return n / 2;
}

int EntryTree::balance(std::vector<Page*> path, std::size_t added) {
    Page* p = path.back();
    if (!needsSplit(p->size(), p->fullSize(), p->level != 0)) return 0;
    int rc = 0;
    if (path.size() == 1) {
        Page* moved = nullptr;
        if ((rc = splitRoot(p, &moved)) != 0) return rc;
        return balance({p, moved}, added);
    }
    // Both halves are split further until they fit; only then is the parent looked at, so every
    // page split at this level still has the parent it is split into.
    Page* parent = path[path.size() - 2];
    std::size_t raised = kNoEnd;
    if ((rc = splitLevel(parent, p, added, &raised)) != 0) return rc;
    path.pop_back();
    return balance(path, raised);
}

int EntryTree::splitLevel(Page* parent, Page* p, std::size_t added, std::size_t* raised) {
    if (!needsSplit(p->size(), p->fullSize(), p->level != 0)) return 0;
    Page* right = nullptr;
    std::size_t at = kNoEnd;
    int rc = splitChild(parent, p, splitPoint(p, added), &right, &at);
    const std::size_t parentSize = parent->size();
    std::size_t again = kNoEnd;
    if (rc == 0) rc = splitLevel(parent, p, kNoEnd, &again);
    if (rc == 0) rc = splitLevel(parent, right, kNoEnd, &again);
    // The entry that went up continues a run in the parent only when it was the only one: halves
    // split again put more entries in beside it.
    *raised = parent->size() == parentSize ? at : kNoEnd;
    return rc;
}

int EntryTree::splitRoot(Page* rootPage, Page** moved) {
    if (rootPage->level >= 64) return internalFault(1364);
    PageImage image{rootPage->level, {}, {}};
    image.entries = edit(rootPage);
    const int rc = store_.create(rootPage->level, estimateClass(image), moved);
    if (rc != 0) return rc;
    Page* a = *moved;
    a->entries = std::move(rootPage->entries);
    a->children = std::move(rootPage->children);
    a->lastAdded = rootPage->lastAdded;
    rootPage->lastAdded = Page::kNoneAdded;
    rootPage->level = static_cast<std::uint8_t>(rootPage->level + 1);
    rootPage->entries.assign(1, Entry{});
    rootPage->children.assign(1, a->number);
    return 0;
}

int EntryTree::splitChild(Page* parent, Page* p, std::size_t m, Page** rightOut, std::size_t* raisedAt) {
    edit(p);
    edit(parent);
    const std::size_t n = p->entries.size();
    if (n < 2) return internalFault(1364);
    PageImage right{p->level, {}, {}};
    if (p->level != 0) right.entries.emplace_back();
    right.entries.insert(right.entries.end(), p->entries.begin() + static_cast<std::ptrdiff_t>(m + 1),
                         p->entries.end());
    Page* r = nullptr;
    // The page stays whole while the new one is placed, so that pages moved to make room can be
    // traced from the root; child numbers are taken only afterwards, as such moves change them.
    int rc = store_.create(p->level, estimateClass(right), &r);
    if (rc != 0) return rc;
    r->entries = std::move(right.entries);
    if (p->level != 0) {
        r->children.push_back(p->children[m]);
        r->children.insert(r->children.end(), p->children.begin() + static_cast<std::ptrdiff_t>(m + 1),
                           p->children.end());
    }
    Entry middle = std::move(p->entries[m]);
    p->entries.resize(m);
    if (p->level != 0) p->children.resize(m);
    const auto at = std::find(parent->children.begin(), parent->children.end(), p->number);
    if (at == parent->children.end()) return internalFault(1891);
    const std::size_t j = static_cast<std::size_t>(at - parent->children.begin()) + 1;
    if (j < parent->entries.size() && compareKeys(parent->entries[j].key(), middle.key()) == 0)
        return internalFault(706);
    parent->entries.insert(parent->entries.begin() + static_cast<std::ptrdiff_t>(j), std::move(middle));
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(j), r->number);
    *rightOut = r;
    *raisedAt = addedInRun(parent, j);
    // The halves' entries moved: a run goes on from the next entry put into either.
    p->lastAdded = Page::kNoneAdded;
    return 0;
}

int EntryTree::edgeLeaf(Page* top, bool rightmost, std::vector<Page*>* path) {
    Page* p = top;
    path->push_back(p);
    while (p->level != 0) {
        const int rc = child(p, rightmost ? p->size() - 1 : 0, &p);
        if (rc != 0) return rc;
        path->push_back(p);
    }
    return 0;
}

int EntryTree::releaseSubtree(Page* top) {
    std::vector<Page*> pages{top};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Page* p = pages[i];
        for (std::size_t c = 0; p->level != 0 && c < p->children.size(); ++c) {
            Page* below = nullptr;
            const int rc = child(p, c, &below);
            if (rc != 0) return rc;
            pages.push_back(below);
        }
    }
    return store_.release(pages);
}

// path.back() is a page whose whole subtree holds no entry.
int EntryTree::prune(std::vector<Page*> path) {
    while (path.size() >= 2) {
        Page* empty = path.back();
        Page* parent = path[path.size() - 2];
        const auto at = std::find(parent->children.begin(), parent->children.end(), empty->number);
        if (at == parent->children.end()) return internalFault(1891);
        const std::size_t i = static_cast<std::size_t>(at - parent->children.begin());
        if (i == 0 && parent->size() == 1) {
            // The parent's subtree is empty too.
            if (path.size() == 2) {
                edit(parent).clear();
                parent->children.clear();
                parent->level = 0;
                return releaseSubtree(empty);
            }
            path.pop_back();
            continue;
        }
        // The separating entry moves down into the neighbouring leaf: the last leaf left of it, or
        // for the first child the first leaf of the next child, which then takes its place.
        const std::size_t sep = i == 0 ? 1 : i;
        Page* neighbourTop = nullptr;
        int rc = child(parent, i == 0 ? 1 : i - 1, &neighbourTop);
        if (rc != 0) return rc;
        std::vector<Page*> edge;
        if ((rc = edgeLeaf(neighbourTop, i != 0, &edge)) != 0) return rc;
        Page* leaf = edge.back();
        if (needsSplit(leaf->size() + 1, leaf->fullSize() + parent->bytesAt(sep).size(), false))
            return 0; // the empty page stays rather than make the neighbour split
        std::vector<Entry>& moved = edit(leaf);
        std::vector<Entry>& from = edit(parent);
        if (i == 0)
            moved.insert(moved.begin(), std::move(from[sep]));
        else
            moved.push_back(std::move(from[sep]));
        if (i == 0) parent->children[0] = parent->children[1];
        from.erase(from.begin() + static_cast<std::ptrdiff_t>(sep));
        parent->children.erase(parent->children.begin() + static_cast<std::ptrdiff_t>(sep));
        return releaseSubtree(empty);
    }
    return 0;
}

int EntryTree::collapseRoot() {
    Page* r = nullptr;
    int rc = root(&r);
    if (rc != 0 || r == nullptr) return rc;
    while (r->level != 0 && r->size() == 1) {
        Page* only = nullptr;
        if ((rc = child(r, 0, &only)) != 0) return rc;
        edit(r) = std::move(edit(only));
        r->level = only->level;
        r->children = std::move(only->children);
        if ((rc = store_.release({only})) != 0) return rc;
    }
    return 0;
}

int EntryTree::erase(std::string_view key, bool* existed) {
    *existed = false;
    if (key.empty()) return 0;
    ++changes_;
    Page* p = nullptr;
    int rc = root(&p);
    if (rc != 0 || p == nullptr) return rc;
    std::vector<Page*> path;
    std::size_t idx = 0;
    for (;;) {
        path.push_back(p);
        bool equal = false;
        idx = position(p, key, false, &equal);
        if (equal) break;
        if (p->level == 0) return 0;
        if (idx == 0) return internalFault(1602);
        if ((rc = child(p, idx - 1, &p)) != 0) return rc;
    }
    *existed = true;
    if (p->level == 0) {
        std::vector<Entry>& entries = edit(p);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(idx));
        if (entries.empty() && path.size() > 1 && (rc = prune(path)) != 0) return rc;
        return collapseRoot();
    }
    if (idx == 0) return internalFault(1602);
    // An interior entry is replaced by its predecessor, the largest entry of the child left of it.
    Page* left = nullptr;
    if ((rc = child(p, idx - 1, &left)) != 0) return rc;
    std::vector<Page*> down;
    if ((rc = edgeLeaf(left, true, &down)) != 0) return rc;
    Page* leaf = down.back();
    Entry predecessor;
    bool leafEmptied = false;
    bool have = false;
    if (!leaf->empty()) {
        std::vector<Entry>& entries = edit(leaf);
        predecessor = std::move(entries.back());
        entries.pop_back();
        leafEmptied = entries.empty();
        have = true;
    } else {
        // The rightmost leaf is an empty page that stayed: the predecessor is the last entry of
        // the deepest page above it that has one; everything right of that entry is empty.
        for (std::size_t k = down.size() - 1; k-- > 0;) {
            Page* q = down[k];
            if (q->size() < 2) continue;
            std::vector<Entry>& entries = edit(q);
            predecessor = std::move(entries.back());
            entries.pop_back();
            q->children.pop_back();
            if ((rc = releaseSubtree(down[k + 1])) != 0) return rc;
            have = true;
            break;
        }
    }
    if (!have) {
        // Nothing at all left of the entry: its own child takes the place of the empty one.
        std::vector<Entry>& entries = edit(p);
        p->children[idx - 1] = p->children[idx];
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(idx));
        p->children.erase(p->children.begin() + static_cast<std::ptrdiff_t>(idx));
        if ((rc = releaseSubtree(left)) != 0) return rc;
        return collapseRoot();
    }
    edit(p)[idx] = std::move(predecessor);
    if (leafEmptied) {
        std::vector<Page*> full = path;
        full.insert(full.end(), down.begin(), down.end());
        if ((rc = prune(full)) != 0) return rc;
    }
    if ((rc = balance(path, kNoEnd)) != 0) return rc;
    return collapseRoot();
}

int EntryTree::depth(int* levels) {
    Page* r = nullptr;
    const int rc = root(&r);
    *levels = r == nullptr ? 0 : r->level + 1;
    return rc;
}

int EntryTree::lowestKey(Page* page, std::string* key, bool* found) {
    *found = false;
    Page* p = page;
    for (;;) {
        if (p->level == 0) {
            if (!p->empty()) {
                *key = std::string(p->keyAt(0));
                *found = true;
            }
            return 0;
        }
        if (p->size() >= 2) {
            *key = std::string(p->keyAt(1));
            *found = true;
            return 0;
        }
        const int rc = child(p, 0, &p);
        if (rc != 0) return rc;
    }
}

int EntryTree::scanForParent(Page* page, std::uint32_t target, Page** parent, std::size_t* index) {
    if (page->level == 0) return 0;
    for (std::size_t i = 0; i < page->children.size(); ++i)
        if (page->children[i] == target) {
            *parent = page;
            *index = i;
            return 0;
        }
    for (std::size_t i = 0; page->level > 1 && i < page->children.size() && *parent == nullptr; ++i) {
        Page* below = nullptr;
        int rc = child(page, i, &below);
        if (rc == 0) rc = scanForParent(below, target, parent, index);
        if (rc != 0) return rc;
    }
    return 0;
}

int EntryTree::locateParent(Page* page, Page** parent, std::size_t* index) {
    *parent = nullptr;
    *index = 0;
    if (page->number == store_.header().root) return 0;
    const std::uint32_t target = page->number;
    std::string key;
    bool haveKey = false;
    int rc = lowestKey(page, &key, &haveKey);
    if (rc != 0) return rc;
    Page* q = nullptr;
    if ((rc = root(&q)) != 0) return rc;
    if (q == nullptr) return internalFault(1891);
    if (haveKey) {
        while (q->level > page->level) {
            const std::size_t i = std::max<std::size_t>(position(q, key, true), 1) - 1;
            if (q->level == page->level + 1) {
                if (q->children[i] == target) {
                    *parent = q;
                    *index = i;
                    return 0;
                }
                break;
            }
            if ((rc = child(q, i, &q)) != 0) return rc;
        }
        if ((rc = root(&q)) != 0) return rc;
    }
    // A page without any entry below it is found by looking through the interior pages.
    if ((rc = scanForParent(q, target, parent, index)) != 0) return rc;
    return *parent == nullptr ? internalFault(1891) : 0;
}

// ---- EntryCursor ---------------------------------------------------------------------------------

int EntryCursor::standAt(Page* page, std::size_t index) {
    valid_ = true;
    page_ = page;
    index_ = index;
    key_.assign(page->keyAt(index));
    changes_ = tree_.changes_;
    generation_ = tree_.store_.generation();
    return 0;
}

int EntryCursor::standChecked(Page* page, std::size_t index) {
    // The order is checked as in a search: a damaged page must not make a walk go back and loop.
    if (compareKeys(page->keyAt(index), key_) <= 0) return internalFault(1602);
    return standAt(page, index);
}

int EntryCursor::seek(std::string_view key, bool strict) {
    valid_ = false;
    Page* page = nullptr;
    std::size_t index = 0;
    bool found = false;
    if (int rc = tree_.locate(key, strict, &page, &index, &found, &path_)) return rc;
    return found ? standAt(page, index) : 0;
}

int EntryCursor::next() {
    if (!valid_) return 0;
    if (changes_ == tree_.changes_ && generation_ == tree_.store_.generation()) {
        Page* page = page_;
        if (page->level == 0) {
            if (index_ + 1 < page->size()) return standChecked(page, index_ + 1);
            // The leaf is done: the next entry is the one after the child it hangs from, in the
            // nearest page above that has one.
            while (!path_.empty()) {
                const TreePath::Step up = path_.pop();
                if (up.index + 1 < up.page->size()) return standChecked(up.page, up.index + 1);
            }
            valid_ = false;
            return 0;
        }
        // After an entry of an interior page comes the leftmost entry below it.
        if (!path_.push({page, index_})) return internalFault(1894);
        Page* below = nullptr;
        if (int rc = tree_.child(page, index_, &below)) return rc;
        while (below->level != 0) {
            if (!path_.push({below, 0})) return internalFault(1894);
            if (int rc = tree_.child(below, 0, &below)) return rc;
        }
        if (!below->empty()) return standChecked(below, 0);
    }
    // seek() reads the key it is given before it places the cursor anew.
    return seek(key_, true);
}

int EntryCursor::setData(std::string_view data) {
    if (!valid_) return 0;
    if (changes_ != tree_.changes_ || generation_ != tree_.store_.generation()) {
        // The tree changed under the cursor, or its page may have been given up: its entry is
        // found again by key first.
        const std::string at = key_;
        if (int rc = seek(at, false)) return rc;
        if (!valid_ || key_ != at) return internalFault(1602);
    }
    Page* page = page_;
    const std::size_t keyLength = page->keyLengthAt(index_);
    if (page->dataAt(index_).size() == data.size()) {
        // The page keeps its size: nothing to split, the change is made where the entry is.
        tree_.edit(page)[index_].bytes.replace(keyLength, data.size(), data);
        ++tree_.changes_;
        changes_ = tree_.changes_;
        return 0;
    }
    Entry replaced;
    replaced.keyLength = static_cast<std::uint16_t>(keyLength);
    replaced.bytes.reserve(keyLength + data.size());
    replaced.bytes.assign(key_);
    replaced.bytes.append(data);
    bool existed = false;
    if (int rc = tree_.insert(replaced, true, &existed)) return rc;
    return seek(key_, false);
}

} // namespace docket::drivers::qvn
