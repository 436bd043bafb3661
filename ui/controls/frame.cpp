// Panels, boxes, lines and tool bar areas: frames that only draw. A line runs along the longer side
// of its box.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/window.h"

#include <QFrame>

namespace docket::ui {
namespace {

class FrameKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        auto* frame = new QFrame(parent);
        const ControlDefinition& d = c.def;
        if (d.type == ControlType::Line) {
            frame->setFrameShape(d.width >= d.height ? QFrame::HLine : QFrame::VLine);
            frame->setFrameShadow(QFrame::Sunken);
        } else if (d.type == ControlType::Box) {
            frame->setFrameShape(QFrame::Box);
        } else {
            frame->setFrameShape(QFrame::StyledPanel);
            frame->setFrameShadow(d.type == ControlType::Panel ? QFrame::Sunken : QFrame::Raised);
        }
        c.widget = frame;
    }
};

} // namespace

const ControlKind& frameKind() {
    static const FrameKind kind;
    return kind;
}

} // namespace docket::ui
