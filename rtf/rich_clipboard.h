#pragma once
// The editor's clipboard: what a copy offers and what a paste takes.
//
// A copy offers the selection three ways: RTF (under the names word processors look for:
// "text/rtf", "text/richtext", "application/rtf"), HTML, and plain text. A paste takes the richest
// form offered: RTF, then HTML, then text; a plain paste (Ctrl+Shift+V) takes the text only. So
// bold, italic, underline, colours, alignment and lists come over from word processors and web
// pages, and go out to them with real lists (the RTF writer's list table).
//
// A paste is all or nothing: the result is built on a copy of the document first and inserted
// only when it keeps within the control's text limit and, when the document is bound to a record
// field, within the field's RTF budget (its size less the terminator). Otherwise nothing changes
// and the user is told why.
//
// GUI thread.
#include "ui/rich_text_control.h"

#include <cstddef>
#include <functional>
#include <string>

class QMimeData;
class QTextDocumentFragment;

namespace docket::rtf {

// The MIME names an RTF copy is offered under, the first one preferred.
inline constexpr const char* kRtfMimeTypes[] = {"text/rtf", "text/richtext", "application/rtf"};

// The selection of `text` as clipboard data (null when nothing is selected).
QMimeData* mimeFromSelection(const ui::RichTextControl& text);

// The richest content of `mime` as a fragment (plain: the text only); empty when none.
QTextDocumentFragment fragmentFromMime(const QMimeData& mime, bool plain);

enum class PasteResult { Inserted, Nothing, TooLong, TooLarge, ReadOnly };
// Replaces the selection of `text` by the content of `mime`. `rtfBudget` 0 means no budget.
PasteResult pasteInto(ui::RichTextControl& text, const QMimeData& mime, bool plain, std::size_t rtfBudget);
// What the user is told about a refused paste.
std::string pasteRefusal(PasteResult result, int characterLimit, std::size_t rtfBudget);

// The editor's text window: the rich-text control with this clipboard and Ctrl+Shift+V.
class RichClipboardControl : public ui::RichTextControl {
public:
    explicit RichClipboardControl(QWidget* parent = nullptr);

    // The RTF budget in bytes (0: none); the editor gives its field's size less one.
    std::function<std::size_t()> rtfBudget;
    // Called when a paste was refused (after the beep); the default shows a message box from a
    // program thread of its own.
    std::function<void(const std::string& message)> onPasteRefused;
    PasteResult lastPaste() const { return lastPaste_; }

    void pastePlain();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void pasteFrom(const QMimeData& mime, bool plain);

    PasteResult lastPaste_ = PasteResult::Nothing;
};

} // namespace docket::rtf
