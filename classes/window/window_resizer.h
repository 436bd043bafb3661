#pragma once
// WindowResizer: moves and resizes a window's controls when the user resizes the window, so that
// the layout designed at the window's first size works at any size. Each managed control has a
// positional strategy (how its left and top edges follow its parent) and a resize strategy (how
// its width and height follow), by default chosen from its control type and the window-wide
// application strategy. A control on a tab follows its tab sheet; a control lying inside another
// control's box follows that control; all others follow the window.
//
// What stays true:
// - Every box is computed from the snapshot (the boxes at Init), never from the box of the last
//   resize, so nothing drifts: back at the snapshot size, every control is exactly where it was.
// - The parent links form a forest: a control is never its own ancestor, so a resize ends.
// - A parent of width or height 0 scales its children by 1.
// - All moves of one resize take effect together (deferred moves); unchanged boxes are not touched.
//
// Positions and sizes are the window's dialog units; a control's box is measured from the
// window's client area, whatever its parent, and the window itself counts as the box (0, 0,
// width, height). Runs on the program thread of its window.
#include <cstdint>
#include <memory>
#include <vector>

#include "classes/window/window_member.h"

namespace docket::ui {
class Window;
}

namespace docket::classes {

class WindowFlow;

// Positional strategies, per axis: the horizontal code in the low byte, the vertical one (the same
// numbers, "top"/"bottom" for "left"/"right") in the high byte.
namespace position {
inline constexpr std::uint16_t Proportional = 0; // the offset inside the parent scales with it
inline constexpr std::uint16_t Fixed = 1;        // does not move
inline constexpr std::uint16_t FromRight = 2;    // keeps its distance from the parent's right edge
inline constexpr std::uint16_t FromLeft = 3;     // keeps its distance from the parent's left edge
inline constexpr std::uint16_t FromCentre = 4;   // keeps its distance from the parent's centre
inline constexpr std::uint16_t Nearest = 5;      // FromLeft or FromRight, whichever edge is nearer
} // namespace position

// Resize strategy bits. Without a width bit the width scales with the parent; likewise the height.
namespace resize {
inline constexpr std::uint16_t LockWidth = 1;
inline constexpr std::uint16_t LockHeight = 2;
inline constexpr std::uint16_t KeepRight = 4;  // the width takes up the whole change
inline constexpr std::uint16_t KeepBottom = 8; // the height takes up the whole change
inline constexpr std::uint16_t HalfWidth = 16; // the width takes up half the change
inline constexpr std::uint16_t HalfHeight = 32;
} // namespace resize

struct ResizerBox {
    std::int32_t XPOS = 0;
    std::int32_t YPOS = 0;
    std::int32_t WIDTH = 0;
    std::int32_t HEIGHT = 0;
    friend bool operator==(const ResizerBox&, const ResizerBox&) = default;
};

struct ResizerWindow {
    std::int32_t XPOS = 0;
    std::int32_t YPOS = 0;
    std::int32_t WIDTH = 0;
    std::int32_t HEIGHT = 0;
    std::uint8_t MAXIMIZED = 0;
    std::uint8_t ICONIZED = 0;
};

// One managed control.
struct ResizerControl {
    std::int32_t ID = 0;
    std::int32_t TYPE = 0;
    std::uint8_t HASCHILDREN = 0;
    std::uint16_t POSITIONALSTRATEGY = 0;
    std::uint16_t RESIZESTRATEGY = 0;
    ResizerBox POS;            // the box at snapshot time
    std::int32_t PARENTID = 0; // 0: the window
};

// One move computed by a resize.
struct ResizerMove {
    std::int32_t PRIORITY = 0; // depth in the parent forest (the window's children are 1)
    std::int32_t CONTROLID = 0;
    std::int32_t TYPE = 0;
    ResizerBox BEFORE;
    ResizerBox AFTER;
};

class WindowResizer {
public:
    // `owner` is the flow whose RESIZE this resizer becomes (may be null); a resizer destroyed
    // before its flow takes itself out of RESIZE, so the flow's shut-down never reaches it. The
    // destructor shuts the resizer down (its size handler leaves the window), so a resizer must
    // not outlive the window it was initialised on without Shutdown.
    explicit WindowResizer(WindowFlow* owner = nullptr) : owner_(owner) {}
    virtual ~WindowResizer();
    WindowResizer(const WindowResizer&) = delete;
    WindowResizer& operator=(const WindowResizer&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual std::int32_t ParentOf(std::int32_t control);
    virtual void Snapshot();
    virtual void OnSized(); // the handler of EVENT:Sized: Resize(0)
    // 0: the whole window, from the snapshot to the window's present size. A control number: that
    // control's children, from the control's snapshot box to its present box.
    virtual void Resize(std::int32_t parent);
    virtual void Restore();
    virtual void AssignParents();
    virtual ResizerBox ComputeBox(const ResizerControl& control, const ResizerBox& initial,
                                  const ResizerBox& initialParent, const ResizerBox& newParent);

    // ---- Other operations ----
    // On the running thread's newest window (the one the procedure just opened), or on `window`.
    void Init(std::uint8_t appStrategy, bool setMinSize, bool setMaxSize);
    void Init(ui::Window& window, std::uint8_t appStrategy, bool setMinSize, bool setMaxSize);
    virtual void Shutdown();
    void SetParent(std::int32_t control, std::int32_t parent);
    std::uint16_t DefaultPositional(std::int32_t type) const;
    std::uint16_t DefaultResize(std::int32_t type) const;

    // ---- Fields ----
    std::uint8_t APPSTRATEGY = 0;
    std::uint8_t AUTOTRANSPARENT = 0;
    ResizerWindow ORIGWIN;
    std::unique_ptr<std::vector<ResizerControl>> CONTROLQUEUE;
    std::uint8_t DEFERMOVES = 0;
    ResizerBox PREVIOUSWIN;
    std::uint8_t RESIZECALLED = 0;
    std::unique_ptr<std::vector<ResizerMove>> RESIZELIST;

    // The managed control `control`, null when it is not managed.
    ResizerControl* find(std::int32_t control);
    ui::Window* window() const { return window_; }

private:
    void layOut(std::int32_t parent, const ResizerBox& initialParent, const ResizerBox& newParent,
                std::int32_t depth);
    ResizerBox boxOf(std::int32_t control) const;
    void setBox(std::int32_t control, const ResizerBox& box);
    ResizerBox windowBox() const;
    bool ancestorOf(std::int32_t ancestor, std::int32_t control);

    WindowFlow* owner_;
    ui::Window* window_ = nullptr;
    int handler_ = 0;
};

} // namespace docket::classes
