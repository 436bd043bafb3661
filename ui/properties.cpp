// Window and control properties by name. Names compare without regard to case; positions and sizes
// are dialog units unless the window's "Pixels" property is set.
#include "ui/control.h"
#include "ui/scheduler.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace docket::ui {
namespace {

bool is(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string number(long value) {
    return std::to_string(value);
}

std::string widgetText(const Control& c) {
    QWidget* w = c.widget;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return fromQt(edit->text());
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return fromQt(plain->toPlainText());
    if (auto* combo = qobject_cast<QComboBox*>(w)) return fromQt(combo->currentText());
    return c.def.text;
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
    QWidget* w = c->widget;
    if (is(name, "Type")) return number(static_cast<int>(c->def.type));
    if (is(name, "Parent")) return number(c->def.parent);
    if (is(name, "Text")) return widgetText(*c);
    if (is(name, "XPos")) return number(std::lround(c->box.x() * unitX_ / ux));
    if (is(name, "YPos")) return number(std::lround(c->box.y() * unitY_ / uy));
    if (is(name, "Width")) return number(std::lround(c->box.width() * unitX_ / ux));
    if (is(name, "Height")) return number(std::lround(c->box.height() * unitY_ / uy));
    if (is(name, "Tip")) return c->def.tip;
    if (is(name, "Format")) return c->def.format;
    if (is(name, "Items")) {
        if (c->table == nullptr) return "0";
        int row = c->table->fontMetrics().height() + 4;
        int header =
            c->table->horizontalHeader()->isVisible() ? c->table->horizontalHeader()->sizeHint().height() : 0;
        return number(std::max(0, (c->table->height() - header - 2 * c->table->frameWidth()) / row));
    }
    if (is(name, "Choice") || is(name, "Selected")) {
        if (c->def.type == ControlType::Sheet) return number(c->selectedTab);
        if (c->radios != nullptr) return number(c->radios->buttons().indexOf(c->radios->checkedButton()) + 1);
        return number(c->currentRow);
    }
    if (is(name, "ScrollPos")) return number(c->thumb != nullptr ? c->thumb->value() : 0);
    if (is(name, "Immediate")) return number((c->def.attributes & attr::Immediate) ? 1 : 0);
    if (is(name, "Skip")) return number((c->def.attributes & attr::Skip) ? 1 : 0);
    if (is(name, "Transparent")) return number((c->def.attributes & attr::Transparent) ? 1 : 0);
    if (is(name, "SingleLine")) return number((c->def.attributes & attr::SingleLine) ? 1 : 0);
    if (is(name, "HScroll")) return number((c->def.attributes & attr::HScroll) ? 1 : 0);
    if (is(name, "VScroll")) return number((c->def.attributes & attr::VScroll) ? 1 : 0);
    if (w == nullptr) return {};
    if (is(name, "Visible")) return number(c->hidden ? 0 : 1);
    if (is(name, "Enabled")) return number(w->isEnabled() ? 1 : 0);
    if (is(name, "ReadOnly")) {
        if (auto* edit = qobject_cast<QLineEdit*>(w)) return number(edit->isReadOnly() ? 1 : 0);
        if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return number(plain->isReadOnly() ? 1 : 0);
        return "0";
    }
    if (is(name, "Checked")) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        return number(button != nullptr && button->isChecked() ? 1 : 0);
    }
    if (is(name, "Default")) {
        auto* button = qobject_cast<QPushButton*>(w);
        return number(button != nullptr && button->isDefault() ? 1 : 0);
    }
    if (is(name, "Flat")) {
        auto* button = qobject_cast<QPushButton*>(w);
        return number(button != nullptr && button->isFlat() ? 1 : 0);
    }
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
    QWidget* w = c->widget;
    auto moveBox = [&](QRect box) {
        c->box = box;
        place(*c);
        if (c->table != nullptr && !deferred_) {
            int bar = c->thumb != nullptr ? c->thumb->sizeHint().width() : 0;
            c->table->setGeometry(0, 0, w->width() - bar, w->height());
            if (c->thumb != nullptr) c->thumb->setGeometry(w->width() - bar, 0, bar, w->height());
        }
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
        c->def.attributes =
            n != 0 ? (c->def.attributes | attr::Immediate) : (c->def.attributes & ~attr::Immediate);
    } else if (is(name, "Skip")) {
        c->def.attributes = n != 0 ? (c->def.attributes | attr::Skip) : (c->def.attributes & ~attr::Skip);
        if (w != nullptr) w->setFocusPolicy(n != 0 ? Qt::ClickFocus : Qt::StrongFocus);
    } else if (is(name, "HScroll") || is(name, "VScroll")) {
        std::uint32_t bit = is(name, "HScroll") ? attr::HScroll : attr::VScroll;
        c->def.attributes = n != 0 ? (c->def.attributes | bit) : (c->def.attributes & ~bit);
        applyScrollBars(*c);
    } else if (is(name, "Transparent")) {
        c->def.attributes =
            n != 0 ? (c->def.attributes | attr::Transparent) : (c->def.attributes & ~attr::Transparent);
    } else if (is(name, "Visible")) {
        c->hidden = n == 0;
        refreshVisibility();
    } else if (is(name, "ScrollPos")) {
        if (c->thumb == nullptr) return false;
        c->thumb->setValue(std::clamp(static_cast<int>(n), 0, 100));
    } else if (is(name, "Choice") || is(name, "Selected")) {
        if (c->def.type == ControlType::Sheet) {
            c->selectedTab = static_cast<int>(n);
            display(control);
            refreshVisibility();
        } else if (c->radios != nullptr) {
            auto buttons = c->radios->buttons();
            if (n >= 1 && n <= buttons.size()) buttons[static_cast<int>(n) - 1]->setChecked(true);
        } else {
            c->currentRow = static_cast<int>(n);
            if (c->table != nullptr) {
                c->dirty = true;
                if (n >= 1 && n <= c->table->rowCount()) c->table->selectRow(static_cast<int>(n) - 1);
                c->dirty = false;
            } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                combo->setCurrentIndex(static_cast<int>(n) - 1);
            }
        }
    } else if (w == nullptr) {
        if (is(name, "Text") && c->def.type == ControlType::Tab) {
            c->def.text = value;
            Control* sheet = controlData(c->def.parent);
            if (sheet != nullptr && sheet->def.type == ControlType::Sheet) {
                int index = 0;
                for (int k = 1; k < control; ++k) {
                    Control* other = controlData(k);
                    if (other != nullptr && other->def.type == ControlType::Tab &&
                        other->def.parent == sheet->number)
                        ++index;
                }
                static_cast<QTabWidget*>(sheet->widget)->setTabText(index, toQt(value));
            }
            return true;
        }
        return false;
    } else if (is(name, "Text")) {
        c->def.text = value;
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setText(toQt(value));
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
            plain->setPlainText(toQt(value));
        else if (auto* combo = qobject_cast<QComboBox*>(w); combo != nullptr && combo->isEditable())
            combo->setEditText(toQt(value));
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(toQt(value));
        else if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(toQt(value));
        else if (auto* box = qobject_cast<QGroupBox*>(w))
            box->setTitle(toQt(value));
        else
            return false;
    } else if (is(name, "Enabled")) {
        w->setEnabled(n != 0);
    } else if (is(name, "Icon")) {
        // Buttons show the icon beside their text, images show it alone.
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setIcon(makeIcon(value));
        } else if (auto* label = qobject_cast<QLabel*>(w);
                   label != nullptr && c->def.type == ControlType::Image) {
            int side = std::max(16, std::min(label->width(), label->height()));
            label->setPixmap(makeIcon(value).pixmap(side));
        } else {
            return false;
        }
        w->setProperty("docketIcon", QString::fromStdString(value));
    } else if (is(name, "ReadOnly")) {
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setReadOnly(n != 0);
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
            plain->setReadOnly(n != 0);
        else
            return false;
    } else if (is(name, "Checked")) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        if (button == nullptr) return false;
        button->setChecked(n != 0);
    } else if (is(name, "Default") || is(name, "Flat")) {
        auto* button = qobject_cast<QPushButton*>(w);
        if (button == nullptr) return false;
        if (is(name, "Default"))
            button->setDefault(n != 0);
        else
            button->setFlat(n != 0);
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
