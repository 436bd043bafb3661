#pragma once
// The editor's QTextDocument on the RTF codec: a sink that fills a QTextDocument from what the
// RTF reader delivers, a source that walks a QTextDocument for the RTF writer, and the codec the
// rich-text control streams through (installed once by installRichTextCodec()).
//
// Every format goes through the control's own format mapping (ui/rich_text_format.h), so what the
// reader fills in is exactly what the control's format commands read and change: twips stay
// twips (indents, spacing, tab stops with their kinds and leaders), colours keep "automatic", list
// paragraphs of the same style, level and marker texts in a row form one QTextList (bullets and
// the five numbering styles), and nothing passes through HTML. A document of one empty paragraph
// walks as no paragraphs at all; a walk of no paragraphs fills a document of one empty paragraph.
//
// Runs on the GUI thread (QTextDocument is not shared between threads).
#include "rtf/codec/rich_text.h"
#include "ui/rich_text_control.h"

#include <QTextCursor>

class QTextDocument;

namespace docket::rtf {

class TextDocumentSink : public RtfSink {
public:
    explicit TextDocumentSink(QTextDocument& document) : document_(document) {}

    void beginDocument(const DocumentFormat& format) override; // empties the document
    void beginParagraph(const ParagraphFormat& format) override;
    void text(std::string_view utf8, const CharFormat& format) override;
    void endParagraph() override {}

private:
    QTextDocument& document_;
    QTextCursor cursor_;
    bool first_ = true;
};

class TextDocumentSource : public RtfSource {
public:
    explicit TextDocumentSource(const QTextDocument& document) : document_(document) {}
    void walk(RtfSink& sink) const override;

private:
    const QTextDocument& document_;
};

// The codec's formats in the control's terms, and back.
ui::CharFormat toControlFormat(const CharFormat& format);
CharFormat fromControlFormat(const ui::CharFormat& format);
ui::ParaFormat toControlFormat(const ParagraphFormat& format);
ParagraphFormat fromControlFormat(const ui::ParaFormat& format);

// RTF for the rich-text control: reads through TextDocumentSink, writes through the RTF writer.
class QtRichTextCodec : public ui::RichTextCodec {
public:
    bool read(std::string_view bytes, QTextDocument& document, std::string& error) override;
    std::string write(const QTextDocument& document) override;
};

// Installs one QtRichTextCodec as the control's codec (again: nothing changes).
void installRichTextCodec();

} // namespace docket::rtf
