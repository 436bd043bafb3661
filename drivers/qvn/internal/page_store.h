#pragma once
// The pages of one physical file in memory: the page cache (a hash index by page number, orders
// of last use of the unchanged leaves and interior pages), the changed pages, reading pages from
// their place or from a commit log, and the page space of the 59 size classes (allocation, moving,
// releasing, closing the gaps).
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/qvn/internal/block_io.h"
#include "drivers/qvn/internal/format.h"

namespace docket::drivers::qvn {

// The numbers of pages made since the last commit, which have no place yet: past every place that
// a file's 32-bit addresses can reach, so they never meet a real one.
inline constexpr std::uint32_t kFirstUnplaced = 0x80000000u;

// A page in memory. A page read from the file keeps its entries as they were decoded, back to
// back in one buffer (`flat`, described by `spans`), so that reading a page allocates nothing per
// entry and a page is searched where it lies. Before it is changed, PageStore::touch gives it
// entries of their own (`entries`), which a changed page and a page made here always have. The
// accessors read either form; only code that changes a page, after touching it, uses `entries`.
struct Page {
    std::uint32_t number = 0;
    int pageClass = 0; // the class of the range that `number` lies in
    std::uint8_t level = 0;
    std::vector<Entry> entries; // while not isFlat()
    std::vector<std::uint32_t> children;
    PageBytes flat;  // while isFlat()
    PageSpans spans; // while isFlat()

    bool isFlat() const { return flat_; }
    // False for a page made since the last commit: it gets its place at the commit.
    bool placed() const { return number < kFirstUnplaced; }
    std::size_t size() const { return flat_ ? spans.size() : entries.size(); }
    bool empty() const { return size() == 0; }
    std::string_view bytesAt(std::size_t i) const {
        if (!flat_) return entries[i].bytes;
        const EntrySpan& s = spans[i];
        return {flat.data() + s.offset, s.length};
    }
    std::size_t keyLengthAt(std::size_t i) const { return flat_ ? spans[i].keyLength : entries[i].keyLength; }
    std::string_view keyAt(std::size_t i) const { return bytesAt(i).substr(0, keyLengthAt(i)); }
    std::string_view dataAt(std::size_t i) const { return bytesAt(i).substr(keyLengthAt(i)); }
    void copyEntry(std::size_t i, Entry* out) const {
        out->bytes.assign(bytesAt(i));
        out->keyLength = static_cast<std::uint16_t>(keyLengthAt(i));
    }
    // The sum of the entries' full lengths. The tree asks for it after every entry put in, and a
    // page of keys has hundreds: it is kept from one call to the next until EntryTree::edit hands
    // out the entries to change (or the page is read anew), and an entry put in adds its length.
    std::size_t fullSize() const;
    static constexpr std::size_t kUnknownSize = static_cast<std::size_t>(-1);
    std::size_t knownFullSize() const { return full_; }
    void forgetFullSize() { full_ = kUnknownSize; }
    void setFullSize(std::size_t full) { full_ = full; }

    // A search index of a page's keys, kept in memory only. All keys from entry `headStart`
    // on (1 when an interior page begins with the empty key) share their first bytes, headShared;
    // heads[i] holds the eight bytes of key i after them, big-endian and padded with zeros, so a
    // binary search compares integers and reads a key itself only where two heads are equal.
    // A changed leaf has none (headCount 0), and then the search reads the keys; a changed
    // interior page gets them again when it is next searched after a change (see EntryTree::edit).
    // The shared bytes are kept here too (short ones inside the string), so that a search does
    // not have to reach for a key to compare them.
    //
    // A page of at most kInline entries keeps its heads, and an interior one the pages below it
    // (see `below`), in arrays of its own: their address is known as soon as the page's is, where
    // a vector's storage can only be fetched after the vector itself. At 200,000 records nearly
    // every page on the way down a tree is a cache miss. The arrays take the pages of memo
    // segments (at most 20 entries) and most pages of records; pages of many short entries, as of
    // keys, use the vectors.
    static constexpr std::size_t kInline = 32;
    static bool inlines(std::size_t count) { return count <= kInline; }
    std::uint32_t headCount = 0;
    std::uint32_t headStart = 0;
    std::string headShared;
    std::uint64_t headsInline[kInline];
    std::vector<std::uint64_t, PageAllocator<std::uint64_t>> heads;
    const std::uint64_t* headData() const { return inlines(headCount) ? headsInline : heads.data(); }

    // Where the tree last put an entry into this page since it was read or made, or kNoneAdded:
    // kept in memory only, it tells the tree that entries are coming in as a run.
    static constexpr std::uint32_t kNoneAdded = 0xFFFFFFFFu;
    std::uint32_t lastAdded = kNoneAdded;

    // The pages below an unchanged interior page that searches went down to, by the index of the
    // reference, kept in memory only: valid while the store's generation is `belowGeneration`
    // (no page has left the store since), so that going down a tree skips the page index. Null
    // where not known yet; unused while the page is changed.
    static constexpr std::uint64_t kNoGeneration = ~std::uint64_t{0};
    std::uint64_t belowGeneration = kNoGeneration;
    Page* belowInline[kInline];
    std::vector<Page*, PageAllocator<Page*>> below;
    Page** belowData() { return inlines(children.size()) ? belowInline : below.data(); }
    // Makes every page below unknown.
    void forgetBelow() {
        if (inlines(children.size()))
            std::fill_n(belowInline, children.size(), nullptr);
        else
            below.assign(children.size(), nullptr);
    }

    // Page objects live with their entries (see page_memory.h).
    static void* operator new(std::size_t bytes) { return allocatePageMemory(bytes); }
    static void operator delete(void* page, std::size_t bytes) noexcept { freePageMemory(page, bytes); }

    // Changed since the last commit. Only PageStore::touch sets it: a changed page must leave the
    // order of use, or it could be dropped before the commit writes it.
    bool dirty() const { return dirty_; }

private:
    friend class PageStore;
    // Gives the entries of a flat page storage of their own.
    void unflatten();
    bool dirty_ = false;
    bool flat_ = false;
    bool used_ = false;     // used again since it entered the order of use (or was last passed over)
    // The order of use the page is in while unchanged: see PageStore::trim.
    enum class Zone : std::uint8_t { kInterior, kProbation, kProtected };
    Zone zone_ = Zone::kProbation;
    std::size_t bytes_ = 0; // memory estimate, kept while the page is unchanged
    mutable std::size_t full_ = kUnknownSize; // see fullSize
    // Links in the store's list of unchanged pages (most recently used first) or of changed pages.
    Page* prev_ = nullptr;
    Page* next_ = nullptr;
};

// Builds the search index of a page's keys from its entries (see Page::headCount).
void indexHeads(Page& page);

// The eight bytes of `key` from `from` on, big-endian, padded with zeros: for two keys that agree
// in their first `from` bytes, a smaller head means a smaller key.
inline std::uint64_t keyHead(std::string_view key, std::size_t from) {
    if (from + 8 <= key.size()) return bigEndian64(key.data() + from);
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        head <<= 8;
        if (from + i < key.size()) head |= static_cast<std::uint8_t>(key[from + i]);
    }
    return head;
}

// Pages by number: open addressing with linear probing over a power-of-two table
// at most half full, deletion by shifting the following entries back (no tombstones). A
// lookup touches one slot array instead of a bucket and a node, and a large change holds tens
// of thousands of pages, so every lookup must stay cheap.
class PageIndex {
public:
    Page* find(std::uint32_t number) const;
    // `page`'s number must not be held yet.
    void insert(std::unique_ptr<Page> page);
    std::unique_ptr<Page> take(std::uint32_t number);
    void clear();
    // Moves every page to `out` and empties the index.
    void drainInto(std::vector<std::unique_ptr<Page>>* out);
    std::size_t size() const { return count_; }

private:
    struct Slot {
        std::uint32_t number = 0;
        std::unique_ptr<Page> page; // null: the slot is free
    };
    std::size_t home(std::uint32_t number) const;
    void grow();
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    int shift_ = 64; // 64 - log2(slot count)
};

// The tree tells the page store which page refers to a page that must move.
class ParentLocator {
public:
    virtual ~ParentLocator() = default;
    // *parent null when `page` is the root. 0 or the result of an integrity stop.
    virtual int locateParent(Page* page, Page** parent, std::size_t* index) = 0;
};

class PageStore {
public:
    static constexpr std::size_t kKeepAtLeast = 20;
    // The cache's bounds are ours, not the file's: no stored byte and no other station depends on
    // them. A cache of a hundred pages made every random read decode most of its path again, so
    // unchanged pages are kept up to a memory budget, and fewer than a number of pages, which
    // bounds the bookkeeping when pages are small. An unchanged page costs about its entries'
    // bytes, which is about twice what it takes in the file (records are run-length compressed
    // there). A memo register of 10,000 records is a file of 19 MB, which any budget holds whole;
    // one of 200,000 records (377 MB) takes 725 MB decoded, of which 51 MB are interior pages.
    //
    // The budget is an eighth of the machine's memory, at least 128 MiB and at most 2 GiB (see
    // defaultCacheBytes); the page bound allows an average of 2 KiB per page (decoded pages of the
    // register average 4.6 KiB). A budget of 128 MiB held the interior pages of 200,000 records
    // but read a leaf anew for nearly every record: a random GET took 32 µs, a date-order read of
    // all records 2.4 s; holding the whole file brought them to 7 µs and 1.0 s. Memory comes only
    // as pages are read, and the budget is per physical file (the register has two).
    static std::size_t defaultCacheBytes();
    static std::size_t defaultHoldBelow() { return defaultCacheBytes() / 2048; }

    explicit PageStore(BlockIo& io) : io_(io) {}
    // Leaves some of its pages to the next store made in this process (see newPage).
    ~PageStore();
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;

    FileHeader& header() { return header_; }
    void setLocator(ParentLocator* locator) { locator_ = locator; }
    bool hasPages() const { return hasPageSpace(header_) || header_.root >= kFirstUnplaced; }

    // While a commit log is being read through, pages come from their log position.
    void setLogMap(std::map<std::uint32_t, std::uint64_t> map) { logMap_ = std::move(map); }
    void clearLogMap() { logMap_.clear(); }
    bool readingThroughLog() const { return !logMap_.empty(); }

    // Pages handed out stay valid until the next trim(), dropAll() or release() of that page:
    // loading never drops a page.
    int load(std::uint32_t number, Page** page);
    // A new, changed page of `level`, without a place until placeNewPages (`pageClass` is a guess
    // of its size).
    int create(std::uint8_t level, int pageClass, Page** page);
    // Marks a page changed; it stays held until the commit writes it or the changes are dropped.
    void touch(Page* page);
    // Frees the places of pages that are no longer referred to (a whole subtree may go at once:
    // no page of the set is moved into a place that another one frees).
    int release(const std::vector<Page*>& pages);
    // Gives a placed page a place of another class.
    int relocate(Page* page, int pageClass);
    // Gives every page made since the last commit a place, of the class that `classOf` says its
    // image needs, and puts the places into the references to them.
    int placeNewPages(const std::function<int(const Page*)>& classOf);
    // Moves ranges down over the gaps between them, from class 2 upwards, leaving small gaps as
    // room to grow (see page_space.cpp).
    int closeGaps();

    // The changed pages in the order of their numbers.
    std::vector<Page*> changedPages() const;
    std::size_t changedCount() const { return dirtyCount_; }
    bool hasChanges() const { return dirtyCount_ != 0; }
    void markAllClean();
    void dropAll();
    // Drops unchanged pages beyond the cache's bounds, least recently used first, at the end of an
    // access (changed ones never).
    void trim();
    std::size_t held() const { return pages_.size(); }
    // A page reached without load() (through Page::below) counts as used all the same.
    static void markUsed(Page* page) { page->used_ = true; }
    // Counts the removals of pages: a page pointer taken while it was n stays valid while it is n.
    std::uint64_t generation() const { return generation_; }
    bool holds(std::uint32_t number) const { return find(number) != nullptr; }
    std::size_t heldClean() const { return cleanCount_; }
    // The memory estimate of the unchanged pages held, which the budget bounds.
    std::size_t heldCleanBytes() const { return cleanBytes_; }
    // Other bounds than the default ones (for tests).
    void setCacheBounds(std::size_t bytes, std::size_t holdBelow) {
        cacheBytes_ = bytes;
        holdBelow_ = holdBelow;
    }

private:
    // An intrusive doubly linked list of pages.
    struct List {
        Page* head = nullptr;
        Page* tail = nullptr;
        void pushFront(Page* page);
        void unlink(Page* page);
    };

    Page* find(std::uint32_t number) const;
    void insert(std::unique_ptr<Page> page);
    std::unique_ptr<Page> take(std::uint32_t number);
    void linkClean(Page* page);
    void unlinkClean(Page* page);
    std::unique_ptr<Page> newPage();
    void recycle(std::unique_ptr<Page> page);
    int readPage(std::uint32_t number, int pageClass, Page* page);

    int allocate(int pageClass, std::uint32_t* number);
    int freePlace(int pageClass, std::uint32_t number);
    int movePage(std::uint32_t from, std::uint32_t to);
    int shiftUp(int pageClass, std::uint32_t atLeast);
    std::uint32_t lowerLimit(int pageClass) const;
    std::uint32_t upperLimit(int pageClass) const;

    BlockIo& io_;
    FileHeader header_{};
    // Pages given a place at the end of their class's range since the last commit, per class
    // (see allocate).
    std::array<std::uint32_t, kMaxClass + 1> grown_{};
    std::uint32_t nextUnplaced_ = kFirstUnplaced;
    ParentLocator* locator_ = nullptr;
    std::map<std::uint32_t, std::uint64_t> logMap_;
    PageIndex pages_; // every held page
    List& listOf(Page::Zone zone);
    // Unchanged pages, most recently used first: interior pages; leaves used once since they
    // were read; leaves used again.
    List interior_;
    List probation_;
    List protected_;
    List dirtyList_;  // changed pages, in no particular order
    std::size_t cleanCount_ = 0;
    std::size_t cleanBytes_ = 0;
    std::size_t interiorBytes_ = 0;  // the part of cleanBytes_ that interior pages take
    std::size_t protectedBytes_ = 0; // and that protected_ takes
    std::size_t dirtyCount_ = 0;
    std::size_t cacheBytes_ = defaultCacheBytes();
    std::uint64_t generation_ = 0;
    std::size_t holdBelow_ = defaultHoldBelow();
    // Dropped pages kept for reuse: a page read from disk decodes into their vectors and strings,
    // so a cache at its bounds reads without allocating.
    std::vector<std::unique_ptr<Page>> spare_;
    std::vector<std::uint8_t> buffer_;
};

} // namespace docket::drivers::qvn
