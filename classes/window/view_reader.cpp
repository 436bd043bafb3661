#include "classes/window/view_reader.h"

#include <cstring>
#include <functional>

#include "classes/data/table_access.h"
#include "classes/data/table_registry.h"
#include "files/record_fields.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/error_state.h"
#include "runtime/core/type_code.h"

namespace docket::classes {

namespace {

constexpr std::size_t kFilterIdLimit = 30;
constexpr std::uint16_t kRetrievalError = 1; // "Record Retrieval Error"
constexpr std::uint16_t kViewOpenError = 40; // "View Open Error"
constexpr unsigned kViewOpenMode = 0x22;

bool isText(runtime::TypeCode type) {
    return type == runtime::TypeCode::String || type == runtime::TypeCode::CString ||
           type == runtime::TypeCode::PString;
}

// A range value as a literal of the filter language: texts quoted with inner quotes doubled (and
// wrapped in UPPER() for a case-blind component), numbers as their plain text.
std::string literal(const BoundVariable& value, const std::string& componentName) {
    std::string text;
    if (isText(value.type)) {
        std::string_view raw = runtime::readTextVariable(value);
        while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
        text = "'";
        for (char c : raw) {
            text += c;
            if (c == '\'') text += '\'';
        }
        text += "'";
        if (componentName.find("UPPER(") != std::string::npos) text = "UPPER(" + text + ")";
        return text;
    }
    char number[64] = {};
    assignValue(runtime::bindCString(number, sizeof number), value);
    return number;
}

} // namespace

void ViewReader::Init(runtime::View& view, TableRelations& primary, std::vector<OrderEntry>* orders) {
    VIEW = &view;
    PRIMARY = &primary;
    if (orders != nullptr) {
        ORDER = orders;
        DISPOSEORDER = 0;
    } else {
        ownOrders_ = std::make_unique<std::vector<OrderEntry>>();
        ORDER = ownOrders_.get();
        DISPOSEORDER = 1;
    }
    PAGESIZE = 20;
    PAGESBEHIND = 2;
    PAGESAHEAD = 0;
    TIMEOUT = 60;
    // Every table of the view must be usable before the view opens.
    std::function<void(const std::vector<runtime::ViewJoin>&)> require = [&](const auto& joins) {
        for (const runtime::ViewJoin& j : joins) {
            if (j.file != nullptr)
                if (TableAccess* access = TableRegistry::Find(*j.file))
                    access->RequireOpen(use_kind::kBrowse);
            require(j.joins);
        }
    };
    if (view.declaration().primary != nullptr)
        if (TableAccess* access = TableRegistry::Find(*view.declaration().primary))
            access->RequireOpen(use_kind::kBrowse);
    require(view.declaration().joins);
}

FileDeclaration& ViewReader::Record() const {
    return *PRIMARY->ME->FILE->declaration;
}

OrderEntry* ViewReader::Current() {
    if (ORDER == nullptr || current_ == 0 || current_ > ORDER->size()) return nullptr;
    return &(*ORDER)[current_ - 1u];
}

std::uint16_t ViewReader::AddOrder(const KeyDeclaration& key) {
    OrderEntry entry;
    entry.MAINKEY = &key;
    FileDeclaration& record = Record();
    if (!key.components.empty()) entry.FREEELEMENT = FieldRef::of(record, std::abs(key.components.front()));
    ORDER->push_back(std::move(entry));
    current_ = static_cast<std::uint16_t>(ORDER->size());
    // The order text from the key's components: names joined by ",", "-" before a descending
    // one, a case-blind string as UPPER(name) (the table access's key description has it so).
    const KeyEntry* described = PRIMARY->ME->KeyEntryOf(key);
    std::string text;
    for (std::size_t i = 0; i < key.components.size(); ++i) {
        const int c = key.components[i];
        std::string name = described != nullptr && i < described->FIELDS.size()
                               ? described->FIELDS[i].FIELDNAME
                               : record.fields[static_cast<std::size_t>(std::abs(c) - 1)].label;
        if (!text.empty()) text += ",";
        if (c < 0) text += "-";
        text += name;
    }
    SetOrderText(text);
    return current_;
}

void ViewReader::SetOrderText(std::string_view text) {
    if (OrderEntry* order = Current()) order->ORDER = std::string(text);
}

void ViewReader::ExtendOrder(std::string_view text) {
    OrderEntry* order = Current();
    if (order == nullptr || text.empty()) return;
    if (order->ORDER.empty())
        order->ORDER = std::string(text);
    else if (text.front() == '*')
        order->ORDER = std::string(text.substr(1));
    else
        order->ORDER += "," + std::string(text);
}

bool ViewReader::SelectOrder(std::uint16_t number) {
    if (number == 0) number = 1;
    if (ORDER == nullptr || number > ORDER->size() || number == current_) return false;
    current_ = number;
    return true;
}

Severity ViewReader::report(std::uint16_t id) {
    return PRIMARY->ME->PostError(id);
}

std::string ViewReader::FilterText() {
    OrderEntry* order = Current();
    if (order == nullptr) return {};
    std::string text;
    auto componentName = [&](std::size_t i) {
        const KeyEntry* described = PRIMARY->ME->KeyEntryOf(*order->MAINKEY);
        if (described != nullptr && i < described->FIELDS.size()) return described->FIELDS[i].FIELDNAME;
        const int c = i < order->MAINKEY->components.size() ? order->MAINKEY->components[i] : 0;
        return c != 0 ? Record().fields[static_cast<std::size_t>(std::abs(c) - 1)].label : std::string();
    };
    const auto& pairs = order->RANGELIST.Pairs();
    const std::size_t n = pairs.size();
    if (order->LIMITTYPE == 1 || order->LIMITTYPE == 2 || order->LIMITTYPE == 4) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string name = componentName(i);
            text += (text.empty() ? "" : " AND ") + name + " = " + literal(pairs[i].left.bind(), name);
        }
    } else if (order->LIMITTYPE == 3 && n >= 2) {
        for (std::size_t i = 0; i + 2 < n; ++i) {
            const std::string name = componentName(i);
            text += (text.empty() ? "" : " AND ") + name + " = " + literal(pairs[i].left.bind(), name);
        }
        const std::string name = componentName(n - 2);
        text += (text.empty() ? "" : " AND ") + name + " >= " + literal(pairs[n - 2].left.bind(), name);
        text += " AND " + name + " <= " + literal(pairs[n - 1].left.bind(), name);
    }
    if (order->FILTER)
        for (const NamedFilter& f : *order->FILTER)
            text += text.empty() ? "(" + f.FILTER + ")" : " AND (" + f.FILTER + ")";
    return text;
}

Severity ViewReader::BuildFilter() {
    const std::string text = FilterText();
    if (text.size() > kFilterLimit) {
        // Refused whole (see the header): cutting it would leave a filter nobody asked for.
        runtime::setErrorWithText(runtime::error::kInvalidViewExpression, "Filter too long");
        return report(kViewOpenError);
    }
    if (VIEW->setFilter(text) != 0) return report(kViewOpenError);
    return Severity::Proceed;
}

Severity ViewReader::SetNamedFilter(std::string_view text, std::string_view id) {
    OrderEntry* order = Current();
    if (order == nullptr) return Severity::Inform;
    if (!order->FILTER) order->FILTER = std::make_unique<std::vector<NamedFilter>>();
    const std::string key(id.substr(0, kFilterIdLimit));
    std::vector<NamedFilter> before = *order->FILTER;
    auto it = std::find_if(order->FILTER->begin(), order->FILTER->end(),
                           [&](const NamedFilter& f) { return f.ID == key; });
    if (text.empty()) {
        if (it != order->FILTER->end()) order->FILTER->erase(it);
    } else if (it != order->FILTER->end()) {
        it->FILTER = std::string(text);
    } else {
        order->FILTER->push_back({key, std::string(text)});
    }
    if (FilterText().size() > kFilterLimit) {
        *order->FILTER = std::move(before);
        runtime::setErrorWithText(runtime::error::kInvalidViewExpression, "Filter too long");
        return report(kViewOpenError);
    }
    return Severity::Proceed;
}

Severity ViewReader::InstallOrder() {
    OrderEntry* order = Current();
    if (order == nullptr) return Severity::Proceed;
    if (VIEW->order() != order->ORDER && VIEW->setOrder(order->ORDER) != 0) return report(kViewOpenError);
    return Severity::Proceed;
}

bool ViewReader::ApplyRange() {
    OrderEntry* order = Current();
    bool changed = false;
    if (order != nullptr && !order->RANGELIST.Empty()) {
        changed = !order->RANGELIST.EqualLeftSaved();
        order->RANGELIST.AssignLeftToSaved();
    }
    if (OPENED) BuildFilter();
    return changed;
}

Severity ViewReader::Open() {
    if (!OPENED) {
        if (VIEW->open(kViewOpenMode) != 0) return report(kViewOpenError);
        VIEW->setBuffer(PAGESIZE, PAGESBEHIND, PAGESAHEAD, TIMEOUT);
        OPENED = 1;
    }
    const Severity order = InstallOrder();
    const Severity filter = BuildFilter();
    return order != Severity::Proceed ? order : filter;
}

void ViewReader::CloseView() {
    if (OPENED) VIEW->close();
    OPENED = 0;
}

std::string ViewReader::FreeElementName() {
    OrderEntry* order = Current();
    if (order == nullptr || order->FREEELEMENT.file == nullptr) return {};
    return order->FREEELEMENT.file->fields[static_cast<std::size_t>(order->FREEELEMENT.field - 1)].label;
}

std::size_t ViewReader::FreeElementPosition() {
    OrderEntry* order = Current();
    return order == nullptr ? 0 : order->FREEPOSITION + 1;
}

void ViewReader::Shutdown() {
    CloseView();
    if (DISPOSEORDER) ownOrders_.reset();
    ORDER = nullptr;
    current_ = 0;
}

Severity ViewReader::Reset() {
    if (!OPENED || VIEW->order() != (Current() ? Current()->ORDER : std::string()))
        if (Open() == Severity::Fatal) return Severity::Fatal;
    if (VIEW->set() != 0) return report(kViewOpenError);
    return Severity::Proceed;
}

Severity ViewReader::ResetToStart() {
    return Reset();
}

std::uint8_t ViewReader::CheckRecord() {
    return RecordAccepted;
}

Severity ViewReader::readResult(int rc) {
    if (rc == runtime::error::kRecordNotAvailable) return Severity::Inform;
    if (rc != 0) {
        report(kRetrievalError);
        return Severity::Fatal;
    }
    return Severity::Proceed;
}

Severity ViewReader::Next() {
    for (;;) {
        const Severity r = readResult(VIEW->next());
        if (r != Severity::Proceed) return r;
        const std::uint8_t check = CheckRecord();
        if (check == RecordAccepted) return Severity::Proceed;
        if (check == RecordOutOfRange) return Severity::Inform;
    }
}

Severity ViewReader::Previous() {
    for (;;) {
        const Severity r = readResult(VIEW->previous());
        if (r != Severity::Proceed) return r;
        const std::uint8_t check = CheckRecord();
        if (check == RecordAccepted) return Severity::Proceed;
        if (check == RecordOutOfRange) return Severity::Inform;
    }
}

Severity ViewReader::PrepareNewRecord(bool keepBuffer) {
    if (!keepBuffer) {
        runtime::clearRecord(Record());
        std::function<void(const std::vector<runtime::ViewJoin>&)> clear = [&](const auto& joins) {
            for (const runtime::ViewJoin& j : joins) {
                if (j.file != nullptr && j.file->declaration != nullptr)
                    runtime::clearRecord(*j.file->declaration);
                clear(j.joins);
            }
        };
        clear(VIEW->declaration().joins);
    }
    if (OrderEntry* order = Current()) {
        const auto& pairs = order->RANGELIST.Pairs();
        std::size_t n = pairs.size();
        if (order->LIMITTYPE == 3 && n >= 2) n -= 2; // the two bounds give no single value
        for (std::size_t i = 0; i < n; ++i) assignValue(pairs[i].right.bind(), pairs[i].left.bind());
    }
    // The buffer is prepared here already (cleared, range values in): the table only primes it.
    return PRIMARY->ME->PrepareNewRecord(true);
}

} // namespace docket::classes
