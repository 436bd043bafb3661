#pragma once
// The rich-text control: the editor's text window, a QTextEdit over a QTextDocument. It offers
// what the editor sends its text window: the selection by character positions, character and
// paragraph formats with masks (ui/rich_text_format.h), a text limit, the modified flag, undo and
// redo, background colour, default character format, read-only, scroll bars, find, page
// measuring for printing, and streaming in and out as RTF or plain text.
//
// What it promises:
// - Positions count characters; a paragraph break is one character.
// - The text limit holds for everything the user does: typing, Enter, Tab, paste, drop and input
//   methods. What the program streams in is not cut (a stored body is never shortened).
// - Enter always starts a new paragraph and Tab inserts a tab: neither reaches the window (no
//   default button is pressed, the focus stays), except that a single-line control drops Enter.
// - A load parses into a new document and takes it only when the whole input was read, so a
//   failed load leaves the document, its undo history and its modified flag as they were.
// - Nothing passes through HTML (which drops tab stops); RTF goes through the codec the upper layer
//   installs, plain text through the functions below.
//
// It lives on the GUI thread like every widget; program threads (fibers) all run there too, so
// any of them may call it.
#include "ui/rich_text_format.h"

#include <QTextEdit>

#include <functional>
#include <string>
#include <string_view>

class QPainter;
class QTextDocument;

namespace docket::ui {

// How RTF reaches and leaves a QTextDocument. The rich-text component above the window system
// implements it and installs it once; the control only calls it.
class RichTextCodec {
public:
    virtual ~RichTextCodec() = default;
    // Fills `document` (new and empty) from RTF bytes; false with a reason in `error` when the
    // bytes are not an RTF document it can read.
    virtual bool read(std::string_view bytes, QTextDocument& document, std::string& error) = 0;
    // The RTF of a document.
    virtual std::string write(const QTextDocument& document) = 0;
};
void setRichTextCodec(RichTextCodec* codec); // null uninstalls
RichTextCodec* richTextCodec();

enum class StreamFormat { Text = 1, Rtf = 2 };

// Plain text of files: UTF-8 with or without its byte-order mark, else Windows-1252 (any byte
// string is one). Paragraphs end at CR LF, LF or CR.
QString decodePlainText(std::string_view bytes);
// Plain text for files: UTF-8 without a byte-order mark, CR LF between paragraphs.
std::string encodePlainText(const QString& text);
// A document's text with its paragraphs joined by `separator` (list markers are not text).
QString documentText(const QTextDocument& document, const QString& separator = QStringLiteral("\r\n"));

namespace findflag {
inline constexpr unsigned Down = 1, WholeWord = 2, MatchCase = 4;
}

class RichTextControl : public QTextEdit {
public:
    explicit RichTextControl(QWidget* parent = nullptr);
    ~RichTextControl() override;

    // The limit with 0 restores the default, 64000 characters.
    static constexpr int kDefaultTextLimit = 64000;
    void setTextLimit(int characters);
    int textLimit() const { return limit_; }
    int textLength() const;

    // Selection as [start, end); setSelection(0, -1) selects everything; a start of -1 removes the
    // selection and leaves the caret at its end. The caret is at `end`.
    int selectionStart() const;
    int selectionEnd() const;
    void setSelection(int start, int end);
    QString selectedPlainText() const; // paragraphs separated by "\r"
    // Replaces the selection by `text` (plain text; "\r" or "\n" start paragraphs).
    void replaceSelection(const QString& text);

    // Character formats. Of the selection: the mask tells which members are the same over the
    // whole selection (for an empty selection, those of the caret). The default format is the
    // document's font and the window's text colour.
    enum class Scope { Default, Selection, SelectionOrWord };
    CharFormat charFormat(Scope scope) const;
    // Changes the members the mask names. Selection with no selection sets the format for what is
    // typed next; SelectionOrWord with no selection changes the word at the caret.
    void setCharFormat(const CharFormat& format, Scope scope);

    // The paragraph format of the selection's paragraphs (the mask says which members they share)
    // and its change for all of them.
    ParaFormat paraFormat() const;
    void setParaFormat(const ParaFormat& format);

    // Undo and redo (also Ctrl+Z and Ctrl+Y): a step that changed only formats leaves the
    // selection where it was (Qt would move the caret to the paragraph after a format change).
    void undo();
    void redo();

    bool modified() const;
    void setModified(bool on);
    void emptyUndoBuffer();
    bool canUndo() const;
    bool canRedo() const;

    void setBackgroundColor(long bgr); // 0x00BBGGRR; -1 for the window's colour
    long backgroundColor() const { return background_; }
    void setScrollBars(bool vertical, bool horizontal); // horizontal also turns word wrap off
    void setSingleLine(bool on);
    bool singleLine() const { return singleLine_; }

    // Finds `text` in [start, end) going down, or going up from `start` down to `end` (end -1:
    // the document's end going down, its start going up). Returns the start of the text found and
    // its end in `foundEnd`, or -1. The selection is not changed.
    int find(const QString& text, int start, int end, unsigned flags, int* foundEnd = nullptr) const;

    // Lays out the document from character `from` on a page of `pageTwips` (width and height in
    // twips) and returns the first character that does not fit (textLength() when all did). With
    // a painter, draws that page's part at the painter's origin in the painter device's resolution.
    int formatRange(QPainter* painter, QSizeF pageTwips, int from) const;

    // Streaming. In: parses into a new document and swaps it in only on success (the new document
    // has no undo history and is not modified; a failure changes nothing). Out: the document's bytes.
    // Plain text from a field is Windows-1252 (`ansi`), from a file detected as above.
    bool streamIn(StreamFormat format, std::string_view bytes, bool ansi, std::string& error);
    bool streamOut(StreamFormat format, std::string& bytes, std::string& error) const;
    // Empties the document and gives it the default character format and a left-aligned
    // paragraph without indents, tabs or numbering.
    void clearDocument();

    // Notices for the host: a mouse button released in the text (Qt's button), the focus arriving.
    std::function<void(Qt::MouseButton)> onMouseRelease;
    std::function<void()> onFocusIn;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    QMimeData* createMimeDataFromSelection() const override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    int room() const; // characters that may still be added in place of the selection
    void undoOrRedo(bool undo);
    void adopt(QTextDocument* document);

    int limit_ = kDefaultTextLimit;
    long background_ = -1;
    bool singleLine_ = false;
    CharFormat default_;
};

} // namespace docket::ui
