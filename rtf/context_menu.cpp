#include "rtf/context_menu.h"

#include "ui/modal.h"
#include "ui/rich_text_control.h"

namespace docket::rtf {

std::string contextMenuText(bool hasSelection, bool canPaste) {
    std::string menu = hasSelection ? "Cut|Copy" : "~Cut|~Copy";
    menu += canPaste ? "|Paste" : "|~Paste";
    menu += "|-|Font";
    return menu;
}

int runContextMenu(const ui::RichTextControl& text) {
    // Whether anything is selected; the text itself is not needed (nor copied into a buffer).
    const bool selected = text.selectionEnd() > text.selectionStart();
    const int choice = ui::popupMenu(contextMenuText(selected, text.canPaste()));
    return choice >= contextmenu::Cut && choice <= contextmenu::Font ? choice : contextmenu::None;
}

} // namespace docket::rtf
