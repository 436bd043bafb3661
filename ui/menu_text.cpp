#include "ui/menu_text.h"

namespace docket::ui {
namespace {

MenuEntry makeEntry(std::string_view raw) {
    MenuEntry entry;
    if (raw == "-") {
        entry.separator = true;
        return entry;
    }
    std::size_t pos = 0;
    while (pos < raw.size()) {
        char c = raw[pos];
        if (c == '~') {
            entry.disabled = true;
        } else if (c == '+') {
            entry.checkable = entry.checked = true;
        } else if (c == '-' && pos + 1 < raw.size()) {
            entry.checkable = true;
        } else {
            break;
        }
        ++pos;
    }
    if (pos < raw.size() && raw[pos] == '[') {
        std::size_t close = raw.find(']', pos);
        if (close != std::string_view::npos) {
            std::string_view attributes = raw.substr(pos + 1, close - pos - 1);
            std::size_t open = attributes.find("(~");
            if (open != std::string_view::npos) {
                std::size_t end = attributes.find(')', open);
                if (end != std::string_view::npos) entry.icon = attributes.substr(open + 2, end - open - 2);
            }
            pos = close + 1;
        }
    }
    entry.text = raw.substr(pos);
    return entry;
}

// Entries that are empty once their markers are read (an untitled "{}" among them) are ignored like
// empty texts between two "|": they would show as blank selectable lines and shift the ordinals.
void dropEmpty(std::vector<MenuEntry>& entries) {
    std::erase_if(entries, [](MenuEntry& entry) {
        dropEmpty(entry.children);
        return !entry.separator && entry.text.empty() && entry.children.empty();
    });
}

void number(std::vector<MenuEntry>& entries, int& next) {
    for (MenuEntry& entry : entries) {
        if (entry.separator) continue;
        if (!entry.children.empty()) {
            number(entry.children, next);
        } else {
            entry.ordinal = ++next;
        }
    }
}

int largest(const std::vector<MenuEntry>& entries) {
    int best = 0;
    for (const MenuEntry& entry : entries) {
        best = std::max(best, entry.ordinal);
        if (!entry.children.empty()) best = std::max(best, largest(entry.children));
    }
    return best;
}

} // namespace

std::vector<MenuEntry> parseMenuText(std::string_view text) {
    std::vector<MenuEntry> top;
    // The open submenus, innermost last; each points at the entry list new entries go to.
    std::vector<std::vector<MenuEntry>*> levels{&top};
    std::string current;
    auto flush = [&]() -> MenuEntry* {
        if (current.empty()) return nullptr;
        levels.back()->push_back(makeEntry(current));
        current.clear();
        return &levels.back()->back();
    };
    for (char c : text) {
        if (c == '|') {
            flush();
        } else if (c == '{') {
            MenuEntry* title = flush();
            if (title == nullptr) {
                // A submenu without a title still groups its entries.
                levels.back()->push_back(MenuEntry{});
                title = &levels.back()->back();
            }
            levels.push_back(&title->children);
        } else if (c == '}') {
            flush();
            if (levels.size() > 1) levels.pop_back();
        } else {
            current += c;
        }
    }
    flush();
    dropEmpty(top);
    int next = 0;
    number(top, next);
    return top;
}

int selectableCount(const std::vector<MenuEntry>& entries) {
    return largest(entries);
}

} // namespace docket::ui
