#pragma once
// The editor's context menu, opened when the right mouse button is released in the text: exactly
// "Cut", "Copy", "Paste", a separator and "Font". Cut and Copy are enabled while text is
// selected, Paste while the clipboard holds something the text can take; Font always.
//
// Runs on a program thread (the editor's container): the menu waits through the scheduler.
#include <string>

namespace docket::ui {
class RichTextControl;
}

namespace docket::rtf {

namespace contextmenu {
inline constexpr int None = 0, Cut = 1, Copy = 2, Paste = 3, Font = 4;
}

// The menu text ("~" marks a disabled entry, "-" a separator).
std::string contextMenuText(bool hasSelection, bool canPaste);

// Shows the menu at the mouse for `text`; the chosen entry (contextmenu::Cut .. Font) or None.
int runContextMenu(const ui::RichTextControl& text);

} // namespace docket::rtf
