// Entries: a line of text shown and read through the control's picture. Leaving a changed entry
// takes its text: EVENT:Accepted when the picture can read it, EVENT:Rejected (and the variable
// unchanged) when it cannot. Single-line text boxes are entries too (text_box.cpp).
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QLineEdit>

#include <cstdlib>

namespace docket::ui {
namespace {

// Takes the typed text into the use variable and shows it again as the picture formats it.
bool takeText(Window& window, Control& c) {
    auto* edit = static_cast<QLineEdit*>(c.widget);
    std::string typed = fromQt(edit->text());
    if (!readableThrough(typed, c)) return false;
    if (c.use.bound()) {
        if (c.use.numeric) {
            c.use.setNumber(c.hasPicture ? runtime::deformatNumber(typed, c.picture)
                                         : std::strtod(typed.c_str(), nullptr));
        } else {
            c.use.setText(c.hasPicture ? runtime::deformatText(typed, c.picture) : typed);
        }
        window.display(c.number);
    }
    c.dirty = false;
    return true;
}

class EntryKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly((c.def.attributes & attr::ReadOnly) != 0);
        Window* self = &window;
        int number = c.number;
        QObject::connect(edit, &QLineEdit::textEdited, [self, number] {
            if (Control* cc = self->controlData(number)) cc->dirty = true;
        });
        QObject::connect(edit, &QLineEdit::editingFinished, [self, number] {
            Control* cc = self->controlData(number);
            if (cc == nullptr || !cc->dirty) return;
            cc->dirty = false;
            self->raise(takeText(*self, *cc) ? event::Accepted : event::Rejected, number);
        });
        c.widget = edit;
    }

    void show(Window&, Control& c) const override {
        if (!c.use.bound()) return;
        // Pictures pad numbers on the left for columns; an entry shows them from its left edge.
        static_cast<QLineEdit*>(c.widget)->setText(toQt(shownValue(c)).trimmed());
        c.dirty = false;
    }

    bool take(Window& window, Control& c, bool all) const override {
        if (!all && !c.dirty) return true;
        return takeText(window, c);
    }

    bool validated(const Control&) const override { return true; }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        auto* edit = static_cast<QLineEdit*>(c.widget);
        if (isProperty(name, "Text")) return fromQt(edit->text());
        if (isProperty(name, "ReadOnly")) return propertyNumber(edit->isReadOnly() ? 1 : 0);
        return std::nullopt;
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        auto* edit = static_cast<QLineEdit*>(c.widget);
        if (isProperty(name, "Text")) {
            c.def.text = value;
            edit->setText(toQt(value));
        } else if (isProperty(name, "ReadOnly")) {
            edit->setReadOnly(std::strtol(value.c_str(), nullptr, 10) != 0);
        } else {
            return PropertyResult::NotMine;
        }
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& entryKind() {
    static const EntryKind kind;
    return kind;
}

} // namespace docket::ui
