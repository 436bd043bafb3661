// The file drop combo: refill, taking a row over, type-ahead and adding a missing value.
#include "classes/window/table_drop_combo.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>

#include <cstdio>
#include <string>

#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "runtime/core/char_tables.h"
#include "ui/control.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/modal.h"
#include "ui/text.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

// The message asked before a missing value is added ("Add New Record?").
constexpr std::uint16_t kAddNewRecord = 5;
constexpr int kBackspace = 8;

// A field's value as the queue shows it: texts without trailing blanks, numbers in plain form.
std::string textOf(const FieldRef& field) {
    const runtime::BoundVariable v = field.bind();
    if (v.data == nullptr) return {};
    switch (runtime::variableKind(v.type)) {
    case runtime::ValueKind::String: {
        std::string s(runtime::readTextVariable(v));
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    case runtime::ValueKind::Integer:
        return std::to_string(runtime::readIntegerVariable(v));
    default: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", runtime::readRealVariable(v));
        return buffer;
    }
    }
}

void setText(const FieldRef& field, const std::string& text) {
    const runtime::BoundVariable v = field.bind();
    if (v.data == nullptr) return;
    std::string copy = text;
    runtime::BoundVariable from = runtime::bindString(copy.data(), copy.size());
    assignValue(v, from);
}

} // namespace

// The entry's key presses, before the entry sees them: completion takes the keys it handles.
class TableDropCombo::KeyFilter : public QObject {
public:
    explicit KeyFilter(TableDropCombo& combo) : c_(combo) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        int code = 0;
        switch (key->key()) {
        case Qt::Key_Left:
            code = ui::key::Left;
            break;
        case Qt::Key_Right:
            code = ui::key::Right;
            break;
        case Qt::Key_Backspace:
            code = kBackspace;
            break;
        default:
            break;
        }
        if (code != 0 && (key->modifiers() & Qt::ShiftModifier)) code += ui::key::Shift;
        const bool ctrlOrAlt = (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
        std::string character = key->text().isEmpty() ? std::string() : ui::fromQt(key->text());
        if (!character.empty() && static_cast<unsigned char>(character[0]) < 0x20) character.clear();
        return c_.onKey(code, character, ctrlOrAlt);
    }

private:
    TableDropCombo& c_;
};

TableDropCombo::TableDropCombo() = default;

TableDropCombo::~TableDropCombo() {
    if (!shutDown_ && WINDOW != nullptr) Shutdown();
}

void TableDropCombo::Init(std::int32_t control, ui::QueueSource& queue, runtime::View& view,
                          TableRelations& primary, WindowFlow& window, ErrorReporter& errors,
                          const FieldRef& useField, bool autoAdd, bool caseSensitive, bool syncronizeView) {
    ViewReader::Init(view, primary);
    LISTCONTROL = control;
    LISTQUEUE = &queue;
    WINDOW = &window;
    DEFAULTFILL = 1;
    INITSYNCPAIR = 1;
    ALLOWRESET = 0;
    DISPLAYFIELDS.clear();
    UPDATEFIELDS.Kill();
    USEFIELD = useField;
    ERRMGR = &errors;
    AUTOADDFLAG = autoAdd;
    CASESENSITIVEFLAG = caseSensitive;
    SYNCRONIZEVIEWFLAG = syncronizeView;
    ENTRYCOMPLETION = 1;
    REMOVEDUPLICATESFLAG = 0;
    shutDown_ = false;
}

void TableDropCombo::LinkColumn(const FieldRef& viewField, int queueField) {
    DISPLAYFIELDS.push_back({viewField, queueField});
}

void TableDropCombo::AddSavedField(const FieldRef& lookup, const FieldRef& target) {
    UPDATEFIELDS.AddPair(lookup, target);
}

void TableDropCombo::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (filter_) {
        if (ui::Window* w = WINDOW != nullptr ? WINDOW->window() : nullptr)
            if (auto* combo = qobject_cast<QComboBox*>(w->controlWidget(LISTCONTROL)))
                if (combo->lineEdit() != nullptr) combo->lineEdit()->removeEventFilter(filter_.get());
        filter_.reset();
    }
    DISPLAYFIELDS.clear();
    UPDATEFIELDS.Kill();
    ViewReader::Shutdown();
}

// ---- The list ----------------------------------------------------------------------------------

int TableDropCombo::RefillList(bool force) {
    const bool rangeChanged = ApplyRange();
    if (!force && !rangeChanged && LOADED) return LISTQUEUE != nullptr ? currentRow_() : 0;
    LOADED = 1;
    ui::BusyCursor busy;
    LISTQUEUE->rows.clear();
    VIEWPOSITION.clear();
    int highlighted = 0;
    if (Reset() == Severity::Proceed) {
        while (Next() == Severity::Proceed) {
            std::string position;
            VIEW->position(position);
            std::vector<std::string> row;
            for (const DisplayPair& pair : DISPLAYFIELDS) {
                if (static_cast<int>(row.size()) < pair.QUEUEFIELD)
                    row.resize(static_cast<std::size_t>(pair.QUEUEFIELD));
                row[static_cast<std::size_t>(pair.QUEUEFIELD - 1)] = textOf(pair.VIEWFIELD);
            }
            LISTQUEUE->rows.push_back(std::move(row));
            VIEWPOSITION.push_back(std::move(position));
            if (highlighted != 0) continue;
            const auto n = static_cast<std::size_t>(INITSYNCPAIR);
            if (n >= 1 && n <= UPDATEFIELDS.Size()) {
                const auto& pair = UPDATEFIELDS.Pairs()[n - 1];
                if (sameValue(pair.left.bind(), pair.right.bind()))
                    highlighted = static_cast<int>(LISTQUEUE->rows.size());
            } else if (n == 0 && !DISPLAYFIELDS.empty()) {
                if (matches(LISTQUEUE->rows.back().front(), useValue(), true))
                    highlighted = static_cast<int>(LISTQUEUE->rows.size());
            }
        }
    }
    // The view is closed here; taking the row over opens it again to read the row back.
    CloseView();
    if (highlighted == 0 && DEFAULTFILL && !LISTQUEUE->rows.empty()) highlighted = 1;
    if (ui::Window* w = WINDOW->window()) w->display(LISTCONTROL);
    if (highlighted != 0) {
        highlight(highlighted);
        HandleNewSelection(highlighted);
    }
    return highlighted;
}

int TableDropCombo::currentRow_() const {
    ui::Window* w = WINDOW != nullptr ? WINDOW->window() : nullptr;
    const ui::Control* c = w != nullptr ? w->controlData(LISTCONTROL) : nullptr;
    return c != nullptr ? c->currentRow : 0;
}

void TableDropCombo::highlight(int row) {
    ui::Window* w = WINDOW->window();
    if (w == nullptr) return;
    if (ui::Control* c = w->controlData(LISTCONTROL)) c->currentRow = row;
    if (auto* combo = qobject_cast<QComboBox*>(w->controlWidget(LISTCONTROL))) {
        const QString text = combo->currentText();
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(row - 1);
        if (combo->isEditable()) combo->setEditText(text);
    }
}

void TableDropCombo::HandleNewSelection(int row) {
    if (row < 1 || row > static_cast<int>(VIEWPOSITION.size())) return;
    // Mend: read the row back through the view, opened again if a refill closed it. Only a record
    // that was read is taken over; on failure the targets keep their values (clearing them would
    // silently take the form's lookup value away).
    if (!OPENED && Open() != Severity::Proceed) return;
    if (VIEW->reset(VIEWPOSITION[static_cast<std::size_t>(row - 1)]) != 0) return;
    if (ViewReader::Next() != Severity::Proceed) return;
    UPDATEFIELDS.AssignLeftToRight();
    ALLOWRESET = 1;
    refresh_ = true;
}

// ---- The entry ---------------------------------------------------------------------------------

bool TableDropCombo::matches(const std::string& value, const std::string& prefix, bool whole) const {
    if (whole ? value.size() != prefix.size() : value.size() < prefix.size()) return false;
    if (CASESENSITIVEFLAG) return value.compare(0, prefix.size(), prefix) == 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (runtime::upperChar(static_cast<unsigned char>(value[i])) !=
            runtime::upperChar(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

int TableDropCombo::FindRow(const std::string& prefix, bool whole) const {
    if (LISTQUEUE == nullptr) return 0;
    for (std::size_t r = 0; r < LISTQUEUE->rows.size(); ++r) {
        const auto& row = LISTQUEUE->rows[r];
        if (!row.empty() && matches(row.front(), prefix, whole)) return static_cast<int>(r + 1);
    }
    return 0;
}

std::string TableDropCombo::useValue() const {
    return textOf(USEFIELD);
}

void TableDropCombo::setUseValue(const std::string& value) {
    setText(USEFIELD, value);
}

bool TableDropCombo::TypeAhead(const std::string& text, int selectionStart, int cursor, int keyCode,
                               const std::string& character, Completion& out) {
    const bool backspace = keyCode == kBackspace;
    if (character.empty() && !backspace) return false;
    // Completion runs only while the caret stands at the end of the text (a completed tail is
    // selected up to the end).
    const int length = static_cast<int>(text.size());
    ECON = (cursor == length || selectionStart >= 0) ? 1 : 0;
    if (!ECON) return false;
    std::string typed;
    if (!completed_.empty() && text == completed_)
        typed = typed_;
    else
        typed = text.substr(0, static_cast<std::size_t>(selectionStart >= 0 ? selectionStart : length));
    if (backspace) {
        if (typed.empty()) return false;
        typed.pop_back();
    } else {
        typed += character;
    }
    out = Completion{};
    out.row = typed.empty() ? 0 : FindRow(typed, false);
    if (out.row != 0) {
        out.text = LISTQUEUE->rows[static_cast<std::size_t>(out.row - 1)].front();
        // The typed part keeps the case the user typed; the completed tail comes from the row.
        out.text.replace(0, typed.size(), typed);
        out.selectFrom = static_cast<int>(typed.size());
    } else {
        out.text = typed;
        out.selectFrom = static_cast<int>(typed.size());
        ECON = 0; // nothing to complete: the text stays as typed
    }
    typed_ = typed;
    completed_ = out.text;
    return true;
}

bool TableDropCombo::onKey(int keyCode, const std::string& character, bool ctrlOrAlt) {
    if (!ENTRYCOMPLETION || ctrlOrAlt) return false;
    if (keyCode == ui::key::Left || keyCode == ui::key::Right || keyCode == ui::key::Left + ui::key::Shift ||
        keyCode == ui::key::Right + ui::key::Shift)
        return false;
    ui::Window* w = WINDOW != nullptr ? WINDOW->window() : nullptr;
    auto* combo = w != nullptr ? qobject_cast<QComboBox*>(w->controlWidget(LISTCONTROL)) : nullptr;
    QLineEdit* edit = combo != nullptr ? combo->lineEdit() : nullptr;
    if (edit == nullptr) return false;
    const std::string text = ui::fromQt(edit->text());
    const int selectionStart =
        edit->hasSelectedText() && edit->selectionEnd() == edit->text().size() ? edit->selectionStart() : -1;
    Completion done;
    if (!TypeAhead(text, selectionStart, edit->cursorPosition(), keyCode, character, done)) return false;
    edit->setText(ui::toQt(done.text));
    const int size = static_cast<int>(edit->text().size());
    const int from =
        static_cast<int>(ui::toQt(done.text.substr(0, static_cast<std::size_t>(done.selectFrom))).size());
    if (from < size)
        edit->setSelection(size, from - size); // caret at the end, the tail selected
    else
        edit->setCursorPosition(size);
    if (ui::Control* c = w->controlData(LISTCONTROL)) c->dirty = true; // leaving the entry accepts it
    if (done.row != 0) {
        if (ui::Control* c = w->controlData(LISTCONTROL)) c->currentRow = done.row;
        if (SYNCRONIZEVIEWFLAG) w->post(ui::event::NewSelection, LISTCONTROL);
    }
    return true;
}

void TableDropCombo::watchEntry() {
    if (filter_) return;
    ui::Window* w = WINDOW->window();
    auto* combo = w != nullptr ? qobject_cast<QComboBox*>(w->controlWidget(LISTCONTROL)) : nullptr;
    if (combo == nullptr || combo->lineEdit() == nullptr) return;
    filter_ = std::make_unique<KeyFilter>(*this);
    combo->lineEdit()->installEventFilter(filter_.get());
}

bool TableDropCombo::TakeEntry(const std::string& value) {
    if (value.empty()) return false;
    setUseValue(value);
    int row = FindRow(value, true);
    if (row == 0) {
        if (AddNewRecord(value) != Severity::Proceed) {
            setUseValue({});
            if (ui::Window* w = WINDOW->window()) {
                w->set(LISTCONTROL, "Text", "");
                w->select(LISTCONTROL);
            }
            typed_.clear();
            completed_.clear();
            return false;
        }
        RefillList(true);
        setUseValue(value);
        row = FindRow(value, true);
        if (row == 0) return false;
    }
    highlight(row);
    HandleNewSelection(row);
    return true;
}

Severity TableDropCombo::AddNewRecord(const std::string& value) {
    TableAccess* access = PRIMARY != nullptr ? PRIMARY->ME : nullptr;
    if (access == nullptr || DISPLAYFIELDS.empty()) return Severity::Inform;
    if (ASKPROCEDURE != 0) {
        if (access->PrepareNewRecord(false) != Severity::Proceed) return Severity::Inform;
        setText(DISPLAYFIELDS.front().VIEWFIELD, value);
        return WINDOW->CallProcedure(ASKPROCEDURE, RequestInsert) == Completed ? Severity::Proceed
                                                                               : Severity::Inform;
    }
    if (AUTOADDFLAG && ERRMGR != nullptr) {
        if (ERRMGR->Confirm(kAddNewRecord, button::kYes | button::kNo, button::kYes) != button::kYes)
            return Severity::Inform;
        if (access->PrepareNewRecord(false) != Severity::Proceed) return Severity::Inform;
        setText(DISPLAYFIELDS.front().VIEWFIELD, value);
        return access->Insert(true);
    }
    return Severity::Inform;
}

// ---- As a part of the window -------------------------------------------------------------------

void TableDropCombo::Member::Reset(std::uint8_t force) {
    c_.watchEntry();
    c_.RefillList(force != 0);
}

std::uint8_t TableDropCombo::Member::NeedsRefresh() {
    const bool r = c_.refresh_;
    c_.refresh_ = false;
    return r ? 1 : 0;
}

Severity TableDropCombo::Member::OnEvent() {
    ui::Window* w = c_.WINDOW != nullptr ? c_.WINDOW->window() : nullptr;
    if (w == nullptr || w->control() != c_.LISTCONTROL) return Severity::Proceed;
    switch (w->event()) {
    case ui::event::NewSelection: {
        const ui::Control* control = w->controlData(c_.LISTCONTROL);
        if (control != nullptr) c_.HandleNewSelection(control->currentRow);
        break;
    }
    case ui::event::Accepted:
        c_.ENTRYFIELD = c_.LISTCONTROL;
        c_.TakeEntry(c_.useValue());
        break;
    default:
        break;
    }
    return Severity::Proceed;
}

void TableDropCombo::Member::Update() {
    // The entry's text is taken when it is accepted; nothing else is the combo's to write.
}

void TableDropCombo::Member::Redisplay() {
    ui::Window* w = c_.WINDOW != nullptr ? c_.WINDOW->window() : nullptr;
    if (w == nullptr) return;
    // Showing the field again must not undo a completion the user is typing through.
    auto* combo = qobject_cast<QComboBox*>(w->controlWidget(c_.LISTCONTROL));
    QLineEdit* edit = combo != nullptr ? combo->lineEdit() : nullptr;
    if (edit != nullptr && edit->hasFocus() && !c_.completed_.empty() &&
        ui::fromQt(edit->text()) == c_.completed_) {
        const int size = static_cast<int>(edit->text().size());
        const int from = static_cast<int>(ui::toQt(c_.typed_).size());
        if (from < size) edit->setSelection(size, from - size);
    }
}

} // namespace docket::classes
