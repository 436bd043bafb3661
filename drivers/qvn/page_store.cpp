#include "drivers/qvn/internal/page_store.h"

#include <algorithm>
#include <bit>
#include <mutex>

#include <unistd.h>

#include "drivers/qvn/internal/fault.h"

namespace docket::drivers::qvn {

std::size_t PageStore::defaultCacheBytes() {
    static const std::size_t bytes = [] {
        constexpr std::size_t kLeast = std::size_t{128} << 20, kMost = std::size_t{2} << 30;
        const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0) return kLeast;
        const double eighth = static_cast<double>(pages) * static_cast<double>(pageSize) / 8;
        return eighth >= static_cast<double>(kMost) ? kMost
                                                    : std::max(kLeast, static_cast<std::size_t>(eighth));
    }();
    return bytes;
}

namespace {

// Dropped pages kept for reuse. An access of a read run may read a few hundred pages anew, which
// the trim at its end drops again: the spares cover that, so that the next run decodes into
// buffers that are there already.
constexpr std::size_t kSpares = 256;

// Pages of the stores given up in this process (files closed), for the next store made: opening a
// file anew, as a window opens its table, then reads its first pages into buffers that are there
// already instead of allocating four or five for each, and closing it frees none. Never destroyed,
// so that a store given up while the process ends finds it still there.
constexpr std::size_t kPooledPages = 256;
std::mutex poolMutex;
std::vector<std::unique_ptr<Page>>& pagePool() {
    static auto* pages = new std::vector<std::unique_ptr<Page>>();
    return *pages;
}

// Moves pages from `pages` to `into` while it holds fewer than `bound`, without a changed page's
// entries (not worth keeping); the pages left in `pages` go with it.
void keepUpTo(std::vector<std::unique_ptr<Page>>& pages, std::vector<std::unique_ptr<Page>>* into,
              std::size_t bound) {
    for (std::unique_ptr<Page>& page : pages) {
        if (into->size() >= bound) break;
        std::vector<Entry>().swap(page->entries);
        into->push_back(std::move(page));
    }
}

// What a decoded page costs in memory, roughly: the page, its index slots, its vectors (the
// pages below as the searches through it will make them) and, for a changed page, the entries'
// bytes that do not fit into the strings themselves.
std::size_t memoryOf(const Page& page) {
    static const std::size_t inlineBytes = std::string().capacity();
    const std::size_t below = Page::inlines(page.children.size()) ? 0 : page.children.size();
    std::size_t bytes = sizeof(Page) + 4 * sizeof(void*) + page.entries.capacity() * sizeof(Entry) +
                        page.children.capacity() * sizeof(std::uint32_t) +
                        std::max(page.below.capacity(), below) * sizeof(Page*) +
                        page.heads.capacity() * sizeof(std::uint64_t) + page.flat.capacity() +
                        page.spans.capacity() * sizeof(EntrySpan);
    for (const Entry& e : page.entries)
        if (e.bytes.capacity() > inlineBytes) bytes += e.bytes.capacity() + 1;
    return bytes;
}

} // namespace

void indexHeads(Page& page) {
    const std::size_t count = page.size();
    page.heads.clear();
    page.headCount = 0;
    page.headStart = count != 0 && page.keyLengthAt(0) == 0 ? 1 : 0;
    if (count <= page.headStart) return;
    const std::string_view first = page.keyAt(page.headStart), last = page.keyAt(count - 1);
    std::size_t from = 0;
    while (from < first.size() && from < last.size() && first[from] == last[from]) ++from;
    page.headShared.assign(first.substr(0, from));
    std::uint64_t* heads = page.headsInline;
    if (!Page::inlines(count)) {
        page.heads.resize(count);
        heads = page.heads.data();
    }
    for (std::size_t i = page.headStart; i < count; ++i) heads[i] = keyHead(page.keyAt(i), from);
    page.headCount = static_cast<std::uint32_t>(count);
}

std::size_t Page::fullSize() const {
    if (full_ != kUnknownSize) return full_;
    std::size_t total = 0;
    if (flat_) {
        for (const EntrySpan& span : spans) total += span.length;
    } else {
        for (const Entry& e : entries) total += e.bytes.size();
    }
    full_ = total;
    return total;
}

void Page::unflatten() {
    if (!flat_) return;
    entries.resize(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) copyEntry(i, &entries[i]);
    flat_ = false;
    // A changed page is held until the commit, and a large change holds many: the buffer goes.
    PageBytes().swap(flat);
    PageSpans().swap(spans);
}

void PageStore::List::pushFront(Page* page) {
    page->prev_ = nullptr;
    page->next_ = head;
    if (head != nullptr) head->prev_ = page;
    head = page;
    if (tail == nullptr) tail = page;
}

void PageStore::List::unlink(Page* page) {
    (page->prev_ != nullptr ? page->prev_->next_ : head) = page->next_;
    (page->next_ != nullptr ? page->next_->prev_ : tail) = page->prev_;
    page->prev_ = page->next_ = nullptr;
}

std::size_t PageIndex::home(std::uint32_t number) const {
    // Fibonacci hashing: page numbers of one class are spaced by the class, so the top bits of
    // the product spread them better than the low bits of the number would.
    return static_cast<std::size_t>((std::uint64_t{number} * 0x9E3779B97F4A7C15u) >> shift_);
}

Page* PageIndex::find(std::uint32_t number) const {
    if (count_ == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = home(number);; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.page == nullptr) return nullptr;
        if (slot.number == number) return slot.page.get();
    }
}

void PageIndex::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_ = std::vector<Slot>(old.empty() ? 64 : 2 * old.size());
    shift_ = 64 - std::countr_zero(slots_.size());
    count_ = 0;
    for (Slot& slot : old)
        if (slot.page != nullptr) insert(std::move(slot.page));
}

void PageIndex::insert(std::unique_ptr<Page> page) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = home(page->number);
    while (slots_[i].page != nullptr) i = (i + 1) & mask;
    slots_[i].number = page->number;
    slots_[i].page = std::move(page);
    ++count_;
}

std::unique_ptr<Page> PageIndex::take(std::uint32_t number) {
    if (count_ == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = home(number);
    for (;; i = (i + 1) & mask) {
        if (slots_[i].page == nullptr) return nullptr;
        if (slots_[i].number == number) break;
    }
    std::unique_ptr<Page> page = std::move(slots_[i].page);
    --count_;
    // Entries after the freed slot that would no longer be found from their home slot move back
    // into it, until the run of occupied slots ends.
    for (std::size_t j = (i + 1) & mask; slots_[j].page != nullptr; j = (j + 1) & mask) {
        const std::size_t k = home(slots_[j].number);
        // The entry at j may fill the hole at i when its home does not lie cyclically in (i, j].
        const bool between = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (between) continue;
        slots_[i].number = slots_[j].number;
        slots_[i].page = std::move(slots_[j].page);
        i = j;
    }
    return page;
}

void PageIndex::drainInto(std::vector<std::unique_ptr<Page>>* out) {
    for (Slot& slot : slots_)
        if (slot.page != nullptr) out->push_back(std::move(slot.page));
    clear();
}

void PageIndex::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    count_ = 0;
    shift_ = 64;
}

Page* PageStore::find(std::uint32_t number) const {
    return pages_.find(number);
}

void PageStore::linkClean(Page* page) {
    page->used_ = false;
    page->belowGeneration = Page::kNoGeneration;
    indexHeads(*page);
    page->bytes_ = memoryOf(*page);
    cleanBytes_ += page->bytes_;
    ++cleanCount_;
    page->zone_ = page->level != 0 ? Page::Zone::kInterior : Page::Zone::kProbation;
    if (page->level != 0) interiorBytes_ += page->bytes_;
    listOf(page->zone_).pushFront(page);
}

PageStore::List& PageStore::listOf(Page::Zone zone) {
    return zone == Page::Zone::kInterior    ? interior_
           : zone == Page::Zone::kProbation ? probation_
                                            : protected_;
}

void PageStore::unlinkClean(Page* page) {
    listOf(page->zone_).unlink(page);
    cleanBytes_ -= page->bytes_;
    if (page->zone_ == Page::Zone::kInterior) interiorBytes_ -= page->bytes_;
    if (page->zone_ == Page::Zone::kProtected) protectedBytes_ -= page->bytes_;
    --cleanCount_;
    page->heads.clear(); // its entries are about to change
    page->headCount = 0;
}

void PageStore::insert(std::unique_ptr<Page> page) {
    Page* p = page.get();
    pages_.insert(std::move(page));
    if (p->dirty_) {
        dirtyList_.pushFront(p);
        ++dirtyCount_;
    } else {
        linkClean(p);
    }
}

std::unique_ptr<Page> PageStore::take(std::uint32_t number) {
    std::unique_ptr<Page> page = pages_.take(number);
    if (page == nullptr) return nullptr;
    ++generation_;
    if (page->dirty_) {
        dirtyList_.unlink(page.get());
        --dirtyCount_;
    } else {
        unlinkClean(page.get());
    }
    return page;
}

PageStore::~PageStore() {
    std::vector<std::unique_ptr<Page>> pages = std::move(spare_);
    pages_.drainInto(&pages);
    // Only pages whose memory lies in the piece of page memory being cut from are kept, without
    // their search indexes: a page kept elsewhere would hold on to its piece, which otherwise,
    // once all its blocks are freed, is cut anew for blocks of any size. A large file's last
    // pages lie in every piece it used, and kept as they were, they made the next file's pages
    // take new memory for their entries while all those pieces stood nearly empty.
    std::erase_if(pages, [](const std::unique_ptr<Page>& page) {
        return !inNewestPiece(page.get()) || !inNewestPiece(page->flat.data()) ||
               (page->spans.data() != nullptr && !inNewestPiece(page->spans.data()));
    });
    for (std::unique_ptr<Page>& page : pages) {
        // A page taken from the pool is read anew, which indexes it again (linkClean).
        decltype(page->heads)().swap(page->heads);
        decltype(page->below)().swap(page->below);
        page->headCount = 0;
        page->belowGeneration = Page::kNoGeneration;
    }
    std::lock_guard lock(poolMutex);
    keepUpTo(pages, &pagePool(), kPooledPages);
}

std::unique_ptr<Page> PageStore::newPage() {
    if (spare_.empty()) {
        // A few at a time, so that the lock is taken once for many pages.
        std::lock_guard lock(poolMutex);
        std::vector<std::unique_ptr<Page>>& pool = pagePool();
        for (std::size_t n = 0; n < 32 && !pool.empty(); ++n) {
            spare_.push_back(std::move(pool.back()));
            pool.pop_back();
        }
    }
    if (spare_.empty()) return std::make_unique<Page>();
    std::unique_ptr<Page> page = std::move(spare_.back());
    spare_.pop_back();
    return page;
}

void PageStore::recycle(std::unique_ptr<Page> page) {
    if (page != nullptr && spare_.size() < kSpares) spare_.push_back(std::move(page));
}

int PageStore::readPage(std::uint32_t number, int pageClass, Page* page) {
    const std::size_t bytes = static_cast<std::size_t>(pageClass) * kPageUnit;
    if (buffer_.size() < bytes) buffer_.resize(bytes);
    std::uint64_t offset = pageAddress(number);
    if (!logMap_.empty()) {
        const auto it = logMap_.find(static_cast<std::uint32_t>(offset));
        if (it != logMap_.end()) offset = it->second;
    }
    std::size_t got = 0;
    const int rc = io_.read(offset, buffer_.data(), bytes, &got);
    if (rc != 0) return rc;
    if (got != bytes) return internalFault(1477);
    // The page decodes into its own (possibly reused) buffer and vectors, keeping their storage.
    FlatPage image;
    image.buffer.swap(page->flat);
    image.spans.swap(page->spans);
    image.children.swap(page->children);
    const int fault = decodePage(buffer_.data(), bytes, number, &image);
    page->flat.swap(image.buffer);
    page->spans.swap(image.spans);
    page->children.swap(image.children);
    page->entries.clear();
    page->forgetFullSize();
    page->flat_ = true;
    if (fault != 0) return internalFault(fault);
    page->number = number;
    page->pageClass = pageClass;
    page->level = image.level;
    page->lastAdded = Page::kNoneAdded;
    page->dirty_ = false;
    return 0;
}

int PageStore::load(std::uint32_t number, Page** out) {
    *out = nullptr;
    if (Page* page = find(number)) {
        // A use only marks the page; trim() moves it when it comes to it. Moving it here would
        // touch two more pages on every step of every search.
        page->used_ = true;
        *out = page;
        return 0;
    }
    // A number past every place a file can reach (one of a new page's, which is always held) is
    // not read from the file either.
    const int pageClass = number < kFirstUnplaced ? classOfNumber(header_, number) : 0;
    if (pageClass == 0) return internalFault(1735);
    std::unique_ptr<Page> page = newPage();
    const int rc = readPage(number, pageClass, page.get());
    if (rc != 0) {
        recycle(std::move(page));
        return rc;
    }
    *out = page.get();
    insert(std::move(page));
    return 0;
}

int PageStore::create(std::uint8_t level, int pageClass, Page** out) {
    *out = nullptr;
    // A new page gets its place at the commit, when its size is known (see placeNewPages); until
    // then it has a number past any place in a file.
    if (nextUnplaced_ == 0xFFFFFFFFu) return internalFault(1781);
    auto page = std::make_unique<Page>();
    page->number = nextUnplaced_++;
    page->pageClass = pageClass;
    page->level = level;
    page->dirty_ = true;
    *out = page.get();
    insert(std::move(page));
    return 0;
}

void PageStore::touch(Page* page) {
    if (page->dirty_) return;
    unlinkClean(page);
    page->unflatten();
    page->dirty_ = true;
    dirtyList_.pushFront(page);
    ++dirtyCount_;
}

int PageStore::release(const std::vector<Page*>& pages) {
    std::vector<std::pair<int, std::uint32_t>> places;
    for (Page* page : pages)
        if (page->placed()) places.emplace_back(page->pageClass, page->number);
    for (Page* page : pages) take(page->number);
    // Within a class the highest places go first, so a freed place is never filled from another
    // freed one.
    std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second > b.second;
    });
    for (const auto& [pageClass, number] : places) {
        const int rc = freePlace(pageClass, number);
        if (rc != 0) return rc;
    }
    return 0;
}

int PageStore::relocate(Page* page, int pageClass) {
    std::uint32_t number = 0;
    int rc = allocate(pageClass, &number);
    if (rc != 0) return rc;
    // The allocation may have moved the page itself; its number is read only now.
    const std::uint32_t old = page->number;
    const int oldClass = page->pageClass;
    rc = movePage(old, number);
    if (rc != 0) return rc;
    page->pageClass = pageClass;
    return freePlace(oldClass, old);
}

std::vector<Page*> PageStore::changedPages() const {
    // Sorted with their numbers beside them: a comparison that reached into each page would miss
    // the processor's cache on every one of a large change's pages.
    std::vector<std::pair<std::uint32_t, Page*>> numbered;
    numbered.reserve(dirtyCount_);
    for (Page* page = dirtyList_.head; page != nullptr; page = page->next_)
        numbered.emplace_back(page->number, page);
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Page*> pages;
    pages.reserve(numbered.size());
    for (const auto& [number, page] : numbered) pages.push_back(page);
    return pages;
}

void PageStore::markAllClean() {
    // The committed pages count as just used: the commit wrote them all. Those beyond the cache's
    // bounds go at once, the least recently changed first. A large change (a bulk add of a
    // million records) leaves far more pages than the cache holds: giving them key heads and an
    // order of use only for the next trim to drop them cost as much again, and that trim came at
    // the end of the next read.
    while (Page* page = dirtyList_.head) {
        dirtyList_.unlink(page);
        page->dirty_ = false;
        const bool fits = cleanCount_ < kKeepAtLeast ||
                          (cleanCount_ + 1 < holdBelow_ && cleanBytes_ + memoryOf(*page) <= cacheBytes_);
        if (fits) {
            linkClean(page);
        } else {
            ++generation_;
            recycle(pages_.take(page->number));
        }
    }
    dirtyCount_ = 0;
}

void PageStore::dropAll() {
    ++generation_;
    nextUnplaced_ = kFirstUnplaced;
    grown_.fill(0);
    // The pages are read again soon (another station's commit dropped them): some stay as spares.
    std::vector<std::unique_ptr<Page>> pages;
    pages_.drainInto(&pages);
    keepUpTo(pages, &spare_, kSpares);
    interior_ = probation_ = protected_ = {};
    dirtyList_ = {};
    cleanCount_ = cleanBytes_ = interiorBytes_ = protectedBytes_ = dirtyCount_ = 0;
}

// At least kKeepAtLeast unchanged pages stay. Beyond that the unchanged page unused longest goes
// (the order of use is kept lazily: a page used since it was put in place gets a second chance at
// the front) while the pages held exceed the memory budget or reach the page bound. Pages are not dropped
// for being idle alone: with the larger cache that rule emptied it between the uses of pages that
// random reads come back to, and reading them again cost more than the memory. Changed pages stay
// until the flush writes them, so a large change can hold more.
//
// Interior pages lie on the way to every leaf below them: leaves go before them, as long as the
// leaves keep an eighth of the budget (so that a walk along a leaf does not read it anew after
// every access). In a register of 200,000 memos read in date order, one order of use for all
// pages dropped the interior pages between their uses and read three of them anew for every two
// leaves. Where the interior pages do not fit the budget (400,000 memos and more), keeping them
// before leaves still paid: capping them at half the budget made a random read twice as slow.
//
// Leaves are kept in two orders: a leaf read from the file waits on probation, and only one used
// again before it would go there is protected. A record read passes through leaves it will not
// come back to soon (a memo's segments), which then go before the leaves that many records share
// (data entries and keys). The protected leaves take at most three quarters of what the leaves
// may take; beyond that the least recently used of them goes back on probation.
void PageStore::trim() {
    while (cleanCount_ > kKeepAtLeast && (cleanCount_ >= holdBelow_ || cleanBytes_ > cacheBytes_)) {
        const std::size_t interiorShare = cacheBytes_ - cacheBytes_ / 8;
        const bool noLeaves = probation_.tail == nullptr && protected_.tail == nullptr;
        if (interior_.tail != nullptr && (noLeaves || interiorBytes_ > interiorShare)) {
            Page* last = interior_.tail;
            // Used since it was put where it is: it goes to the front instead, as if moved then.
            if (last->used_) {
                last->used_ = false;
                interior_.unlink(last);
                interior_.pushFront(last);
            } else {
                recycle(take(last->number));
            }
            continue;
        }
        const std::size_t leafBudget = cacheBytes_ - std::min(interiorBytes_, interiorShare);
        if (protected_.tail != nullptr &&
            (probation_.tail == nullptr || protectedBytes_ > leafBudget / 4 * 3)) {
            Page* last = protected_.tail;
            protected_.unlink(last);
            if (last->used_) {
                last->used_ = false;
                protected_.pushFront(last);
            } else {
                protectedBytes_ -= last->bytes_;
                last->zone_ = Page::Zone::kProbation;
                probation_.pushFront(last);
            }
            continue;
        }
        Page* last = probation_.tail;
        if (last->used_) {
            last->used_ = false;
            probation_.unlink(last);
            last->zone_ = Page::Zone::kProtected;
            protectedBytes_ += last->bytes_;
            protected_.pushFront(last);
            continue;
        }
        recycle(take(last->number));
    }
}

} // namespace docket::drivers::qvn
