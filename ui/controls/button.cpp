// Push buttons: a click is EVENT:Accepted. The shared part of buttons, check boxes and radio
// buttons (text, check mark, icon) is here too.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QPushButton>

namespace docket::ui {

std::optional<std::string> ButtonBaseKind::get(const Window&, const Control& c, std::string_view name) const {
    auto* button = qobject_cast<QAbstractButton*>(c.widget);
    if (button == nullptr) return std::nullopt;
    if (isProperty(name, "Checked")) return propertyNumber(button->isChecked() ? 1 : 0);
    return std::nullopt;
}

PropertyResult ButtonBaseKind::set(Window&, Control& c, std::string_view name,
                                   const std::string& value) const {
    auto* button = qobject_cast<QAbstractButton*>(c.widget);
    if (button == nullptr) return PropertyResult::NotMine;
    const long n = std::strtol(value.c_str(), nullptr, 10);
    if (isProperty(name, "Text")) {
        c.def.text = value;
        button->setText(toQt(value));
    } else if (isProperty(name, "Checked")) {
        button->setChecked(n != 0);
    } else if (isProperty(name, "Icon")) {
        // Buttons show the icon beside their text.
        button->setIcon(makeIcon(value));
        button->setProperty("docketIcon", QString::fromStdString(value));
    } else {
        return PropertyResult::NotMine;
    }
    return PropertyResult::Done;
}

namespace {

class ButtonKind final : public ButtonBaseKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* button = new QPushButton(toQt(c.def.text), parent);
        button->setDefault((c.def.attributes & attr::Default) != 0);
        button->setAutoDefault(false);
        button->setFlat((c.def.attributes & attr::Flat) != 0);
        Window* self = &window;
        int number = c.number;
        QObject::connect(button, &QPushButton::clicked,
                         [self, number] { self->raise(event::Accepted, number); });
        c.widget = button;
    }

    std::optional<std::string> get(const Window& window, const Control& c,
                                   std::string_view name) const override {
        auto* button = static_cast<QPushButton*>(c.widget);
        if (isProperty(name, "Default")) return propertyNumber(button->isDefault() ? 1 : 0);
        if (isProperty(name, "Flat")) return propertyNumber(button->isFlat() ? 1 : 0);
        return ButtonBaseKind::get(window, c, name);
    }

    PropertyResult set(Window& window, Control& c, std::string_view name,
                       const std::string& value) const override {
        auto* button = static_cast<QPushButton*>(c.widget);
        const bool on = std::strtol(value.c_str(), nullptr, 10) != 0;
        if (isProperty(name, "Default")) {
            button->setDefault(on);
            return PropertyResult::Done;
        }
        if (isProperty(name, "Flat")) {
            button->setFlat(on);
            return PropertyResult::Done;
        }
        return ButtonBaseKind::set(window, c, name, value);
    }
};

} // namespace

const ControlKind& buttonKind() {
    static const ButtonKind kind;
    return kind;
}

} // namespace docket::ui
