#include "rtf/rich_clipboard.h"

#include "ui/modal.h"
#include "ui/scheduler.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <memory>

namespace docket::rtf {
namespace {

// A fragment of a whole document, without the empty paragraph an RTF text ends with after its
// last \par (pasting it would add a paragraph break the user did not copy).
QTextDocumentFragment wholeDocument(QTextDocument& document) {
    QTextCursor all(&document);
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QTextBlock last = document.lastBlock();
    if (document.blockCount() > 1 && last.length() <= 1) {
        all.setPosition(0);
        all.setPosition(last.position() - 1, QTextCursor::KeepAnchor);
    } else {
        all.setPosition(0);
        all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    return all.selection();
}

QString plainOf(const QMimeData& mime) {
    QString text = mime.text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Inserts plain text as typing would: in the caret's format, "\n" starting paragraphs.
void insertPlain(QTextCursor& c, const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) c.insertBlock();
        c.insertText(lines[i]);
    }
}

} // namespace

QMimeData* mimeFromSelection(const ui::RichTextControl& text) {
    const QTextCursor c = text.textCursor();
    if (!c.hasSelection()) return nullptr;
    const QTextDocumentFragment fragment = c.selection();
    auto* mime = new QMimeData;
    if (ui::RichTextCodec* codec = ui::richTextCodec()) {
        QTextDocument part;
        part.setDefaultFont(text.document()->defaultFont());
        QTextCursor(&part).insertFragment(fragment);
        const std::string rtf = codec->write(part);
        const QByteArray bytes(rtf.data(), static_cast<qsizetype>(rtf.size()));
        for (const char* type : kRtfMimeTypes) mime->setData(QString::fromLatin1(type), bytes);
    }
    mime->setHtml(fragment.toHtml());
    QString plain = c.selectedText();
    plain.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    plain.replace(QChar::LineSeparator, QLatin1Char('\n'));
    mime->setText(plain);
    return mime;
}

QTextDocumentFragment fragmentFromMime(const QMimeData& mime, bool plain) {
    if (!plain) {
        if (ui::RichTextCodec* codec = ui::richTextCodec()) {
            for (const char* type : kRtfMimeTypes) {
                const QByteArray bytes = mime.data(QString::fromLatin1(type));
                if (bytes.isEmpty()) continue;
                QTextDocument document;
                std::string error;
                if (codec->read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                document, error))
                    return wholeDocument(document);
            }
        }
        if (mime.hasHtml()) {
            QTextDocument document;
            document.setHtml(mime.html());
            return wholeDocument(document);
        }
    }
    if (mime.hasText()) return QTextDocumentFragment::fromPlainText(plainOf(mime));
    return {};
}

PasteResult pasteInto(ui::RichTextControl& text, const QMimeData& mime, bool plain, std::size_t rtfBudget) {
    if (text.isReadOnly()) return PasteResult::ReadOnly;
    if (text.singleLine()) plain = true;
    QString plainText;
    QTextDocumentFragment fragment;
    if (plain) {
        plainText = plainOf(mime);
        if (text.singleLine()) plainText = plainText.section(QLatin1Char('\n'), 0, 0);
        if (plainText.isEmpty()) return PasteResult::Nothing;
    } else {
        fragment = fragmentFromMime(mime, false);
        if (fragment.isEmpty()) return PasteResult::Nothing;
    }
    const QTextCursor at = text.textCursor();
    auto insert = [&](QTextCursor& c) {
        c.beginEditBlock();
        if (plain) {
            c.removeSelectedText();
            insertPlain(c, plainText);
        } else {
            c.insertFragment(fragment);
        }
        c.endEditBlock();
    };
    // The whole result is tried on a copy first.
    std::unique_ptr<QTextDocument> copy(text.document()->clone());
    QTextCursor trial(copy.get());
    trial.setPosition(at.anchor());
    trial.setPosition(at.position(), QTextCursor::KeepAnchor);
    trial.setCharFormat(at.charFormat());
    insert(trial);
    if (ui::documentLength(*copy) > text.textLimit()) return PasteResult::TooLong;
    if (rtfBudget > 0) {
        if (ui::RichTextCodec* codec = ui::richTextCodec();
            codec != nullptr && codec->write(*copy).size() > rtfBudget)
            return PasteResult::TooLarge;
    }
    QTextCursor real = text.textCursor();
    insert(real);
    text.setTextCursor(real);
    text.ensureCursorVisible();
    return PasteResult::Inserted;
}

std::string pasteRefusal(PasteResult result, int characterLimit, std::size_t rtfBudget) {
    if (result == PasteResult::TooLong)
        return "The text to paste does not fit.|The text may hold at most " + std::to_string(characterLimit) +
               " characters.";
    if (result == PasteResult::TooLarge)
        return "The text to paste does not fit.|With its formatting the text may take at most " +
               std::to_string(rtfBudget) + " bytes.";
    return {};
}

RichClipboardControl::RichClipboardControl(QWidget* parent) : ui::RichTextControl(parent) {}

QMimeData* RichClipboardControl::createMimeDataFromSelection() const {
    QMimeData* mime = mimeFromSelection(*this);
    return mime != nullptr ? mime : new QMimeData;
}

bool RichClipboardControl::canInsertFromMimeData(const QMimeData* source) const {
    if (source == nullptr) return false;
    for (const char* type : kRtfMimeTypes) {
        if (source->hasFormat(QString::fromLatin1(type))) return true;
    }
    return source->hasHtml() || source->hasText();
}

void RichClipboardControl::insertFromMimeData(const QMimeData* source) {
    if (source != nullptr) pasteFrom(*source, false);
}

void RichClipboardControl::pastePlain() {
    if (const QMimeData* mime = QApplication::clipboard()->mimeData()) pasteFrom(*mime, true);
}

void RichClipboardControl::pasteFrom(const QMimeData& mime, bool plain) {
    const std::size_t budget = rtfBudget ? rtfBudget() : 0;
    lastPaste_ = pasteInto(*this, mime, plain, budget);
    if (lastPaste_ != PasteResult::TooLong && lastPaste_ != PasteResult::TooLarge) return;
    ui::beep();
    const std::string message = pasteRefusal(lastPaste_, textLimit(), budget);
    if (onPasteRefused) {
        onPasteRefused(message);
        return;
    }
    // Key and drop events arrive outside the program threads: the box gets a thread of its own.
    ui::startThread([message] { ui::messageBox(message, "Paste", ui::icon::Exclamation); });
}

void RichClipboardControl::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_V && e->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        e->accept();
        pastePlain();
        return;
    }
    ui::RichTextControl::keyPressEvent(e);
}

} // namespace docket::rtf
