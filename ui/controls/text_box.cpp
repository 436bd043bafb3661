// Text boxes: several lines of plain text, with scroll bars where the definition asks for them
// (a horizontal bar turns line wrapping off). A single-line text box is an entry (entry.cpp).
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <cstdlib>

namespace docket::ui {
namespace {

void applyScrollBars(Control& c) {
    auto policy = [](bool on) { return on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff; };
    auto* plain = static_cast<QPlainTextEdit*>(c.widget);
    const bool horizontal = (c.def.attributes & attr::HScroll) != 0;
    plain->setHorizontalScrollBarPolicy(policy(horizontal));
    plain->setVerticalScrollBarPolicy(policy((c.def.attributes & attr::VScroll) != 0));
    plain->setLineWrapMode(horizontal ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
}

bool singleLine(const Control& c) {
    return qobject_cast<QLineEdit*>(c.widget) != nullptr;
}

class TextBoxKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        if (c.def.attributes & attr::SingleLine) return entryKind().create(window, c, parent);
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly((c.def.attributes & attr::ReadOnly) != 0);
        c.widget = edit;
        applyScrollBars(c);
    }

    void show(Window& window, Control& c) const override {
        if (singleLine(c)) return entryKind().show(window, c);
        if (!c.use.bound()) return;
        static_cast<QPlainTextEdit*>(c.widget)->setPlainText(
            toQt(c.use.numeric ? shownValue(c) : c.use.getText()));
    }

    bool take(Window& window, Control& c, bool all) const override {
        if (singleLine(c)) return entryKind().take(window, c, all);
        if (c.use.bound() && !c.use.numeric)
            c.use.setText(fromQt(static_cast<QPlainTextEdit*>(c.widget)->toPlainText()));
        return true;
    }

    bool validated(const Control& c) const override { return singleLine(c); }

    std::optional<std::string> get(const Window& window, const Control& c,
                                   std::string_view name) const override {
        if (singleLine(c)) return entryKind().get(window, c, name);
        auto* plain = static_cast<QPlainTextEdit*>(c.widget);
        if (isProperty(name, "Text")) return fromQt(plain->toPlainText());
        if (isProperty(name, "ReadOnly")) return propertyNumber(plain->isReadOnly() ? 1 : 0);
        return std::nullopt;
    }

    PropertyResult set(Window& window, Control& c, std::string_view name,
                       const std::string& value) const override {
        if (singleLine(c)) return entryKind().set(window, c, name, value);
        auto* plain = static_cast<QPlainTextEdit*>(c.widget);
        const long n = std::strtol(value.c_str(), nullptr, 10);
        if (isProperty(name, "Text")) {
            c.def.text = value;
            plain->setPlainText(toQt(value));
        } else if (isProperty(name, "ReadOnly")) {
            plain->setReadOnly(n != 0);
        } else if (isProperty(name, "HScroll") || isProperty(name, "VScroll")) {
            setAttribute(c, isProperty(name, "HScroll") ? attr::HScroll : attr::VScroll, n != 0);
            applyScrollBars(c);
        } else {
            return PropertyResult::NotMine;
        }
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& textBoxKind() {
    static const TextBoxKind kind;
    return kind;
}

} // namespace docket::ui
