#include "rtf/codec/plain_text.h"

#include "rtf/codec/rtf_reader.h"

namespace docket::rtf {

void PlainTextSink::beginDocument(const DocumentFormat&) {
    text_.clear();
    numbering_.reset();
    first_ = true;
}

void PlainTextSink::beginParagraph(const ParagraphFormat& format) {
    if (!first_) text_ += lineEnd_;
    first_ = false;
    const std::string marker = numbering_.next(format.list);
    if (!marker.empty()) {
        text_ += marker;
        text_ += '\t';
    }
}

void PlainTextSink::text(std::string_view utf8, const CharFormat&) {
    if (lineEnd_ == "\n") {
        text_.append(utf8);
        return;
    }
    for (char c : utf8) {
        if (c == '\n')
            text_ += lineEnd_;
        else
            text_ += c;
    }
}

std::string rtfToPlainText(std::string_view rtf) {
    PlainTextSink sink;
    if (!readRtf(rtf, sink).ok) return {};
    return sink.take();
}

} // namespace docket::rtf
