#include "ui/rich_text_control.h"

#include "ui/text.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
#include <cmath>
#include <memory>

namespace docket::ui {
namespace {

RichTextCodec* gCodec = nullptr;

// What the control puts on the clipboard and into drags: the plain text for everyone else and,
// for a paste into a control of this process, the fragment itself with every format (tab stops
// included, which an HTML copy would drop).
class FragmentMimeData : public QMimeData {
public:
    QTextDocumentFragment fragment;
};

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        int extra = 0;
        unsigned minimum = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F, minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F, minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// Qt's own line and paragraph separators in a selection's text, as paragraph breaks.
QString withBreaks(QString text, const QString& separator) {
    text.replace(QChar::ParagraphSeparator, separator);
    text.replace(QChar::LineSeparator, separator);
    return text;
}

// Whether two character formats agree on each member; the bits of the members that differ are
// cleared from `mask`.
void narrow(std::uint32_t& mask, const CharFormat& a, const CharFormat& b) {
    for (std::uint32_t bit :
         {cfm::Bold, cfm::Italic, cfm::Underline, cfm::StrikeOut, cfm::Protected, cfm::Link}) {
        if ((a.effects & bit) != (b.effects & bit)) mask &= ~bit;
    }
    if (a.face != b.face) mask &= ~cfm::Face;
    if (a.height != b.height) mask &= ~cfm::Size;
    if (a.color != b.color || (a.effects & cfe::AutoColor) != (b.effects & cfe::AutoColor))
        mask &= ~cfm::Color;
    if (a.backColor != b.backColor || (a.effects & cfe::AutoBackColor) != (b.effects & cfe::AutoBackColor))
        mask &= ~cfm::BackColor;
    if (a.offset != b.offset) mask &= ~cfm::Offset;
    if (a.charset != b.charset) mask &= ~cfm::Charset;
}

} // namespace

void setRichTextCodec(RichTextCodec* codec) {
    gCodec = codec;
}
RichTextCodec* richTextCodec() {
    return gCodec;
}

QString decodePlainText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    QString text = validUtf8(bytes) ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                                    : toQt(std::string(bytes));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::string encodePlainText(const QString& text) {
    return text.toStdString();
}

QString documentText(const QTextDocument& document, const QString& separator) {
    QString out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) out += separator;
        out += withBreaks(block.text(), separator);
    }
    return out;
}

RichTextControl::RichTextControl(QWidget* parent) : QTextEdit(parent) {
    setTabChangesFocus(false);
    setAcceptRichText(true);
    // The host shows its own menu when the right button is released; Qt's must not open.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setUndoRedoEnabled(true);
    default_ =
        fromQtCharFormat(QTextCharFormat(), document()->defaultFont(), palette().color(QPalette::Text));
    default_.effects |= cfe::AutoColor | cfe::AutoBackColor;
}

RichTextControl::~RichTextControl() = default;

void RichTextControl::setTextLimit(int characters) {
    limit_ = characters > 0 ? characters : kDefaultTextLimit;
}

int RichTextControl::textLength() const {
    return documentLength(*document());
}

int RichTextControl::room() const {
    const QTextCursor c = textCursor();
    return limit_ - (textLength() - (c.selectionEnd() - c.selectionStart()));
}

int RichTextControl::selectionStart() const {
    return textCursor().selectionStart();
}
int RichTextControl::selectionEnd() const {
    return textCursor().selectionEnd();
}

void RichTextControl::setSelection(int start, int end) {
    const int length = textLength();
    QTextCursor c = textCursor();
    if (start < 0) {
        c.clearSelection();
    } else {
        if (end < 0 || end > length) end = length;
        c.setPosition(std::min(start, length));
        c.setPosition(end, QTextCursor::KeepAnchor);
    }
    setTextCursor(c);
}

QString RichTextControl::selectedPlainText() const {
    return withBreaks(textCursor().selectedText(), QStringLiteral("\r"));
}

void RichTextControl::replaceSelection(const QString& text) {
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.removeSelectedText();
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = plain.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) c.insertBlock();
        c.insertText(lines[i]);
    }
    c.endEditBlock();
    setTextCursor(c);
}

CharFormat RichTextControl::charFormat(Scope scope) const {
    if (scope == Scope::Default) return default_;
    const QFont base = document()->defaultFont();
    const QColor text = palette().color(QPalette::Text);
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return fromQtCharFormat(currentCharFormat(), base, text);
    const int start = c.selectionStart(), end = c.selectionEnd();
    QTextCursor probe(document());
    probe.setPosition(start);
    probe.movePosition(QTextCursor::NextCharacter);
    CharFormat first = fromQtCharFormat(probe.charFormat(), base, text);
    std::uint32_t mask = first.mask;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() + fragment.length() <= start || fragment.position() >= end) continue;
            narrow(mask, first, fromQtCharFormat(fragment.charFormat(), base, text));
        }
    }
    first.mask = mask;
    return first;
}

void RichTextControl::setCharFormat(const CharFormat& format, Scope scope) {
    if (scope == Scope::Default) {
        const std::uint32_t m = format.mask;
        for (std::uint32_t bit :
             {cfm::Bold, cfm::Italic, cfm::Underline, cfm::StrikeOut, cfm::Protected, cfm::Link}) {
            if (m & bit) default_.effects = (default_.effects & ~bit) | (format.effects & bit);
        }
        if (m & cfm::Face) default_.face = format.face;
        if ((m & cfm::Size) && format.height > 0) default_.height = format.height;
        if (m & cfm::Color) {
            default_.color = format.color;
            default_.effects = (default_.effects & ~cfe::AutoColor) | (format.effects & cfe::AutoColor);
        }
        if (m & cfm::Offset) default_.offset = format.offset;
        if (m & cfm::Charset) default_.charset = format.charset;
        QFont font = document()->defaultFont();
        if (!default_.face.isEmpty()) font.setFamilies({default_.face});
        if (default_.height > 0) font.setPointSizeF(default_.height / 20.0);
        font.setBold((default_.effects & cfe::Bold) != 0);
        font.setItalic((default_.effects & cfe::Italic) != 0);
        font.setUnderline((default_.effects & cfe::Underline) != 0);
        font.setStrikeOut((default_.effects & cfe::StrikeOut) != 0);
        document()->setDefaultFont(font);
        QPalette p = palette();
        p.setColor(QPalette::Text, (default_.effects & cfe::AutoColor)
                                       ? QApplication::palette().color(QPalette::Text)
                                       : toColor(default_.color));
        setPalette(p);
        return;
    }
    QTextCharFormat q = toQtCharFormat(format);
    QTextCursor c = textCursor();
    if (!c.hasSelection() && scope == Scope::SelectionOrWord) {
        QTextCursor word = c;
        word.select(QTextCursor::WordUnderCursor);
        if (word.hasSelection()) {
            word.mergeCharFormat(q);
            return;
        }
    }
    mergeCurrentCharFormat(q);
}

ParaFormat RichTextControl::paraFormat() const {
    const QTextCursor c = textCursor();
    QTextBlock first = document()->findBlock(c.selectionStart());
    QTextBlock last = document()->findBlock(c.selectionEnd());
    ParaFormat result = paraFormatOf(first);
    for (QTextBlock block = first.next();
         block.isValid() && last.isValid() && block.position() <= last.position(); block = block.next()) {
        ParaFormat other = paraFormatOf(block);
        if (other.startIndent != result.startIndent) result.mask &= ~pfm::StartIndent;
        if (other.rightIndent != result.rightIndent) result.mask &= ~pfm::RightIndent;
        if (other.offset != result.offset) result.mask &= ~pfm::Offset;
        if (other.alignment != result.alignment) result.mask &= ~pfm::Alignment;
        if (other.tabs != result.tabs) result.mask &= ~pfm::TabStops;
        if (other.numbering != result.numbering) result.mask &= ~pfm::Numbering;
        if (other.numberingStart != result.numberingStart) result.mask &= ~pfm::NumberingStart;
    }
    return result;
}

void RichTextControl::setParaFormat(const ParaFormat& format) {
    QTextCursor c = textCursor();
    applyParaFormat(c, format);
}

void RichTextControl::undo() {
    undoOrRedo(true);
}
void RichTextControl::redo() {
    undoOrRedo(false);
}

void RichTextControl::undoOrRedo(bool back) {
    const QString before = document()->toPlainText();
    const int start = selectionStart(), end = selectionEnd();
    const bool forward = textCursor().position() == end;
    if (back)
        QTextEdit::undo();
    else
        QTextEdit::redo();
    if (document()->toPlainText() == before) {
        QTextCursor c = textCursor();
        c.setPosition(forward ? start : end);
        c.setPosition(forward ? end : start, QTextCursor::KeepAnchor);
        setTextCursor(c);
    }
}

bool RichTextControl::modified() const {
    return document()->isModified();
}
void RichTextControl::setModified(bool on) {
    document()->setModified(on);
}
void RichTextControl::emptyUndoBuffer() {
    document()->clearUndoRedoStacks();
}
bool RichTextControl::canUndo() const {
    return document()->isUndoAvailable();
}
bool RichTextControl::canRedo() const {
    return document()->isRedoAvailable();
}

void RichTextControl::setBackgroundColor(long bgr) {
    background_ = bgr;
    QPalette p = palette();
    QColor color = toColor(bgr);
    p.setColor(QPalette::Base, color.isValid() ? color : QApplication::palette().color(QPalette::Base));
    setPalette(p);
}

void RichTextControl::setScrollBars(bool vertical, bool horizontal) {
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setLineWrapMode(horizontal ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
}

void RichTextControl::setSingleLine(bool on) {
    singleLine_ = on;
}

int RichTextControl::find(const QString& text, int start, int end, unsigned flags, int* foundEnd) const {
    if (text.isEmpty()) return -1;
    const int length = textLength();
    QTextDocument::FindFlags options;
    if (flags & findflag::WholeWord) options |= QTextDocument::FindWholeWords;
    if (flags & findflag::MatchCase) options |= QTextDocument::FindCaseSensitively;
    const bool down = (flags & findflag::Down) != 0;
    if (!down) options |= QTextDocument::FindBackward;
    start = std::clamp(start, 0, length);
    QTextCursor found = document()->find(text, start, options);
    if (found.isNull()) return -1;
    if (down && end >= 0 && found.selectionEnd() > end) return -1;
    if (!down && end >= 0 && found.selectionStart() < end) return -1;
    if (foundEnd != nullptr) *foundEnd = found.selectionEnd();
    return found.selectionStart();
}

int RichTextControl::formatRange(QPainter* painter, QSizeF pageTwips, int from) const {
    const int length = textLength();
    if (from >= length) return length;
    from = std::max(0, from);
    std::unique_ptr<QTextDocument> copy(document()->clone());
    QTextCursor cut(copy.get());
    cut.setPosition(from, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    copy->setDocumentMargin(0);
    const QSizeF page(pageTwips.width() / kTwipsPerPixel, pageTwips.height() / kTwipsPerPixel);
    copy->setTextWidth(page.width());
    QAbstractTextDocumentLayout* layout = copy->documentLayout();
    int next = -1;
    double bottom = 0;
    for (QTextBlock block = copy->begin(); block.isValid() && next < 0; block = block.next()) {
        const QRectF box = layout->blockBoundingRect(block);
        QTextLayout* lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const double lineBottom = box.top() + line.y() + line.height();
            if (lineBottom > page.height() && bottom > 0) {
                next = block.position() + line.textStart();
                break;
            }
            bottom = lineBottom; // the first line goes on the page even when it is too tall
        }
    }
    if (painter != nullptr) {
        painter->save();
        const double sx = painter->device()->logicalDpiX() / 96.0,
                     sy = painter->device()->logicalDpiY() / 96.0;
        painter->scale(sx, sy);
        copy->drawContents(painter, QRectF(0, 0, page.width(), bottom));
        painter->restore();
    }
    return next < 0 ? length : from + next;
}

void RichTextControl::adopt(QTextDocument* fresh) {
    QTextDocument* old = document();
    const bool mine = old->parent() == this;
    fresh->setParent(this);
    setDocument(fresh);
    if (mine) delete old;
}

bool RichTextControl::streamIn(StreamFormat format, std::string_view bytes, bool ansi, std::string& error) {
    auto fresh = std::make_unique<QTextDocument>();
    fresh->setDefaultFont(document()->defaultFont());
    fresh->setDocumentMargin(document()->documentMargin());
    if (format == StreamFormat::Rtf) {
        RichTextCodec* codec = richTextCodec();
        if (codec == nullptr) {
            error = "no RTF reader is installed";
            return false;
        }
        if (!codec->read(bytes, *fresh, error)) return false;
    } else {
        QString plain = ansi ? toQt(std::string(bytes)) : decodePlainText(bytes);
        plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QTextCursor c(fresh.get());
        const QStringList lines = plain.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) c.insertBlock();
            c.insertText(lines[i]);
        }
    }
    fresh->setModified(false);
    fresh->clearUndoRedoStacks();
    adopt(fresh.release());
    moveCursor(QTextCursor::Start);
    return true;
}

bool RichTextControl::streamOut(StreamFormat format, std::string& bytes, std::string& error) const {
    if (format == StreamFormat::Rtf) {
        RichTextCodec* codec = richTextCodec();
        if (codec == nullptr) {
            error = "no RTF writer is installed";
            return false;
        }
        bytes = codec->write(*document());
        return true;
    }
    bytes = encodePlainText(documentText(*document()));
    return true;
}

void RichTextControl::clearDocument() {
    QTextCursor c(document());
    c.beginEditBlock();
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    if (QTextList* list = c.block().textList()) list->remove(c.block());
    c.setBlockFormat(QTextBlockFormat());
    CharFormat all = default_;
    all.mask = cfm::All;
    QTextCharFormat q = toQtCharFormat(all);
    c.setBlockCharFormat(q);
    c.setCharFormat(q);
    c.endEditBlock();
    setTextCursor(c);
    setCurrentCharFormat(q);
}

bool RichTextControl::event(QEvent* e) {
    // Enter and Tab belong to the text: no shortcut, default button or focus chain may take them.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Tab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            e->accept();
            return true;
        }
    }
    return QTextEdit::event(e);
}

void RichTextControl::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo)) {
        e->accept();
        if (!isReadOnly()) undoOrRedo(e->matches(QKeySequence::Undo));
        return;
    }
    const int key = e->key();
    const bool plainKey = !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plainKey) {
        e->accept();
        if (isReadOnly() || singleLine_) return;
        if (room() < 1) return QApplication::beep();
        QTextCursor c = textCursor();
        c.insertBlock();
        setTextCursor(c);
        ensureCursorVisible();
        return;
    }
    if (key == Qt::Key_Tab && plainKey && !(e->modifiers() & Qt::ShiftModifier)) {
        e->accept();
        if (isReadOnly()) return;
        if (room() < 1) return QApplication::beep();
        insertPlainText(QStringLiteral("\t"));
        return;
    }
    const QString text = e->text();
    if (!isReadOnly() && !text.isEmpty() && text.at(0).isPrint() && plainKey && room() < text.size()) {
        e->accept();
        QApplication::beep();
        return;
    }
    QTextEdit::keyPressEvent(e);
}

void RichTextControl::inputMethodEvent(QInputMethodEvent* e) {
    const int space = room();
    if (!e->commitString().isEmpty() && e->commitString().size() > std::max(space, 0)) {
        // Only what fits is committed; the rest is dropped as typing past the limit would be.
        QInputMethodEvent cut(e->preeditString(), e->attributes());
        cut.setCommitString(e->commitString().left(std::max(space, 0)), e->replacementStart(),
                            e->replacementLength());
        QApplication::beep();
        QTextEdit::inputMethodEvent(&cut);
        e->accept();
        return;
    }
    QTextEdit::inputMethodEvent(e);
}

QMimeData* RichTextControl::createMimeDataFromSelection() const {
    auto* mime = new FragmentMimeData;
    mime->fragment = textCursor().selection();
    mime->setText(withBreaks(textCursor().selectedText(), QStringLiteral("\n")));
    return mime;
}

bool RichTextControl::canInsertFromMimeData(const QMimeData* source) const {
    return source != nullptr &&
           (source->hasText() || dynamic_cast<const FragmentMimeData*>(source) != nullptr);
}

void RichTextControl::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || isReadOnly()) return;
    const int space = std::max(room(), 0);
    QTextCursor c = textCursor();
    if (const auto* ours = dynamic_cast<const FragmentMimeData*>(source)) {
        if (ours->fragment.toPlainText().size() <= space) {
            c.insertFragment(ours->fragment);
            setTextCursor(c);
            ensureCursorVisible();
            return;
        }
    }
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (singleLine_) text = text.section(QLatin1Char('\n'), 0, 0);
    if (text.size() > space) {
        QApplication::beep();
        text.truncate(space);
    }
    if (text.isEmpty()) return;
    c.beginEditBlock();
    c.removeSelectedText();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) c.insertBlock();
        c.insertText(lines[i]);
    }
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
}

void RichTextControl::mouseReleaseEvent(QMouseEvent* e) {
    QTextEdit::mouseReleaseEvent(e);
    if (onMouseRelease) onMouseRelease(e->button());
}

void RichTextControl::focusInEvent(QFocusEvent* e) {
    QTextEdit::focusInEvent(e);
    if (onFocusIn) onFocusIn();
}

} // namespace docket::ui
