#include "rtf/tab_ruler.h"

#include "rtf/format_commands.h"
#include "ui/rich_text_format.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace docket::rtf {

TabRuler::TabRuler(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("docketTabRuler"));
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click to set a tab stop; click a stop to remove it"));
}

void TabRuler::setResolution(int pixelsPerInch) {
    if (pixelsPerInch <= 0 || pixelsPerInch == resolution_) return;
    resolution_ = pixelsPerInch;
    update();
}

void TabRuler::setOrigin(int pixels) {
    if (pixels == origin_) return;
    origin_ = pixels;
    update();
}

void TabRuler::setStops(const std::vector<int>& twips) {
    std::vector<int> shown = twips;
    if (shown.size() > static_cast<std::size_t>(ui::kMaxTabStops)) shown.resize(ui::kMaxTabStops);
    if (shown == stops_) return;
    stops_ = std::move(shown);
    update();
}

std::vector<int> TabRuler::markerPixels() const {
    std::vector<int> out;
    for (int twips : stops_) out.push_back(origin_ + pixelsFromTwips(twips, resolution_));
    return out;
}

int TabRuler::twipsAt(int x) const {
    return twipsFromPixels(x - origin_, resolution_);
}

QSize TabRuler::sizeHint() const {
    return {200, 20};
}

void TabRuler::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect box = rect();
    const QPalette& pal = palette();
    p.fillRect(box, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(box.adjusted(0, 0, -1, -1));

    // The scale: eighths of an inch from the text's left edge to the ruler's right edge.
    const int bottom = box.bottom() - 1;
    QFont small = font();
    small.setPixelSize(std::max(8, box.height() / 2 - 1));
    p.setFont(small);
    const QFontMetrics metrics(small);
    p.setPen(pal.color(QPalette::Text));
    for (int eighth = 1;; ++eighth) {
        // Multiply before dividing: the position of each eighth is exact to the pixel.
        const int x = origin_ + (eighth * resolution_ + 4) / 8;
        if (x >= box.right()) break;
        if (eighth % 8 == 0) {
            const QString label = QString::number(eighth / 8);
            const int w = metrics.horizontalAdvance(label);
            p.drawText(QPoint(x - w / 2, 1 + metrics.ascent()), label);
        } else if (eighth % 4 == 0) {
            p.drawLine(x, bottom - 7, x, bottom - 1);
        } else {
            p.drawLine(x, bottom - 3, x, bottom - 1);
        }
    }

    // A marker is the usual left-tab sign: an upright stroke with a foot to the right.
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink(0x00, 0x00, 0xFF);
    for (int x : markerPixels()) {
        if (x < box.left() + 2 || x > box.right() - 2) continue;
        p.fillRect(QRect(x - 1, bottom - 8, 2, 8), ink);
        p.fillRect(QRect(x - 1, bottom - 2, 6, 2), ink);
    }
}

void TabRuler::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    e->accept();
    if (onClick) onClick(twipsAt(static_cast<int>(e->position().x())));
}

} // namespace docket::rtf
