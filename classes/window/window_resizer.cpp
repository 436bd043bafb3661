#include "classes/window/window_resizer.h"

#include <algorithm>
#include <cmath>

#include "classes/window/window_flow.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

using ui::ControlType;

constexpr std::int32_t type(ControlType t) {
    return static_cast<std::int32_t>(t);
}

// The window system's types that the resizer never manages: tabs live in their sheet.
constexpr std::int32_t kTabTypes[] = {19, 20, type(ControlType::Tab)};
constexpr std::int32_t kMaxManagedType = 127;

bool oneOf(std::int32_t t, std::initializer_list<std::int32_t> types) {
    return std::find(types.begin(), types.end(), t) != types.end();
}

// The size ratio of a parent, to four decimal places; a parent that had no size scales by 1.
double ratioOf(std::int32_t newSize, std::int32_t initialSize) {
    if (initialSize == 0) return 1.0;
    return std::round(static_cast<double>(newSize) / initialSize * 10000.0) / 10000.0;
}

struct Axis {
    std::int32_t pos, size;                   // the control's initial box on this axis
    std::int32_t parentPos, parentSize;       // the parent's initial box
    std::int32_t newParentPos, newParentSize; // the parent's new box
};

// One axis of ComputeBox: `code` the positional code, `lock`/`keep`/`half` the axis's resize bits.
// Returns {position, size}.
std::pair<std::int32_t, std::int32_t> computeAxis(const Axis& a, std::uint16_t code, bool lock, bool keep,
                                                  bool half) {
    const double ratio = ratioOf(a.newParentSize, a.parentSize);
    const double dx = a.pos - a.parentPos;
    double size = a.size;
    if (!keep && !half) size = lock ? a.size : a.size * ratio;
    if (code == position::Nearest) {
        const double leftMargin = dx;
        const double rightMargin = a.parentSize - dx - a.size;
        code = leftMargin < rightMargin ? position::FromLeft : position::FromRight;
    }
    double pos = 0;
    switch (code) {
    case position::Fixed:
        pos = a.pos;
        break;
    case position::FromRight: {
        double d = a.parentSize - dx;
        if (!lock) d *= ratio;
        pos = a.newParentPos + a.newParentSize - d;
        break;
    }
    case position::FromLeft:
        pos = a.newParentPos + dx;
        break;
    case position::FromCentre: {
        double d = a.parentSize / 2.0 - dx;
        if (!lock) d *= ratio;
        pos = a.newParentPos + a.newParentSize / 2.0 - d;
        break;
    }
    default:
        // Proportional: the offset inside the parent scales, not the parent's own position (for
        // a control of the window, whose left is 0, the two are the same).
        pos = a.newParentPos + dx * ratio;
        break;
    }
    const double newParentEnd = a.newParentPos + a.newParentSize;
    if (keep) {
        size = newParentEnd - (a.parentSize - dx - a.size) - pos;
    } else if (half) {
        size = a.size + (newParentEnd - (a.parentSize - dx) - pos) / 2.0;
    }
    return {static_cast<std::int32_t>(std::lround(pos)),
            static_cast<std::int32_t>(std::max<long>(0, std::lround(size)))};
}

} // namespace

// ---- Defaults ---------------------------------------------------------------------------------------

// Types the table names by number: 3 list, 4 region, 8 entry, 9 button, 10 prompt, 11 option
// group, 12 check, 13 group, 14 text box, 15 drop combo, 16 spin box, 21 radio, 34 drop list,
// 37 sheet, 39 panel. The window system numbered its lists 3 and its combos 15 so that they fall
// into the right groups: a record list stretches, a drop combo behaves as an entry; the rich-text
// editor sits in a region and stretches. Of the types the table leaves to "others", a box (5)
// frames other controls and stretches with them, and a tool bar (17) spans the width at its
// height; the rest (texts, images, lines) scale.
std::uint16_t WindowResizer::DefaultPositional(std::int32_t t) const {
    switch (APPSTRATEGY) {
    case 3:
        return 0x101;
    case 1:
        if (t == 9) return 0x505;
        return 0;
    case 2:
        if (t == 9) return 0x505;
        if (oneOf(t, {12, 21})) return 0;
        if (oneOf(t, {8, 10, 15, 16, 34})) return 0x300;
        if (oneOf(t, {3, 4, 11, 13, 14, 37, 39, type(ControlType::Box)})) return 0x303;
        if (t == type(ControlType::ToolBar)) return 0x303;
        return 0;
    default:
        return 0;
    }
}

std::uint16_t WindowResizer::DefaultResize(std::int32_t t) const {
    using namespace resize;
    switch (APPSTRATEGY) {
    case 3:
        return LockWidth | LockHeight;
    case 1:
        if (oneOf(t, {9, 12, 21})) return LockWidth | LockHeight;
        if (oneOf(t, {8, 15, 16, 34})) return LockHeight;
        return 0;
    case 2:
        if (oneOf(t, {9, 12, 21})) return LockWidth | LockHeight;
        if (oneOf(t, {8, 10, 15, 16, 34})) return LockHeight;
        if (oneOf(t, {3, 4, 11, 13, 14, 37, 39, type(ControlType::Box)})) return KeepRight | KeepBottom;
        if (t == type(ControlType::ToolBar)) return KeepRight | LockHeight;
        return 0;
    default:
        return 0;
    }
}

// ---- Start and end ----------------------------------------------------------------------------------

WindowResizer::~WindowResizer() {
    if (owner_ != nullptr && owner_->RESIZE == this) owner_->RESIZE = nullptr;
    Shutdown();
}

void WindowResizer::Init(std::uint8_t appStrategy, bool setMinSize, bool setMaxSize) {
    if (ui::Window* w = ui::currentWindow()) Init(*w, appStrategy, setMinSize, setMaxSize);
}

void WindowResizer::Init(ui::Window& window, std::uint8_t appStrategy, bool setMinSize, bool setMaxSize) {
    window_ = &window;
    CONTROLQUEUE = std::make_unique<std::vector<ResizerControl>>();
    RESIZELIST = std::make_unique<std::vector<ResizerMove>>();
    APPSTRATEGY = appStrategy;
    // The window raises EVENT:Sized while the user drags its frame, not only at the end.
    handler_ = window.addHandler(ui::event::Sized, 0, [this] {
        OnSized();
        return ui::Action::Default;
    });
    Snapshot();
    if (appStrategy == 2) AssignParents();
    if (setMinSize) {
        window.setInt(0, "MinWidth", ORIGWIN.WIDTH);
        window.setInt(0, "MinHeight", ORIGWIN.HEIGHT);
    }
    if (setMaxSize) {
        window.setInt(0, "MaxWidth", ORIGWIN.WIDTH);
        window.setInt(0, "MaxHeight", ORIGWIN.HEIGHT);
    }
    DEFERMOVES = 1;
}

void WindowResizer::Shutdown() {
    if (window_ != nullptr && handler_ != 0) window_->removeHandler(handler_);
    handler_ = 0;
    window_ = nullptr;
    CONTROLQUEUE.reset();
    RESIZELIST.reset();
}

// ---- The snapshot and the parents -------------------------------------------------------------------

ResizerBox WindowResizer::windowBox() const {
    return {static_cast<std::int32_t>(window_->getInt(0, "XPos")),
            static_cast<std::int32_t>(window_->getInt(0, "YPos")),
            static_cast<std::int32_t>(window_->getInt(0, "Width")),
            static_cast<std::int32_t>(window_->getInt(0, "Height"))};
}

ResizerBox WindowResizer::boxOf(std::int32_t control) const {
    return {static_cast<std::int32_t>(window_->getInt(control, "XPos")),
            static_cast<std::int32_t>(window_->getInt(control, "YPos")),
            static_cast<std::int32_t>(window_->getInt(control, "Width")),
            static_cast<std::int32_t>(window_->getInt(control, "Height"))};
}

void WindowResizer::setBox(std::int32_t control, const ResizerBox& box) {
    const ResizerBox now = boxOf(control);
    if (now.XPOS != box.XPOS) window_->setInt(control, "XPos", box.XPOS);
    if (now.YPOS != box.YPOS) window_->setInt(control, "YPos", box.YPOS);
    if (now.WIDTH != box.WIDTH) window_->setInt(control, "Width", box.WIDTH);
    if (now.HEIGHT != box.HEIGHT) window_->setInt(control, "Height", box.HEIGHT);
}

ResizerControl* WindowResizer::find(std::int32_t control) {
    if (!CONTROLQUEUE) return nullptr;
    auto at = std::lower_bound(CONTROLQUEUE->begin(), CONTROLQUEUE->end(), control,
                               [](const ResizerControl& c, std::int32_t id) { return c.ID < id; });
    return at != CONTROLQUEUE->end() && at->ID == control ? &*at : nullptr;
}

void WindowResizer::Snapshot() {
    if (window_ == nullptr || !CONTROLQUEUE) return;
    const ResizerBox box = windowBox();
    ORIGWIN = {box.XPOS,
               box.YPOS,
               box.WIDTH,
               box.HEIGHT,
               static_cast<std::uint8_t>(window_->getInt(0, "Maximize") != 0),
               static_cast<std::uint8_t>(window_->getInt(0, "Iconize") != 0)};
    PREVIOUSWIN = box;
    for (int control = 1; control <= window_->controlCount(); ++control) {
        if (!window_->exists(control)) continue;
        if (ResizerControl* known = find(control)) {
            known->POS = boxOf(control);
            continue;
        }
        std::int32_t t = static_cast<std::int32_t>(window_->getInt(control, "Type"));
        if (t < 1 || t > kMaxManagedType) continue;
        if (std::find(std::begin(kTabTypes), std::end(kTabTypes), t) != std::end(kTabTypes)) continue;
        // A text box that behaves as an entry is laid out as one.
        if (t == type(ControlType::TextBox) && window_->getInt(control, "SingleLine") != 0)
            t = type(ControlType::Entry);
        ResizerControl entry;
        entry.ID = control;
        entry.TYPE = t;
        entry.POS = boxOf(control);
        entry.POSITIONALSTRATEGY = DefaultPositional(t);
        entry.RESIZESTRATEGY = DefaultResize(t);
        // Controls are walked in ascending order, so appending keeps the queue ordered by ID.
        CONTROLQUEUE->push_back(entry);
    }
    RESIZECALLED = 0;
}

std::int32_t WindowResizer::ParentOf(std::int32_t control) {
    const ResizerControl* c = find(control);
    return c != nullptr ? c->PARENTID : 0;
}

void WindowResizer::SetParent(std::int32_t control, std::int32_t parent) {
    ResizerControl* c = find(control);
    ResizerControl* p = find(parent);
    // A link that would close a loop is refused: a resize follows the links down and must end.
    if (c == nullptr || control == parent || (parent != 0 && (p == nullptr || ancestorOf(control, parent))))
        return;
    c->PARENTID = parent;
    if (p != nullptr) p->HASCHILDREN = 1;
}

bool WindowResizer::ancestorOf(std::int32_t ancestor, std::int32_t control) {
    // The links form a forest, so the walk is at most as long as the queue.
    for (std::size_t steps = 0; control != 0 && steps <= CONTROLQUEUE->size(); ++steps) {
        if (control == ancestor) return true;
        control = ParentOf(control);
    }
    return false;
}

void WindowResizer::AssignParents() {
    if (window_ == nullptr || !CONTROLQUEUE) return;
    // First the window's own parent chain: a control belongs to the nearest managed control it
    // lies in (a tab counts as its sheet, since tabs are not managed).
    for (ResizerControl& c : *CONTROLQUEUE) {
        std::int32_t up = static_cast<std::int32_t>(window_->getInt(c.ID, "Parent"));
        for (std::size_t steps = 0; up != 0 && steps <= static_cast<std::size_t>(window_->controlCount());
             ++steps) {
            if (find(up) != nullptr) {
                SetParent(c.ID, up);
                break;
            }
            up = static_cast<std::int32_t>(window_->getInt(up, "Parent"));
        }
    }
    // Then containment, among the controls the chain left without a parent. Each of them takes as
    // its parent the smallest other such control whose box holds its top-left corner, ties going
    // to the earlier control. A parent must be larger than its child (or as large and earlier), so
    // two controls can never become each other's parent and the links stay a forest.
    std::vector<ResizerControl*> roots;
    for (ResizerControl& c : *CONTROLQUEUE)
        if (c.PARENTID == 0) roots.push_back(&c);
    auto area = [](const ResizerControl& c) {
        return static_cast<long long>(c.POS.WIDTH) * static_cast<long long>(c.POS.HEIGHT);
    };
    auto holds = [](const ResizerBox& outer, const ResizerBox& inner) {
        return inner.XPOS >= outer.XPOS && inner.XPOS < outer.XPOS + outer.WIDTH &&
               inner.YPOS >= outer.YPOS && inner.YPOS < outer.YPOS + outer.HEIGHT;
    };
    std::vector<std::pair<std::int32_t, std::int32_t>> links;
    for (const ResizerControl* child : roots) {
        const ResizerControl* best = nullptr;
        for (const ResizerControl* candidate : roots) {
            if (candidate == child || !holds(candidate->POS, child->POS)) continue;
            const bool larger = area(*candidate) > area(*child) ||
                                (area(*candidate) == area(*child) && candidate->ID < child->ID);
            if (!larger) continue;
            if (best == nullptr || area(*candidate) < area(*best)) best = candidate; // ties: earlier stays
        }
        if (best != nullptr) links.emplace_back(child->ID, best->ID);
    }
    for (const auto& [child, parent] : links) SetParent(child, parent);
}

// ---- Resizing ---------------------------------------------------------------------------------------

ResizerBox WindowResizer::ComputeBox(const ResizerControl& control, const ResizerBox& initial,
                                     const ResizerBox& initialParent, const ResizerBox& newParent) {
    const std::uint16_t bits = control.RESIZESTRATEGY;
    const auto [x, width] = computeAxis({initial.XPOS, initial.WIDTH, initialParent.XPOS, initialParent.WIDTH,
                                         newParent.XPOS, newParent.WIDTH},
                                        control.POSITIONALSTRATEGY & 0xFF, bits & resize::LockWidth,
                                        bits & resize::KeepRight, bits & resize::HalfWidth);
    const auto [y, height] = computeAxis({initial.YPOS, initial.HEIGHT, initialParent.YPOS,
                                          initialParent.HEIGHT, newParent.YPOS, newParent.HEIGHT},
                                         control.POSITIONALSTRATEGY >> 8, bits & resize::LockHeight,
                                         bits & resize::KeepBottom, bits & resize::HalfHeight);
    return {x, y, width, height};
}

void WindowResizer::OnSized() {
    Resize(0);
}

void WindowResizer::layOut(std::int32_t parent, const ResizerBox& initialParent, const ResizerBox& newParent,
                           std::int32_t depth) {
    for (const ResizerControl& c : *CONTROLQUEUE) {
        if (c.PARENTID != parent) continue;
        ResizerMove move;
        move.PRIORITY = depth;
        move.CONTROLID = c.ID;
        move.TYPE = c.TYPE;
        move.BEFORE = boxOf(c.ID);
        move.AFTER = ComputeBox(c, c.POS, initialParent, newParent);
        RESIZELIST->push_back(move);
        if (c.HASCHILDREN) layOut(c.ID, c.POS, move.AFTER, depth + 1);
    }
}

void WindowResizer::Resize(std::int32_t parent) {
    if (window_ == nullptr || !CONTROLQUEUE || !RESIZELIST) return;
    RESIZELIST->clear();
    const ResizerBox now = windowBox();
    if (parent == 0 && now.WIDTH == PREVIOUSWIN.WIDTH && now.HEIGHT == PREVIOUSWIN.HEIGHT) return;
    if (DEFERMOVES) window_->beginDeferredMoves();
    if (parent == 0 && now.WIDTH == ORIGWIN.WIDTH && now.HEIGHT == ORIGWIN.HEIGHT) {
        for (const ResizerControl& c : *CONTROLQUEUE) {
            ResizerMove move;
            move.CONTROLID = c.ID;
            move.TYPE = c.TYPE;
            move.BEFORE = boxOf(c.ID);
            move.AFTER = c.POS;
            RESIZELIST->push_back(move);
        }
    } else if (parent == 0) {
        layOut(0, {0, 0, ORIGWIN.WIDTH, ORIGWIN.HEIGHT}, {0, 0, now.WIDTH, now.HEIGHT}, 1);
    } else if (const ResizerControl* p = find(parent)) {
        layOut(parent, p->POS, boxOf(parent), 1);
    }
    if (!DEFERMOVES) {
        // Moved one at a time, controls must not pass over each other: outward first when the
        // window grew, inward first when it shrank.
        const bool grew = now.WIDTH * now.HEIGHT >= PREVIOUSWIN.WIDTH * PREVIOUSWIN.HEIGHT;
        std::stable_sort(RESIZELIST->begin(), RESIZELIST->end(),
                         [grew](const ResizerMove& a, const ResizerMove& b) {
                             return grew ? a.PRIORITY < b.PRIORITY : a.PRIORITY > b.PRIORITY;
                         });
    }
    for (const ResizerMove& move : *RESIZELIST)
        if (!(move.AFTER == move.BEFORE)) setBox(move.CONTROLID, move.AFTER);
    if (DEFERMOVES) window_->endDeferredMoves();
    RESIZECALLED = 1;
    if (parent == 0) PREVIOUSWIN = now;
}

void WindowResizer::Restore() {
    if (window_ == nullptr || !CONTROLQUEUE) return;
    if (window_->getInt(0, "Maximize") != ORIGWIN.MAXIMIZED)
        window_->setInt(0, "Maximize", ORIGWIN.MAXIMIZED);
    if (window_->getInt(0, "Iconize") != ORIGWIN.ICONIZED) window_->setInt(0, "Iconize", ORIGWIN.ICONIZED);
    window_->setInt(0, "XPos", ORIGWIN.XPOS);
    window_->setInt(0, "YPos", ORIGWIN.YPOS);
    window_->setInt(0, "Width", ORIGWIN.WIDTH);
    window_->setInt(0, "Height", ORIGWIN.HEIGHT);
    if (DEFERMOVES) window_->beginDeferredMoves();
    for (const ResizerControl& c : *CONTROLQUEUE) setBox(c.ID, c.POS);
    if (DEFERMOVES) window_->endDeferredMoves();
    PREVIOUSWIN = {ORIGWIN.XPOS, ORIGWIN.YPOS, ORIGWIN.WIDTH, ORIGWIN.HEIGHT};
}

} // namespace docket::classes
