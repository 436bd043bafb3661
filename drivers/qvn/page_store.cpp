#include "drivers/qvn/page_store.h"

#include <algorithm>

#include "drivers/qvn/fault.h"

namespace docket::drivers::qvn {

Page* PageStore::find(std::uint32_t number) const {
    for (const auto& page : chains_[number % kChains])
        if (page->number == number) return page.get();
    return nullptr;
}

void PageStore::insert(std::unique_ptr<Page> page) {
    chains_[page->number % kChains].push_back(std::move(page));
}

std::unique_ptr<Page> PageStore::take(std::uint32_t number) {
    auto& chain = chains_[number % kChains];
    for (auto it = chain.begin(); it != chain.end(); ++it)
        if ((*it)->number == number) {
            std::unique_ptr<Page> page = std::move(*it);
            chain.erase(it);
            return page;
        }
    return nullptr;
}

int PageStore::readPage(std::uint32_t number, int pageClass, Page* page) {
    const std::size_t bytes = static_cast<std::size_t>(pageClass) * kPageUnit;
    buffer_.resize(bytes);
    std::uint64_t offset = pageAddress(number);
    if (!logMap_.empty()) {
        const auto it = logMap_.find(static_cast<std::uint32_t>(offset));
        if (it != logMap_.end()) offset = it->second;
    }
    std::size_t got = 0;
    const int rc = io_.read(offset, buffer_.data(), bytes, &got);
    if (rc != 0) return rc;
    if (got != bytes) return internalFault(1477);
    PageImage image;
    const int fault = decodePage(buffer_.data(), bytes, number, &image);
    if (fault != 0) return internalFault(fault);
    page->number = number;
    page->pageClass = pageClass;
    page->level = image.level;
    page->entries = std::move(image.entries);
    page->children = std::move(image.children);
    page->dirty = false;
    return 0;
}

int PageStore::load(std::uint32_t number, Page** out) {
    *out = nullptr;
    if (Page* page = find(number)) {
        page->lastUse = ++clock_;
        *out = page;
        return 0;
    }
    const int pageClass = classOfNumber(header_, number);
    if (pageClass == 0) return internalFault(1735);
    auto page = std::make_unique<Page>();
    const int rc = readPage(number, pageClass, page.get());
    if (rc != 0) return rc;
    page->lastUse = ++clock_;
    *out = page.get();
    insert(std::move(page));
    return 0;
}

int PageStore::create(std::uint8_t level, int pageClass, Page** out) {
    *out = nullptr;
    std::uint32_t number = 0;
    const int rc = allocate(pageClass, &number);
    if (rc != 0) return rc;
    auto page = std::make_unique<Page>();
    page->number = number;
    page->pageClass = pageClass;
    page->level = level;
    page->dirty = true;
    page->lastUse = ++clock_;
    *out = page.get();
    insert(std::move(page));
    return 0;
}

int PageStore::release(const std::vector<Page*>& pages) {
    std::vector<std::pair<int, std::uint32_t>> places;
    for (Page* page : pages) places.emplace_back(page->pageClass, page->number);
    for (const auto& [pageClass, number] : places) take(number);
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
    std::vector<Page*> pages;
    for (const auto& chain : chains_)
        for (const auto& page : chain)
            if (page->dirty) pages.push_back(page.get());
    std::sort(pages.begin(), pages.end(), [](const Page* a, const Page* b) { return a->number < b->number; });
    return pages;
}

bool PageStore::hasChanges() const {
    for (const auto& chain : chains_)
        for (const auto& page : chain)
            if (page->dirty) return true;
    return false;
}

void PageStore::markAllClean() {
    for (auto& chain : chains_)
        for (auto& page : chain) page->dirty = false;
}

void PageStore::dropAll() {
    for (auto& chain : chains_) chain.clear();
}

std::size_t PageStore::held() const {
    std::size_t n = 0;
    for (const auto& chain : chains_) n += chain.size();
    return n;
}

std::size_t PageStore::heldClean() const {
    std::size_t n = 0;
    for (const auto& chain : chains_)
        for (const auto& page : chain) n += page->dirty ? 0 : 1;
    return n;
}

// Eviction between 20 and 99 pages: the least recently used unchanged page goes when it has not
// been used for as many page uses as four times the number of pages held, that is when it has
// been idle long compared with the others; at 100 pages or more it goes in any case. Changed
// pages stay until the flush writes them, so a large change can hold more.
void PageStore::trim() {
    for (;;) {
        const std::size_t clean = heldClean();
        if (clean <= kKeepAtLeast) return;
        Page* oldest = nullptr;
        for (const auto& chain : chains_)
            for (const auto& page : chain)
                if (!page->dirty && (oldest == nullptr || page->lastUse < oldest->lastUse))
                    oldest = page.get();
        if (oldest == nullptr) return;
        const bool idle = clock_ - oldest->lastUse > 4 * clean;
        if (clean < kHoldBelow && !idle) return;
        take(oldest->number);
    }
}

} // namespace docket::drivers::qvn
