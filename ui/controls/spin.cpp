// Spin boxes: a number between the definition's range limits (0 to 1,000,000 without them). The
// user's change writes the use variable and raises EVENT:NewSelection.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/window.h"

#include <QSpinBox>

#include <cstdlib>

namespace docket::ui {
namespace {

class SpinKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* spin = new QSpinBox(parent);
        spin->setRange(c.def.rangeLow, c.def.rangeHigh > c.def.rangeLow ? c.def.rangeHigh : 1000000);
        Window* self = &window;
        int number = c.number;
        QObject::connect(spin, &QSpinBox::valueChanged, [self, number](int value) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || cc->dirty) return; // dirty marks a change made by show()
            if (cc->use.bound()) {
                if (cc->use.numeric)
                    cc->use.setNumber(value);
                else
                    cc->use.setText(std::to_string(value));
            }
            self->raise(event::NewSelection, number);
        });
        c.widget = spin;
    }

    void show(Window&, Control& c) const override {
        if (!c.use.bound()) return;
        c.dirty = true;
        static_cast<QSpinBox*>(c.widget)->setValue(
            static_cast<int>(c.use.numeric ? c.use.getNumber() : std::atoi(shownValue(c).c_str())));
        c.dirty = false;
    }
};

} // namespace

const ControlKind& spinKind() {
    static const SpinKind kind;
    return kind;
}

} // namespace docket::ui
