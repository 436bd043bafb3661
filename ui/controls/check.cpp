// Check boxes: a click sets the use variable to 1 or 0 (a text variable to "1" or "0") and is
// EVENT:Accepted.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QCheckBox>

namespace docket::ui {
namespace {

class CheckKind final : public ButtonBaseKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* check = new QCheckBox(toQt(c.def.text), parent);
        check->setChecked((c.def.attributes & attr::Checked) != 0);
        Window* self = &window;
        int number = c.number;
        QObject::connect(check, &QCheckBox::clicked, [self, number](bool on) {
            Control* cc = self->controlData(number);
            if (cc != nullptr && cc->use.bound()) {
                if (cc->use.numeric)
                    cc->use.setNumber(on ? 1 : 0);
                else
                    cc->use.setText(on ? "1" : "0");
            }
            self->raise(event::Accepted, number);
        });
        c.widget = check;
    }

    void show(Window&, Control& c) const override {
        if (!c.use.bound()) return;
        std::string shown = shownValue(c);
        static_cast<QCheckBox*>(c.widget)->setChecked(c.use.numeric ? c.use.getNumber() != 0
                                                                    : (!shown.empty() && shown != "0"));
    }
};

} // namespace

const ControlKind& checkKind() {
    static const CheckKind kind;
    return kind;
}

} // namespace docket::ui
