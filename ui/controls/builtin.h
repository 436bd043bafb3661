#pragma once
// The window system's own control kinds, one file each in this folder, and the shared base of the
// kinds whose widget is a button.
#include "ui/control_kind.h"

#include <utility>
#include <vector>

namespace docket::ui {

// Every built-in kind with the control types it serves; read once by the kind registry.
std::vector<std::pair<ControlType, const ControlKind*>> builtInControlKinds();

const ControlKind& buttonKind();
const ControlKind& checkKind();
const ControlKind& radioKind();
const ControlKind& groupKind(); // group boxes and option groups
const ControlKind& entryKind();
const ControlKind& textBoxKind();
const ControlKind& labelKind(); // prompts and display strings
const ControlKind& spinKind();
const ControlKind& listKind();
const ControlKind& dropKind(); // drop lists and drop combos
const ControlKind& sheetKind();
const ControlKind& tabKind();
const ControlKind& frameKind(); // panels, boxes, lines and tool bar areas
const ControlKind& imageKind();
const ControlKind& regionKind();
const ControlKind& richTextKind();

// The ordinal (1-based) of a tab among the tabs of its sheet.
int tabOrdinal(const Window& window, const Control& tab);

// Buttons, check boxes and radio buttons: their text is the button's, and they take a check mark
// and an icon.
class ButtonBaseKind : public ControlKind {
public:
    std::optional<std::string> get(const Window& window, const Control& control,
                                   std::string_view name) const override;
    PropertyResult set(Window& window, Control& control, std::string_view name,
                       const std::string& value) const override;
};

} // namespace docket::ui
