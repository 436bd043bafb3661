#include "ui/gallery/gallery.h"

namespace docket::ui {

WindowDefinition galleryDefinition() {
    using T = ControlType;
    WindowDefinition w;
    w.caption = "Control Gallery";
    w.icon = "docket.ico";
    w.width = 330;
    w.height = 226;
    w.attributes |= wattr::Resizable;
    auto add = [&w](ControlDefinition c) { w.controls.push_back(std::move(c)); };
    add({T::ToolBar, "?TOOLBAR", "", 0, 0, 330, 18});
    add({T::Image, "?IMAGE", "docket.ico", 4, 3, 14, 12, "", "", "", "", 1});
    add({T::Text, "?TITLE", "Every control of the window system", 22, 5, 200, 10, "", "", "", "", 1});
    add({T::Sheet, "?SHEET", "", 4, 22, 200, 108});
    add({T::Tab, "?TAB:1", "General", 0, 0, 0, 0, "", "", "", "", 4});
    add({T::Prompt, "?NAME:PROMPT", "&Name:", 12, 42, 40, 10, "", "", "", "", 5});
    add({T::Entry, "?NAME", "", 56, 40, 140, 12, "NAME", "@s30", "", "Type a name here", 5});
    add({T::Prompt, "?AMOUNT:PROMPT", "&Amount:", 12, 58, 40, 10, "", "", "", "", 5});
    add({T::Entry, "?AMOUNT", "", 56, 56, 60, 12, "AMOUNT", "@n-12.2", "", "", 5});
    add({T::Prompt, "?KIND:PROMPT", "&Kind:", 12, 74, 40, 10, "", "", "", "", 5});
    add({T::DropList, "?KIND", "", 56, 72, 80, 12, "KIND", "", "80L(2)@s20@", "", 5});
    add({T::Prompt, "?TYPE:PROMPT", "&Type:", 12, 90, 40, 10, "", "", "", "", 5});
    add({T::Combo, "?TYPE", "", 56, 88, 80, 12, "TYPE", "", "80L(2)@s20@", "", 5});
    add({T::Prompt, "?COUNT:PROMPT", "&Count:", 12, 106, 40, 10, "", "", "", "", 5});
    add({T::Spin, "?COUNT", "", 56, 104, 40, 12, "COUNT", "@n3", "", "", 5, 0, 0, 100});
    add({T::Check, "?URGENT", "&Urgent", 110, 106, 60, 10, "URGENT", "", "", "", 5});
    add({T::Tab, "?TAB:2", "Notes", 0, 0, 0, 0, "", "", "", "", 4});
    add({T::TextBox, "?NOTES", "", 12, 40, 184, 82, "NOTES", "", "", "", 17, attr::VScroll});
    add({T::Option, "?PRIORITY", "Priority", 212, 22, 112, 52, "PRIORITY"});
    add({T::Radio, "?LOW", "&Low", 220, 34, 90, 10, "", "", "", "", 19});
    add({T::Radio, "?NORMAL", "N&ormal", 220, 46, 90, 10, "", "", "", "", 19});
    add({T::Radio, "?HIGH", "&High", 220, 58, 90, 10, "", "", "", "", 19});
    add({T::Group, "?STATE", "State", 212, 78, 112, 52});
    add({T::Panel, "?PANEL", "", 220, 90, 96, 32, "", "", "", "", 23});
    add({T::Region, "?REGION", "", 222, 92, 92, 28, "", "", "", "Click me", 23, attr::Immediate});
    add({T::Text, "?STATUS", "Ready", 226, 101, 80, 10, "", "", "", "", 23});
    add({T::List, "?LIST", "", 4, 134, 322, 66, "ROWS", "",
         "40R(2)|M~No~C(0)@n5@#1#90L(2)|M~Subject~@s30@#2#60L(2)|M~Date~@s10@#3#", "", 0, attr::VScroll});
    add({T::Line, "?LINE", "", 4, 204, 322, 2});
    add({T::Box, "?BOX", "", 4, 209, 12, 12});
    add({T::Button, "?OK", "OK", 232, 209, 45, 14, "", "", "", "", 0, attr::Default});
    add({T::Button, "?CANCEL", "Cancel", 281, 209, 45, 14});
    return w;
}

} // namespace docket::ui
