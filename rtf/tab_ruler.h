#pragma once
// The tab-stop ruler above the text: a scale in inches (a label at each inch, a long tick at each
// half inch, a short one at every other eighth) and a marker at each tab stop of the paragraph
// holding the selection, at most 32. A click reports its position in twips from the text's left
// edge; what a click does to the stops belongs to the editor (FormatCommands::clickTabStop).
//
// Pixels and twips convert at `resolution` pixels per inch, the screen's logical resolution that
// the editor reads once when its container opens. The zero of the scale sits `origin` pixels
// from the ruler's left edge, where the text's left edge is. Markers left or right of the visible
// part are not drawn.
//
// GUI thread.
#include <QWidget>

#include <functional>
#include <vector>

namespace docket::rtf {

class TabRuler : public QWidget {
public:
    explicit TabRuler(QWidget* parent = nullptr);

    void setResolution(int pixelsPerInch);
    int resolution() const { return resolution_; }
    void setOrigin(int pixels);
    int origin() const { return origin_; }
    // The stops in twips, ascending; more than 32 are not shown.
    void setStops(const std::vector<int>& twips);
    const std::vector<int>& stops() const { return stops_; }
    // Where each marker's point is, in pixels from the ruler's left edge.
    std::vector<int> markerPixels() const;
    // The twips of a point `x` pixels from the ruler's left edge (unsnapped; negative left of the
    // text).
    int twipsAt(int x) const;

    std::function<void(int twips)> onClick;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int resolution_ = 96;
    int origin_ = 0;
    std::vector<int> stops_;
};

} // namespace docket::rtf
