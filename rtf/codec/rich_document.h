#pragma once
// RichDocument: a whole document in memory, a list of paragraphs of formatted runs. It is both a
// sink (read RTF into it) and a source (write it out as RTF), so tests, the qvn tool and anything
// else without a window system can hold, inspect and build documents.
//
// Invariants kept by the sink side (text()): no run is empty and two neighbouring runs of a
// paragraph never share a format, so equal documents compare equal whatever the split of the text
// they were read from. Code that fills paragraphs() by hand should keep the same (addText does).
#include <string>
#include <string_view>
#include <vector>

#include "rtf/codec/rich_text.h"

namespace docket::rtf {

struct TextRun {
    CharFormat format;
    std::string text; // UTF-8; '\t' tab, '\n' line break inside the paragraph

    friend bool operator==(const TextRun&, const TextRun&) = default;
};

struct Paragraph {
    ParagraphFormat format;
    std::vector<TextRun> runs;

    std::string plainText() const; // the runs' text joined
    friend bool operator==(const Paragraph&, const Paragraph&) = default;
};

class RichDocument : public RtfSink, public RtfSource {
public:
    RichDocument() = default;

    DocumentFormat& format() { return format_; }
    const DocumentFormat& format() const { return format_; }
    std::vector<Paragraph>& paragraphs() { return paragraphs_; }
    const std::vector<Paragraph>& paragraphs() const { return paragraphs_; }
    bool empty() const { return paragraphs_.empty(); }
    void clear();

    // Building by hand: a new last paragraph, and text appended to the last paragraph (merged into
    // its last run when the format is the same; empty text is ignored).
    Paragraph& addParagraph(const ParagraphFormat& format = {});
    void addText(std::string_view utf8, const CharFormat& format = {});

    // The text with the list markers, as PlainTextSink gives it.
    std::string plainText() const;

    // RtfSink: the document is cleared at beginDocument.
    void beginDocument(const DocumentFormat& format) override;
    void beginParagraph(const ParagraphFormat& format) override;
    void text(std::string_view utf8, const CharFormat& format) override;
    void endParagraph() override {}

    // RtfSource.
    void walk(RtfSink& sink) const override;

    friend bool operator==(const RichDocument& a, const RichDocument& b) {
        return a.format_ == b.format_ && a.paragraphs_ == b.paragraphs_;
    }

private:
    DocumentFormat format_;
    std::vector<Paragraph> paragraphs_;
};

} // namespace docket::rtf
