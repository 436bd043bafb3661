#include "drivers/qvn/file_check.h"

#include <map>
#include <optional>
#include <set>

#include "drivers/qvn/internal/block_io.h"
#include "runtime/core/fatal.h"
#include "drivers/qvn/internal/table_entries.h"

namespace docket::drivers::qvn {

namespace {

std::string hex(std::uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

class Examiner {
public:
    Examiner(BlockIo& io, FileReport& report) : io_(io), r_(report) {}

    void run();

private:
    void problem(std::string text) { r_.problems.push_back(std::move(text)); }
    bool readLog(const FileHeader& onDisk);
    void checkRanges();
    bool readPage(std::uint32_t number, PageImage* page);
    void walk();

    BlockIo& io_;
    FileReport& r_;
    std::map<std::uint32_t, std::uint64_t> log_;
    std::set<std::uint32_t> seen_;
};

bool Examiner::readLog(const FileHeader& onDisk) {
    std::uint64_t pos = onDisk.logStart;
    std::uint8_t head[kHeaderSize];
    bool haveHeader = false;
    FileHeader logged;
    while (pos < onDisk.logEnd) {
        std::size_t got = 0;
        if (io_.read(pos, head, kPageUnit, &got) != 0 || got != kPageUnit) return false;
        const std::uint32_t address = ownAddressOf(head);
        std::size_t length = roundUp(storedSizeOf(head), kPageUnit);
        if (address == 0) {
            length = kHeaderSize;
            if (io_.read(pos, head, kHeaderSize, &got) != 0 || got != kHeaderSize ||
                !decodeHeader(head, &logged))
                return false;
            haveHeader = true;
        } else if (length == 0 || length > kMaxPageSize) {
            return false;
        }
        if (pos + length > onDisk.logEnd) return false;
        log_[address] = pos;
        pos += length;
    }
    if (!haveHeader || pos != onDisk.logEnd) return false;
    r_.header = logged;
    return true;
}

void Examiner::checkRanges() {
    const FileHeader& h = r_.header;
    if (h.first[0] != 0 || h.end[0] != 0) problem("class 0 has a range");
    std::uint32_t below = 0;
    for (int c = 1; c <= kMaxClass; ++c) {
        if (h.end[c] < h.first[c]) {
            problem("class " + std::to_string(c) + ": range ends before it starts");
            continue;
        }
        if ((h.end[c] - h.first[c]) % c != 0)
            problem("class " + std::to_string(c) + ": range is not a whole number of pages");
        const bool empty = h.end[c] == h.first[c];
        if (!empty && h.first[c] < below)
            problem("class " + std::to_string(c) + ": range overlaps the range below it");
        if (!empty) below = h.end[c];
        r_.pagesPerClass[c] = (h.end[c] - h.first[c]) / c;
    }
    if (!log_.empty()) return;
    if (pageSpaceEnd(h) > r_.fileSize) problem("the page space ends past the end of the file");
}

bool Examiner::readPage(std::uint32_t number, PageImage* page) {
    const int c = classOfNumber(r_.header, number);
    if (c == 0) {
        problem("page " + std::to_string(number) + " lies in no class range");
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(c) * kPageUnit;
    std::vector<std::uint8_t> data(bytes);
    std::uint64_t offset = pageAddress(number);
    if (auto it = log_.find(static_cast<std::uint32_t>(offset)); it != log_.end()) offset = it->second;
    std::size_t got = 0;
    if (io_.read(offset, data.data(), bytes, &got) != 0 || got != bytes) {
        problem("page " + std::to_string(number) + " cannot be read in full");
        return false;
    }
    const std::string where = "page " + std::to_string(number) + ": ";
    if (ownAddressOf(data.data()) != pageAddress(number))
        problem(where + "own address " + hex(ownAddressOf(data.data())) + " instead of " +
                hex(pageAddress(number)));
    const std::size_t stored = storedSizeOf(data.data());
    if (stored <= bytes && roundUp(stored, kPageUnit) != bytes)
        problem(where + "stored size " + std::to_string(stored) + " does not need class " +
                std::to_string(c));
    for (std::size_t i = stored; i < bytes; ++i)
        if (data[i] != kPadByte) {
            problem(where + "padding byte at " + std::to_string(i) + " is not 0xB0");
            break;
        }
    const int fault = decodePage(data.data(), bytes, number, page);
    if (fault != 0) {
        problem(where + "does not decode (" + std::to_string(fault) + ")");
        return false;
    }
    return true;
}

void Examiner::walk() {
    struct Item {
        std::uint32_t number;
        int level; // expected, -1 for the root
        std::optional<std::string> low, high;
    };
    if (pageSpaceEnd(r_.header) <= kHeaderSize) return;
    std::vector<Item> stack{{r_.header.root, -1, std::nullopt, std::nullopt}};
    int leafDepth = -1;
    std::map<std::uint32_t, int> depthOf{{r_.header.root, 0}};
    while (!stack.empty()) {
        Item item = std::move(stack.back());
        stack.pop_back();
        if (!seen_.insert(item.number).second) {
            problem("page " + std::to_string(item.number) + " is referred to twice");
            continue;
        }
        PageImage page;
        if (!readPage(item.number, &page)) continue;
        ++r_.pagesInTree;
        const std::string where = "page " + std::to_string(item.number) + ": ";
        const int depth = depthOf[item.number];
        if (item.level < 0)
            r_.depth = page.level + 1;
        else if (page.level != item.level)
            problem(where + "level " + std::to_string(page.level) + " instead of " +
                    std::to_string(item.level));
        if (page.level == 0) {
            if (leafDepth < 0)
                leafDepth = depth;
            else if (leafDepth != depth)
                problem(where + "leaf at another depth than the others");
        }
        const std::size_t firstReal = page.level != 0 ? 1 : 0;
        if (page.level != 0 && (page.entries.empty() || !page.entries[0].bytes.empty()))
            problem(where + "interior page does not begin with the empty entry");
        for (std::size_t i = firstReal; i < page.entries.size(); ++i) {
            const Entry& e = page.entries[i];
            if (e.keyLength == 0) problem(where + "entry " + std::to_string(i) + " has an empty key part");
            if (i > firstReal && compareKeys(page.entries[i - 1].key(), e.key()) >= 0)
                problem(where + "entry " + std::to_string(i) + " is out of order");
            if (item.low && compareKeys(*item.low, e.key()) >= 0)
                problem(where + "entry " + std::to_string(i) + " is not after its parent's entry");
            if (item.high && compareKeys(e.key(), *item.high) >= 0)
                problem(where + "entry " + std::to_string(i) + " is not before the parent's next entry");
            if (e.keyLength != 0 && e.key()[0] == '\xFE' && e.bytes.size() == e.keyLength + std::size_t{4}) {
                r_.tables.emplace_back(std::string(e.key().substr(1)), readLittle32(e.data(), 0));
            }
            ++r_.entries;
        }
        if (page.level == 0) continue;
        for (std::size_t i = page.entries.size(); i-- > 0;) {
            Item below{page.children[i], page.level - 1, item.low, item.high};
            if (i >= 1) below.low = std::string(page.entries[i].key());
            if (i + 1 < page.entries.size()) below.high = std::string(page.entries[i + 1].key());
            depthOf[below.number] = depth + 1;
            stack.push_back(std::move(below));
        }
    }
}

void Examiner::run() {
    io_.size(&r_.fileSize);
    FileHeader onDisk;
    if (r_.fileSize == 0) {
        r_.opened = true;
        return;
    }
    std::uint8_t bytes[kHeaderSize];
    std::size_t got = 0;
    if (r_.fileSize < kHeaderSize || io_.read(0, bytes, kHeaderSize, &got) != 0 || got != kHeaderSize ||
        !decodeHeader(bytes, &onDisk)) {
        r_.openError = 36;
        problem("not a native file (or a wrong password)");
        return;
    }
    r_.opened = true;
    r_.header = onDisk;
    if (onDisk.ownAddress != 0 || onDisk.ownSize != kHeaderSize)
        problem("header: own address or size is wrong");
    if (onDisk.zero != 0) problem("header: bytes 18-19 are not zero");
    if (onDisk.logStart != onDisk.logEnd) {
        r_.logPending = true;
        if (!readLog(onDisk)) {
            problem("a commit log is pending but cannot be read in full; the committed state is shown");
            log_.clear();
            r_.header = onDisk;
        }
    }
    checkRanges();
    walk();
    // Pages that no page refers to are looked for only when the ranges fit the file.
    const std::size_t before = r_.problems.size();
    if (before != 0 || (log_.empty() && pageSpaceEnd(r_.header) > r_.fileSize)) return;
    for (int c = 1; c <= kMaxClass; ++c)
        for (std::uint32_t n = r_.header.first[c]; n < r_.header.end[c] && r_.problems.size() < before + 100;
             n += c)
            if (seen_.count(n) == 0)
                problem("page " + std::to_string(n) + " of class " + std::to_string(c) +
                        " is not in the tree");
}

} // namespace

FileReport examineFile(const std::string& path, const std::string& password) {
    FileReport report;
    BlockIo io;
    const int rc =
        io.open(path, platform::Access::ReadOnly, platform::Share::All, platform::Disposition::OpenExisting);
    if (rc != 0) {
        report.openError = rc;
        report.problems.push_back("cannot open the file (platform code " + std::to_string(rc) + ")");
        return report;
    }
    if (!password.empty()) io.setKey(deriveScrambleKey(password));
    // Reads never stop the program here: a damaged file is reported, not halted on.
    runtime::FatalHook previous = runtime::setFatalHook([](const std::string&) {});
    Examiner(io, report).run();
    runtime::setFatalHook(std::move(previous));
    return report;
}

} // namespace docket::drivers::qvn
