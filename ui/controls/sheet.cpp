// Tab sheets: the tab chosen is the sheet's choice (1-based). The controls of a tab (tab.cpp) show
// only while their tab is chosen. The user's change of tab raises EVENT:TabChanging and
// EVENT:NewSelection; the program's own change raises nothing.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/window.h"

#include <QTabWidget>

#include <cstdlib>

namespace docket::ui {
namespace {

class SheetKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* tabs = new QTabWidget(parent);
        Window* self = &window;
        const int number = c.number;
        QObject::connect(tabs, &QTabWidget::currentChanged, [self, number](int index) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || index < 0 || index + 1 == cc->selectedTab) return;
            cc->selectedTab = index + 1;
            self->refreshVisibility();
            // The platform changes the tab before telling, so EVENT:TabChanging comes right before
            // EVENT:NewSelection and cannot hold the change back.
            if (!cc->dirty) {
                self->raise(event::TabChanging, number);
                self->raise(event::NewSelection, number);
            }
        });
        c.widget = tabs;
    }

    void show(Window&, Control& c) const override {
        auto* tabs = static_cast<QTabWidget*>(c.widget);
        c.dirty = true;
        if (c.selectedTab >= 1 && c.selectedTab <= tabs->count()) tabs->setCurrentIndex(c.selectedTab - 1);
        c.dirty = false;
    }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (isProperty(name, "Choice") || isProperty(name, "Selected")) return propertyNumber(c.selectedTab);
        return std::nullopt;
    }

    PropertyResult set(Window& window, Control& c, std::string_view name,
                       const std::string& value) const override {
        if (!isProperty(name, "Choice") && !isProperty(name, "Selected")) return PropertyResult::NotMine;
        c.selectedTab = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
        show(window, c);
        window.refreshVisibility();
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& sheetKind() {
    static const SheetKind kind;
    return kind;
}

} // namespace docket::ui
