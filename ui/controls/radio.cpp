// Radio buttons of an option group: choosing one writes the group's use variable (its ordinal in
// the group for a numeric variable, its text for a text one) and raises EVENT:Accepted and
// EVENT:NewSelection for the option group. The group shows the variable (group.cpp).
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace docket::ui {
namespace {

class RadioKind final : public ButtonBaseKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* radio = new QRadioButton(toQt(c.def.text), parent);
        Control* option = window.controlData(c.def.parent);
        if (option != nullptr && option->radios != nullptr) {
            option->radios->addButton(radio);
            Window* self = &window;
            int number = c.number;
            int optionNumber = c.def.parent;
            QObject::connect(radio, &QRadioButton::clicked, [self, number, optionNumber] {
                Control* opt = self->controlData(optionNumber);
                Control* me = self->controlData(number);
                if (opt != nullptr && me != nullptr && opt->use.bound()) {
                    int ordinal =
                        opt->radios->buttons().indexOf(static_cast<QAbstractButton*>(me->widget)) + 1;
                    if (opt->use.numeric)
                        opt->use.setNumber(ordinal);
                    else
                        opt->use.setText(fromQt(static_cast<QRadioButton*>(me->widget)->text().remove('&')));
                }
                self->raise(event::Accepted, optionNumber);
                self->raise(event::NewSelection, optionNumber);
            });
        }
        c.widget = radio;
    }
};

} // namespace

const ControlKind& radioKind() {
    static const RadioKind kind;
    return kind;
}

} // namespace docket::ui
