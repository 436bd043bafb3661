#include "ui/events.h"

#include <cstdio>
#include <strings.h>

namespace docket::ui {
namespace {

struct NamedCode {
    const char* name; // null ends the table
    std::uint32_t code;
};

// In trace order; the build events stand before the move and size events although their codes are
// higher. The walk stops at the entry without a name. This window system has no platform message
// names of its own to add, so the table holds the events alone.
constexpr NamedCode kTraceTable[] = {
    {"EVENT:Accepted", 0x1401},     {"EVENT:NewSelection", 0x1402},
    {"EVENT:ScrollUp", 0x1403},     {"EVENT:ScrollDown", 0x1404},
    {"EVENT:PageUp", 0x1405},       {"EVENT:PageDown", 0x1406},
    {"EVENT:ScrollTop", 0x1407},    {"EVENT:ScrollBottom", 0x1408},
    {"EVENT:Locate", 0x1409},       {"EVENT:MouseUp", 0x140A},
    {"EVENT:MouseIn", 0x140B},      {"EVENT:MouseOut", 0x140C},
    {"EVENT:MouseMove", 0x140D},    {"EVENT:VBXevent", 0x140E},
    {"EVENT:AlertKey", 0x140F},     {"EVENT:PreAlert", 0x1410},
    {"EVENT:Dragging", 0x1411},     {"EVENT:Drag", 0x1412},
    {"EVENT:Drop", 0x1413},         {"EVENT:ScrollDrag", 0x1414},
    {"EVENT:TabChanging", 0x1415},  {"EVENT:Expanding", 0x1416},
    {"EVENT:Contracting", 0x1417},  {"EVENT:Expanded", 0x1418},
    {"EVENT:Contracted", 0x1419},   {"EVENT:Rejected", 0x141A},
    {"EVENT:DroppingDown", 0x141B}, {"EVENT:DroppedDown", 0x141C},
    {"EVENT:ScrollTrack", 0x141D},  {"EVENT:ColumnResize", 0x141E},
    {"EVENT:Selected", 0x1501},     {"EVENT:CloseWindow", 0x1601},
    {"EVENT:CloseDown", 0x1602},    {"EVENT:OpenWindow", 0x1603},
    {"EVENT:OpenFailed", 0x1604},   {"EVENT:LoseFocus", 0x1605},
    {"EVENT:GainFocus", 0x1606},    {"EVENT:Suspend", 0x1608},
    {"EVENT:Resume", 0x1609},       {"EVENT:Notify", 0x160A},
    {"EVENT:Timer", 0x160B},        {"EVENT:DDErequest", 0x160C},
    {"EVENT:DDEadvise", 0x160D},    {"EVENT:DDEdata", 0x160E},
    {"EVENT:DDEexecute", 0x160F},   {"EVENT:DDEpoke", 0x1610},
    {"EVENT:DDEclosed", 0x1611},    {"EVENT:BuildFile", 0x1640},
    {"EVENT:BuildKey", 0x1641},     {"EVENT:BuildDone", 0x1642},
    {"EVENT:Move", 0x1620},         {"EVENT:Size", 0x1621},
    {"EVENT:Restore", 0x1622},      {"EVENT:Maximize", 0x1623},
    {"EVENT:Iconize", 0x1624},      {"EVENT:Completed", 0x1625},
    {"EVENT:Moved", 0x1630},        {"EVENT:Sized", 0x1631},
    {"EVENT:Restored", 0x1632},     {"EVENT:Maximized", 0x1633},
    {"EVENT:Iconized", 0x1634},     {"EVENT:Docked", 0x1635},
    {"EVENT:UnDocked", 0x1636},     {nullptr, 0},
};

} // namespace

EventGroup eventGroup(std::uint32_t number) {
    if (number >= 0x01 && number <= 0x1E) return EventGroup::Control;
    if (number == 0x101) return EventGroup::Selection;
    if (number >= 0x201 && number <= 0x211 && number != 0x207) return EventGroup::Window;
    if (number >= 0x220 && number <= 0x225) return EventGroup::BeforeChange;
    if (number >= 0x230 && number <= 0x236) return EventGroup::AfterChange;
    if (number >= 0x240 && number <= 0x242) return EventGroup::Build;
    return EventGroup::None;
}

bool isFieldEvent(std::uint32_t number) {
    EventGroup group = eventGroup(number);
    return group == EventGroup::Control || group == EventGroup::Selection;
}

std::optional<std::string_view> eventName(std::uint32_t code) {
    for (const NamedCode* entry = kTraceTable; entry->name != nullptr; ++entry) {
        if (entry->code == code) return std::string_view(entry->name);
    }
    return std::nullopt;
}

std::string traceName(std::uint32_t code) {
    if (auto name = eventName(code)) return std::string(*name);
    char text[16];
    // "%#.4x" gives "0" alone for zero (the "#" flag adds no prefix to 0); the form is the same
    // as everywhere else the trace writes codes.
    std::snprintf(text, sizeof text, "%#.4x", static_cast<unsigned>(code));
    return text;
}

std::optional<std::uint32_t> eventByName(std::string_view name) {
    for (const NamedCode* entry = kTraceTable; entry->name != nullptr; ++entry) {
        std::string_view entryName(entry->name);
        if (entryName.size() == name.size() && strncasecmp(entryName.data(), name.data(), name.size()) == 0) {
            return eventNumber(entry->code);
        }
    }
    return std::nullopt;
}

} // namespace docket::ui
