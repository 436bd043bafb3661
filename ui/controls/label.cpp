// Prompts and display strings: a line of text. A display string bound to a variable shows it
// through its picture; a prompt's "&" mnemonic reaches the control after it (the window makes the
// prompt that control's buddy).
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QLabel>

namespace docket::ui {
namespace {

class LabelKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        auto* label = new QLabel(toQt(c.def.text), parent);
        if (c.def.type == ControlType::Text) label->setTextFormat(Qt::PlainText);
        c.widget = label;
    }

    void show(Window&, Control& c) const override {
        if (c.use.bound()) static_cast<QLabel*>(c.widget)->setText(toQt(shownValue(c)));
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        if (!isProperty(name, "Text")) return PropertyResult::NotMine;
        c.def.text = value;
        static_cast<QLabel*>(c.widget)->setText(toQt(value));
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& labelKind() {
    static const LabelKind kind;
    return kind;
}

} // namespace docket::ui
