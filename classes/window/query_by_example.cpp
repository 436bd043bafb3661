#include "classes/window/query_by_example.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "classes/window/ini_store.h"
#include "classes/window/popup_menu.h"
#include "classes/window/query_filter.h"
#include "classes/window/query_settings.h"
#include "runtime/core/char_tables.h"
#include "runtime/picture/picture.h"
#include "ui/events.h"
#include "ui/modal.h"

namespace docket::classes {
namespace {

constexpr std::size_t kNameLimit = 99; // CSTRING(100)
constexpr const char* kSeparatorItem = "tsQBESeparator";
constexpr const char* kClearSeparatorItem = "ClearSeparator";
constexpr const char* kQueryItemPrefix = "tsQBEQuery";

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string trimRight(const std::string& text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string upper(const std::string& text) {
    return runtime::upperText(text);
}

} // namespace

void QueryByExample::Init(ErrorReporter* errors, IniStore* ini, const std::string& family,
                          ui::Window* parent) {
    ERRORS = errors;
    INIMGR = ini;
    FAMILY = family;
    PARENTWINDOW = parent;
}

void QueryByExample::Kill() {
    FIELDS.clear();
    POPUPLIST.clear();
    popup_ = nullptr;
}

void QueryByExample::AddItem(const std::string& name, const std::string& title, const std::string& picture,
                             bool forceEditPicture) {
    QueryField field;
    field.dNAME = name.substr(0, kNameLimit);
    field.dTITLE = title.substr(0, kNameLimit);
    field.PICTURE = !picture.empty() && picture.front() == '@' ? picture.substr(1) : picture;
    field.FORCEEDITPICTURE = forceEditPicture ? 1 : 0;
    FIELDS.push_back(std::move(field));
}

void QueryByExample::AddTextItem(const std::string& name, const std::string& title,
                                 std::function<std::string()> text) {
    AddItem(name, title, "S255");
    FIELDS.back().TEXTOF = std::move(text);
}

QueryField* QueryByExample::find(const std::string& name) {
    for (QueryField& f : FIELDS)
        if (f.dNAME == name) return &f;
    return nullptr;
}

bool QueryByExample::GetNextCondition(const QueryField& field, QueryCondition& out, bool previousMore) {
    return nextQueryCondition(field, out, previousMore);
}

std::string QueryByExample::BuildQueryFilter() {
    return buildQueryFilter(FIELDS, [this](const QueryField& f, QueryCondition& c, bool more) {
        return GetNextCondition(f, c, more);
    });
}

bool QueryByExample::Ask() {
    return runQuerySettings(*this);
}

bool QueryByExample::HasConditions() const {
    for (const QueryField& f : FIELDS)
        if (f.LOW || f.MIDDLE || f.HIGH) return true;
    return false;
}

bool QueryByExample::Matches() const {
    for (const QueryField& field : FIELDS) {
        if (!field.TEXTOF || !(field.LOW || field.MIDDLE || field.HIGH)) continue;
        // Searching words is free of case, as the program's text matcher is.
        const std::string text = upper(field.TEXTOF());
        bool more = false;
        do {
            QueryCondition c;
            more = const_cast<QueryByExample*>(this)->GetNextCondition(field, c, more);
            if (c.OPERATOR.empty() && c.VALUE.empty()) continue;
            const std::string value = upper(c.VALUE);
            const std::string& op = c.OPERATOR;
            bool pass;
            if (op == "Contains" || op == "~") {
                pass = text.find(value) != std::string::npos;
            } else if (op == "Begins") {
                pass = text.compare(0, value.size(), value) == 0;
            } else if (op == "<>") {
                pass = trimRight(text) != trimRight(value);
            } else if (op == "<") {
                pass = text < value;
            } else if (op == "<=") {
                pass = text <= value;
            } else if (op == ">") {
                pass = text > value;
            } else if (op == ">=") {
                pass = text >= value;
            } else {
                pass = trimRight(text) == trimRight(value);
            }
            if (!pass) return false;
        } while (more);
    }
    return true;
}

void QueryByExample::SetValues(const std::string& name, const std::string& low, const std::string& high,
                               const std::string& middle, bool keepLow, bool keepHigh, bool keepMiddle) {
    QueryField* field = find(name);
    if (field == nullptr) return;
    auto put = [](std::unique_ptr<std::string>& target, const std::string& text) {
        if (trimmed(text).empty())
            target.reset();
        else
            target = std::make_unique<std::string>(text);
    };
    if (!keepLow) put(field->LOW, low);
    if (!keepHigh) put(field->HIGH, high);
    if (!keepMiddle) put(field->MIDDLE, middle);
}

void QueryByExample::Clear(bool all) {
    if (!all) return;
    for (QueryField& f : FIELDS) SetValues(f.dNAME, {}, {}, {}, false, false, false);
}

// ---- Saved queries -----------------------------------------------------------------------------

std::string QueryByExample::CheckQueryName(const std::string& raw) {
    const std::string name = trimmed(raw);
    if (name.empty()) return "Type a name for the query first.";
    if (name == kRecentQuery)
        return "The name \"tsMRU\" is kept for the query used last. Choose another name.";
    if (name.size() > kNameLimit) return "A query name can be at most 99 characters long.";
    if (name.find_first_of(",[]|{}\r\n") != std::string::npos)
        return "A query name cannot hold a comma, a square bracket, a brace, \"|\" or a line break.";
    if (name.front() == '-' || name.front() == '~' || name.front() == '+')
        return "A query name cannot start with \"-\", \"~\" or \"+\".";
    return {};
}

std::string QueryByExample::sectionOf(const std::string& name) const {
    return INIMGR->SectorName(kQueryFamily, name, FAMILY);
}

bool QueryByExample::SaveQuery(const std::string& raw, std::string& refusal) {
    refusal = CheckQueryName(raw);
    if (!refusal.empty()) return false;
    return save(trimmed(raw), refusal);
}

bool QueryByExample::SaveRecent() {
    std::string ignored;
    return save(kRecentQuery, ignored);
}

bool QueryByExample::save(const std::string& name, std::string& refusal) {
    if (INIMGR == nullptr) {
        refusal = "Queries cannot be saved: the program has no settings file.";
        return false;
    }
    const std::string section = sectionOf(name);
    INIMGR->RemoveSector(section);
    INIMGR->WriteEntry(section, "Query", std::to_string(FIELDS.size()));
    for (std::size_t i = 0; i < FIELDS.size(); ++i) {
        QueryField& f = FIELDS[i];
        f.QUERYSTRING = encodeQueryTexts(f);
        INIMGR->WriteEntry(section, "Query_" + std::to_string(i + 1), f.dNAME + "," + f.QUERYSTRING);
    }
    INIMGR->AddSector(section);
    RefreshPopup();
    return true;
}

bool QueryByExample::SaveQuery(const std::string& name) {
    std::string refusal;
    if (SaveQuery(name, refusal)) return true;
    ui::messageBox(refusal, "Query by Example", ui::icon::Exclamation);
    return false;
}

bool QueryByExample::LoadQuery(const std::string& raw) {
    if (INIMGR == nullptr) return false;
    const std::string name = trimmed(raw);
    std::vector<SectorEntry> found;
    INIMGR->ListSectors(found, kQueryFamily, name, FAMILY);
    if (found.empty()) return false;
    const std::string section = sectionOf(name);
    const std::string count = INIMGR->ReadEntry(section, "Query");
    if (!isPlainNumber(count)) return false;
    Clear(true);
    const long n = std::min(std::stol(count.substr(0, 9)), 1000L);
    for (long i = 1; i <= n; ++i) {
        const std::string line = INIMGR->ReadEntry(section, "Query_" + std::to_string(i));
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        QueryField* field = find(line.substr(0, comma));
        if (field == nullptr) continue; // a field the list no longer has
        field->QUERYSTRING = line.substr(comma + 1);
        const std::vector<std::string> texts = decodeQueryTexts(field->QUERYSTRING);
        SetValues(field->dNAME, texts[0], texts[2], texts[1], false, false, false);
    }
    if (name != kRecentQuery) QKCURRENTQUERY = name;
    RefreshPopup();
    return true;
}

void QueryByExample::DeleteQuery(const std::string& raw) {
    if (INIMGR == nullptr) return;
    const std::string name = trimmed(raw);
    INIMGR->RemoveSector(sectionOf(name));
    if (QKCURRENTQUERY == name) QKCURRENTQUERY.clear();
    RefreshPopup();
}

std::vector<std::string> QueryByExample::SavedQueries() const {
    std::vector<std::string> names;
    if (INIMGR == nullptr) return names;
    std::vector<SectorEntry> entries;
    INIMGR->ListSectors(entries, kQueryFamily, {}, FAMILY);
    for (const SectorEntry& e : entries)
        if (e.ITEM != kRecentQuery) names.push_back(e.ITEM);
    return names;
}

// ---- The popup menu ----------------------------------------------------------------------------

void QueryByExample::AddToPopup(PopupMenu& popup, std::int16_t control) {
    popup_ = &popup;
    popupControl_ = control;
    RefreshPopup();
}

void QueryByExample::RefreshPopup() {
    if (popup_ == nullptr) return;
    auto& items = popup_->POPUPITEMS;
    // Our items are taken out and made again, where they were (the end, unless QKSUBMENUPOS).
    std::size_t at = items.size();
    for (std::size_t i = items.size(); i-- > 0;) {
        const std::string& n = items[i].NAME;
        const bool ours = n == kSeparatorItem || n == kQueryViewItem || n == kQueryEmptyItem ||
                          n == kClearSeparatorItem || n == kQueryClearItem ||
                          n.rfind(kQueryItemPrefix, 0) == 0;
        if (ours) {
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            at = i;
        }
    }
    if (QKSUBMENUPOS != 0 && at == items.size()) at = std::min<std::size_t>(QKSUBMENUPOS - 1u, items.size());
    POPUPLIST.clear();
    std::string after = at == 0 ? std::string() : items[at - 1].NAME;
    auto add = [&](const std::string& text, const std::string& name, std::uint16_t depth) {
        // With `after` blank AddEntry appends: the submenu then ends the menu.
        after = popup_->AddEntry(text, name, after, depth);
        PopupItem* item = popup_->Find(after);
        item->TEXT = text; // taken whole: a query's name may start with a flag character
        return item;
    };
    add("-", kSeparatorItem, 1);
    add("View", kQueryViewItem, 1)->ICON = QKMENUICON;
    const std::vector<std::string> names = SavedQueries();
    if (names.empty()) {
        add("Empty", kQueryEmptyItem, 2)->DISABLED = 1;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        PopupItem* item = add(names[i], kQueryItemPrefix + std::to_string(i + 1), 2);
        item->ICON = QKICON;
        item->CHECK = names[i] == QKCURRENTQUERY ? 1 : 0;
        popup_->AddEntryEvent(item->NAME, ui::event::NewSelection, popupControl_);
        POPUPLIST.push_back({names[i], item->NAME});
    }
    add("-", kClearSeparatorItem, 2);
    PopupItem* clear = add("C&lear", kQueryClearItem, 2);
    clear->ICON = QKICON;
    popup_->AddEntryEvent(clear->NAME, ui::event::NewSelection, popupControl_);
    POPUPLIST.push_back({kQueryClearItem, clear->NAME});
}

std::string QueryByExample::QueryOfPopupItem(const std::string& itemName) const {
    for (const PopupLink& link : POPUPLIST)
        if (link.dPOPUPID == itemName) return link.dQUERYNAME;
    return {};
}

bool QueryByExample::ApplyPopupChoice(const std::string& itemName) {
    const std::string query = QueryOfPopupItem(itemName);
    if (query.empty()) return false;
    if (query == kQueryClearItem) {
        Clear(true);
        QKCURRENTQUERY.clear();
        RefreshPopup();
        return true;
    }
    return LoadQuery(query);
}

} // namespace docket::classes
