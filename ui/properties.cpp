// Window and control properties by name. Names compare without regard to case; positions and sizes
// are dialog units unless the window's "Pixels" property is set.
#include "ui/control.h"
#include "ui/scheduler.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace docket::ui {
namespace {

bool is(std::string_view a, std::string_view b) {
    return isProperty(a, b);
}

std::string number(long value) {
    return propertyNumber(value);
}

} // namespace

long Window::getInt(int control, std::string_view name) const {
    return std::strtol(get(control, name).c_str(), nullptr, 10);
}
bool Window::setInt(int control, std::string_view name, long value) {
    return set(control, name, number(value));
}

std::string Window::get(int control, std::string_view name) const {
    const double ux = pixels_ ? 1.0 : unitX_;
    const double uy = pixels_ ? 1.0 : unitY_;
    if (control == 0) {
        QWidget* w = widget();
        if (is(name, "Text")) return fromQt(w->windowTitle());
        if (is(name, "XPos")) return number(std::lround(w->x() / ux));
        if (is(name, "YPos")) return number(std::lround(w->y() / uy));
        if (is(name, "Width")) return number(std::lround(w->width() / ux));
        if (is(name, "Height")) return number(std::lround(w->height() / uy));
        if (is(name, "Pixels")) return number(pixels_ ? 1 : 0);
        if (is(name, "Visible")) return number(w->isVisible() ? 1 : 0);
        if (is(name, "Enabled")) return number(w->isEnabled() ? 1 : 0);
        if (is(name, "Handle") || is(name, "ClientHandle")) return number(static_cast<long>(w->winId()));
        if (is(name, "Thread")) return number(thread_);
        if (is(name, "Gray")) return number(w->property("docketGray").toBool() ? 1 : 0);
        if (is(name, "Active")) return number(w->isActiveWindow() ? 1 : 0);
        if (is(name, "AcceptAll")) return number(acceptAll_ != 0 ? 1 : 0);
        if (is(name, "MinWidth")) return number(std::lround(w->minimumWidth() / ux));
        if (is(name, "MinHeight")) return number(std::lround(w->minimumHeight() / uy));
        if (is(name, "MaxWidth")) return number(std::lround(std::min(w->maximumWidth(), 65535) / ux));
        if (is(name, "MaxHeight")) return number(std::lround(std::min(w->maximumHeight(), 65535) / uy));
        if (is(name, "Maximize")) return number(w->isMaximized() ? 1 : 0);
        if (is(name, "Iconize")) return number(w->isMinimized() ? 1 : 0);
        if (is(name, "FontName")) return face_;
        if (is(name, "FontSize")) return number(std::lround(w->font().pointSizeF()));
        if (is(name, "FontStyle")) return number(fontStyle(w->font()));
        if (is(name, "Icon")) return icon_;
        return {};
    }
    const Control* c = controlData(control);
    if (c == nullptr) return {};
    if (c->kind != nullptr) {
        if (std::optional<std::string> value = c->kind->get(*this, *c, name)) return *value;
    }
    // What every control answers the same way; the kinds answer the rest above.
    QWidget* w = c->widget;
    if (is(name, "Type")) return number(static_cast<int>(c->def.type));
    if (is(name, "Parent")) return number(c->def.parent);
    if (is(name, "Text")) return c->def.text;
    if (is(name, "XPos")) return number(std::lround(c->box.x() * unitX_ / ux));
    if (is(name, "YPos")) return number(std::lround(c->box.y() * unitY_ / uy));
    if (is(name, "Width")) return number(std::lround(c->box.width() * unitX_ / ux));
    if (is(name, "Height")) return number(std::lround(c->box.height() * unitY_ / uy));
    if (is(name, "Tip")) return c->def.tip;
    if (is(name, "Format")) return c->def.format;
    if (is(name, "Choice") || is(name, "Selected")) return number(c->currentRow);
    if (is(name, "Immediate")) return number((c->def.attributes & attr::Immediate) ? 1 : 0);
    if (is(name, "Skip")) return number((c->def.attributes & attr::Skip) ? 1 : 0);
    if (is(name, "Transparent")) return number((c->def.attributes & attr::Transparent) ? 1 : 0);
    if (is(name, "SingleLine")) return number((c->def.attributes & attr::SingleLine) ? 1 : 0);
    if (is(name, "HScroll")) return number((c->def.attributes & attr::HScroll) ? 1 : 0);
    if (is(name, "VScroll")) return number((c->def.attributes & attr::VScroll) ? 1 : 0);
    // Visible tells whether the control shows: not hidden itself, and its parents shown (a control
    // on a tab other than the chosen one is not Visible).
    if (is(name, "Visible")) return number(visibleByParents(*c) ? 1 : 0);
    if (is(name, "Items") || is(name, "ScrollPos") || is(name, "ReadOnly") || is(name, "Checked") ||
        is(name, "Default") || is(name, "Flat"))
        return "0";
    if (w == nullptr) return {};
    if (is(name, "Enabled")) return number(w->isEnabled() ? 1 : 0);
    if (is(name, "FontName")) {
        // The face the program set, which may be a Windows name mapped to the desktop's font.
        QVariant face = w->property("docketFace");
        return face.isValid() ? fromQt(face.toString()) : fontFace(w->font());
    }
    if (is(name, "Icon")) return w->property("docketIcon").toString().toStdString();
    if (is(name, "FontSize")) return number(std::lround(w->font().pointSizeF()));
    if (is(name, "FontStyle")) return number(fontStyle(w->font()));
    if (is(name, "FontColor")) return number(fromColor(w->property("docketFontColor").value<QColor>()));
    if (is(name, "Background")) return number(fromColor(w->property("docketBackground").value<QColor>()));
    if (is(name, "Handle")) return number(static_cast<long>(w->winId()));
    return {};
}

bool Window::set(int control, std::string_view name, const std::string& value) {
    const long n = std::strtol(value.c_str(), nullptr, 10);
    const double ux = pixels_ ? 1.0 : unitX_;
    const double uy = pixels_ ? 1.0 : unitY_;
    if (control == 0) {
        QWidget* w = widget();
        if (is(name, "Text"))
            w->setWindowTitle(toQt(value));
        else if (is(name, "Pixels"))
            pixels_ = n != 0;
        else if (is(name, "XPos"))
            w->move(static_cast<int>(n * ux), w->y());
        else if (is(name, "YPos"))
            w->move(w->x(), static_cast<int>(n * uy));
        else if (is(name, "Width"))
            w->resize(static_cast<int>(n * ux), w->height());
        else if (is(name, "Height"))
            w->resize(w->width(), static_cast<int>(n * uy));
        else if (is(name, "MinWidth"))
            w->setMinimumWidth(static_cast<int>(n * ux));
        else if (is(name, "MinHeight"))
            w->setMinimumHeight(static_cast<int>(n * uy));
        else if (is(name, "MaxWidth"))
            w->setMaximumWidth(static_cast<int>(n * ux));
        else if (is(name, "MaxHeight"))
            w->setMaximumHeight(static_cast<int>(n * uy));
        else if (is(name, "Maximize"))
            n != 0 ? w->showMaximized() : w->showNormal();
        else if (is(name, "Iconize"))
            n != 0 ? w->showMinimized() : w->showNormal();
        else if (is(name, "Icon")) {
            icon_ = value;
            w->setWindowIcon(makeIcon(value));
        } else if (is(name, "FontName")) {
            face_ = value;
            QFont font = makeFont(value, 8, fontStyle(w->font()));
            font.setPointSizeF(w->font().pointSizeF());
            w->setFont(font);
        } else if (is(name, "Visible"))
            w->setVisible(n != 0);
        else if (is(name, "Enabled"))
            w->setEnabled(n != 0);
        else
            return false;
        return true;
    }
    Control* c = controlData(control);
    if (c == nullptr) return false;
    if (c->kind != nullptr) {
        switch (c->kind->set(*this, *c, name, value)) {
        case PropertyResult::Done:
            return true;
        case PropertyResult::Refused:
            return false;
        case PropertyResult::NotMine:
            break;
        }
    }
    // What every control takes the same way; the kinds take the rest above.
    QWidget* w = c->widget;
    auto moveBox = [&](QRect box) {
        c->box = box;
        place(*c);
    };
    if (is(name, "XPos"))
        moveBox(QRect(static_cast<int>(std::lround(n * ux / unitX_)), c->box.y(), c->box.width(),
                      c->box.height()));
    else if (is(name, "YPos"))
        moveBox(QRect(c->box.x(), static_cast<int>(std::lround(n * uy / unitY_)), c->box.width(),
                      c->box.height()));
    else if (is(name, "Width"))
        moveBox(
            QRect(c->box.x(), c->box.y(), static_cast<int>(std::lround(n * ux / unitX_)), c->box.height()));
    else if (is(name, "Height"))
        moveBox(
            QRect(c->box.x(), c->box.y(), c->box.width(), static_cast<int>(std::lround(n * uy / unitY_))));
    else if (is(name, "Tip")) {
        c->def.tip = value;
        if (w != nullptr) w->setToolTip(toQt(value));
    } else if (is(name, "Format")) {
        c->def.format = value;
        c->columns = parseListFormat(value);
        display(control);
    } else if (is(name, "Immediate")) {
        setAttribute(*c, attr::Immediate, n != 0);
    } else if (is(name, "Skip")) {
        setAttribute(*c, attr::Skip, n != 0);
        if (w != nullptr) w->setFocusPolicy(n != 0 ? Qt::ClickFocus : Qt::StrongFocus);
    } else if (is(name, "HScroll") || is(name, "VScroll")) {
        setAttribute(*c, is(name, "HScroll") ? attr::HScroll : attr::VScroll, n != 0);
    } else if (is(name, "Transparent")) {
        setAttribute(*c, attr::Transparent, n != 0);
    } else if (is(name, "Visible")) {
        c->hidden = n == 0;
        refreshVisibility();
    } else if (is(name, "Choice") || is(name, "Selected")) {
        c->currentRow = static_cast<int>(n);
    } else if (is(name, "Text")) {
        c->def.text = value;
        return false; // the control shows no text of its own
    } else if (w == nullptr) {
        return false;
    } else if (is(name, "Enabled")) {
        w->setEnabled(n != 0);
    } else if (is(name, "FontName") || is(name, "FontSize") || is(name, "FontStyle")) {
        QFont font = w->font();
        std::string face = is(name, "FontName") ? value : fontFace(font);
        int size = is(name, "FontSize") ? static_cast<int>(n) : 0;
        int style = is(name, "FontStyle") ? static_cast<int>(n) : fontStyle(font);
        QFont made = makeFont(face, 8, style);
        if (size > 0)
            made.setPointSize(static_cast<int>(size));
        else
            made.setPointSizeF(font.pointSizeF());
        w->setFont(made);
        if (is(name, "FontName")) w->setProperty("docketFace", toQt(value));
    } else if (is(name, "FontColor") || is(name, "Background")) {
        QColor color = toColor(n);
        QPalette palette = w->palette();
        if (is(name, "FontColor")) {
            w->setProperty("docketFontColor", color);
            palette.setColor(QPalette::WindowText,
                             color.isValid() ? color : QApplication::palette().color(QPalette::WindowText));
            palette.setColor(QPalette::Text,
                             color.isValid() ? color : QApplication::palette().color(QPalette::Text));
        } else {
            w->setProperty("docketBackground", color);
            w->setAutoFillBackground(color.isValid());
            palette.setColor(QPalette::Window,
                             color.isValid() ? color : QApplication::palette().color(QPalette::Window));
        }
        w->setPalette(palette);
    } else {
        return false;
    }
    return true;
}

} // namespace docket::ui
