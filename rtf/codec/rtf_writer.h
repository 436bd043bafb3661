#pragma once
// The RTF writer: a document as compact, 7-bit RTF. A memo body is stored in a field of 8191
// bytes, so the writer emits a small fixed subset and nothing for defaults:
//
//   {\rtf1\ansi\ansicpg1252\deff0\uc1{\fonttbl{\f0\fnil\fcharset0 Arial;}}{\colortbl;\red..;}
//   \pard\qc\li720\fi-360\tqc\tx2880 ...text with \b \i \ul \strike \f \fs \cf \highlight...\par
//   }
//
// - The font table lists the fonts in the order the text first uses them, the colour table the
//   colours likewise (entry 0 is "automatic"); each is left out when empty.
// - A paragraph starts with \pard and its paragraph words only when its format differs from the
//   paragraph before (list items always start with them); every paragraph ends with \par and a
//   line end.
// - Character words appear only where the format changes from the run before; the first run
//   starts from RTF's defaults (\plain).
// - Text is 7-bit: characters the font's code page holds (Windows-1252 for the usual fonts) as
//   \'hh, others as \uN? (with \uc1, '?' is what readers without Unicode show), characters beyond
//   the Basic Multilingual Plane as a surrogate pair of \u words.
// - Lists use the list table: \listtable and \listoverridetable in the header, one list of one
//   level for each run of list paragraphs (consecutive paragraphs with the same list format), and
//   \lsN among the paragraph words; each item also carries its marker as {\listtext 1.\tab},
//   which readers that number lists themselves skip and simpler readers show. Not the legacy
//   {\*\pn ...} form: LibreOffice reads that as a list but loses every number style but 1, 2, 3,
//   and it repeats some sixty bytes on every item where \listtext costs about twenty. A separate
//   list per run makes every reader start the numbers again after a paragraph outside the list.
//   One level only: deeper levels are written at level 0 with their own indents.
//
// The same document always gives the same bytes. A one-line memo stays well under 300 bytes.
// Runs on any thread; it keeps no state between calls.
#include <memory>
#include <string>

#include "rtf/codec/rich_text.h"

namespace docket::rtf {

std::string writeRtf(const RtfSource& source);

// The writer as a sink, for code that has no source to hand: feed a walk, then take the RTF.
class RtfWriter : public RtfSink {
public:
    RtfWriter();
    ~RtfWriter() override;
    RtfWriter(const RtfWriter&) = delete;
    RtfWriter& operator=(const RtfWriter&) = delete;

    void beginDocument(const DocumentFormat& format) override;
    void beginParagraph(const ParagraphFormat& format) override;
    void text(std::string_view utf8, const CharFormat& format) override;
    void endParagraph() override;
    void endDocument() override;

    // The RTF of the walk so far; complete after endDocument.
    std::string take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace docket::rtf
