// kwRTF's commands: the tool bar's and format bar's buttons, the numbering menu, the font and
// colour dialogs, the tab ruler, find, print and the context menu. The logic itself lives in
// FormatCommands, TabRuler, find, print, context_menu and rich_clipboard; this file ties it to
// the container's controls and to the editor's redisplay rules (the commands marked "relayout"
// re-place the editor and give it the focus back; every format command reads the format state
// again, so the bars show what the command did).
#include "platform/error.h"
#include "rtf/bar_icons.h"
#include "rtf/context_menu.h"
#include "rtf/find.h"
#include "rtf/format_commands.h"
#include "rtf/print.h"
#include "rtf/rich_clipboard.h"
#include "rtf/rtf_editor.h"
#include "rtf/tab_ruler.h"
#include "ui/dialogs.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QWidget>

namespace docket::rtf {

namespace ev = ui::event;

namespace {

// The entries of the bullets box's menu, in the order of their choices.
constexpr const char* kNumberingMenu =
    "Numbering off|Bullets|Arabic Numbers|Lower case letters|Upper case letters|Lowercase Roman numerals|"
    "Uppercase Roman numerals";

} // namespace

ui::RichTextControl* kwRTF::NewTextWindow(QWidget* parent) {
    auto* text = new RichClipboardControl(parent);
    // A document bound to a field must still fit it as RTF: the field's size less its terminator.
    text->rtfBudget = [this]() -> std::size_t { return RFIELD.set() ? RFIELD.size - 1 : 0; };
    return text;
}

TabRuler* kwRTF::tabRuler() const {
    return ruler_.data();
}

void kwRTF::InstallCommands(ui::Window& c) {
    // The screen's resolution, once: the ruler converts with it.
    if (QScreen* screen = c.widget()->screen())
        screenDpi_ = static_cast<int>(screen->logicalDotsPerInchX() + 0.5);
    if (screenDpi_ <= 0) screenDpi_ = 96;

    for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
        if (auto* b = qobject_cast<QAbstractButton*>(c.controlWidget(n))) {
            const QIcon icon = barIcon(n);
            if (!icon.isNull()) b->setIcon(icon);
        }
    }

    // The ruler: drawn over the click region, which it fills.
    if (QWidget* region = c.controlWidget(CTRLREGION)) {
        auto* layout = new QHBoxLayout(region);
        layout->setContentsMargins(0, 0, 0, 0);
        ruler_ = new TabRuler(region);
        layout->addWidget(ruler_);
        ruler_->setResolution(screenDpi_);
        ruler_->onClick = [this](int twips) {
            rulerClickTwips_ = twips;
            if (RCONTAINER != nullptr) RCONTAINER->raise(ev::Accepted, CTRLREGION);
        };
        if (!BSHOWTABS) ruler_->hide();
    }
    // The ruler follows the paragraph holding the caret, and every change of the text (a load,
    // an undo of a ruler click).
    if (ui::RichTextControl* text = HRTFWINDOW) {
        QObject::connect(text, &QTextEdit::cursorPositionChanged, text, [this] { RefreshTabMarkers(); });
        QObject::connect(text, &QTextEdit::textChanged, text, [this] { RefreshTabMarkers(); });
        QObject::connect(text->horizontalScrollBar(), &QScrollBar::valueChanged, text,
                         [this] { RefreshTabMarkers(); });
    }

    // Every command goes through a handler, ahead of the container's own loop.
    for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
        c.addHandler(ev::Accepted, n,
                     [this, n] { return BarCommand(n) ? ui::Action::Skip : ui::Action::Default; });
    }
    for (int n : {container::Fonts, container::FontSize}) {
        c.addHandler(ev::NewSelection, n, [this, n] {
            if (!Ready()) return ui::Action::Skip;
            if (n == container::Fonts)
                SetFont(SZFONT, false, 0, true, 0, true, 0, true);
            else
                SetFont({}, true, static_cast<int>(LFONTSIZE), false, 0, true, 0, true);
            FocusEditor();
            return ui::Action::Skip;
        });
    }
    c.addHandler(ev::Accepted, CTRLREGION, [this] {
        RulerClick(rulerClickTwips_);
        return ui::Action::Skip;
    });
    c.addHandler(ContextMenuEvent, 0, [this] {
        ContextMenu();
        return ui::Action::Skip;
    });
    RefreshTabMarkers();
}

bool kwRTF::BarCommand(int control) {
    if (!Ready()) return true;
    bool relayout = false;
    switch (control) {
    case container::ButtonNew:
        NewDocument();
        relayout = true;
        break;
    case container::ButtonOpen:
        LoadFromFile({});
        relayout = true;
        break;
    case container::ButtonSave:
        SaveToFile(SFILENAME);
        relayout = true;
        break;
    case container::ButtonPrint:
        Print("RTF Data", true, false);
        relayout = true;
        break;
    case container::ButtonFind:
        Find({}, true);
        relayout = true;
        break;
    case container::ButtonCut:
        Cut();
        break;
    case container::ButtonCopy:
        Copy();
        break;
    case container::ButtonPaste:
        Paste();
        break;
    case container::ButtonUndo:
        Undo();
        break;
    case container::ButtonRedo:
        Redo();
        break;
    case container::FontColor: {
        long colour = LFONTCOLOR;
        if (ui::colorDialog({}, colour)) SetFont({}, true, 0, true, colour, false, 0, true);
        relayout = true;
        break;
    }
    case container::Bold:
        ToggleEffect(fontstyle::Bold);
        break;
    case container::Italic:
        ToggleEffect(fontstyle::Italic);
        break;
    case container::Underline:
        ToggleEffect(fontstyle::Underline);
        break;
    case container::ParaFormat:
        if (LPARAFORMAT == 1) AlignLeft();
        if (LPARAFORMAT == 2) AlignCenter();
        if (LPARAFORMAT == 3) AlignRight();
        break;
    case container::Bullets:
        NumberingMenu();
        relayout = true;
        break;
    default:
        return false;
    }
    if (!Ready()) return true;
    if (relayout) Relayout();
    // The bars show what the command left (a toggle refused on a mixed selection springs back).
    SyncFormatState();
    ShowFormatState();
    FocusEditor();
    return true;
}

void kwRTF::Cut() {
    if (!Ready()) return;
    HRTFWINDOW->cut();
    Relayout();
}

void kwRTF::Copy() {
    if (!Ready()) return;
    HRTFWINDOW->copy();
    Relayout();
}

void kwRTF::Paste() {
    if (!Ready()) return;
    HRTFWINDOW->paste();
    Relayout();
}

void kwRTF::PastePlain() {
    if (!Ready()) return;
    if (auto* text = dynamic_cast<RichClipboardControl*>(HRTFWINDOW.data())) text->pastePlain();
    Relayout();
}

void kwRTF::Undo() {
    if (!Ready()) return;
    HRTFWINDOW->undo();
    Relayout();
}

void kwRTF::Redo() {
    if (!Ready()) return;
    HRTFWINDOW->redo();
    Relayout();
}

void kwRTF::ToggleEffect(int style) {
    if (!Ready()) return;
    FormatCommands(*HRTFWINDOW).toggleEffect(style);
    Relayout();
}

void kwRTF::AlignLeft() {
    if (Ready()) FormatCommands(*HRTFWINDOW).align(ui::align::Left);
}
void kwRTF::AlignCenter() {
    if (Ready()) FormatCommands(*HRTFWINDOW).align(ui::align::Center);
}
void kwRTF::AlignRight() {
    if (Ready()) FormatCommands(*HRTFWINDOW).align(ui::align::Right);
}

void kwRTF::SetNumbering(int style) {
    if (Ready()) FormatCommands(*HRTFWINDOW).setNumbering(style);
}

void kwRTF::NumberingOff() {
    if (Ready()) FormatCommands(*HRTFWINDOW).numberingOff();
}

void kwRTF::SetFont(const std::string& face, bool keepFace, int size, bool keepSize, long colour,
                    bool keepColour, int style, bool keepStyle) {
    if (!Ready()) return;
    FormatCommands f(*HRTFWINDOW);
    if (keepFace && keepSize && keepColour && keepStyle) {
        FontChoice font = f.selectionFont(true);
        if (ui::fontDialog({}, font.face, font.size, font.colour, font.style)) f.applyCharFormat(font, false);
    } else {
        if (!keepFace) f.setFace(face);
        if (!keepSize) f.setSize(size);
        if (!keepColour) f.setColour(colour);
        if (!keepStyle) f.setStyle(style);
    }
    Relayout();
}

FontChoice kwRTF::GetSelectionFont(bool selection) {
    if (!Ready()) return {};
    return FormatCommands(*HRTFWINDOW).selectionFont(selection);
}

void kwRTF::ApplyCharFormat(const FontChoice& font, bool asDefault) {
    if (Ready()) FormatCommands(*HRTFWINDOW).applyCharFormat(font, asDefault);
}

QString kwRTF::GetSelectedText(int from, int to, bool keepA, bool keepB) {
    if (!Ready()) return {};
    const QString text = FormatCommands(*HRTFWINDOW).selectedText(from, to, keepA || keepB);
    Relayout();
    return text;
}

void kwRTF::NumberingMenu() {
    if (!Ready() || RCONTAINER == nullptr) return;
    if (BBULLETS) {
        const int choice = ui::popupMenu(kNumberingMenu);
        if (choice == 1) {
            NumberingOff();
        } else if (choice >= 2 && choice <= 7) {
            SetNumbering(choice - 1);
        }
        // No choice: the box shows the paragraph as it is (see BarCommand), not a checked box
        // over a paragraph without numbering.
    } else {
        NumberingOff();
    }
    RCONTAINER->display(container::Bullets);
}

void kwRTF::RulerClick(int twips) {
    if (!Ready()) return;
    FormatCommands(*HRTFWINDOW).clickTabStop(twips);
    RefreshTabMarkers();
    FocusEditor();
}

void kwRTF::RefreshTabMarkers() {
    if (!Ready() || ruler_ == nullptr || !BSHOWTABS) return;
    ui::RichTextControl* text = HRTFWINDOW;
    // The scale's zero is the text's left edge: the text window's frame and the document's
    // margin in from the window, less the ruler's own place and the horizontal scroll.
    const QPoint textLeft = text->viewport()->mapTo(text->parentWidget(), QPoint(0, 0));
    const QPoint rulerLeft = ruler_->mapTo(text->parentWidget(), QPoint(0, 0));
    ruler_->setOrigin(textLeft.x() - rulerLeft.x() + static_cast<int>(text->document()->documentMargin()) -
                      text->horizontalScrollBar()->value());
    ruler_->setStops(FormatCommands(*text).tabStops());
}

long kwRTF::Find(const std::string& text, bool showWindow) {
    if (!Ready()) return showWindow ? 0 : -1;
    ui::RichTextControl* editor = HRTFWINDOW;
    if (!showWindow) {
        // An empty document has nothing to find: -1, never a position.
        if (editor->textLength() == 0) {
            ui::beep();
            return -1;
        }
        const long found = findOnce(*editor, text);
        Relayout();
        return found;
    }
    if (editor->textLength() == 0) {
        ui::beep();
    } else {
        runFindWindow(*editor, [this] { Relayout(); });
    }
    if (Ready()) Relayout();
    return 0;
}

std::uint8_t kwRTF::Print(const std::string& documentName, bool showDialog, bool noName) {
    if (!Ready()) return 0;
    const std::uint8_t result = printEditorDocument(*HRTFWINDOW, documentName, showDialog, noName);
    if (Ready()) Relayout();
    return result;
}

void kwRTF::ContextMenu() {
    if (!Ready()) return;
    switch (runContextMenu(*HRTFWINDOW)) {
    case contextmenu::Cut:
        Cut();
        break;
    case contextmenu::Copy:
        Copy();
        break;
    case contextmenu::Paste:
        Paste();
        break;
    case contextmenu::Font:
        SetFont({}, true, 0, true, 0, true, 0, true);
        SyncFormatState();
        ShowFormatState();
        break;
    default:
        break;
    }
    FocusEditor();
}

} // namespace docket::rtf
