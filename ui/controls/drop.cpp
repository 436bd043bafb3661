// Drop lists and drop combos: a list part filled from the list source (the first column of the
// list format names the field shown) and, for a combo, an entry part the user may type into.
// Choosing a row writes the use variable and raises EVENT:NewSelection and EVENT:Accepted; leaving
// a changed entry part raises EVENT:Accepted. The list part's opening raises EVENT:DroppingDown
// and EVENT:DroppedDown.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QComboBox>
#include <QLineEdit>

#include <cstdlib>

namespace docket::ui {
namespace {

// Qt has no notification before the list part opens, so both events are raised here.
class DropCombo : public QComboBox {
public:
    DropCombo(Window* window, int control, QWidget* parent)
        : QComboBox(parent), window_(window), control_(control) {}
    void showPopup() override {
        window_->raise(event::DroppingDown, control_);
        QComboBox::showPopup();
        window_->raise(event::DroppedDown, control_);
    }

private:
    Window* window_;
    int control_;
};

class DropKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        Window* self = &window;
        const int number = c.number;
        auto* combo = new DropCombo(self, number, parent);
        combo->setEditable(c.def.type == ControlType::Combo);
        c.columns = parseListFormat(c.def.format);
        QObject::connect(combo, &QComboBox::activated, [self, number](int index) {
            Control* cc = self->controlData(number);
            if (cc == nullptr) return;
            cc->currentRow = index + 1;
            if (cc->use.bound()) {
                std::string value = fromQt(static_cast<QComboBox*>(cc->widget)->itemText(index));
                if (cc->use.numeric)
                    cc->use.setNumber(std::strtod(value.c_str(), nullptr));
                else
                    cc->use.setText(value);
            }
            self->raise(event::NewSelection, number);
            self->raise(event::Accepted, number);
        });
        if (combo->lineEdit() != nullptr) {
            QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, [self, number] {
                if (Control* cc = self->controlData(number)) cc->dirty = true;
            });
            QObject::connect(combo->lineEdit(), &QLineEdit::editingFinished, [self, number] {
                Control* cc = self->controlData(number);
                if (cc == nullptr || !cc->dirty) return;
                cc->dirty = false;
                if (cc->use.bound() && !cc->use.numeric)
                    cc->use.setText(fromQt(static_cast<QComboBox*>(cc->widget)->currentText()));
                self->raise(event::Accepted, number);
            });
        }
        c.widget = combo;
    }

    void show(Window&, Control& c) const override {
        auto* combo = static_cast<QComboBox*>(c.widget);
        if (c.source != nullptr) {
            int field = c.columns.empty() ? 1 : c.columns.front().field;
            combo->clear();
            for (int r = 0; r < c.source->rowCount(); ++r) combo->addItem(toQt(c.source->field(r, field)));
        }
        if (c.use.bound()) {
            std::string value =
                c.use.numeric ? std::to_string(static_cast<long>(c.use.getNumber())) : c.use.getText();
            int index = combo->findText(toQt(value));
            if (combo->isEditable())
                combo->setEditText(toQt(value));
            else if (index >= 0)
                combo->setCurrentIndex(index);
            if (index >= 0) c.currentRow = index + 1;
        }
    }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (isProperty(name, "Text")) return fromQt(static_cast<QComboBox*>(c.widget)->currentText());
        return std::nullopt;
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        auto* combo = static_cast<QComboBox*>(c.widget);
        if (isProperty(name, "Text")) {
            c.def.text = value;
            if (!combo->isEditable()) return PropertyResult::Refused; // a drop list shows only its rows
            combo->setEditText(toQt(value));
            return PropertyResult::Done;
        }
        if (isProperty(name, "Choice") || isProperty(name, "Selected")) {
            const long n = std::strtol(value.c_str(), nullptr, 10);
            c.currentRow = static_cast<int>(n);
            combo->setCurrentIndex(static_cast<int>(n) - 1);
            return PropertyResult::Done;
        }
        return PropertyResult::NotMine;
    }
};

} // namespace

const ControlKind& dropKind() {
    static const DropKind kind;
    return kind;
}

} // namespace docket::ui
