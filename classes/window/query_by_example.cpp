#include "classes/window/query_by_example.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "classes/window/ini_store.h"
#include "classes/window/popup_menu.h"
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

bool isOperatorChar(char c) {
    return c == '=' || c == '<' || c == '>' || c == '~';
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string trimRight(const std::string& text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

// Each of "<", ">", "~" once in the order they first appear, then "=" when one was collected,
// unless both "<" and ">" were ("<>=" is "<>").
std::string rebuildOperator(const std::string& collected) {
    std::string op;
    for (char c : collected)
        if (c != '=' && op.find(c) == std::string::npos) op += c;
    const bool less = op.find('<') != std::string::npos, greater = op.find('>') != std::string::npos;
    // Both ways is "not equal", whichever came first: the filter language has no "><".
    if (less && greater) {
        op.erase(std::remove_if(op.begin(), op.end(), [](char c) { return c == '<' || c == '>'; }), op.end());
        return "<>" + op;
    }
    if (collected.find('=') != std::string::npos) op += '=';
    return op;
}

// A number as the filter language reads it: digits, at most one point, an optional leading minus.
bool isPlainNumber(const std::string& text) {
    std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

std::string plainNumber(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string deformatted(const std::string& value, const std::string& picture) {
    const std::string plain = trimmed(value);
    if (isPlainNumber(plain)) return plain;
    return plainNumber(runtime::deformatNumber(value, runtime::compilePicture(picture)));
}

// QUERYSTRING: the three texts joined by "|" (see the header).
std::string encodeText(const std::string* text) {
    std::string out;
    if (text == nullptr) return out;
    for (char c : *text) {
        if (c == '\\' || c == '|') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> decodeTexts(const std::string& text) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            parts.back() += next == 'n' ? '\n' : next;
        } else if (c == '|') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    parts.resize(3);
    return parts;
}

std::string upper(const std::string& text) {
    return runtime::upperText(text);
}

} // namespace

std::string combineCondition(const std::string& text, const std::string& op) {
    std::size_t i = 0;
    std::string collected;
    while (i < text.size() && isOperatorChar(text[i])) collected += text[i++];
    std::string rest = text.substr(i);
    if (op == "Contains") {
        rest = "*" + rest;
    } else if (op == "Begins") {
        rest += "*";
    } else if (op == "NOT =") {
        collected += "<>";
    } else {
        collected += op;
    }
    return rebuildOperator(collected) + rest;
}

std::string quoteLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

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
    out = {};
    std::string base, text;
    bool more = false, middle = false;
    if (field.LOW && !previousMore) {
        base = field.MIDDLE ? ">=" : ">";
        text = *field.LOW;
        more = field.HIGH != nullptr;
    } else if (field.HIGH) {
        base = field.MIDDLE ? "<=" : "<";
        text = *field.HIGH;
    } else {
        text = field.MIDDLE ? *field.MIDDLE : std::string();
        middle = true;
    }
    const std::string combined = combineCondition(text, base);
    std::size_t i = 0;
    while (i < combined.size() && isOperatorChar(combined[i])) ++i;
    out.OPERATOR = combined.substr(0, i);
    out.VALUE = combined.substr(i);
    if (middle && !out.VALUE.empty()) {
        if (out.VALUE.front() == '*') {
            out.OPERATOR = "Contains";
            out.VALUE.erase(0, 1);
            if (!out.VALUE.empty() && out.VALUE.back() == '*') out.VALUE.pop_back();
        } else if (out.VALUE.back() == '*') {
            out.OPERATOR = "Begins";
            out.VALUE.pop_back();
        }
    }
    if (!out.VALUE.empty() && out.VALUE.front() == '^') {
        out.NOCASE = true;
        out.VALUE = upper(out.VALUE.substr(1));
    }
    if (field.dNAME.find("UPPER(") != std::string::npos) {
        out.NOCASE = true;
        out.VALUE = upper(out.VALUE);
    }
    const bool textSearch = out.OPERATOR == "Contains" || out.OPERATOR == "Begins";
    if (!field.isString() && !field.FORCEEDITPICTURE && !textSearch && !trimmed(out.VALUE).empty()) {
        out.VALUE = deformatted(out.VALUE, field.PICTURE);
        out.NOCASE = false;
    }
    return more;
}

std::string QueryByExample::literalFor(const QueryField& field, const std::string& value,
                                       bool numberWanted) const {
    if (!numberWanted) return quoteLiteral(value);
    // A field that is not a string takes only a number: a blank compares with 0, anything else is
    // read through the field's picture.
    if (trimmed(value).empty()) return "0";
    return deformatted(value, field.PICTURE);
}

std::string QueryByExample::BuildQueryFilter() {
    std::string result;
    for (const QueryField& field : FIELDS) {
        if (field.TEXTOF) continue; // tested by Matches
        bool more = false;
        do {
            QueryCondition c;
            more = GetNextCondition(field, c, more);
            if (c.OPERATOR.empty() && c.VALUE.empty()) continue;
            std::string name = trimRight(field.dNAME);
            std::string value = c.VALUE;
            bool noCase = c.NOCASE;
            const bool contains = c.OPERATOR == "Contains", begins = c.OPERATOR == "Begins";
            if ((contains || begins) && !field.isString()) {
                // From the first visible character: a right-aligned picture starts with blanks.
                name = "LEFT(FORMAT(" + name + ",@" + field.PICTURE + "))";
                noCase = true;
            }
            if (noCase) {
                value = upper(value);
                if (!value.empty() && value.front() == '^') value.erase(0, 1);
                if (name.find("UPPER(") == std::string::npos) name = "UPPER(" + name + ")";
            }
            if (!result.empty()) result += " AND ";
            if (contains) {
                result += "INSTRING(" + quoteLiteral(value) + "," + name + ",1,1) <> 0";
            } else if (begins) {
                result += "SUB(" + name + ",1," + std::to_string(value.size()) + ") = " + quoteLiteral(value);
            } else {
                // "~" has no meaning to the filter language; an operator of nothing else compares
                // for equality, as does a value without an operator.
                std::string op = c.OPERATOR;
                op.erase(std::remove(op.begin(), op.end(), '~'), op.end());
                if (op.empty()) op = "=";
                result += "(" + name + " " + op + " " + literalFor(field, value, !field.isString()) + ")";
            }
        } while (more);
    }
    return result;
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
        f.QUERYSTRING =
            encodeText(f.LOW.get()) + "|" + encodeText(f.MIDDLE.get()) + "|" + encodeText(f.HIGH.get());
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
        const std::vector<std::string> texts = decodeTexts(field->QUERYSTRING);
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
