#include "classes/window/query_settings.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "classes/window/ini_store.h"
#include "classes/window/query_by_example.h"
#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "ui/definition.h"
#include "ui/modal.h"
#include "ui/use_variable.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using ui::ControlType;

// Control numbers, in the order of the definition.
constexpr int cSheet = 1, cTabSaved = 2, cTabSettings = 3, cSavedList = 4, cNamePrompt = 5, cName = 6,
              cSave = 7, cDeleteSaved = 8, cLoad = 9, cRows = 10, cFieldPrompt = 11, cField = 12,
              cOperatorPrompt = 13, cOperator = 14, cValuePrompt = 15, cValue = 16, cInsert = 17,
              cChange = 18, cDeleteRow = 19, cOk = 20, cCancel = 21, cClear = 22;

ui::WindowDefinition settingsWindow() {
    using namespace ui::attr;
    ui::WindowDefinition w{
        .caption = "Query by Example Settings",
        .font = "MS Sans Serif",
        .fontSize = 8,
        .width = 312,
        .height = 204,
        .attributes = ui::wattr::System | ui::wattr::Gray | ui::wattr::Center,
    };
    auto add = [&](ui::ControlDefinition c) { w.controls.push_back(std::move(c)); };
    add({.type = ControlType::Sheet, .name = "?SHEET1", .x = 4, .y = 4, .width = 304, .height = 174});
    add({.type = ControlType::Tab, .name = "?TAB1", .text = "Saved Queries", .parent = cSheet});
    add({.type = ControlType::Tab, .name = "?TAB2", .text = "Query Settings", .parent = cSheet});
    add({.type = ControlType::List,
         .name = "?SAVEDLIST",
         .x = 12,
         .y = 24,
         .width = 220,
         .height = 120,
         .use = "QBE:SAVED",
         .format = "20L(1)~Query~#2#",
         .parent = cTabSaved,
         .attributes = VScroll});
    add({.type = ControlType::Prompt,
         .name = "?QUERYNAME:PROMPT",
         .text = "&Query name:",
         .x = 12,
         .y = 152,
         .width = 48,
         .height = 10,
         .parent = cTabSaved});
    add({.type = ControlType::Entry,
         .name = "?QUERYNAME",
         .x = 62,
         .y = 150,
         .width = 170,
         .height = 12,
         .use = "QBE:NAME",
         .picture = "@s50",
         .parent = cTabSaved});
    add({.type = ControlType::Button,
         .name = "?SAVE",
         .text = "&Save",
         .x = 240,
         .y = 24,
         .width = 60,
         .height = 14,
         .parent = cTabSaved});
    add({.type = ControlType::Button,
         .name = "?DELETESAVED",
         .text = "&Delete",
         .x = 240,
         .y = 42,
         .width = 60,
         .height = 14,
         .parent = cTabSaved});
    add({.type = ControlType::Button,
         .name = "?LOAD",
         .text = "&Load",
         .x = 240,
         .y = 60,
         .width = 60,
         .height = 14,
         .parent = cTabSaved});
    add({.type = ControlType::List,
         .name = "?ROWS",
         .x = 12,
         .y = 24,
         .width = 288,
         .height = 96,
         .use = "QBE:ROWS",
         .format = "91L|M~Field~@s20@44C|M~Operator~L@s10@120C|M~Value~L@s30@",
         .parent = cTabSettings,
         .attributes = VScroll});
    add({.type = ControlType::Prompt,
         .name = "?FIELD:PROMPT",
         .text = "&Field:",
         .x = 12,
         .y = 128,
         .width = 90,
         .height = 10,
         .parent = cTabSettings});
    add({.type = ControlType::DropList,
         .name = "?FIELD",
         .x = 12,
         .y = 138,
         .width = 96,
         .height = 12,
         .use = "QBE:FIELD",
         .format = "80L@s20@#1#",
         .parent = cTabSettings});
    add({.type = ControlType::Prompt,
         .name = "?OPERATOR:PROMPT",
         .text = "O&perator:",
         .x = 112,
         .y = 128,
         .width = 56,
         .height = 10,
         .parent = cTabSettings});
    add({.type = ControlType::DropList,
         .name = "?OPERATOR",
         .x = 112,
         .y = 138,
         .width = 60,
         .height = 12,
         .use = "QBE:OPERATOR",
         .format = "40L@s10@#1#",
         .parent = cTabSettings});
    add({.type = ControlType::Prompt,
         .name = "?VALUE:PROMPT",
         .text = "&Value:",
         .x = 176,
         .y = 128,
         .width = 60,
         .height = 10,
         .parent = cTabSettings});
    add({.type = ControlType::Entry,
         .name = "?VALUE",
         .x = 176,
         .y = 138,
         .width = 124,
         .height = 12,
         .use = "QBE:VALUE",
         .picture = "@s30",
         .parent = cTabSettings});
    add({.type = ControlType::Button,
         .name = "?INSERT",
         .text = "&Insert",
         .x = 132,
         .y = 158,
         .width = 52,
         .height = 14,
         .parent = cTabSettings});
    add({.type = ControlType::Button,
         .name = "?CHANGE",
         .text = "&Change",
         .x = 190,
         .y = 158,
         .width = 52,
         .height = 14,
         .parent = cTabSettings});
    add({.type = ControlType::Button,
         .name = "?DELETE",
         .text = "&Delete",
         .x = 248,
         .y = 158,
         .width = 52,
         .height = 14,
         .parent = cTabSettings});
    add({.type = ControlType::Button,
         .name = "?OK",
         .text = "&OK",
         .x = 144,
         .y = 184,
         .width = 50,
         .height = 14,
         .attributes = Default});
    add({.type = ControlType::Button,
         .name = "?CANCEL",
         .text = "&Cancel",
         .x = 200,
         .y = 184,
         .width = 50,
         .height = 14});
    add({.type = ControlType::Button,
         .name = "?CLEAR",
         .text = "C&lear",
         .x = 256,
         .y = 184,
         .width = 50,
         .height = 14});
    return w;
}

std::string operatorShown(const QueryCondition& c) {
    if (c.OPERATOR == "<>") return "NOT =";
    if (c.OPERATOR.empty()) return "=";
    return c.OPERATOR;
}

// The texts of every field, to put back after the rows were tried out (Save, Load).
struct Snapshot {
    std::vector<std::array<std::unique_ptr<std::string>, 3>> texts;
    std::string current;
};

Snapshot takeSnapshot(const QueryByExample& q) {
    Snapshot s;
    s.current = q.QKCURRENTQUERY;
    for (const QueryField& f : q.FIELDS) {
        auto copy = [](const std::unique_ptr<std::string>& p) {
            return p ? std::make_unique<std::string>(*p) : std::unique_ptr<std::string>();
        };
        s.texts.push_back({copy(f.LOW), copy(f.MIDDLE), copy(f.HIGH)});
    }
    return s;
}

void restore(QueryByExample& q, Snapshot& s) {
    for (std::size_t i = 0; i < q.FIELDS.size() && i < s.texts.size(); ++i) {
        q.FIELDS[i].LOW = std::move(s.texts[i][0]);
        q.FIELDS[i].MIDDLE = std::move(s.texts[i][1]);
        q.FIELDS[i].HIGH = std::move(s.texts[i][2]);
    }
    q.QKCURRENTQUERY = s.current;
}

class QuerySettingsWindow : public WindowFlow {
public:
    explicit QuerySettingsWindow(QueryByExample& query) : query_(query) {}
    ~QuerySettingsWindow() override {
        if (CL && !DEAD) QuerySettingsWindow::Shutdown();
    }
    Severity Init() override;
    Severity OnAccepted() override;
    Severity OnNewSelection() override;
    Severity Shutdown() override;

    bool applied = false;

private:
    void rowsFromQuery();
    void applyRows();
    void fillSaved();
    void pickRow();

    QueryByExample& query_;
    ui::QueueSource rows_, saved_, fields_, operators_;
    std::string name_, field_, operator_ = "Contains", value_, loaded_;
    bool shutDown_ = false;
};

Severity QuerySettingsWindow::Init() {
    const Severity base = WindowFlow::Init();
    if (base != Severity::Proceed) return base;
    ERRORS = query_.ERRORS;
    FIRSTFIELD = cRows;
    std::vector<std::string> titles;
    for (const QueryField& f : query_.FIELDS) titles.push_back(f.dTITLE);
    std::sort(titles.begin(), titles.end());
    for (const std::string& t : titles) fields_.rows.push_back({t});
    for (const char* op : kQueryOperators) operators_.rows.push_back({op});
    if (!titles.empty()) field_ = titles.front();
    rowsFromQuery();
    fillSaved();
    ui::Bindings b;
    b.lists["QBE:ROWS"] = &rows_;
    b.lists["QBE:SAVED"] = &saved_;
    b.lists["QBE:FIELD"] = &fields_;
    b.lists["QBE:OPERATOR"] = &operators_;
    b.variables["QBE:FIELD"] = ui::useText(field_, 99);
    b.variables["QBE:OPERATOR"] = ui::useText(operator_, 9);
    b.variables["QBE:VALUE"] = ui::useText(value_, 99);
    b.variables["QBE:NAME"] = ui::useText(name_, 99);
    ui::Window& w = openWindow(settingsWindow(), std::move(b));
    query_.WINDOW = &w;
    if (query_.INIMGR != nullptr) query_.INIMGR->RestoreWindow("QBE-" + query_.FAMILY, &w);
    w.setInt(cSheet, "Choice", 2); // the conditions first: that is what the window is opened for
    AddButton(cCancel, Cancelled);
    if (!rows_.rows.empty()) {
        w.setInt(cRows, "Choice", 1);
        pickRow();
    }
    w.display();
    ArmAlerts();
    return Severity::Proceed;
}

void QuerySettingsWindow::rowsFromQuery() {
    rows_.rows.clear();
    for (const QueryField& f : query_.FIELDS) {
        // As typed: the values are shown in their edited form, not as the stored numbers.
        QueryField shown;
        shown.dNAME = f.dNAME;
        shown.PICTURE = f.PICTURE;
        shown.FORCEEDITPICTURE = 1;
        if (f.LOW) shown.LOW = std::make_unique<std::string>(*f.LOW);
        if (f.MIDDLE) shown.MIDDLE = std::make_unique<std::string>(*f.MIDDLE);
        if (f.HIGH) shown.HIGH = std::make_unique<std::string>(*f.HIGH);
        bool more = false;
        do {
            QueryCondition c;
            more = query_.GetNextCondition(shown, c, more);
            if (c.OPERATOR.empty() && c.VALUE.empty()) continue;
            rows_.rows.push_back({f.dTITLE, operatorShown(c), (c.NOCASE ? "^" : "") + c.VALUE});
        } while (more);
    }
}

void QuerySettingsWindow::applyRows() {
    query_.Clear(true);
    for (const auto& row : rows_.rows) {
        const auto field = std::find_if(query_.FIELDS.begin(), query_.FIELDS.end(),
                                        [&](const QueryField& f) { return f.dTITLE == row[0]; });
        if (field == query_.FIELDS.end()) continue;
        const std::string& op = row[1];
        const std::string& value = row[2];
        if (op.rfind(">=", 0) == 0)
            query_.SetValues(field->dNAME, ">=" + value, {}, {}, false, true, true);
        else if (op.rfind("<=", 0) == 0)
            query_.SetValues(field->dNAME, {}, "<=" + value, {}, true, false, true);
        else
            query_.SetValues(field->dNAME, {}, {}, combineCondition(value, op), true, true, false);
    }
}

void QuerySettingsWindow::fillSaved() {
    saved_.rows.clear();
    for (const std::string& n : query_.SavedQueries()) saved_.rows.push_back({n, n});
}

void QuerySettingsWindow::pickRow() {
    ui::Window* w = window();
    const long choice = w->getInt(cRows, "Choice");
    if (choice < 1 || choice > static_cast<long>(rows_.rows.size())) return;
    const auto& row = rows_.rows[static_cast<std::size_t>(choice - 1)];
    field_ = row[0];
    operator_ = row[1];
    value_ = row[2];
    for (int c : {cField, cOperator, cValue}) w->display(c);
}

Severity QuerySettingsWindow::OnNewSelection() {
    const Severity base = WindowFlow::OnNewSelection();
    ui::Window* w = window();
    if (w->control() == cRows) pickRow();
    if (w->control() == cSavedList) {
        const long choice = w->getInt(cSavedList, "Choice");
        if (choice >= 1 && choice <= static_cast<long>(saved_.rows.size())) {
            name_ = saved_.rows[static_cast<std::size_t>(choice - 1)][0];
            w->display(cName);
        }
    }
    return base;
}

Severity QuerySettingsWindow::OnAccepted() {
    const Severity base = WindowFlow::OnAccepted();
    if (base != Severity::Proceed) return base;
    ui::Window* w = window();
    const int control = w->control();
    w->update(); // the editors' texts into their variables
    const long choice = w->getInt(cRows, "Choice");
    const bool rowChosen = choice >= 1 && choice <= static_cast<long>(rows_.rows.size());
    switch (control) {
    case cInsert:
        if (field_.empty()) break;
        rows_.rows.push_back({field_, operator_, value_});
        w->display(cRows);
        w->setInt(cRows, "Choice", static_cast<long>(rows_.rows.size()));
        break;
    case cChange:
        if (!rowChosen || field_.empty()) break;
        rows_.rows[static_cast<std::size_t>(choice - 1)] = {field_, operator_, value_};
        w->display(cRows);
        break;
    case cDeleteRow:
        if (!rowChosen) break;
        rows_.rows.erase(rows_.rows.begin() + (choice - 1));
        w->display(cRows);
        w->setInt(cRows, "Choice", std::min<long>(choice, static_cast<long>(rows_.rows.size())));
        pickRow();
        break;
    case cClear:
        rows_.rows.clear();
        loaded_.clear();
        w->display(cRows);
        break;
    case cSave: {
        Snapshot before = takeSnapshot(query_);
        applyRows();
        const bool saved = query_.SaveQuery(name_);
        restore(query_, before);
        query_.RefreshPopup();
        if (saved) {
            fillSaved();
            w->display(cSavedList);
        }
        break;
    }
    case cLoad: {
        Snapshot before = takeSnapshot(query_);
        if (query_.LoadQuery(name_)) {
            rowsFromQuery();
            loaded_ = name_;
            w->display(cRows);
            w->setInt(cSheet, "Choice", 2);
        } else {
            ui::messageBox("There is no saved query named \"" + name_ + "\".", "Query by Example",
                           ui::icon::Exclamation);
        }
        restore(query_, before);
        query_.RefreshPopup();
        break;
    }
    case cDeleteSaved:
        if (name_.empty()) break;
        query_.DeleteQuery(name_);
        name_.clear();
        fillSaved();
        w->display(cSavedList);
        w->display(cName);
        break;
    case cOk:
        applyRows();
        query_.QKCURRENTQUERY = loaded_;
        applied = true;
        Finish(Completed);
        break;
    default:
        break;
    }
    return Severity::Proceed;
}

Severity QuerySettingsWindow::Shutdown() {
    if (!shutDown_ && window() != nullptr) {
        shutDown_ = true;
        if (query_.INIMGR != nullptr) {
            query_.INIMGR->SaveWindow("QBE-" + query_.FAMILY, window());
            query_.SaveRecent();
        }
        query_.WINDOW = nullptr;
    }
    return WindowFlow::Shutdown();
}

} // namespace

bool runQuerySettings(QueryByExample& query) {
    QuerySettingsWindow window(query);
    window.Execute();
    query.RefreshPopup();
    return window.applied;
}

} // namespace docket::classes
