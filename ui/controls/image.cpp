// Images: an icon (the definition's text names it) drawn in the middle of the control's box, as
// large as the box allows.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QLabel>

#include <algorithm>

namespace docket::ui {
namespace {

class ImageKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* label = new QLabel(parent);
        label->setAlignment(Qt::AlignCenter);
        int side = std::min(static_cast<int>(c.def.width * window.unitX()),
                            static_cast<int>(c.def.height * window.unitY()));
        label->setPixmap(makeIcon(c.def.text).pixmap(std::max(16, side)));
        label->setProperty("docketIcon", QString::fromStdString(c.def.text));
        c.widget = label;
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        if (!isProperty(name, "Icon")) return PropertyResult::NotMine;
        auto* label = static_cast<QLabel*>(c.widget);
        int side = std::max(16, std::min(label->width(), label->height()));
        label->setPixmap(makeIcon(value).pixmap(side));
        label->setProperty("docketIcon", QString::fromStdString(value));
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& imageKind() {
    static const ImageKind kind;
    return kind;
}

} // namespace docket::ui
