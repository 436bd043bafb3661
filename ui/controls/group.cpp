// Group boxes, and option groups: a group box whose radio buttons show its use variable. The
// option group's choice is the ordinal of its checked radio button.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>

namespace docket::ui {
namespace {

class GroupKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        auto* box = new QGroupBox(toQt(c.def.text), parent);
        if (c.def.type == ControlType::Option) c.radios = new QButtonGroup(box);
        c.widget = box;
    }

    void show(Window&, Control& c) const override {
        if (c.radios == nullptr || !c.use.bound()) return;
        auto buttons = c.radios->buttons();
        for (int i = 0; i < buttons.size(); ++i) {
            bool on = c.use.numeric ? static_cast<int>(c.use.getNumber()) == i + 1
                                    : buttons[i]->text().remove('&') == toQt(c.use.getText());
            buttons[i]->setChecked(on);
        }
    }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (c.radios != nullptr && (isProperty(name, "Choice") || isProperty(name, "Selected")))
            return propertyNumber(c.radios->buttons().indexOf(c.radios->checkedButton()) + 1);
        return std::nullopt;
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        if (isProperty(name, "Text")) {
            c.def.text = value;
            static_cast<QGroupBox*>(c.widget)->setTitle(toQt(value));
            return PropertyResult::Done;
        }
        if (c.radios != nullptr && (isProperty(name, "Choice") || isProperty(name, "Selected"))) {
            const long n = std::strtol(value.c_str(), nullptr, 10);
            auto buttons = c.radios->buttons();
            if (n >= 1 && n <= buttons.size()) buttons[static_cast<int>(n) - 1]->setChecked(true);
            return PropertyResult::Done;
        }
        return PropertyResult::NotMine;
    }
};

} // namespace

const ControlKind& groupKind() {
    static const GroupKind kind;
    return kind;
}

} // namespace docket::ui
