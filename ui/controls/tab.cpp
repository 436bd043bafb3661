// Tabs of a sheet. A tab has no widget of its own: it is a page of its sheet's tab widget, and the
// controls whose parent it is lie on the window and show only while it is the sheet's chosen tab.
// A tab is Visible while its page is the one shown: chosen, not hidden, and its sheet shown.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QTabWidget>

#include <cstdlib>

namespace docket::ui {

int tabOrdinal(const Window& window, const Control& tab) {
    int index = 0;
    for (int n = 1; n < tab.number; ++n) {
        const Control* other = window.controlData(n);
        if (other != nullptr && other->def.type == ControlType::Tab && other->def.parent == tab.def.parent)
            ++index;
    }
    return index + 1;
}

namespace {

QTabWidget* sheetTabs(const Window& window, const Control& tab) {
    const Control* sheet = window.controlData(tab.def.parent);
    if (sheet == nullptr || sheet->def.type != ControlType::Sheet) return nullptr;
    return qobject_cast<QTabWidget*>(sheet->widget);
}

class TabKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget*) const override {
        QTabWidget* tabs = sheetTabs(window, c);
        if (tabs == nullptr) return;
        Control* sheet = window.controlData(c.def.parent);
        sheet->dirty = true; // adding the first page selects it without the user
        tabs->addTab(new QWidget, toQt(c.def.text));
        sheet->dirty = false;
    }

    std::optional<std::string> get(const Window& window, const Control& c,
                                   std::string_view name) const override {
        if (isProperty(name, "Visible")) {
            const Control* sheet = window.controlData(c.def.parent);
            bool shown =
                sheet != nullptr && sheet->selectedTab == tabOrdinal(window, c) && window.visibleByParents(c);
            return propertyNumber(shown ? 1 : 0);
        }
        return std::nullopt;
    }

    PropertyResult set(Window& window, Control& c, std::string_view name,
                       const std::string& value) const override {
        QTabWidget* tabs = sheetTabs(window, c);
        if (isProperty(name, "Text")) {
            c.def.text = value;
            if (tabs != nullptr) tabs->setTabText(tabOrdinal(window, c) - 1, toQt(value));
            return PropertyResult::Done;
        }
        if (isProperty(name, "Visible")) {
            c.hidden = std::strtol(value.c_str(), nullptr, 10) == 0;
            if (tabs != nullptr) {
                // Hiding the chosen tab makes the sheet choose another: not the user's change.
                Control* sheet = window.controlData(c.def.parent);
                sheet->dirty = true;
                tabs->setTabVisible(tabOrdinal(window, c) - 1, !c.hidden);
                sheet->dirty = false;
            }
            window.refreshVisibility();
            return PropertyResult::Done;
        }
        return PropertyResult::NotMine;
    }
};

} // namespace

const ControlKind& tabKind() {
    static const TabKind kind;
    return kind;
}

} // namespace docket::ui
