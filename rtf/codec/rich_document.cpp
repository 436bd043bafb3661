#include "rtf/codec/rich_document.h"

#include "rtf/codec/plain_text.h"

namespace docket::rtf {

std::string Paragraph::plainText() const {
    std::string out;
    for (const auto& run : runs) out += run.text;
    return out;
}

void RichDocument::clear() {
    format_ = {};
    paragraphs_.clear();
}

Paragraph& RichDocument::addParagraph(const ParagraphFormat& format) {
    paragraphs_.push_back(Paragraph{format, {}});
    return paragraphs_.back();
}

void RichDocument::addText(std::string_view utf8, const CharFormat& format) {
    if (utf8.empty()) return;
    if (paragraphs_.empty()) addParagraph();
    auto& runs = paragraphs_.back().runs;
    if (!runs.empty() && runs.back().format == format)
        runs.back().text.append(utf8);
    else
        runs.push_back(TextRun{format, std::string(utf8)});
}

std::string RichDocument::plainText() const {
    PlainTextSink sink;
    walk(sink);
    return sink.take();
}

void RichDocument::beginDocument(const DocumentFormat& format) {
    paragraphs_.clear();
    format_ = format;
}

void RichDocument::beginParagraph(const ParagraphFormat& format) {
    addParagraph(format);
}

void RichDocument::text(std::string_view utf8, const CharFormat& format) {
    addText(utf8, format);
}

void RichDocument::walk(RtfSink& sink) const {
    sink.beginDocument(format_);
    for (const auto& paragraph : paragraphs_) {
        sink.beginParagraph(paragraph.format);
        for (const auto& run : paragraph.runs)
            if (!run.text.empty()) sink.text(run.text, run.format);
        sink.endParagraph();
    }
    sink.endDocument();
}

} // namespace docket::rtf
