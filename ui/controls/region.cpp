// Regions: an invisible area that reports clicks as EVENT:Accepted (with the mouse code as the key
// code) and releases as EVENT:MouseUp; with Immediate also the mouse moving in, over and out.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/window.h"

#include <QEvent>
#include <QWidget>

namespace docket::ui {
namespace {

class RegionKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        auto* region = new QWidget(parent);
        region->setAttribute(Qt::WA_NoSystemBackground);
        region->setMouseTracking((c.def.attributes & attr::Immediate) != 0);
        c.widget = region;
    }

    bool input(Window& window, Control& c, QEvent& e, int code) const override {
        switch (e.type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            window.raise(event::Accepted, c.number, code);
            return true;
        case QEvent::MouseButtonRelease:
            window.raise(event::MouseUp, c.number, code);
            return true;
        default:
            return false;
        }
    }
};

} // namespace

const ControlKind& regionKind() {
    static const RegionKind kind;
    return kind;
}

} // namespace docket::ui
