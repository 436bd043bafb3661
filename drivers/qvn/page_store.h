#pragma once
// The pages of one physical file in memory: the page cache (100 chains by page number, an order of
// last use), the changed pages, reading pages from their place or from a commit log, and the page
// space of the 59 size classes (allocation, moving, releasing, closing the gaps).
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/qvn/block_io.h"
#include "drivers/qvn/format.h"

namespace docket::drivers::qvn {

struct Page {
    std::uint32_t number = 0;
    int pageClass = 0; // the class of the range that `number` lies in
    std::uint8_t level = 0;
    std::vector<Entry> entries;
    std::vector<std::uint32_t> children;
    bool dirty = false;
    std::uint64_t lastUse = 0;
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
    static constexpr int kChains = 100;
    static constexpr std::size_t kKeepAtLeast = 20;
    static constexpr std::size_t kHoldBelow = 100;

    explicit PageStore(BlockIo& io) : io_(io) {}

    FileHeader& header() { return header_; }
    void setLocator(ParentLocator* locator) { locator_ = locator; }
    bool hasPages() const { return pageSpaceEnd(header_) > kHeaderSize; }

    // While a commit log is being read through, pages come from their log position.
    void setLogMap(std::map<std::uint32_t, std::uint64_t> map) { logMap_ = std::move(map); }
    void clearLogMap() { logMap_.clear(); }
    bool readingThroughLog() const { return !logMap_.empty(); }

    int load(std::uint32_t number, Page** page);
    // A new, changed page of `level` in a place of `pageClass`.
    int create(std::uint8_t level, int pageClass, Page** page);
    void touch(Page* page) { page->dirty = true; }
    // Frees the places of pages that are no longer referred to (a whole subtree may go at once:
    // no page of the set is moved into a place that another one frees).
    int release(const std::vector<Page*>& pages);
    // Gives a page a place of another class.
    int relocate(Page* page, int pageClass);
    // Moves ranges down over the gaps between them, from class 2 upwards.
    int closeGaps();

    std::vector<Page*> changedPages() const;
    bool hasChanges() const;
    void markAllClean();
    void dropAll();
    // Drops idle pages at the end of an access (never changed ones).
    void trim();
    std::size_t held() const;
    std::size_t heldClean() const;

private:
    Page* find(std::uint32_t number) const;
    void insert(std::unique_ptr<Page> page);
    std::unique_ptr<Page> take(std::uint32_t number);
    int readPage(std::uint32_t number, int pageClass, Page* page);

    int allocate(int pageClass, std::uint32_t* number);
    int freePlace(int pageClass, std::uint32_t number);
    int movePage(std::uint32_t from, std::uint32_t to);
    int shiftUp(int pageClass, std::uint32_t atLeast);
    std::uint32_t lowerLimit(int pageClass) const;
    std::uint32_t upperLimit(int pageClass) const;

    BlockIo& io_;
    FileHeader header_{};
    ParentLocator* locator_ = nullptr;
    std::map<std::uint32_t, std::uint64_t> logMap_;
    std::array<std::vector<std::unique_ptr<Page>>, kChains> chains_;
    std::uint64_t clock_ = 0;
    std::vector<std::uint8_t> buffer_;
};

} // namespace docket::drivers::qvn
