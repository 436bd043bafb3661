// The page space: the pages of class c lie together in [first(c), end(c)) in steps of c units,
// the ranges are ordered by class and do not overlap; gaps between them are free. An empty range
// keeps a position too (first == end), so that the order holds for every class.
#include <algorithm>
#include <functional>

#include "drivers/qvn/internal/fault.h"
#include "drivers/qvn/internal/page_store.h"

namespace docket::drivers::qvn {

namespace {
constexpr std::uint32_t kRoomAhead = 64; // see allocate
constexpr std::uint32_t kGapPagesKept = 2; // see closeGaps
constexpr std::uint32_t kGapShare = 16;
} // namespace

std::uint32_t PageStore::lowerLimit(int c) const {
    return c <= 1 ? 0 : header_.end[c - 1];
}

std::uint32_t PageStore::upperLimit(int c) const {
    return c >= kMaxClass ? 0xFFFFFFFFu : header_.first[c + 1];
}

int PageStore::movePage(std::uint32_t from, std::uint32_t to) {
    if (from == to) return 0;
    if (find(to) != nullptr) return internalFault(1781);
    Page* page = nullptr;
    int rc = load(from, &page);
    if (rc != 0) return rc;
    Page* parent = nullptr;
    std::size_t index = 0;
    rc = locator_->locateParent(page, &parent, &index);
    if (rc != 0) return rc;
    if (parent == nullptr) {
        header_.root = to;
    } else {
        parent->children[index] = to;
        touch(parent);
    }
    std::unique_ptr<Page> owned = take(from);
    owned->number = to;
    // A moved page is written anew at the commit, from entries of its own.
    owned->unflatten();
    owned->dirty_ = true;
    insert(std::move(owned));
    return 0;
}

// Makes first(k) at least `atLeast`, shifting the ranges above first where they are in the way.
int PageStore::shiftUp(int k, std::uint32_t atLeast) {
    auto& first = header_.first;
    auto& end = header_.end;
    if (first[k] >= atLeast) return 0;
    if (end[k] < first[k] || (end[k] - first[k]) % k != 0) return internalFault(1781);
    const std::uint32_t count = (end[k] - first[k]) / k;
    // A range moves in whole pages; with fewer pages than steps each page moves once, straight to
    // its new place.
    const std::uint32_t steps = (atLeast - first[k] + k - 1) / k;
    const std::uint32_t newFirst = count == 0 ? atLeast : first[k] + steps * k;
    const std::uint32_t newEnd = newFirst + count * k;
    if (newEnd < newFirst) return internalFault(1781);
    if (k < kMaxClass && first[k + 1] < newEnd) {
        const int rc = shiftUp(k + 1, newEnd);
        if (rc != 0) return rc;
    }
    if (count == 0 || steps >= count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const int rc = movePage(first[k] + i * k, newFirst + i * k);
            if (rc != 0) return rc;
        }
        first[k] = newFirst;
        end[k] = newEnd;
        return 0;
    }
    for (std::uint32_t i = 0; i < steps; ++i) {
        const int rc = movePage(first[k], end[k]);
        if (rc != 0) return rc;
        first[k] += k;
        end[k] += k;
    }
    return 0;
}

// A page opens space below its range when the gap right below is large enough (the gaps that
// closeGaps keeps are such room), and otherwise grows the range at its end.
//
// Growing a range at its end shifts the ranges above it. A long range shifts by moving as many of
// its pages as the shift needs, but a range of few pages moves whole, and the larger classes of a
// file of records hold few pages each: a run of new pages of one class (a bulk add) moved every
// page of those ranges for each new page. The shift therefore also makes room for as many more
// pages of the class as it took since the last commit (up to kRoomAhead), so that such a run
// shifts them about log n times. A commit's own few new pages shift as before, and the room left
// over is closed with the gaps at the commit. Our choice; the file keeps its form either way.
int PageStore::allocate(int c, std::uint32_t* number) {
    if (c < 1 || c > kMaxClass) return internalFault(1678);
    auto& first = header_.first;
    auto& end = header_.end;
    if (c > 1 && first[c] >= lowerLimit(c) + c) {
        first[c] -= c;
        *number = first[c];
        return 0;
    }
    if (end[c] > 0xFFFFFFFFu - (kRoomAhead + 2) * kMaxClass) return internalFault(1781);
    if (first[c] == end[c] && first[c] < lowerLimit(c)) first[c] = end[c] = lowerLimit(c);
    if (c < kMaxClass && upperLimit(c) < end[c] + c) {
        const std::uint32_t ahead = std::min(grown_[c], kRoomAhead) * static_cast<std::uint32_t>(c);
        const int rc = shiftUp(c + 1, end[c] + c + ahead);
        if (rc != 0) return rc;
    }
    ++grown_[c];
    *number = end[c];
    end[c] += c;
    return 0;
}

// The new pages are placed class by class, from the smallest up, each class's at the end of its
// range in one run: the room is made by one shift of the ranges above, and a range once given its
// new pages is not moved again (only larger ones are shifted after it). Into an empty file, a
// bulk add of any size so moves no page at all; placing each page when it was made, in a class
// guessed before its size was known, moved three pages for every record of a bulk add.
int PageStore::placeNewPages(const std::function<int(const Page*)>& classOf) {
    std::vector<std::pair<int, Page*>> fresh;
    for (Page* page = dirtyList_.head; page != nullptr; page = page->next_)
        if (!page->placed()) fresh.emplace_back(classOf(page), page);
    std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second->number < b.second->number;
    });
    auto& first = header_.first;
    auto& end = header_.end;
    // Pass 1: room at the end of each class's range.
    std::vector<std::uint32_t> places(fresh.size());
    for (std::size_t i = 0; i < fresh.size();) {
        const int c = fresh[i].first;
        if (c < 1 || c > kMaxClass) return internalFault(1678);
        std::size_t n = 0;
        while (i + n < fresh.size() && fresh[i + n].first == c) ++n;
        if (first[c] == end[c] && first[c] < lowerLimit(c)) first[c] = end[c] = lowerLimit(c);
        const std::uint64_t need = end[c] + std::uint64_t{n} * static_cast<std::uint32_t>(c);
        if (need >= kFirstUnplaced) return internalFault(1781);
        if (c < kMaxClass && upperLimit(c) < need) {
            const int rc = shiftUp(c + 1, static_cast<std::uint32_t>(need));
            if (rc != 0) return rc;
        }
        for (std::size_t j = 0; j < n; ++j) places[i + j] = end[c] + static_cast<std::uint32_t>(j * c);
        end[c] = static_cast<std::uint32_t>(need);
        i += n;
    }
    // Pass 2: the pages take their places; the references to their old numbers are all in pages
    // changed since the last commit (a page refers to a new page only after a change), or in the
    // header's root.
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::vector<std::uint32_t> placeOf(nextUnplaced_ - kFirstUnplaced, kNone);
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        std::unique_ptr<Page> page = take(fresh[i].second->number);
        placeOf[page->number - kFirstUnplaced] = places[i];
        page->number = places[i];
        page->pageClass = fresh[i].first;
        insert(std::move(page));
    }
    auto placeFor = [&](std::uint32_t* number) {
        if (*number < kFirstUnplaced) return true;
        const std::uint32_t i = *number - kFirstUnplaced;
        if (i >= placeOf.size() || placeOf[i] == kNone) return false;
        *number = placeOf[i];
        return true;
    };
    for (Page* page = dirtyList_.head; page != nullptr; page = page->next_)
        for (std::uint32_t& child : page->children)
            if (!placeFor(&child)) return internalFault(1781);
    if (!placeFor(&header_.root)) return internalFault(1781);
    nextUnplaced_ = kFirstUnplaced;
    return 0;
}

int PageStore::freePlace(int c, std::uint32_t number) {
    auto& first = header_.first;
    auto& end = header_.end;
    if (end[c] < first[c] + c || number < first[c] || number >= end[c] || (number - first[c]) % c != 0)
        return internalFault(1781);
    const std::uint32_t last = end[c] - c;
    if (number != last) {
        const int rc = movePage(last, number);
        if (rc != 0) return rc;
    }
    end[c] = last;
    return 0;
}

// A gap below a range of at most two of its pages, or a sixteenth of its pages, stays: a commit of
// one record moves a few leaves up a class each, and the place each leaves in its old range is
// the room the next one of the class above grows into. Closing every gap at every commit made
// each such leaf shift every larger range again at the next commit: 37 page writes a durable add
// of a memo against 30 now, for 1% more file. The file format takes gaps between ranges as free
// space, so this is our choice, not a rule of the file.
int PageStore::closeGaps() {
    grown_.fill(0);
    auto& first = header_.first;
    auto& end = header_.end;
    for (int c = 1; c <= kMaxClass; ++c) {
        const std::uint32_t low = lowerLimit(c);
        if (first[c] < low || end[c] < first[c]) return internalFault(1781);
        const std::uint32_t count = (end[c] - first[c]) / c;
        const std::uint32_t keep = static_cast<std::uint32_t>(c) * std::max(kGapPagesKept, count / kGapShare);
        const std::uint32_t gap = first[c] - low;
        if (count == 0) {
            first[c] = end[c] = low;
        } else if (gap <= keep) {
            continue;
        } else if (count == 1) {
            const int rc = movePage(first[c], low);
            if (rc != 0) return rc;
            first[c] = low;
            end[c] = low + c;
        } else {
            while (first[c] - low >= static_cast<std::uint32_t>(c) && first[c] - low > keep) {
                const int rc = movePage(end[c] - c, first[c] - c);
                if (rc != 0) return rc;
                first[c] -= c;
                end[c] -= c;
            }
        }
    }
    return 0;
}

} // namespace docket::drivers::qvn
