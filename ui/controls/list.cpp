// List boxes: rows of a list source in columns laid out by the list format. The user's move to
// another row raises EVENT:NewSelection. A list with Immediate is filled and scrolled by the
// program: it has a thumb of its own (0-100) in place of the table's scroll bar, and moving past
// the rows shown, paging, the wheel and the thumb raise the scroll events instead of scrolling.
// Such a list holds only the screenful its program gives it; typed letters are the program's (its
// locator's), never Qt's own keyboard search, and its thumb shows or hides by VScroll.
// Columns draw the format's lines ("|" on the right, "_" below) and indents; the right button's
// release (130) goes through the alert keys like a press.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/events.h"
#include "ui/keys.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace docket::ui {
namespace {

Qt::Alignment qtAlign(ColumnAlign align) {
    switch (align) {
    case ColumnAlign::Right:
    case ColumnAlign::Decimal:
        return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Lists follow HScroll; their vertical bar shows whenever the rows do not fit, so a list stays
// usable whatever its definition says, and a list the program fills keeps its own bar (the thumb).
void applyScrollBars(Control& c) {
    c.table->setHorizontalScrollBarPolicy((c.def.attributes & attr::HScroll) ? Qt::ScrollBarAsNeeded
                                                                              : Qt::ScrollBarAlwaysOff);
}

void connectThumb(Window& window, QScrollBar* bar, int number) {
    Window* self = &window;
    QObject::connect(bar, &QScrollBar::actionTriggered, [self, number](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            self->raise(event::ScrollUp, number);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            self->raise(event::ScrollDown, number);
            break;
        case QAbstractSlider::SliderPageStepSub:
            self->raise(event::PageUp, number);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            self->raise(event::PageDown, number);
            break;
        case QAbstractSlider::SliderToMinimum:
            self->raise(event::ScrollTop, number);
            break;
        case QAbstractSlider::SliderToMaximum:
            self->raise(event::ScrollBottom, number);
            break;
        default:
            break;
        }
    });
    // While the thumb is dragged the program may follow it (one EVENT:ScrollTrack waits at a time);
    // the release gives EVENT:ScrollDrag with the thumb's final position.
    QObject::connect(bar, &QScrollBar::sliderMoved, [self, number](int) {
        if (!self->queued(event::ScrollTrack, number)) self->raise(event::ScrollTrack, number);
    });
    QObject::connect(bar, &QScrollBar::sliderReleased, [self, number] { self->raise(event::ScrollDrag, number); });
}

// In a list the program fills, moving past the rows shown asks the program to scroll.
bool scrollKey(Window& window, Control& c, int code) {
    int rows = c.table->rowCount();
    int row = c.table->currentRow();
    std::uint32_t scroll = 0;
    switch (code) {
    case key::Up:
        if (row > 0) return false;
        scroll = event::ScrollUp;
        break;
    case key::Down:
        if (row < rows - 1) return false;
        scroll = event::ScrollDown;
        break;
    case key::PageUp:
        scroll = event::PageUp;
        break;
    case key::PageDown:
        scroll = event::PageDown;
        break;
    case key::Ctrl + key::Home:
        scroll = event::ScrollTop;
        break;
    case key::Ctrl + key::End:
        scroll = event::ScrollBottom;
        break;
    default:
        return false;
    }
    window.raise(scroll, c.number);
    return true;
}

// Paints a column's lines and indent as its format says.
class ColumnDelegate final : public QStyledItemDelegate {
public:
    ColumnDelegate(Window& window, int control, QObject* parent)
        : QStyledItemDelegate(parent), window_(window), control_(control) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const ListColumn* col = column(index.column());
        QStyleOptionViewItem o(option);
        if (col != nullptr && col->indent > 0) {
            const int indent = static_cast<int>(col->indent * window_.unitX());
            if (col->align == ColumnAlign::Right || col->align == ColumnAlign::Decimal)
                o.rect.adjust(0, 0, -indent, 0);
            else if (col->align == ColumnAlign::Left)
                o.rect.adjust(indent, 0, 0, 0);
        }
        QStyledItemDelegate::paint(painter, o, index);
        if (col == nullptr || !(col->rightBorder || col->underline)) return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        if (col->rightBorder) painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        if (col->underline) painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

protected:
    // A picture pads a number to its width; the column aligns it, so the padding would only push
    // the digits out of a narrow column.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = option->text.trimmed();
    }

private:
    const ListColumn* column(int i) const {
        const Control* c = window_.controlData(control_);
        if (c == nullptr || i < 0 || static_cast<std::size_t>(i) >= c->columns.size()) return nullptr;
        return &c->columns[static_cast<std::size_t>(i)];
    }
    Window& window_;
    int control_;
};

class ListKind final : public ControlKind {
public:
    void create(Window& window, Control& c, QWidget* parent) const override {
        auto* frame = new QWidget(parent);
        auto* table = new QTableWidget(frame);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->verticalHeader()->hide();
        table->setShowGrid(false);
        table->setAlternatingRowColors(false);
        table->setItemDelegate(new ColumnDelegate(window, c.number, table));
        c.table = table;
        const int number = c.number;
        if (c.def.attributes & attr::Immediate) {
            table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            auto* bar = new QScrollBar(Qt::Vertical, frame);
            bar->setRange(0, 100);
            c.thumb = bar;
            connectThumb(window, bar, number);
        }
        Window* self = &window;
        QObject::connect(table, &QTableWidget::currentCellChanged, [self, number](int row, int, int, int) {
            Control* cc = self->controlData(number);
            if (cc == nullptr || cc->dirty || row < 0 || row + 1 == cc->currentRow) return;
            cc->currentRow = row + 1;
            self->raise(event::NewSelection, number);
        });
        window.watchInput(number, table);
        window.watchInput(number, table->viewport());
        c.widget = frame;
        c.columns = parseListFormat(c.def.format);
        applyScrollBars(c);
    }

    void show(Window& window, Control& c) const override {
        c.dirty = true; // changes made here are not the user's
        QTableWidget* table = c.table;
        table->setColumnCount(static_cast<int>(c.columns.size()));
        bool headers = false;
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            const ListColumn& col = c.columns[i];
            auto* item = new QTableWidgetItem(toQt(col.header));
            item->setTextAlignment(qtAlign(col.headerAlign));
            table->setHorizontalHeaderItem(static_cast<int>(i), item);
            table->setColumnWidth(static_cast<int>(i), static_cast<int>(col.width * window.unitX()));
            headers = headers || col.hasHeader;
        }
        table->horizontalHeader()->setVisible(headers);
        table->horizontalHeader()->setStretchLastSection(true);
        int rows = c.source != nullptr ? c.source->rowCount() : 0;
        table->setRowCount(rows);
        const QFontMetrics metrics(table->font());
        for (int r = 0; r < rows; ++r) {
            for (std::size_t i = 0; i < c.columns.size(); ++i) {
                const ListColumn& col = c.columns[i];
                const QString text = toQt(columnText(c.source->field(r, col.field), col.picture));
                auto* item = new QTableWidgetItem(text);
                item->setTextAlignment(qtAlign(col.align));
                // A text wider than its column is cut short in the cell: the tip shows all of it.
                if (metrics.horizontalAdvance(text) > table->columnWidth(static_cast<int>(i)) - 8)
                    item->setToolTip(text);
                table->setItem(r, static_cast<int>(i), item);
            }
            table->setRowHeight(r, QFontMetrics(table->font()).height() + 4);
        }
        if (c.currentRow > rows) c.currentRow = rows;
        if (c.currentRow > 0)
            table->selectRow(c.currentRow - 1);
        else
            table->clearSelection();
        c.dirty = false;
    }

    bool input(Window& window, Control& c, QEvent& e, int code) const override {
        if (e.type() == QEvent::MouseButtonRelease && code == key::MouseRightUp) {
            window.setKeyCode(code);
            return window.keyPressed(c.number, code);
        }
        if (c.thumb == nullptr) return false;
        if (e.type() == QEvent::KeyPress) {
            if (scrollKey(window, c, code)) return true;
            // A typed character is the program's: no keyboard search through the rows shown.
            const QString text = static_cast<QKeyEvent&>(e).text();
            return !text.isEmpty() && text.at(0).isPrint();
        }
        if (e.type() == QEvent::Wheel) {
            auto& wheel = static_cast<QWheelEvent&>(e);
            window.raise(wheel.angleDelta().y() > 0 ? event::ScrollUp : event::ScrollDown, c.number);
            return true;
        }
        return false;
    }

    QWidget* focusWidget(const Control& c) const override { return c.table; }

    // Columns in pixels; the thumb of a program-filled list sits at the right edge.
    void placed(Window&, Control& c) const override {
        QWidget* frame = c.widget;
        int bar = c.thumb != nullptr && !c.thumb->isHidden() ? c.thumb->sizeHint().width() : 0;
        c.table->setGeometry(0, 0, frame->width() - bar, frame->height());
        if (c.thumb != nullptr) c.thumb->setGeometry(frame->width() - bar, 0, bar, frame->height());
    }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (isProperty(name, "Items")) {
            int row = c.table->fontMetrics().height() + 4;
            int header = c.table->horizontalHeader()->isVisible() ? c.table->horizontalHeader()->sizeHint().height() : 0;
            return propertyNumber(std::max(0, (c.table->height() - header - 2 * c.table->frameWidth()) / row));
        }
        if (isProperty(name, "ScrollPos")) return propertyNumber(c.thumb != nullptr ? c.thumb->value() : 0);
        if (isProperty(name, "VScroll") && c.thumb != nullptr) return propertyNumber(c.thumb->isHidden() ? 0 : 1);
        return std::nullopt;
    }

    PropertyResult set(Window& window, Control& c, std::string_view name, const std::string& value) const override {
        const long n = std::strtol(value.c_str(), nullptr, 10);
        if (isProperty(name, "VScroll") && c.thumb != nullptr) {
            // The thumb of a program-filled list shows only while the program says so.
            c.thumb->setHidden(n == 0);
            placed(window, c);
        } else if (isProperty(name, "ScrollPos")) {
            if (c.thumb == nullptr) return PropertyResult::Refused;
            c.thumb->setValue(std::clamp(static_cast<int>(n), 0, 100));
        } else if (isProperty(name, "Choice") || isProperty(name, "Selected")) {
            c.currentRow = static_cast<int>(n);
            c.dirty = true;
            if (n >= 1 && n <= c.table->rowCount()) c.table->selectRow(static_cast<int>(n) - 1);
            c.dirty = false;
        } else if (isProperty(name, "HScroll")) {
            setAttribute(c, attr::HScroll, n != 0);
            applyScrollBars(c);
        } else {
            return PropertyResult::NotMine;
        }
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& listKind() {
    static const ListKind kind;
    return kind;
}

} // namespace docket::ui
