#pragma once
// PlainTextSink: the words of a document as UTF-8 plain text, for searching memo bodies by their
// words, for the qvn tool and for saving as a text file. Paragraphs are separated by a line end
// (by default "\n"; nothing follows the last paragraph), tabs stay tabs, a line break inside a
// paragraph becomes the line end too, and each list item starts with its marker and a tab
// ("•\t", "1.\t", "b)\t"), numbered as ListNumbering numbers them.
#include <string>
#include <string_view>

#include "rtf/codec/rich_text.h"

namespace docket::rtf {

class PlainTextSink : public RtfSink {
public:
    explicit PlainTextSink(std::string lineEnd = "\n") : lineEnd_(std::move(lineEnd)) {}

    const std::string& result() const { return text_; }
    std::string take() { return std::move(text_); }

    void beginDocument(const DocumentFormat&) override;
    void beginParagraph(const ParagraphFormat& format) override;
    void text(std::string_view utf8, const CharFormat&) override;
    void endParagraph() override {}

private:
    std::string lineEnd_;
    std::string text_;
    ListNumbering numbering_;
    bool first_ = true;
};

// The plain text of an RTF document (what PlainTextSink gives); whatever could be read of a
// damaged document, empty for bytes that are not RTF.
std::string rtfToPlainText(std::string_view rtf);

} // namespace docket::rtf
