#include "ui/controls/builtin.h"

namespace docket::ui {

// One line per kind: a new kind of the window system adds its file and a line here.
std::vector<std::pair<ControlType, const ControlKind*>> builtInControlKinds() {
    using T = ControlType;
    return {
        {T::Button, &buttonKind()},   {T::Check, &checkKind()},  {T::Radio, &radioKind()},
        {T::Option, &groupKind()},    {T::Group, &groupKind()},  {T::Entry, &entryKind()},
        {T::TextBox, &textBoxKind()}, {T::Prompt, &labelKind()}, {T::Text, &labelKind()},
        {T::Spin, &spinKind()},       {T::List, &listKind()},    {T::Combo, &dropKind()},
        {T::DropList, &dropKind()},   {T::Sheet, &sheetKind()},  {T::Tab, &tabKind()},
        {T::Panel, &frameKind()},     {T::Box, &frameKind()},    {T::Line, &frameKind()},
        {T::ToolBar, &frameKind()},   {T::Image, &imageKind()},  {T::Region, &regionKind()},
        {T::RichText, &richTextKind()},
    };
}

} // namespace docket::ui
