#pragma once
// The event vocabulary. A procedure's loop sees event numbers; the window system's queues and the
// trace carry message codes, which are the event number plus 0x1400.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace docket::ui {

inline constexpr std::uint32_t kEventCodeBase = 0x1400;
// Event numbers above this are the program's own ("user events") and pass between threads as they are.
inline constexpr std::uint32_t kFirstUserEvent = 0x401;

namespace event {
inline constexpr std::uint32_t Accepted = 0x01;
inline constexpr std::uint32_t NewSelection = 0x02;
inline constexpr std::uint32_t ScrollUp = 0x03;
inline constexpr std::uint32_t ScrollDown = 0x04;
inline constexpr std::uint32_t PageUp = 0x05;
inline constexpr std::uint32_t PageDown = 0x06;
inline constexpr std::uint32_t ScrollTop = 0x07;
inline constexpr std::uint32_t ScrollBottom = 0x08;
inline constexpr std::uint32_t Locate = 0x09;
inline constexpr std::uint32_t MouseUp = 0x0A;
inline constexpr std::uint32_t MouseIn = 0x0B;
inline constexpr std::uint32_t MouseOut = 0x0C;
inline constexpr std::uint32_t MouseMove = 0x0D;
inline constexpr std::uint32_t VBXevent = 0x0E;
inline constexpr std::uint32_t AlertKey = 0x0F;
inline constexpr std::uint32_t PreAlert = 0x10;
inline constexpr std::uint32_t Dragging = 0x11;
inline constexpr std::uint32_t Drag = 0x12;
inline constexpr std::uint32_t Drop = 0x13;
inline constexpr std::uint32_t ScrollDrag = 0x14;
inline constexpr std::uint32_t TabChanging = 0x15;
inline constexpr std::uint32_t Expanding = 0x16;
inline constexpr std::uint32_t Contracting = 0x17;
inline constexpr std::uint32_t Expanded = 0x18;
inline constexpr std::uint32_t Contracted = 0x19;
inline constexpr std::uint32_t Rejected = 0x1A;
inline constexpr std::uint32_t DroppingDown = 0x1B;
inline constexpr std::uint32_t DroppedDown = 0x1C;
inline constexpr std::uint32_t ScrollTrack = 0x1D;
inline constexpr std::uint32_t ColumnResize = 0x1E;
inline constexpr std::uint32_t Selected = 0x101;
inline constexpr std::uint32_t CloseWindow = 0x201;
inline constexpr std::uint32_t CloseDown = 0x202;
inline constexpr std::uint32_t OpenWindow = 0x203;
inline constexpr std::uint32_t OpenFailed = 0x204;
inline constexpr std::uint32_t LoseFocus = 0x205;
inline constexpr std::uint32_t GainFocus = 0x206;
inline constexpr std::uint32_t Suspend = 0x208;
inline constexpr std::uint32_t Resume = 0x209;
inline constexpr std::uint32_t Notify = 0x20A;
inline constexpr std::uint32_t Timer = 0x20B;
inline constexpr std::uint32_t DDErequest = 0x20C;
inline constexpr std::uint32_t DDEadvise = 0x20D;
inline constexpr std::uint32_t DDEdata = 0x20E;
inline constexpr std::uint32_t DDEexecute = 0x20F;
inline constexpr std::uint32_t DDEpoke = 0x210;
inline constexpr std::uint32_t DDEclosed = 0x211;
inline constexpr std::uint32_t Move = 0x220;
inline constexpr std::uint32_t Size = 0x221;
inline constexpr std::uint32_t Restore = 0x222;
inline constexpr std::uint32_t Maximize = 0x223;
inline constexpr std::uint32_t Iconize = 0x224;
inline constexpr std::uint32_t Completed = 0x225;
inline constexpr std::uint32_t Moved = 0x230;
inline constexpr std::uint32_t Sized = 0x231;
inline constexpr std::uint32_t Restored = 0x232;
inline constexpr std::uint32_t Maximized = 0x233;
inline constexpr std::uint32_t Iconized = 0x234;
inline constexpr std::uint32_t Docked = 0x235;
inline constexpr std::uint32_t UnDocked = 0x236;
inline constexpr std::uint32_t BuildFile = 0x240;
inline constexpr std::uint32_t BuildKey = 0x241;
inline constexpr std::uint32_t BuildDone = 0x242;
} // namespace event

enum class EventGroup {
    None,         // not an event of the vocabulary (user events, unassigned numbers)
    Control,      // 0x01-0x1E: raised for one control
    Selection,    // 0x101
    Window,       // 0x201-0x211
    BeforeChange, // 0x220-0x225
    AfterChange,  // 0x230-0x236
    Build,        // 0x240-0x242
};

constexpr std::uint32_t messageCode(std::uint32_t eventNumber) {
    return eventNumber + kEventCodeBase;
}
constexpr std::uint32_t eventNumber(std::uint32_t messageCode) {
    return messageCode - kEventCodeBase;
}

EventGroup eventGroup(std::uint32_t eventNumber);
// True for events that name a control: the control events and EVENT:Selected.
bool isFieldEvent(std::uint32_t eventNumber);

// The name of a traced message code ("EVENT:Accepted" for 0x1401); nothing for codes the table
// does not hold (0x1607 among them).
std::optional<std::string_view> eventName(std::uint32_t messageCode);
// The trace text of a code: its name, or "%#.4x" ("0x0401") for a code without one.
std::string traceName(std::uint32_t messageCode);

// The event number for a name such as "EVENT:Timer" (case-insensitive), or nothing.
std::optional<std::uint32_t> eventByName(std::string_view name);

} // namespace docket::ui
