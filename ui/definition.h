#pragma once
// Window definitions: each window is declared once as data and registered under its module and
// resource name; a procedure creates its window from it. Positions and sizes are in dialog units
// (a quarter of the window font's average character width, an eighth of its height).
#include <cstdint>
#include <string>
#include <vector>

namespace docket::ui {

// Runtime control type numbers. 2, 4, 8, 9, 10, 12, 14, 16, 21 and 37-39 are the ones the
// application classes compare against; the others were chosen here once (a list box is 3 so that
// the resizer stretches it like the other container-like controls, the drop controls 15 and 34 so
// that they keep their height like entries).
enum class ControlType : int {
    Image = 1,
    Text = 2, // display string
    List = 3,
    Region = 4,
    Box = 5,
    Line = 6,
    Entry = 8,
    Button = 9,
    Prompt = 10,
    Option = 11, // option group holding radio buttons
    Check = 12,
    Group = 13,
    TextBox = 14,
    Combo = 15, // drop combo: entry part and list part
    Spin = 16,
    ToolBar = 17,
    Radio = 21,
    DropList = 34,
    Sheet = 37,
    Tab = 38,
    Panel = 39,
    RichText = 40, // the window system's own: a rich-text region over an RTF text variable
};

// Control attributes of a definition.
namespace attr {
inline constexpr std::uint32_t Default = 1u << 0; // default button
inline constexpr std::uint32_t Hidden = 1u << 1;
inline constexpr std::uint32_t Disabled = 1u << 2;
inline constexpr std::uint32_t ReadOnly = 1u << 3;
inline constexpr std::uint32_t Flat = 1u << 4;
inline constexpr std::uint32_t Skip = 1u << 5; // not reached with Tab
inline constexpr std::uint32_t Transparent = 1u << 6;
inline constexpr std::uint32_t Immediate = 1u
                                           << 7; // regions: move events; lists: the program fills and scrolls
inline constexpr std::uint32_t SingleLine = 1u << 8; // text box that behaves as an entry
inline constexpr std::uint32_t HScroll = 1u << 9;
inline constexpr std::uint32_t VScroll = 1u << 10;
inline constexpr std::uint32_t Fill = 1u << 11; // panel or box filled with its colour
inline constexpr std::uint32_t Checked = 1u << 12;
inline constexpr std::uint32_t Std = 1u << 13; // button acts as a standard close button
} // namespace attr

// Window attributes.
namespace wattr {
inline constexpr std::uint32_t Resizable = 1u << 0;
inline constexpr std::uint32_t NoFrame = 1u << 1;
inline constexpr std::uint32_t Maximize = 1u << 2; // has a maximise box
inline constexpr std::uint32_t Iconize = 1u << 3;  // has a minimise box
inline constexpr std::uint32_t System = 1u << 4;   // has a close box
inline constexpr std::uint32_t Center = 1u << 5;   // placed in the screen's centre
inline constexpr std::uint32_t Gray = 1u << 6;     // dialog background
} // namespace wattr

struct ControlDefinition {
    ControlType type = ControlType::Text;
    std::string name; // "?OK"; informational, the number addresses the control
    std::string text; // Windows-1252; "&" marks the mnemonic
    int x = 0, y = 0, width = 0, height = 0;
    std::string use;     // name of the use variable the procedure binds ("MEM:MEMO_NO")
    std::string picture; // "@n-14"
    std::string format;  // list format of lists and drop controls
    std::string tip;
    int parent = 0; // control number of the sheet (for tabs), tab, group or option; 0 = the window
    std::uint32_t attributes = 0;
    int rangeLow = 0, rangeHigh = 0; // spin boxes
};

struct WindowDefinition {
    std::string caption;
    std::string font = "MS Sans Serif";
    int fontSize = 8;
    std::string icon;   // "docket.ico"
    int x = -1, y = -1; // -1: centred
    int width = 0, height = 0;
    std::uint32_t attributes = wattr::System | wattr::Gray;
    std::vector<ControlDefinition> controls;
};

// Registry by module and resource name (case-insensitive). Registering a name again replaces it.
void registerWindow(const std::string& module, const std::string& resource, WindowDefinition definition);
const WindowDefinition* findWindow(const std::string& module, const std::string& resource);

} // namespace docket::ui
